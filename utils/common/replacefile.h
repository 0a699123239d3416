// Saving a file whole without risking the previous one: the new content is
// written under a temporary name in the same folder, flushed to the disk and
// only then renamed over the final path. A failed save leaves the old file
// as it was and no temporary file behind.
#pragma once

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
    // binary writing. A replaced file's permissions carry over; when path is
    // a symbolic link, the file it names is replaced and the link kept. A
    // temporary name too long for the file's PathStr is reported and fails.
    bool Begin(FILEB& file, const char* path);
    // Flushes and closes the file and renames it over the final path; false
    // (and the temporary file removed) when any step fails.
    bool Commit();
    // Closes the file and removes the temporary file.
    void Discard();
    bool Active() const { return file_ != nullptr; }
    const char* TempPath() const { return temp_.c_str(); }

private:
    FILEB* file_ = nullptr;
    std::string path_;   // as given, the file's path afterwards
    std::string target_; // path with its links resolved: what is replaced
    std::string temp_;
};

} // namespace ZmLib
