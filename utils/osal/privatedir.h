// The per-user work folder and the files made in it. Its name is easy to
// guess, so it is only put where nobody else can rename anything on the way
// to it, and only used when nobody else could have made it, reach into it
// or put a link in place of it or of a file in it.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <cstddef>
#include <functional>
#include <string>

namespace ZmLib {

// Empty when dir is a directory (not a symbolic link) owned by owner that
// nobody else may enter, read or write (mode not wider than 0700);
// otherwise the reason, naming the folder.
std::string PrivateDirProblem(const std::string& dir, uid_t owner = geteuid());

// Empty when nobody but owner and root can rename anything on the way to
// dir: every folder from the root down to dir itself, links followed,
// belongs to root or owner, and one that the group or others may write to
// has the sticky bit (as /tmp); a link belongs to root or owner. Otherwise
// the reason, naming the folder or link at fault.
std::string WayProblem(const std::string& dir, uid_t owner = geteuid());

// owner's work folder, named name, in the first of these places that is
// safe: temp when WayProblem finds nothing on the way to it; runtime when it
// is owner's private folder on a safe way; cache when the way to it is safe
// and it is owner's and nobody else may write to it (made, mode 0700, when
// missing, below a folder on a safe way). A place where something other than
// owner's private folder has the name is passed over too. The folder's path,
// ending with '/'; empty when no place is safe, and then nothing is made.
// why is empty when temp is used; otherwise it names the place used, or says
// there is none, and why each place before it was passed over.
std::string ChooseWorkFolder(const std::string& temp, const std::string& runtime, const std::string& cache,
                             const std::string& name, uid_t owner, std::string& why);

// Creates path anew for writing, mode 0600, never through a symbolic link:
// a regular file of that name is removed first, anything else there (a link,
// a folder) is refused. The open descriptor, or -1 with the reason in why.
int CreatePrivateFile(const std::string& path, std::string& why);

// Writes all size bytes to fd; false with the system's reason in why (a
// short write is retried until the system names what stops it).
bool WriteFully(int fd, const void* data, size_t size, std::string& why);

// A private folder held open: it is checked once on its descriptor, and
// every file is then made, read, renamed and removed relative to that
// descriptor, so a folder or link put at its name later is never used.
class PrivateDir {
public:
    PrivateDir() = default;
    ~PrivateDir();
    PrivateDir(const PrivateDir&) = delete;
    PrivateDir& operator=(const PrivateDir&) = delete;

    // Makes dir with mode 0700 when it is missing (its parent must exist),
    // opens it without following a link and checks the open folder as
    // PrivateDirProblem does. Empty when it is held; otherwise the reason,
    // naming the folder, and nothing is held.
    std::string Hold(const std::string& dir, uid_t owner = geteuid());
    bool IsHeld() const { return fd_ >= 0; }
    // The folder's name as given to Hold, ending with '/'.
    const std::string& Path() const { return path_; }
    std::string PathOf(const std::string& name) const { return path_ + name; }
    // Where the held folder is now, ending with '/': its name as held while
    // that still names it, else where it was moved to (the name as held
    // when the system cannot say).
    std::string WhereNow() const;

    // As CreatePrivateFile, for name in the folder.
    int Create(const std::string& name, std::string& why) const;
    // Opens the regular file name for reading, never through a link; -1
    // with the reason in why.
    int OpenForReading(const std::string& name, std::string& why) const;
    bool Remove(const std::string& name) const;
    // Removes the files that ours claims: regular files of the owner that
    // nobody else may use, named as ours accepts or the temporaries Begin
    // made for such a name. Anything else stays. False when one of them
    // could not be removed; why then names the first and the system's reason.
    bool RemoveOwn(const std::function<bool(const std::string&)>& ours, std::string* why = nullptr) const;

    // A file written whole: Begin makes a new private file beside name
    // (refused when something other than a regular file stands at name);
    // Commit puts it in name's place, Discard removes it.
    struct Replacement {
        int fd = -1;
        std::string temporary;
    };
    bool Begin(const std::string& name, Replacement& file, std::string& why) const;
    bool Commit(Replacement& file, const std::string& name, std::string& why) const;
    void Discard(Replacement& file) const;

    // Called with the folder's name once what stands there is opened and
    // before it is checked, and once it has passed its check and before it
    // is used; tests change what stands at the name there.
    static inline std::function<void(const std::string&)> AfterOpen;
    static inline std::function<void(const std::string&)> AfterCheck;

private:
    void Release();

    int fd_ = -1;
    uid_t owner_ = 0;
    std::string path_;
};

} // namespace ZmLib
