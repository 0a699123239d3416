// The common part of the two text readers: a file read line by line, each
// line one record. Lines are cut at 1099 characters (the rest becomes the
// next line) and keep their line end. The end of input is thrown as the
// integer code 1; other failures are thrown as integer codes above 1.
#pragma once

#include <cstdint>
#include <vector>

#include "kxlib/reader/file2kxd.h"

class Text2Kxd : public File2Kxd {
public:
    static constexpr int32_t CODE_END = 1;
    // Thrown once when the file cannot be read on; the end follows.
    static constexpr int32_t CODE_IO_ERROR = 7;
    static constexpr uint32_t LINE_LENGTH_MAX = 1099;

    explicit Text2Kxd(const char* path);

    int32_t Open() override;

protected:
    // Takes the next line into Line and LineLength, or throws.
    void NextLine();
    // Zeroes the destination record and stamps STIME with the current time.
    void StartRecord();
    // Counts a bad line and throws its code (never 1).
    [[noreturn]] void ThrowBad(int32_t code);

    char Line[LINE_LENGTH_MAX + 1];
    uint32_t LineLength = 0;

private:
    bool Fill();

    std::vector<char> chunk_;
    size_t pos_ = 0;
    size_t end_ = 0;
    bool eof_ = false;
    bool failed_ = false;
};
