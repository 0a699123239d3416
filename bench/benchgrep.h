// The reference of the search benchmarks: a table's rows written out as the
// text lines that kxfind --dump prints, and `grep -c` timed over them.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "bench/benchargs.h"
#include "kxlib/table/kxtable.h"
#include "tools/kxfind/recordline.h"

extern char** environ;

namespace Bench {

// The rows as grep sees them, one line each; false when not written.
inline bool WriteLines(KxTable& table, const std::string& path)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::string line;
    for (int32_t row = 0; row < table.RowCount(); ++row) {
        line.clear();
        AppendFieldTexts(line, *table.GetRecord(row));
        line += '\n';
        out.write(line.data(), std::streamsize(line.size()));
    }
    return bool(out);
}

// One `grep -c [-i] word path`: its seconds, and the count it printed (-1
// when it could not run). The count goes through countPath.
inline double TimeGrep(const char* word, bool ignoreCase, const std::string& path, const std::string& countPath,
                       long& count)
{
    const char* argv[] = {"grep", ignoreCase ? "-ci" : "-c", word, path.c_str(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, countPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const Clock::time_point start = Clock::now();
    pid_t pid = 0;
    int status = 0;
    const bool ran = posix_spawnp(&pid, "grep", &actions, nullptr, const_cast<char**>(argv), environ) == 0 &&
                     waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) <= 1;
    const double seconds = Seconds(start);
    posix_spawn_file_actions_destroy(&actions);
    count = -1;
    std::ifstream in(countPath);
    if (ran && !(in >> count))
        count = -1;
    return seconds;
}

} // namespace Bench
