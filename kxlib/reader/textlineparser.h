// What a text reader does with one line, apart from the counting that must
// follow the lines in file order: it fills a record from the line. Lines are
// parsed on several threads at once, each thread with its own scratch.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "utils/kx/kxdprot.h"

class TextLineParser {
public:
    // Longest row without its line end: a longer line is read as several
    // rows.
    static constexpr uint32_t LINE_LENGTH_MAX = 1099;
    // Longest row with its line end (CR LF).
    static constexpr uint32_t ROW_BYTES_MAX = LINE_LENGTH_MAX + 2;
    // Most bytes a cut at LINE_LENGTH_MAX leaves for the next row before it
    // can tell that the line goes on: a split character's start and the two
    // bytes looked at for a line end.
    static constexpr uint32_t CUT_REST_MAX = 3 + ROW_BYTES_MAX - LINE_LENGTH_MAX;

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
    // with its line end, in a buffer of ROW_BYTES_MAX + 1 bytes that the
    // parse may write into) and note's code and findings. Called from several threads at once, each with its own
    // scratch: nothing else may change.
    virtual void ParseLine(Scratch& scratch, char* line, ZmLib::KxdProt& record, Note& note) const = 0;

    // Where text may be cut at most limit bytes in: limit, or the start of
    // the UTF-8 sequence that a cut at limit would split, so that neither
    // part shows a broken character.
    static uint32_t CharBoundary(const char* text, uint32_t limit);
    // The bytes of the first row of text, of which length bytes are there:
    // up to and with its line end (LF or CR LF) when the line without it is
    // at most LINE_LENGTH_MAX bytes long; otherwise cut at LINE_LENGTH_MAX
    // by CharBoundary, with continues set. A text without a line end that is
    // not longer than the limit is one row whole. The answer is final when
    // the text holds a line end or ROW_BYTES_MAX bytes, or the file ends
    // after it.
    static uint32_t RowLength(const char* text, size_t length, bool& continues);
    // Bytes of the line end (LF or CR LF) that a line of length bytes ends
    // with; 0 when it has none.
    static uint32_t LineEndLength(const char* line, size_t length);
    // The STIME of a row read now: microseconds since 1970.
    static uint64_t StampNow();
};
