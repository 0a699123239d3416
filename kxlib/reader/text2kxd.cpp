#include "kxlib/reader/text2kxd.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

#include "kxlib/fields.h"
#include "kxlib/kxchannels.h"
#include "kxlib/reader/kxlibexcept.h"
#include "kxlib/reader/textchunks.h"

using ZmLib::KxdProt;
using ZmLib::KxProt;

namespace {

constexpr size_t CHUNK_SIZE = TextChunks::READ_SIZE;
constexpr unsigned MAX_DEFAULT_WORKERS = 8;
// Bytes of the string area that texts and their terminators may take.
constexpr uint32_t STRING_LIMIT = KxProt::LEN_STRFIELDS - 1;

// The record field whose text a string slot holds.
int32_t FieldOfSlot(int slot)
{
    for (int32_t field = 0; field < FIELD_Nums; ++field)
        if (FieldTable[field].desc.strSlot == slot)
            return field;
    return -1;
}

} // namespace

Text2Kxd::Text2Kxd(const char* path) : File2Kxd(path), chunk_(CHUNK_SIZE)
{
    line_[0] = 0;
}

Text2Kxd::~Text2Kxd() = default;

int32_t Text2Kxd::Open()
{
    StopWorkers();
    pos_ = end_ = 0;
    eof_ = failed_ = false;
    RecordsAccepted = RecordsBad = 0;
    offset_ = 0;
    lines_ = 0;
    lastStamp_ = 0;
    continued_ = false;
    heldLength_ = 0;
    refused_ = longLines_ = cutLines_ = badTimeLines_ = Finding();
    const int32_t code = File2Kxd::Open();
    const int workers = workers_ > 0 ? workers_
                                     : int(std::min(MAX_DEFAULT_WORKERS, std::max(1u, std::thread::hardware_concurrency())));
    if (code == 0 && workers > 1)
        chunks_ = std::make_unique<TextChunks>(File, *this, workers);
    else if (code == 0 && !scratch_)
        scratch_ = NewScratch();
    return code;
}

void Text2Kxd::StopWorkers() { chunks_.reset(); }

bool Text2Kxd::Fill()
{
    if (eof_ || failed_)
        return false;
    size_t got = File.Read(chunk_.data(), chunk_.size());
    if (got < chunk_.size()) {
        if (File.Handle != nullptr && ferror(File.Handle)) {
            const int error = errno != 0 ? errno : EIO;
            clearerr(File.Handle);
            failed_ = true;
            ReportReadError(error);
            return false;
        }
        eof_ = true;
    }
    pos_ = 0;
    end_ = got;
    return got > 0;
}

void Text2Kxd::ReportReadError(int error)
{
    ReadErrno = error;
    KX_ERROR(KxReaderChannel, "Read error in \"%s\" after %u lines", File.GetPath(), RecordsAccepted);
}

void Text2Kxd::NextLine()
{
    memcpy(line_, held_, heldLength_);
    uint32_t length = heldLength_;
    heldLength_ = 0;
    // Enough of the file to tell where the row ends: its line end, a row
    // with its line end, or the end of the file.
    bool ended = memchr(line_, '\n', length) != nullptr;
    while (!ended && length < ROW_BYTES_MAX) {
        if (pos_ == end_ && !Fill())
            break;
        const char* from = chunk_.data() + pos_;
        size_t take = std::min<size_t>(end_ - pos_, ROW_BYTES_MAX - length);
        const void* lf = memchr(from, '\n', take);
        if (lf != nullptr)
            take = size_t(static_cast<const char*>(lf) - from) + 1;
        memcpy(line_ + length, from, take);
        length += uint32_t(take);
        pos_ += take;
        ended = lf != nullptr;
    }
    const uint32_t row = RowLength(line_, length, lineContinues_);
    heldLength_ = length - row;
    memcpy(held_, line_ + row, heldLength_);
    length = row;
    line_[length] = 0;
    lineLength_ = length;
    if (length > 0)
        return;
    if (failed_ && !eof_) {
        // Reported once; the input ends after it.
        eof_ = true;
        ThrowBad(CODE_IO_ERROR);
    }
    ThrowEnd();
}

int32_t Text2Kxd::ReadRecord()
{
    KX_ASSERT(KxReaderChannel, Record != nullptr);
    if (!chunks_) {
        NextLine();
        memset(Record, 0, sizeof(*Record));
        Note note;
        note.length = lineLength_;
        note.continues = lineContinues_;
        ParseLine(*scratch_, line_, *Record, note);
        Stamp();
        return TakeLine(note);
    }
    TextChunks::Item item;
    switch (chunks_->Next(item)) {
    case TextChunks::Kind::Line:
        if (item.reportError != 0)
            ReportReadError(item.reportError);
        CopyParsed(*item.record);
        return TakeLine(*item.note);
    case TextChunks::Kind::ReadFailed:
        if (item.reportError != 0)
            ReportReadError(item.reportError);
        ThrowBad(CODE_IO_ERROR);
    case TextChunks::Kind::End:
        break;
    }
    ThrowEnd();
}

int32_t Text2Kxd::TakeLine(const Note& note)
{
    const uint64_t start = offset_;
    offset_ += note.length;
    // The rows after the first of a line that was cut are that line's.
    if (continued_)
        Count(longLines_, lines_, start, note);
    else
        ++lines_;
    continued_ = note.continues;
    if (note.cutField >= 0)
        Count(cutLines_, lines_, start, note);
    if (note.badTimeLength > 0)
        Count(badTimeLines_, lines_, start, note);
    if (note.code != 0) {
        Count(refused_, lines_, start, note);
        ThrowBad(note.code);
    }
    CountLine(note, lines_);
    ++RecordsAccepted;
    return int32_t(note.length);
}

void Text2Kxd::Count(Finding& finding, uint32_t line, uint64_t offset, const Note& note)
{
    if (finding.count > 0 && finding.lastLine == line)
        return;
    if (finding.count == 0) {
        finding.line = line;
        finding.offset = offset;
        finding.note = note;
    }
    finding.lastLine = line;
    ++finding.count;
}

std::string Text2Kxd::RowText(const Finding& finding) const
{
    std::string text;
    if (finding.count == 0)
        return text;
    // Read again by its path: only while it is still a regular file.
    ZmLib::FILEB file(File.GetPath());
    std::string refusal;
    if (!file.OpenToRead(refusal))
        return text;
    text.resize(finding.note.length);
    if (!file.Seek64(int64_t(finding.offset)) || file.Read(&text[0], text.size()) != text.size())
        text.clear();
    return text;
}

void Text2Kxd::PackStrings(KxdProt& record, const char** strings, uint16_t* lengths, Note& note)
{
    uint32_t pos = 1;
    for (int slot = 0; slot < KxProt::STR_SLOTS; ++slot) {
        if (strings[slot] == nullptr)
            continue;
        const uint32_t room = pos + 1 < STRING_LIMIT ? STRING_LIMIT - pos - 1 : 0;
        if (lengths[slot] > room) {
            lengths[slot] = uint16_t(CharBoundary(strings[slot], room));
            if (note.cutField < 0)
                note.cutField = FieldOfSlot(slot);
        }
        pos += lengths[slot] + 1u;
    }
    record.SetStrings(strings, lengths);
}

void Text2Kxd::Stamp() { Record->STIME = StampNow(); }

void Text2Kxd::CopyParsed(const KxdProt& parsed)
{
    // A parsed record is zero past the used part of its string area: into a
    // slot that is zero as well only the bytes that differ go, as this runs
    // for every row on the one thread that hands the rows out.
    constexpr size_t stringsAt = offsetof(KxdProt, msg) + offsetof(KxProt, strings);
    constexpr size_t tailAt = offsetof(KxdProt, EXECTIME);
    const size_t used = std::min<size_t>(parsed.msg.opt_len, KxProt::LEN_STRFIELDS);
    if (RecordZeroed) {
        memcpy(Record, &parsed, stringsAt + used);
        memcpy(&Record->EXECTIME, &parsed.EXECTIME, sizeof(*Record) - tailAt);
    } else {
        memcpy(Record, &parsed, sizeof(*Record));
    }
    // Workers stamp the rows when they parse them, each its own: in file
    // order a row never reads as older than the one before it.
    Record->STIME = std::max(Record->STIME, lastStamp_);
    lastStamp_ = Record->STIME;
}

void Text2Kxd::ThrowBad(int32_t code)
{
    ++RecordsBad;
    throw code;
}

void Text2Kxd::ThrowEnd()
{
    KxLibExcept end(KxLibExcept::END_OF_STREAM, int32_t(RecordsAccepted), int32_t(RecordsBad));
    KX_PRINT(KxReaderChannel, ZmLib::KX_LEVEL_NOTICE, "%s", end.text);
    throw int32_t(CODE_END);
}
