// A table tab's rows as a PDF report: A3 landscape pages at 1200 dots per
// inch, 55 rows a page under the column titles, each row with its number,
// the markers and kind icon of the row header, and the shading, selection
// colour, highlights and nesting arrows of the view. Every picture is one
// image object for the whole file, so that it is embedded once. A column
// is never narrower than its title and its values (the last one runs to
// the page's edge, where a longer value ends with "…"); a value stays on
// its row's one line, its line breaks as blanks; rows are as tall
// as the page's font needs. When the columns need more than a page is
// wide, or 55 rows more than it is high, the page is drawn smaller.
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
    // to PDF..."; false, with the pages painted so far in the device, when
    // "Abort export" stopped it or the document was closed meanwhile
    // (DocumentClosed).
    bool Write(QIODevice* device);
    // The document was closed during the export: the tab may be gone.
    bool DocumentClosed() const { return closed_; }

    // The page's layout, in page units before Scale(): the font, the
    // distance of the rows, the columns' titles and their bands, and where
    // the kind icon and a cell's text of a row stand when the row's band
    // ends at y + 72.5; the text as painted, cut to its column.
    const QFont& Font() const { return font_; }
    qreal Scale() const { return scale_; }
    qreal RowStep() const { return rowStep_; }
    size_t ColumnCount() const { return columns_.size(); }
    QString Title(size_t column) const;
    QRectF TitleRect(size_t column) const;
    QRectF KindIconRect(qreal y) const;
    QRectF TextBounds(int32_t row, size_t column, qreal y) const;
    QString CellText(int32_t row, size_t column) const;

private:
    // A cell's whole text (an indented TEXT with its levels' blanks), the
    // same cut with "…" to the column, and the rectangle it is aligned in.
    QString CellValue(const KxdRecord& record, int32_t field) const;
    QString ShownText(const KxdRecord& record, size_t column) const;
    QRectF CellRect(size_t column, qreal y) const;
    // The top of a row's band and of its pictures when the band ends at
    // y + 72.5.
    qreal BandTop(qreal y) const;
    qreal IconTop(qreal y) const;
    // The widest of a field's texts over the rows, in page units.
    qreal WidestText(int32_t field) const;
    void PaintTitles(QPainter& painter) const;
    void PaintRow(QPainter& painter, int32_t row, qreal y);
    void PaintMarkers(QPainter& painter, const KxdRecord& record, qreal x, qreal y) const;

    TabTable& tab_;
    RowHighlights highlights_;
    QFont font_;
    qreal scale_ = 1;
    qreal rowStep_ = 0;
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
    bool closed_ = false;
};
