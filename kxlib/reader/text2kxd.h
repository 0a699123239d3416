// The common part of the two text readers: a file read line by line, each
// line one record. Lines longer than 1099 bytes without their line end are
// cut there, between two UTF-8 characters (the rest becomes the next row);
// rows keep their line end. The
// end of input is thrown as the integer code 1; other failures are thrown as
// integer codes above 1. With more than one worker the lines are parsed
// ahead on worker threads; what the reader hands out and counts stays the
// same.
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

    explicit Text2Kxd(const char* path);
    ~Text2Kxd() override;

    int32_t Open() override;
    // Returns the row's length in bytes, line end included.
    int32_t ReadRecord() final;

    // The file's lines of one kind since Open, in file order: how many, the
    // first one's number from 1 and the last one's, with the place in the
    // file and the note of the first one's row that showed it.
    struct Finding {
        uint32_t count = 0;
        uint32_t line = 0;
        uint32_t lastLine = 0;
        uint64_t offset = 0;
        Note note;
    };
    // Lines refused as bad records.
    const Finding& Refused() const { return refused_; }
    // Lines longer than LINE_LENGTH_MAX, read as several rows.
    const Finding& LongLines() const { return longLines_; }
    // Lines with a field text cut to fit the record's string area.
    const Finding& CutLines() const { return cutLines_; }
    // Lines with a time text that could not be read (stored as 0).
    const Finding& BadTimeLines() const { return badTimeLines_; }
    // The file's lines taken since Open, refused ones included.
    uint32_t Lines() const { return lines_; }
    // The row of a finding as the file holds it, read again by path (the
    // parse cut the copy it had); empty when there is none or it cannot be
    // read.
    std::string RowText(const Finding& finding) const;
    std::string RefusedText() const { return RowText(refused_); }

    // Threads that parse lines ahead of ReadRecord from the next Open on:
    // 1 (the default) parses each line on the calling thread when it is
    // read; 0 takes one a processor, at most eight.
    void SetWorkers(int workers) { workers_ = workers; }

protected:
    // Stores the string slots of a record, each cut to what is left of the
    // string area (never dropped, never inside a UTF-8 character); lengths
    // are the full texts' and are cut in place. The first cut field goes to
    // note.
    static void PackStrings(ZmLib::KxdProt& record, const char** strings, uint16_t* lengths, Note& note);
    // Counts a row that parsed without a bad code, in file order; line is
    // the number of the file's line that it belongs to.
    virtual void CountLine(const Note& note, uint32_t line) = 0;
    // Stops the worker threads; a derived reader calls it first in its
    // destructor, as the workers parse with its members.
    void StopWorkers();

private:
    // Takes the next line into line_ and lineLength_, or throws.
    void NextLine();
    bool Fill();
    // Counts the line; throws the code of a bad one.
    int32_t TakeLine(const Note& note);
    // Counts the line in finding, once a line.
    static void Count(Finding& finding, uint32_t line, uint64_t offset, const Note& note);
    // Stamps STIME with the current time.
    void Stamp();
    // Takes a row that a worker parsed (and stamped) into the record.
    void CopyParsed(const ZmLib::KxdProt& parsed);
    // Counts a bad line and throws its code (never 1).
    [[noreturn]] void ThrowBad(int32_t code);
    [[noreturn]] void ThrowEnd();
    void ReportReadError(int error);

    char line_[ROW_BYTES_MAX + 1];
    uint32_t lineLength_ = 0;
    bool lineContinues_ = false;
    // What the last row's cut left for the next.
    char held_[CUT_REST_MAX];
    uint32_t heldLength_ = 0;
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
    bool continued_ = false; // the last row's line goes on
    uint64_t lastStamp_ = 0; // the STIME of the row handed out last
    Finding refused_;
    Finding longLines_;
    Finding cutLines_;
    Finding badTimeLines_;
};
