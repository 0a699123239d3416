#include "kxviewer/graph/graphlevels.h"

#include <algorithm>
#include <numeric>

namespace {

using Wide = unsigned __int128;

// A fine level is kept only when it holds at most a quarter as many buckets
// as there are points, so the pyramid costs well under the points.
constexpr size_t POINTS_PER_BUCKET = 4;

int32_t Level32(int64_t y)
{
    return int32_t(std::clamp<int64_t>(y, INT32_MIN, INT32_MAX));
}

uint64_t Offset(int64_t t, int64_t origin) { return uint64_t(t) - uint64_t(origin); }

} // namespace

void GraphLevels::Clear()
{
    count_ = 0;
    order_.clear();
    levels_.clear();
    base_ = 64;
}

void GraphLevels::Build(const int64_t* x, const int64_t* y, int32_t count, int64_t origin)
{
    Clear();
    count_ = count;
    origin_ = origin;
    if (count <= 0)
        return;
    if (!std::is_sorted(x, x + count)) {
        order_.resize(size_t(count));
        std::iota(order_.begin(), order_.end(), 0u);
        std::stable_sort(order_.begin(), order_.end(), [x](uint32_t a, uint32_t b) { return x[a] < x[b]; });
    }
    std::vector<Bucket> level;
    for (int32_t i = 0; i < count; ++i) {
        const int32_t p = Sorted(i);
        const uint64_t index = Offset(x[p], origin);
        const int32_t v = Level32(y[p]);
        if (!level.empty() && level.back().index == index) {
            level.back().min = std::min(level.back().min, v);
            level.back().max = std::max(level.back().max, v);
        } else {
            level.push_back({index, v, v});
        }
    }
    for (int k = 0; k < 64; ++k) {
        if (k > 0) {
            // Halve the previous level: neighbours whose indices share all
            // but the lowest bit merge.
            size_t out = 0;
            for (size_t i = 0; i < level.size(); ++i) {
                Bucket b = level[i];
                b.index >>= 1;
                if (out > 0 && level[out - 1].index == b.index) {
                    level[out - 1].min = std::min(level[out - 1].min, b.min);
                    level[out - 1].max = std::max(level[out - 1].max, b.max);
                } else {
                    level[out++] = b;
                }
            }
            level.resize(out);
        }
        if (levels_.empty() && level.size() * POINTS_PER_BUCKET > size_t(count) && level.size() > 1)
            continue;
        if (levels_.empty())
            base_ = k;
        levels_.emplace_back(level);
        levels_.back().shrink_to_fit();
        if (level.size() == 1)
            break;
    }
}

int32_t GraphLevels::ColumnOf(int64_t x, int64_t x0, int64_t x1, int32_t columns)
{
    if (columns <= 1 || x <= x0)
        return 0;
    if (x >= x1)
        return columns - 1;
    const uint64_t offset = Offset(x, x0);
    const uint64_t width = Offset(x1, x0);
    // 64-bit arithmetic when nothing overflows: a paint asks this for every
    // bucket of every shown thread.
    uint64_t scaled;
    if (width < UINT64_MAX && !__builtin_mul_overflow(offset, uint64_t(columns), &scaled))
        return int32_t(scaled / (width + 1));
    return int32_t(Wide(offset) * unsigned(columns) / (Wide(width) + 1));
}

int32_t GraphLevels::LowerBound(const int64_t* x, int64_t t) const
{
    int32_t lo = 0;
    int32_t hi = count_;
    while (lo < hi) {
        const int32_t mid = lo + (hi - lo) / 2;
        if (x[Sorted(mid)] < t)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

void GraphLevels::Columns(const int64_t* x, const int64_t* y, int64_t x0, int64_t x1, int32_t columns,
                          GraphColumns& out) const
{
    out.exact = false;
    out.points.clear();
    out.spans.clear();
    if (columns <= 0 || x1 < x0 || count_ == 0)
        return;
    const int32_t from = LowerBound(x, x0);
    const int32_t to = x1 == INT64_MAX ? count_ : LowerBound(x, x1 + 1);
    if (to - from < columns) {
        out.exact = true;
        for (int32_t i = from; i < to; ++i)
            out.points.push_back(Sorted(i));
        std::sort(out.points.begin(), out.points.end());
        return;
    }
    out.spans.assign(size_t(columns), GraphColumnSpan());
    // The widest level whose buckets are no wider than a column.
    const uint64_t perColumn = Offset(x1, x0) / uint64_t(columns);
    const int level = perColumn == 0 ? -1 : 63 - __builtin_clzll(perColumn);
    if (level < base_)
        ColumnsFromPoints(x, y, from, to, x0, x1, out);
    else
        ColumnsFromBuckets(std::min(level - base_, int(levels_.size()) - 1), x0, x1, out);
}

int32_t GraphLevels::PointBefore(const int64_t* x, int64_t t) const
{
    const int32_t at = LowerBound(x, t);
    return at == 0 ? -1 : Sorted(at - 1);
}

int32_t GraphLevels::PointFrom(const int64_t* x, int64_t t) const
{
    const int32_t at = LowerBound(x, t);
    return at == count_ ? -1 : Sorted(at);
}

void GraphLevels::ColumnsFromPoints(const int64_t* x, const int64_t* y, int32_t from, int32_t to, int64_t x0,
                                    int64_t x1, GraphColumns& out) const
{
    const int32_t columns = int32_t(out.spans.size());
    for (int32_t i = from; i < to; ++i) {
        const int32_t p = Sorted(i);
        out.spans[size_t(ColumnOf(x[p], x0, x1, columns))].Add(y[p], y[p]);
    }
}

void GraphLevels::ColumnsFromBuckets(int k, int64_t x0, int64_t x1, GraphColumns& out) const
{
    const std::vector<Bucket>& level = levels_[size_t(k)];
    const int shift = base_ + k;
    const int32_t columns = int32_t(out.spans.size());
    // Bucket ends in offsets from the origin; a window starting before the
    // origin starts at the first bucket.
    const uint64_t first = x0 <= origin_ ? 0 : Offset(x0, origin_) >> shift;
    auto it = std::lower_bound(level.begin(), level.end(), first,
                               [](const Bucket& b, uint64_t index) { return b.index < index; });
    const uint64_t last = Offset(x1, origin_) >> shift;
    const uint64_t width = (uint64_t(1) << shift) - 1;
    for (; it != level.end() && it->index <= last; ++it) {
        const uint64_t start = it->index << shift;
        // A bucket touches at most two columns: its levels go to both.
        const int64_t startTime = int64_t(uint64_t(origin_) + start);
        const int64_t endTime = start + width > Offset(x1, origin_) ? x1 : int64_t(uint64_t(origin_) + start + width);
        out.spans[size_t(ColumnOf(startTime, x0, x1, columns))].Add(it->min, it->max);
        out.spans[size_t(ColumnOf(endTime, x0, x1, columns))].Add(it->min, it->max);
    }
}

size_t GraphLevels::Bytes() const
{
    size_t bytes = order_.capacity() * sizeof(uint32_t) + levels_.capacity() * sizeof(levels_[0]);
    for (const std::vector<Bucket>& level : levels_)
        bytes += level.capacity() * sizeof(Bucket);
    return bytes;
}
