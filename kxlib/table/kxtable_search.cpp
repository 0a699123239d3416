// The table's search expression: compiled once, then matched record by
// record to find, bookmark, select or filter; and the jumps to records that
// carry an error.
#include <cinttypes>
#include <cstddef>
#include <cstdint>

#include "kxlib/kxchannels.h"
#include "kxlib/table/kxtable.h"
#include "kxlib/table/kxtable_check.h"

namespace {

KxSearchExpressionFactory searchFactory = nullptr;

// How many rows ahead of the one being tested a scan asks for memory.
constexpr int32_t PREFETCH_AHEAD = 8;

// Rows lie about a kilobyte apart, and a test mostly waits for memory: the
// record a few rows ahead is asked for early. Memory bandwidth is what runs
// out first, so only what most tests read: the start of the string area
// with the header's end, and the text offsets.
void Prefetch(const KxdRecord* record)
{
    if (!record)
        return;
    const char* strings = record->prot.msg.strings;
    __builtin_prefetch(strings);
    __builtin_prefetch(strings + 64);
    const char* texts = reinterpret_cast<const char*>(record->textOff);
    for (size_t at = 0; at < sizeof(record->textOff); at += 64)
        __builtin_prefetch(texts + at);
}

// The record of a row, the one PREFETCH_AHEAD rows further in the direction
// of the scan (step 1 or -1) asked for on the way.
KxdRecord* RecordAhead(KxTable& table, int32_t row, int32_t step)
{
    Prefetch(table.FindRecord(row + step * PREFETCH_AHEAD));
    return table.GetRecord(row);
}

// The first row after (or before) the current one that passes test; -1 when
// none. The current row comes from a document too: the scan starts from it
// only inside the visible rows.
template <class Test>
int32_t ScanFromCurrent(const KxTable& table, bool forward, Test test)
{
    const int32_t cur = table.CurRow();
    const int32_t rows = table.RowCount();
    if (forward) {
        for (int32_t row = cur < 0 ? 0 : cur == INT32_MAX ? cur : cur + 1; row < rows; ++row)
            if (test(row))
                return row;
    } else {
        for (int32_t row = (cur > rows ? rows : cur) - 1; row >= 0; --row)
            if (test(row))
                return row;
    }
    return -1;
}

} // namespace

void KxTable::SetSearchExpressionFactory(KxSearchExpressionFactory factory) { searchFactory = factory; }

KxSearchExpression* KxTable::NewSearchExpression() { return searchFactory ? searchFactory() : nullptr; }

bool KxTable::SearchSetExpression(const char* text, uint8_t matchCase, uint32_t& mode)
{
    Trace(2, __func__, "SearchSetExpression: matchcase = %d, mode = %d", int(matchCase), int(mode));
    if (mode != SEARCH_MODE_SIMPLE && mode != SEARCH_MODE_COMPLEX && mode != SEARCH_MODE_AUTO) {
        Warning(__func__, "SearchSetExpression: unknown search mode %u", mode);
        return false;
    }
    searchError_.clear();
    searchExpr_.Reset(NewSearchExpression());
    KxSearchExpression* expr = searchExpr_.Get();
    if (!expr) {
        Warning(__func__, "SearchSetExpression: no search expression can be built");
        searchMode_ = SEARCH_MODE_UNDECIDED;
        return false;
    }
    // A blank text keeps the object attached: later searches match nothing.
    if (!expr->Construct(text, matchCase != 0, mode == SEARCH_MODE_SIMPLE)) {
        searchError_ = expr->parseError;
        searchMode_ = SEARCH_MODE_UNDECIDED;
        return false;
    }
    expr->tentative = mode == SEARCH_MODE_AUTO;
    const bool parsed = expr->Parse() == 0;
    if (mode == SEARCH_MODE_AUTO) {
        mode = parsed && !expr->IsSimple() ? SEARCH_MODE_COMPLEX : SEARCH_MODE_SIMPLE;
    } else if (mode == SEARCH_MODE_COMPLEX && (!parsed || expr->IsSimple())) {
        Warning(__func__, "Search expression parse error");
        searchError_ = expr->parseError;
        searchExpr_.Reset(nullptr);
        searchMode_ = SEARCH_MODE_NONE;
        mode = SEARCH_MODE_SIMPLE;
        return false;
    }
    searchMode_ = int32_t(mode);
    Trace(2, __func__, "Set search expression: \"%s\", IsSimple() = %d", expr->text, int(expr->IsSimple()));
    return true;
}

bool KxTable::SearchMatch(KxdRecord* record)
{
    KxSearchExpression* expr = searchExpr_.Get();
    const bool matched = expr && expr->Match(record);
    Trace(4, __func__, "SearchMatch: SearchExpr = %" PRIXPTR ", return %d", reinterpret_cast<uintptr_t>(expr),
          int(matched));
    return matched;
}

bool KxTable::SearchReady()
{
    searchLimitRow_ = -1;
    searchErrorRow_ = -1;
    if (KxSearchExpression* expr = searchExpr_.Get()) {
        expr->StartRound();
        return true;
    }
    Warning(__func__, "Search expresion is not set!");
    return false;
}

bool KxTable::SearchMatchRow(int32_t row, KxdRecord* record)
{
    const bool matched = SearchMatch(record);
    const KxSearchExpression* expr = searchExpr_.Get();
    if (searchLimitRow_ < 0 && expr->matchLimitExceeded)
        searchLimitRow_ = row;
    if (searchErrorRow_ < 0 && !expr->evalError.empty())
        searchErrorRow_ = row;
    return matched;
}

int32_t KxTable::SearchNext()
{
    if (!SearchReady())
        return -2;
    return ScanFromCurrent(*this, true,
                           [this](int32_t row) { return SearchMatchRow(row, RecordAhead(*this, row, 1)); });
}

int32_t KxTable::SearchPrev()
{
    if (!SearchReady())
        return -2;
    return ScanFromCurrent(*this, false,
                           [this](int32_t row) { return SearchMatchRow(row, RecordAhead(*this, row, -1)); });
}

int32_t KxTable::SearchMarkRows(std::vector<uint8_t>& hits)
{
    return SearchReady() ? MarkRows(hits) : -2;
}

int32_t KxTable::MarkRows(std::vector<uint8_t>& hits)
{
    const int32_t plain = MarkPlainRows(hits);
    if (plain >= 0)
        return plain;
    hits.assign(size_t(rowCount_), 0);
    int32_t count = 0;
    for (int32_t row = 0; row < rowCount_; ++row)
        if (SearchMatchRow(row, RecordAhead(*this, row, 1))) {
            hits[size_t(row)] = 1;
            ++count;
        }
    return count;
}

int32_t KxTable::SearchBookmarksOn()
{
    if (!SearchReady())
        return -2;
    // Other expressions are not tried on rows bookmarked already: a pattern
    // that runs out of steps there would match nothing after.
    std::vector<uint8_t> hits;
    const bool plain = MarkPlainRows(hits) >= 0;
    for (int32_t row = 0; row < rowCount_; ++row) {
        if (plain && !hits[size_t(row)])
            continue;
        KxdRecord* record = plain ? GetRecord(row) : RecordAhead(*this, row, 1);
        if (!record->bookmark && (plain || SearchMatchRow(row, record)))
            BookmarkSet(row, true);
    }
    const int32_t count = int32_t(bkmarks_.Length());
    Trace(2, __func__, "SearchBookmarksOn: returns %d", count);
    return count;
}

int32_t KxTable::SearchSelectionOn(uint32_t tag)
{
    if (!SearchReady())
        return -2;
    std::vector<uint8_t> hits;
    MarkRows(hits);
    for (int32_t row = 0; row < rowCount_; ++row)
        if (hits[size_t(row)])
            RecordSelect(row, GetRecord(row), tag);
    Trace(2, __func__, "SearchSelectionOn(%X): NumSelected = %d", tag, int(NumSelected));
    return int32_t(NumSelected);
}

int32_t KxTable::SearchFilterOn()
{
    ZmLib::KxFuncGuard guard(KxTableChannel, 4, "KxTable::SearchFilterOn");
    if (!SearchReady())
        return -2;
    if (FilterOn)
        return -5;
    if (NumSelected)
        return -3;
    KXTABLE_CHECK(!bkmarksHidden_.Length(), "!BkmarksHiden.Length()");
    std::vector<uint8_t> hits;
    MarkRows(hits);
    AllocFilteredArray(uint32_t(rowCount_));
    const int32_t cur = prefs_.CurPossition;
    int32_t newCur = 0;
    KxTableBkmarks fresh;
    uint32_t n = 0;
    // Records are read for their bookmarks alone, so only when there are any.
    const bool bookmarked = bkmarks_.Length() > 0;
    for (int32_t row = 0; row < rowCount_; ++row) {
        if (!hits[size_t(row)])
            continue;
        if (bookmarked) {
            if (const KxdRecord* ahead = FindRecord(row + PREFETCH_AHEAD))
                __builtin_prefetch(&ahead->bookmark);
            KxdRecord* record = GetRecord(row);
            if (record->bookmark) {
                bkmarks_.Remove(record->bookmark);
                record->bookmark->index = int32_t(n);
                fresh.Insert(record->bookmark, true);
            }
        }
        if (row == cur)
            newCur = int32_t(n);
        Filtered[n++] = uint32_t(row);
    }
    prefs_.CurPossition = newCur;
    FilterBookmarkMoveToHidden(fresh);
    Trace(2, __func__, "SearchFilterOn: return %d", int(n));
    FilterOn = true;
    rowCount_ = int32_t(n);
    return rowCount_;
}

bool KxTable::RecordFlagged(int32_t row, uint32_t mask)
{
    const KxdRecord* record = GetRecord(row);
    return ((mask & FLAGGED_PRES_ERROR) && record->errorKind != KXERR_NoErrors) ||
           ((mask & FLAGGED_DATA_ERROR) && record->prot.msg.LEVEL < 0);
}

int32_t KxTable::SearchFlaggedNext(uint32_t mask)
{
    return ScanFromCurrent(*this, true, [this, mask](int32_t row) { return RecordFlagged(row, mask); });
}

int32_t KxTable::SearchFlaggedPrev(uint32_t mask)
{
    return ScanFromCurrent(*this, false, [this, mask](int32_t row) { return RecordFlagged(row, mask); });
}
