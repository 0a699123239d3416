// Writers of raw record files for tests and benchmarks: single records in
// either byte order and either file form, and a generated trace of several
// processes and threads with name announcements and nested function
// enter/leave pairs.
#pragma once

#include <cstdint>
#include <string>

#include "utils/kx/kxdprot.h"

namespace KxFileGen {

enum class Form {
    Kx,  // wire messages only
    Kxd, // each message behind its 16-byte receive prefix
};

// Appends the record's head (72 header bytes, or 88 with the prefix) with
// every number written explicitly in the chosen byte order; a swapped record
// carries the magic 0xABAB.
void AppendHead(std::string& out, const ZmLib::KxdProt& record, Form form, bool swapped);
// The head and then opt_len bytes of the string area (at most 384).
void AppendRecord(std::string& out, const ZmLib::KxdProt& record, Form form, bool swapped);
// Writes bytes to a new file; false on failure.
bool WriteFile(const char* path, const std::string& bytes);

struct Options {
    uint32_t records = 1000;
    uint32_t processes = 3;
    uint32_t threadsPerProcess = 4;
    uint32_t maxDepth = 5; // below the analysis' 50-deep stacks
    uint32_t seed = 1;
    int64_t startTime = 1561910811000000; // microseconds since 1970
    Form form = Form::Kx;
    bool swapped = false;
    // Records after the announcements carry a process name (PNAME), a
    // thread name (TNAME), a KX name and, when plain, a text of words that
    // mostly occur once: about 640,000 distinct process and as many thread
    // names in a million records, about 800,000 KX names.
    bool rareWords = false;
};

struct Summary {
    uint32_t records = 0;
    uint32_t enters = 0;
    uint32_t leaves = 0;
    uint32_t processNames = 0;
    uint32_t threadNames = 0;
    uint64_t bytes = 0;
};

// What the generated trace names and numbers.
std::string ProcessName(uint32_t process);
std::string ThreadName(uint32_t process, uint32_t thread);
uint64_t ProcessId(uint32_t process);
uint64_t ThreadId(uint32_t process, uint32_t thread);
// A lower-case word of syllables, one of its own for each number.
std::string Word(uint32_t number);

// The trace as file bytes. It starts with one announcement (FLAGS 0x400,
// TEXT "Process: <name>, PID=<pid>") per process and one (FLAGS 0x1000,
// TEXT "Thread: <name>, TID=<tid>") per thread, as far as the record count
// allows; then plain, enter (FLAGS 2) and leave (FLAGS 4) records of random
// threads, every enter closed by its leave before the end, with TIME rising
// by record. Later records carry no TNAME and no PNAME unless rareWords.
std::string Generate(const Options& options, Summary* summary = nullptr);
bool WriteTrace(const char* path, const Options& options, Summary* summary = nullptr);

} // namespace KxFileGen
