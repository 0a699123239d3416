// Delimited text: one record per line, the columns in the fixed order of an
// import format. String columns end at the separator; number columns are
// decimal integers (an optional sign, then digits) always followed by ','.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "kxlib/fields.h"
#include "kxlib/reader/text2kxd.h"

class FileCsv : public Text2Kxd {
public:
    // Kinds of a bad line. The thrown code is kind + 256 x (cursor offset in
    // the line) + 65536 x (numbers stored so far); with kinds from 2 on it is
    // never the end-of-input code 1.
    enum BadKind : int32_t {
        BAD_NUMBER = 2,   // a number that does not fit 64 bits
        BAD_NO_COMMA = 3, // a number not followed by ','
    };

    // n columns (at most FIELD_Nums: more is an internal error) with their
    // field indices; separator 0 means none.
    FileCsv(const char* path, int32_t n, const int32_t* fields, char separator);
    ~FileCsv() override;

    std::unique_ptr<Scratch> NewScratch() const override;
    void ParseLine(Scratch& scratch, char* line, ZmLib::KxdProt& record, Note& note) const override;

    static int32_t BadCode(int32_t kind, uint32_t offset, int32_t numbers)
    {
        return kind + 256 * int32_t(offset) + 65536 * numbers;
    }

    // Why this reader refuses line (as the file holds it), for the user:
    // `column 1 (TIME): "2024-12-07 08:00:00.237" is not a number`; empty
    // when it reads the line.
    std::string Explain(const std::string& line) const;

private:
    // ParseLine's work: the code of a bad line (0 for a good one), with the
    // 0-based column and where its text starts; a cut text goes to note.
    int32_t Parse(char* line, ZmLib::KxdProt& record, Note& note, int32_t* column, const char** columnText) const;
    void CountLine(const Note&, uint32_t) override {}
    // Reads the number at *cursor; false when it does not fit 64 bits.
    static bool ReadNumber(char*& cursor, int64_t* value);
    char* StringColumn(char*& cursor) const;

    int32_t nfields_;
    int32_t fields_[FIELD_Nums];
    char separator_;
};
