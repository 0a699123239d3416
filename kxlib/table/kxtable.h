// One document's records: fixed blocks of record slots, the thread list, the
// process-name map, the aux tree, selection ranges, bookmarks and the filter.
// Rows and original indices differ only while the filter is on.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

#include "kxlib/kxauxtree.h"
#include "kxlib/kxdrecord.h"
#include "kxlib/table/kxsearchexpr.h"
#include "kxlib/table/kxtids.h"
#include "kxlib/table/prefkxtable.h"
#include "utils/common/dlist.h"
#include "utils/common/strbase.h"
#include "utils/kx/kx.h"

class KxTable;

struct KxTblock {
    static constexpr uint32_t SIZE = 10240;

    KxTblock(KxTable* table, uint32_t first);
    ~KxTblock();
    KxTblock(const KxTblock&) = delete;
    KxTblock& operator=(const KxTblock&) = delete;

    KxTblock* next = nullptr;
    KxdRecord* recs;
    KxTable* table;
    uint32_t count = 0;
    uint32_t first; // original index of recs[0]
    // Slots from here on were never written: they are still zero.
    uint32_t touched = 0;
};

// A run of selected rows with one tag.
struct SelRange : ZmLib::DListEntry<SelRange> {
    int32_t first;
    int32_t count;
    uint32_t tag;
};

// A run of rows taken by a copy; the copies of a selected run are selected
// with its tag in the destination.
struct KxCopyRun {
    int32_t first;
    int32_t count;
    uint32_t tag;
    bool selected;
};

struct KxBkmarkEntry : ZmLib::DListEntry<KxBkmarkEntry> {
    int32_t index;
    KxTable* table;
};

// Bookmark entries sorted by index; the list owns them.
class KxTableBkmarks {
public:
    KxTableBkmarks() = default;
    ~KxTableBkmarks() { Clear(); }
    KxTableBkmarks(const KxTableBkmarks&) = delete;
    KxTableBkmarks& operator=(const KxTableBkmarks&) = delete;

    // With append at the tail; otherwise before the first greater index. An
    // equal index is fatal.
    void Insert(KxBkmarkEntry* entry, bool append);
    void Remove(KxBkmarkEntry* entry);
    // Moves every entry to dest, which must be empty.
    void MoveAll(KxTableBkmarks& dest);
    // Frees every entry.
    void Clear();

    uint32_t Length() const { return list_.Count; }
    bool IsEmpty() const { return list_.IsEmpty(); }
    KxBkmarkEntry* First() const { return static_cast<KxBkmarkEntry*>(list_.First); }
    KxBkmarkEntry* Last() const { return static_cast<KxBkmarkEntry*>(list_.Last); }

private:
    ZmLib::DListBase list_;
};

class KxTable {
public:
    // path null: a table made in memory (editable). name null: the path's
    // file name cut at its first '.'.
    KxTable(const char* path, const char* name, const PrefKxTable& prefs);
    KxTable(const KxTable&) = delete;
    KxTable& operator=(const KxTable&) = delete;

    void AddRef() { ++refCount_; }
    // Frees the table when the last reference goes.
    void Release();
    uint32_t RefCount() const { return refCount_; }
    // Tables that exist now: a short-lived table that is never freed shows
    // here.
    static int32_t LiveCount();

    // The most bytes a name holds.
    static constexpr int NAME_CAPACITY = 49;

    const char* Name() const { return name_.c_str(); }
    const char* Path() const { return path_.c_str(); }
    // A document renamed or saved under another file; texts are cut at the
    // capacity.
    void SetName(const char* name) { name_.Set(name); }
    void SetPath(const char* path) { path_.Set(path); }
    uint64_t Key() const { return key_; }
    // Takes one reference; a second satellite is fatal.
    void SatelliteSet(KxTable* table);
    KxTable* Satellite() const { return satellite_; }

    int32_t RecordCount() const { return recordCount_; }
    int32_t RowCount() const { return rowCount_; }
    bool IsEditable() const { return prefs_.editable && !FilterOn; }
    bool Modified() const { return modified_; }
    void SetModified(bool modified) { modified_ = modified; }
    PrefKxTable& Prefs() { return prefs_; }
    bool TimeNormalised() const { return timeNormalised_; }
    const char* VersionText() const { return hasVersion_ ? version_.c_str() : nullptr; }
    // Takes another table's version text (a companion file's); null clears it.
    void SetVersionText(const char* text)
    {
        hasVersion_ = text != nullptr;
        version_.Set(text != nullptr ? text : "");
    }
    KxTids& Tids() { return tids_; }
    KxAuxTree& AuxTree() { return auxTree_; }
    // The name of a process, null when unknown.
    const char* ProcessName(uint64_t pid) const;
    // Sets (inserts or replaces) a process name, cut at ',' and 14 characters.
    void SetProcessName(uint64_t pid, const char* name);

    // The current row: -1 for none. A row from outside is clamped to the
    // visible rows.
    int32_t CurRow() const { return prefs_.CurPossition; }
    void SetCurRow(int32_t row);

    // Record access. A miss is an internal fault (fatal); indices from
    // outside go through the checked Find* forms, which return null.
    KxdRecord* GetRecordByOriginalIndex(int32_t i);
    KxdRecord* GetRecord(int32_t row);
    KxdRecord* FindRecordByOriginalIndex(int32_t i);
    KxdRecord* FindRecord(int32_t row);
    int32_t OriginalIndex(int32_t row) const { return FilterOn ? int32_t(Filtered[row]) : row; }
    // The block holding an original index and the offset in it, or null.
    KxTblock* BlockOf(int32_t i, uint32_t* offset);
    // Moves the records of a block from offset on into a new block behind
    // it.
    void SplitBlock(KxTblock* block, uint32_t offset);
    // Before n rows are inserted at original index i: a selection range
    // holding i past its first row is cut there, and the ranges and
    // bookmarks from i on move down n rows.
    void ShiftMarksForInsert(int32_t i, int32_t n);
    KxTblock* FirstBlock() const { return firstBlock_; }
    uint32_t BlockCount() const { return blockCount_; }
    // A table of more blocks frees their memory on the disposer's thread
    // (KxDisposer); one of this many or fewer frees it at once.
    static constexpr uint32_t FREE_HERE_BLOCKS = 1;
    // An aux tree of more nodes is freed on the disposer's thread too.
    static constexpr size_t FREE_HERE_NODES = 10000;
    // Frees tree: here when it is small, else on the disposer's thread.
    static void FreeAuxTree(std::unique_ptr<KxAuxTree> tree);
    // The slots that the next block will have once the last one is full:
    // a load takes their pages in ahead. ReleaseNextBlock frees them when no
    // record came to need them.
    KxdRecord* NextBlockRecords();
    void ReleaseNextBlock();

    // Changing records.
    KxdRecord* NewRecord();
    // A new record from a raw one, processed.
    KxdRecord* AppendRecord(const ZmLib::KxdProt& prot);
    // i from 0 to the record count (the count appends). Null with a warning
    // for an index outside.
    KxdRecord* InsertRecord(int32_t i);
    // n empty records at original index i (0 to the record count) in one
    // pass; null with a warning for an index outside.
    bool InsertRecords(int32_t i, int32_t n);
    // Deletes a visible row; false with a warning for a row outside.
    bool DelRecord(int32_t row);
    // Deletes the selected rows in one pass, or the current row when none
    // is selected; returns the count deleted.
    int32_t DelRecords();
    int32_t CopyAllRecords(KxTable& dest, int32_t pos);
    int32_t CopySelectedRecords(KxTable& dest, const uint32_t* tags, int ntags, int32_t pos);
    // The runs a copy of the selection takes now: the ranges whose tag is
    // among tags (every range with ntags 0), or without ranges the current
    // row alone (nothing without a current row).
    std::vector<KxCopyRun> SelectedRuns(const uint32_t* tags, int ntags) const;
    // Copies the runs (rows of this table) to dest at pos (-1 appends);
    // returns the count copied.
    int32_t CopyRuns(KxTable& dest, const std::vector<KxCopyRun>& runs, int32_t pos);
    // Changes whenever rows are inserted or deleted or the filter switches:
    // a row number taken earlier names the same record only while it holds.
    uint64_t RowsVersion() const { return rowsVersion_; }
    void ReformatTableData();
    // A new table of function calls with one reference, or null.
    KxTable* CreateFuncTable();
    // Rebuilds the aux tree over every record with the table's levels.
    void RebuildAuxTree();
    // Adds every record to tree, a block of records at a time; after each
    // block step (when given) is told how many records are done, and the
    // fill stops at once when it answers false (the table may be gone). A
    // tree built so aside can then take the table's place (KxAuxTree::Swap).
    // False when stopped.
    bool FillAuxTree(KxAuxTree& tree, const std::function<bool(int32_t done)>& step) const;
    void DebugInfo();
    int32_t MaxNest();

    // Bookmarks.
    void BookmarkSet(int32_t row, bool on);
    KxBkmarkEntry* BookmarkGetHelper(int32_t row, bool forward);
    KxBkmarkEntry* NearestByTime(int64_t time);
    void ClearBookmarks();
    void FilterBookmarkMoveToHidden(KxTableBkmarks& fresh);
    KxTableBkmarks& Bookmarks() { return bkmarks_; }
    KxTableBkmarks& HiddenBookmarks() { return bkmarksHidden_; }

    // Selections.
    void RecordSelectHelper(int32_t row, KxdRecord* record, uint32_t tag);
    void RecordDeselectHelper(int32_t row, KxdRecord* record);
    void RecordSelect(int32_t row, KxdRecord* record, uint32_t tag);
    void SelRangeSet(int32_t a, int32_t b, bool select, uint32_t tag);
    int32_t SelectAll(uint32_t tag);
    void ClearSelections();
    int32_t SelRangeGetNextBoundary();
    int32_t SelRangeGetPrevBoundary();
    // 0: *range contains the row; 1: *range is the first starting after it;
    // -1: neither.
    int SelRangeFind(int32_t row, SelRange** range) const;
    SelRange* FirstRange() const { return static_cast<SelRange*>(selRanges_.First); }
    uint32_t RangeCount() const { return selRanges_.Count; }

    // Filter.
    void AllocFilteredArray(uint32_t n);
    int32_t Selected2Filter();
    void ManualFilterPrepare(uint32_t n, bool withSelected);
    int32_t ManualFilter();
    void ClearFilter();

    // Time normalisation: TIME values relative to the record of a row (of
    // the first record with a time for a row without one), and back to
    // absolute times. A row outside the view is refused (false).
    bool NormalizeTimeOn(int32_t row);
    void NormalizeTimeOff();
    // Tells an empty table that the records still to come are already
    // relative to time0 (a document saved with normalised time): they are
    // kept as they are, and the table stays normalised on time0 and
    // time0Index instead of re-basing on its first record. False once the
    // table holds records.
    bool SetRelativeTimeBase(uint64_t time0, int32_t time0Index);
    // What a TIME of this table needs added to arrive in dest as its own:
    // made absolute, then made relative to dest's Time0 when dest takes
    // records that are already relative.
    int64_t TimeShiftInto(const KxTable& dest) const;
    // Whether a record of this table has a time: one that got none from
    // its source holds the absolute time 0.
    bool HasTime(const KxdRecord& record) const;
    // Whether a record with a time has started the table's time.
    bool TimeStarted() const { return timeStarted_; }
    // What a stored TIME needs added to be absolute.
    uint64_t AbsoluteBase() const;
    // The records without a time that arrived before the record that started
    // a relative table's time get absolute time 0, as those after it. A load
    // that renders records on other threads calls it once they are done.
    void SettleRecordsBeforeTime();

    // Search. The languages library registers the factory that makes the
    // expressions; without one every expression is refused.
    static void SetSearchExpressionFactory(KxSearchExpressionFactory factory);
    // A fresh expression of the registered factory (one reference), null
    // without one.
    static KxSearchExpression* NewSearchExpression();
    // mode: SEARCH_MODE_SIMPLE, SEARCH_MODE_COMPLEX or SEARCH_MODE_AUTO; it
    // is written back with the mode that settled.
    bool SearchSetExpression(const char* text, uint8_t matchCase, uint32_t& mode);
    bool SearchMatch(KxdRecord* record);
    // Rows from the current one, exclusive, without wrapping: the row, -1
    // when none matches, -2 without an expression.
    int32_t SearchNext();
    int32_t SearchPrev();
    int32_t SearchBookmarksOn();
    int32_t SearchSelectionOn(uint32_t tag);
    // -5 when the filter is on, -3 when rows are selected.
    int32_t SearchFilterOn();
    // Sets hits to one byte per row, 1 where the row matches; the number of
    // matches, or -2 without an expression. A simple expression is tested on
    // several threads, without filling its match slots.
    int32_t SearchMarkRows(std::vector<uint8_t>& hits);
    // Sets hits to one byte per row, 1 where test passes the row's record;
    // their count. The rows are tested on several threads, so test must
    // only read the record. readsStrings: test reads the field texts.
    using RecordTest = std::function<bool(const KxdRecord& record)>;
    int32_t MarkRowsWhere(const RecordTest& test, bool readsStrings, std::vector<uint8_t>& hits) const;
    int32_t SearchMode() const { return searchMode_; }
    // The row at which a pattern of the expression ran out of its match
    // limit during the last search over the rows (the expression names the
    // pattern), -1 when none did: the search's result is then incomplete.
    int32_t SearchLimitRow() const { return searchLimitRow_; }
    // The first row on which evaluating the expression failed during the
    // last search over the rows (the expression keeps why), -1 when none.
    int32_t SearchErrorRow() const { return searchErrorRow_; }
    // The table's expression (null when none); a holder that keeps it adds
    // a reference.
    KxSearchExpression* SearchExpression() const { return searchExpr_.Get(); }
    // Why the last expression asked for in complex mode was refused, or why
    // a text was taken as no expression at all (blank, too long); empty when
    // it was not, or when the parser gave no reason.
    const std::string& SearchError() const { return searchError_; }

    // Next or previous row from the current one, exclusive, without
    // wrapping, whose record meets a bit of mask; -1 when none.
    static constexpr uint32_t FLAGGED_DATA_ERROR = 1u << 1; // LEVEL below 0
    static constexpr uint32_t FLAGGED_PRES_ERROR = 1u << 2; // a presentation error kind
    int32_t SearchFlaggedNext(uint32_t mask);
    int32_t SearchFlaggedPrev(uint32_t mask);

    // Document file sections. Serialize* append the section's bytes to out
    // (nothing for an empty section). Deserialize* apply a section read from
    // a file once every record is in: whatever lies outside the data or the
    // table is reported and skipped; false when nothing could be applied.
    void SerializeFiltered(std::vector<uint8_t>& out) const;
    void SerializeBookmarks(std::vector<uint8_t>& out) const;
    void SerializeSelections(std::vector<uint8_t>& out) const;
    bool DeserializeFiltered(const uint8_t* data, size_t size);
    bool DeserializeBookmarks(const uint8_t* data, size_t size);
    bool DeserializeSelections(const uint8_t* data, size_t size);

    uint32_t NumSelected = 0;
    uint32_t NumMannualFiltered = 0;
    uint32_t NumMannualFilteredAsked = 0;
    bool FilterOn = false;
    uint32_t* Filtered = nullptr;

private:
    friend struct KxdRecord;
    ~KxTable();

    void Trace(int32_t level, const char* function, const char* format, ...) __attribute__((format(printf, 4, 5)));
    void Warning(const char* function, const char* format, ...) __attribute__((format(printf, 3, 4)));
    void Error(const char* function, const char* format, ...) __attribute__((format(printf, 3, 4)));
    [[noreturn]] void Fatal(const char* function, int line, const char* condition);
    void FreeFiltered();
    [[noreturn]] void SelectionInconsistency(int32_t row);
    void FreeRange(SelRange* range);
    void PointRecords(SelRange* range, int32_t from, int32_t to);
    // Moves every record's TIME and every thread's last time by delta.
    void ShiftTimes(int64_t delta);
    // The original index of the first record with a time; -1 when none has.
    int32_t FirstTimedRecord();
    // A non-fatal failed check on the TABLE channel.
    void CheckFailed(const char* function, int line, const char* condition);
    bool AddHiddenBookmark(int32_t orig);
    // False (with the warning) when the table has no expression.
    bool SearchReady();
    // SearchMatch for one row of a search over the rows; notes the first
    // row at which a pattern ran out of its match limit.
    bool SearchMatchRow(int32_t row, KxdRecord* record);
    // SearchMarkRows after SearchReady.
    int32_t MarkRows(std::vector<uint8_t>& hits);
    // For a simple expression: the rows that hold its text, found on
    // several threads, and their count; -1 (hits untouched) for any other.
    int32_t MarkPlainRows(std::vector<uint8_t>& hits) const;
    bool RecordFlagged(int32_t row, uint32_t mask);

    uint32_t refCount_ = 1;
    PrefKxTable prefs_;
    ZmLib::Str<NAME_CAPACITY + 1> name_;
    ZmLib::Str<1100> path_;
    int32_t recordCount_ = 0;
    int32_t rowCount_ = 0;
    bool modified_ = false;
    KxTblock* firstBlock_ = nullptr;
    KxTblock* lastBlock_ = nullptr;
    uint32_t blockCount_ = 0;
    KxTblock* cursor_ = nullptr;
    KxTblock* nextBlock_ = nullptr;
    KxTids tids_;
    std::unordered_map<uint64_t, std::unique_ptr<char[]>> processNames_;
    ZmLib::Str<ZmLib::KxProt::LEN_STRFIELDS> version_;
    bool hasVersion_ = false;
    KxAuxTree auxTree_;
    ZmLib::DListBase selRanges_;
    KxTableBkmarks bkmarks_;
    KxTableBkmarks bkmarksHidden_;
    bool timeNormalised_;
    // Records arriving are already relative to Time0 (SetRelativeTimeBase).
    bool relativeTimeBase_ = false;
    // A record with a time has started the table's time (Time0).
    bool timeStarted_ = false;
    // Records before the one that started the time, still to be settled.
    int32_t recordsBeforeTime_ = 0;
    KxTable* satellite_ = nullptr;
    KxSearchHolder searchExpr_;
    int32_t searchMode_ = SEARCH_MODE_NONE;
    std::string searchError_;
    int32_t searchLimitRow_ = -1;
    int32_t searchErrorRow_ = -1;
    uint64_t key_;
    uint64_t rowsVersion_ = 0;
};
