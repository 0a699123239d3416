// A reader over one file. The raw record readers derive from it and give the
// file's bytes to the reader steps through ReadFile and SkipFile.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "kxlib/reader/kxreader.h"
#include "utils/osal/fileb.h"

class File2Kxd : public KxReader {
public:
    // The path must fit 1099 characters; a longer one makes Open fail.
    explicit File2Kxd(const char* path);
    ~File2Kxd() override;

    // Opens the file for binary reading: 0, or 6 when it cannot be opened
    // (a directory included) or is not a regular file (a pipe, a FIFO, a
    // socket or a device), which is refused at once, never read in part.
    int32_t Open() override;
    // Why Open refused what is not a regular file; empty when it did not
    // (a failure then has errno).
    const std::string& Refusal() const { return refusal_; }
    // Size of the file in bytes; 0 when it cannot be examined.
    int64_t GetFileSize() override;

    const char* GetPath() const { return File.GetPath(); }

protected:
    // Reads n bytes into the destination record at byte at; returns the
    // bytes read, -1 on a read error. A range outside the record is refused.
    int32_t ReadFile(int32_t n, int32_t at);
    // Moves the file position n bytes forward.
    void SkipFile(int64_t n);
    // Reads a record in one piece when its whole message is in the
    // read-ahead buffer, carries the plain magic and a string length that
    // fits: its head (headLen bytes, into the record from byte at) and its
    // strings, checked and counted as the reader steps would. False, with
    // nothing consumed, for any other record: the reader steps read it.
    bool ReadWhole(int32_t at, int32_t headLen, bool checkLastByte, int32_t* consumed);

    ZmLib::FILEB File;

private:
    // The next n bytes (at most the buffer's size) in the read-ahead buffer,
    // refilled when fewer are left; null at the end of the file or on a read
    // failure, which ReadFile then meets.
    const char* Peek(size_t n);

    // Records are small: ReadFile takes the file in large pieces and hands
    // them out from here.
    static constexpr size_t AHEAD_SIZE = size_t(1) << 20;
    std::unique_ptr<char[]> ahead_;
    size_t aheadPos_ = 0;
    size_t aheadLen_ = 0;
    std::string refusal_;
};
