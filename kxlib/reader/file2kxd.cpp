#include "kxlib/reader/file2kxd.h"

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "kxlib/kxchannels.h"
#include "kxlib/reader/kxlibexcept.h"

File2Kxd::File2Kxd(const char* path) : File(path) {}

File2Kxd::~File2Kxd() { File.Close(); }

int32_t File2Kxd::Open()
{
    KX_PRINT(KxReaderChannel, ZmLib::KX_LEVEL_NOTICE, "About to open \"%s\"", File.GetPath());
    return File.OpenToRead(refusal_) ? 0 : int32_t(KxLibExcept::OPEN_FAILED);
}

int64_t File2Kxd::GetFileSize()
{
    uint64_t size = ZmLib::FILEB::GetSize_(File.GetPath());
    return size <= uint64_t(INT64_MAX) ? int64_t(size) : 0;
}

int32_t File2Kxd::ReadFile(int32_t n, int32_t at)
{
    if (!KX_VERIFY(KxReaderChannel, n >= 0 && at >= 0 && int64_t(at) + n <= int64_t(ZmLib::KxdProt::SIZE)) ||
        !KX_VERIFY(KxReaderChannel, Record != nullptr))
        return 0;
    char* out = reinterpret_cast<char*>(Record) + at;
    size_t got = 0;
    while (got < size_t(n)) {
        if (aheadPos_ == aheadLen_) {
            if (!ahead_)
                ahead_.reset(new char[AHEAD_SIZE]);
            aheadPos_ = 0;
            aheadLen_ = File.Read(ahead_.get(), AHEAD_SIZE);
            if (aheadLen_ == 0) {
                if (File.Handle && ferror(File.Handle)) {
                    ReadErrno = errno != 0 ? errno : EIO;
                    clearerr(File.Handle);
                    return -1;
                }
                break;
            }
        }
        size_t piece = aheadLen_ - aheadPos_;
        if (piece > size_t(n) - got)
            piece = size_t(n) - got;
        memcpy(out + got, ahead_.get() + aheadPos_, piece);
        aheadPos_ += piece;
        got += piece;
    }
    return int32_t(got);
}

const char* File2Kxd::Peek(size_t n)
{
    if (aheadLen_ - aheadPos_ >= n)
        return ahead_.get() + aheadPos_;
    if (!ahead_)
        ahead_.reset(new char[AHEAD_SIZE]);
    const size_t left = aheadLen_ - aheadPos_;
    memmove(ahead_.get(), ahead_.get() + aheadPos_, left);
    aheadPos_ = 0;
    aheadLen_ = left + File.Read(ahead_.get() + left, AHEAD_SIZE - left);
    return aheadLen_ >= n ? ahead_.get() : nullptr;
}

bool File2Kxd::ReadWhole(int32_t at, int32_t headLen, bool checkLastByte, int32_t* consumed)
{
    using ZmLib::KxProt;
    if (!Record)
        return false;
    const char* head = Peek(size_t(headLen));
    if (!head)
        return false;
    const size_t message = offsetof(ZmLib::KxdProt, msg) - size_t(at);
    uint16_t magic = 0;
    uint16_t optLen = 0;
    memcpy(&magic, head + message + offsetof(KxProt, magic), sizeof magic);
    memcpy(&optLen, head + message + offsetof(KxProt, opt_len), sizeof optLen);
    if (magic != KxProt::MAGIC || optLen > KxProt::LEN_STRFIELDS)
        return false;
    const size_t length = size_t(headLen) + optLen;
    const char* whole = Peek(length);
    if (!whole)
        return false;
    memcpy(reinterpret_cast<char*>(Record) + at, whole, length);
    aheadPos_ += length;
    AcceptStrings(checkLastByte);
    *consumed = int32_t(length);
    return true;
}

void File2Kxd::SkipFile(int64_t n)
{
    if (n <= 0)
        return;
    const size_t buffered = aheadLen_ - aheadPos_;
    if (uint64_t(n) <= buffered) {
        aheadPos_ += size_t(n);
        return;
    }
    aheadPos_ = aheadLen_ = 0;
    if (!File.Seek64(n - int64_t(buffered), SEEK_CUR))
        KX_WARNING(KxReaderChannel, "Cannot skip %lld bytes in \"%s\"", static_cast<long long>(n), File.GetPath());
}
