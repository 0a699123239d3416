// Walks the entries of one directory and creates or removes directories.
#pragma once

#include <dirent.h>

#include <string>

#include "utils/common/strbase.h"

namespace ZmLib {

class FDIR {
public:
    explicit FDIR(const char* dir);
    ~FDIR();
    FDIR(const FDIR&) = delete;
    FDIR& operator=(const FDIR&) = delete;

    // The first entry of the directory as a full path (dir + '/' + name),
    // "." and ".." left out; null, with no handle kept, when there is none.
    // A walk in progress is restarted.
    const char* FileFirst();
    // The next entry, null at the end. The handle stays open until Close or
    // the destructor.
    const char* FileNext();
    void Close();
    bool HasHandle() const { return Handle != nullptr; }
    const char* Current() const { return Entry.c_str(); }

    // True for a null or empty path and for an existing directory;
    // otherwise creates one level.
    static bool MkDir_(const char* path);
    // Removes an empty directory.
    static bool RmDir_(const char* path);

private:
    const char* NextEntry();

    std::string Dir;
    DIR* Handle = nullptr;
    PathStr Entry;
};

} // namespace ZmLib
