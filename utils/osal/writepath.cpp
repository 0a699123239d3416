#include "utils/osal/writepath.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

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

} // namespace

EntryOwnerFunc EntryOwner = OwnerInStatus;

bool ResolveWriteTarget(const char* path, std::string& target, std::string& refusal)
{
    target.clear();
    refusal.clear();
    if (path == nullptr || *path == 0) {
        errno = ENOENT;
        return false;
    }
    const uid_t me = geteuid();
    std::string current(path);
    for (int links = 0;; ++links) {
        struct stat st;
        // Anything but a link (nothing at all included) ends the chain; a
        // folder on the way that is missing is the write's to report.
        if (lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            target = current;
            return true;
        }
        if (links == MAX_LINKS) {
            errno = ELOOP;
            return false;
        }
        const std::string folder = FolderOf(current);
        struct stat dir;
        if (stat(folder.c_str(), &dir) != 0)
            return false;
        const uid_t owner = EntryOwner(current.c_str(), st);
        const bool shared = (dir.st_mode & (S_ISVTX | S_IWOTH)) == (S_ISVTX | S_IWOTH);
        if (shared && owner != me && owner != EntryOwner(folder.c_str(), dir)) {
            refusal =
                current + " is a link owned by user " + std::to_string(owner) + " in a folder others can write to";
            errno = EACCES;
            return false;
        }
        std::string body;
        if (!ReadLink(current, body))
            return false;
        // A relative link is read from the folder that holds it.
        current = body.empty() || body[0] == '/' ? body : folder + '/' + body;
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
    return open(target.c_str(), flags | O_NOFOLLOW, mode);
}

} // namespace ZmLib
