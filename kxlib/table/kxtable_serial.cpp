// The filter, bookmarks and selections of a table as document file sections:
// little-endian u32 values. Sections read back come from a file, so every
// count and index is checked against the data and the table before use.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "kxlib/kxchannels.h"
#include "kxlib/table/kxtable.h"
#include "kxlib/table/kxtable_check.h"

namespace {

void PutU32(std::vector<uint8_t>& out, uint32_t value)
{
    uint8_t bytes[4];
    memcpy(bytes, &value, sizeof(bytes));
    out.insert(out.end(), bytes, bytes + sizeof(bytes));
}

uint32_t GetU32(const uint8_t* data, size_t at)
{
    uint32_t value;
    memcpy(&value, data + at, sizeof(value));
    return value;
}

} // namespace

void KxTable::CheckFailed(const char* function, int line, const char* condition)
{
    KxTableChannel.AssertReport(key_, true, __FILE__, uint32_t(line), function, condition);
}

void KxTable::SerializeFiltered(std::vector<uint8_t>& out) const
{
    if (!FilterOn)
        return;
    for (int32_t row = 0; row < rowCount_; ++row)
        PutU32(out, Filtered[row]);
}

void KxTable::SerializeBookmarks(std::vector<uint8_t>& out) const
{
    const uint32_t nv = bkmarks_.Length();
    const uint32_t nh = bkmarksHidden_.Length();
    if (nv + nh == 0)
        return;
    PutU32(out, nv);
    for (KxBkmarkEntry* b = bkmarks_.First(); b; b = b->NextEntry())
        PutU32(out, uint32_t(b->index));
    if (nh == 0)
        return;
    PutU32(out, nh);
    for (KxBkmarkEntry* b = bkmarksHidden_.First(); b; b = b->NextEntry())
        PutU32(out, uint32_t(b->index));
}

void KxTable::SerializeSelections(std::vector<uint8_t>& out) const
{
    if (NumSelected == 0)
        return;
    uint32_t nranges = RangeCount();
    PutU32(out, nranges);
    for (SelRange* r = FirstRange(); r; r = r->NextEntry()) {
        PutU32(out, uint32_t(r->first));
        PutU32(out, uint32_t(r->count));
        PutU32(out, r->tag);
        --nranges;
    }
    if (nranges != 0) {
        KxTableChannel.AssertReport(key_, false, __FILE__, __LINE__, __func__, "nranges == 0");
        abort();
    }
}

bool KxTable::DeserializeFiltered(const uint8_t* data, size_t size)
{
    KXTABLE_CHECK(!FilterOn, "!FilterOn");
    if (size < 4) {
        CheckFailed(__func__, __LINE__, "nfiltered");
        return false;
    }
    if (size % 4 != 0 || size / 4 > size_t(recordCount_)) {
        Warning(__func__, "Filter of %zu bytes does not fit a table of %d records, not applied", size,
                recordCount_);
        return false;
    }
    // A filter lists original indices in ascending order, each once.
    const uint32_t n = uint32_t(size / 4);
    for (uint32_t k = 0; k < n; ++k) {
        uint32_t orig = GetU32(data, size_t(k) * 4);
        if (orig >= uint32_t(recordCount_) || (k > 0 && orig <= GetU32(data, size_t(k - 1) * 4))) {
            Warning(__func__, "Filter row %u: original index %u out of order or beyond %d records, not applied", k,
                    orig, recordCount_);
            return false;
        }
    }
    AllocFilteredArray(n);
    memcpy(Filtered, data, size_t(n) * 4);
    FilterOn = true;
    rowCount_ = int32_t(n);
    return true;
}

bool KxTable::AddHiddenBookmark(int32_t orig)
{
    KxdRecord* record = FindRecordByOriginalIndex(orig);
    const uint32_t* begin = Filtered;
    if (!record || record->bookmark || std::binary_search(begin, begin + rowCount_, uint32_t(orig)))
        return false;
    KxBkmarkEntry* entry = new KxBkmarkEntry;
    entry->index = orig;
    entry->table = this;
    bkmarksHidden_.Insert(entry, false);
    record->bookmark = entry;
    return true;
}

bool KxTable::DeserializeBookmarks(const uint8_t* data, size_t size)
{
    if (size < 4) {
        Warning(__func__, "Bookmarks of %zu bytes hold no count, not applied", size);
        return false;
    }
    size_t nv = GetU32(data, 0);
    if (nv > (size - 4) / 4) {
        Warning(__func__, "%zu visible bookmarks announced, %zu in the data", nv, (size - 4) / 4);
        nv = (size - 4) / 4;
    }
    uint32_t applied = 0;
    for (size_t k = 0; k < nv; ++k) {
        uint32_t row = GetU32(data, 4 + k * 4);
        KxdRecord* record = row < uint32_t(rowCount_) ? FindRecord(int32_t(row)) : nullptr;
        if (!record || record->bookmark) {
            Warning(__func__, "Bookmark on row %u skipped: beyond %d rows or repeated", row, rowCount_);
            continue;
        }
        BookmarkSet(int32_t(row), true);
        ++applied;
    }
    size_t at = 4 + nv * 4;
    if (at == size)
        return applied > 0 || nv == 0;
    if (size - at < 4) {
        Warning(__func__, "Bookmarks: %zu stray bytes after the visible part ignored", size - at);
        return applied > 0;
    }
    size_t nh = GetU32(data, at);
    at += 4;
    if (nh > (size - at) / 4) {
        Warning(__func__, "%zu hidden bookmarks announced, %zu in the data", nh, (size - at) / 4);
        nh = (size - at) / 4;
    }
    if (!FilterOn && nh > 0) {
        // Without a filter (an empty filter is stored as none) the hidden
        // records are rows again: they stay bookmarked as visible ones.
        CheckFailed(__func__, __LINE__, "FilterOn && n2");
    }
    for (size_t k = 0; k < nh; ++k, at += 4) {
        uint32_t orig = GetU32(data, at);
        bool ok = false;
        if (FilterOn) {
            ok = orig < uint32_t(recordCount_) && AddHiddenBookmark(int32_t(orig));
        } else if (orig < uint32_t(rowCount_) && !FindRecord(int32_t(orig))->bookmark) {
            BookmarkSet(int32_t(orig), true);
            ok = true;
        }
        if (!ok) {
            Warning(__func__, "Hidden bookmark on record %u skipped: beyond %d records, visible or repeated", orig,
                    recordCount_);
            continue;
        }
        ++applied;
    }
    if (at < size)
        Warning(__func__, "Bookmarks: %zu stray bytes at the end ignored", size - at);
    return applied > 0;
}

bool KxTable::DeserializeSelections(const uint8_t* data, size_t size)
{
    KXTABLE_CHECK(NumSelected == 0 && selRanges_.IsEmpty(), "!NumSelected");
    if (size < 4) {
        Warning(__func__, "Selections of %zu bytes hold no count, not applied", size);
        return false;
    }
    size_t n = GetU32(data, 0);
    if (n == 0) {
        CheckFailed(__func__, __LINE__, "nranges");
        return false;
    }
    if (n > (size - 4) / 12) {
        Warning(__func__, "%zu selection ranges announced, %zu in the data", n, (size - 4) / 12);
        n = (size - 4) / 12;
    }
    if (4 + n * 12 < size)
        Warning(__func__, "Selections: %zu stray bytes at the end ignored", size - 4 - n * 12);
    // Ranges are sorted and apart; one that overlaps an earlier one (or lies
    // beyond the rows) is skipped, so each row is selected at most once.
    int64_t nextFree = 0;
    uint32_t applied = 0;
    for (size_t k = 0; k < n; ++k) {
        const uint8_t* triple = data + 4 + k * 12;
        int64_t first = GetU32(triple, 0);
        int64_t count = GetU32(triple, 4);
        uint32_t tag = GetU32(triple, 8);
        if (count == 0) {
            CheckFailed(__func__, __LINE__, "last >= r.first");
            break;
        }
        int64_t last = first + count - 1;
        if (first < nextFree || first >= rowCount_) {
            Warning(__func__, "Selection range %lld..%lld skipped: overlaps or lies beyond %d rows",
                    static_cast<long long>(first), static_cast<long long>(last), rowCount_);
            continue;
        }
        if (last >= rowCount_) {
            Warning(__func__, "Selection range %lld..%lld clipped to %d rows", static_cast<long long>(first),
                    static_cast<long long>(last), rowCount_);
            last = rowCount_ - 1;
        }
        SelRangeSet(int32_t(first), int32_t(last), true, tag);
        nextFree = last + 1;
        ++applied;
    }
    return applied > 0;
}
