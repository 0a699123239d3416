// The common part of the two text readers: a file read line by line, each
// line one record. Lines are cut at 1099 characters (the rest becomes the
// next line) and keep their line end. The end of input is thrown as the
// integer code 1; other failures are thrown as integer codes above 1.
// With more than one worker the lines are parsed ahead on worker threads;
// what the reader hands out and counts stays the same.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kxlib/reader/file2kxd.h"
#include "kxlib/reader/textlineparser.h"

class TextChunks;

class Text2Kxd : public File2Kxd, public TextLineParser {
public:
    static constexpr int32_t CODE_END = 1;
    // Thrown once when the file cannot be read on; the end follows.
    static constexpr int32_t CODE_IO_ERROR = 7;
    static constexpr uint32_t LINE_LENGTH_MAX = 1099;

    explicit Text2Kxd(const char* path);
    ~Text2Kxd() override;

    int32_t Open() override;
    // Returns the line's length in bytes, line end included.
    int32_t ReadRecord() final;

    // The lines refused since Open, in file order: how many, and the first
    // one's number from 1, place in the file and length (line end included).
    struct Refusals {
        uint32_t count = 0;
        uint32_t line = 0;
        uint64_t offset = 0;
        uint32_t length = 0;
        int32_t code = 0;
    };
    const Refusals& Refused() const { return refused_; }
    // Lines taken since Open, refused ones included.
    uint32_t Lines() const { return lines_; }
    // The first refused line as the file holds it, read again by path (the
    // parse cut the copy it had); empty when there is none or it cannot be
    // read.
    std::string RefusedText() const;

    // Threads that parse lines ahead of ReadRecord from the next Open on:
    // 1 (the default) parses each line on the calling thread when it is
    // read; 0 takes one a processor, at most eight.
    void SetWorkers(int workers) { workers_ = workers; }

protected:
    // Counts a line that parsed without a bad code, in file order.
    virtual void CountLine(const Note& note) = 0;
    // Stops the worker threads; a derived reader calls it first in its
    // destructor, as the workers parse with its members.
    void StopWorkers();

private:
    // Takes the next line into line_ and lineLength_, or throws.
    void NextLine();
    bool Fill();
    // Counts the line; throws the code of a bad one.
    int32_t TakeLine(const Note& note);
    // Stamps STIME with the current time.
    void Stamp();
    // Counts a bad line and throws its code (never 1).
    [[noreturn]] void ThrowBad(int32_t code);
    [[noreturn]] void ThrowEnd();
    void ReportReadError(int error);

    char line_[LINE_LENGTH_MAX + 1];
    uint32_t lineLength_ = 0;
    std::unique_ptr<Scratch> scratch_;
    std::vector<char> chunk_;
    size_t pos_ = 0;
    size_t end_ = 0;
    bool eof_ = false;
    bool failed_ = false;
    int workers_ = 1;
    std::unique_ptr<TextChunks> chunks_;
    uint64_t offset_ = 0; // where the next line starts
    uint32_t lines_ = 0;
    Refusals refused_;
};
