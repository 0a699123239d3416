// A text log read line by line: each line is matched against up to eight
// templates (the regular expressions of an import-format family), and the
// capture groups of the first template that matches the whole line fill the
// record fields of its map. A line that matches none keeps its text: it
// becomes a record with LEVEL 2 and the line, without its line end, as TEXT.
// The file's last line is matched as if a line end followed it.
#pragma once

#include <cstdint>
#include <memory>

#include "kxlib/reader/text2kxd.h"
#include "utils/regex/regexbuilder.h"

class Log2KxdMulti : public Text2Kxd {
public:
    static constexpr int32_t MAX_TEMPLATES = 8;
    static constexpr int32_t MAX_GROUPS = 26;

    explicit Log2KxdMulti(const char* path);
    ~Log2KxdMulti() override;

    // Compiles the expression (no options) and appends it with its own map
    // of n field indices, one per capture group in group order. False (and
    // nothing added) when eight templates exist already or n is outside
    // 0..MAX_GROUPS. Templates are added before Open.
    bool AddTemplate(const char* expression, const int32_t* fields, int32_t n, bool errorFlag);
    int32_t TemplateCount() const { return count_; }

    std::unique_ptr<Scratch> NewScratch() const override;
    void ParseLine(Scratch& scratch, char* line, ZmLib::KxdProt& record, Note& note) const override;

    // Lines read so far with a row that no template took, each counted once.
    uint32_t Unmatched() const { return unmatched_; }
    // Rows read so far that a template took.
    uint32_t Matched() const { return matched_; }
    // The moment that syslog dates, which have no year, are read against:
    // the reader's construction unless set.
    void SetNow(int64_t us) { nowUs_ = us; }
    // The lines a template passed over (in one of their rows) because its
    // match had another number of groups than its map has fields (groups:
    // those of the first such match).
    struct Skips {
        uint32_t lines = 0;
        int32_t groups = 0;
        int32_t fields = 0;
    };
    Skips SkippedBy(int32_t k) const;

    // The record level that a level word gives (words starting with a letter
    // or '_'); other texts are numbers.
    static int8_t LevelFromWord(const char* text, uint32_t length);

private:
    struct Template {
        std::unique_ptr<RegexBuilder> regex;
        uint8_t errorFlag = 0;
        int32_t Nfields = 0;
        int32_t fields[MAX_GROUPS] = {};
        // Lines whose match had another group count than the map.
        Skips skipped;
    };
    class LineScratch;

    // A note's detail: a bit a template that passed over the line for its
    // group count, and this bit when no template took the line.
    static constexpr uint32_t DETAIL_UNMATCHED = 1u << MAX_TEMPLATES;

    void CountLine(const Note& note, uint32_t line) override;
    // The first template whose match can fill its map, or null.
    const Template* MatchLine(LineScratch& scratch, const char* line, uint32_t length, Note& note) const;
    // False for a time text that could not be read.
    bool FillField(LineScratch& scratch, ZmLib::KxdProt& record, int32_t field, const char* text, uint32_t length,
                   const char** strings, uint16_t* lengths) const;

    Template templates_[MAX_TEMPLATES];
    int32_t count_ = 0;
    uint32_t unmatched_ = 0;
    uint32_t matched_ = 0;
    // The line counted last and the findings of its rows so far: a line of
    // several rows counts once.
    uint32_t countedLine_ = 0;
    uint32_t countedDetail_ = 0;
    int64_t nowUs_;
};
