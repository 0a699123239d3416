#include "utils/osal/fileb.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "utils/common/replacefile.h"
#include "utils/kx/kx.h"
#include "utils/osal/readpath.h"

namespace ZmLib {

namespace {

// fread and fwrite are called in pieces so that a single call never sees a
// count beyond what the C library handles comfortably.
constexpr uint64_t IO_CHUNK = 1u << 30;

uint64_t ReadAll(FILE* stream, uint8_t* buffer, uint64_t count)
{
    uint64_t done = 0;
    while (done < count) {
        size_t n = fread(buffer + done, 1, size_t(std::min(count - done, IO_CHUNK)), stream);
        if (n == 0)
            break;
        done += n;
    }
    return done;
}

uint64_t WriteAll(FILE* stream, const uint8_t* data, uint64_t count)
{
    uint64_t done = 0;
    while (done < count) {
        size_t n = fwrite(data + done, 1, size_t(std::min(count - done, IO_CHUNK)), stream);
        if (n == 0)
            break;
        done += n;
    }
    return done;
}

// Only a regular file has a size worth reading whole: a directory reports
// an end near 2^63, a device or pipe none at all. A stream without a
// descriptor (a memory stream) is taken as it is.
bool IsRegularStream(FILE* stream)
{
    int fd = fileno(stream);
    struct stat st;
    return fd < 0 || (fstat(fd, &st) == 0 && S_ISREG(st.st_mode));
}

} // namespace

FILEB::FILEB(const char* path)
{
    SetPath(path);
}

FILEB::~FILEB()
{
    Close();
}

bool FILEB::SetPath(const char* path)
{
    if (path == nullptr || strlen(path) > Path.Capacity()) {
        Path.Clear();
        return false;
    }
    Path.Set(path);
    return true;
}

bool FILEB::Open(const char* mode)
{
    Close();
    if (Path.Empty() || mode == nullptr)
        return false;
    // 'e': the descriptor is not inherited by programs we start.
    char fullMode[16];
    int n = snprintf(fullMode, sizeof fullMode, "%se", mode);
    if (n < 0 || size_t(n) >= sizeof fullMode)
        return false;
    Handle = fopen(Path.c_str(), fullMode);
    return Handle != nullptr;
}

bool FILEB::OpenToRead(std::string& refusal)
{
    Close();
    refusal.clear();
    const int fd = ZmLib::OpenToRead(Path.c_str(), refusal);
    Handle = fd >= 0 ? fdopen(fd, "rb") : nullptr;
    if (Handle == nullptr && fd >= 0) {
        const int error = errno;
        close(fd);
        errno = error;
    }
    return Handle != nullptr;
}

bool FILEB::Open(const char* path, const char* mode)
{
    Close();
    return SetPath(path) && Open(mode);
}

size_t FILEB::Read(void* buffer, size_t count)
{
    if (Handle == nullptr || buffer == nullptr)
        return 0;
    return size_t(ReadAll(Handle, static_cast<uint8_t*>(buffer), count));
}

size_t FILEB::Write(const void* data, size_t count)
{
    if (Handle == nullptr || data == nullptr)
        return 0;
    return size_t(WriteAll(Handle, static_cast<const uint8_t*>(data), count));
}

bool FILEB::Seek64(int64_t offset, int whence)
{
    return Handle != nullptr && fseeko(Handle, off_t(offset), whence) == 0;
}

int64_t FILEB::Tell64()
{
    return Handle != nullptr ? int64_t(ftello(Handle)) : -1;
}

bool FILEB::Flush()
{
    return Handle != nullptr && fflush(Handle) == 0;
}

bool FILEB::Commit()
{
    return Flush() && fdatasync(fileno(Handle)) == 0;
}

int FILEB::Printf(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int n = VPrintf(format, args);
    va_end(args);
    return n;
}

int FILEB::VPrintf(const char* format, va_list args)
{
    if (Handle == nullptr)
        return -1;
    char* buffer = nullptr;
    int n = StrBase::VFormatTemp(buffer, format, args);
    if (n < 0)
        return -1;
    return int(WriteAll(Handle, reinterpret_cast<uint8_t*>(buffer), size_t(n)));
}

uint64_t FILEB::ReadToMemory()
{
    if (!KX_VERIFY(KxSys, Handle))
        return 0;
    if (Membuf != nullptr)
        FreeMemory();
    if (!KX_VERIFY(KxSys, IsRegularStream(Handle)))
        return 0;
    off_t end = -1;
    if (fseeko(Handle, 0, SEEK_END) == 0)
        end = ftello(Handle);
    if (!KX_VERIFY(KxSys, end >= 0 && fseeko(Handle, 0, SEEK_SET) == 0))
        return 0;
    uint64_t wanted = uint64_t(end);
    if (wanted >= SIZE_MAX || (Membuf = static_cast<uint8_t*>(malloc(size_t(wanted) + 1))) == nullptr) {
        KX_VERIFY(KxSys, Membuf);
        return 0;
    }
    MembufSize = wanted;
    uint64_t size = ReadAll(Handle, Membuf, wanted);
    // The file shrank (or failed) while being read: a failure, not a stop.
    if (!KX_VERIFY(KxSys, size == MembufSize)) {
        FreeMemory();
        return 0;
    }
    Membuf[size] = 0;
    return size;
}

void FILEB::FreeMemory()
{
    if (!KX_VERIFY(KxSys, Membuf))
        return;
    free(Membuf);
    Membuf = nullptr;
    MembufSize = 0;
}

bool FILEB::Copy(const char* dest)
{
    if (!KX_VERIFY(KxSys, dest && *dest))
        return false;
    ReadToMemory();
    if (Membuf == nullptr)
        return false;
    FILEB out;
    ReplaceFile saver;
    bool ok = KX_VERIFY_TEXT(KxSys, saver.Begin(out, dest), "fdest");
    ok = ok && KX_VERIFY_TEXT(KxSys, out.Write(Membuf, size_t(MembufSize)) == MembufSize, "size == MembufSize");
    // A failed step leaves the temporary file to the saver, which removes it.
    ok = ok && KX_VERIFY(KxSys, saver.Commit());
    FreeMemory();
    return ok;
}

uint64_t FILEB::Size()
{
    if (!KX_VERIFY(KxSys, Handle))
        return SIZE_ERROR;
    if (fseeko(Handle, 0, SEEK_END) != 0)
        return SIZE_ERROR;
    off_t end = ftello(Handle);
    if (fseeko(Handle, 0, SEEK_SET) != 0 || end < 0)
        return SIZE_ERROR;
    return uint64_t(end);
}

bool FILEB::Close()
{
    if (Membuf != nullptr)
        FreeMemory();
    if (Handle == nullptr)
        return true;
    int rc = fclose(Handle);
    Handle = nullptr;
    return rc == 0;
}

bool FILEB::RenameToBak()
{
    if (Path.Empty())
        return false;
    std::string bak(Path.c_str());
    bak += ".bak";
    // rename replaces an older backup in one step: there is never a moment
    // without one.
    return rename(Path.c_str(), bak.c_str()) == 0;
}

} // namespace ZmLib
