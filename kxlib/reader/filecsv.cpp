#include "kxlib/reader/filecsv.h"

#include <cstring>
#include <vector>

#include "kxlib/kxchannels.h"

using ZmLib::KxdProt;
using ZmLib::KxProt;

FileCsv::FileCsv(const char* path, int32_t n, const int32_t* fields, char separator)
    : Text2Kxd(path), nfields_(n), separator_(separator)
{
    KX_PRINT(KxReaderChannel, ZmLib::KX_LEVEL_NOTICE, "FileCsv::FileCsv");
    KX_ASSERT(KxReaderChannel, n >= 0 && n <= FIELD_Nums);
    for (int32_t k = 0; k < FIELD_Nums; ++k)
        fields_[k] = k < n ? fields[k] : -1;
}

FileCsv::~FileCsv() { StopWorkers(); }

bool FileCsv::ReadNumber(char*& cursor, int64_t* value)
{
    char* p = cursor;
    bool negative = false;
    if (*p == '-' || *p == '+') {
        negative = *p == '-';
        ++p;
    }
    // No digit: 0, and the cursor stays where it was.
    if (!ZmLib::AsciiIsDigit(*p)) {
        *value = 0;
        return true;
    }
    uint64_t v = 0;
    for (; ZmLib::AsciiIsDigit(*p); ++p) {
        if (v > (UINT64_MAX - 9) / 10)
            return false;
        v = v * 10 + uint64_t(*p - '0');
    }
    if (v > (negative ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX)))
        return false;
    *value = negative ? int64_t(0 - v) : int64_t(v);
    cursor = p;
    return true;
}

char* FileCsv::StringColumn(char*& cursor) const
{
    char* text = cursor;
    char* end = separator_ != 0 ? strchr(cursor, separator_) : strpbrk(cursor, "\r\n");
    if (end == nullptr) {
        // The text runs to the line's end.
        cursor += strlen(cursor);
        return text;
    }
    *end = 0;
    cursor = end + 1;
    return text;
}

std::unique_ptr<TextLineParser::Scratch> FileCsv::NewScratch() const { return std::make_unique<Scratch>(); }

void FileCsv::ParseLine(Scratch&, char* line, KxdProt& record, Note& note) const
{
    int32_t column = 0;
    const char* columnText = nullptr;
    note.code = Parse(line, record, note, &column, &columnText);
}

int32_t FileCsv::Parse(char* line, KxdProt& record, Note& note, int32_t* column, const char** columnText) const
{
    // The line end belongs to no field, whichever column comes last.
    const size_t length = strlen(line);
    line[length - LineEndLength(line, length)] = 0;
    const char* strings[KxProt::STR_SLOTS] = {};
    char* cursor = line;
    int32_t numbers = 0;
    for (int32_t k = 0; k < nfields_; ++k) {
        const int32_t field = fields_[k];
        if (field >= 0 && field < FIELD_Nums && !FieldIsNumber(field)) {
            strings[FieldTable[field].desc.strSlot] = StringColumn(cursor);
            continue;
        }
        *column = k;
        *columnText = cursor;
        int64_t value = 0;
        if (!ReadNumber(cursor, &value))
            return BadCode(BAD_NUMBER, uint32_t(cursor - line), numbers);
        if (*cursor != ',')
            return BadCode(BAD_NO_COMMA, uint32_t(cursor - line), numbers);
        ++cursor;
        ++numbers;
        // A column without a record field is read and dropped.
        if (FieldIsNumber(field))
            record.SetIntValue(field, uint64_t(value));
    }
    uint16_t lengths[KxProt::STR_SLOTS] = {};
    for (int slot = 0; slot < KxProt::STR_SLOTS; ++slot)
        if (strings[slot] != nullptr)
            lengths[slot] = uint16_t(strlen(strings[slot]));
    PackStrings(record, strings, lengths, note);
    return 0;
}

std::string FileCsv::Explain(const std::string& line) const
{
    std::vector<char> copy(line.begin(), line.end());
    copy.push_back(0);
    KxdProt record;
    memset(&record, 0, sizeof(record));
    Note note;
    int32_t column = 0;
    const char* start = nullptr;
    const int32_t code = Parse(copy.data(), record, note, &column, &start);
    if (code == 0)
        return std::string();
    // The column's text: up to the ',' that should have ended it, or the
    // line end.
    const std::string text(start, strcspn(start, ",\r\n"));
    const char* reason = "is not a number";
    if ((code & 0xff) == BAD_NUMBER) {
        reason = "does not fit 64 bits";
    } else {
        char* end = copy.data() + (start - copy.data());
        int64_t value = 0;
        if (ReadNumber(end, &value) && end != start && size_t(end - start) == text.size())
            reason = "is not followed by ','";
    }
    return "column " + std::to_string(column + 1) + " (" + FieldKey(fields_[column]) + "): \"" + text + "\" " + reason;
}
