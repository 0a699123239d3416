// The running program (its path, name and process-wide start-up values),
// starting other programs, and the clock helpers of the library.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "utils/common/strbase.h"

namespace ZmLib {

class PROCESS {
public:
    // The executable's full path in a scratch buffer; null when unknown.
    static char* ExePath();
    // The executable's folder with a closing '/'; null when unknown.
    static char* ExeDir();
    // ExeDir's rule on a given path: a leading '"' dropped, '\\' turned into
    // '/', cut after the last '/'; null when there is no '/'.
    static char* DirOf(const char* path);
    // Full path of the module holding address (this library's when null),
    // in a scratch buffer; null on failure.
    static char* ModulePath(const void* address);
    // Stores the process name: the executable's file name without folder and
    // extension, at most 15 characters.
    static void InitName();
    static const char* Name() { return name_; }

    // Starts program with the arguments as a list, never through a shell.
    // Returns the process id, 0 on failure. Children started here that have
    // ended are reaped at the next Spawn; other children are left alone.
    // Spawn and SpawnOpenFile give the child /dev/null as standard input.
    static int64_t Spawn(const char* program, int count, const char* const* args);
    // Starts the program open for reading on fd, without arguments: the
    // file that was read through fd is the one that runs. Returns the
    // process id, 0 with the reason in why on failure; reaped as Spawn's.
    static int64_t SpawnOpenFile(int fd, std::string& why);
    // Starts program with the arguments and the environment ("NAME=value")
    // as lists, its standard input read from the open descriptor input, so
    // that the child gets that very file and no name of it. Returns the
    // process id, 0 with the reason in why on failure; reaped as Spawn's.
    static int64_t SpawnWithInput(const std::string& program, const std::vector<std::string>& args,
                                  const std::vector<std::string>& environment, int input, std::string& why);
    // The parameter text that Spawn reports: each argument in double quotes
    // followed by one blank, at most 1099 characters.
    static void BuildParams(int count, const char* const* args, StrBase& out);

    // Process-wide values that the debug stream sets at start-up.
    static inline uint64_t MainThreadId = 0;
    static inline int64_t TimeBase = 0;         // microseconds since 1970
    static inline int64_t LocalOffset = 0;      // local time minus UTC, microseconds

private:
    static inline char name_[16] = {};
};

// Wall clock in microseconds since 1970-01-01 UTC.
int64_t NowMicros();
// Monotonic tick count in milliseconds.
int64_t TickMillis();
// Local time minus UTC now, in microseconds.
int64_t LocalTimeOffset();
// Local time minus UTC at the moment us (microseconds since 1970).
int64_t LocalTimeOffsetAt(int64_t us);
// Spins until the millisecond tick count has advanced by microseconds.
void BusyWait(int64_t microseconds);

} // namespace ZmLib
