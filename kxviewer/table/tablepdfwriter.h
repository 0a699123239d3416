// A table tab's rows as a PDF report: A3 landscape pages at 1200 dots per
// inch, 55 rows a page under the column titles, each row with its number,
// the markers and kind icon of the row header, and the shading, selection
// colour, highlights and nesting arrows of the view. Every picture is one
// image object for the whole file, so that it is embedded once. A column
// is never narrower than its title and its values (the last one runs to
// the page's edge); when they need more than a page is wide, the page is
// drawn smaller.
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

    // The page's layout, in page units before Scale(): the font, the
    // columns' titles and their bands, and where the kind icon and a
    // cell's text of a row stand when the row's band ends at y + 72.5.
    const QFont& Font() const { return font_; }
    qreal Scale() const { return scale_; }
    size_t ColumnCount() const { return columns_.size(); }
    QString Title(size_t column) const;
    QRectF TitleRect(size_t column) const;
    QRectF KindIconRect(qreal y) const;
    QRectF TextBounds(int32_t row, size_t column, qreal y) const;

private:
    // A cell's text as painted (an indented TEXT with its levels' blanks)
    // and the rectangle it is aligned in.
    QString CellText(const KxdRecord& record, int32_t field) const;
    QRectF CellRect(size_t column, qreal y) const;
    // The widest of a field's texts over the rows, in page units.
    qreal WidestText(int32_t field) const;
    void PaintTitles(QPainter& painter) const;
    void PaintRow(QPainter& painter, int32_t row, qreal y);
    void PaintMarkers(QPainter& painter, const KxdRecord& record, qreal x, qreal y) const;

    TabTable& tab_;
    RowHighlights highlights_;
    QFont font_;
    qreal scale_ = 1;
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
