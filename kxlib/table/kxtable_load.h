// The read loop that fills a table from a reader: every record is read
// straight into a table slot and analysed there; a bad record is counted and
// its slot reused for the next attempt. With more than one worker the loop
// overlaps reading (on the calling thread), the per-record texts (on worker
// threads) and the analysis that depends on earlier records (in record order
// on a thread of its own); the table it leaves is the same as the one-worker
// loop's, byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

class KxReader;
class KxTable;
struct KxdRecord;

struct KxLoadOptions {
    // Read attempts at most; negative: until the end of the input.
    int32_t maxRecords = -1;
    // Records whose FLAGS are 0 are read and dropped.
    bool flaggedOnly = false;
    // Stored in every kept record before its analysis when not negative.
    int32_t prot = -1;
    // Threads that take part: 1 is the plain sequential loop; 0 takes as
    // many as the machine has.
    int workers = 0;
    // Called on the calling thread before every read attempt with the
    // attempts made and the amount consumed so far; false stops the load
    // (Abort) with the records read until then, and is the last answer:
    // the callback is not called again. While the calling thread waits for
    // the other threads, it is called again every 20 ms with the same
    // counts. Worker threads may be busy with slots of the table
    // meanwhile: the callback must not use it.
    std::function<bool(int32_t attempts, int64_t consumed)> progress;
};

struct KxLoadResult {
    int32_t attempts = 0;
    int32_t errors = 0;
    int64_t consumed = 0;
    bool gaveUp = false;      // the first ten attempts all failed
    bool inputFailed = false; // a read failed on the file itself
    bool aborted = false;     // the progress callback stopped the load
    // The input ended inside this record (1-based), 0 when it did not.
    uint32_t endedInside = 0;
    // The system's error number of the read failure that stopped the load.
    int readError = 0;
    std::string endText;      // the reader's end-of-stream text, when it came
};

// Reads every record of an opened reader into the table, to the reader's end
// (size: the reader's GetFileSize, a guess of what is to come that only
// sizes the work ahead; a file may hold more). A slot left
// unused at the end is removed again. Thrown reader failures (KxExcept or a
// text reader's integer code) are counted by their code: 1 ends the input,
// 7 (file input failure) stops the loop; 12 (a record cut short) and a
// failure without a system error mark where the input ended.
KxLoadResult KxLoadRecords(KxReader& reader, KxTable& table, int64_t size, const KxLoadOptions& options);

// Appends copies of records (of another table, or copied out of this one) to
// dest and analyses them in copy mode, as record by record would; workers as
// for loads. Every copy's TIME is moved by timeShift first.
void KxAppendCopies(KxTable& dest, const KxdRecord* const* sources, size_t count, int workers = 0,
                    int64_t timeShift = 0);
