#include "kxviewer/table/dragheaderview.h"

#include <algorithm>
#include <cmath>

#include <QAction>
#include <QApplication>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>

#include "kxlib/kxdrecord.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/shellservices.h"
#include "kxviewer/table/guiicons.h"
#include "kxviewer/table/tabtable.h"
#include "kxviewer/table/tabtablelook.h"
#include "kxviewer/table/tabshell.h"
#include "kxviewer/table/tabtableview.h"
#include "tearoffwidget/tearoffmain.h"

namespace {
// The row header's marks, from its right edge.
constexpr int STATUS_ICON_FROM_RIGHT = 41;
constexpr int KIND_ICON_FROM_RIGHT = 25;
// The row number's margin on the left.
constexpr int NUMBER_FROM_LEFT = 10;
// The column that a release on the row header makes current.
constexpr int RELEASE_COLUMN = 2;
} // namespace

DragHeaderView::DragHeaderView(Qt::Orientation orientation, TabTableView* view)
    : QHeaderView(orientation, view), view_(view)
{
    setMouseTracking(true);
    setAcceptDrops(true);
}

DragHeaderView::~DragHeaderView()
{
    if (cursorOverridden_)
        QApplication::restoreOverrideCursor();
}

void DragHeaderView::changeEvent(QEvent* event)
{
    QHeaderView::changeEvent(event);
    // The row numbers' font sets the rows' height too.
    if (event->type() == QEvent::FontChange && orientation() == Qt::Vertical && view_)
        view_->FontsChanged();
}

int DragHeaderView::KindIcon(uint32_t flags, int32_t level)
{
    if (flags & KXFLAGS_FUNC_ENTER)
        return PIX_TYPE5_FUNCS;
    if (flags & KXFLAGS_FUNC_LEAVE)
        return PIX_TYPE6_FUNCE;
    if (level >= 1)
        return PIX_TYPE0_INFO;
    switch (level) {
    case 0:
        return PIX_TYPE1_WARNING;
    case -5:
        return PIX_TYPE4_VERIFY;
    case -6:
        return PIX_TYPE3_ASSERT;
    default:
        return PIX_TYPE2_ERROR;
    }
}

void DragHeaderView::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const
{
    painter->save();
    if (orientation() == Qt::Horizontal)
        PaintTitle(painter, rect, logicalIndex);
    else
        PaintRowNumber(painter, rect, logicalIndex);
    painter->restore();
}

void DragHeaderView::PaintTitle(QPainter* painter, const QRect& rect, int column) const
{
    painter->fillRect(rect, QColor::fromRgba(TabTableLook::HeaderBackground));
    painter->setPen(palette().color(QPalette::WindowText));
    const QVariant title = model() ? model()->headerData(column, Qt::Horizontal, Qt::DisplayRole) : QVariant();
    painter->drawText(rect, Qt::AlignCenter, title.toString());
    painter->setPen(QColor::fromRgba(TabTableLook::GridLine));
    painter->drawLine(rect.topRight(), rect.bottomRight());
    painter->drawLine(rect.bottomLeft(), rect.bottomRight());
}

void DragHeaderView::PaintRowNumber(QPainter* painter, const QRect& rect, int row) const
{
    TabTable* tab = view_->Tab();
    KxTable* table = tab->Table;
    KxdRecord* record = table->FindRecord(row);
    if (!record)
        return;
    const QColor fill = tab->Prefs.Colorize ? PrefGlobal::GetColor(tab->GetColorizeColorNum(record))
                                            : QColor::fromRgba(TabTableLook::HeaderBackground);
    painter->fillRect(rect, fill);
    painter->setPen(QColor::fromRgba(TabTableLook::GridLine));
    painter->drawLine(rect.topRight(), rect.bottomRight());

    painter->setPen(palette().color(QPalette::WindowText));
    painter->drawText(rect.adjusted(NUMBER_FROM_LEFT, 2, -STATUS_ICON_FROM_RIGHT, 0), Qt::AlignRight | Qt::AlignVCenter,
                      QString::number(row + 1));

    if (row == table->CurRow() && TearOffMain::CurrentDock == tab) {
        painter->drawPixmap(rect.topLeft(), SharedPixmap(PIX_LINE_SELECTOR));
        if (QAction* bookmark = tab->Actions[TACT_BOOKMARK])
            bookmark->setChecked(record->bookmark != nullptr);
    }
    const int status = rect.left() + width() - STATUS_ICON_FROM_RIGHT;
    if (record->errorKind != KXERR_NoErrors && tab->Prefs.ShowPresErrors)
        painter->drawPixmap(status, rect.top(), SharedPixmap(PIX_LINE0_EXCLAMATION));
    if (record->bookmark)
        painter->drawPixmap(status, rect.top(), tab->TabPixmap);
    const int32_t level = int8_t(record->prot.msg.LEVEL);
    painter->drawPixmap(rect.left() + width() - KIND_ICON_FROM_RIGHT, rect.top(),
                        SharedPixmap(SharedPixmapId(KindIcon(record->Flags(), level))));
}

int DragHeaderView::NumberWidth(int headerWidth)
{
    return headerWidth - NUMBER_FROM_LEFT - STATUS_ICON_FROM_RIGHT;
}

int DragHeaderView::WidthForDigits(const QFont& font, int digits)
{
    // Advances are fractional: rounded one by one, five digits may come out
    // a pixel or two short of the number drawn.
    const QFontMetricsF metrics(font);
    qreal widest = 0;
    for (QChar digit = QLatin1Char('0'); digit <= QLatin1Char('9'); digit = QChar(digit.unicode() + 1))
        widest = std::max(widest, metrics.horizontalAdvance(digit));
    return int(std::ceil(widest * digits)) + NUMBER_FROM_LEFT + STATUS_ICON_FROM_RIGHT;
}

void DragHeaderView::MakeCurrent(int row, int column)
{
    QAbstractItemModel* m = view_->model();
    if (!m || row < 0 || m->columnCount() == 0)
        return;
    column = std::clamp(column, 0, m->columnCount() - 1);
    view_->setCurrentIndex(m->index(row, column));
}

void DragHeaderView::PostToView(QEvent::Type type, const QMouseEvent* event)
{
    const QPoint at(0, event->pos().y());
    QWidget* cells = view_->viewport();
    QCoreApplication::postEvent(cells, new QMouseEvent(type, at, cells->mapToGlobal(at), Qt::LeftButton,
                                                       event->buttons(), event->modifiers()));
}

void DragHeaderView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        if (orientation() == Qt::Horizontal) {
            // The shell runs the column drag (drop on the header to move,
            // outside it to remove); a press on a section border is left to
            // the header for resizing.
            if (KxvTabShell().StartColumnDrag(event->pos(), this, view_))
                return;
        } else {
            PostToView(QEvent::MouseButtonPress, event);
            view_->RepaintAll();
        }
    }
    QHeaderView::mousePressEvent(event);
}

void DragHeaderView::mouseMoveEvent(QMouseEvent* event)
{
    if (orientation() == Qt::Vertical && (event->buttons() & Qt::LeftButton)) {
        const int row = logicalIndexAt(event->pos());
        if (KxvTearoffChannel.Passes(ZmLib::KX_LEVEL_DEBUG))
            KxvTearoffChannel.Print(0, ZmLib::KX_LEVEL_DEBUG, "DragHeaderView::mouseMoveEvent",
                                    "Mouse in vertical = %d", row);
        PostToView(QEvent::MouseMove, event);
        MakeCurrent(row, view_->Tab()->RowHeaderColumn);
        view_->RepaintAll();
    }
    QHeaderView::mouseMoveEvent(event);
}

void DragHeaderView::mouseReleaseEvent(QMouseEvent* event)
{
    if (orientation() == Qt::Vertical && event->button() == Qt::LeftButton) {
        MakeCurrent(logicalIndexAt(event->pos()), RELEASE_COLUMN);
        PostToView(QEvent::MouseButtonRelease, event);
        view_->RepaintAll();
    }
    QHeaderView::mouseReleaseEvent(event);
}

void DragHeaderView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (orientation() == Qt::Horizontal && event->button() == Qt::LeftButton) {
        const int column = logicalIndexAt(event->pos());
        if (column >= 0)
            view_->resizeColumnToContents(column);
        view_->RepaintAll();
    }
    QHeaderView::mouseDoubleClickEvent(event);
}

void DragHeaderView::enterEvent(QEvent* event)
{
    if (orientation() == Qt::Vertical && !cursorOverridden_) {
        QApplication::setOverrideCursor(Qt::PointingHandCursor);
        cursorOverridden_ = true;
    }
    QHeaderView::enterEvent(event);
}

void DragHeaderView::leaveEvent(QEvent* event)
{
    if (cursorOverridden_) {
        QApplication::restoreOverrideCursor();
        cursorOverridden_ = false;
    }
    QHeaderView::leaveEvent(event);
}
