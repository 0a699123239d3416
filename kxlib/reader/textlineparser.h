// What a text reader does with one line, apart from the counting that must
// follow the lines in file order: it fills a record from the line. Lines are
// parsed on several threads at once, each thread with its own scratch.
#pragma once

#include <cstdint>
#include <memory>

#include "utils/kx/kxdprot.h"

class TextLineParser {
public:
    // Longest row: a longer line is read as several rows.
    static constexpr uint32_t LINE_LENGTH_MAX = 1099;

    // What the parse of a line found, kept until the line is counted.
    struct Note {
        uint32_t length = 0; // bytes of the line, line end included
        int32_t code = 0;    // 0, or the code of a bad line
        uint32_t detail = 0; // the reader's own findings
        // The file's line goes on in the next row: it was cut at
        // LINE_LENGTH_MAX.
        bool continues = false;
        // The first field whose text was cut to fit the record's string
        // area; -1 when none was.
        int32_t cutField = -1;
        // Where in the row the time text lies that could not be read;
        // badTimeLength 0 when there is none.
        uint16_t badTimeStart = 0;
        uint16_t badTimeLength = 0;
    };
    // A thread's buffers and caches for its parses.
    class Scratch {
    public:
        virtual ~Scratch() = default;
    };

    TextLineParser() = default;
    virtual ~TextLineParser() = default;
    TextLineParser(const TextLineParser&) = delete;
    TextLineParser& operator=(const TextLineParser&) = delete;

    virtual std::unique_ptr<Scratch> NewScratch() const = 0;
    // Fills the zeroed record from the line (NUL-terminated, length bytes
    // with its line end; the parse may write into it) and note's code and
    // findings. Called from several threads at once, each with its own
    // scratch: nothing else may change.
    virtual void ParseLine(Scratch& scratch, char* line, ZmLib::KxdProt& record, Note& note) const = 0;

    // Where text may be cut at most limit bytes in: limit, or the start of
    // the UTF-8 sequence that a cut at limit would split, so that neither
    // part shows a broken character.
    static uint32_t CharBoundary(const char* text, uint32_t limit);
};
