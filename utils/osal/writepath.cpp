#include "utils/osal/writepath.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "utils/osal/readpath.h"

namespace ZmLib {

namespace {

uid_t OwnerInStatus(const char*, const struct stat& st) { return st.st_uid; }

// The kernel's own limit on the links of one path.
constexpr int MAX_LINKS = 40;

// The folder that holds the last component of path.
std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool ReadLink(const std::string& path, std::string& body)
{
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t n = readlink(path.c_str(), buffer.data(), buffer.size());
        if (n < 0)
            return false;
        if (size_t(n) < buffer.size()) {
            body.assign(buffer.data(), size_t(n));
            return true;
        }
        buffer.resize(buffer.size() * 2);
    }
}

// The kernel's rule for a sticky folder that others may write to: an entry
// there (st, a kind of entry) is used only when it is the writer's or the
// folder owner's. False, with errno and, for a refused entry, why.
bool MayUse(const std::string& entry, const struct stat& st, const char* kind, std::string& refusal)
{
    const std::string folder = FolderOf(entry);
    struct stat dir;
    if (stat(folder.c_str(), &dir) != 0)
        return false;
    const uid_t owner = EntryOwner(entry.c_str(), st);
    const bool shared = (dir.st_mode & (S_ISVTX | S_IWOTH)) == (S_ISVTX | S_IWOTH);
    if (!shared || owner == geteuid() || owner == EntryOwner(folder.c_str(), dir))
        return true;
    refusal = entry + " is a " + kind + " owned by user " + std::to_string(owner) + " in a folder others can write to";
    errno = EACCES;
    return false;
}

// What another user can read or answer through, once written into.
bool IsFileOrFifo(const struct stat& st) { return S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode); }

// False, with errno and why, for what a write in place does not open: a
// link put at target after the check, or no regular file. A folder is
// left to the open, which says so itself.
bool WhatIsThere(const std::string& target, const struct stat& st, std::string& refusal)
{
    if (S_ISLNK(st.st_mode)) {
        refusal = target + " was made a link after it was checked";
        errno = ELOOP;
        return false;
    }
    refusal = NotRegularFile(target.c_str(), st);
    if (refusal.empty())
        return true;
    errno = EINVAL;
    return false;
}

} // namespace

EntryOwnerFunc EntryOwner = OwnerInStatus;
BeforeWriteOpenFunc BeforeWriteOpen = nullptr;

bool ResolveWriteTarget(const char* path, std::string& target, std::string& refusal)
{
    target.clear();
    refusal.clear();
    if (path == nullptr || *path == 0) {
        errno = ENOENT;
        return false;
    }
    std::string current(path);
    for (int links = 0;; ++links) {
        struct stat st;
        // Anything but a link ends the chain; nothing at all is no failure,
        // and a folder on the way that is missing is the write's to report.
        if (lstat(current.c_str(), &st) != 0) {
            target = current;
            return true;
        }
        if (!S_ISLNK(st.st_mode)) {
            if (IsFileOrFifo(st) && !MayUse(current, st, "file", refusal))
                return false;
            target = current;
            return true;
        }
        if (links == MAX_LINKS) {
            errno = ELOOP;
            return false;
        }
        if (!MayUse(current, st, "link", refusal))
            return false;
        std::string body;
        if (!ReadLink(current, body))
            return false;
        // A relative link is read from the folder that holds it.
        current = body.empty() || body[0] == '/' ? body : FolderOf(current) + '/' + body;
        if (current.empty()) {
            errno = ENOENT;
            return false;
        }
    }
}

int OpenWriteTarget(const char* path, int flags, mode_t mode, std::string& refusal)
{
    std::string target;
    if (!ResolveWriteTarget(path, target, refusal))
        return -1;
    // What is there and no regular file is not opened at all: a FIFO would
    // wait for a reader, a device may act on its open.
    struct stat st;
    if (lstat(target.c_str(), &st) == 0 && !S_ISLNK(st.st_mode) && !WhatIsThere(target, st, refusal))
        return -1;
    if (BeforeWriteOpen != nullptr)
        BeforeWriteOpen(target.c_str());
    // Emptied only once it is known to be the user's to write. Not waiting:
    // a FIFO put there meanwhile fails the open or is opened at once, and
    // is refused either way.
    const int fd = open(target.c_str(), (flags & ~O_TRUNC) | O_NOFOLLOW | O_NONBLOCK, mode);
    if (fd < 0) {
        const int error = errno;
        // Told as what is there now, whatever the open said of it (another
        // user's link in a sticky folder fails with EACCES, not ELOOP).
        if (lstat(target.c_str(), &st) != 0 || WhatIsThere(target, st, refusal))
            errno = error;
        return -1;
    }
    // What was put there after the check is not written either: another
    // user's file, or no regular file.
    int status = 0;
    if (fstat(fd, &st) != 0 || !WhatIsThere(target, st, refusal) || !MayUse(target, st, "file", refusal) ||
        (status = fcntl(fd, F_GETFL)) < 0 || fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0 ||
        ((flags & O_TRUNC) != 0 && ftruncate(fd, 0) != 0)) {
        const int error = errno;
        close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

std::string WriteRefusal(const std::string& refusal, int error)
{
    return !refusal.empty() ? refusal : std::string(std::strerror(error != 0 ? error : EIO));
}

mode_t NewFileMode()
{
    // Linux tells the umask in the process's status.
    if (FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned int mask = 0;
        bool found = false;
        while (!found && std::fgets(line, sizeof line, status) != nullptr)
            found = std::sscanf(line, "Umask: %o", &mask) == 1;
        std::fclose(status);
        if (found)
            return mode_t(0666 & ~mask);
    }
    // Else asked by setting it: the narrowest one meanwhile, so a file that
    // another thread makes in that moment is only more private.
    const mode_t mask = umask(077);
    umask(mask);
    return mode_t(0666 & ~mask);
}

} // namespace ZmLib
