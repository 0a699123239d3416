// Whether a load fits in the memory the system has left: the records of the
// whole file estimated from the first ones read, each taking one table slot,
// against MemAvailable of /proc/meminfo.
#pragma once

#include <cstdint>
#include <functional>

#include <QString>

class LoadMemory {
public:
    // The estimate is made once this much of the file has been read (or
    // never, for a smaller file: it is read whole by then).
    static constexpr int64_t SAMPLE_BYTES = int64_t(256) << 10;

    // MemAvailable in bytes; -1 when it cannot be read.
    static int64_t Available();
    // Tests: where Available comes from instead of /proc/meminfo; an empty
    // function restores it.
    static void SetAvailableSource(std::function<int64_t()> source);

    // Table memory for a file of size bytes of which consumed bytes gave
    // records records.
    static int64_t Needed(int64_t records, int64_t consumed, int64_t size);
    // The question asked when needed exceeds available; empty when it does
    // not or nothing is known of the memory.
    static QString Shortage(const QString& file, int64_t needed, int64_t available);
    // Bytes as the user reads them: "512 KB", "9.7 GB".
    static QString Size(int64_t bytes);
};
