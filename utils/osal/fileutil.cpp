// Path helpers of FILEB: attributes, sizes, times, and the free space of a
// volume.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <cstring>

#include "utils/kx/kx.h"
#include "utils/osal/fileb.h"

namespace ZmLib {

namespace {

constexpr uint32_t UNKNOWN_ATTRIB = UINT32_MAX;
constexpr uint32_t ATTRIB_BITS = FILE_ATTRIB_READONLY | FILE_ATTRIB_HIDDEN | FILE_ATTRIB_DIRECTORY;

// The last path component, ignoring trailing separators.
bool NameIsHidden(const char* path)
{
    size_t end = strlen(path);
    while (end > 1 && (path[end - 1] == '/' || path[end - 1] == '\\'))
        --end;
    size_t start = end;
    while (start > 0 && path[start - 1] != '/' && path[start - 1] != '\\')
        --start;
    size_t length = end - start;
    if (length == 0 || path[start] != '.')
        return false;
    // "." and ".." name folders, they do not hide them.
    return !(length == 1 || (length == 2 && path[start + 1] == '.'));
}

// Makes the attributes of path equal to want. Only the read-only bit can be
// changed on POSIX; a change of the others is refused.
bool ApplyAttributes(const char* path, uint32_t have, uint32_t want)
{
    if (((have ^ want) & (FILE_ATTRIB_HIDDEN | FILE_ATTRIB_DIRECTORY)) != 0) {
        errno = EINVAL;
        return false;
    }
    if (((have ^ want) & FILE_ATTRIB_READONLY) == 0)
        return true;
    struct stat st;
    if (stat(path, &st) != 0)
        return false;
    mode_t mode = st.st_mode & 07777;
    mode = (want & FILE_ATTRIB_READONLY) ? (mode & ~mode_t(0222)) : (mode | S_IWUSR);
    return chmod(path, mode) == 0;
}

int64_t StatMicros(const struct stat& st)
{
    return int64_t(st.st_mtim.tv_sec) * 1000000 + st.st_mtim.tv_nsec / 1000;
}

bool SetBothTimes(const char* path, int64_t seconds, long nanoseconds)
{
    if (path == nullptr)
        return false;
    struct timespec times[2];
    times[0].tv_sec = time_t(seconds);
    times[0].tv_nsec = nanoseconds;
    times[1] = times[0];
    return utimensat(AT_FDCWD, path, times, 0) == 0;
}

} // namespace

uint32_t FILEB::GetAttributes(const char* path)
{
    struct stat st;
    if (path == nullptr || stat(path, &st) != 0)
        return UNKNOWN_ATTRIB;
    uint32_t attr = 0;
    if ((st.st_mode & 0222) == 0)
        attr |= FILE_ATTRIB_READONLY;
    if (S_ISDIR(st.st_mode))
        attr |= FILE_ATTRIB_DIRECTORY;
    if (NameIsHidden(path))
        attr |= FILE_ATTRIB_HIDDEN;
    return attr != 0 ? attr : uint32_t(FILE_ATTRIB_NORMAL);
}

bool FILEB::GetAttrib_(const char* path, uint32_t mask, bool* out)
{
    uint32_t attr = GetAttributes(path);
    if (!KX_VERIFY_TEXT(KxSys, attr != UNKNOWN_ATTRIB, "attr != ((DWORD)-1)"))
        return false;
    if (out != nullptr)
        *out = (attr & mask) != 0;
    return true;
}

bool FILEB::SetAttrib_(const char* path, uint32_t mask, bool set)
{
    uint32_t attr = GetAttributes(path);
    if (!KX_VERIFY_TEXT(KxSys, attr != UNKNOWN_ATTRIB, "attr != ((DWORD)-1)"))
        return false;
    mask &= ATTRIB_BITS;
    return KX_VERIFY(KxSys, ApplyAttributes(path, attr, set ? (attr | mask) : (attr & ~mask)));
}

uint64_t FILEB::GetSize_(const char* path)
{
    struct stat st;
    if (path == nullptr || stat(path, &st) != 0)
        return 0;
    return uint64_t(st.st_size);
}

uint32_t FILEB::GetSize32(const char* path)
{
    // As a 32-bit stat, a size beyond 32 bits cannot be examined.
    uint64_t size = GetSize_(path);
    return size <= UINT32_MAX ? uint32_t(size) : 0;
}

int64_t FILEB::GetModTime(const char* path)
{
    struct stat st;
    if (path == nullptr || stat(path, &st) != 0)
        return 0;
    return int64_t(st.st_mtim.tv_sec);
}

int64_t FILEB::GetWriteTime(const char* path)
{
    struct stat st;
    if (path == nullptr || stat(path, &st) != 0)
        return 0;
    return MicrosToFileTime(StatMicros(st));
}

bool FILEB::SetTimeSecs(const char* path, int64_t seconds)
{
    return SetBothTimes(path, seconds, 0);
}

bool FILEB::SetTime(const char* path, int64_t fileTime)
{
    int64_t us = FileTimeToMicros(fileTime);
    int64_t seconds = us / 1000000;
    int64_t rest = us % 1000000;
    if (rest < 0) {
        rest += 1000000;
        --seconds;
    }
    return SetBothTimes(path, seconds, long(rest * 1000));
}

int64_t DiskFree(const char* path)
{
    struct statvfs vfs;
    if (path == nullptr || statvfs(path, &vfs) != 0)
        return 0;
    unsigned __int128 bytes = (unsigned __int128)vfs.f_bfree * vfs.f_frsize;
    return bytes > (unsigned __int128)INT64_MAX ? INT64_MAX : int64_t(bytes);
}

} // namespace ZmLib
