// Saving a file whole without risking the previous one: the new content is
// written under a temporary name in the same folder, flushed to the disk and
// only then renamed over the final path. A failed save leaves the old file
// as it was and no temporary file behind.
#pragma once

#include <sys/types.h>

#include <string>

#include "utils/osal/fileb.h"

namespace ZmLib {

class ReplaceFile {
public:
    ReplaceFile() = default;
    // An unfinished save is discarded.
    ~ReplaceFile() { Discard(); }
    ReplaceFile(const ReplaceFile&) = delete;
    ReplaceFile& operator=(const ReplaceFile&) = delete;

    // Creates a fresh temporary file beside path and opens it in file for
    // binary writing. The temporary file is the user's alone (0600) until
    // Commit gives it, just before the rename, the replaced file's
    // permissions (and, where the writer may, its owner and group) or a new
    // file's (0666 under the umask). When path is
    // a symbolic link that a write may follow (writepath.h), the file it
    // names is replaced and the link kept; another user's link in a shared
    // folder is refused, as is another user's file there (Refusal says
    // why), and nothing is created. A
    // temporary name too long for the file's PathStr is reported and fails.
    bool Begin(FILEB& file, const char* path);
    // The same for a writer with a stream of its own: the temporary file's
    // descriptor, or -1. The writer flushes it to the disk and closes it
    // before Commit.
    int BeginDescriptor(const char* path);
    // Flushes and closes Begin's file and renames the temporary file over
    // the final path; false (and the temporary file removed) when any step
    // fails.
    bool Commit();
    // Closes Begin's file and removes the temporary file.
    void Discard();
    bool Active() const { return !temp_.empty(); }
    const char* TempPath() const { return temp_.c_str(); }
    // What Commit replaces: the path, or the file its links lead to.
    const std::string& Target() const { return target_; }
    // Why the last Begin refused the path, naming the link; empty when it
    // did not (a failure then has only errno).
    const std::string& Refusal() const { return refusal_; }

private:
    // The temporary file, created and open for writing; -1 on failure.
    // named: the file that takes the temporary name, when there is one.
    int Create(FILEB* named, const char* path);
    // Gives the temporary file its final mode (and owner and group); false
    // with errno.
    bool TakeFinalMode();
    void ReleaseHeld();

    FILEB* file_ = nullptr;
    std::string path_;   // as given, the file's path afterwards
    std::string target_; // what is replaced: path, or the file its links name
    std::string temp_;
    std::string refusal_;
    int held_ = -1; // the temporary file, until the rename
    mode_t mode_ = 0;
    uid_t owner_ = uid_t(-1); // the replaced file's owner
    gid_t group_ = gid_t(-1); // and group
};

} // namespace ZmLib
