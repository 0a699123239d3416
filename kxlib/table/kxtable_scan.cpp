// Tests of every row on several threads, as the plain-text search needs: a
// simple expression answers without its match slots
// (KxSearchExpression::Holds). The rows are split into runs that threads
// take in turn, each thread marking its own rows: the hits are the same as a
// row-by-row scan's.
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <system_error>
#include <thread>
#include <vector>

#include "kxlib/table/kxtable.h"

namespace {

// Rows a thread takes at a time: enough that taking them costs nothing,
// few enough that the threads finish together.
constexpr int32_t RUN_ROWS = 8192;
// Below this a single thread is done before others would have started.
constexpr int32_t MIN_PARALLEL_ROWS = 4 * RUN_ROWS;
constexpr unsigned MAX_THREADS = 8;
// A test mostly waits for memory, and records lie about a kilobyte apart:
// a thread asks for the head of the record this many rows ahead, and for
// the used part of its string area when half as far.
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

// The header with the string area's length, the text offsets and the links
// at the record's end.
void PrefetchHead(const KxdRecord* record)
{
    if (!record)
        return;
    __builtin_prefetch(&record->prot.msg.opt_len);
    __builtin_prefetch(record->textOff);
    __builtin_prefetch(record->textOff + FIELD_Nums - 1);
    __builtin_prefetch(&record->errorKind);
}

// The used part of the string area, whose length came with the head.
void PrefetchStrings(const KxdRecord* record)
{
    if (!record)
        return;
    const char* strings = record->prot.msg.strings;
    const size_t used = std::min<size_t>(record->prot.msg.opt_len, sizeof(record->prot.msg.strings));
    for (size_t at = 64; at < used; at += 64)
        __builtin_prefetch(strings + at);
}

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
    std::atomic<int32_t> nextRun{0};
    std::atomic<int32_t> total{0};
    const auto work = [&] {
        const KxTblock* hint = nullptr;
        const KxTblock* headHint = nullptr;
        const KxTblock* stringsHint = nullptr;
        int32_t count = 0;
        for (int32_t begin; (begin = nextRun.fetch_add(RUN_ROWS)) < rows;) {
            const int32_t end = std::min(rows, begin + RUN_ROWS);
            for (int32_t row = begin; row < end; ++row) {
                if (row + HEAD_AHEAD < end)
                    PrefetchHead(blocks.Find(uint32_t(OriginalIndex(row + HEAD_AHEAD)), headHint));
                if (readsStrings && row + STRINGS_AHEAD < end)
                    PrefetchStrings(blocks.Find(uint32_t(OriginalIndex(row + STRINGS_AHEAD)), stringsHint));
                const KxdRecord* record = blocks.Find(uint32_t(OriginalIndex(row)), hint);
                if (record && test(*record)) {
                    hits[size_t(row)] = 1;
                    ++count;
                }
            }
        }
        total += count;
    };
    const unsigned threads =
        rows < MIN_PARALLEL_ROWS ? 1 : std::min(MAX_THREADS, std::max(1u, std::thread::hardware_concurrency()));
    std::vector<std::thread> helpers;
    try {
        for (unsigned t = 1; t < threads; ++t)
            helpers.emplace_back(work);
    } catch (const std::system_error&) {
        // No more threads to be had: those running and this one share the rows.
    }
    work();
    for (std::thread& helper : helpers)
        helper.join();
    return total;
}
