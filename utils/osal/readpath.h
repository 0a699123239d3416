// Opening a file the user named for reading. Only a regular file is read: a
// pipe, FIFO, socket or device gives what its writer sends at the writer's
// pace (and a FIFO without a writer holds its open until one comes), so a
// load would take a part of it or wait. Such a path is refused at once,
// saying what it is.
#pragma once

#include <sys/stat.h>

#include <string>

namespace ZmLib {

// Why path, of the status st, is not read: "<path> is a pipe, not a regular
// file: save it to a file first" (a socket, a character or block device
// alike); empty for a regular file or a folder, which fails with EISDIR.
std::string NotRegularFile(const char* path, const struct stat& st);

// Opens path for reading, without waiting for a writer: the descriptor
// (blocking, close-on-exec), or -1 with errno, EISDIR for a folder, and why
// in refusal for what is not a regular file. Links are followed; what is
// not a regular file is refused before it is opened, and only the file
// looked at is opened, so what is put at the path meanwhile (a FIFO, a link
// to a device) is never opened either.
int OpenToRead(const char* path, std::string& refusal);

// Called by OpenToRead between its look at the file and its open, with the
// path; tests put their own here to put something else at the path in that
// moment, as another user could.
using BeforeReadOpenFunc = void (*)(const char* path);
extern BeforeReadOpenFunc BeforeReadOpen;

} // namespace ZmLib
