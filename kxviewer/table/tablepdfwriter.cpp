#include "kxviewer/table/tablepdfwriter.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include <QFontMetricsF>
#include <QHeaderView>
#include <QPainter>
#include <QPdfWriter>
#include <QPointer>

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
#include "tearoffwidget/tearoffmain.h"

namespace {
// Page geometry in device units (1/1200 inch): view pixels become 11
// units; rows are at least 250 units apart, the titles' row first, each
// row's band ending 72.5 units below its y; the last column ends at x 19400.
constexpr qreal PIXEL = 11;
constexpr qreal ROW_STEP = 250;
constexpr qreal ROW_BELOW = 72.5;
constexpr qreal ICON = 150;
constexpr qreal COLUMN_GAP = 30;
constexpr qreal PAGE_RIGHT = 19400;
// Room above and below a row's text, so that no descender is cut.
constexpr qreal ROW_PADDING = 20;
// Room of the markers and kind icon after the row number.
constexpr qreal MARKERS = 352;
constexpr qreal MARKER_X = 10;
constexpr qreal KIND_X = 186;
// Blanks per nesting level before an indented TEXT, and the deepest level
// indented: the TEXT column's 90 characters hold no more.
constexpr int INDENT_BLANKS = 5;
constexpr int64_t INDENT_LEVELS = 18;
// Where the page's paint area starts: a small left margin, and the top
// of the titles' band; 55 rows of 250 units below it just fill an A3 page.
constexpr qreal LEFT_MARGIN = 200;
constexpr qreal PAGE_BOTTOM = (TablePdfWriter::ROWS_PER_PAGE + 1) * ROW_STEP;
// Room between a cell's edges and its text.
constexpr qreal TEXT_MARGIN = 40;
// The progress dialog moves every this many rows.
constexpr int32_t PROGRESS_ROWS = 100;
// The font size, in page units, that the page font is measured at first.
constexpr int REFERENCE_PIXELS = 200;

// A value stays on its row's one line, whatever separators it holds.
int CellAlignment(int32_t field)
{
    return (FieldIsNumber(field) ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter | Qt::TextSingleLine;
}

} // namespace

TablePdfWriter::TablePdfWriter(TabTable& tab) : tab_(tab), highlights_(&tab), font_(tab.View->horizontalHeader()->font())
{
    // Columns are the view's pixels times 11: the font keeps the view's
    // proportion of characters to column width. It is sized in page units,
    // so that what is measured here is what the page gets.
    const QFontMetricsF view(tab.View->font());
    font_.setPixelSize(REFERENCE_PIXELS);
    const qreal has = QFontMetricsF(font_).averageCharWidth();
    if (has > 0)
        font_.setPixelSize(std::max(1, qRound(REFERENCE_PIXELS * view.averageCharWidth() * PIXEL / has)));
    const QFontMetricsF metrics(font_);
    rowStep_ = std::max(ROW_STEP, std::ceil(metrics.height()) + 2 * ROW_PADDING);
    scale_ = std::min<qreal>(1, PAGE_BOTTOM / ((ROWS_PER_PAGE + 1) * rowStep_));
    const qreal pageRight = PAGE_RIGHT / scale_;
    const int32_t numberChars =
        RowFormatter::NumberWidth(tab.Prefs.ExportRowNumbColumn != 0, tab.Table->RowCount());
    numberPixels_ = qreal(numberChars) * view.averageCharWidth();
    for (int k = 0; k < SHARED_PIXMAP_COUNT; ++k)
        shared_.push_back(SharedPixmap(SharedPixmapId(k)).toImage());
    bookmark_ = tab.TabPixmap.toImage();
    const QPixmap& error = SharedPixmap(PIX_LINE0_EXCLAMATION);
    both_ = (tab.TabPixmap.isNull() ? error : CombinedMarks(error, tab.TabPixmap)).toImage();
    const std::vector<int32_t> fields = tab.ColumnFields();
    qreal x = numberPixels_ * PIXEL + MARKERS;
    for (size_t c = 0; c < fields.size(); ++c) {
        columns_.push_back({fields[c], x, 0});
        const qreal title = std::ceil(metrics.horizontalAdvance(Title(c))) + 2 * TEXT_MARGIN;
        qreal width = std::max(tab.View->columnWidth(int(c)) * PIXEL, title);
        if (c + 1 == fields.size())
            width = std::max(pageRight - x, title);
        else
            width = std::max(width, WidestText(fields[c]) + 2 * TEXT_MARGIN);
        columns_.back().width = width;
        x += width + COLUMN_GAP;
    }
    if (!columns_.empty())
        scale_ = std::min(scale_, PAGE_RIGHT / (columns_.back().x + columns_.back().width));
}

QString TablePdfWriter::Title(size_t column) const
{
    return tab_.Model->headerData(int(column), Qt::Horizontal, Qt::DisplayRole).toString();
}

qreal TablePdfWriter::BandTop(qreal y) const { return y + ROW_BELOW - rowStep_; }

// Pictures stand in the middle of their row's band.
qreal TablePdfWriter::IconTop(qreal y) const { return BandTop(y) + (rowStep_ - ICON) / 2; }

QRectF TablePdfWriter::TitleRect(size_t column) const
{
    return QRectF(columns_[column].x, BandTop(0), columns_[column].width, rowStep_);
}

QRectF TablePdfWriter::KindIconRect(qreal y) const
{
    return QRectF(numberPixels_ * PIXEL + KIND_X, IconTop(y), ICON, ICON);
}

QRectF TablePdfWriter::CellRect(size_t column, qreal y) const
{
    return QRectF(columns_[column].x + TEXT_MARGIN, BandTop(y), columns_[column].width - 2 * TEXT_MARGIN, rowStep_);
}

QRectF TablePdfWriter::TextBounds(int32_t row, size_t column, qreal y) const
{
    return QFontMetricsF(font_).boundingRect(CellRect(column, y), CellAlignment(columns_[column].field),
                                             CellText(row, column));
}

QString TablePdfWriter::CellText(int32_t row, size_t column) const
{
    return ShownText(*tab_.Table->GetRecord(row), column);
}

QString TablePdfWriter::ShownText(const KxdRecord& record, size_t column) const
{
    const QString text = CellValue(record, columns_[column].field);
    return QFontMetricsF(font_).elidedText(text, Qt::ElideRight, columns_[column].width - 2 * TEXT_MARGIN);
}

QString TablePdfWriter::CellValue(const KxdRecord& record, int32_t field) const
{
    // CR and LF as blanks, as the text copy writes them.
    std::string line;
    if (field >= 0 && field < FIELD_Nums) {
        const char* value = record.Text(field);
        RowFormatter::AppendLineBytes(line, value, strlen(value));
    }
    QString text = QString::fromLocal8Bit(line.data(), int(line.size()));
    const int64_t nest = record.Int64(FIELD_NEST);
    if (field == FIELD_TEXT && tab_.Prefs.IndentText && nest >= 1)
        text.prepend(QString(int(std::min<int64_t>(nest, INDENT_LEVELS)) * INDENT_BLANKS, QLatin1Char(' ')));
    return text;
}

qreal TablePdfWriter::WidestText(int32_t field) const
{
    const QFontMetricsF metrics(font_);
    // Every row is measured: glyph by glyph, each Latin-1 glyph once. The
    // sum leaves out kerning, so it is never narrower than the text.
    std::array<qreal, 256> latin;
    latin.fill(-1);
    qreal widest = 0;
    const int32_t rows = tab_.Table->RowCount();
    for (int32_t row = 0; row < rows; ++row) {
        qreal width = 0;
        for (const QChar glyph : CellValue(*tab_.Table->GetRecord(row), field)) {
            const ushort code = glyph.unicode();
            if (code >= latin.size())
                width += metrics.horizontalAdvance(glyph);
            else
                width += latin[code] >= 0 ? latin[code] : (latin[code] = metrics.horizontalAdvance(glyph));
        }
        widest = std::max(widest, width);
    }
    return std::ceil(widest);
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
    QPainter painter(&pdf);
    painter.setFont(font_);
    painter.setPen(Qt::black);
    painter.translate(LEFT_MARGIN, (rowStep_ - ROW_BELOW) * scale_);
    painter.scale(scale_, scale_);

    const int32_t rows = tab_.Table->RowCount();
    std::unique_ptr<KxvProgress> progress = KxvShell().CreateProgress(
        QStringLiteral("Exporting to PDF..."), QStringLiteral("Abort export"), 0, std::max(0, (rows - 1) / PROGRESS_ROWS));
    // Over the document's own window, which it blocks.
    progress->SetWindow(&tab_);
    progress->Show();
    const bool shown = progress->IsVisible();
    // Each turn may close the document: the export then stops, and nothing
    // of it is touched again. A display put away (Escape) aborts too.
    const QPointer<TabTable> tab(&tab_);
    bool aborted = false;
    qreal y = rowStep_;
    for (int32_t row = 0; row < rows; ++row) {
        if (row % PROGRESS_ROWS == 0) {
            progress->SetValue(row / PROGRESS_ROWS);
            KxvShell().ProcessEvents();
            closed_ = tab.isNull() || (TearOffMain::Me != nullptr && !TearOffMain::Me->Docks.contains(tab.data()));
        }
        aborted = closed_ || progress->WasCanceled() || (shown && !progress->IsVisible());
        if (aborted)
            break;
        if (row % ROWS_PER_PAGE == 0) {
            if (row > 0)
                pdf.newPage();
            PaintTitles(painter);
            y = rowStep_;
        }
        PaintRow(painter, row, y);
        y += rowStep_;
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
    painter.save();
    painter.setPen(QColor::fromRgba(TabTableLook::GridLine));
    painter.drawLine(QPointF(0, ROW_BELOW), QPointF(PAGE_RIGHT / scale_, ROW_BELOW));
    painter.restore();
    for (size_t c = 0; c < columns_.size(); ++c)
        painter.drawText(TitleRect(c).adjusted(TEXT_MARGIN, 0, -TEXT_MARGIN, 0), Qt::AlignCenter, Title(c));
}

void TablePdfWriter::PaintMarkers(QPainter& painter, const KxdRecord& record, qreal x, qreal y) const
{
    const QRectF marker(x + MARKER_X, IconTop(y), ICON, ICON);
    const bool error = record.errorKind != KXERR_NoErrors && tab_.Prefs.ShowPresErrors;
    if (record.bookmark && error)
        painter.drawImage(marker, both_);
    else if (record.bookmark)
        painter.drawImage(marker, bookmark_);
    else if (error)
        painter.drawImage(marker, shared_[PIX_LINE0_EXCLAMATION]);
    const int kind = DragHeaderView::KindIcon(record.Flags(), int8_t(record.prot.msg.LEVEL));
    painter.drawImage(KindIconRect(y), shared_[size_t(kind)]);
}

void TablePdfWriter::PaintRow(QPainter& painter, int32_t row, qreal y)
{
    KxdRecord& record = *tab_.Table->GetRecord(row);
    const qreal top = BandTop(y);
    const bool colorize = tab_.Prefs.Colorize != 0;
    const QColor shade = colorize ? PrefGlobal::GetColor(tab_.GetColorizeColorNum(&record)) : QColor();
    const qreal number = numberPixels_ * PIXEL;
    // Under Colorize the row header's part is shaded too, up to the cells.
    if (colorize)
        painter.fillRect(QRectF(0, top, number + MARKERS, rowStep_), shade);
    if (number > 0)
        painter.drawText(QRectF(0, top, number, rowStep_), Qt::AlignRight | Qt::AlignVCenter,
                         QString::number(row + 1));
    PaintMarkers(painter, record, number, y);

    highlights_.Prepare(row, &record);
    const QColor selected = record.selRange ? QColor(QRgb(record.selRange->tag & 0xFFFFFF)) : QColor();
    const int64_t nest = record.Int64(FIELD_NEST);
    const uint32_t flags = record.Flags();
    for (size_t c = 0; c < columns_.size(); ++c) {
        const int32_t field = columns_[c].field;
        const qreal x = columns_[c].x;
        const QRectF band(x, top, columns_[c].width + COLUMN_GAP, rowStep_);
        if (record.selRange)
            painter.fillRect(band, selected);
        else if (colorize)
            painter.fillRect(band, shade);
        const QString text = ShownText(record, c);
        if (field == FIELD_TEXT && tab_.Prefs.IndentText && nest >= 1) {
            // The arrow stands in the last level's blanks before the text.
            const int blanks = int(std::min<int64_t>(nest, INDENT_LEVELS) - 1) * INDENT_BLANKS;
            const qreal before = painter.fontMetrics().horizontalAdvance(QString(blanks, QLatin1Char(' ')));
            const QRectF arrow(x + TEXT_MARGIN + before, IconTop(y), ICON, ICON);
            if (flags & KXFLAGS_FUNC_ENTER)
                painter.drawImage(arrow, shared_[nest == 1 ? PIX_ARROW_IN : PIX_ARROW_TURN_IN]);
            else if (flags & KXFLAGS_FUNC_LEAVE)
                painter.drawImage(arrow, shared_[nest == 1 ? PIX_ARROW_OUT : PIX_ARROW_TURN_OUT]);
        }
        if (!text.isEmpty()) {
            const int alignment = CellAlignment(field);
            const QRectF cell = CellRect(c, y);
            highlights_.PaintCell(text, &painter, field, cell.toRect(), alignment);
            painter.drawText(cell, alignment, text);
        }
    }
}
