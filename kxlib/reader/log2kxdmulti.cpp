#include "kxlib/reader/log2kxdmulti.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "kxlib/fields.h"
#include "kxlib/kxchannels.h"
#include "utils/common/convert.h"
#include "utils/common/strbase.h"
#include "utils/osal/process.h"

using ZmLib::KxdProt;
using ZmLib::KxProt;

namespace {

// Longest group text that a number field reads.
constexpr uint32_t NUMBER_TEXT_MAX = 63;
// A text this long or longer is a date, shorter ones a plain number.
constexpr uint32_t TIME_TEXT_MIN = 7;

// "%lli": decimal, "0x" hexadecimal or leading-0 octal with an optional
// sign; 0 when nothing can be read.
int64_t ReadAnyBase(const char* text, uint32_t length)
{
    char buffer[NUMBER_TEXT_MAX + 1];
    uint32_t n = length < NUMBER_TEXT_MAX ? length : NUMBER_TEXT_MAX;
    memcpy(buffer, text, n);
    buffer[n] = 0;
    return int64_t(strtoll(buffer, nullptr, 0));
}

// A decimal integer with an optional sign and nothing after it but blanks;
// false, with the value 0, for any other text: its first digits alone would
// pass for a time.
bool ReadDecimal(const char* text, uint32_t length, int64_t* value)
{
    uint32_t k = 0;
    bool negative = false;
    if (k < length && (text[k] == '-' || text[k] == '+'))
        negative = text[k++] == '-';
    const uint32_t digits = k;
    uint64_t v = 0;
    for (; k < length && ZmLib::AsciiIsDigit(text[k]); ++k)
        v = v * 10 + uint64_t(text[k] - '0');
    const bool read = k > digits;
    while (k < length && (text[k] == ' ' || text[k] == '\t'))
        ++k;
    const bool whole = read && k == length;
    *value = !whole ? 0 : negative ? int64_t(0 - v) : int64_t(v);
    return whole;
}

} // namespace

Log2KxdMulti::Log2KxdMulti(const char* path) : Text2Kxd(path), nowUs_(ZmLib::NowMicros())
{
    KX_PRINT(KxReaderChannel, ZmLib::KX_LEVEL_NOTICE, "Log2KxdMulti::Log2KxdMulti");
}

Log2KxdMulti::~Log2KxdMulti() { StopWorkers(); }

// A thread's match buffers, and its last date text with its value:
// neighbouring lines mostly share their second, and the value depends on the
// text alone.
class Log2KxdMulti::LineScratch : public Scratch {
public:
    RegexMatchResult result;
    RegexMatchContext context;
    // A TIME group may take the row's line end.
    char lastTime[ROW_BYTES_MAX + 1];
    uint32_t lastTimeLength = 0;
    int64_t lastTimeValue = 0;
};

std::unique_ptr<TextLineParser::Scratch> Log2KxdMulti::NewScratch() const { return std::make_unique<LineScratch>(); }

bool Log2KxdMulti::AddTemplate(const char* expression, const int32_t* fields, int32_t n, bool errorFlag)
{
    if (count_ >= MAX_TEMPLATES) {
        KX_WARNING(KxReaderChannel, "Template \"%s\" not added: %d templates already", expression ? expression : "",
                   MAX_TEMPLATES);
        return false;
    }
    if (n < 0 || n > MAX_GROUPS || (n > 0 && fields == nullptr)) {
        KX_WARNING(KxReaderChannel, "Template \"%s\" not added: %d fields", expression ? expression : "", n);
        return false;
    }
    Template& t = templates_[count_++];
    t.regex = std::make_unique<RegexBuilder>(expression, 0);
    t.errorFlag = errorFlag ? 1 : 0;
    t.Nfields = n;
    for (int32_t k = 0; k < n; ++k)
        t.fields[k] = fields[k];
    t.skipped = Skips();
    t.skipped.fields = n;
    return true;
}

Log2KxdMulti::Skips Log2KxdMulti::SkippedBy(int32_t k) const
{
    return k >= 0 && k < count_ ? templates_[k].skipped : Skips();
}

int8_t Log2KxdMulti::LevelFromWord(const char* text, uint32_t length)
{
    switch (length > 0 ? text[0] : 0) {
    case 'E':
    case 'e':
        return -1;
    case 'I':
    case 'i':
        return 2;
    case 'W':
    case 'w':
        return 0;
    default:
        break;
    }
    if (length >= 3) {
        static const struct {
            const char* word;
            int8_t level;
        } words[] = {{"ale", -3}, {"cri", -2}, {"not", 1}, {"deb", 3}};
        for (const auto& w : words)
            if (memcmp(text, w.word, 3) == 0)
                return w.level;
    }
    return 2;
}

const Log2KxdMulti::Template* Log2KxdMulti::MatchLine(LineScratch& scratch, const char* line, uint32_t length,
                                                     Note& note) const
{
    for (int32_t k = 0; k < count_; ++k) {
        const Template& t = templates_[k];
        // A pattern that runs out of its step budget is a line that does not
        // match.
        t.regex->Match(scratch.result, line, int(length), &scratch.context);
        if (!scratch.result.IsMatched())
            continue;
        if (scratch.result.GetGroupCount() == t.Nfields)
            return &t;
        note.detail |= 1u << k;
    }
    return nullptr;
}

void Log2KxdMulti::CountLine(const Note& note, uint32_t line)
{
    if ((note.detail & DETAIL_UNMATCHED) == 0)
        ++matched_;
    if (line != countedLine_) {
        countedLine_ = line;
        countedDetail_ = 0;
    }
    const uint32_t fresh = note.detail & ~countedDetail_;
    countedDetail_ |= note.detail;
    if (fresh & DETAIL_UNMATCHED)
        ++unmatched_;
    for (int32_t k = 0; k < count_; ++k) {
        Template& t = templates_[k];
        if ((fresh & (1u << k)) == 0 || t.skipped.lines++ != 0)
            continue;
        // A match has as many groups as its pattern.
        t.skipped.groups = t.regex->GetGroupCount();
        KX_WARNING(KxReaderChannel, "\"%s\": template %d has %d groups for %d fields, not used for such lines", GetPath(),
                   k + 1, t.skipped.groups, t.Nfields);
    }
}

bool Log2KxdMulti::FillField(LineScratch& scratch, KxdProt& record, int32_t field, const char* text,
                             uint32_t length, const char** strings, uint16_t* lengths) const
{
    if (field < 0 || field >= FIELD_Nums)
        return true;
    if (!FieldIsNumber(field)) {
        const int slot = FieldTable[field].desc.strSlot;
        strings[slot] = text;
        lengths[slot] = uint16_t(length);
        return true;
    }
    const bool word = length > 0 && (ZmLib::AsciiIsAlpha(text[0]) || text[0] == '_');
    if (field == FIELD_LEVEL && word) {
        record.msg.LEVEL = LevelFromWord(text, length);
        return true;
    }
    int64_t value = 0;
    bool read = true;
    if (field == FIELD_TIME && length >= TIME_TEXT_MIN) {
        if (length != scratch.lastTimeLength || memcmp(text, scratch.lastTime, length) != 0) {
            memcpy(scratch.lastTime, text, length);
            scratch.lastTime[length] = 0;
            scratch.lastTimeLength = length;
            // A text read only in part is no time: its first digits alone
            // would pass for one; nor is a date or time that does not exist.
            ZmLib::Str2TimeWhole(scratch.lastTime, length, nowUs_, &scratch.lastTimeValue);
        }
        value = scratch.lastTimeValue;
        // No date, time of day or number could be read from the whole text.
        read = value != 0;
    } else if (field == FIELD_TIME) {
        read = ReadDecimal(text, length, &value) || length == 0;
    } else if (field == FIELD_IP) {
        char buffer[NUMBER_TEXT_MAX + 1];
        uint32_t n = length < NUMBER_TEXT_MAX ? length : NUMBER_TEXT_MAX;
        memcpy(buffer, text, n);
        buffer[n] = 0;
        value = ZmLib::Str2IP(buffer);
    } else if (length < LINE_LENGTH_MAX) {
        value = ReadAnyBase(text, length);
    }
    record.SetIntValue(field, uint64_t(value));
    return read;
}

void Log2KxdMulti::ParseLine(Scratch& base, char* line, KxdProt& record, Note& note) const
{
    LineScratch& scratch = static_cast<LineScratch&>(base);
    record.msg.LEVEL = 2;
    const char* strings[KxProt::STR_SLOTS] = {};
    uint16_t lengths[KxProt::STR_SLOTS] = {};
    // A CR LF line is matched as the LF line it stands for: the templates'
    // "\r?\n?" tail and a "\s" before it see the LF, and no field keeps the
    // line end's carriage return.
    uint32_t length = note.length;
    const uint32_t lineEnd = LineEndLength(line, length);
    if (lineEnd == 2) {
        line[length - 2] = '\n';
        line[--length] = 0;
    }
    // The file's last line without its line end (a log still being written)
    // is matched as if the LF were there; no field takes that LF.
    const uint32_t textEnd = length;
    if (lineEnd == 0 && !note.continues) {
        line[length++] = '\n';
        line[length] = 0;
    }
    const Template* t = MatchLine(scratch, line, length, note);
    if (t != nullptr) {
        for (int32_t g = 1; g <= t->Nfields; ++g) {
            const int start = scratch.result.GetGroupStart(g);
            int end = scratch.result.GetGroupEnd(g);
            // A group that took no part leaves its field at its default.
            if (start < 0 || end < start || uint32_t(end) > length)
                continue;
            if (uint32_t(end) > textEnd)
                end = int(std::max(textEnd, uint32_t(start)));
            const int32_t field = t->fields[g - 1];
            if (!FillField(scratch, record, field, line + start, uint32_t(end - start), strings, lengths) &&
                note.badTimeLength == 0) {
                note.badTimeStart = uint16_t(start);
                note.badTimeLength = uint16_t(end - start);
            }
        }
        PackStrings(record, strings, lengths, note);
        if (t->errorFlag)
            record.msg.LEVEL = -1;
        return;
    }
    // The line itself without its end, so that what no template describes is
    // still seen; a CR before the line end's is the text's.
    note.detail |= DETAIL_UNMATCHED;
    FillField(scratch, record, FIELD_TEXT, line, textEnd - (lineEnd != 0 ? 1 : 0), strings, lengths);
    PackStrings(record, strings, lengths, note);
}
