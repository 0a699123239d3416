#include "kxviewer/graph/graphmodel.h"

#include <algorithm>
#include <unordered_set>

#include "kxlib/table/kxtable.h"
#include "kxviewer/graph/cgraphelement.h"
#include "kxviewer/graph/graphpointbuilder.h"

namespace {

constexpr int32_t PROGRESS_ROWS = 4096;
// The index is sorted in slices of this many entries, then merged, so that
// a long sort still reports between pieces.
constexpr size_t SORT_SLICE = size_t(1) << 16;

bool EarlierTime(const GraphIndexEntry& a, const GraphIndexEntry& b) { return a.time < b.time; }

// Merge passes after the slices are sorted: the slice width doubles each time.
int MergePasses(size_t entries)
{
    int passes = 0;
    for (size_t width = SORT_SLICE; width < entries; width *= 2)
        ++passes;
    return passes;
}

// Sorts the index by time; advance(entries) follows each piece and false
// from it stops the sort unfinished.
template <typename Advance>
bool SortByTime(std::vector<GraphIndexEntry>& index, Advance advance)
{
    const auto begin = index.begin();
    const size_t n = index.size();
    for (size_t from = 0; from < n; from += SORT_SLICE) {
        const size_t to = std::min(n, from + SORT_SLICE);
        std::sort(begin + long(from), begin + long(to), EarlierTime);
        if (!advance(to - from))
            return false;
    }
    for (size_t width = SORT_SLICE; width < n; width *= 2) {
        for (size_t from = 0; from + width < n; from += 2 * width) {
            const size_t to = std::min(n, from + 2 * width);
            std::inplace_merge(begin + long(from), begin + long(from + width), begin + long(to), EarlierTime);
            if (!advance(to - from))
                return false;
        }
    }
    return true;
}

} // namespace

GraphModel::~GraphModel() { Clear(); }

void GraphModel::Clear()
{
    while (CGraphElement* element = First()) {
        elements_.Remove(element);
        delete element;
    }
    index_.clear();
    index_.shrink_to_fit();
    timeRange_ = {0, 1};
    maxNest_ = 0;
    skippedThreads_ = 0;
    skippedRecords_ = 0;
    unallocatedThreads_ = 0;
}

CGraphElement* GraphModel::First() const { return static_cast<CGraphElement*>(elements_.First); }

CGraphElement* GraphModel::GetElement(uint64_t tid, bool create)
{
    for (CGraphElement* element = First(); element; element = element->NextEntry())
        if (element->Tid == tid)
            return element;
    if (!create)
        return nullptr;
    auto* element = new CGraphElement(tid);
    elements_.AddTail(element);
    return element;
}

bool GraphModel::Build(KxTable& table, ColourOf colourOf, const Progress& progress)
{
    Clear();
    GraphPointBuilder points;
    if (!ReadPoints(table, points, progress))
        return false;
    Build(points, ThreadList(table), &table, colourOf);
    return true;
}

bool GraphModel::ReadPoints(KxTable& table, GraphPointBuilder& points, const Progress& progress)
{
    const int32_t rows = table.RowCount();
    KxTids& tids = table.Tids();
    for (int32_t row = 0; row < rows; ++row) {
        if (progress && row % PROGRESS_ROWS == 0 && !progress(row, rows))
            return false;
        const KxdRecord* record = table.GetRecord(row);
        // A row without a time has no place on the time axis.
        if (!table.HasTime(*record))
            continue;
        const uint64_t tid = record->prot.msg.TID;
        const KxTidEntry* entry = tids.Find(tid);
        points.Add(record->Int64(FIELD_TIME), tid, entry ? entry->pos : -1, record->Int64(FIELD_NEST),
                   (record->Flags() & KXFLAGS_FUNC_LEAVE) != 0, uint32_t(row));
    }
    return true;
}

std::vector<uint64_t> GraphModel::ThreadList(KxTable& table)
{
    KxTids& tids = table.Tids();
    std::vector<uint64_t> list;
    for (int32_t i = 0; i < tids.Count(); ++i)
        list.push_back(tids.At(i)->tid);
    return list;
}

std::vector<QColor> GraphModel::Colours(ColourOf colourOf, size_t threads)
{
    std::vector<QColor> colours;
    if (colourOf)
        for (size_t i = 0; i < threads && i < size_t(GraphPointBuilder::MAX_THREADS); ++i)
            colours.push_back(colourOf(int32_t(i)));
    return colours;
}

void GraphModel::Build(const GraphPointBuilder& points, const std::vector<uint64_t>& tids, KxTable* table,
                       ColourOf colourOf)
{
    Index(points, tids, Colours(colourOf, tids.size()), nullptr);
    if (table)
        AttachRecords(*table, 0, index_.size());
}

bool GraphModel::Index(const GraphPointBuilder& points, const std::vector<uint64_t>& tids,
                       const std::vector<QColor>& colours, const Progress& progress)
{
    Clear();
    skippedThreads_ = points.SkippedThreads();
    skippedRecords_ = points.SkippedRecords();
    if (points.Empty())
        return true;
    // The work in entries: each point copied, then levelled, then sorted
    // in its slice and moved once by each merge pass.
    const size_t total = points.TotalPoints();
    const int64_t work = int64_t(total) * (3 + MergePasses(total));
    int64_t done = 0;
    const auto advance = [&](size_t entries) {
        done += int64_t(entries);
        if (!progress || progress(int32_t(done * INDEX_STEPS / work), INDEX_STEPS))
            return true;
        Clear();
        return false;
    };
    timeRange_ = {points.MinTime(), points.MaxTime()};
    maxNest_ = points.MaxNest();
    index_.reserve(total);
    for (size_t i = 0; i < tids.size() && i < size_t(GraphPointBuilder::MAX_THREADS); ++i) {
        const std::vector<GraphPoint>& line = points.Points(int32_t(i));
        CGraphElement* element = GetElement(tids[i], true);
        if (element->Resize(int32_t(line.size())) < 0) {
            ++unallocatedThreads_;
            done += 2 * int64_t(line.size());
            continue;
        }
        if (i < colours.size())
            element->SetColor(colours[i]);
        for (size_t j = 0; j < line.size(); ++j) {
            const GraphPoint& p = line[j];
            element->X[j] = p.time;
            element->Y[j] = p.level < 0 ? 0 : p.level;
            const bool cut = j > 0 && !GraphPointBuilder::Joined(line[j - 1].time, p.time);
            element->ConnectFlags[j] = cut ? CGraphElement::ALONE : p.connect;
            element->Rows[j] = p.row;
            index_.push_back({p.time, tids[i], int32_t(j), p.row, nullptr});
        }
        if (!advance(line.size()))
            return false;
        element->Levels.Build(element->X, element->Y, element->Count, timeRange_.min);
        if (!advance(line.size()))
            return false;
    }
    return SortByTime(index_, advance);
}

void GraphModel::AttachRecords(KxTable& table, size_t from, size_t to)
{
    for (size_t i = from; i < to && i < index_.size(); ++i)
        index_[i].record = table.GetRecord(int32_t(index_[i].row));
}

void GraphModel::ShowAll(bool shown)
{
    for (CGraphElement* element = First(); element; element = element->NextEntry())
        element->SetShown(shown);
}

void GraphModel::MarkTids(const std::vector<uint64_t>& tids, bool shown)
{
    const std::unordered_set<uint64_t> marked(tids.begin(), tids.end());
    for (CGraphElement* element = First(); element; element = element->NextEntry())
        element->SetShown(marked.count(element->Tid) ? shown : !shown);
}

bool GraphModel::ShiftTime(int64_t offset)
{
    int64_t min;
    int64_t max;
    if (__builtin_sub_overflow(timeRange_.min, offset, &min) || __builtin_sub_overflow(timeRange_.max, offset, &max))
        return false;
    for (CGraphElement* element = First(); element; element = element->NextEntry()) {
        for (int32_t i = 0; i < element->Count; ++i)
            element->X[i] -= offset;
        element->Levels.Shift(offset);
    }
    for (GraphIndexEntry& entry : index_)
        entry.time -= offset;
    timeRange_ = {min, max};
    return true;
}

GraphModel::Found GraphModel::Lookup(int64_t t) const
{
    if (index_.empty() || t < index_.front().time || t > index_.back().time)
        return {0, false};
    const auto it = std::lower_bound(index_.begin(), index_.end(), t,
                                     [](const GraphIndexEntry& e, int64_t time) { return e.time < time; });
    return {size_t(it - index_.begin()), it->time == t};
}

size_t GraphModel::FirstFrom(int64_t t) const
{
    return size_t(std::lower_bound(index_.begin(), index_.end(), t,
                                   [](const GraphIndexEntry& e, int64_t time) { return e.time < time; }) -
                  index_.begin());
}

size_t GraphModel::Bytes() const
{
    size_t bytes = index_.capacity() * sizeof(GraphIndexEntry);
    for (const CGraphElement* element = First(); element; element = element->NextEntry())
        bytes += sizeof(CGraphElement) + size_t(element->Capacity) * (2 * sizeof(int64_t) + 2 * sizeof(uint32_t)) +
                 element->Levels.Bytes();
    return bytes;
}
