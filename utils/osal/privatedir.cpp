#include "utils/osal/privatedir.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <random>

namespace ZmLib {

namespace {

std::string WithoutTrailingSlash(const std::string& path)
{
    std::string result = path;
    while (result.size() > 1 && result.back() == '/')
        result.pop_back();
    return result;
}

std::string Octal(mode_t mode)
{
    char text[8];
    snprintf(text, sizeof(text), "%04o", unsigned(mode & 07777));
    return text;
}

// Why a folder of this status may not be used; empty when it may.
std::string Refusal(const struct stat& st, uid_t owner)
{
    if (S_ISLNK(st.st_mode))
        return "it is a symbolic link";
    if (!S_ISDIR(st.st_mode))
        return "it is not a folder";
    if (st.st_uid != owner)
        return "it belongs to user " + std::to_string(st.st_uid);
    if ((st.st_mode & 077) != 0)
        return "others may use it (mode " + Octal(st.st_mode) + ")";
    return std::string();
}

// Opens dir and checks the open folder, so that what was checked is what is
// used. Empty with the descriptor in fd, or the reason with fd -1.
std::string OpenChecked(const std::string& dir, uid_t owner, int& fd)
{
    fd = -1;
    const std::string path = WithoutTrailingSlash(dir);
    const std::string refused = "The temporary folder " + dir + " cannot be used: ";
    if (path.empty())
        return refused + "no name";
    const int opened = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (opened < 0) {
        // What stands there says more than the failed open, where it can.
        const int error = errno;
        const std::string why = lstat(path.c_str(), &st) == 0 ? Refusal(st, owner) : std::string();
        return refused + (why.empty() ? strerror(error) : why);
    }
    const std::string why = fstat(opened, &st) == 0 ? Refusal(st, owner) : strerror(errno);
    if (why.empty()) {
        fd = opened;
        return why;
    }
    close(opened);
    return refused + why;
}

// Only a name within the folder itself is made or removed there.
bool PlainName(const std::string& name, std::string& why)
{
    if (!name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos)
        return true;
    why = "not a file name in the folder";
    return false;
}

// Nothing or a regular file may stand at name; why says what else does.
bool NameFree(int dir, const char* name, bool& exists, std::string& why)
{
    struct stat st;
    exists = fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (!exists || S_ISREG(st.st_mode))
        return true;
    why = S_ISLNK(st.st_mode) ? "a symbolic link is in its place" : "something else is in its place";
    return false;
}

int CreateAt(int dir, const char* name, std::string& why)
{
    bool exists = false;
    if (!NameFree(dir, name, exists, why))
        return -1;
    if (exists && unlinkat(dir, name, 0) != 0) {
        why = strerror(errno);
        return -1;
    }
    // O_EXCL: a name that came back since the check is not taken over.
    const int fd = openat(dir, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        why = strerror(errno);
    return fd;
}

} // namespace

std::string PrivateDirProblem(const std::string& dir, uid_t owner)
{
    int fd = -1;
    const std::string why = OpenChecked(dir, owner, fd);
    if (fd >= 0)
        close(fd);
    return why;
}

bool IsPrivateDir(const std::string& dir, uid_t owner) { return PrivateDirProblem(dir, owner).empty(); }

int CreatePrivateFile(const std::string& path, std::string& why) { return CreateAt(AT_FDCWD, path.c_str(), why); }

bool WriteFully(int fd, const void* data, size_t size, std::string& why)
{
    const char* next = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = write(fd, next, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            why = written < 0 ? strerror(errno) : "nothing could be written";
            return false;
        }
        next += written;
        size -= size_t(written);
    }
    return true;
}

PrivateDir::~PrivateDir() { Release(); }

void PrivateDir::Release()
{
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
    path_.clear();
}

std::string PrivateDir::Hold(const std::string& dir, uid_t owner)
{
    Release();
    const std::string path = WithoutTrailingSlash(dir);
    if (!path.empty() && mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return "The temporary folder " + dir + " cannot be used: " + strerror(errno);
    const std::string why = OpenChecked(dir, owner, fd_);
    if (!why.empty())
        return why;
    path_ = path == "/" ? path : path + "/";
    if (AfterCheck)
        AfterCheck(path_);
    return why;
}

std::string PrivateDir::WhereNow() const
{
    struct stat held;
    struct stat named;
    if (fd_ < 0 || (fstat(fd_, &held) == 0 && lstat(WithoutTrailingSlash(path_).c_str(), &named) == 0 &&
                    held.st_dev == named.st_dev && held.st_ino == named.st_ino))
        return path_;
    char link[PATH_MAX];
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    const ssize_t n = readlink(self.c_str(), link, sizeof(link) - 1);
    if (n <= 0 || link[0] != '/')
        return path_;
    const std::string now(link, size_t(n));
    static const std::string gone = " (deleted)";
    if (now.size() > gone.size() && now.compare(now.size() - gone.size(), gone.size(), gone) == 0)
        return path_;
    return now == "/" ? now : now + "/";
}

int PrivateDir::Create(const std::string& name, std::string& why) const
{
    return PlainName(name, why) ? CreateAt(fd_, name.c_str(), why) : -1;
}

int PrivateDir::OpenForReading(const std::string& name, std::string& why) const
{
    if (!PlainName(name, why))
        return -1;
    const int fd = openat(fd_, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (fd < 0)
        why = errno == ELOOP ? "a symbolic link is in its place" : strerror(errno);
    else if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        why = "it is not a regular file";
    else
        return fd;
    if (fd >= 0)
        close(fd);
    return -1;
}

bool PrivateDir::Remove(const std::string& name) const
{
    std::string why;
    return PlainName(name, why) && unlinkat(fd_, name.c_str(), 0) == 0;
}

bool PrivateDir::Begin(const std::string& name, Replacement& file, std::string& why) const
{
    bool exists = false;
    if (!PlainName(name, why) || !NameFree(fd_, name.c_str(), exists, why))
        return false;
    static thread_local std::mt19937 random{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[16];
        snprintf(suffix, sizeof(suffix), ".%08x", unsigned(random()));
        file.temporary = "." + name + suffix;
        file.fd = openat(fd_, file.temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (file.fd >= 0 || errno != EEXIST)
            break;
    }
    if (file.fd >= 0)
        return true;
    why = strerror(errno);
    file.temporary.clear();
    return false;
}

bool PrivateDir::Commit(Replacement& file, const std::string& name, std::string& why) const
{
    // The name is checked again: a folder put there since Begin stays.
    bool exists = false;
    const bool done = fsync(file.fd) == 0 && NameFree(fd_, name.c_str(), exists, why) &&
                      renameat(fd_, file.temporary.c_str(), fd_, name.c_str()) == 0;
    if (!done && why.empty())
        why = strerror(errno);
    if (done)
        file.temporary.clear();
    Discard(file);
    return done;
}

void PrivateDir::Discard(Replacement& file) const
{
    if (file.fd >= 0)
        close(file.fd);
    if (!file.temporary.empty())
        unlinkat(fd_, file.temporary.c_str(), 0);
    file = Replacement();
}

} // namespace ZmLib
