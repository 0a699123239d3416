// A table tab's rows as a PDF report: A3 landscape pages at 1200 dots per
// inch, 55 rows a page under the column titles, each row with its number,
// the markers and kind icon of the row header, and the shading, selection
// colour, highlights and nesting arrows of the view. Every picture is one
// image object for the whole file, so that it is embedded once.
#pragma once

#include <cstdint>
#include <vector>

#include <QFont>
#include <QImage>

#include "kxviewer/table/rowhighlights.h"

class QIODevice;
class QPainter;
class TabTable;
struct KxdRecord;

class TablePdfWriter {
public:
    static constexpr int ROWS_PER_PAGE = 55;
    static constexpr int RESOLUTION = 1200;

    explicit TablePdfWriter(TabTable& tab);

    // Paints every row into the device under the progress dialog "Exporting
    // to PDF..."; false when "Abort export" stopped it, the pages painted
    // so far kept.
    bool Write(QIODevice* device);

private:
    void PaintTitles(QPainter& painter) const;
    void PaintRow(QPainter& painter, int32_t row, qreal y);
    void PaintMarkers(QPainter& painter, const KxdRecord& record, qreal x, qreal y) const;

    TabTable& tab_;
    RowHighlights highlights_;
    QFont font_;
    // Row-number width in the view's pixels (0 without row numbers).
    qreal numberPixels_ = 0;
    // The visible columns: field, left edge and width on the page.
    struct Column {
        int32_t field;
        qreal x;
        qreal width;
    };
    std::vector<Column> columns_;
    std::vector<QImage> shared_;
    QImage bookmark_;
    QImage both_;
};
