#include "utils/osal/readpath.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace ZmLib {

namespace {

const char* KindOf(mode_t mode)
{
    if (S_ISFIFO(mode))
        return "a pipe";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISCHR(mode))
        return "a character device";
    if (S_ISBLK(mode))
        return "a block device";
    return "a special file";
}

// False, with errno and why, for what is not read.
bool Readable(const char* path, const struct stat& st, std::string& refusal)
{
    if (S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return false;
    }
    refusal = NotRegularFile(path, st);
    if (refusal.empty())
        return true;
    errno = EINVAL;
    return false;
}

} // namespace

std::string NotRegularFile(const char* path, const struct stat& st)
{
    if (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))
        return std::string();
    return std::string(path) + " is " + KindOf(st.st_mode) + ", not a regular file: save it to a file first";
}

int OpenToRead(const char* path, std::string& refusal)
{
    refusal.clear();
    if (path == nullptr || *path == 0) {
        errno = ENOENT;
        return -1;
    }
    struct stat st;
    // Looked at before the open: opening a device may act on it, and a
    // socket does not open at all.
    if (stat(path, &st) == 0 && !Readable(path, st, refusal))
        return -1;
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    int flags = 0;
    if (fstat(fd, &st) != 0 || !Readable(path, st, refusal) || (flags = fcntl(fd, F_GETFL)) < 0 ||
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        const int error = errno;
        close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

} // namespace ZmLib
