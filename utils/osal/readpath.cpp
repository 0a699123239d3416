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

// Without /proc the file looked at cannot be opened through its path-only
// descriptor: the path is opened again without waiting and what was opened
// is checked, so nothing but a regular file is read and nothing waits; only
// a device put at the path in between may be opened (and is not read).
int OpenPathAgain(const char* path, std::string& refusal)
{
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st;
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

} // namespace

BeforeReadOpenFunc BeforeReadOpen = nullptr;

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
    // A descriptor of the path alone: what it names is looked at without
    // being opened (a device is not acted on, a FIFO does not wait), and
    // only that file, once found regular, is opened.
    const int named = open(path, O_PATH | O_CLOEXEC);
    if (named < 0)
        return -1;
    struct stat st;
    int fd = -1;
    if (fstat(named, &st) == 0 && Readable(path, st, refusal)) {
        if (BeforeReadOpen != nullptr)
            BeforeReadOpen(path);
        fd = open(("/proc/self/fd/" + std::to_string(named)).c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT)
            fd = OpenPathAgain(path, refusal);
    }
    const int error = errno;
    close(named);
    errno = error;
    return fd;
}

} // namespace ZmLib
