// The per-column levels of a thread against a direct computation over its
// points, on random data.
#include <algorithm>
#include <climits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "kxviewer/graph/graphlevels.h"

namespace {

// The column of x counted from x0 in columns of (span + 1) / columns, with
// floor below x0 and no clamping, so that neighbours outside the window
// count too.
int64_t RealColumn(int64_t x, int64_t x0, int64_t x1, int32_t columns)
{
    const __int128 num = (__int128(x) - x0) * columns;
    const __int128 den = __int128(x1) - x0 + 1;
    __int128 q = num / den;
    if (num % den != 0 && num < 0)
        --q;
    return int64_t(q);
}

struct LevelCase {
    const char* name;
    int32_t points;
    int64_t lo, hi; // times drawn from here
    bool sorted;
    int64_t x0, x1;
    int32_t columns;
    bool exact; // expected: the points themselves
};

} // namespace

TEST(GraphLevels, ColumnOfCutsAnyWindowWithoutOverflow)
{
    const struct {
        int64_t x, x0, x1;
        int32_t columns;
        int32_t column;
    } cases[] = {
        {INT64_MAX, INT64_MIN, INT64_MAX, 1280, 1279},
        {INT64_MIN, INT64_MIN, INT64_MAX, 1280, 0},
        {0, INT64_MIN, INT64_MAX, 2, 1},
        {-1, INT64_MIN, INT64_MAX, 2, 0},
        {5, 0, 9, 10, 5},
        {9, 0, 9, 10, 9},
        {3, 3, 3, 5, 0},
        {-7, -10, -1, 10, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.x);
        EXPECT_EQ(GraphLevels::ColumnOf(c.x, c.x0, c.x1, c.columns), c.column);
    }
}

TEST(GraphLevels, ColumnsHoldTheirPointsAndNothingBeyondTheirNeighbours)
{
    const LevelCase cases[] = {
        {"dense, full range", 100000, 0, 1000000, true, 0, 1000000, 1280, false},
        {"dense, under a point per column", 100000, 0, 1000000, true, 400000, 400999, 1280, true},
        {"dense, columns narrower than the kept levels", 100000, 0, 1000000, true, 400000, 420000, 1280, false},
        {"unsorted, all negative", 50000, -1000000000, -1000, false, -1000000000, -1000, 700, false},
        {"64-bit extremes", 50000, INT64_MIN, INT64_MAX, false, INT64_MIN, INT64_MAX, 1280, false},
        {"window past the data", 100000, 0, 1000000, true, 500000, 2000000, 1280, false},
        {"window before the data", 1000, 0, 1000000, true, -5000000, -1, 100, true},
        {"one column", 5000, 0, 1000000, false, 0, 1000000, 1, false},
        {"odd width", 30000, 17, 999983, true, 123, 876543, 977, false},
    };
    std::mt19937_64 random(7);
    for (const LevelCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<int64_t> x(size_t(c.points));
        std::vector<int64_t> y(size_t(c.points));
        std::uniform_int_distribution<int64_t> time(c.lo, c.hi);
        std::uniform_int_distribution<int64_t> level(0, 20);
        for (int32_t i = 0; i < c.points; ++i) {
            x[size_t(i)] = time(random);
            y[size_t(i)] = level(random);
        }
        if (c.sorted)
            std::sort(x.begin(), x.end());
        GraphLevels levels;
        levels.Build(x.data(), y.data(), c.points, *std::min_element(x.begin(), x.end()));
        GraphColumns out;
        levels.Columns(x.data(), y.data(), c.x0, c.x1, c.columns, out);
        ASSERT_EQ(out.exact, c.exact);
        if (c.exact) {
            std::vector<int32_t> inside;
            for (int32_t i = 0; i < c.points; ++i)
                if (x[size_t(i)] >= c.x0 && x[size_t(i)] <= c.x1)
                    inside.push_back(i);
            EXPECT_EQ(out.points, inside);
            continue;
        }
        ASSERT_EQ(out.spans.size(), size_t(c.columns));
        std::vector<GraphColumnSpan> own(size_t(c.columns));
        // Levels of the points within one column either side.
        std::vector<GraphColumnSpan> near(size_t(c.columns));
        for (int32_t i = 0; i < c.points; ++i) {
            const int64_t col = RealColumn(x[size_t(i)], c.x0, c.x1, c.columns);
            if (col >= 0 && col < c.columns)
                own[size_t(col)].Add(y[size_t(i)], y[size_t(i)]);
            for (int64_t k = col - 1; k <= col + 1; ++k)
                if (k >= 0 && k < c.columns)
                    near[size_t(k)].Add(y[size_t(i)], y[size_t(i)]);
        }
        int failures = 0;
        for (int32_t k = 0; k < c.columns && failures < 5; ++k) {
            const GraphColumnSpan& got = out.spans[size_t(k)];
            const bool ok = own[size_t(k)].Empty()
                                ? (got.Empty() || (!near[size_t(k)].Empty() && got.min >= near[size_t(k)].min &&
                                                   got.max <= near[size_t(k)].max))
                                : (!got.Empty() && got.min <= own[size_t(k)].min && got.max >= own[size_t(k)].max &&
                                   got.min >= near[size_t(k)].min && got.max <= near[size_t(k)].max);
            if (!ok) {
                ++failures;
                ADD_FAILURE() << "column " << k << ": got " << got.min << ".." << got.max << ", own "
                              << own[size_t(k)].min << ".." << own[size_t(k)].max << ", near " << near[size_t(k)].min
                              << ".." << near[size_t(k)].max;
            }
        }
    }
}
