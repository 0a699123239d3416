// Tests of every row on several threads, as the plain-text search needs: a
// simple expression answers without its match slots
// (KxSearchExpression::Holds). The rows are split into runs that threads
// take in turn, each thread marking its own rows: the hits are the same as a
// row-by-row scan's.
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <vector>

#include "kxlib/table/kxtable.h"
#include "utils/common/parallelruns.h"

namespace {

// Rows a thread takes at a time: enough that taking them costs nothing,
// few enough that the threads finish together.
constexpr int32_t RUN_ROWS = 8192;
// Below this a single thread is done before others would have started.
constexpr int32_t MIN_PARALLEL_ROWS = 4 * RUN_ROWS;
// How far ahead a thread asks for a record's head, and for its strings.
constexpr int32_t HEAD_AHEAD = 16;
constexpr int32_t STRINGS_AHEAD = HEAD_AHEAD / 2;

// The table's blocks by their first record, for lookups by original index
// that share no cursor between threads.
class BlockIndex {
public:
    explicit BlockIndex(const KxTblock* first)
    {
        for (const KxTblock* block = first; block; block = block->next)
            if (block->count)
                blocks_.push_back(block);
        std::sort(blocks_.begin(), blocks_.end(),
                  [](const KxTblock* a, const KxTblock* b) { return a->first < b->first; });
    }

    // The record of an original index; hint is the block of the last
    // lookup, as the rows of a run mostly lie in one block.
    const KxdRecord* Find(uint32_t index, const KxTblock*& hint) const
    {
        if (!hint || index < hint->first || index - hint->first >= hint->count) {
            const auto after = std::upper_bound(blocks_.begin(), blocks_.end(), index,
                                                [](uint32_t i, const KxTblock* block) { return i < block->first; });
            if (after == blocks_.begin())
                return nullptr;
            const KxTblock* block = *(after - 1);
            if (index - block->first >= block->count)
                return nullptr;
            hint = block;
        }
        return &hint->recs[index - hint->first];
    }

private:
    std::vector<const KxTblock*> blocks_;
};

} // namespace

int32_t KxTable::MarkPlainRows(std::vector<uint8_t>& hits) const
{
    const KxSearchExpression* expr = searchExpr_.Get();
    if (!expr || !expr->IsSimple())
        return -1;
    return MarkRowsWhere([expr](const KxdRecord& record) { return expr->Holds(record); }, true, hits);
}

int32_t KxTable::MarkRowsWhere(const RecordTest& test, bool readsStrings, std::vector<uint8_t>& hits) const
{
    hits.assign(size_t(rowCount_), 0);
    const BlockIndex blocks(firstBlock_);
    const int32_t rows = rowCount_;
    std::atomic<int32_t> total{0};
    const int32_t runs = (rows + RUN_ROWS - 1) / RUN_ROWS;
    ZmLib::RunInParallel(size_t(runs), rows < MIN_PARALLEL_ROWS ? 1 : 0, [&](size_t run) {
        const KxTblock* hint = nullptr;
        const KxTblock* headHint = nullptr;
        const KxTblock* stringsHint = nullptr;
        int32_t count = 0;
        const int32_t begin = int32_t(run) * RUN_ROWS;
        const int32_t end = std::min(rows, begin + RUN_ROWS);
        for (int32_t row = begin; row < end; ++row) {
            if (row + HEAD_AHEAD < end)
                if (const KxdRecord* ahead = blocks.Find(uint32_t(OriginalIndex(row + HEAD_AHEAD)), headHint))
                    ahead->PrefetchHead();
            if (readsStrings && row + STRINGS_AHEAD < end)
                if (const KxdRecord* ahead = blocks.Find(uint32_t(OriginalIndex(row + STRINGS_AHEAD)), stringsHint))
                    ahead->PrefetchStrings();
            const KxdRecord* record = blocks.Find(uint32_t(OriginalIndex(row)), hint);
            if (record && test(*record)) {
                hits[size_t(row)] = 1;
                ++count;
            }
        }
        total += count;
    });
    return total;
}
