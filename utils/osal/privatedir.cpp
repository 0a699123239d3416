#include "utils/osal/privatedir.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

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

std::string BelongsTo(const std::string& what, uid_t uid) { return what + " belongs to user " + std::to_string(uid); }

// Why a folder of this status may not be used; empty when it may.
std::string Refusal(const struct stat& st, uid_t owner)
{
    if (S_ISLNK(st.st_mode))
        return "it is a symbolic link";
    if (!S_ISDIR(st.st_mode))
        return "it is not a folder";
    if (st.st_uid != owner)
        return BelongsTo("it", st.st_uid);
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
    const std::string refused = "The work folder " + dir + " cannot be used: ";
    if (path.empty())
        return refused + "no name";
    // Whatever stands there is opened, a link included, and the status read
    // is that of what was opened: a link swapped in is named as one.
    const int named = open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (named < 0)
        return refused + strerror(errno);
    if (PrivateDir::AfterOpen)
        PrivateDir::AfterOpen(path);
    struct stat st;
    std::string why = fstat(named, &st) == 0 ? Refusal(st, owner) : strerror(errno);
    if (why.empty() && (fd = openat(named, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) < 0)
        why = strerror(errno);
    close(named);
    return why.empty() ? why : refused + why;
}

// Root and the owner are the only users the owner has to trust.
bool Trusted(uid_t uid, uid_t owner) { return uid == 0 || uid == owner; }

// Why the folder at path, of status st, lets someone other than root and
// owner rename what is in it (or is no folder); empty when it does not.
std::string FolderOnTheWay(const std::string& path, const struct stat& st, uid_t owner)
{
    if (!S_ISDIR(st.st_mode))
        return path + " is not a folder";
    if (!Trusted(st.st_uid, owner))
        return BelongsTo(path, st.st_uid);
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (st.st_mode & S_ISVTX) == 0)
        return "others may write to " + path + " and it has no sticky bit (mode " + Octal(st.st_mode) + ")";
    return std::string();
}

// The parts of path put on the stack of parts still to walk, the first on
// top.
void PushParts(const std::string& path, std::vector<std::string>& parts)
{
    std::vector<std::string> split;
    for (size_t at = 0; at < path.size();) {
        const size_t end = std::min(path.find('/', at), path.size());
        if (end > at)
            split.push_back(path.substr(at, end - at));
        at = end + 1;
    }
    parts.insert(parts.end(), split.rbegin(), split.rend());
}

// Begin's temporary for a name: '.', the name, '.' and this many hex digits.
constexpr int TEMPORARY_DIGITS = 8;

// The name that the temporary name stands in for; empty for any other name.
std::string TemporaryOf(const std::string& name)
{
    const size_t tail = TEMPORARY_DIGITS + 1;
    if (name.size() <= tail + 1 || name[0] != '.' || name[name.size() - tail] != '.' ||
        name.find_first_not_of("0123456789abcdef", name.size() - TEMPORARY_DIGITS) != std::string::npos)
        return std::string();
    return name.substr(1, name.size() - tail - 1);
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

std::string WayProblem(const std::string& dir, uid_t owner)
{
    constexpr int MAX_LINKS = 40;
    if (dir.empty() || dir[0] != '/')
        return "'" + dir + "' is not a full path";
    std::vector<std::string> parts;
    PushParts(dir, parts);
    // The folder reached so far, links resolved, so ".." is its parent.
    std::string at = "/";
    struct stat st;
    std::string why = lstat("/", &st) == 0 ? FolderOnTheWay(at, st, owner) : "/: " + std::string(strerror(errno));
    int links = 0;
    while (why.empty() && !parts.empty()) {
        const std::string part = parts.back();
        parts.pop_back();
        if (part == "..")
            at.resize(std::max<size_t>(at.rfind('/'), 1));
        if (part == "." || part == "..")
            continue;
        const std::string next = (at == "/" ? at : at + "/") + part;
        if (lstat(next.c_str(), &st) != 0) {
            why = next + ": " + strerror(errno);
        } else if (!S_ISLNK(st.st_mode)) {
            why = FolderOnTheWay(next, st, owner);
            at = next;
        } else if (!Trusted(st.st_uid, owner)) {
            // Its folder was found safe; in a sticky one its owner may still swap it.
            why = BelongsTo(next, st.st_uid);
        } else {
            char target[PATH_MAX];
            const ssize_t n = ++links > MAX_LINKS ? -1 : readlink(next.c_str(), target, sizeof(target) - 1);
            if (n <= 0) {
                why = next + ": " + strerror(links > MAX_LINKS ? ELOOP : errno);
            } else {
                if (target[0] == '/')
                    at = "/";
                PushParts(std::string(target, size_t(n)), parts);
            }
        }
    }
    return why;
}

namespace {

// Makes path and its missing parents, mode 0700, each only below a folder
// on a safe way; then why path's own way is not safe, empty when it is.
std::string MakeSafely(const std::string& path, uid_t owner)
{
    struct stat st;
    const size_t slash = path.rfind('/');
    if (lstat(path.c_str(), &st) == 0 || errno != ENOENT || slash == std::string::npos)
        return WayProblem(path, owner);
    const std::string parentWhy = MakeSafely(slash == 0 ? "/" : path.substr(0, slash), owner);
    if (!parentWhy.empty())
        return parentWhy;
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return path + ": " + strerror(errno);
    return WayProblem(path, owner);
}

enum Place { TEMPORARY, RUNTIME, CACHE };

// Why the place may not hold the work folder; empty when it may. The way
// is checked first, then the place itself: private for the runtime folder;
// the owner's, writable by nobody else, for the cache folder.
std::string PlaceProblem(const std::string& place, Place kind, uid_t owner)
{
    const std::string way = kind == CACHE ? MakeSafely(place, owner) : WayProblem(place, owner);
    if (!way.empty() || kind == TEMPORARY)
        return way;
    struct stat st;
    if (kind == RUNTIME)
        return lstat(place.c_str(), &st) == 0 ? Refusal(st, owner) : strerror(errno);
    if (stat(place.c_str(), &st) != 0)
        return strerror(errno);
    if (st.st_uid != owner)
        return BelongsTo("it", st.st_uid);
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return "others may write to it (mode " + Octal(st.st_mode) + ")";
    return std::string();
}

// Why what stands at folder is not owner's work folder; empty when it is,
// or when nothing stands there.
std::string NameProblem(const std::string& folder, uid_t owner)
{
    struct stat st;
    if (lstat(folder.c_str(), &st) != 0)
        return errno == ENOENT ? std::string() : folder + ": " + strerror(errno);
    const std::string why = Refusal(st, owner);
    return why.empty() ? why : folder + " cannot be used: " + why;
}

} // namespace

std::string ChooseWorkFolder(const std::string& temp, const std::string& runtime, const std::string& cache,
                             const std::string& name, uid_t owner, std::string& why)
{
    const struct {
        const std::string& place;
        Place kind;
        const char* missing;
    } places[] = {{temp, TEMPORARY, "there is no temporary folder"},
                  {runtime, RUNTIME, "there is no runtime folder"},
                  {cache, CACHE, "there is no cache folder"}};
    std::string passed;
    for (const auto& p : places) {
        const std::string place = WithoutTrailingSlash(p.place);
        const std::string folder = (place == "/" ? place : place + "/") + name;
        std::string problem;
        if (!place.empty() && (problem = PlaceProblem(place, p.kind, owner)).empty())
            problem = NameProblem(folder, owner);
        if (!place.empty() && problem.empty()) {
            why = passed.empty() ? passed : "Work files are kept in " + place + ", " + passed;
            return folder + "/";
        }
        passed += (passed.empty() ? "" : "; ") + (place.empty() ? p.missing : "not in " + place + ": " + problem);
    }
    why = "No folder is safe for work files: " + passed;
    return std::string();
}

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
    owner_ = 0;
    path_.clear();
}

std::string PrivateDir::Hold(const std::string& dir, uid_t owner)
{
    Release();
    const std::string path = WithoutTrailingSlash(dir);
    if (!path.empty() && mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return "The work folder " + dir + " cannot be used: " + strerror(errno);
    const std::string why = OpenChecked(dir, owner, fd_);
    if (!why.empty())
        return why;
    owner_ = owner;
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
    // Not the read check: only the user can put anything in the folder,
    // which is held by its descriptor.
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

bool PrivateDir::RemoveOwn(const std::function<bool(const std::string&)>& ours, std::string* why) const
{
    const int listed = fd_ >= 0 ? openat(fd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    DIR* entries = listed >= 0 ? fdopendir(listed) : nullptr;
    if (entries == nullptr) {
        if (why)
            *why = fd_ >= 0 ? "the folder cannot be listed: " + std::string(strerror(errno)) : "no folder is held";
        if (listed >= 0)
            close(listed);
        return false;
    }
    bool removed = true;
    while (const dirent* entry = readdir(entries)) {
        const std::string name = entry->d_name;
        const std::string replaced = TemporaryOf(name);
        struct stat st;
        if ((ours(name) || (!replaced.empty() && ours(replaced))) &&
            fstatat(fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
            st.st_uid == owner_ && (st.st_mode & 077) == 0 && unlinkat(fd_, name.c_str(), 0) != 0) {
            if (removed && why)
                *why = name + ": " + strerror(errno);
            removed = false;
        }
    }
    closedir(entries);
    return removed;
}

bool PrivateDir::Begin(const std::string& name, Replacement& file, std::string& why) const
{
    bool exists = false;
    if (!PlainName(name, why) || !NameFree(fd_, name.c_str(), exists, why))
        return false;
    static thread_local std::mt19937 random{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[16];
        snprintf(suffix, sizeof(suffix), ".%0*x", TEMPORARY_DIGITS, unsigned(random()));
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
