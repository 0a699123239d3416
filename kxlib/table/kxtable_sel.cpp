// Bookmarks and selection ranges of a table.
#include <cinttypes>
#include <cstdint>
#include <cstdlib>

#include "kxlib/kxchannels.h"
#include "utils/common/kxexcept.h"
#include "kxlib/table/kxtable.h"
#include "kxlib/table/kxtable_check.h"

namespace {

// Reported with the key of the table that owns the entry.
[[noreturn]] void BkmarksFatal(const KxBkmarkEntry* entry, const char* function, const char* condition)
{
    uint64_t key = entry && entry->table ? entry->table->Key() : 0;
    KxTableChannel.AssertReport(key, false, __FILE__, __LINE__, function, condition);
    abort();
}

} // namespace

void KxTableBkmarks::Insert(KxBkmarkEntry* entry, bool append)
{
    // Bookmarks set in row order (every match of a search) go to the tail
    // without a walk over the list.
    if (append || !Last() || Last()->index < entry->index) {
        list_.AddTail(entry);
        return;
    }
    for (KxBkmarkEntry* bk = First(); bk; bk = bk->NextEntry()) {
        if (bk->index == entry->index)
            BkmarksFatal(entry, __func__, "entry->index != bk->index");
        if (bk->index > entry->index) {
            list_.AddBefore(bk, entry);
            return;
        }
    }
    list_.AddTail(entry);
}

void KxTableBkmarks::Remove(KxBkmarkEntry* entry) { list_.Remove(entry); }

void KxTableBkmarks::MoveAll(KxTableBkmarks& dest)
{
    if (!dest.IsEmpty())
        BkmarksFatal(dest.First(), __func__, "dest.IsEmpty()");
    dest.list_.First = list_.First;
    dest.list_.Last = list_.Last;
    dest.list_.Count = list_.Count;
    list_.First = list_.Last = nullptr;
    list_.Count = 0;
}

void KxTableBkmarks::Clear()
{
    while (KxBkmarkEntry* entry = First()) {
        list_.Remove(entry);
        delete entry;
    }
}

void KxTable::BookmarkSet(int32_t row, bool on)
{
    Trace(3, __func__, "BookmarkSet: i = %d, on = %d", row, int(on));
    KxdRecord* record = GetRecord(row);
    KXTABLE_CHECK(on == !record->bookmark, "on == !cur_on");
    if (on) {
        KxBkmarkEntry* entry = new KxBkmarkEntry;
        entry->index = row;
        entry->table = this;
        bkmarks_.Insert(entry, false);
        record->bookmark = entry;
    } else {
        bkmarks_.Remove(record->bookmark);
        delete record->bookmark;
        record->bookmark = nullptr;
    }
}

KxBkmarkEntry* KxTable::BookmarkGetHelper(int32_t row, bool forward)
{
    KxBkmarkEntry* found = nullptr;
    if (forward) {
        for (KxBkmarkEntry* b = bkmarks_.First(); b && !found; b = b->NextEntry())
            if (b->index > row)
                found = b;
    } else {
        for (KxBkmarkEntry* b = bkmarks_.Last(); b && !found; b = b->PrevEntry())
            if (b->index < row)
                found = b;
    }
    Trace(4, __func__, "BookmarkGetHelper: i = %d, forward = %d, ret index = %d", row, int(forward),
          found ? found->index : 0);
    return found;
}

KxBkmarkEntry* KxTable::NearestByTime(int64_t time)
{
    KxBkmarkEntry* best = nullptr;
    uint64_t bestDistance = 0;
    for (KxBkmarkEntry* b = bkmarks_.First(); b; b = b->NextEntry()) {
        int64_t t = int64_t(GetRecord(b->index)->prot.msg.TIME);
        uint64_t distance = t > time ? uint64_t(t) - uint64_t(time) : uint64_t(time) - uint64_t(t);
        if (!best || distance < bestDistance) {
            best = b;
            bestDistance = distance;
        }
    }
    return best;
}

void KxTable::ClearBookmarks()
{
    Trace(2, __func__, "ClearBookmarks");
    for (KxBkmarkEntry* b = bkmarks_.First(); b; b = b->NextEntry())
        GetRecord(b->index)->bookmark = nullptr;
    bkmarks_.Clear();
}

void KxTable::FilterBookmarkMoveToHidden(KxTableBkmarks& fresh)
{
    if (!bkmarks_.IsEmpty()) {
        Trace(2, __func__, "Moved to hidden: %d bookmarks", int(bkmarks_.Length()));
        bkmarks_.MoveAll(bkmarksHidden_);
    }
    fresh.MoveAll(bkmarks_);
}

int KxTable::SelRangeFind(int32_t row, SelRange** range) const
{
    // Rows selected in order (every match of a search) lie past the last
    // range: no walk over the list.
    const SelRange* last = static_cast<const SelRange*>(selRanges_.Last);
    if (!last || row >= last->first + last->count) {
        *range = nullptr;
        return -1;
    }
    for (SelRange* r = FirstRange(); r; r = r->NextEntry()) {
        if (row >= r->first && row < r->first + r->count) {
            *range = r;
            return 0;
        }
        if (r->first > row) {
            *range = r;
            return 1;
        }
    }
    *range = nullptr;
    return -1;
}

void KxTable::SelectionInconsistency(int32_t row)
{
    Error(__func__, "KxTable '%s', Record #%d: inconsistency in selection data", Name(), row);
    throw ZmLib::KxExceptText("KxTable '%s', Record #%d: inconsistency in selection data", Name(), row);
}

void KxTable::PointRecords(SelRange* range, int32_t from, int32_t to)
{
    for (int32_t row = from; row < to; ++row)
        GetRecord(row)->selRange = range;
}

void KxTable::FreeRange(SelRange* range)
{
    selRanges_.Remove(range);
    Trace(4, __func__, "SelRange %" PRIXPTR " deleted", reinterpret_cast<uintptr_t>(range));
    delete range;
}

void KxTable::RecordSelectHelper(int32_t row, KxdRecord* record, uint32_t tag)
{
    SelRange* next = nullptr;
    int where = SelRangeFind(row, &next);
    // A selected row is deselected before; a range over a row without a
    // link is broken data.
    if (where == 0 || record->selRange)
        SelectionInconsistency(row);
    SelRange* target = nullptr;
    SelRange* prev = next ? next->PrevEntry() : static_cast<SelRange*>(selRanges_.Last);
    if (next && row == next->first - 1 && next->tag == tag) {
        --next->first;
        ++next->count;
        target = next;
        if (prev && prev->first + prev->count == row && prev->tag == tag) {
            prev->count += next->count;
            PointRecords(prev, next->first + 1, next->first + next->count);
            FreeRange(next);
            target = prev;
        }
    } else if (prev && row == prev->first + prev->count && prev->tag == tag) {
        ++prev->count;
        target = prev;
    } else {
        target = new SelRange;
        target->first = row;
        target->count = 1;
        target->tag = tag;
        if (next)
            selRanges_.AddBefore(next, target);
        else
            selRanges_.AddTail(target);
    }
    record->selRange = target;
    ++NumSelected;
    Trace(4, __func__, "Rec #%d is selected: %" PRIXPTR, row, reinterpret_cast<uintptr_t>(target));
}

void KxTable::RecordDeselectHelper(int32_t row, KxdRecord* record)
{
    SelRange* range = record->selRange;
    if (!range)
        return;
    if (row < range->first || row >= range->first + range->count)
        SelectionInconsistency(row);
    const int32_t end = range->first + range->count;
    if (row == range->first) {
        ++range->first;
        --range->count;
    } else if (row == end - 1) {
        --range->count;
    } else {
        SelRange* tail = new SelRange;
        tail->first = row + 1;
        tail->count = end - row - 1;
        tail->tag = range->tag;
        range->count = row - range->first;
        selRanges_.AddAfter(range, tail);
        PointRecords(tail, tail->first, end);
    }
    if (range->count == 0)
        FreeRange(range);
    record->selRange = nullptr;
    --NumSelected;
    Trace(4, __func__, "Rec #%d is deselected", row);
}

void KxTable::RecordSelect(int32_t row, KxdRecord* record, uint32_t tag)
{
    if (record->selRange) {
        if (record->selRange->tag == tag)
            return;
        RecordDeselectHelper(row, record);
    }
    RecordSelectHelper(row, record, tag);
}

void KxTable::SelRangeSet(int32_t a, int32_t b, bool select, uint32_t tag)
{
    int32_t from = a < b ? a : b;
    int32_t to = a < b ? b : a;
    // Rows from outside are clamped to the view.
    if (from < 0)
        from = 0;
    if (to >= rowCount_)
        to = rowCount_ - 1;
    for (int32_t row = from; row <= to; ++row) {
        KxdRecord* record = GetRecord(row);
        if (select)
            RecordSelect(row, record, tag);
        else
            RecordDeselectHelper(row, record);
    }
    Trace(2, __func__, "SelRangeSet: %s records %d..%d: NumSelected = %d", select ? "Select" : "Deselect", from, to,
          int(NumSelected));
}

int32_t KxTable::SelectAll(uint32_t tag)
{
    Trace(2, __func__, "SelectAll(%X)", tag);
    ClearSelections();
    if (rowCount_ <= 0)
        return 0;
    SelRange* range = new SelRange;
    range->first = 0;
    range->count = rowCount_;
    range->tag = tag;
    selRanges_.AddTail(range);
    PointRecords(range, 0, rowCount_);
    NumSelected = uint32_t(rowCount_);
    return rowCount_;
}

void KxTable::ClearSelections()
{
    Trace(2, __func__, "ClearSelections");
    while (SelRange* range = FirstRange()) {
        PointRecords(nullptr, range->first, range->first + range->count);
        selRanges_.Remove(range);
        delete range;
    }
    NumSelected = 0;
}

int32_t KxTable::SelRangeGetNextBoundary()
{
    const int32_t cur = prefs_.CurPossition;
    if (cur < 0)
        return cur;
    if (cur >= rowCount_)
        return rowCount_ - 1;
    const int32_t lastRow = rowCount_ - 1;
    KxdRecord* record = GetRecord(cur);
    SelRange* range = record->selRange;
    if (range) {
        if (cur != range->first + range->count - 1)
            return range->first + range->count - 1;
        SelRange* next = range->NextEntry();
        return next ? next->first : lastRow;
    }
    SelRange* found = nullptr;
    int where = SelRangeFind(cur, &found);
    if (where == 0)
        SelectionInconsistency(cur);
    return where == 1 ? found->first : lastRow;
}

int32_t KxTable::SelRangeGetPrevBoundary()
{
    const int32_t cur = prefs_.CurPossition;
    if (cur < 0)
        return cur;
    if (cur >= rowCount_)
        return rowCount_ - 1;
    KxdRecord* record = GetRecord(cur);
    SelRange* range = record->selRange;
    if (range) {
        if (cur != range->first)
            return range->first;
        SelRange* prev = range->PrevEntry();
        return prev ? prev->first + prev->count - 1 : 0;
    }
    SelRange* found = nullptr;
    if (SelRangeFind(cur, &found) == 0)
        SelectionInconsistency(cur);
    SelRange* before = found ? found->PrevEntry() : static_cast<SelRange*>(selRanges_.Last);
    return before ? before->first + before->count - 1 : 0;
}
