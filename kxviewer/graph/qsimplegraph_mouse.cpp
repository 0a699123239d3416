// The timeline's mouse, wheel and keys, its tool tips and context menu,
// and what lies under a point: thread lines, record points, error icons.
#include "kxviewer/graph/qsimplegraph.h"

#include <algorithm>
#include <cmath>
#include <map>

#include <QAction>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QWheelEvent>

#include "kxlib/kxdrecord.h"
#include "kxviewer/graph/cgraphelement.h"
#include "kxviewer/graph/graphmodel.h"
#include "kxviewer/graph/graphowner.h"
#include "tearoffwidget/resources.h"

namespace {

constexpr int SNAP = 2;      // pixels outside the plot that still count as its border
constexpr int HIT_HALF = 3;  // half the box around a point that hits it
constexpr int BAND_EDGE = 3; // a rubber band this close to a side keeps that side
const QSize ICON_SIZE(16, 16);

QPixmap ErrorIcon()
{
    static const QPixmap icon =
        QIcon(QString::fromLatin1(Resources::GetIconPath("line0_exclamation", Resources::IconExt))).pixmap(ICON_SIZE);
    return icon;
}

} // namespace

QPoint QSimpleGraph::Clamp(const QPoint& at) const
{
    auto snap = [](int v, int low, int high) {
        if (v < low && v > low - SNAP)
            return low;
        if (v > high && v < high + SNAP)
            return high;
        return v;
    };
    return QPoint(snap(at.x(), PlotRect.left(), PlotRect.right()), snap(at.y(), PlotRect.top(), PlotRect.bottom()));
}

void QSimpleGraph::wheelEvent(QWheelEvent* event)
{
    Zoom(event->angleDelta().y());
    event->accept();
}

void QSimpleGraph::mousePressEvent(QMouseEvent* event)
{
    const QPoint at = Clamp(event->pos());
    mousePoint_ = at;
    if (!PlotRect.contains(at))
        return;
    if (event->button() == Qt::LeftButton) {
        foundTids_ = FindInfoOnLine(at.x());
        const bool control = event->modifiers() & Qt::ControlModifier;
        if (!control || Zoomed()) {
            if (control) {
                mouseMode_ = MODE_PAN;
                setCursor(Qt::OpenHandCursor);
                panned_ = false;
            } else {
                if (event->modifiers() & Qt::ShiftModifier)
                    mouseMode_ = MODE_SELECT;
                else if (mouseMode_ == MODE_ZOOM)
                    SetCursorTime(TimeAt(at.x()), true, true);
                setCursor(Qt::CrossCursor);
            }
            grabMouse();
            pressPoint_ = at;
            currentPoint_ = at;
            rubberBand_ = 1;
            selecting_ = true;
        }
    } else if (event->button() == Qt::RightButton) {
        foundTids_ = FindInfoOnLine(at.x());
        ShowContextMenu(event->globalPos());
    }
    paintReason_ = REASON_FULL;
    update();
}

void QSimpleGraph::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint at = Clamp(event->pos());
    if (selecting_ && (mouseMode_ == MODE_ZOOM || mouseMode_ == MODE_SELECT)) {
        currentPoint_ = at;
        update();
    } else if (mouseMode_ == MODE_PAN && rubberBand_ == 1) {
        // The plot follows the hand.
        Pan(mousePoint_.x() - at.x());
    }
    mousePoint_ = at;
}

void QSimpleGraph::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    panRemainder_ = 0;
    if (mouseGrabber() == this)
        releaseMouse();
    const QPoint at = Clamp(event->pos());
    const bool dragged = rubberBand_ == 1 && std::abs(pressPoint_.x() - currentPoint_.x()) > PlotRect.width() / 100;
    setCursor(Qt::ArrowCursor);
    if (mouseMode_ == MODE_SELECT && selecting_) {
        if (dragged)
            AddStrangeSelection(pressPoint_.x(), currentPoint_.x());
        SetCursorTime(TimeAt(at.x()), false, true);
    } else if (mouseMode_ == MODE_ZOOM && selecting_) {
        // The press already moved the cursor with its history entry.
        if (dragged)
            ZoomToRubberBand();
        else
            SetCursorTime(TimeAt(at.x()), false, true);
    }
    mouseMode_ = MODE_ZOOM;
    rubberBand_ = 0;
    selecting_ = false;
    update();
}

void QSimpleGraph::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QPoint at = Clamp(event->pos());
    if (PlotRect.contains(at))
        showAtCurrentPos(at, false);
    if (mouseGrabber() == this)
        releaseMouse();
}

void QSimpleGraph::keyPressEvent(QKeyEvent* event)
{
    const bool control = event->modifiers() & Qt::ControlModifier;
    if (owner_ && control && event->key() == Qt::Key_Home)
        owner_->JumpToHome();
    else if (owner_ && control && event->key() == Qt::Key_End)
        owner_->JumpToEnd();
    else
        QWidget::keyPressEvent(event);
}

void QSimpleGraph::ZoomToRubberBand()
{
    const QRect band = QRect(pressPoint_, currentPoint_).normalized();
    const GraphPair window = VisibleX();
    int64_t start = band.left() - PlotRect.left() < BAND_EDGE ? window.min : TimeAt(band.left());
    int64_t end = PlotRect.right() - band.right() < BAND_EDGE ? window.max : TimeAt(band.right());
    const int64_t minimum = MinimumXSpan();
    if (window.Span() <= uint64_t(minimum)) {
        Status(QStringLiteral("Graph reached maximum resolution"));
        return;
    }
    if (end - start < minimum) {
        // Too narrow: the narrowest window there is, centred on the band's
        // start and kept inside the view.
        start = start - window.min < minimum / 2 ? window.min : start - minimum / 2;
        end = start + minimum;
        if (end > window.max) {
            end = window.max;
            start = end - minimum;
        }
    }
    SetRange(start, end, VisibleY().min, VisibleY().max, true, false, true);
    SetZoomed(true);
}

std::vector<uint64_t> QSimpleGraph::FindInfoOnLine(int x) const
{
    std::vector<uint64_t> found;
    if (!model_ || XUnitsPerPixel <= 0.0 || x < PlotRect.left() || x > PlotRect.right())
        return found;
    const int64_t from = TimeAt(x);
    const int64_t to = std::max(from, TimeAt(x + 1) - (x < PlotRect.right() ? 1 : 0));
    for (const CGraphElement* e = model_->First(); e; e = e->NextEntry()) {
        if (!e->Shown() || e->Count == 0)
            continue;
        const int32_t in = e->Levels.PointFrom(e->X, from);
        bool crosses = in >= 0 && e->X[in] <= to;
        // Else a segment from the last point before the column to a point
        // after it, either way round in the arrays.
        int32_t before = crosses ? -1 : e->Levels.PointBefore(e->X, from);
        if (before >= 0) {
            // A rise at one time continues from its last point.
            while (before + 1 < e->Count && e->X[before + 1] == e->X[before])
                ++before;
            crosses = (before + 1 < e->Count && e->ConnectFlags[before + 1] != CGraphElement::ALONE &&
                       e->X[before + 1] > to) ||
                      (before > 0 && e->ConnectFlags[before] != CGraphElement::ALONE && e->X[before - 1] > to);
        }
        if (crosses)
            found.push_back(e->Tid);
    }
    return found;
}

int QSimpleGraph::FindIconsAtPoint(const QPoint& at)
{
    iconHits_.clear();
    const int height = ICON_SIZE.height();
    const QRect band(PlotRect.left(), PlotRect.bottom() - 10 - height, PlotRect.width(), height * 3 / 2);
    if (!owner_ || !owner_->ShowsPresentationErrors() || !model_ || !band.contains(at) || XUnitsPerPixel <= 0.0)
        return 0;
    // Icons start 7 pixels left of their point: only points of these
    // columns can lie under the mouse. Near the right side they reach the
    // window's last time, which maps just past the last column.
    const std::vector<GraphIndexEntry>& index = model_->Index();
    const int64_t from = TimeAt(std::max(at.x() + 7 - ICON_SIZE.width(), PlotRect.left()));
    const int64_t to = at.x() + 8 > PlotRect.right() ? VisibleX().max : TimeAt(at.x() + 8);
    for (auto it = index.begin() + ptrdiff_t(model_->FirstFrom(from)); it != index.end() && it->time <= to; ++it) {
        if (!it->record || it->record->errorKind == 0)
            continue;
        const QRect icon(TimeToPixel(it->time) - 7, band.top(), ICON_SIZE.width(), band.height());
        if (icon.contains(at))
            iconHits_.push_back({it->record, it->row});
    }
    return int(iconHits_.size());
}

void QSimpleGraph::PaintErrorIcons(QPainter& p)
{
    if (!model_ || XUnitsPerPixel <= 0.0)
        return;
    const std::vector<GraphIndexEntry>& index = model_->Index();
    const GraphPair window = VisibleX();
    const QPixmap icon = ErrorIcon();
    int last = -1;
    // One icon per column: more would cover each other.
    for (auto it = index.begin() + ptrdiff_t(model_->FirstFrom(window.min)); it != index.end() && it->time <= window.max;
         ++it) {
        if (!it->record || it->record->errorKind == 0)
            continue;
        const int x = TimeToPixel(it->time);
        if (x == last)
            continue;
        p.drawPixmap(x - 7, PlotRect.bottom() - 20, icon);
        last = x;
    }
}

void QSimpleGraph::PrintErrorsToLog()
{
    if (!owner_)
        return;
    owner_->AddToSystemLog(QStringLiteral("Found %1 errors").arg(iconHits_.size()));
    for (const GraphIconHit& hit : iconHits_)
        owner_->AddToSystemLogNoTime(QStringLiteral("Table: %1 Row: %2 Seq#: %3 Error: %4")
                                         .arg(owner_->TableName())
                                         .arg(hit.row + 1)
                                         .arg(QString::fromLocal8Bit(hit.record->Text(FIELD_SEQ)))
                                         .arg(QLatin1String(KxdErrorKindName(int32_t(hit.record->errorKind)))));
}

std::vector<GraphHit> QSimpleGraph::HitsNear(int x) const
{
    std::vector<GraphHit> near;
    for (const GraphHit& hit : Hits)
        if (std::abs(hit.point.x() - x) <= HIT_HALF)
            near.push_back(hit);
    const GraphPair window = VisibleX();
    const int from = std::max(x - HIT_HALF, PlotRect.left());
    const int to = std::min(x + HIT_HALF, PlotRect.right());
    // The first time that maps into a column.
    auto columnStart = [this, window](int column) {
        return int64_t(uint64_t(window.min) + uint64_t(std::ceil(double(column - PlotRect.left()) * XUnitsPerPixel)));
    };
    for (const CGraphElement* e : dense_) {
        for (int column = from; column <= to; ++column) {
            const int64_t start = columnStart(column);
            const int64_t end = column < PlotRect.right() ? std::max(start, columnStart(column + 1) - 1) : window.max;
            const int32_t k = e->Levels.PointFrom(e->X, start);
            if (k >= 0 && e->X[k] <= end)
                near.push_back({MapPoint(e->X[k], e->Y[k]), e->Rows[k], e->ConnectFlags[k], e->Tid});
        }
    }
    return near;
}

void QSimpleGraph::showAtCurrentPos(QPoint pos, bool ShowInfoOnLine)
{
    if (!owner_)
        return;
    int shown = 0;
    for (const GraphHit& hit : HitsNear(pos.x())) {
        if (hit.connect != CGraphElement::RECORD)
            continue;
        const bool under = ShowInfoOnLine
                               ? std::abs(pos.x() - hit.point.x()) <= HIT_HALF
                               : QRect(hit.point - QPoint(HIT_HALF, HIT_HALF), QSize(6, 6)).contains(pos);
        if (under) {
            owner_->AddToSystemLog(owner_->RecordInfo(int32_t(hit.row)));
            ++shown;
        }
    }
    // The command was asked for: it says when there was nothing to tell.
    if (ShowInfoOnLine && shown == 0)
        owner_->AddToSystemLog(QStringLiteral("Line info: no record near this point"));
}

void QSimpleGraph::PrintLineInfoToLog() { showAtCurrentPos(mousePoint_, true); }

bool QSimpleGraph::event(QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return QWidget::event(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    ShowToolTip(help->globalPos(), help->pos());
    return true;
}

QString QSimpleGraph::ToolTipText(const QPoint& at)
{
    const int icons = FindIconsAtPoint(at);
    if (icons > 0)
        return QStringLiteral("Found %1 icons\n").arg(icons);
    std::map<uint64_t, int> perThread;
    int points = 0;
    for (const GraphHit& hit : HitsNear(at.x())) {
        if (QRect(hit.point - QPoint(HIT_HALF, HIT_HALF), QSize(6, 6)).contains(at)) {
            ++perThread[hit.tid];
            ++points;
        }
    }
    if (points == 0)
        return QString();
    QString text = QStringLiteral("Found %1 points\n").arg(points);
    for (const auto& thread : perThread)
        text += QStringLiteral("TID: %1 %2 points\n")
                    .arg(owner_ ? owner_->ThreadText(thread.first) : QString::number(thread.first))
                    .arg(thread.second);
    return text;
}

void QSimpleGraph::ShowToolTip(const QPoint& global, const QPoint& at)
{
    const QString text = ToolTipText(at);
    if (text.isEmpty()) {
        QToolTip::hideText();
        return;
    }
    QToolTip::setFont(QFont(QStringLiteral("Courier New")));
    QToolTip::showText(global, text, this);
}

void QSimpleGraph::ShowContextMenu(const QPoint& global)
{
    if (!owner_)
        return;
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    auto add = [this, menu](int id) {
        if (QAction* action = owner_->Action(id))
            menu->addAction(action);
        return owner_->Action(id);
    };
    if (FindIconsAtPoint(mousePoint_) > 0) {
        add(GraphOwner::ACT_PRINT_ERRORS);
        menu->addSeparator();
        if (QAction* errors = add(GraphOwner::ACT_SHOW_ERRORS))
            errors->setChecked(owner_->ShowsPresentationErrors());
    } else {
        if (!foundTids_.empty())
            add(GraphOwner::ACT_SELECT_TIDS);
        menu->addSeparator();
        for (int id : {GraphOwner::ACT_LINE_INFO, GraphOwner::ACT_BACK, GraphOwner::ACT_RESTORE_ZOOM,
                       GraphOwner::ACT_GO_TO_CURSOR})
            add(id);
        menu->addSeparator();
        add(GraphOwner::ACT_MARK_IN);
        add(GraphOwner::ACT_MARK_OUT);
        menu->addSeparator();
        auto addOrRemove = [](bool has) { return has ? QStringLiteral("Remove ") : QStringLiteral("Add "); };
        if (QAction* cursor = add(GraphOwner::ACT_BOOKMARK_AT_CURSOR))
            cursor->setText(addOrRemove(CheckBookmark(cursorTime_)) + QStringLiteral("bookmark at cursor"));
        // The document's bookmark action toggles the cursor row; this entry
        // acts on the record nearest the clicked point.
        const int64_t here = TimeAt(mousePoint_.x());
        QAction* bookmark = owner_->Action(GraphOwner::ACT_BOOKMARK);
        QAction* atPoint = menu->addAction(bookmark ? bookmark->icon() : QIcon(),
                                           addOrRemove(CheckBookmark(here)) + QStringLiteral("bookmark here"));
        connect(atPoint, &QAction::triggered, this, [this, here] { AddBookmark(here); });
        menu->addSeparator();
        const bool stops = owner_->HasVisibleBookmarks();
        for (int id : {GraphOwner::ACT_PREVIOUS_STOP, GraphOwner::ACT_NEXT_STOP})
            if (QAction* action = add(id))
                action->setEnabled(stops);
    }
    menu->popup(global);
}

void QSimpleGraph::PaintRubberBand(QPainter& p)
{
    if (!selecting_ || rubberBand_ != 1 || pressPoint_.x() == currentPoint_.x() ||
        pressPoint_.y() == currentPoint_.y() || (mouseMode_ != MODE_ZOOM && mouseMode_ != MODE_SELECT))
        return;
    const QRect band = QRect(pressPoint_, currentPoint_).normalized();
    if (mouseMode_ == MODE_SELECT)
        p.fillRect(band, QBrush(selection_, Qt::Dense3Pattern));
    p.setPen(QPen(Qt::white, 1, Qt::DashLine));
    p.setBrush(Qt::NoBrush);
    p.drawRect(band);
}
