#include "kxviewer/table/tabtableview.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>

#include "kxlib/kxdrecord.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/shellservices.h"
#include "kxviewer/table/tabtable.h"
#include "kxviewer/table/tabtabledelegate.h"
#include "kxviewer/table/tabtablemodel.h"

TabTableView::TabTableView(TabTable* tab) : QTableView(tab), tab_(tab), table_(tab->Table)
{
    setMouseTracking(true);
    setFrameShape(QFrame::NoFrame);
    viewport()->installEventFilter(this);
    installEventFilter(this);
}

void TabTableView::RepaintAll()
{
    viewport()->update();
    verticalHeader()->viewport()->update();
    verticalScrollBar()->update();
}

void TabTableView::updateSectionWidth(int, int, int)
{
    userResized_ = true;
}

void TabTableView::onCurrentChanged(const QModelIndex& current, const QModelIndex&)
{
    tab_->SetCurrentPosition(current.row());
}

void TabTableView::resizeEvent(QResizeEvent* event)
{
    if (!userResized_)
        tab_->SetColumnWidths();
    userResized_ = false;
    QTableView::resizeEvent(event);
}

void TabTableView::changeEvent(QEvent* event)
{
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        FontsChanged();
}

void TabTableView::FontsChanged()
{
    if (tab_->Model && model() == tab_->Model)
        tab_->ApplyFonts();
}

void TabTableView::paintEvent(QPaintEvent* event)
{
    // Rows, selections and colours may have changed since the last pass.
    if (auto* delegate = qobject_cast<TabTableDelegate*>(itemDelegate()))
        delegate->Invalidate();
    QTableView::paintEvent(event);
}

void TabTableView::RemoveColumn()
{
    PrefTabTable& prefs = tab_->Prefs;
    if (prefs.columnCount <= 1) {
        KxvShell().Information(QStringLiteral("Last column can`t be removed"), false);
        return;
    }
    const int32_t column = DraggedColumn;
    if (column >= 0 && column < prefs.columnCount) {
        tab_->Model->BeginRemoveColumn(column);
        for (int32_t c = column; c + 1 < prefs.columnCount; ++c)
            prefs.columns[c] = prefs.columns[c + 1];
        prefs.columns[prefs.columnCount - 1] = -1;
        --prefs.columnCount;
        tab_->Model->EndRemoveColumn();
        tab_->SetColumnWidths();
    }
    viewport()->update();
}

void TabTableView::OnColumnMoved(const QPoint& pos)
{
    PrefTabTable& prefs = tab_->Prefs;
    const int target = horizontalHeader()->logicalIndexAt(pos);
    const int32_t dragged = DraggedColumn;
    if (target >= 0 && target < prefs.columnCount && dragged >= 0 && dragged < prefs.columnCount &&
        target != dragged) {
        if (KxvTearoffChannel.Passes(ZmLib::KX_LEVEL_DEBUG))
            KxvTearoffChannel.Print(0, ZmLib::KX_LEVEL_DEBUG, "TabTableView::OnColumnMoved", "Column moved to %d",
                                    target);
        std::swap(prefs.columns[target], prefs.columns[dragged]);
        tab_->Model->ColumnsSwapped(target, dragged);
        tab_->SetColumnWidths();
    }
    viewport()->update();
}

bool TabTableView::IsSelected(int32_t row) const
{
    KxdRecord* record = table_->FindRecord(row);
    return record && record->selRange;
}

void TabTableView::SetRows(int32_t a, int32_t b, bool select)
{
    tab_->SelRangeSet(a, b, select, 0);
}

void TabTableView::MakeCurrent(int32_t row)
{
    if (model() && model()->columnCount() > 0)
        setCurrentIndex(model()->index(row, 0));
}

void TabTableView::KeyPress(const QKeyEvent* key, int32_t current)
{
    const bool shift = key->modifiers() & Qt::ShiftModifier;
    switch (key->key()) {
    case Qt::Key_Space:
        SetRows(current, current, !IsSelected(current));
        return;
    case Qt::Key_Insert:
        SetRows(current, current, !IsSelected(current));
        QCoreApplication::postEvent(this, new QKeyEvent(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier));
        return;
    case Qt::Key_Delete:
        if (QAction* erase = tab_->Actions[TACT_ROWS_DELETE]; erase && erase->isEnabled())
            tab_->RowsDelete();
        return;
    default:
        break;
    }
    const bool vertical = key->key() == Qt::Key_Up || key->key() == Qt::Key_Down;
    if (shift) {
        if (vertical) {
            SetRows(current, current, anchorSelect_);
            anchorRow_ = current;
        }
        return;
    }
    anchorRow_ = anchorStartRow_ = current;
    anchorSelect_ = !IsSelected(current);
}

void TabTableView::KeyRelease(const QKeyEvent* key, int32_t current)
{
    const int k = key->key();
    if ((key->modifiers() & Qt::ShiftModifier) &&
        (k == Qt::Key_PageUp || k == Qt::Key_PageDown || k == Qt::Key_Home || k == Qt::Key_End)) {
        SetRows(anchorRow_, current, anchorSelect_);
        anchorRow_ = current;
    }
}

void TabTableView::ShiftPress(int32_t row)
{
    const int32_t a = anchorStartRow_;
    const int32_t e = prevEndRow_;
    if (!anchorSelect_) {
        SetRows(anchorRow_, row, false);
    } else if (e >= a && row >= a) {
        // Shrinking keeps the clicked row: only the rows after it go.
        if (row < e)
            SetRows(row + 1, e, false);
        else
            SetRows(e, row, true);
    } else if (e < a && row < a) {
        if (row <= e)
            SetRows(row, e, true);
        else
            SetRows(e, row - 1, false);
    } else {
        SetRows(anchorRow_, a, false);
        SetRows(row, a, true);
    }
    anchorRow_ = row;
}

void TabTableView::LeftPress(const QMouseEvent* mouse, int32_t row)
{
    if (mouse->modifiers() & Qt::ShiftModifier) {
        ShiftPress(row);
    } else {
        anchorRow_ = anchorStartRow_ = row;
        anchorSelect_ = !IsSelected(row);
    }
    lastDragRow_ = prevEndRow_ = row;
    dragMode_ = IsSelected(row) ? 0 : 1;
    MakeCurrent(row);
    verticalHeader()->viewport()->update();
}

void TabTableView::LeftMove(int32_t row)
{
    MakeCurrent(row);
    if (dragMode_ >= 0 && row != lastDragRow_) {
        SetRows(lastDragRow_, row, dragMode_ == 1);
        lastDragRow_ = row;
    }
}

bool TabTableView::eventFilter(QObject* object, QEvent* event)
{
    const QEvent::Type type = event->type();
    const bool key = type == QEvent::KeyPress || type == QEvent::KeyRelease;
    const bool mouse = type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease ||
                       type == QEvent::MouseMove || type == QEvent::MouseButtonDblClick;
    if ((!key && !mouse) || table_->RowCount() == 0 || object->inherits("QScrollBar"))
        return QTableView::eventFilter(object, event);

    const int32_t last = table_->RowCount() - 1;
    int32_t row = -1;
    const QMouseEvent* m = mouse ? static_cast<QMouseEvent*>(event) : nullptr;
    if (m) {
        const QPoint p = object == viewport() ? m->pos() : viewport()->mapFrom(this, m->pos());
        row = rowAt(p.y());
        if (row < 0) {
            const bool leftGesture = (type == QEvent::MouseButtonRelease && m->button() == Qt::LeftButton) ||
                                     (type == QEvent::MouseMove && (m->buttons() & Qt::LeftButton));
            const QRect widened = viewport()->rect().adjusted(-verticalHeader()->width(), 0, 0, 0);
            if (leftGesture) {
                if (widened.contains(p))
                    return QTableView::eventFilter(object, event);
                row = p.y() < 0 ? 0 : last;
            }
        }
    }
    if (row < 0) {
        if (lastDragRow_ < 0)
            return QTableView::eventFilter(object, event);
        row = std::min(lastDragRow_, last);
    }

    const int32_t current = std::clamp(table_->CurRow(), 0, last);
    // Delete asks first: the document, and the view with it, may go in
    // that turn.
    const TabBase::Hold hold(tab_);
    switch (type) {
    case QEvent::KeyPress:
        KeyPress(static_cast<QKeyEvent*>(event), current);
        break;
    case QEvent::KeyRelease:
        KeyRelease(static_cast<QKeyEvent*>(event), current);
        break;
    case QEvent::MouseButtonDblClick:
        if (m->button() == Qt::LeftButton)
            tab_->RecordInfoText(row);
        break;
    case QEvent::MouseButtonPress:
        if (m->button() == Qt::LeftButton)
            LeftPress(m, row);
        break;
    case QEvent::MouseMove:
        if (m->buttons() & Qt::LeftButton)
            LeftMove(row);
        break;
    case QEvent::MouseButtonRelease:
        if (m->button() == Qt::LeftButton)
            dragMode_ = -1;
        break;
    default:
        break;
    }
    if (hold.Gone())
        return true;
    RepaintAll();
    return QTableView::eventFilter(object, event);
}
