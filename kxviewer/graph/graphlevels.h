// Min/max levels of one thread's points over time buckets of power-of-two
// widths, built once with the points, so that a view of any width costs
// about one bucket per pixel column whatever the number of points. Fine
// levels that would hold about as many buckets as points are not kept: a
// window that narrow reads the points themselves, in time order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// One column's levels; min > max: nothing in the column.
struct GraphColumnSpan {
    int64_t min = 1;
    int64_t max = 0;
    bool Empty() const { return min > max; }
    void Add(int64_t lo, int64_t hi)
    {
        if (Empty()) {
            min = lo;
            max = hi;
            return;
        }
        min = lo < min ? lo : min;
        max = hi > max ? hi : max;
    }
};

// A thread's points in a time window: with fewer points than columns the
// points themselves (positions in the thread's arrays, ascending), else one
// span per column.
struct GraphColumns {
    bool exact = false;
    std::vector<int32_t> points;
    std::vector<GraphColumnSpan> spans;
};

class GraphLevels {
public:
    // origin: the smallest time of the whole graph, where every level's
    // buckets start.
    void Build(const int64_t* x, const int64_t* y, int32_t count, int64_t origin);
    void Clear();

    // The column, 0 .. columns - 1, of a time inside [x0, x1]; the window is
    // cut into equal parts without overflow at any 64-bit values.
    static int32_t ColumnOf(int64_t x, int64_t x0, int64_t x1, int32_t columns);
    // The thread's points in [x0, x1] over the given number of columns.
    void Columns(const int64_t* x, const int64_t* y, int64_t x0, int64_t x1, int32_t columns, GraphColumns& out) const;
    // The place in the thread's arrays of its latest point before t, -1
    // when none: a window between two points still shows the line crossing it.
    int32_t PointBefore(const int64_t* x, int64_t t) const;
    // The place in the thread's arrays of its earliest point at or after t,
    // -1 when none.
    int32_t PointFrom(const int64_t* x, int64_t t) const;
    // Every point moved by -offset: the buckets keep their places.
    void Shift(int64_t offset) { origin_ = int64_t(uint64_t(origin_) - uint64_t(offset)); }

    // Memory held, for the benchmarks.
    size_t Bytes() const;

private:
    struct Bucket {
        uint64_t index; // offset from the origin >> the level
        int32_t min;
        int32_t max;
    };
    // The i-th point in time order.
    int32_t Sorted(int32_t i) const { return order_.empty() ? i : order_[size_t(i)]; }
    // First position in time order whose time is not below t.
    int32_t LowerBound(const int64_t* x, int64_t t) const;
    void ColumnsFromPoints(const int64_t* x, const int64_t* y, int32_t from, int32_t to, int64_t x0, int64_t x1,
                           GraphColumns& out) const;
    void ColumnsFromBuckets(int level, int64_t x0, int64_t x1, GraphColumns& out) const;

    int32_t count_ = 0;
    int64_t origin_ = 0;
    // Time order of the points; empty when the points already are.
    std::vector<uint32_t> order_;
    // levels_[k] holds the buckets of width 2^(base_ + k); the last level is
    // one bucket.
    int base_ = 64;
    std::vector<std::vector<Bucket>> levels_;
};
