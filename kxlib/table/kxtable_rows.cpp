// Rows inserted, deleted and copied in bulk: one pass over the blocks, the
// ranges and the bookmarks, however many rows move.
#include <algorithm>
#include <memory>
#include <vector>

#include "kxlib/table/kxtable.h"
#include "kxlib/table/kxtable_check.h"
#include "kxlib/table/kxtable_load.h"

bool KxTable::InsertRecords(int32_t i, int32_t n)
{
    Trace(3, __func__, "InsertRecords: # %d, %d records", i, n);
    KXTABLE_CHECK(IsEditable(), "IsEditable()");
    if (i < 0 || i > recordCount_ || n < 0) {
        Warning(__func__, "InsertRecords: index %d outside 0..%d", i, recordCount_);
        return false;
    }
    if (i == recordCount_) {
        for (int32_t k = 0; k < n; ++k)
            NewRecord();
        return true;
    }
    if (n == 0)
        return true;

    ShiftMarksForInsert(i, n);

    uint32_t offset = 0;
    KxTblock* block = BlockOf(i, &offset);
    KXTABLE_CHECK(block, "block");
    // The new blocks go after prev (null: at the head).
    KxTblock* prev = nullptr;
    if (offset > 0) {
        SplitBlock(block, offset);
        prev = block;
    } else {
        for (KxTblock* b = firstBlock_; b != block; b = b->next)
            prev = b;
    }
    KxTblock* after = prev ? prev->next : firstBlock_;
    KxTblock* link = prev;
    for (int32_t done = 0; done < n;) {
        // Fresh slots are zero: only their block link is set.
        auto* fresh = new KxTblock(this, uint32_t(i + done));
        fresh->count = uint32_t(std::min<int32_t>(n - done, int32_t(KxTblock::SIZE)));
        fresh->touched = fresh->count;
        for (uint32_t k = 0; k < fresh->count; ++k)
            fresh->recs[k].block = fresh;
        if (link)
            link->next = fresh;
        else
            firstBlock_ = fresh;
        link = fresh;
        done += int32_t(fresh->count);
        ++blockCount_;
    }
    link->next = after;
    for (KxTblock* later = after; later; later = later->next)
        later->first += uint32_t(n);
    cursor_ = nullptr;
    recordCount_ += n;
    rowCount_ += n;
    ++rowsVersion_;
    modified_ = true;
    // The function stacks point at records that moved.
    tids_.ResetStacks();
    return true;
}

int32_t KxTable::DelRecords()
{
    // The visible rows to go, ascending.
    std::vector<int32_t> rows;
    if (!selRanges_.IsEmpty()) {
        rows.reserve(NumSelected);
        for (SelRange* r = FirstRange(); r; r = r->NextEntry())
            for (int32_t k = 0; k < r->count; ++k)
                rows.push_back(r->first + k);
    } else if (prefs_.CurPossition >= 0 && prefs_.CurPossition < rowCount_) {
        rows.push_back(prefs_.CurPossition);
    }
    Trace(2, __func__, "DelRecords: %d rows", int(rows.size()));
    if (rows.empty())
        return 0;
    ClearSelections();

    // Rows below a row that stays: the shift of its index.
    auto below = [](const std::vector<int32_t>& sorted, int32_t index) {
        return int32_t(std::lower_bound(sorted.begin(), sorted.end(), index) - sorted.begin());
    };
    for (KxBkmarkEntry* b = bkmarks_.First(); b;) {
        KxBkmarkEntry* next = b->NextEntry();
        const int32_t shift = below(rows, b->index);
        if (size_t(shift) < rows.size() && rows[size_t(shift)] == b->index) {
            GetRecord(b->index)->bookmark = nullptr;
            bkmarks_.Remove(b);
            delete b;
        } else {
            b->index -= shift;
        }
        b = next;
    }

    std::vector<int32_t> origs(rows);
    if (FilterOn) {
        for (size_t k = 0; k < rows.size(); ++k)
            origs[k] = int32_t(Filtered[rows[k]]);
        std::sort(origs.begin(), origs.end());
        for (KxBkmarkEntry* b = bkmarksHidden_.First(); b; b = b->NextEntry())
            b->index -= below(origs, b->index);
        int32_t kept = 0;
        size_t gone = 0;
        for (int32_t row = 0; row < rowCount_; ++row) {
            if (gone < rows.size() && rows[gone] == row) {
                ++gone;
                continue;
            }
            Filtered[kept++] = uint32_t(int32_t(Filtered[row]) - below(origs, int32_t(Filtered[row])));
        }
        rowCount_ = kept;
    }

    // One walk over the blocks: the records that stay close up in place.
    size_t gone = 0;
    uint32_t removedBefore = 0;
    for (KxTblock* block = firstBlock_; block; block = block->next) {
        const uint32_t first = block->first;
        uint32_t kept = 0;
        for (uint32_t k = 0; k < block->count; ++k) {
            if (gone < origs.size() && uint32_t(origs[gone]) == first + k) {
                ++gone;
                continue;
            }
            if (kept != k)
                KxdRecord::Move(&block->recs[kept], &block->recs[k]);
            ++kept;
        }
        for (uint32_t k = kept; k < block->count; ++k)
            block->recs[k].Reset();
        block->first = first - removedBefore;
        removedBefore += block->count - kept;
        block->count = kept;
    }
    cursor_ = nullptr;
    recordCount_ -= int32_t(rows.size());
    ++rowsVersion_;
    modified_ = true;
    tids_.ResetStacks();
    // As deleting the rows one by one from the last: the current row stays
    // among the rows left before a filter ends.
    prefs_.CurPossition = std::min(prefs_.CurPossition, FilterOn ? rowCount_ : recordCount_);
    if (FilterOn && rowCount_ == 0) {
        // The last visible row went: the filter ends.
        FreeFiltered();
        FilterOn = false;
        bkmarksHidden_.MoveAll(bkmarks_);
    }
    if (!FilterOn)
        rowCount_ = recordCount_;
    if (prefs_.CurPossition > rowCount_ - 1)
        prefs_.CurPossition = rowCount_ - 1;
    RebuildAuxTree();
    return int32_t(rows.size());
}

namespace {

// Sources of a copy. Copying into the same table moves its records, so then
// the records are copied out first.
class CopySources {
public:
    CopySources(KxTable& source, const KxTable& dest, const std::vector<int32_t>& rows)
    {
        records_.reserve(rows.size());
        if (&source == &dest) {
            snapshot_.reset(new KxdRecord[rows.size()]);
            for (size_t k = 0; k < rows.size(); ++k)
                KxdRecord::CopyInto(&snapshot_[k], source.GetRecord(rows[k]));
            for (size_t k = 0; k < rows.size(); ++k)
                records_.push_back(&snapshot_[k]);
        } else {
            for (int32_t row : rows)
                records_.push_back(source.GetRecord(row));
        }
    }
    size_t Size() const { return records_.size(); }
    const KxdRecord* operator[](size_t k) const { return records_[k]; }
    const KxdRecord* const* Data() const { return records_.data(); }

private:
    std::unique_ptr<KxdRecord[]> snapshot_;
    std::vector<const KxdRecord*> records_;
};

// The copies keep their absolute times, whatever either table counts from.
void CopyInto(const KxTable& source, KxTable& dest, const CopySources& sources, int32_t pos)
{
    const int64_t timeShift = source.TimeShiftInto(dest);
    if (pos < 0) {
        KxAppendCopies(dest, sources.Data(), sources.Size(), 0, timeShift);
        return;
    }
    dest.InsertRecords(pos, int32_t(sources.Size()));
    for (size_t k = 0; k < sources.Size(); ++k) {
        KxdRecord* slot = dest.GetRecordByOriginalIndex(pos + int32_t(k));
        KxdRecord::CopyInto(slot, sources[k], timeShift);
        KxdRecord::ProcessLine4Client(slot, true);
    }
}

} // namespace

int32_t KxTable::CopyAllRecords(KxTable& dest, int32_t pos)
{
    Trace(2, __func__, "CopyAllRecords: to table '%s', pos = %d", dest.Name(), pos);
    KXTABLE_CHECK(dest.IsEditable(), "dest.IsEditable()");
    if (pos > dest.recordCount_)
        pos = dest.recordCount_;
    std::vector<int32_t> rows(static_cast<size_t>(rowCount_));
    for (int32_t r = 0; r < rowCount_; ++r)
        rows[size_t(r)] = r;
    CopySources sources(*this, dest, rows);
    CopyInto(*this, dest, sources, pos);
    return int32_t(rows.size());
}

std::vector<KxCopyRun> KxTable::SelectedRuns(const uint32_t* tags, int ntags) const
{
    std::vector<KxCopyRun> runs;
    if (selRanges_.IsEmpty()) {
        const int32_t cur = prefs_.CurPossition;
        if (cur >= 0 && cur < rowCount_)
            runs.push_back({cur, 1, 0, false});
        return runs;
    }
    for (SelRange* r = FirstRange(); r; r = r->NextEntry())
        if (ntags == 0 || std::find(tags, tags + ntags, r->tag) != tags + ntags)
            runs.push_back({r->first, r->count, r->tag, true});
    return runs;
}

int32_t KxTable::CopySelectedRecords(KxTable& dest, const uint32_t* tags, int ntags, int32_t pos)
{
    const std::vector<KxCopyRun> runs = SelectedRuns(tags, ntags);
    if (selRanges_.IsEmpty() && runs.empty()) {
        Error(__func__, "Current record is not set");
        return 0;
    }
    return CopyRuns(dest, runs, pos);
}

int32_t KxTable::CopyRuns(KxTable& dest, const std::vector<KxCopyRun>& runs, int32_t pos)
{
    KXTABLE_CHECK(dest.IsEditable(), "dest.IsEditable()");
    if (pos > dest.recordCount_)
        pos = dest.recordCount_;
    std::vector<int32_t> rows;
    for (const KxCopyRun& run : runs)
        for (int32_t k = 0; k < run.count; ++k)
            rows.push_back(run.first + k);
    CopySources sources(*this, dest, rows);
    const int32_t start = pos >= 0 ? pos : dest.recordCount_;
    CopyInto(*this, dest, sources, pos);
    int32_t row = start;
    for (const KxCopyRun& run : runs) {
        if (run.selected) {
            for (int32_t k = 0; k < run.count; ++k)
                dest.RecordSelect(row + k, dest.GetRecord(row + k), run.tag);
            dest.Trace(2, __func__, "SelRangeSet: %s records %d..%d: NumSelected = %d", "Select", row,
                       row + run.count - 1, int(dest.NumSelected));
        }
        row += run.count;
    }
    return int32_t(rows.size());
}
