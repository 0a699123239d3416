// The rows of a table tab as RTF, shaded and highlighted as the view shows
// them with the status pictures of the row header, together with the plain
// text of the same rows.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <QRgb>
#include <QString>

#include "kxviewer/table/rowformatter.h"
#include "kxviewer/table/rowhighlights.h"

class RtfWriter;
class TabTable;
struct KxdRecord;

class ClipboardWriter {
public:
    // Spans of rows {first, last}, in the order written.
    using Spans = std::vector<std::pair<int32_t, int32_t>>;

    explicit ClipboardWriter(TabTable& tab);

    // The RTF document and its plain text, in columns wide enough for every
    // value of the rows.
    void Write(const Spans& spans, std::string* rtf, QString* text);
    // The plain text of the text export's lines, header first.
    static QString ExportText(TabTable& tab, const Spans& spans);
    // The colour table's text, in index order.
    std::string ColourTableText() const;
    // The colour-table index of a colour, 1 (white) when it is not listed.
    int32_t ColourIndex(QRgb rgb) const;

private:
    void AddColour(QRgb rgb, bool always);
    // Widens the columns to the longest texts of the rows, so that no
    // value is cut.
    void FitColumns(const Spans& spans);
    void WriteRow(RtfWriter& rtf, QString& text, int32_t row, KxdRecord* record);
    // A cell's value through the highlights of the row, then the row's
    // cell shading again after every highlighted stretch.
    void AppendHighlighted(std::string& out, int32_t field, const QString& value, int32_t shading) const;

    TabTable& tab_;
    RowFormatter formatter_;
    RowHighlights highlights_;
    std::vector<QRgb> colours_;
    int32_t schemeSize_ = 0;
    int32_t charWidth_ = 1;
    // The tab's bookmark picture, and over the error mark, with scales.
    std::string bookmark_;
    std::string bothMarks_;
    int bookmarkScale_ = 100;
    int bothScale_ = 100;
};
