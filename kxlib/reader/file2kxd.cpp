#include "kxlib/reader/file2kxd.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "kxlib/kxchannels.h"
#include "kxlib/reader/kxlibexcept.h"

File2Kxd::File2Kxd(const char* path) : File(path) {}

File2Kxd::~File2Kxd() { File.Close(); }

int32_t File2Kxd::Open()
{
    KX_PRINT(KxReaderChannel, ZmLib::KX_LEVEL_NOTICE, "About to open \"%s\"", File.GetPath());
    uint32_t attributes = ZmLib::FILEB::GetAttributes(File.GetPath());
    if (attributes != UINT32_MAX && (attributes & ZmLib::FILE_ATTRIB_DIRECTORY))
        return KxLibExcept::OPEN_FAILED;
    return File.Open("rb") ? 0 : int32_t(KxLibExcept::OPEN_FAILED);
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
