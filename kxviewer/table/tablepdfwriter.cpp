#include "kxviewer/table/tablepdfwriter.h"

#include <algorithm>
#include <memory>

#include <QFontMetricsF>
#include <QHeaderView>
#include <QPainter>
#include <QPdfWriter>

#include "kxlib/kxdrecord.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/shellservices.h"
#include "kxviewer/table/dragheaderview.h"
#include "kxviewer/table/guiicons.h"
#include "kxviewer/table/rowformatter.h"
#include "kxviewer/table/tabtable.h"
#include "kxviewer/table/tabtablelook.h"
#include "kxviewer/table/tabtablemodel.h"
#include "kxviewer/table/tabtableview.h"

namespace {
// Page geometry in device units (1/1200 inch): view pixels become 11
// units; rows are 250 units apart from y 250 under the titles' baseline at
// y 0; the last column ends at x 19400.
constexpr qreal PIXEL = 11;
constexpr qreal FIRST_ROW = 250;
constexpr qreal ROW_STEP = 250;
constexpr qreal ROW_ABOVE = 177.5;
constexpr qreal ICON = 150;
// Pictures stand in the middle of their row's band.
constexpr qreal ICON_ABOVE = ROW_ABOVE - (ROW_STEP - ICON) / 2;
constexpr qreal COLUMN_GAP = 30;
constexpr qreal PAGE_RIGHT = 19400;
// Room of the markers and kind icon after the row number.
constexpr qreal MARKERS = 352;
constexpr qreal MARKER_X = 10;
constexpr qreal KIND_X = 186;
// Blanks per nesting level before an indented TEXT, and the deepest level
// indented: the TEXT column's 90 characters hold no more.
constexpr int INDENT_BLANKS = 5;
constexpr int64_t INDENT_LEVELS = 18;
// Where the page's paint area starts: a small left margin, and the top
// of the titles' band; 55 rows below it just fill an A3 page.
constexpr qreal LEFT_MARGIN = 200;
// Room between a cell's edges and its text.
constexpr qreal TEXT_MARGIN = 40;
// The progress dialog moves every this many rows.
constexpr int32_t PROGRESS_ROWS = 100;
// Screen resolution the view's point sizes are meant for.
constexpr qreal SCREEN_DPI = 96;

} // namespace

TablePdfWriter::TablePdfWriter(TabTable& tab) : tab_(tab), highlights_(&tab), font_(tab.View->horizontalHeader()->font())
{
    // A size in pixels would shrink to nothing at the writer's resolution.
    if (font_.pointSizeF() <= 0)
        font_.setPointSizeF(font_.pixelSize() * 72 / SCREEN_DPI);
    const int32_t numberChars =
        RowFormatter::NumberWidth(tab.Prefs.ExportRowNumbColumn != 0, tab.Table->RowCount());
    numberPixels_ = qreal(numberChars) * QFontMetricsF(tab.View->font()).averageCharWidth();
    for (int k = 0; k < SHARED_PIXMAP_COUNT; ++k)
        shared_.push_back(SharedPixmap(SharedPixmapId(k)).toImage());
    bookmark_ = tab.TabPixmap.toImage();
    const QPixmap& error = SharedPixmap(PIX_LINE0_EXCLAMATION);
    both_ = (tab.TabPixmap.isNull() ? error : CombinedMarks(error, tab.TabPixmap)).toImage();
    const std::vector<int32_t> fields = tab.ColumnFields();
    qreal x = numberPixels_ * PIXEL + MARKERS;
    for (size_t c = 0; c < fields.size(); ++c) {
        const qreal width = tab.View->columnWidth(int(c)) * PIXEL;
        columns_.push_back({fields[c], x, c + 1 == fields.size() ? std::max<qreal>(0, PAGE_RIGHT - x) : width});
        x += width + COLUMN_GAP;
    }
}

bool TablePdfWriter::Write(QIODevice* device)
{
    QPdfWriter pdf(device);
    pdf.setResolution(RESOLUTION);
    pdf.setPageSize(QPageSize(QPageSize::A3));
    pdf.setPageOrientation(QPageLayout::Landscape);
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    pdf.setCreator(QStringLiteral("KxViewer"));
    pdf.setTitle(QString::fromLocal8Bit(tab_.Table->Name()));
    // Columns are the view's pixels times 11: the font keeps the view's
    // proportion of characters to column width, so that values fit.
    const qreal wanted = QFontMetricsF(tab_.View->font()).averageCharWidth() * PIXEL;
    const qreal has = QFontMetricsF(font_, &pdf).averageCharWidth();
    QFont font = font_;
    if (wanted > 0 && has > 0)
        font.setPointSizeF(font_.pointSizeF() * wanted / has);
    QPainter painter(&pdf);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.translate(LEFT_MARGIN, ROW_ABOVE);

    const int32_t rows = tab_.Table->RowCount();
    std::unique_ptr<KxvProgress> progress = KxvShell().CreateProgress(
        QStringLiteral("Exporting to PDF..."), QStringLiteral("Abort export"), 0, std::max(0, (rows - 1) / PROGRESS_ROWS));
    progress->Show();
    bool aborted = false;
    qreal y = FIRST_ROW;
    for (int32_t row = 0; row < rows; ++row) {
        if (row % PROGRESS_ROWS == 0) {
            progress->SetValue(row / PROGRESS_ROWS);
            KxvShell().ProcessEvents();
        }
        aborted = progress->WasCanceled();
        if (aborted)
            break;
        if (row % ROWS_PER_PAGE == 0) {
            if (row > 0)
                pdf.newPage();
            PaintTitles(painter);
            y = FIRST_ROW;
        }
        PaintRow(painter, row, y);
        y += ROW_STEP;
    }
    if (rows == 0)
        PaintTitles(painter);
    painter.end();
    progress->Close();
    return !aborted;
}

void TablePdfWriter::PaintTitles(QPainter& painter) const
{
    // The titles' band is row 0 of the page, ruled off from the rows.
    const qreal top = -ROW_ABOVE;
    painter.save();
    painter.setPen(QColor::fromRgba(TabTableLook::GridLine));
    painter.drawLine(QPointF(0, top + ROW_STEP), QPointF(PAGE_RIGHT, top + ROW_STEP));
    painter.restore();
    for (size_t c = 0; c < columns_.size(); ++c) {
        const QString title = tab_.Model->headerData(int(c), Qt::Horizontal, Qt::DisplayRole).toString();
        const QRectF cell(columns_[c].x, top, columns_[c].width, ROW_STEP);
        painter.drawText(cell.adjusted(TEXT_MARGIN, 0, -TEXT_MARGIN, 0), Qt::AlignCenter,
                         painter.fontMetrics().elidedText(title, Qt::ElideRight, int(cell.width() - 2 * TEXT_MARGIN)));
    }
}

void TablePdfWriter::PaintMarkers(QPainter& painter, const KxdRecord& record, qreal x, qreal y) const
{
    const QRectF marker(x + MARKER_X, y - ICON_ABOVE, ICON, ICON);
    const bool error = record.errorKind != KXERR_NoErrors && tab_.Prefs.ShowPresErrors;
    if (record.bookmark && error)
        painter.drawImage(marker, both_);
    else if (record.bookmark)
        painter.drawImage(marker, bookmark_);
    else if (error)
        painter.drawImage(marker, shared_[PIX_LINE0_EXCLAMATION]);
    const int kind = DragHeaderView::KindIcon(record.Flags(), int8_t(record.prot.msg.LEVEL));
    painter.drawImage(QRectF(x + KIND_X, y - ICON_ABOVE, ICON, ICON), shared_[size_t(kind)]);
}

void TablePdfWriter::PaintRow(QPainter& painter, int32_t row, qreal y)
{
    KxdRecord& record = *tab_.Table->GetRecord(row);
    const qreal top = y - ROW_ABOVE;
    const bool colorize = tab_.Prefs.Colorize != 0;
    const QColor shade = colorize ? PrefGlobal::GetColor(tab_.GetColorizeColorNum(&record)) : QColor();
    const qreal number = numberPixels_ * PIXEL;
    // Under Colorize the row header's part is shaded too, up to the cells.
    if (colorize)
        painter.fillRect(QRectF(0, top, number + MARKERS, ROW_STEP), shade);
    if (number > 0)
        painter.drawText(QRectF(0, top, number, ROW_STEP), Qt::AlignRight | Qt::AlignVCenter,
                         QString::number(row + 1));
    PaintMarkers(painter, record, number, y);

    highlights_.Prepare(row, &record);
    const QColor selected = record.selRange ? QColor(QRgb(record.selRange->tag & 0xFFFFFF)) : QColor();
    const int64_t nest = record.Int64(FIELD_NEST);
    const uint32_t flags = record.Flags();
    for (const Column& column : columns_) {
        const int32_t field = column.field;
        const qreal x = column.x;
        const qreal width = column.width;
        if (record.selRange)
            painter.fillRect(QRectF(x, top, width + COLUMN_GAP, ROW_STEP), selected);
        else if (colorize)
            painter.fillRect(QRectF(x, top, width + COLUMN_GAP, ROW_STEP), shade);
        QString text = field >= 0 && field < FIELD_Nums ? QString::fromLocal8Bit(record.Text(field)) : QString();
        if (field == FIELD_TEXT && tab_.Prefs.IndentText && nest >= 1) {
            // The arrow stands in the last level's blanks before the text.
            const QString levels(int(std::min<int64_t>(nest, INDENT_LEVELS)) * INDENT_BLANKS,
                                 QLatin1Char(' '));
            const qreal before = painter.fontMetrics().horizontalAdvance(levels.left(levels.size() - INDENT_BLANKS));
            const QRectF arrow(x + TEXT_MARGIN + before, y - ICON_ABOVE, ICON, ICON);
            if (flags & KXFLAGS_FUNC_ENTER)
                painter.drawImage(arrow, shared_[nest == 1 ? PIX_ARROW_IN : PIX_ARROW_TURN_IN]);
            else if (flags & KXFLAGS_FUNC_LEAVE)
                painter.drawImage(arrow, shared_[nest == 1 ? PIX_ARROW_OUT : PIX_ARROW_TURN_OUT]);
            text.prepend(levels);
        }
        if (!text.isEmpty()) {
            const int alignment = (FieldIsNumber(field) ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
            const QRectF cell(x + TEXT_MARGIN, top, width - 2 * TEXT_MARGIN, ROW_STEP);
            highlights_.PaintCell(text, &painter, field, cell.toRect(), alignment);
            painter.drawText(cell, alignment, text);
        }
    }
}
