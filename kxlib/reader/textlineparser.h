// What a text reader does with one line, apart from the counting that must
// follow the lines in file order: it fills a record from the line. Lines are
// parsed on several threads at once, each thread with its own scratch.
#pragma once

#include <cstdint>
#include <memory>

#include "utils/kx/kxdprot.h"

class TextLineParser {
public:
    // What the parse of a line found, kept until the line is counted.
    struct Note {
        uint32_t length = 0; // bytes of the line, line end included
        int32_t code = 0;    // 0, or the code of a bad line
        uint32_t detail = 0; // the reader's own findings
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
    // detail. Called from several threads at once, each with its own
    // scratch: nothing else may change.
    virtual void ParseLine(Scratch& scratch, char* line, ZmLib::KxdProt& record, Note& note) const = 0;
};
