// One table row as a line of fixed-width columns, and the header line of the
// column titles: the lines of the text export and of the clipboard's plain
// text. Widths start as the view's column widths in characters; a writer
// that must not cut its values widens them to its longest texts.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <QString>

#include "kxlib/fields.h"

struct KxdRecord;

class RowFormatter {
public:
    struct Style {
        // The row number right-aligned in this many characters.
        int32_t numberWidth = 0;
        // The row number is written even when numberWidth is 0.
        bool numberAlways = false;
        // Blanks per nesting level before an indented TEXT.
        int32_t indentUnit = 3;
        // Blanks before the header's first title.
        int32_t headerLead = 0;
    };
    // A value in its column: the blanks before and after it, and the value.
    struct Cell {
        int32_t lead = 0;
        QString value;
        int32_t trail = 0;
    };

    // The row-number width: max(5, digits of rows) when numbers are on.
    static int32_t NumberWidth(bool rowNumbers, int32_t rows);
    // The text export's lines; the clipboard's plain text beside its RTF.
    static Style ExportStyle(bool rowNumbers, int32_t rows);
    static Style ClipboardStyle(bool rowNumbers, int32_t rows);

    RowFormatter(std::vector<int32_t> fields, bool relativeTime, bool indentText, const Style& style);

    const std::vector<int32_t>& Fields() const { return fields_; }
    int32_t Width(int32_t field) const;
    // Widens a field's column to at least chars characters.
    void Widen(int32_t field, int32_t chars);
    // The titles centred in their columns plus two, after the lead; ends
    // with a line feed.
    QString Header() const;
    // The row number (r + 1) as the style writes it, with its blank.
    QString Number(int32_t row) const;
    // The nesting prefix TEXT gets in the row (empty when none).
    QString IndentOf(const KxdRecord& record) const;
    int32_t IndentChars(const KxdRecord& record) const;
    // A field's text padded to its column: right-aligned for numbers.
    Cell Format(int32_t field, const QString& text) const;
    // The whole line of row r, ended by a line feed, appended to out: the
    // record's bytes as they are, with CR and LF written as blanks so that
    // a value never splits its line. Widths count UTF-8 characters.
    void AppendRow(std::string& out, int32_t row, const KxdRecord& record) const;
    // The same line in the local 8-bit encoding's characters.
    void AppendRow(QString& out, int32_t row, const KxdRecord& record) const;

    // Appends size bytes of text with CR and LF as blanks; returns the
    // number of UTF-8 characters appended.
    static int32_t AppendLineBytes(std::string& out, const char* text, size_t size);

private:
    void AppendNumber(std::string& out, int32_t row) const;

    std::vector<int32_t> fields_;
    std::array<int32_t, FIELD_Nums> widths_;
    bool indentText_;
    Style style_;
    // The enter and leave markers in the local 8-bit encoding.
    std::string enterMark_;
    std::string leaveMark_;
};
