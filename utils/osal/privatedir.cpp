#include "utils/osal/privatedir.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

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

} // namespace

std::string PrivateDirProblem(const std::string& dir, uid_t owner)
{
    const std::string path = WithoutTrailingSlash(dir);
    const std::string refused = "The temporary folder " + dir + " cannot be used: ";
    if (path.empty())
        return refused + "no name";
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        return refused + strerror(errno);
    if (S_ISLNK(st.st_mode))
        return refused + "it is a symbolic link";
    if (!S_ISDIR(st.st_mode))
        return refused + "it is not a folder";
    if (st.st_uid != owner)
        return refused + "it belongs to user " + std::to_string(st.st_uid);
    if ((st.st_mode & 077) != 0)
        return refused + "others may use it (mode " + Octal(st.st_mode) + ")";
    return std::string();
}

std::string EnsurePrivateDir(const std::string& dir, uid_t owner)
{
    const std::string path = WithoutTrailingSlash(dir);
    if (!path.empty() && mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return "The temporary folder " + dir + " cannot be used: " + strerror(errno);
    return PrivateDirProblem(dir, owner);
}

bool IsPrivateDir(const std::string& dir, uid_t owner) { return PrivateDirProblem(dir, owner).empty(); }

int CreatePrivateFile(const std::string& path, std::string& why)
{
    struct stat st;
    if (lstat(path.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            why = S_ISLNK(st.st_mode) ? "a symbolic link is in its place" : "something else is in its place";
            return -1;
        }
        if (unlink(path.c_str()) != 0) {
            why = strerror(errno);
            return -1;
        }
    }
    // O_EXCL: a name that came back since the check is not taken over.
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        why = strerror(errno);
    return fd;
}

} // namespace ZmLib
