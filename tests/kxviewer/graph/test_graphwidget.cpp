// The timeline and the overview slider drawn offscreen and read back by
// pixel colour: lines, bands, marks, the handle, and the limits of both
// scales.
#include <climits>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QTest>
#include <gtest/gtest.h>

#include "kxviewer/graph/cgraphelement.h"
#include "kxviewer/graph/graphmodel.h"
#include "kxviewer/graph/graphpointbuilder.h"
#include "kxviewer/graph/graphslider.h"
#include "kxviewer/graph/qsimplegraph.h"
#include "logicalgrab.h"

namespace {

const QColor SCHEME[] = {QColor(0, 255, 0), QColor(255, 0, 0), QColor(0, 160, 255)};
const QColor BACKGROUND(64, 64, 64);
const QColor BAND(0, 0, 200);
const QColor HANDLE(244, 177, 41);
const QColor DOCUMENT_BOOKMARK(0, 128, 0), DOCUMENT_SELECTION(200, 100, 0);

QColor SchemeColour(int32_t i) { return SCHEME[i % 3]; }

struct Rec { int64_t time; int32_t thread; int64_t nest; bool leave; };

// A model, the graph showing it at 800 x 500 and its slider under it.
struct Scene {
    explicit Scene(const std::vector<Rec>& records, int width = 800)
    {
        Rebuild(records);
        graph.resize(width, 500);
        const GraphPair full = model.TimeRange();
        slider = new GraphSlider(full.min, full.max, &graph, &graph);
        slider->resize(width, GraphSlider::HEIGHT);
        graph.SetSlider(slider);
    }
    void Rebuild(const std::vector<Rec>& records)
    {
        GraphPointBuilder points;
        uint32_t row = 0;
        for (const Rec& r : records)
            points.Add(r.time, 100 + uint64_t(r.thread), r.thread, r.nest, r.leave, row++);
        model.Build(points, {100, 101, 102}, nullptr, SchemeColour);
        graph.SetModel(&model);
    }
    LogicalGrab Grab() { return LogicalGrab(graph); }
    LogicalGrab GrabSlider() { return LogicalGrab(*slider); }
    QPoint At(int64_t time, int64_t level) const { return graph.MapPoint(time, level); }

    GraphModel model;
    QSimpleGraph graph;
    GraphSlider* slider;
};

// Thread 0 at level 1 from 1000 to 2000 then 3 deep from 2000 back to 1920
// (a back step); thread 1 at level 2 from 1200 to 2400.
const std::vector<Rec> TWO_THREADS = {
    {1000, 0, 0, false}, {2000, 0, 0, false}, {2000, 0, 2, false}, {1920, 0, 0, false},
    {1200, 1, 1, false}, {2400, 1, 1, false}};

} // namespace

TEST(GraphWidget, PixelsOfThePlotAndTheSlider)
{
    using Setup = std::function<void(Scene&)>;
    using Area = std::function<QRect(Scene&)>;
    const Setup none = [](Scene&) {};
    const Setup band = [](Scene& s) { s.graph.SetBands({{1250, 1350, BAND.rgb()}}); };
    const auto pixel = [](int64_t t, int64_t level) -> Area {
        return [t, level](Scene& s) { return QRect(s.At(t, level), QSize(1, 1)); };
    };
    const auto fixed = [](QRect r) -> Area { return [r](Scene&) { return r; }; };
    // area: where to look and what colour (or its absence) to expect there.
    const struct {
        const char* name; Setup setup; bool slider; Area area; QColor colour; bool present;
    } cases[] = {
        {"background", none, false, fixed(QRect(10, 250, 1, 1)), BACKGROUND, true},
        {"thread 0 in scheme colour 0", none, false, pixel(1300, 1), SCHEME[0], true},
        {"thread 1 in scheme colour 1", none, false, pixel(1800, 2), SCHEME[1], true},
        {"band behind lines: the line shows", band, false, pixel(1300, 1), SCHEME[0], true},
        {"band behind lines: the band fills the rest", band, false,
         [](Scene& s) { return QRect(s.At(1300, 1).x(), s.At(1200, 0).y() - 3, 1, 1); }, BAND, true},
        {"a window between two points shows the crossing line",
         [](Scene& s) { s.graph.SetRange(1101, 1199, 0, 6, true, false); }, false,
         [](Scene& s) { return QRect(s.graph.PlotRect.center().x(), s.At(1150, 1).y(), 1, 1); }, SCHEME[0], true},
        {"zero span draws no lines", [](Scene& s) { s.graph.SetRange(1500, 1500, 0, 6, true, false); }, false,
         [](Scene& s) { return s.graph.PlotRect; }, SCHEME[0], false},
        {"no plot width draws no lines", [](Scene& s) { s.graph.resize(40, 500); }, false,
         fixed(QRect(0, 0, 40, 500)), SCHEME[0], false},
        {"bookmark lines over the grid", [](Scene& s) { s.graph.SetBookmarks({{1700, 3}, {1702, 4}, {1700, 3}}); },
         false, [](Scene& s) { return QRect(s.At(1700, 4).x(), s.At(1700, 4).y() - 20, 1, 40); }, Qt::magenta, true},
        {"bookmark lines in the document's colour",
         [](Scene& s) { s.graph.SetColours(Qt::blue, DOCUMENT_BOOKMARK); s.graph.SetBookmarks({{1700, 3}}); }, false,
         [](Scene& s) { return QRect(s.At(1700, 4).x(), s.At(1700, 4).y() - 20, 1, 40); }, DOCUMENT_BOOKMARK, true},
        {"a mark-in line in the document's selection colour",
         [](Scene& s) { s.graph.SetColours(DOCUMENT_SELECTION, Qt::magenta); s.graph.SetMarkIn(1700, 3); }, false,
         [](Scene& s) { return QRect(s.At(1700, 4).x(), (s.At(1700, 4).y() + s.At(1700, 5).y()) / 2, 1, 1); },
         DOCUMENT_SELECTION, true},
        {"a line below level 0 is drawn at 0",
         [](Scene& s) { s.Rebuild({{1000, 0, -3, false}, {1500, 0, -2, false}, {2400, 0, -1, false}}); }, false,
         [](Scene& s) { return QRect(s.At(1200, 0), QSize(1, 1)); }, SCHEME[0], true},
        {"handle", none, true, [](Scene& s) { return QRect(s.slider->Groove().x() + 20, 5, 1, 1); }, HANDLE, true},
        {"magenta bookmark ticks", [](Scene& s) { s.graph.SetBookmarks({{1700, 3}}); }, true,
         [](Scene& s) { return QRect(s.slider->Groove().x() + s.slider->Groove().width() / 2 - 3, 5, 4, 5); },
         Qt::magenta, true},
        {"bookmark ticks in the document's colour",
         [](Scene& s) { s.graph.SetColours(Qt::blue, DOCUMENT_BOOKMARK); s.graph.SetBookmarks({{1700, 3}}); }, true,
         [](Scene& s) { return QRect(s.slider->Groove().x() + s.slider->Groove().width() / 2 - 3, 5, 4, 5); },
         DOCUMENT_BOOKMARK, true},
        {"a groove of no width draws the background only", [](Scene& s) { s.slider->resize(8, GraphSlider::HEIGHT); },
         true, fixed(QRect(0, 0, 8, GraphSlider::HEIGHT)), HANDLE, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Scene scene(TWO_THREADS);
        c.setup(scene);
        const LogicalGrab plot = scene.Grab();
        const LogicalGrab image = c.slider ? scene.GrabSlider() : plot;
        const QRect area = c.area(scene);
        const int found = image.Count(area, c.colour);
        if (c.present)
            EXPECT_EQ(found, area.width() * area.height()) << image.At(area.topLeft()).name().toStdString();
        else
            EXPECT_EQ(found, 0);
    }
}

// The mark-in line on a grid column, at two plot widths (the grid's
// columns move with the plot's width, which the labels' font sets), alone
// and, as right after Mark In, under the cursor.
TEST(GraphWidget, MarkInLineShowsOverTheGridAndTheCursor)
{
    const QColor GRID(QColor(128, 128, 128).darker(150).rgb());
    for (const int width : {800, 640}) {
        for (const bool cursor : {false, true}) {
            SCOPED_TRACE(std::to_string(width) + (cursor ? " under the cursor" : ""));
            Scene scene(TWO_THREADS, width);
            scene.Grab();
            const QRect plot = scene.graph.PlotRect;
            const int divisions = scene.graph.XDivisions();
            const int column = plot.left() + (plot.width() - 1) * (divisions / 2) / divisions;
            const GraphPair window = scene.graph.VisibleX();
            int64_t t = window.min;
            while (t < window.max && scene.graph.TimeToPixel(t) != column)
                ++t;
            ASSERT_EQ(scene.graph.TimeToPixel(t), column);
            const int y = (scene.At(t, 4).y() + scene.At(t, 5).y()) / 2;
            ASSERT_EQ(scene.Grab().At(column, y), GRID) << "a grid column";
            scene.graph.SetColours(DOCUMENT_SELECTION, Qt::magenta);
            if (cursor)
                scene.graph.SetCursor(3, t);
            scene.graph.SetMarkIn(t, 3);
            EXPECT_EQ(scene.Grab().At(column, y), DOCUMENT_SELECTION);
        }
    }
}

// The widget paints opaquely: every pixel is its own, whatever the buffer
// it paints into held before (the corners outside its rounded background
// too).
TEST(GraphWidget, EveryPixelIsPainted)
{
    const struct { const char* name; std::function<void(Scene&)> setup; } cases[] = {
        {"lines, bands and marks", [](Scene& s) { s.graph.SetBands({{1250, 1350, BAND.rgb()}}); s.graph.SetMarkIn(1500, 2); }},
        {"a window of one instant", [](Scene& s) { s.graph.SetRange(1500, 1500, 0, 6, true, false); }},
        {"no plot width", [](Scene& s) { s.graph.resize(40, 500); }}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Scene scene(TWO_THREADS);
        c.setup(scene);
        std::vector<QImage> images;
        for (const QColor& before : {QColor(Qt::red), QColor(Qt::blue)}) {
            QImage image(scene.graph.size(), QImage::Format_ARGB32_Premultiplied);
            image.fill(before);
            scene.graph.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
            images.push_back(image);
        }
        int differing = 0;
        for (int y = 0; y < images[0].height(); ++y)
            for (int x = 0; x < images[0].width(); ++x)
                differing += images[0].pixel(x, y) != images[1].pixel(x, y) ? 1 : 0;
        EXPECT_EQ(differing, 0);
    }
}

TEST(GraphWidget, BackStepsAreDashed)
{
    Scene scene(TWO_THREADS);
    const LogicalGrab image = scene.Grab();
    const struct { const char* name; int64_t from, to, level; bool dashed; } cases[] = {
        {"forward at level 1", 1250, 1900, 1, false}, {"back from 2000 to 1920 at level 3", 1920, 2000, 3, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Away from the circles at both ends.
        const QRect row(scene.At(c.from, c.level).x() + 5, scene.At(c.from, c.level).y(),
                        scene.At(c.to, c.level).x() - scene.At(c.from, c.level).x() - 10, 1);
        const int lit = image.Count(row, SCHEME[0]);
        EXPECT_GT(lit, 0);
        if (c.dashed)
            EXPECT_LT(lit, row.width() * 9 / 10);
        else
            EXPECT_EQ(lit, row.width());
    }
}

// Columns with many points each are drawn from the level pyramid as one
// span per column; where the pyramid's buckets fall inside the columns (a
// window from the first time, 2^k units per column) each span must cover
// exactly the levels of the points in it, as the exact line (vertical steps
// at one time, horizontal joins) does.
TEST(GraphWidget, AggregatedColumnsEqualTheExactLine)
{
    std::mt19937 random(7);
    std::vector<Rec> records;
    int64_t time = 0;
    int64_t nest = 0;
    for (int i = 0; i < 20000; ++i) {
        time += 1 + int64_t(random() % 40);
        const bool leave = nest > 0 && random() % 2 == 0;
        records.push_back({time, 0, nest, leave});
        if (leave)
            --nest;
        else if (nest < 6 && random() % 2 == 0)
            ++nest;
    }
    Scene scene(records);
    const int64_t first = scene.model.TimeRange().min;
    for (int i = 0; i < 3; ++i) {
        scene.Grab();
        scene.graph.SetRange(first, first + int64_t(scene.graph.PlotRect.width()) * 512 - 1, 0, 9, true, false);
    }
    const LogicalGrab image = scene.Grab();
    const QRect plot = scene.graph.PlotRect;
    ASSERT_EQ(scene.graph.VisibleX().Span() + 1, uint64_t(plot.width()) * 512);
    const GraphPair window = scene.graph.VisibleX();
    const CGraphElement* e = scene.model.First();
    ASSERT_NE(e, nullptr);
    ASSERT_GT(e->Count, plot.width());
    std::vector<int64_t> lo(size_t(plot.width()), INT64_MAX), hi(size_t(plot.width()), INT64_MIN);
    for (int32_t i = 0; i < e->Count; ++i) {
        if (e->X[i] > window.max)
            continue;
        const __int128 column = (__int128(e->X[i]) - window.min) * plot.width() / (__int128(window.Span()) + 1);
        lo[size_t(column)] = std::min(lo[size_t(column)], e->Y[i]);
        hi[size_t(column)] = std::max(hi[size_t(column)], e->Y[i]);
    }
    int compared = 0;
    for (int c = 0; c < plot.width(); ++c) {
        if (lo[size_t(c)] > hi[size_t(c)])
            continue;
        int top = -1;
        int bottom = -1;
        for (int y = plot.top(); y <= plot.bottom(); ++y) {
            if (image.At(plot.left() + c, y) != SCHEME[0])
                continue;
            top = top < 0 ? y : top;
            bottom = y;
        }
        SCOPED_TRACE(c);
        EXPECT_EQ(top, scene.At(window.min, hi[size_t(c)]).y());
        EXPECT_EQ(bottom, scene.At(window.min, lo[size_t(c)]).y());
        ++compared;
    }
    EXPECT_GT(compared, plot.width() / 2);
}

// One lowering from the sum of the label widths can leave labels that still
// do not fit (the count of labels is one more than the divisions): widths
// are swept so that such plots occur.
TEST(GraphWidget, XDivisionsFallInTheSamePaintUntilLabelsFit)
{
    // lowered: at 800 pixels.
    const struct { int64_t from, to; bool lowered; } cases[] = {
        {0, 1000, false}, {1000000000000000, 1000000001000000, true}, {INT64_MIN + 1, INT64_MAX - 1, true}};
    for (const auto& c : cases) {
        for (int width = 120; width <= 800; width += 4) {
            SCOPED_TRACE(width);
            Scene scene({{c.from, 0, 0, false}, {c.to, 0, 0, false}}, width);
            scene.Grab();
            const int divisions = scene.graph.XDivisions();
            if (width == 800) {
                EXPECT_EQ(divisions < 8, c.lowered);
            }
            ASSERT_GE(divisions, 2);
            const QFontMetrics metrics(scene.graph.LabelFont);
            const uint64_t step = (uint64_t(c.to) - uint64_t(c.from)) / uint64_t(divisions);
            int sum = 0;
            for (int i = 0; i <= divisions; ++i)
                sum += metrics.size(0, QString::number(qlonglong(uint64_t(c.from) + uint64_t(i) * step))).width();
            ASSERT_TRUE(sum <= scene.graph.PlotRect.width() || divisions == 2) << sum;
        }
    }
}

// Y labels stand a label height apart at least: deep nesting or a short
// plot labels fewer divisions; a plot with room labels every level. Heights
// are swept so that the plot holds from one to many labels.
TEST(GraphWidget, YDivisionsFallUntilLabelsFit)
{
    std::vector<Rec> deep;
    for (int64_t nest = 0; nest <= 200; ++nest)
        deep.push_back({1000 + nest * 10, 0, nest, false});
    // every: all levels labelled at the tallest height.
    const struct { const char* name; std::vector<Rec> records; bool every; } cases[] = {
        {"few levels", TWO_THREADS, true}, {"deep nesting", deep, false}};
    for (const auto& c : cases) {
        for (int height = 2000; height >= 60; height -= height > 500 ? 1500 : 10) {
            SCOPED_TRACE(std::string(c.name) + " " + std::to_string(height));
            Scene scene(c.records);
            scene.graph.resize(800, height);
            scene.Grab();
            const int64_t divisions = scene.graph.YDivisions();
            ASSERT_GE(divisions, 1);
            ASSERT_LE(divisions, scene.model.YDivisions());
            if (height == 2000) {
                EXPECT_EQ(divisions == scene.model.YDivisions(), c.every);
            }
            if (divisions == 1)
                continue;
            const GraphPair y = scene.graph.VisibleY();
            const uint64_t step = y.Span() / uint64_t(divisions);
            const int labelHeight = QFontMetrics(scene.graph.LabelFont).height();
            for (int64_t i = 0; i < divisions; ++i) {
                const int64_t level = int64_t(uint64_t(y.min) + uint64_t(i) * step);
                ASSERT_GE(scene.At(1000, level).y() - scene.At(1000, level + int64_t(step)).y(), labelHeight) << i;
            }
        }
    }
}

TEST(GraphWidget, MaximumResolutionOf800PixelsAnd8DivisionsIs25Units)
{
    // Wide at the first paint: the divisions never grow back once a plot
    // too narrow for large labels lowered them.
    Scene scene(TWO_THREADS, 2000);
    scene.Grab();
    scene.graph.resize(800 + scene.graph.width() - scene.graph.PlotRect.width(), 500);
    scene.Grab();
    ASSERT_EQ(scene.graph.PlotRect.width(), 800);
    ASSERT_EQ(scene.graph.XDivisions(), 8);
    EXPECT_EQ(scene.graph.MinimumXSpan(), 25);
}

TEST(GraphWidget, BookmarksCountTheirNeighboursWithinTenPixels)
{
    const struct { std::vector<int> columns, counts; } cases[] = {
        {{100, 104, 109}, {3, 3, 3}}, {{100, 110}, {1, 1}}, {{118, 100, 109}, {2, 2, 3}}, {{}, {}},
        {{50, 50, 500}, {2, 2, 1}}};
    for (const auto& c : cases)
        EXPECT_EQ(QSimpleGraph::NeighbourCounts(c.columns), c.counts);
}

// A bookmark's label box is as wide as the text it shows: at either side
// of the plot, with or without its count of neighbours, the label stays
// over the plot's columns and nothing of it is cut at the widget's side.
TEST(GraphWidget, BookmarkLabelsStayOverThePlot)
{
    // columns: from the plot's side, each bookmark's pixel column.
    const struct { const char* name; bool right; std::vector<int> columns; } cases[] = {
        {"alone at the right side", true, {0}}, {"with a neighbour at the right side", true, {3, 0}},
        {"alone at the left side", false, {0}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Scene scene(TWO_THREADS);
        // The slider child lies over the widget's top left: only the plot's
        // own pixels are compared.
        scene.slider->hide();
        const LogicalGrab without = scene.Grab();
        const QRect plot = scene.graph.PlotRect;
        std::vector<GraphBookmark> bookmarks;
        for (const int from : c.columns) {
            const int column = c.right ? plot.right() - from : plot.left() + from;
            int64_t t = scene.graph.VisibleX().min;
            while (t < scene.graph.VisibleX().max && scene.graph.TimeToPixel(t) != column)
                ++t;
            ASSERT_EQ(scene.graph.TimeToPixel(t), column);
            bookmarks.push_back({t, uint32_t(bookmarks.size())});
        }
        scene.graph.SetBookmarks(bookmarks);
        const LogicalGrab with = scene.Grab();
        // Above the plot: the labels' rows.
        auto changed = [&](int from, int to) {
            int n = 0;
            for (int y = 0; y < plot.top(); ++y)
                for (int x = from; x <= to; ++x)
                    n += with.At(x, y) != without.At(x, y) ? 1 : 0;
            return n;
        };
        EXPECT_GT(changed(plot.left(), plot.right()), 0) << "a label";
        EXPECT_EQ(changed(0, plot.left() - 1), 0);
        EXPECT_EQ(changed(plot.right() + 1, with.Rect().right()), 0);
    }
}

TEST(GraphSlider, HandlePlacesAndDragsPan)
{
    constexpr int64_t HOURS3 = 3LL * 3600 * 1000000;
    // start, end: the log; windowMin, span: the visible window; dragTo:
    // groove pixels from the handle centre, 0 no drag; minAfterDrag -1: not checked.
    const struct {
        const char* name; int64_t start, end, windowMin, span; int dragTo, handleStart, handleWidth;
        int64_t minAfterDrag;
    } cases[] = {
        {"100 us of a 3 h log still shows 10 px", 0, HOURS3, HOURS3 / 2, 100, 0, 390, 10, -1},
        {"a log shorter than the groove in pixels", 0, 100, 0, 100, 0, 0, 785, -1},
        {"full range", 0, HOURS3, 0, HOURS3, 0, 0, 785, -1},
        {"window at the right end stops at groove - 5", 0, HOURS3, HOURS3 - 100, 100, 0, 775, 10, -1},
        {"beyond 2^31 us with negative times", -HOURS3, HOURS3, 0, HOURS3 / 2, 0, 395, 192, -1},
        {"drag to the left end shows the start", 0, HOURS3, HOURS3 / 2, HOURS3 / 10, -1000, 0, 74, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Scene scene({{c.start, 0, 0, false}, {c.end, 0, 0, false}});
        scene.graph.SetRange(c.windowMin, c.windowMin + c.span, 0, 4, true, false);
        scene.GrabSlider();
        if (c.dragTo != 0) {
            const QPoint centre(scene.slider->Groove().x() + scene.slider->HandleStart() + scene.slider->HandleWidth() / 2,
                                7);
            QTest::mousePress(scene.slider, Qt::LeftButton, Qt::NoModifier, centre);
            for (int step : {c.dragTo / 2, c.dragTo}) {
                QMouseEvent move(QEvent::MouseMove, centre + QPoint(step, 0), Qt::NoButton, Qt::LeftButton,
                                 Qt::NoModifier);
                QApplication::sendEvent(scene.slider, &move);
            }
            QTest::mouseRelease(scene.slider, Qt::LeftButton, Qt::NoModifier, centre + QPoint(c.dragTo, 0));
            EXPECT_EQ(scene.graph.VisibleX().min, c.minAfterDrag);
            EXPECT_EQ(scene.graph.VisibleX().Span(), uint64_t(c.span));
            scene.GrabSlider();
        }
        EXPECT_EQ(scene.slider->HandleStart(), c.handleStart);
        EXPECT_EQ(scene.slider->HandleWidth(), c.handleWidth);
    }
}

// Panning keeps the window's span and stays inside the full range, at any
// 64-bit times and deltas.
TEST(GraphWidget, ScrollKeepsTheWindowInsideTheFullRange)
{
    const struct { const char* name; int64_t fullMin, fullMax, windowMin, windowMax, delta, expectedMin; } cases[] = {
        {"right", 0, 1000, 100, 200, 50, 150},
        {"left past the start", 0, 1000, 100, 200, -500, 0},
        {"largest delta", INT64_MIN, INT64_MAX, -10, 10, INT64_MAX, INT64_MAX - 20},
        {"smallest delta", INT64_MIN, INT64_MAX, -10, 10, INT64_MIN, INT64_MIN},
        {"window as wide as the range", 5, 50, 5, 50, 7, 5}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QSimpleGraph graph;
        graph.SetRange(c.fullMin, c.fullMax, 0, 4, false, true);
        graph.SetRange(c.windowMin, c.windowMax, 0, 4, false, false);
        graph.ScrollBy(c.delta);
        EXPECT_EQ(graph.VisibleX().min, c.expectedMin);
        EXPECT_EQ(graph.VisibleX().Span(), uint64_t(c.windowMax) - uint64_t(c.windowMin));
    }
}
