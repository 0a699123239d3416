// The view, the cursor, marks, selections, bookmarks and the back history
// of the timeline: what its owner and its mouse drive.
#include "kxviewer/graph/qsimplegraph.h"

#include <algorithm>
#include <cmath>

#include <QAction>
#include <QPointer>
#include <QScopedValueRollback>

#include "kxviewer/graph/graphmodel.h"
#include "kxviewer/graph/graphowner.h"
#include "kxviewer/graph/graphslider.h"
#include "tearoffwidget/tearoffmain.h"
#include "tearoffwidget/tearoffprompt.h"

namespace {

constexpr int BOOKMARK_PIXELS = 4; // a bookmark this close to a time is the one there
constexpr int64_t CURSOR_NONE = -999;
const QColor DEFAULT_BACKGROUND(64, 64, 64);

} // namespace

QSimpleGraph::~QSimpleGraph() = default;

bool QSimpleGraph::SetRange(int64_t xMin, int64_t xMax, int64_t yMin, int64_t yMax, bool update, bool setLimits)
{
    return SetRange(xMin, xMax, yMin, yMax, update, setLimits, false);
}

bool QSimpleGraph::SetRange(int64_t xMin, int64_t xMax, int64_t yMin, int64_t yMax, bool update, bool setLimits,
                            bool addToHistory)
{
    if (addToHistory)
        PushBack();
    CGraphRange::SetRange(xMin, xMax, yMin, yMax, update, setLimits);
    if (VisibleX().min == FullX().min && VisibleX().max == FullX().max) {
        Status(QStringLiteral("Graph reached minimum resolution"));
        EnableAction(GraphOwner::ACT_ZOOM_OUT, false);
    } else {
        Status(QStringLiteral("Range from %2 to %3 is set").arg(qlonglong(xMin)).arg(qlonglong(xMax)));
    }
    UpdateScale();
    plotValid_ = false;
    if (update) {
        paintReason_ = REASON_FULL;
        this->update();
    }
    return true;
}

void QSimpleGraph::PushBack()
{
    if (int(back_.size()) >= BACK_LIMIT)
        back_.erase(back_.begin());
    back_.push_back(
        {VisibleX().min, VisibleX().max, VisibleY().min, VisibleY().max, cursorTime_, Zoomed()});
}

void QSimpleGraph::DoBack()
{
    if (back_.empty())
        return;
    const BackEntry entry = back_.back();
    back_.pop_back();
    if (entry.zoomed) {
        SetRange(entry.xMin, entry.xMax, entry.yMin, entry.yMax, true, false, false);
        SetZoomed(true);
    } else if (Zoomed()) {
        SetZoomed(false);
        SetRange(FullX().min, FullX().max, FullY().min, FullY().max, true, false, false);
    }
    // The table follows the cursor and its document would centre the view
    // on it: the restored view is shown as it was stored.
    const QScopedValueRollback<bool> keep(keepView_, true);
    SetCursorTime(entry.cursorTime, false, true);
}

void QSimpleGraph::SetRMaxRange(bool bUpdate, bool isAddBackInfo)
{
    if (!Zoomed())
        return;
    // The history keeps the zoomed view it leaves.
    SetRange(FullX().min, FullX().max, FullY().min, FullY().max, bUpdate, false, isAddBackInfo);
    SetZoomed(false);
}

void QSimpleGraph::EnableAction(int id, bool enabled)
{
    if (QAction* action = owner_ ? owner_->Action(id) : nullptr)
        action->setEnabled(enabled);
}

void QSimpleGraph::Status(const QString& text)
{
    if (owner_)
        owner_->ShowStatus(text);
}

int64_t QSimpleGraph::TimeAt(int x) const
{
    const double offset = double(x - PlotRect.left()) * XUnitsPerPixel;
    const double span = double(VisibleX().Span());
    return int64_t(uint64_t(VisibleX().min) + uint64_t(std::max(0.0, std::min(offset, span))));
}

void QSimpleGraph::Zoom(int delta)
{
    const double factor = std::exp2(-double(delta) / 960.0);
    const GraphPair window = VisibleX();
    const uint64_t half = window.Span() / 2;
    const __int128 centre = __int128(window.min) + half;
    const uint64_t newHalf = uint64_t(std::min(double(half) * factor, 9.2e18));
    EnableAction(GraphOwner::ACT_ZOOM_IN, true);
    EnableAction(GraphOwner::ACT_ZOOM_OUT, true);
    if (factor < 1.0 && 2 * newHalf < uint64_t(MinimumXSpan())) {
        Status(QStringLiteral("Graph reached maximum resolution"));
        EnableAction(GraphOwner::ACT_ZOOM_IN, false);
        return;
    }
    const GraphPair full = FullX();
    if (__int128(full.Span()) > 2 * __int128(newHalf)) {
        // Kept inside the full range, the width unchanged.
        __int128 lo = centre - newHalf;
        __int128 hi = centre + newHalf;
        if (lo < full.min) {
            hi += full.min - lo;
            lo = full.min;
        } else if (hi > full.max) {
            lo -= hi - full.max;
            hi = full.max;
        }
        SetRange(int64_t(lo), int64_t(hi), FullY().min, FullY().max, true, false, true);
        SetZoomed(true);
        return;
    }
    // As wide as it gets: the whole range, which is no zoom.
    SetRange(full.min, full.max, FullY().min, FullY().max, true, false, true);
    SetZoomed(false);
}

void QSimpleGraph::GraphZoomIn() { Zoom(-120); }

void QSimpleGraph::GraphZoomOut() { Zoom(120); }

void QSimpleGraph::ScrollBy(int64_t delta) { ScrollBy(delta, true); }

void QSimpleGraph::ScrollBy(int64_t delta, bool addToHistory)
{
    const GraphPair full = FullX();
    const GraphPair window = VisibleX();
    const uint64_t span = window.Span();
    // Offsets from the full minimum, unsigned: no overflow at any time.
    const uint64_t room = full.Span() > span ? full.Span() - span : 0;
    const uint64_t at = std::min(uint64_t(window.min) - uint64_t(full.min), room);
    uint64_t moved;
    if (delta < 0)
        moved = uint64_t(-(delta + 1)) + 1 >= at ? 0 : at - (uint64_t(-(delta + 1)) + 1);
    else
        moved = uint64_t(delta) >= room - at ? room : at + uint64_t(delta);
    const uint64_t ySpan = VisibleY().Span();
    const uint64_t yRoom = FullY().Span() > ySpan ? FullY().Span() - ySpan : 0;
    const uint64_t yAt = std::min(uint64_t(VisibleY().min) - uint64_t(FullY().min), yRoom);
    const int64_t min = int64_t(uint64_t(full.min) + moved);
    const int64_t yMin = int64_t(uint64_t(FullY().min) + yAt);
    if (min == window.min && yMin == VisibleY().min)
        return;
    SetRange(min, int64_t(uint64_t(min) + span), yMin, int64_t(uint64_t(yMin) + ySpan), true, false, addToHistory);
}

void QSimpleGraph::Pan(int dx)
{
    const uint64_t span = VisibleX().Span();
    const int width = PlotRect.width();
    // A window of one instant or no plot has nothing to move by.
    if (span == 0 || width <= 0 || dx == 0)
        return;
    if (span <= uint64_t(width)) {
        // Several pixels per unit: the drag gathers until it makes a unit.
        const int perUnit = int(uint64_t(width) / span);
        panRemainder_ += dx;
        if (std::abs(panRemainder_) > perUnit) {
            PanBy(panRemainder_ / perUnit);
            panRemainder_ = 0;
        }
        return;
    }
    PanBy(int64_t(double(dx) * double(span) / width));
}

void QSimpleGraph::PanBy(int64_t delta)
{
    // One history entry for a whole drag.
    ScrollBy(delta, !panned_);
    panned_ = true;
}

void QSimpleGraph::CenterOnPos(int64_t t)
{
    if (keepView_ || ifTimeInsideScreen(t))
        return;
    const GraphPair window = VisibleX();
    // Following the cursor is no view of the user's own: Back must not
    // come back here.
    ScrollBy(int64_t(uint64_t(t) - window.Span() / 2 - uint64_t(window.min)), false);
}

void QSimpleGraph::GoToCursorPos() { CenterOnPos(cursorTime_); }

bool QSimpleGraph::ifTimeInsideScreen(qint64 time) { return time >= VisibleX().min && time <= VisibleX().max; }

void QSimpleGraph::ShiftTime(int64_t offset)
{
    if (!model_ || offset == 0)
        return;
    const GraphPair window = VisibleX();
    const bool zoomed = Zoomed();
    if (!model_->ShiftTime(offset)) {
        Status(QStringLiteral("Cannot shift the graph's times by %1").arg(qlonglong(offset)));
        return;
    }
    // The window, the history, the cursor and the marks move with the
    // points, so that every place still names the same records.
    auto shift = [offset](int64_t& t) { t = int64_t(uint64_t(t) - uint64_t(offset)); };
    for (BackEntry& entry : back_) {
        shift(entry.xMin);
        shift(entry.xMax);
        shift(entry.cursorTime);
    }
    shift(cursorTime_);
    shift(cursorDisplayTime_);
    if (markInTime_ != NO_MARK)
        shift(markInTime_);
    if (markOutTime_ != NO_MARK)
        shift(markOutTime_);
    int64_t min = window.min;
    int64_t max = window.max;
    shift(min);
    shift(max);
    const GraphPair y = VisibleY();
    CGraphRange::SetRange(min, max, y.min, y.max, false, false);
    PushBack();
    const GraphPair full = model_->TimeRange();
    CGraphRange::SetRange(full.min, full.max, FullY().min, FullY().max, false, true);
    if (slider_)
        slider_->SetBounds(full.min, full.max);
    SetRange(min, max, y.min, y.max, true, false, false);
    SetZoomed(zoomed);
}

void QSimpleGraph::MarkTids(const std::vector<uint64_t>& tids, bool shown)
{
    if (model_)
        model_->MarkTids(tids, shown);
    Invalidate();
}

void QSimpleGraph::ShowAllTids(bool shown)
{
    if (model_)
        model_->ShowAll(shown);
    Invalidate();
}

bool QSimpleGraph::SetMouseMode(int mode)
{
    if (mode < MODE_PAN || mode > MODE_SELECT)
        return false;
    mouseMode_ = mode;
    return true;
}

void QSimpleGraph::SetCursorTime(int64_t t, bool addToHistory, bool syncTable)
{
    if (!model_ || model_->Index().empty())
        return;
    const std::vector<GraphIndexEntry>& index = model_->Index();
    auto after = std::upper_bound(index.begin(), index.end(), t,
                                  [](int64_t time, const GraphIndexEntry& e) { return time < e.time; });
    const GraphIndexEntry* before = after == index.begin() ? nullptr : &*(after - 1);
    const GraphIndexEntry* next = after == index.end() ? nullptr : &*after;
    const GraphIndexEntry* chosen;
    if (!before || !next) {
        chosen = before ? before : next;
    } else {
        const bool beforeShown = ifTimeInsideScreen(before->time);
        const bool nextShown = ifTimeInsideScreen(next->time);
        if (beforeShown != nextShown)
            chosen = beforeShown ? before : next;
        else
            chosen = uint64_t(t) - uint64_t(before->time) < uint64_t(next->time) - uint64_t(t) ? before : next;
    }
    // Of the points at that time, the one whose row is nearest the cursor.
    for (size_t i = model_->FirstFrom(chosen->time); i < index.size() && index[i].time == chosen->time; ++i)
        if (std::llabs(int64_t(index[i].row) - cursorRow_) < std::llabs(int64_t(chosen->row) - cursorRow_))
            chosen = &index[i];
    if (addToHistory)
        PushBack();
    PlaceCursor(int32_t(chosen->row), chosen->time, syncTable);
}

void QSimpleGraph::SetCurrentRow(int32_t row, bool addToHistory, bool syncTable)
{
    if (!model_ || model_->Index().empty() || !owner_ || row < 0 || row >= owner_->RowCount())
        return;
    if (addToHistory)
        PushBack();
    PlaceCursor(row, owner_->RowTime(row), syncTable);
}

void QSimpleGraph::PlaceCursor(int32_t row, int64_t time, bool syncTable)
{
    cursorRow_ = row;
    cursorTime_ = time;
    cursorDisplayTime_ = time;
    if (owner_) {
        if (QAction* bookmark = owner_->Action(GraphOwner::ACT_BOOKMARK))
            bookmark->setChecked(owner_->RowBookmarked(row));
        owner_->CursorMoved(row, syncTable);
    }
    update();
}

void QSimpleGraph::SelectBetween(int32_t a, int32_t b, bool select)
{
    if (!owner_)
        return;
    const int32_t from = std::max(std::min(a, b), 0);
    const int32_t to = std::min(std::max(a, b), owner_->RowCount() - 1);
    if (from <= to)
        owner_->SelectRows(from, to, select);
}

void QSimpleGraph::ClearSelection(int WkStartRow, int WkEndRow) { AddSelection(WkStartRow, WkEndRow, false); }

void QSimpleGraph::AddSelection(int WkStartRow, int WkEndRow, bool AddOrDeleteMode)
{
    SelectBetween(WkStartRow, WkEndRow, AddOrDeleteMode);
    Invalidate();
}

void QSimpleGraph::startGraphSelect() { SetMark(true); }

void QSimpleGraph::endGraphSelect() { SetMark(false); }

void QSimpleGraph::SetMark(bool in)
{
    // Without points (a cancelled build) the cursor stands on no record:
    // its row 0 is no row the user chose.
    if (!model_ || model_->Index().empty())
        return;
    const int64_t t = cursorTime_ == CURSOR_NONE ? CURSOR_NONE - 1 : cursorTime_;
    const int32_t r = cursorRow_;
    int64_t& time = in ? markInTime_ : markOutTime_;
    int32_t& row = in ? markInRow_ : markOutRow_;
    const int64_t other = in ? markOutTime_ : markInTime_;
    // Past the other mark: after the mark-out for a mark-in, before the
    // mark-in for a mark-out.
    const bool beyond = other != NO_MARK && (in ? t > other : t < other);
    if (time == NO_MARK) {
        time = t;
        row = r;
        if (other != NO_MARK) {
            if (beyond) {
                std::swap(markInTime_, markOutTime_);
                std::swap(markInRow_, markOutRow_);
            }
            SelectBetween(markInRow_, markOutRow_, true);
        }
    } else if (other == NO_MARK) {
        time = t;
        row = r;
    } else if (beyond) {
        markInTime_ = t;
        markInRow_ = r;
        markOutTime_ = NO_MARK;
    } else {
        // Inside the marks the old range goes first; outside it grows.
        if (t >= markInTime_ && t <= markOutTime_)
            SelectBetween(markInRow_, markOutRow_, false);
        time = t;
        row = r;
        SelectBetween(markInRow_, markOutRow_, true);
    }
    Invalidate();
}

void QSimpleGraph::AddStrangeSelection(int WkStartRow, int WkEndRow)
{
    if (!owner_ || !model_ || model_->Index().empty())
        return;
    const int left = std::min(WkStartRow, WkEndRow);
    const int right = std::max(WkStartRow, WkEndRow);
    SetCursorTime(TimeAt(left), false, false);
    const int32_t p = cursorRow_ - 1;
    if (p >= 0 && owner_->RowSelected(p)) {
        SetCursorTime(TimeAt(right), false, false);
        if (owner_->RowSelected(cursorRow_)) {
            // The selected run around the row before the new range goes:
            // the new range replaces it.
            int32_t first = p;
            int32_t last = p;
            while (first > 0 && owner_->RowSelected(first - 1))
                --first;
            while (last + 1 < owner_->RowCount() && owner_->RowSelected(last + 1))
                ++last;
            owner_->SelectRows(first, last, false);
        }
    }
    markInTime_ = NO_MARK;
    markOutTime_ = NO_MARK;
    SetCursorTime(TimeAt(left), false, true);
    startGraphSelect();
    SetCursorTime(TimeAt(right), false, true);
    endGraphSelect();
}

bool QSimpleGraph::NearBookmark(int64_t t, int32_t& row) const
{
    int64_t time = 0;
    if (!owner_ || !owner_->NearestBookmark(t, time, row))
        return false;
    const double distance = double(time > t ? uint64_t(time) - uint64_t(t) : uint64_t(t) - uint64_t(time));
    if (XUnitsPerPixel <= 0.0)
        return distance == 0.0;
    return distance / XUnitsPerPixel < BOOKMARK_PIXELS;
}

bool QSimpleGraph::CheckBookmark(qint64 bookmark_value)
{
    int32_t row = 0;
    return NearBookmark(bookmark_value, row);
}

void QSimpleGraph::AddBookmark(qint64 bookmark_value)
{
    const int64_t t = bookmark_value;
    if (!owner_ || !model_ || model_->Index().empty())
        return;
    int32_t row = 0;
    if (NearBookmark(t, row)) {
        owner_->SetBookmark(row, false);
    } else {
        const std::vector<GraphIndexEntry>& index = model_->Index();
        const size_t at = model_->FirstFrom(t);
        const GraphIndexEntry* next = at < index.size() ? &index[at] : nullptr;
        if (next && next->time == t) {
            owner_->SetBookmark(int32_t(next->row), true);
        } else if (!AskBookmarkSide(t, at > 0 ? &index[at - 1] : nullptr, next)) {
            return;
        }
    }
    SetCursorTime(t, false, true);
    CenterOnPos(t);
}

bool QSimpleGraph::AskBookmarkSide(int64_t t, const GraphIndexEntry* left, const GraphIndexEntry* right)
{
    TearOffPrompt& prompt = TearOffMain::Prompt();
    int64_t time = 0;
    int32_t nearest = -1;
    const bool marked = owner_->NearestBookmark(t, time, nearest) &&
                        ((left && nearest == int32_t(left->row)) || (right && nearest == int32_t(right->row)));
    // A question runs a loop of its own, in which the document (and this
    // graph with it) may be closed; the rows are taken before it.
    const QPointer<QSimpleGraph> alive(this);
    if (marked) {
        const bool remove = prompt.Question(this, QStringLiteral("Question"),
                                            QStringLiteral("Nearest record is far from here at and have bookmark\nRemove it?"),
                                            QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) == QMessageBox::Yes;
        if (!alive)
            return false;
        if (remove)
            owner_->SetBookmark(nearest, false);
        return true;
    }
    const int32_t leftRow = left ? int32_t(left->row) : -1;
    const int32_t rightRow = right ? int32_t(right->row) : -1;
    TearOffPrompt::NamedButtons buttons;
    if (left)
        buttons.emplace_back(QMessageBox::Yes, QStringLiteral("To Left"));
    if (right)
        buttons.emplace_back(QMessageBox::No, QStringLiteral("To Right"));
    buttons.emplace_back(QMessageBox::Cancel, QStringLiteral("Cancel"));
    const QString text = QStringLiteral("Left at %1 Right at %2. Set bookmark?")
                             .arg(left ? TimeText(left->time) : QString(), right ? TimeText(right->time) : QString());
    const int answer = prompt.Choice(this, QStringLiteral("Nearest record is far from here!"), text, buttons,
                                     left ? QMessageBox::Yes : QMessageBox::No);
    if (!alive)
        return false;
    switch (answer) {
    case QMessageBox::Yes:
        owner_->SetBookmark(leftRow, true);
        return true;
    case QMessageBox::No:
        owner_->SetBookmark(rightRow, true);
        return true;
    default:
        return false;
    }
}

void QSimpleGraph::AddBookmarkAtCurrent() { AddBookmark(cursorTime_); }

void QSimpleGraph::tick()
{
    if (selecting_) {
        paintReason_ = REASON_FULL;
        return;
    }
    const bool even = blink_ % 2 == 0;
    blink_ += even ? 1 : -1;
    paintReason_ = even ? REASON_HIDE_CURSOR : REASON_SHOW_CURSOR;
    // Only the cursor changes: the rest of the widget stays as painted.
    const QRect cursor = CursorRect();
    if (!cursor.isEmpty())
        repaint(cursor);
}

void QSimpleGraph::Rupdate()
{
    paintReason_ = REASON_FULL;
    Invalidate();
}

void QSimpleGraph::GridOnOff()
{
    if (QAction* grid = owner_ ? owner_->Action(GraphOwner::ACT_GRID) : nullptr)
        SetGrid(grid->isChecked());
}

void QSimpleGraph::SetBackColor()
{
    const bool own = owner_ && owner_->BackgroundButtonChecked();
    background_ = QBrush(own ? owner_->GraphBackground() : DEFAULT_BACKGROUND);
    Invalidate();
}

void QSimpleGraph::SelectColorScheme()
{
    if (!owner_ || !sender() || sender()->objectName() != QLatin1String("ColorGraphBg"))
        return;
    const QPointer<QSimpleGraph> alive(this);
    const QColor colour = TearOffMain::Prompt().Color(owner_->GraphBackground(), this, QString());
    if (!alive || !colour.isValid())
        return;
    owner_->SetGraphBackground(colour);
    SetBackColor();
}

void QSimpleGraph::SelectTIDsInTree()
{
    if (owner_)
        owner_->SelectThreadsInTree(foundTids_);
}
