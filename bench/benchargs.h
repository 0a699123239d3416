// Pieces every benchmark needs: elapsed seconds and the record count from
// the command line.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace Bench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// argv[1] as a count from 1 to most; fallback without it. Anything else
// ends the program with status 2.
inline uint32_t RecordCountArg(int argc, char** argv, uint32_t fallback, uint32_t most)
{
    if (argc < 2)
        return fallback;
    char* end = nullptr;
    unsigned long long n = strtoull(argv[1], &end, 10);
    if (!*argv[1] || *end || n == 0 || n > most) {
        fprintf(stderr, "records must be a number from 1 to %u, not \"%s\"\n", most, argv[1]);
        exit(2);
    }
    return uint32_t(n);
}

} // namespace Bench
