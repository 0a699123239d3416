// The per-user work folder and the files made in it. Its name is easy to
// guess and it lies in a folder that every user may write to, so it is only
// used when nobody else could have made it, reach into it or put a link in
// place of it or of a file in it.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <string>

namespace ZmLib {

// True when dir is a directory (not a symbolic link) owned by owner that
// nobody else may enter, read or write (mode not wider than 0700).
bool IsPrivateDir(const std::string& dir, uid_t owner = geteuid());

// Empty when dir is private as IsPrivateDir says; otherwise the reason,
// naming the folder.
std::string PrivateDirProblem(const std::string& dir, uid_t owner = geteuid());

// Makes dir with mode 0700 when it is missing (its parent must exist) and
// checks it as PrivateDirProblem does. Empty when it may be used; otherwise the
// reason, naming the folder.
std::string EnsurePrivateDir(const std::string& dir, uid_t owner = geteuid());

// Creates path anew for writing, mode 0600, never through a symbolic link:
// a regular file of that name is removed first, anything else there (a link,
// a folder) is refused. The open descriptor, or -1 with the reason in why.
int CreatePrivateFile(const std::string& path, std::string& why);

} // namespace ZmLib
