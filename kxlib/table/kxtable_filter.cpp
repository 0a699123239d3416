// The filter of a table: the rows narrowed to the selection or to a chosen
// set of original indices, with bookmarks and selections kept consistent.
#include <cstdlib>
#include <cstring>

#include "kxlib/kxchannels.h"
#include "kxlib/table/kxtable.h"
#include "kxlib/table/kxtable_check.h"

void KxTable::AllocFilteredArray(uint32_t n)
{
    ++rowsVersion_;
    if (Filtered) {
        ZmLib::KxSys.AssertReport(key_, false, __FILE__, __LINE__, __func__, "!Filtered");
        abort();
    }
    Filtered = static_cast<uint32_t*>(calloc(n ? n : 1, sizeof(uint32_t)));
    if (!Filtered) {
        ZmLib::KxSys.AssertReport(key_, false, __FILE__, __LINE__, __func__, "Filtered");
        abort();
    }
}

void KxTable::FreeFiltered()
{
    ++rowsVersion_;
    free(Filtered);
    Filtered = nullptr;
}

int32_t KxTable::Selected2Filter()
{
    if (FilterOn)
        return -5;
    if (!NumSelected)
        return -4;
    AllocFilteredArray(NumSelected);
    KxTableBkmarks fresh;
    const int32_t cur = prefs_.CurPossition;
    bool curMet = false;
    uint32_t n = 0;
    for (SelRange* r = FirstRange(); r; r = r->NextEntry()) {
        const int32_t newFirst = int32_t(n);
        for (int32_t row = r->first; row < r->first + r->count; ++row) {
            KxdRecord* record = GetRecord(row);
            if (record->bookmark) {
                bkmarks_.Remove(record->bookmark);
                record->bookmark->index = int32_t(n);
                fresh.Insert(record->bookmark, true);
            }
            if (row == cur) {
                prefs_.CurPossition = int32_t(n);
                curMet = true;
            }
            Filtered[n++] = uint32_t(row);
        }
        r->first = newFirst;
        if (!curMet)
            prefs_.CurPossition = 0;
    }
    FilterBookmarkMoveToHidden(fresh);
    KXTABLE_CHECK(n == NumSelected, "n == NumSelected");
    Trace(2, __func__, "Selected2Filter: return %d", int(n));
    FilterOn = true;
    rowCount_ = int32_t(NumSelected);
    return rowCount_;
}

void KxTable::ManualFilterPrepare(uint32_t n, bool withSelected)
{
    ZmLib::KxFuncGuard guard(KxTableChannel, 4, "KxTable::ManualFilterPrepare");
    KXTABLE_CHECK(!FilterOn, "!FilterOn");
    KXTABLE_CHECK(n, "nfiltered");
    uint32_t size = n + (withSelected ? NumSelected : 0);
    AllocFilteredArray(size);
    NumMannualFilteredAsked = size;
    NumMannualFiltered = 0;
}

int32_t KxTable::ManualFilter()
{
    ZmLib::KxFuncGuard guard(KxTableChannel, 4, "KxTable::ManualFilter");
    KXTABLE_CHECK(!FilterOn && Filtered, "!FilterOn && Filtered");
    KXTABLE_CHECK(NumMannualFiltered && (NumMannualFiltered <= NumMannualFilteredAsked),
                  "NumMannualFiltered && (NumMannualFiltered <= NumMannualFilteredAsked)");
    // The indices come from the caller: each must name a record, in
    // ascending order.
    for (uint32_t k = 0; k < NumMannualFiltered; ++k)
        KXTABLE_CHECK(int32_t(Filtered[k]) < recordCount_ && (k == 0 || Filtered[k] > Filtered[k - 1]),
                      "Filtered[k] ascending and < RecordCount");
    const int32_t cur = prefs_.CurPossition;
    prefs_.CurPossition = 0;
    KxTableBkmarks fresh;
    for (uint32_t k = 0; k < NumMannualFiltered; ++k) {
        KxdRecord* record = GetRecordByOriginalIndex(int32_t(Filtered[k]));
        if (record->bookmark) {
            bkmarks_.Remove(record->bookmark);
            record->bookmark->index = int32_t(k);
            fresh.Insert(record->bookmark, true);
        }
        if (int32_t(Filtered[k]) == cur)
            prefs_.CurPossition = int32_t(k);
    }
    FilterBookmarkMoveToHidden(fresh);
    FilterOn = true;
    rowCount_ = int32_t(NumMannualFiltered);
    return rowCount_;
}

void KxTable::ClearFilter()
{
    Trace(2, __func__, "ClearFilter");
    KXTABLE_CHECK(FilterOn, "FilterOn");
    const int32_t visible = rowCount_;
    if (!selRanges_.IsEmpty()) {
        Trace(2, __func__, "Transfer %d selected records to the main table", int(NumSelected));
        // The old ranges hold visible rows; they are rebuilt over original
        // indices once the filter is off.
        ZmLib::DListEnt* first = selRanges_.First;
        selRanges_.First = selRanges_.Last = nullptr;
        selRanges_.Count = 0;
        uint32_t* filtered = Filtered;
        FilterOn = false;
        rowCount_ = recordCount_;
        NumSelected = 0;
        for (SelRange* r = static_cast<SelRange*>(first); r;) {
            SelRange* next = r->NextEntry();
            for (int32_t row = r->first; row < r->first + r->count; ++row) {
                int32_t orig = int32_t(filtered[row]);
                KxdRecord* record = GetRecordByOriginalIndex(orig);
                record->selRange = nullptr;
                RecordSelectHelper(orig, record, r->tag);
            }
            delete r;
            r = next;
        }
    }
    int32_t cur = prefs_.CurPossition;
    if (visible <= 0)
        cur = recordCount_ > 0 ? 0 : -1;
    else if (cur >= visible)
        cur = int32_t(Filtered[visible - 1]);
    else if (cur >= 0)
        cur = int32_t(Filtered[cur]);
    prefs_.CurPossition = cur;
    if (!bkmarks_.IsEmpty()) {
        Trace(2, __func__, "Transfering %d bookmarked records to the main table", int(bkmarks_.Length()));
        for (KxBkmarkEntry* b = bkmarks_.First(); b; b = b->NextEntry())
            b->index = int32_t(Filtered[b->index]);
    }
    while (KxBkmarkEntry* hidden = bkmarksHidden_.First()) {
        bkmarksHidden_.Remove(hidden);
        bkmarks_.Insert(hidden, false);
    }
    FreeFiltered();
    FilterOn = false;
    rowCount_ = recordCount_;
}
