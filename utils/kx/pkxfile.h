// The log-file output: raw records (or text lines) appended to a file that
// is moved to "<path>.bak" and started again when it reaches its size limit.
#pragma once

#include <cstdint>
#include <mutex>

#include "utils/kx/pkx.h"
#include "utils/osal/fileb.h"

namespace ZmLib {

class PKXFILE : public PKX {
public:
    PKXFILE(uint32_t sizeLimit, bool textMode);
    ~PKXFILE() override;

    // Names the file, moves an existing one to "<path>.bak" (replacing an
    // older backup) and creates it empty.
    bool Open(const char* path);
    void Write(uint32_t length, const KxProt* record) override;

    // For the abort handler: appends the record (raw mode) or the line and
    // '\n' (text mode) to the open log file with write(2); async-signal-safe.
    static void WriteFromSignal(const char* line, const KxProt* record);

    const char* Path() const { return file_.GetPath(); }
    int64_t BytesWritten() const { return written_; }

private:
    bool Create();
    void CloseFile();

    std::recursive_mutex lock_;
    FILEB file_;
    uint32_t sizeLimit_;
    uint8_t textMode_;
    int64_t written_ = 0;
};

} // namespace ZmLib
