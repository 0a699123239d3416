// Building the graph's points from records, the time index, the ranges and
// which threads aux-tree items stand for.
#include <algorithm>
#include <climits>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../../kxlib/table_fixtures.h"
#include "kxviewer/graph/auxthreadmap.h"
#include "kxviewer/graph/cgraphdrawdata.h"
#include "kxviewer/graph/cgraphelement.h"
#include "kxviewer/graph/graphmodel.h"
#include "kxviewer/graph/graphpointbuilder.h"

namespace {

// thread: place in the thread list.
struct In { int64_t time; int32_t thread; int64_t nest; bool leave; };

// Every line as "tid: time/level/connect ...", lines joined by " | ".
std::string Lines(const GraphModel& model)
{
    std::string out;
    for (const CGraphElement* e = model.First(); e; e = e->NextEntry()) {
        if (!out.empty())
            out += " | ";
        out += std::to_string(e->Tid) + ":";
        for (int32_t j = 0; j < e->Count; ++j)
            out += " " + std::to_string(e->X[j]) + "/" + std::to_string(e->Y[j]) + "/" +
                   std::to_string(e->ConnectFlags[j]);
    }
    return out;
}

struct BuildCase { const char* name; std::vector<In> records; const char* lines; GraphPair time;
                   int64_t levelMax; size_t skippedThreads; uint64_t skippedRecords; };

} // namespace

TEST(GraphPoints, BuildsLinesAndRanges)
{
    const BuildCase cases[] = {
        {"empty: no lines, a time range of 0..1", {}, "", {0, 1}, 3, 0, 0},
        {"a single record rises from level 0", {{5, 0, 0, false}}, "100: 5/0/2 5/1/1 | 101: | 102:", {5, 5}, 3, 0, 0},
        {"a leave drops back at its time; the next record at that nesting adds no step",
         {{10, 0, 0, false}, {11, 0, 1, true}, {12, 0, 0, false}},
         "100: 10/0/2 10/1/1 11/1/2 11/2/1 11/1/2 12/1/1 | 101: | 102:", {10, 12}, 4, 0, 0},
        {"a resumed thread starts alone; the one before is carried to the switch",
         {{1, 0, 0, false}, {2, 1, 0, false}, {3, 0, 0, false}},
         "100: 1/0/2 1/1/1 2/1/2 3/1/0 | 101: 2/0/2 2/1/1 3/1/2 | 102:", {1, 3}, 3, 0, 0},
        {"10000 us apart joined, 10001 not", {{0, 0, 0, false}, {10000, 0, 0, false}, {20001, 0, 0, false}},
         "100: 0/0/2 0/1/1 10000/1/1 20001/1/0 | 101: | 102:", {0, 20001}, 3, 0, 0},
        {"100 us back joined, 101 not", {{1000, 0, 0, false}, {900, 0, 0, false}, {799, 0, 0, false}},
         "100: 1000/0/2 1000/1/1 900/1/1 799/1/0 | 101: | 102:", {799, 1000}, 3, 0, 0},
        {"all times negative keep their own end", {{-500, 0, 0, false}, {-300, 0, 0, false}},
         "100: -500/0/2 -500/1/1 -300/1/1 | 101: | 102:", {-500, -300}, 3, 0, 0},
        {"times at both 64-bit ends are not joined", {{INT64_MIN, 0, 0, false}, {INT64_MAX, 0, 0, false}},
         "100: -9223372036854775808/0/2 -9223372036854775808/1/1 9223372036854775807/1/0 | 101: | 102:",
         {INT64_MIN, INT64_MAX}, 3, 0, 0},
        {"threads without a place in the list are skipped and counted once",
         {{7, 0, 0, false}, {8, 1024, 0, false}, {9, -1, 2, false}, {10, 1024, 9, false}, {11, 0, 0, false}},
         "100: 7/0/2 7/1/1 11/1/1 | 101: | 102:", {7, 11}, 3, 2, 3}};
    for (const BuildCase& c : cases) {
        SCOPED_TRACE(c.name);
        GraphPointBuilder points;
        uint32_t row = 0;
        for (const In& in : c.records) {
            const uint64_t tid = in.thread >= 0 ? 100 + uint64_t(in.thread) : 5000;
            points.Add(in.time, tid, in.thread, in.nest, in.leave, row++);
        }
        GraphModel model;
        model.Build(points, {100, 101, 102}, nullptr, nullptr);
        EXPECT_EQ(Lines(model), c.lines);
        EXPECT_EQ(model.TimeRange().min, c.time.min);
        EXPECT_EQ(model.TimeRange().max, c.time.max);
        EXPECT_EQ(model.LevelRange().min, 0);
        EXPECT_EQ(model.LevelRange().max, c.levelMax);
        EXPECT_EQ(model.SkippedThreads(), c.skippedThreads);
        EXPECT_EQ(model.SkippedRecords(), c.skippedRecords);
        size_t total = 0;
        for (const CGraphElement* e = model.First(); e; e = e->NextEntry())
            total += size_t(e->Count);
        ASSERT_EQ(model.Index().size(), total);
        for (size_t i = 1; i < model.Index().size(); ++i)
            EXPECT_LE(model.Index()[i - 1].time, model.Index()[i].time);
        for (const GraphIndexEntry& entry : model.Index()) {
            const CGraphElement* e = model.GetElement(entry.tid, false);
            ASSERT_NE(e, nullptr);
            EXPECT_EQ(e->X[entry.index], entry.time);
            EXPECT_EQ(e->Rows[entry.index], entry.row);
        }
    }
}

TEST(GraphPoints, LookupFindsTheFirstPointNotBefore)
{
    GraphPointBuilder points;
    points.Add(10, 100, 0, 0, false, 0);
    points.Add(20, 101, 1, 0, false, 1);
    points.Add(20, 100, 0, 0, false, 2);
    GraphModel model;
    model.Build(points, {100, 101}, nullptr, nullptr);
    // Times 10 10 20 20 20 20: two rises, a carry, a resume; no carry at
    // the same time.
    ASSERT_EQ(model.Index().size(), 6u);
    const struct { int64_t t; size_t position; bool found; } cases[] = {{9, 0, false}, {10, 0, true}, {15, 2, false}, {20, 2, true}, {21, 0, false}, {INT64_MIN, 0, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.t);
        const GraphModel::Found found = model.Lookup(c.t);
        EXPECT_EQ(found.position, c.position);
        EXPECT_EQ(found.found, c.found);
    }
    GraphModel empty;
    EXPECT_FALSE(empty.Lookup(0).found);
}

TEST(GraphPoints, TableBuildSkipsThe1025thThreadAndCancelsToAnEmptyGraph)
{
    TableRef table(new KxTable(nullptr, "t", PlainPrefs()));
    RawRecord raw;
    for (raw.tid = 1; raw.tid <= 1025; ++raw.tid) {
        raw.time = 1000 + raw.tid;
        table->AppendRecord(raw.Build());
    }
    ASSERT_EQ(table->RecordCount(), 1025);
    GraphModel model;
    int calls = 0;
    EXPECT_TRUE(model.Build(*table, nullptr, [&calls](int32_t, int32_t) { return ++calls > 0; }));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(model.ElementCount(), 1024);
    EXPECT_EQ(model.SkippedThreads(), 1u);
    EXPECT_EQ(model.SkippedRecords(), 1u);
    EXPECT_EQ(model.GetElement(1025, false), nullptr);
    EXPECT_EQ(model.TimeRange().min, 1001);
    EXPECT_EQ(model.TimeRange().max, 2024);
    ASSERT_FALSE(model.Index().empty());
    EXPECT_EQ(model.Index().front().record, table->GetRecord(0));

    EXPECT_FALSE(model.Build(*table, nullptr, [](int32_t, int32_t) { return false; }));
    EXPECT_EQ(model.ElementCount(), 0);
    EXPECT_TRUE(model.Index().empty());
    EXPECT_EQ(model.TimeRange().min, 0);
    EXPECT_EQ(model.TimeRange().max, 1);
}

// Enough points for several sort slices and merge passes, times out of
// order: the index is made in reports that only move forward and end full,
// and a report answering false at any point leaves an empty model.
TEST(GraphPoints, IndexReportsInOrderAndACancelLeavesNothing)
{
    GraphPointBuilder points;
    uint64_t seed = 1;
    for (uint32_t row = 0; row < 150000; ++row) {
        seed = seed * 6364136223846793005u + 1442695040888963407u;
        const int32_t thread = int32_t(seed >> 62);
        points.Add(int64_t(seed >> 40), 100 + uint64_t(thread), thread, int64_t(row % 3), row % 3 == 2, row);
    }
    const std::vector<uint64_t> tids{100, 101, 102, 103};
    ASSERT_GT(points.TotalPoints(), size_t(3) << 16);

    GraphModel model;
    std::vector<int32_t> done;
    ASSERT_TRUE(model.Index(points, tids, {}, [&done](int32_t now, int32_t total) {
        EXPECT_EQ(total, GraphModel::INDEX_STEPS);
        done.push_back(now);
        return true;
    }));
    EXPECT_TRUE(std::is_sorted(done.begin(), done.end()));
    ASSERT_GT(done.size(), 8u);
    EXPECT_EQ(done.back(), GraphModel::INDEX_STEPS);
    ASSERT_EQ(model.Index().size(), points.TotalPoints());
    std::set<std::pair<uint64_t, int32_t>> seen;
    for (size_t i = 0; i < model.Index().size(); ++i) {
        const GraphIndexEntry& entry = model.Index()[i];
        if (i > 0) {
            ASSERT_LE(model.Index()[i - 1].time, entry.time) << i;
        }
        EXPECT_EQ(model.GetElement(entry.tid, false)->X[entry.index], entry.time);
        EXPECT_EQ(entry.record, nullptr);
        seen.insert({entry.tid, entry.index});
    }
    EXPECT_EQ(seen.size(), points.TotalPoints());

    for (const size_t stop : {size_t(0), done.size() / 2, done.size() - 1}) {
        SCOPED_TRACE(stop);
        size_t calls = 0;
        EXPECT_FALSE(model.Index(points, tids, {}, [&calls, stop](int32_t, int32_t) { return calls++ < stop; }));
        EXPECT_EQ(calls, stop + 1);
        EXPECT_EQ(model.ElementCount(), 0);
        EXPECT_TRUE(model.Index().empty());
        EXPECT_EQ(model.TimeRange().max, 1);
    }
}

// Rows that got no time from their line (a header, an unmatched line) set
// neither end of the time range, in absolute or relative time.
TEST(GraphPoints, RowsWithoutATimeLeaveTheRangeToTheRowsWithOne)
{
    constexpr uint64_t T = 1733572800237000;
    const std::vector<uint64_t> times = {0, T, 0, T + 400, T + 900};
    const struct {
        bool normalised;
        GraphPair range;
        std::set<uint32_t> rows; // the rows with points
    } cases[] = {
        {true, {0, 900}, {1, 3, 4}},
        {false, {int64_t(T), int64_t(T + 900)}, {1, 3, 4}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.normalised);
        TableRef table(TableOfTimes(c.normalised, times));
        GraphModel model;
        ASSERT_TRUE(model.Build(*table, nullptr, nullptr));
        EXPECT_EQ(model.TimeRange().min, c.range.min);
        EXPECT_EQ(model.TimeRange().max, c.range.max);
        std::set<uint32_t> rows;
        for (const GraphIndexEntry& entry : model.Index())
            rows.insert(entry.row);
        EXPECT_EQ(rows, c.rows);
    }
}

TEST(GraphPoints, AuxItemsStandForTheThreadsOfTheirRecords)
{
    TableRef table(new KxTable(nullptr, "t", PlainPrefs()));
    table->AuxTree().Reset(FIELD_TNAME, FIELD_KXNAME);
    const struct { uint64_t tid; const char *tname, *kxname; } records[] = {
        {7, "main", "net"}, {9, "worker", "net"}, {11, "main", "db"}, {7, "main", "db"}, {9, "worker", "io"}};
    for (const auto& r : records) {
        RawRecord raw;
        raw.tid = r.tid;
        raw.tname = r.tname;
        raw.kxname = r.kxname;
        table->AppendRecord(raw.Build());
    }
    const AuxThreadMap map(*table);
    using Items = std::vector<std::pair<int32_t, int32_t>>;
    const struct { Items items; std::vector<uint64_t> tids; } cases[] = {
        {{{0, -1}}, {7, 11}},         // "main"
        {{{0, 0}}, {7}},              // "main" / "net"
        {{{0, 1}}, {7, 11}},          // "main" / "db"
        {{{1, 1}, {0, 0}}, {7, 9}},   // "worker" / "io" and "main" / "net"
        {{{2, -1}}, {}}};             // no such item
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.items));
        EXPECT_EQ(map.Threads(c.items), c.tids);
    }

    GraphPointBuilder points;
    points.Add(1, 7, 0, 0, false, 0);
    points.Add(2, 9, 1, 0, false, 1);
    points.Add(3, 11, 2, 0, false, 2);
    GraphModel model;
    model.Build(points, {7, 9, 11}, nullptr, nullptr);
    // Hiding "main" hides threads 7 and 11, shows 9 again.
    model.MarkTids(map.Threads({{0, -1}}), false);
    EXPECT_FALSE(model.GetElement(7, false)->Shown());
    EXPECT_TRUE(model.GetElement(9, false)->Shown());
    EXPECT_FALSE(model.GetElement(11, false)->Shown());
}

TEST(GraphDrawData, ScalesAndPixelsHoldAtAnyRange)
{
    // pixel -1: outside the window or no scale; mapped -1: no scale.
    const struct { const char* name; int64_t xMin, xMax; int plotWidth; int64_t x; int pixel, mapped; } cases[] = {
        {"the whole 64-bit range, start", INT64_MIN, INT64_MAX, 1000, INT64_MIN, 10, 10},
        {"the whole 64-bit range, middle", INT64_MIN, INT64_MAX, 1000, 0, 510, 510},
        {"negative times", -2000, -1000, 100, -1500, 60, 60},
        {"outside the window", 0, 1000, 100, 1001, -1, 110},
        {"no plot width", 0, 1000, 0, 500, -1, -1},
        {"a span of nothing", 5, 5, 100, 5, -1, -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CGraphRange range;
        range.SetRange(c.xMin, c.xMax, 0, 10, true, true);
        EXPECT_FALSE(range.Zoomed());
        CGraphDrawData data;
        data.Range = &range;
        data.PlotRect = QRect(10, 10, c.plotWidth, 100);
        data.UpdateScale();
        EXPECT_GE(data.XUnitsPerPixel, 0.0);
        EXPECT_EQ(data.TimeToPixel(c.x), c.pixel);
        if (c.mapped < 0)
            EXPECT_EQ(data.MapPoint(c.x, 0), QPoint(-1, -1));
        else
            EXPECT_EQ(data.MapPoint(c.x, 0).x(), c.mapped);
    }
}

TEST(GraphElement, ResizeGrowsOnlyAndAFailureLeavesNoPoints)
{
    CGraphElement element(42);
    const struct { int32_t n; int result; int32_t count, capacity; } steps[] = {{10, 0, 10, 10}, {4, 0, 4, 10}, {12, 0, 12, 12}, {-1, -1, 0, 0}, {3, 0, 3, 3}};
    for (const auto& s : steps) {
        SCOPED_TRACE(s.n);
        EXPECT_EQ(element.Resize(s.n), s.result);
        EXPECT_EQ(element.Count, s.count);
        EXPECT_EQ(element.Capacity, s.capacity);
        EXPECT_EQ(element.X == nullptr, s.capacity == 0);
    }
}
