// The graph's data: one element (line) per thread of a table, built once
// from the table's rows, and the time-sorted index of every point that
// drawing and hit-testing search by time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include <QColor>

#include "kxviewer/graph/cgraphrange.h"
#include "utils/common/dlist.h"

class CGraphElement;
class GraphPointBuilder;
class KxTable;
struct KxdRecord;

// One point of the index: 32 bytes, one contiguous array.
struct GraphIndexEntry {
    int64_t time;
    uint64_t tid;
    int32_t index; // the point's place in its element's arrays
    uint32_t row;
    KxdRecord* record;
};
static_assert(sizeof(GraphIndexEntry) == 32, "index entries stay 32 bytes");

class GraphModel {
public:
    // The colour of the line of the thread at place i of the thread list.
    using ColourOf = QColor (*)(int32_t i);
    // Asked every few thousand rows with the rows read so far and the total;
    // false cancels the build and leaves an empty graph.
    using Progress = std::function<bool(int32_t done, int32_t total)>;

    GraphModel() = default;
    GraphModel(const GraphModel&) = delete;
    GraphModel& operator=(const GraphModel&) = delete;
    ~GraphModel();

    // Builds the points of the table's visible rows. False when cancelled.
    bool Build(KxTable& table, ColourOf colourOf, const Progress& progress);
    // Builds the elements and the index from points already made; tids are
    // the thread list in order, table (may be null) gives the records.
    void Build(const GraphPointBuilder& points, const std::vector<uint64_t>& tids, KxTable* table, ColourOf colourOf);
    void Clear();

    // The table build in its three steps, for a caller that runs the middle
    // one on another thread. First the visible rows read into points, in
    // row order; false when progress cancelled.
    static bool ReadPoints(KxTable& table, GraphPointBuilder& points, const Progress& progress);
    // Then the elements, their level pyramids and the time-sorted index,
    // without records: no table is read, so another thread may run it while
    // nothing else uses the model. colours[i] is the line of the thread at
    // place i (the default pens past its end). progress is asked between
    // pieces of work, with a total of INDEX_STEPS; false cancels and leaves
    // the model empty.
    static constexpr int32_t INDEX_STEPS = 1000;
    bool Index(const GraphPointBuilder& points, const std::vector<uint64_t>& tids, const std::vector<QColor>& colours,
               const Progress& progress);
    // Last the records of the index entries from .. to - 1, from the table
    // the points were read from.
    void AttachRecords(KxTable& table, size_t from, size_t to);
    // The table's thread list, in its order.
    static std::vector<uint64_t> ThreadList(KxTable& table);
    // The line colours of the thread list's first places (none without
    // colourOf).
    static std::vector<QColor> Colours(ColourOf colourOf, size_t threads);

    // The element of a thread, searched from the list's head; created at the
    // tail when missing and create is set, else null.
    CGraphElement* GetElement(uint64_t tid, bool create);
    CGraphElement* First() const;
    int32_t ElementCount() const { return int32_t(elements_.Count); }

    // Showing threads: every line takes shown; or every line takes the
    // opposite and those of the given threads take shown.
    void ShowAll(bool shown);
    void MarkTids(const std::vector<uint64_t>& tids, bool shown);

    // Moves every point by -offset; false (nothing moved) when a time
    // would leave the 64-bit range.
    bool ShiftTime(int64_t offset);

    const std::vector<GraphIndexEntry>& Index() const { return index_; }
    struct Found {
        size_t position;
        bool found;
    };
    // Position of the first index entry whose time is not below t; (0, not
    // found) for an empty index or a time outside it.
    Found Lookup(int64_t t) const;
    // Position of the first index entry whose time is not below t; the
    // index size when none is.
    size_t FirstFrom(int64_t t) const;

    // The full ranges: time of the first and last point (0..1 without
    // points, so that scales never divide by a span of nothing) and levels
    // 0 .. deepest nesting + 3.
    GraphPair TimeRange() const { return timeRange_; }
    GraphPair LevelRange() const { return {0, maxNest_ + 3}; }
    int64_t YDivisions() const { return maxNest_ + 3; }
    // Threads that found no place in the table's thread list, and their
    // records: they have no line.
    size_t SkippedThreads() const { return skippedThreads_; }
    uint64_t SkippedRecords() const { return skippedRecords_; }
    // Threads whose points could not be allocated: they have no line.
    size_t UnallocatedThreads() const { return unallocatedThreads_; }

    // Memory held by elements, index and pyramids, for the benchmarks.
    size_t Bytes() const;

private:
    ZmLib::DListBase elements_;
    std::vector<GraphIndexEntry> index_;
    GraphPair timeRange_{0, 1};
    int64_t maxNest_ = 0;
    size_t skippedThreads_ = 0;
    uint64_t skippedRecords_ = 0;
    size_t unallocatedThreads_ = 0;
};
