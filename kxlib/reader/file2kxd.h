// A reader over one file. The raw record readers derive from it and give the
// file's bytes to the reader steps through ReadFile and SkipFile.
#pragma once

#include <cstddef>
#include <memory>

#include "kxlib/reader/kxreader.h"
#include "utils/osal/fileb.h"

class File2Kxd : public KxReader {
public:
    // The path must fit 1099 characters; a longer one makes Open fail.
    explicit File2Kxd(const char* path);
    ~File2Kxd() override;

    // Opens the file for binary reading: 0, or 6 when it cannot be opened
    // (a directory included).
    int32_t Open() override;
    // Size of the file in bytes; 0 when it cannot be examined.
    int64_t GetFileSize() override;

    const char* GetPath() const { return File.GetPath(); }

protected:
    // Reads n bytes into the destination record at byte at; returns the
    // bytes read, -1 on a read error. A range outside the record is refused.
    int32_t ReadFile(int32_t n, int32_t at);
    // Moves the file position n bytes forward.
    void SkipFile(int64_t n);

    ZmLib::FILEB File;

private:
    // Records are small: ReadFile takes the file in large pieces and hands
    // them out from here.
    static constexpr size_t AHEAD_SIZE = size_t(1) << 20;
    std::unique_ptr<char[]> ahead_;
    size_t aheadPos_ = 0;
    size_t aheadLen_ = 0;
};
