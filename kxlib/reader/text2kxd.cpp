#include "kxlib/reader/text2kxd.h"

#include <cerrno>
#include <cstring>

#include "kxlib/kxchannels.h"
#include "kxlib/reader/kxlibexcept.h"
#include "utils/osal/process.h"

namespace {

constexpr size_t CHUNK_SIZE = 256 * 1024;

} // namespace

Text2Kxd::Text2Kxd(const char* path) : File2Kxd(path), chunk_(CHUNK_SIZE)
{
    Line[0] = 0;
}

int32_t Text2Kxd::Open()
{
    pos_ = end_ = 0;
    eof_ = failed_ = false;
    RecordsAccepted = RecordsBad = 0;
    return File2Kxd::Open();
}

bool Text2Kxd::Fill()
{
    if (eof_ || failed_)
        return false;
    size_t got = File.Read(chunk_.data(), chunk_.size());
    if (got < chunk_.size()) {
        if (File.Handle != nullptr && ferror(File.Handle)) {
            ReadErrno = errno != 0 ? errno : EIO;
            clearerr(File.Handle);
            failed_ = true;
            KX_ERROR(KxReaderChannel, "Read error in \"%s\" after %u lines", File.GetPath(), RecordsAccepted);
            return false;
        }
        eof_ = true;
    }
    pos_ = 0;
    end_ = got;
    return got > 0;
}

void Text2Kxd::NextLine()
{
    KX_ASSERT(KxReaderChannel, Record != nullptr);
    uint32_t length = 0;
    for (;;) {
        if (pos_ == end_ && !Fill())
            break;
        const char* from = chunk_.data() + pos_;
        size_t room = LINE_LENGTH_MAX - length;
        size_t avail = end_ - pos_;
        size_t take = avail < room ? avail : room;
        const void* lf = memchr(from, '\n', take);
        if (lf != nullptr)
            take = size_t(static_cast<const char*>(lf) - from) + 1;
        memcpy(Line + length, from, take);
        length += uint32_t(take);
        pos_ += take;
        if (lf != nullptr || length == LINE_LENGTH_MAX)
            break;
    }
    Line[length] = 0;
    LineLength = length;
    if (length > 0)
        return;
    if (failed_ && !eof_) {
        // Reported once; the input ends after it.
        eof_ = true;
        ThrowBad(CODE_IO_ERROR);
    }
    KxLibExcept end(KxLibExcept::END_OF_STREAM, int32_t(RecordsAccepted), int32_t(RecordsBad));
    KX_PRINT(KxReaderChannel, ZmLib::KX_LEVEL_NOTICE, "%s", end.text);
    throw int32_t(CODE_END);
}

void Text2Kxd::StartRecord()
{
    memset(Record, 0, sizeof(*Record));
    const int64_t base = ZmLib::PROCESS::TimeBase;
    Record->STIME = uint64_t(base != 0 ? base + ZmLib::TickMillis() * 1000 : ZmLib::NowMicros());
}

void Text2Kxd::ThrowBad(int32_t code)
{
    ++RecordsBad;
    throw code;
}
