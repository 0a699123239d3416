// The timeline worked by wheel, mouse, keys and its owner's commands: zoom
// limits, drags, the back history, marks, bookmarks, time shifts and the
// thread probe, against an owner that records what the widget asked.
#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <vector>

#include <QAction>
#include <QHelpEvent>
#include <QApplication>
#include <QMenu>
#include <QPaintEvent>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include "../../kxlib/table_fixtures.h"
#include "../../tearoffwidget/scriptedprompt.h"
#include "kxviewer/graph/cgraphelement.h"
#include "kxviewer/graph/graphmodel.h"
#include "kxviewer/graph/graphowner.h"
#include "kxviewer/graph/graphpointbuilder.h"
#include "kxviewer/graph/qsimplegraph.h"
#include "logicalgrab.h"

namespace {

class FakeOwner : public GraphOwner {
public:
    FakeOwner()
    {
        for (int id : {ACT_SHOW_ERRORS, ACT_BACK, ACT_GO_TO_CURSOR, ACT_PREVIOUS_STOP, ACT_NEXT_STOP, ACT_BOOKMARK,
                       ACT_GRID, ACT_MARK_IN, ACT_MARK_OUT, ACT_ZOOM_IN, ACT_ZOOM_OUT, ACT_RESTORE_ZOOM,
                       ACT_SELECT_TIDS, ACT_BOOKMARK_AT_CURSOR, ACT_PRINT_ERRORS, ACT_LINE_INFO}) {
            actions[id] = new QAction(QString::number(id), &parent);
            actions[id]->setCheckable(id == ACT_BOOKMARK || id == ACT_GRID || id == ACT_SHOW_ERRORS);
        }
    }
    QAction* Action(int id) const override { return actions.count(id) ? actions.at(id) : nullptr; }
    int32_t RowCount() const override { return int32_t(times.size()); }
    int64_t RowTime(int32_t row) const override { return times[size_t(row)]; }
    bool RowSelected(int32_t row) const override { return selected.count(row) != 0; }
    void SelectRows(int32_t from, int32_t to, bool select) override
    {
        for (int32_t r = from; r <= to; ++r)
            select ? void(selected.insert(r)) : void(selected.erase(r));
    }
    bool RowBookmarked(int32_t row) const override { return bookmarks.count(row) != 0; }
    void SetBookmark(int32_t row, bool on) override { on ? void(bookmarks.insert(row)) : void(bookmarks.erase(row)); }
    bool NearestBookmark(int64_t t, int64_t& time, int32_t& row) const override
    {
        if (bookmarks.empty())
            return false;
        row = *std::min_element(bookmarks.begin(), bookmarks.end(), [this, t](int32_t a, int32_t b) {
            return std::llabs(times[size_t(a)] - t) < std::llabs(times[size_t(b)] - t);
        });
        time = times[size_t(row)];
        return true;
    }
    bool HasVisibleBookmarks() const override { return !bookmarks.empty(); }
    void CursorMoved(int32_t row, bool) override { cursorMoves.push_back(row); }
    QString RecordInfo(int32_t row) const override { return QStringLiteral("record %1").arg(row); }
    QString TableName() const override { return QStringLiteral("t"); }
    QString ThreadText(uint64_t tid) const override { return QStringLiteral("T%1").arg(tid); }
    void SelectThreadsInTree(const std::vector<uint64_t>& tids) override { treeSelected = tids; }
    bool ShowsPresentationErrors() const override { return errors; }
    QColor GraphBackground() const override { return background; }
    bool BackgroundButtonChecked() const override { return true; }
    void SetGraphBackground(const QColor& colour) override { background = colour; }
    void ShowStatus(const QString& text) override { status = text; }
    void AddToSystemLog(const QString& text) override { log.append(text); }
    void AddToSystemLogNoTime(const QString& text) override { log.append(text); }
    void JumpToHome() override { jumps.append(QStringLiteral("home")); }
    void JumpToEnd() override { jumps.append(QStringLiteral("end")); }

    QObject parent;
    std::map<int, QAction*> actions;
    std::vector<int64_t> times;
    std::set<int32_t> selected, bookmarks;
    std::vector<int32_t> cursorMoves;
    std::vector<uint64_t> treeSelected;
    bool errors = false;
    QColor background{10, 20, 30};
    QString status;
    QStringList log, jumps;
};

QColor Colour(int32_t) { return Qt::green; }

// Records on one thread (tid 1) at the given times, one row each, nest 0;
// the widget shown at 800 x 500 and painted once; questions answered by
// a script.
struct Scene {
    Scene(KxTable& table, bool errors)
    {
        owner.errors = errors;
        model.Build(table, Colour, nullptr);
        Show();
    }
    explicit Scene(const std::vector<int64_t>& times, const std::vector<std::pair<int64_t, uint64_t>>& other = {})
    {
        GraphPointBuilder points;
        uint32_t row = 0;
        for (int64_t t : times) {
            points.Add(t, 1, 0, 0, false, row++);
            owner.times.push_back(t);
        }
        for (const auto& r : other) {
            points.Add(r.first, r.second, int32_t(r.second - 1), 0, false, row++);
            owner.times.push_back(r.first);
        }
        model.Build(points, {1, 2, 3}, nullptr, Colour);
        Show();
    }
    void Show()
    {
        graph.SetOwner(&owner);
        graph.resize(800, 500);
        graph.SetModel(&model);
        graph.show();
        Paint();
    }
    void Paint() { graph.grab(); }
    // A window of exactly unitsPerPixel units per plot pixel from min.
    void View(int64_t min, int unitsPerPixel)
    {
        for (int i = 0; i < 2; ++i) {
            graph.SetRange(min, min + int64_t(graph.PlotRect.width()) * unitsPerPixel, 0, 3, true, false);
            graph.SetZoomed(true);
            Paint();
        }
    }
    QPoint Column(int64_t time) const { return QPoint(graph.TimeToPixel(time), graph.PlotRect.center().y()); }
    void Wheel(int delta)
    {
        const QPoint at = graph.PlotRect.center();
        QWheelEvent wheel(at, graph.mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(&graph, &wheel);
    }
    void Drag(Qt::KeyboardModifiers modifiers, QPoint from, QPoint to)
    {
        QTest::mousePress(&graph, Qt::LeftButton, modifiers, from);
        QMouseEvent move(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton, modifiers);
        QApplication::sendEvent(&graph, &move);
        QTest::mouseRelease(&graph, Qt::LeftButton, modifiers, to);
    }

    ScriptedPrompt prompt;
    PromptGuard guard{&prompt};
    FakeOwner owner;
    GraphModel model;
    QSimpleGraph graph;
};

std::vector<int64_t> Times(int count, int64_t step)
{
    std::vector<int64_t> times;
    for (int i = 0; i < count; ++i)
        times.push_back(i * step);
    return times;
}

} // namespace

// Notches of the wheel in order, with the state after each.
TEST(GraphInteraction, WheelZoomsWithinItsLimits)
{
    Scene scene(Times(101, 100));
    QAction* zoomIn = scene.owner.actions[GraphOwner::ACT_ZOOM_IN];
    QAction* zoomOut = scene.owner.actions[GraphOwner::ACT_ZOOM_OUT];
    EXPECT_FALSE(zoomOut->isEnabled()) << "the full range shows at start";
    const char* const MIN = "Graph reached minimum resolution";
    EXPECT_EQ(scene.owner.status, MIN);
    // status null: "Range from ... is set".
    const struct { int delta; bool zoomInEnabled, zoomOutEnabled, zoomed; const char* status; } steps[] = {
        {120, true, true, true, nullptr}, {-120, true, true, true, nullptr}, {-120, true, false, false, MIN},
        {-120, true, false, false, MIN}, {120, true, true, true, nullptr}};
    for (const auto& s : steps) {
        scene.Wheel(s.delta);
        EXPECT_EQ(zoomIn->isEnabled(), s.zoomInEnabled);
        EXPECT_EQ(zoomOut->isEnabled(), s.zoomOutEnabled);
        EXPECT_EQ(scene.graph.Zoomed(), s.zoomed);
        if (s.status)
            EXPECT_EQ(scene.owner.status, s.status);
        else
            EXPECT_EQ(scene.owner.status, QStringLiteral("Range from %1 to %2 is set")
                                              .arg(scene.graph.VisibleX().min)
                                              .arg(scene.graph.VisibleX().max));
    }
    // Narrowing stops before the window falls below a quarter division.
    uint64_t span = scene.graph.VisibleX().Span();
    for (int i = 0; i < 200 && zoomIn->isEnabled(); ++i) {
        span = scene.graph.VisibleX().Span();
        scene.Wheel(120);
    }
    EXPECT_FALSE(zoomIn->isEnabled());
    EXPECT_EQ(scene.owner.status, "Graph reached maximum resolution");
    EXPECT_EQ(scene.graph.VisibleX().Span(), span);
    EXPECT_GE(span, uint64_t(scene.graph.MinimumXSpan()));
    EXPECT_LT(uint64_t(double(span / 2) * std::exp2(-1.0 / 8)) * 2, uint64_t(scene.graph.MinimumXSpan()));
    scene.Wheel(-120);
    EXPECT_TRUE(zoomIn->isEnabled());
}

// Left drags of each mode from the plot's centre column.
TEST(GraphInteraction, DragsMoveTheCursorZoomSelectAndPan)
{
    // extra: pixels past a hundredth of the plot width; zoomed: the window
    // narrowed to the band; pan: window moved by, in units; overSelection:
    // rows 490 .. 560 selected before.
    const struct {
        const char* name; Qt::KeyboardModifiers modifiers; int extra; bool zoomed; int64_t pan;
        bool cursorAtRelease, selects, overSelection;
    } cases[] = {
        {"a hundredth of the width moves the cursor", Qt::NoModifier, 0, false, 0, true, false, false},
        {"one pixel more zooms to the band", Qt::NoModifier, 1, true, 0, false, false, false},
        {"Shift selects the rows between", Qt::ShiftModifier, 40, false, 0, true, true, false},
        {"Shift inside a selection replaces it", Qt::ShiftModifier, 40, false, 0, true, true, true},
        {"Control pans the zoomed view", Qt::ControlModifier, 40, false, -1, false, false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Scene scene(Times(1001, 10));
        scene.View(2000, 10);
        const int64_t before = scene.graph.VisibleX().min;
        if (c.overSelection)
            scene.owner.SelectRows(490, 560, true);
        const QPoint from = scene.Column(5000);
        const QPoint to = from + QPoint(scene.graph.PlotRect.width() / 100 + c.extra, 0);
        scene.Drag(c.modifiers, from, to);
        if (c.zoomed) {
            EXPECT_EQ(scene.graph.VisibleX().min, 5000);
            EXPECT_EQ(scene.graph.VisibleX().max, 5000 + (to.x() - from.x()) * 10);
        } else {
            EXPECT_EQ(scene.graph.VisibleX().min, before + c.pan * (to.x() - from.x()) * 10);
        }
        EXPECT_EQ(scene.graph.MouseMode(), QSimpleGraph::MODE_ZOOM);
        if (c.cursorAtRelease) {
            EXPECT_EQ(scene.graph.CursorTime(), 5000 + (to.x() - from.x()) * 10);
        }
        std::set<int32_t> rows;
        if (c.selects)
            for (int32_t r = 500; r <= 500 + (to.x() - from.x()); ++r)
                rows.insert(r);
        EXPECT_EQ(scene.owner.selected, rows);
    }
}

TEST(GraphInteraction, BackHistoryKeepsTenViews)
{
    Scene scene(Times(1001, 10));
    scene.graph.DoBack();
    EXPECT_EQ(scene.graph.VisibleX().Span(), 10000u) << "an empty history does nothing";
    std::vector<GraphPair> views;
    for (int i = 0; i < 11; ++i) {
        views.push_back(scene.graph.VisibleX());
        scene.Wheel(120);
    }
    EXPECT_EQ(scene.graph.BackCount(), QSimpleGraph::BACK_LIMIT);
    for (int i = 0; i < 3; ++i)
        scene.graph.DoBack();
    EXPECT_EQ(scene.graph.BackCount(), 7);
    EXPECT_EQ(scene.graph.VisibleX().min, views[8].min);
    EXPECT_EQ(scene.graph.VisibleX().max, views[8].max);
    for (int i = 0; i < 7; ++i)
        scene.graph.DoBack();
    EXPECT_EQ(scene.graph.VisibleX().min, views[1].min) << "the first view was dropped";
}

// Records every 10 units: a bookmark within 4 pixels of a time is the one
// there; else the record at the time, or a neighbour as the user says.
TEST(GraphInteraction, BookmarksSetFromTheGraph)
{
    // answer NoButton: no question; row 500 (time 5000) is bookmarked first.
    const struct {
        const char* name; int unitsPerPixel; int64_t at; QMessageBox::StandardButton answer;
        std::set<int32_t> bookmarks; const char* question;
    } cases[] = {
        {"3 pixels away removes", 10, 5030, QMessageBox::NoButton, {}, nullptr},
        {"4 pixels away adds the record there", 10, 5040, QMessageBox::NoButton, {500, 504}, nullptr},
        {"between records: to the right", 10, 5065, QMessageBox::No, {500, 507}, "Left at"},
        {"between records: to the left", 10, 5065, QMessageBox::Yes, {500, 506}, "Left at"},
        {"between records: cancel", 10, 5065, QMessageBox::Cancel, {500}, "Left at"},
        {"a marked neighbour far away is removed", 1, 5005, QMessageBox::Yes, {},
         "Nearest record is far from here at and have bookmark\nRemove it?"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Scene scene(Times(1001, 10));
        scene.View(4000, c.unitsPerPixel);
        scene.owner.bookmarks = {500};
        ScriptedPrompt& prompt = scene.prompt;
        prompt.answers.enqueue(c.answer);
        scene.graph.AddBookmark(c.at);
        EXPECT_EQ(scene.owner.bookmarks, c.bookmarks);
        ASSERT_EQ(prompt.asked.size(), c.question ? 1 : 0);
        if (c.question && prompt.buttonTexts.isEmpty()) {
            EXPECT_EQ(prompt.asked[0].text, c.question);
        } else if (c.question) {
            EXPECT_EQ(prompt.asked[0].text, QStringLiteral("Left at %1 Right at %2. Set bookmark?")
                                                .arg(QSimpleGraph::TimeText(5060), QSimpleGraph::TimeText(5070)));
            EXPECT_EQ(prompt.buttonTexts[0], QStringList({"To Left", "To Right", "Cancel"}));
        }
        EXPECT_EQ(scene.owner.cursorMoves.empty(), c.answer == QMessageBox::Cancel);
    }
}

// Marks set at rows (time = 10 x row) in order; a negative row is a
// mark-out.
TEST(GraphInteraction, MarksSelectTheRowsBetween)
{
    // markIn, markOut -1: none.
    const struct { std::vector<int> marks; int32_t markIn, markOut; std::set<int32_t> selected; } cases[] = {
        {{-60, 40}, 40, 60, {40, 50, 60}},         {{-40, 60}, 40, 60, {40, 50, 60}},
        {{60, -40}, 40, 60, {40, 50, 60}},         {{40, -60, 50}, 50, 60, {50, 60}},
        {{40, -60, 30}, 30, 60, {30, 40, 50, 60}}, {{40, -60, 70}, 70, -1, {40, 50, 60}},
        {{40, -60, -30}, 30, -1, {40, 50, 60}},    {{40, -60, -50}, 40, 50, {40, 50}},
        {{40, -60, -70}, 40, 70, {40, 50, 60, 70}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.marks));
        Scene scene(Times(9, 100));
        for (int m : c.marks) {
            scene.graph.SetCurrentRow(std::abs(m) / 10, false, true);
            m < 0 ? scene.graph.endGraphSelect() : scene.graph.startGraphSelect();
        }
        EXPECT_EQ(scene.graph.MarkIn(), c.markIn < 0 ? QSimpleGraph::NO_MARK : c.markIn * 10);
        EXPECT_EQ(scene.graph.MarkOut(), c.markOut < 0 ? QSimpleGraph::NO_MARK : c.markOut * 10);
        std::set<int32_t> rows;
        for (int32_t r : c.selected)
            rows.insert(r / 10);
        EXPECT_EQ(scene.owner.selected, rows);
    }
}

TEST(GraphInteraction, ShiftTimeMovesPointsWindowAndFullRange)
{
    Scene scene(Times(101, 100));
    scene.View(2000, 1);
    scene.graph.SetCursorTime(2500, false, false);
    scene.graph.ShiftTime(3000);
    EXPECT_EQ(scene.graph.FullX().min, -3000);
    EXPECT_EQ(scene.graph.VisibleX().min, -1000);
    EXPECT_EQ(scene.graph.CursorTime(), -500);
    EXPECT_EQ(scene.model.Index().front().time, -3000);
    EXPECT_EQ(scene.model.First()->X[scene.model.First()->Count - 1], 7000);
    scene.graph.SetRMaxRange();
    EXPECT_EQ(scene.graph.VisibleX().min, -3000);
    scene.graph.DoBack();
    EXPECT_EQ(scene.graph.VisibleX().min, -1000) << "the history moved with the points";
}

// Without points (no records, or a build cancelled over a table of rows),
// or with every point at one time, the commands find nothing to act on and
// change nothing.
TEST(GraphInteraction, NothingToActOnDoesNothing)
{
    const struct { const char* name; std::vector<int64_t> times; bool cancelled; } cases[] = {
        {"no records", {}, false}, {"one instant", {500, 500}, false}, {"a cancelled build", {100, 200, 300}, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Scene scene(c.times);
        if (c.cancelled) {
            scene.model.Clear();
            scene.graph.SetModel(&scene.model);
            scene.Paint();
        }
        scene.graph.SetZoomed(true);
        const GraphPair window = scene.graph.VisibleX();
        scene.graph.Pan(300);
        scene.Drag(Qt::ControlModifier, scene.graph.PlotRect.center(), scene.graph.PlotRect.center() + QPoint(-50, 0));
        EXPECT_EQ(scene.graph.VisibleX().min, window.min);
        if (!scene.model.Index().empty())
            continue;
        scene.graph.SetCursorTime(100, true, true);
        scene.graph.SetCurrentRow(0, true, true);
        scene.graph.AddBookmark(0);
        scene.graph.AddBookmarkAtCurrent();
        scene.graph.AddStrangeSelection(100, 200);
        scene.graph.startGraphSelect();
        scene.graph.endGraphSelect();
        EXPECT_EQ(scene.graph.MarkIn(), QSimpleGraph::NO_MARK);
        EXPECT_EQ(scene.graph.MarkOut(), QSimpleGraph::NO_MARK);
        EXPECT_TRUE(scene.owner.selected.empty());
        EXPECT_TRUE(scene.owner.cursorMoves.empty());
        EXPECT_TRUE(scene.owner.bookmarks.empty());
        EXPECT_TRUE(scene.prompt.asked.isEmpty());
        EXPECT_EQ(scene.graph.BackCount(), 0);
    }
}

// Thread 1 every 10 units from 0 to 1000; thread 2 at 0 and 1000 only (a
// segment over the whole plot); thread 3 from 600 on.
TEST(GraphInteraction, ProbeFindsTheShownLinesCrossingAColumn)
{
    const struct { const char* name; int64_t at; bool hideThree; std::vector<uint64_t> tids; } cases[] = {
        {"before thread 3 starts", 300, false, {1, 2}}, {"all three", 700, false, {1, 2, 3}},
        {"a hidden line is not found", 700, true, {1, 2}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Scene scene(Times(101, 10), {{0, 2}, {1000, 2}, {600, 3}, {800, 3}, {1000, 3}});
        if (c.hideThree)
            scene.graph.MarkTids({3}, false);
        scene.Paint();
        QTest::mouseClick(&scene.graph, Qt::LeftButton, Qt::NoModifier, scene.Column(c.at));
        EXPECT_EQ(scene.graph.FoundTids(), c.tids);
        scene.graph.SelectTIDsInTree();
        EXPECT_EQ(scene.owner.treeSelected, c.tids);
    }
}

// Points under the mouse: lines drawn point by point give their drawn
// points; lines drawn by columns at most one point a column.
TEST(GraphInteraction, PointsUnderTheMouse)
{
    // hits: within 3 columns of the middle.
    const struct { const char* name; int count; int64_t step; size_t hits; } cases[] = {
        {"sparse line", 51, 200, 1}, {"dense line", 20001, 1, 7}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Scene scene(Times(c.count, c.step));
        const int64_t middle = (c.count - 1) * c.step / 2;
        const QPoint at = scene.graph.MapPoint(middle, 1);
        const std::vector<GraphHit> hits = scene.graph.HitsNear(at.x());
        ASSERT_EQ(hits.size(), c.hits);
        std::set<int> columns;
        for (const GraphHit& h : hits)
            columns.insert(h.point.x());
        EXPECT_EQ(columns.size(), c.hits) << "one a column";
        scene.graph.showAtCurrentPos(at, true);
        EXPECT_EQ(scene.owner.log.size(), int(c.hits));
        EXPECT_EQ(scene.owner.log.first(), QStringLiteral("record %1").arg(hits.front().row));
        QHelpEvent help(QEvent::ToolTip, at, scene.graph.mapToGlobal(at));
        QApplication::sendEvent(&scene.graph, &help);
        const QString text = scene.graph.ToolTipText(at);
        EXPECT_TRUE(text.startsWith("Found ")) << text.toStdString();
        EXPECT_TRUE(text.endsWith(" points\nTID: T1 " + text.section(' ', 1, 1) + " points\n")) << text.toStdString();
        EXPECT_EQ(scene.graph.ToolTipText(at + QPoint(0, 40)), QString()) << "no point there";
    }
    // Between two records of a sparse line the command still answers.
    Scene sparse(Times(51, 200));
    const QPoint between = sparse.graph.MapPoint(25 * 200 + 100, 1);
    ASSERT_TRUE(sparse.graph.HitsNear(between.x()).empty());
    sparse.graph.showAtCurrentPos(between, true);
    EXPECT_EQ(sparse.owner.log, QStringList{"Line info: no record near this point"});
}

// Paints as the widget sees them: the region and the paint reason.
class PaintLog : public QObject {
public:
    explicit PaintLog(QSimpleGraph* graph) : graph_(graph) { graph->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            paints.push_back({static_cast<QPaintEvent*>(event)->rect(), graph_->PaintReason()});
        return false;
    }
    std::vector<std::pair<QRect, int>> paints;

private:
    QSimpleGraph* graph_;
};

// Each tick repaints the cursor's own strip, hiding and showing its line
// in turn; while the mouse selects it repaints nothing.
TEST(GraphInteraction, BlinkRepaintsOnlyTheCursor)
{
    Scene scene(Times(11, 100));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&scene.graph));
    scene.graph.SetCursorTime(500, false, false);
    scene.graph.repaint();
    PaintLog log(&scene.graph);
    for (int i = 0; i < 3; ++i)
        scene.graph.tick();
    const QRect strip = scene.graph.CursorRect();
    // The timer may have ticked before: the phase is either.
    const int first = log.paints.empty() ? 0 : log.paints[0].second;
    const int second = QSimpleGraph::REASON_HIDE_CURSOR + QSimpleGraph::REASON_SHOW_CURSOR - first;
    using Paints = std::vector<std::pair<QRect, int>>;
    EXPECT_EQ(log.paints, Paints({{strip, first}, {strip, second}, {strip, first}}));
    EXPECT_TRUE(first == QSimpleGraph::REASON_HIDE_CURSOR || first == QSimpleGraph::REASON_SHOW_CURSOR);
    // The cursor's line and label, not the widget.
    EXPECT_LT(strip.width(), 2 * QFontMetrics(scene.graph.LabelFont).horizontalAdvance(QSimpleGraph::TimeText(500)));
    QTest::mousePress(&scene.graph, Qt::LeftButton, Qt::ShiftModifier, scene.Column(300));
    log.paints.clear();
    scene.graph.tick();
    EXPECT_TRUE(log.paints.empty());
    QTest::mouseRelease(&scene.graph, Qt::LeftButton, Qt::ShiftModifier, scene.Column(300));
}

// The background colour chosen from the document's colour menu, and the
// grid following the document's grid action.
TEST(GraphInteraction, ColourAndGridFollowTheDocument)
{
    const QColor DEFAULT(64, 64, 64);
    // answer invalid: cancelled.
    const struct { const char* sender; QColor answer, background; bool grid; } cases[] = {
        {"ColorGraphBg", Qt::red, Qt::red, true}, {"ColorGraphBg", QColor(), DEFAULT, false},
        {"ColorSelect", Qt::red, DEFAULT, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sender);
        Scene scene(Times(11, 100));
        scene.prompt.colors.enqueue(c.answer);
        QAction choose(nullptr);
        choose.setObjectName(c.sender);
        QObject::connect(&choose, &QAction::triggered, &scene.graph, &QSimpleGraph::SelectColorScheme);
        choose.trigger();
        QAction* grid = scene.owner.actions[GraphOwner::ACT_GRID];
        grid->setChecked(c.grid);
        QObject::connect(grid, &QAction::toggled, &scene.graph, &QSimpleGraph::GridOnOff);
        grid->toggle();
        grid->toggle();
        const LogicalGrab image(scene.graph);
        EXPECT_EQ(image.At(5, scene.graph.height() / 2), c.background);
        EXPECT_EQ(scene.prompt.colorAsked.size(), QLatin1String(c.sender) == "ColorGraphBg" ? 1 : 0);
        const QRect plot = scene.graph.PlotRect;
        const int line = plot.left() + (plot.width() - 1) / scene.graph.XDivisions();
        EXPECT_EQ(image.At(line, plot.center().y()) != c.background, c.grid);
    }
}

TEST(GraphInteraction, KeysMenuAndErrorIcons)
{
    TableRef table(new KxTable(nullptr, "t", PlainPrefs()));
    RawRecord raw;
    for (uint64_t i = 0; i < 50; ++i, raw.time += 10)
        table->AppendRecord(raw.Build());
    table->GetRecord(20)->errorKind = KXERR_FuncStackOverflown;
    Scene scene(*table, true);
    FakeOwner& owner = scene.owner;
    QSimpleGraph& graph = scene.graph;

    // jump null: none.
    const struct { int key; Qt::KeyboardModifiers modifiers; const char* jump; } keys[] = {
        {Qt::Key_Home, Qt::ControlModifier, "home"}, {Qt::Key_End, Qt::ControlModifier, "end"},
        {Qt::Key_End, Qt::NoModifier, nullptr}};
    for (const auto& k : keys) {
        owner.jumps.clear();
        QTest::keyClick(&graph, Qt::Key(k.key), k.modifiers);
        EXPECT_EQ(owner.jumps, k.jump ? QStringList{k.jump} : QStringList());
    }

    const QPoint icon(graph.TimeToPixel(1200) - 2, graph.PlotRect.bottom() - 12);
    ASSERT_EQ(graph.FindIconsAtPoint(icon), 1);
    graph.PrintErrorsToLog();
    const QString line = QStringLiteral("Table: t Row: 21 Seq#: %1 Error: FuncStackOverflown");
    EXPECT_EQ(owner.log, QStringList({"Found 1 errors", line.arg(table->GetRecord(20)->Text(FIELD_SEQ))}));
    EXPECT_EQ(graph.FindIconsAtPoint(icon - QPoint(0, 30)), 0);
    const LogicalGrab with(graph);
    owner.errors = false;
    graph.Redraw();
    const LogicalGrab without(graph);
    auto changed = [&with, &without](const QRect& area) {
        int n = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                n += with.At(x, y) != without.At(x, y) ? 1 : 0;
        return n;
    };
    const QRect drawn(graph.TimeToPixel(1200) - 7, graph.PlotRect.bottom() - 20, 16, 16);
    EXPECT_GT(changed(drawn), 20) << "the icon is drawn";
    EXPECT_EQ(changed(graph.rect()), changed(drawn)) << "and nothing else";
    EXPECT_EQ(graph.FindIconsAtPoint(icon), 0) << "hidden errors have no icons";

    QTest::mouseClick(&graph, Qt::RightButton, Qt::NoModifier, graph.PlotRect.center());
    QMenu* menu = graph.findChild<QMenu*>();
    ASSERT_NE(menu, nullptr);
    QStringList texts;
    for (QAction* a : menu->actions())
        if (!a->isSeparator())
            texts.append(a->text());
    EXPECT_EQ(texts, QStringList({"131", "134", "49", "130", "50", "126", "127", "Add bookmark at cursor",
                                  "Add bookmark here", "52", "54"}));
    EXPECT_FALSE(owner.actions[GraphOwner::ACT_NEXT_STOP]->isEnabled()) << "no bookmarks";
    menu->close();
}

// A record at the window's last time is drawn at the plot's right side: a
// click there moves the cursor to it, a double click prints it, and its error
// icon is found there by the tool tip and the System Log command, over the
// whole range and zoomed.
TEST(GraphInteraction, RecordAtTheWindowsRightEdgeIsFoundThere)
{
    // Records every 10 units from 1000; window: the full range when from
    // is 0; edge: the row at the window's maximum.
    const struct { const char* name; int64_t from, to; uint32_t edge; } cases[] = {
        {"the whole range", 0, 0, 49}, {"zoomed", 1100, 1300, 30}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TableRef table(new KxTable(nullptr, "t", PlainPrefs()));
        RawRecord raw;
        for (uint64_t i = 0; i < 50; ++i, raw.time += 10)
            table->AppendRecord(raw.Build());
        table->GetRecord(c.edge)->errorKind = KXERR_FuncStackOverflown;
        Scene scene(*table, true);
        QSimpleGraph& graph = scene.graph;
        if (c.from != 0) {
            graph.SetRange(c.from, c.to, graph.VisibleY().min, graph.VisibleY().max, true, false);
            graph.SetZoomed(true);
            scene.Paint();
        }
        ASSERT_EQ(graph.VisibleX().max, table->GetRecord(c.edge)->Int64(FIELD_TIME));
        const auto hit = std::find_if(graph.Hits.begin(), graph.Hits.end(),
                                      [&c](const GraphHit& h) { return h.row == c.edge; });
        ASSERT_NE(hit, graph.Hits.end()) << "drawn";
        const QPoint point(std::min(hit->point.x(), graph.PlotRect.right()), hit->point.y());
        QTest::mouseClick(&graph, Qt::LeftButton, Qt::NoModifier, point);
        EXPECT_EQ(graph.CursorRow(), int32_t(c.edge));
        QTest::mouseDClick(&graph, Qt::LeftButton, Qt::NoModifier, point);
        EXPECT_TRUE(scene.owner.log.contains(QStringLiteral("record %1").arg(c.edge)));
        const QPoint icon(graph.PlotRect.right() - 2, graph.PlotRect.bottom() - 12);
        EXPECT_EQ(graph.ToolTipText(icon), "Found 1 icons\n");
        scene.owner.log.clear();
        graph.PrintErrorsToLog();
        EXPECT_EQ(scene.owner.log.size(), 2);
        EXPECT_TRUE(scene.owner.log.value(1).startsWith(QStringLiteral("Table: t Row: %1 ").arg(c.edge + 1)));
    }
}
