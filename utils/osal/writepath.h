// Where a write at a path the user chose may land. A symbolic link in a
// sticky world-writable folder (as /tmp) is followed only when it is the
// writer's own or the folder owner's, as the kernel follows one there
// (fs.protected_symlinks). A writer that resolves links itself (to rename
// over the file a link names) or creates a file beside the final one never
// meets the kernel's check, so every writer asks here first. The same rule
// holds for an existing file there (fs.protected_regular): another user's
// file in /tmp is never written into nor replaced, as it could be read by
// its owner or be a trap that widens what is written.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string>

namespace ZmLib {

// The file a write at path reaches: path itself when its last component is
// no link, else the file its chain of links ends at, each link in it
// checked by the rule (links in the folders on the way are followed as the
// kernel follows them, without the rule). A path that does not exist (yet)
// is no failure here; the write itself reports it. False when a link or
// the file it reaches is refused, with errno EACCES (as the kernel's own
// refusal) and why, naming it, in refusal; false with errno and an empty
// refusal when a link cannot be read or the chain is too long (ELOOP).
bool ResolveWriteTarget(const char* path, std::string& target, std::string& refusal);

// Opens the file a write at path reaches with open's flags (O_NOFOLLOW
// added, so a link put there after the check is not followed either) and
// mode, for a write in place: only a regular file (or a new one) is opened,
// never waiting. The descriptor (blocking), or -1 with errno and why in
// refusal: the rule's refusal, what is no regular file ("... is a pipe, not
// a regular file", as readpath.h words it; nothing is created, emptied or
// written), a link put at the file after the check, or the system's reason.
int OpenWriteTarget(const char* path, int flags, mode_t mode, std::string& refusal);

// Why a write at path failed with error, for a message: refusal when the
// rule gave one, else the system's reason in the machine's language.
std::string WriteRefusal(const std::string& refusal, int error);

// The mode open(..., 0666) gives a new file under the process's umask, read
// without changing the umask (other threads may create files meanwhile).
mode_t NewFileMode();

// The owner of a link or folder as the rule sees it: the owner in st.
// Tests put their own here to stand in for another user's link or folder,
// which only root could make for real.
using EntryOwnerFunc = uid_t (*)(const char* path, const struct stat& st);
extern EntryOwnerFunc EntryOwner;

// Called by OpenWriteTarget between its check and its open with the file
// it is about to open; tests put their own here to change the path in that
// moment, as another user could.
using BeforeWriteOpenFunc = void (*)(const char* target);
extern BeforeWriteOpenFunc BeforeWriteOpen;

} // namespace ZmLib
