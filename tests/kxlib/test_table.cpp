// Table storage in blocks, lookups, copies, selections, bookmarks and filters.
#include <gtest/gtest.h>

#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "table_fixtures.h"
#include "kxlib/table/kxblockmem.h"
#include "kxlib/table/kxdisposer.h"
#include "utils/common/kxexcept.h"

namespace {

// A table of n records numbered by NUM1, TIME 1000 + number.
KxTable* Numbered(int n, const char* name = "t")
{
    KxTable* table = new KxTable(nullptr, name, PlainPrefs());
    for (int i = 0; i < n; ++i) {
        RawRecord raw;
        raw.num1 = uint64_t(i);
        raw.time = uint64_t(1000 + i);
        table->AppendRecord(raw.Build());
    }
    return table;
}

int64_t Num(KxTable& table, int32_t row) { return table.GetRecord(row)->Int64(FIELD_NUM1); }

std::vector<int64_t> Nums(KxTable& table)
{
    std::vector<int64_t> out;
    for (int32_t row = 0; row < table.RowCount(); ++row)
        out.push_back(Num(table, row));
    return out;
}

} // namespace

TEST(TableBlocks, InsertsAndDeletesAcrossBlocks)
{
    TableRef table(Numbered(25000));
    EXPECT_EQ(table->BlockCount(), 3u);
    EXPECT_EQ(table->FirstBlock()->next->first, 10240u);
    EXPECT_EQ(table->GetRecord(10240)->block, table->FirstBlock()->next);
    std::vector<int64_t> expect = Nums(*table);
    // A full first block splits; later blocks shift their first index.
    for (int32_t at : {5000, 10239, 10240, 0, 20480, 24999}) {
        KxdRecord* fresh = table->InsertRecord(at);
        ASSERT_NE(fresh, nullptr);
        RawRecord raw;
        raw.num1 = uint64_t(100000 + at);
        fresh->prot = raw.Build();
        KxdRecord::ProcessLine4Client(fresh, true);
        expect.insert(expect.begin() + at, 100000 + at);
    }
    for (int32_t at : {10240, 0, 15000, 20481}) {
        ASSERT_TRUE(table->DelRecord(at));
        expect.erase(expect.begin() + at);
    }
    ASSERT_TRUE(table->DelRecord(table->RecordCount() - 1));
    expect.pop_back();
    ASSERT_EQ(Nums(*table), expect);
    // Moved records keep their texts inside their own slot.
    KxdRecord* r = table->GetRecord(12345);
    EXPECT_EQ(r->Text(FIELD_NUM1), std::to_string(expect[12345]));
    EXPECT_GE(r->Text(FIELD_NUM1), reinterpret_cast<char*>(r));
    EXPECT_LT(r->Text(FIELD_NUM1), reinterpret_cast<char*>(r + 1));
}

TEST(TableBlocks, SplitKeepsLinks)
{
    TableRef table(Numbered(10240));
    table->BookmarkSet(9000, true);
    table->SelRangeSet(8000, 8002, true, 3);
    table->GetRecord(9500)->errorKind = KXERR_TidTimeRollback;
    ASSERT_NE(table->InsertRecord(7000), nullptr);
    EXPECT_EQ(table->BlockCount(), 2u);
    EXPECT_EQ(table->GetRecord(9001)->bookmark->index, 9001);
    EXPECT_EQ(table->GetRecord(8001)->selRange, table->FirstRange());
    EXPECT_EQ(Ranges(*table), (RangeList{{8001, 3, 3}}));
    EXPECT_EQ(table->GetRecord(9501)->errorKind, KXERR_TidTimeRollback);
    // The tail block starts after the inserted record.
    EXPECT_EQ(table->GetRecord(9501)->block->first, 7001u);

    // An insert inside a range splits it.
    TableRef small(Numbered(20));
    small->SelRangeSet(5, 9, true, 1);
    small->InsertRecord(7);
    EXPECT_EQ(Ranges(*small), (RangeList{{5, 2, 1}, {8, 3, 1}}));
    EXPECT_EQ(small->GetRecord(7)->selRange, nullptr);
    EXPECT_EQ(small->GetRecord(10)->selRange, small->FirstRange()->NextEntry());
}

TEST(TableAccess, OutsideInputsAreCheckedOrClamped)
{
    TableRef table(Numbered(3));
    EXPECT_EQ(table->FindRecordByOriginalIndex(3), nullptr);
    EXPECT_EQ(table->FindRecordByOriginalIndex(-1), nullptr);
    EXPECT_EQ(table->FindRecord(5), nullptr);
    EXPECT_NE(table->FindRecord(2), nullptr);
    EXPECT_EQ(table->InsertRecord(4), nullptr);
    EXPECT_FALSE(table->DelRecord(3));
    EXPECT_EQ(table->RecordCount(), 3);
    // The count appends.
    EXPECT_NE(table->InsertRecord(3), nullptr);
    EXPECT_EQ(table->RecordCount(), 4);
    table->SetCurRow(99);
    EXPECT_EQ(table->CurRow(), 3);
    table->SetCurRow(-7);
    EXPECT_EQ(table->CurRow(), -1);
}

TEST(TableLife, ReferenceCountAndNames)
{
    KxTable* table = new KxTable("/data/logs/server.2019.kx", nullptr, PlainPrefs());
    EXPECT_STREQ(table->Name(), "server");
    EXPECT_FALSE(table->IsEditable());
    KxTable* satellite = new KxTable("C:\\x\\udp.kxudp", nullptr, PlainPrefs());
    EXPECT_STREQ(satellite->Name(), "udp");
    TableRef quoted(new KxTable("\"server.2019.kx\"", nullptr, PlainPrefs()));
    EXPECT_STREQ(quoted->Name(), "server");
    table->SatelliteSet(satellite);
    EXPECT_EQ(satellite->RefCount(), 2u);
    satellite->Release();
    table->AddRef();
    table->Release();
    EXPECT_EQ(table->RefCount(), 1u);
    table->Release(); // frees the satellite too (checked by the leak sanitizer)
}

// The records of a table of many blocks are freed on the disposer's
// thread, all of them; a table of one block frees them at once.
TEST(TableLife, ManyBlocksAreFreedOnTheDisposersThread)
{
    const struct {
        int records;
        uint64_t jobs;
    } cases[] = {{100, 0}, {int(KxTblock::SIZE) * 3 + 5, 1}};
    for (const auto& c : cases) {
        KxDisposer::Wait();
        const size_t before = KxBlockMemory::InUse();
        const uint64_t jobs = KxDisposer::JobsRun();
        KxTable* table = Numbered(c.records);
        ASSERT_GT(KxBlockMemory::InUse(), before);
        table->Release();
        if (c.jobs == 0) {
            EXPECT_EQ(KxBlockMemory::InUse(), before) << c.records;
        }
        KxDisposer::Wait();
        EXPECT_EQ(KxDisposer::JobsRun() - jobs, c.jobs) << c.records;
        EXPECT_EQ(KxBlockMemory::InUse(), before) << c.records;
    }
}

// An aux tree of many nodes is freed on the disposer's thread, a small one
// at once.
TEST(TableLife, ALargeAuxTreeIsFreedOnTheDisposersThread)
{
    const struct {
        int nodes;
        uint64_t jobs;
    } cases[] = {{10, 0}, {int(KxTable::FREE_HERE_NODES) + 1, 1}};
    for (const auto& c : cases) {
        auto tree = std::make_unique<KxAuxTree>(FIELD_TEXT, -1);
        KxdRecord record;
        record.Reset();
        char* text = record.prot.msg.strings + 1;
        record.SetText(FIELD_TEXT, text);
        for (int i = 0; i < c.nodes; ++i) {
            snprintf(text, 16, "n%d", i);
            tree->Add(&record);
        }
        ASSERT_EQ(tree->Count(), c.nodes);
        KxDisposer::Wait();
        const uint64_t jobs = KxDisposer::JobsRun();
        KxTable::FreeAuxTree(std::move(tree));
        KxDisposer::Wait();
        EXPECT_EQ(KxDisposer::JobsRun() - jobs, c.jobs) << c.nodes;
    }
}

// Jobs run in order, each once, whatever stops the worker between them.
TEST(Disposer, RunsEveryJobInOrderAcrossStops)
{
    std::vector<int> ran;
    std::mutex mutex;
    std::vector<std::thread::id> threads;
    for (int i = 0; i < 6; ++i) {
        KxDisposer::Hand([&, i] {
            const std::lock_guard<std::mutex> lock(mutex);
            ran.push_back(i);
            threads.push_back(std::this_thread::get_id());
        });
        if (i == 2)
            KxDisposer::Stop();
    }
    KxDisposer::Wait();
    EXPECT_EQ(ran, (std::vector<int>{0, 1, 2, 3, 4, 5}));
    for (const std::thread::id& id : threads)
        EXPECT_NE(id, std::this_thread::get_id());
    KxDisposer::Stop();
    KxDisposer::Wait();
}

// The process's exit waits for the jobs handed: what they free is freed
// before the leak check and before static objects go.
TEST(DisposerDeathTest, ExitWaitsForTheJobsHanded)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The child runs this function anew: the name is the same in both.
    const std::string marker = ::testing::TempDir() + "kxlib_disposer_exit_" + std::to_string(getuid());
    std::remove(marker.c_str());
    EXPECT_EXIT(
        {
            KxTable* table = Numbered(int(KxTblock::SIZE) * 2 + 1);
            KxDisposer::Hand([marker] {
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                std::ofstream(marker) << "done";
            });
            table->Release();
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    std::ifstream written(marker);
    std::string text;
    written >> text;
    EXPECT_EQ(text, "done");
    std::remove(marker.c_str());
}

TEST(TableThreads, ListIsFullAfter1024AndFunctionTableSkipsTheRest)
{
    Reports reports;
    TableRef table(new KxTable(nullptr, "t", PlainPrefs()));
    for (int i = 0; i < 1030; ++i) {
        RawRecord raw;
        raw.flags = KXFLAGS_FUNC_ENTER;
        raw.func = "f";
        raw.tid = uint64_t(5000 + i);
        KxdRecord* r = table->AppendRecord(raw.Build());
        EXPECT_EQ(r->errorKind, i < 1024 ? KXERR_NoErrors : KXERR_TidListBroken) << i;
    }
    EXPECT_EQ(table->GetRecord(1024)->prot.NEST, 0);
    EXPECT_EQ(table->Tids().Count(), 1024);
    EXPECT_EQ(table->Tids().Find(6024), nullptr);
    EXPECT_TRUE(Reports::Has("KxTids list is full"));
    EXPECT_STREQ(table->Tids().AddNewData(5000, "a-very-long-thread-name")->name, "a-very-long-th");
    EXPECT_STREQ(table->Tids().AddNewData(5001, "w,x")->name, "w");

    TableRef funcs(table->CreateFuncTable());
    ASSERT_NE(funcs.table, nullptr);
    EXPECT_EQ(funcs->RecordCount(), 1024);
    EXPECT_EQ(Reports::Count("Threads beyond the first 1024 are skipped"), 1);
}

TEST(TableFunctions, CreateFuncTableCountsCalls)
{
    TableRef table(new KxTable(nullptr, "src", PlainPrefs()));
    const struct {
        uint32_t flags;
        const char* func;
        uint64_t tid;
    } records[] = {{KXFLAGS_FUNC_ENTER, "main", 1}, {KXFLAGS_FUNC_ENTER, "work", 1}, {KXFLAGS_FUNC_LEAVE, "work", 1},
                   {KXFLAGS_FUNC_ENTER, "work", 1}, {KXFLAGS_FUNC_LEAVE, "work", 1}, {0, nullptr, 1},
                   {KXFLAGS_FUNC_ENTER, "other", 2}};
    for (const auto& rec : records) {
        RawRecord raw;
        raw.flags = rec.flags;
        raw.func = rec.func;
        raw.tid = rec.tid;
        table->AppendRecord(raw.Build());
    }
    TableRef funcs(table->CreateFuncTable());
    ASSERT_NE(funcs.table, nullptr);
    EXPECT_STREQ(funcs->Name(), "src:functions");
    ASSERT_EQ(funcs->RecordCount(), 3);
    EXPECT_STREQ(funcs->GetRecord(0)->Text(FIELD_FUNC), "main");
    EXPECT_STREQ(funcs->GetRecord(1)->Text(FIELD_FUNC), "work");
    EXPECT_STREQ(funcs->GetRecord(1)->Text(FIELD_COUNT), "2");
    EXPECT_STREQ(funcs->GetRecord(2)->Text(FIELD_FUNC), "other");
    EXPECT_EQ(table->GetRecord(1)->prot.COUNT, 2);

    // The functions table's records are fresh copies without error kinds.
    table->GetRecord(0)->errorKind = KXERR_TidTimeRollback;
    TableRef again(table->CreateFuncTable());
    ASSERT_NE(again.table, nullptr);
    EXPECT_EQ(again->GetRecord(0)->errorKind, KXERR_NoErrors);

    // The TID is reported as a signed 32-bit number.
    Reports reports;
    table->GetRecord(0)->prot.msg.TID = 0xFFFFFFFFFFFFFFFEull;
    EXPECT_EQ(table->CreateFuncTable(), nullptr);
    EXPECT_TRUE(Reports::Has("TID -2 is not present in the table"));

    TableRef plain(Numbered(3, "p"));
    TableRef none(plain->CreateFuncTable());
    ASSERT_NE(none.table, nullptr);
    EXPECT_EQ(none->RecordCount(), 0);
}

TEST(TableFormats, ReformatTableData)
{
    TableRef table(Numbered(2));
    table->Prefs().formats[FIELD_NUM1] = NUMFMT_HEX;
    table->Prefs().formats[FIELD_PID] = 99; // from an edited file
    table->ReformatTableData();
    EXPECT_STREQ(table->GetRecord(1)->Text(FIELD_NUM1), "0x1");
    EXPECT_STREQ(table->GetRecord(1)->Text(FIELD_PID), "100");
}

TEST(TableCopy, CopySelectedAndCopyIntoItself)
{
    TableRef src(Numbered(10, "s"));
    TableRef dest(new KxTable(nullptr, "d", PlainPrefs()));
    EXPECT_EQ(src->CopySelectedRecords(*dest, nullptr, 0, -1), 0); // no current row
    src->SetCurRow(4);
    EXPECT_EQ(src->CopySelectedRecords(*dest, nullptr, 0, -1), 1);
    src->SelRangeSet(1, 2, true, 5);
    src->SelRangeSet(6, 6, true, 9);
    uint32_t tags[] = {9};
    EXPECT_EQ(src->CopySelectedRecords(*dest, tags, 1, 0), 1);
    EXPECT_EQ(src->CopySelectedRecords(*dest, nullptr, 0, -1), 3);
    EXPECT_EQ(Nums(*dest), (std::vector<int64_t>{6, 4, 1, 2, 6}));
    EXPECT_EQ(Ranges(*dest), (RangeList{{0, 1, 9}, {2, 2, 5}, {4, 1, 9}}));
    EXPECT_EQ(dest->NumSelected, 4u);

    TableRef self(Numbered(3));
    EXPECT_EQ(self->CopyAllRecords(*self, 1), 3);
    EXPECT_EQ(Nums(*self), (std::vector<int64_t>{0, 0, 1, 2, 1, 2}));
}

TEST(Selections, RangesAreLoggedAsUpperCaseHex)
{
    Reports reports;
    TableRef table(Numbered(4));
    table->SelRangeSet(2, 2, true, 1);
    ASSERT_NE(table->FirstRange(), nullptr);
    char hex[32];
    snprintf(hex, sizeof(hex), "%" PRIXPTR, reinterpret_cast<uintptr_t>(table->FirstRange()));
    table->SelRangeSet(2, 2, false, 1);
    EXPECT_TRUE(Reports::Has(std::string("Rec #2 is selected: ") + hex));
    EXPECT_TRUE(Reports::Has(std::string("SelRange ") + hex + " deleted"));
}

TEST(Selections, SplitAndMerge)
{
    TableRef table(Numbered(20));
    for (int32_t row : {5, 7, 6})
        table->SelRangeSet(row, row, true, 1);
    EXPECT_EQ(Ranges(*table), (RangeList{{5, 3, 1}}));
    EXPECT_EQ(table->GetRecord(7)->selRange, table->FirstRange());
    table->SelRangeSet(6, 6, true, 2);
    EXPECT_EQ(Ranges(*table), (RangeList{{5, 1, 1}, {6, 1, 2}, {7, 1, 1}}));
    EXPECT_EQ(table->NumSelected, 3u);

    table->ClearSelections();
    table->SelRangeSet(14, 10, true, 4);
    table->SelRangeSet(12, 12, false, 0);
    EXPECT_EQ(Ranges(*table), (RangeList{{10, 2, 4}, {13, 2, 4}}));
    table->SelRangeSet(13, 14, false, 0);
    EXPECT_EQ(Ranges(*table), (RangeList{{10, 2, 4}}));
    EXPECT_EQ(table->NumSelected, 2u);
}

TEST(Selections, BoundariesSelectAllAndBrokenData)
{
    TableRef empty(Numbered(0));
    EXPECT_EQ(empty->SelectAll(1), 0);
    EXPECT_EQ(empty->RangeCount(), 0u);
    TableRef table(Numbered(20));
    table->SelRangeSet(3, 5, true, 1);
    table->SelRangeSet(10, 12, true, 1);
    // A range from the row count on holds no row: nothing changes.
    table->SelRangeSet(20, 25, true, 1);
    table->SelRangeSet(25, 20, false, 0);
    EXPECT_EQ(Ranges(*table), (RangeList{{3, 3, 1}, {10, 3, 1}}));
    EXPECT_EQ(table->NumSelected, 6u);
    // From a range's first row back to the end of the range before it; from
    // its last row on to the first row of the next.
    const struct {
        int32_t row, prev, next;
    } cases[] = {{3, 0, 5}, {12, 10, 19}, {7, 5, 10}, {10, 5, 12}, {5, 3, 10}, {0, 0, 3}, {19, 12, 19}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.row);
        table->SetCurRow(c.row);
        EXPECT_EQ(table->SelRangeGetPrevBoundary(), c.prev);
        EXPECT_EQ(table->SelRangeGetNextBoundary(), c.next);
    }
    EXPECT_EQ(table->SelectAll(2), 20);
    EXPECT_EQ(Ranges(*table), (RangeList{{0, 20, 2}}));

    TableRef broken(Numbered(5, "b"));
    broken->SelRangeSet(1, 3, true, 1);
    broken->GetRecord(2)->selRange = nullptr;
    try {
        broken->RecordSelectHelper(2, broken->GetRecord(2), 1);
        FAIL() << "no exception";
    } catch (const ZmLib::KxExcept& e) {
        EXPECT_EQ(e.code, -1);
        EXPECT_STREQ(e.text, "KxTable 'b', Record #2: inconsistency in selection data");
    }
}

TEST(Bookmarks, OrderAndHelpers)
{
    TableRef table(Numbered(10));
    for (int32_t r : {7, 2, 5})
        table->BookmarkSet(r, true);
    EXPECT_EQ(Marks(table->Bookmarks()), (std::vector<int32_t>{2, 5, 7}));
    EXPECT_EQ(table->BookmarkGetHelper(5, true)->index, 7);
    EXPECT_EQ(table->BookmarkGetHelper(5, false)->index, 2);
    EXPECT_EQ(table->BookmarkGetHelper(7, true), nullptr);
    EXPECT_EQ(table->NearestByTime(1006)->index, 5);
    table->BookmarkSet(5, false);
    EXPECT_EQ(table->GetRecord(5)->bookmark, nullptr);
    table->DelRecord(2);
    EXPECT_EQ(Marks(table->Bookmarks()), (std::vector<int32_t>{6}));
}

TEST(Fatal, ReportsCarryTheirChannelAndTableKey)
{
    TableRef table(Numbered(2));
    char key[32];
    snprintf(key, sizeof(key), "%llX", (unsigned long long)table->Key());
    table->AllocFilteredArray(2);
    EXPECT_DEATH(
        {
            PrintReportsToStderr();
            table->AllocFilteredArray(2);
        },
        std::string("SYS -6 ") + key + " !Filtered\n");
    EXPECT_DEATH(
        {
            PrintReportsToStderr();
            KxTableBkmarks list;
            list.Insert(new KxBkmarkEntry{{}, 1, table.table}, false);
            list.Insert(new KxBkmarkEntry{{}, 1, table.table}, false);
        },
        std::string("TABLE -6 ") + key + " entry->index != bk->index\n");
}

TEST(Filter, SelectionFilterThenClearRestores)
{
    TableRef table(Numbered(20));
    EXPECT_EQ(table->Selected2Filter(), -4);
    table->SelRangeSet(4, 6, true, 1);
    table->SelRangeSet(10, 11, true, 2);
    table->BookmarkSet(5, true);
    table->BookmarkSet(15, true);
    table->SetCurRow(10);
    EXPECT_EQ(table->Selected2Filter(), 5);
    EXPECT_EQ(table->Selected2Filter(), -5);
    EXPECT_EQ(table->CurRow(), 3);
    EXPECT_EQ(Nums(*table), (std::vector<int64_t>{4, 5, 6, 10, 11}));
    EXPECT_EQ(Ranges(*table), (RangeList{{0, 3, 1}, {3, 2, 2}}));
    EXPECT_EQ(Marks(table->Bookmarks()), (std::vector<int32_t>{1}));
    EXPECT_EQ(Marks(table->HiddenBookmarks()), (std::vector<int32_t>{15}));
    EXPECT_FALSE(table->IsEditable());

    table->ClearBookmarks();
    table->BookmarkSet(4, true);
    table->ClearFilter();
    EXPECT_FALSE(table->FilterOn);
    EXPECT_EQ(table->RowCount(), 20);
    EXPECT_EQ(table->CurRow(), 10);
    EXPECT_EQ(Ranges(*table), (RangeList{{4, 3, 1}, {10, 2, 2}}));
    EXPECT_EQ(table->NumSelected, 5u);
    EXPECT_EQ(Marks(table->Bookmarks()), (std::vector<int32_t>{11, 15}));
    EXPECT_EQ(table->GetRecord(11)->bookmark->index, 11);
}

TEST(Filter, ManualFilterAndDeletingEveryRow)
{
    TableRef table(Numbered(10));
    table->BookmarkSet(1, true);
    table->BookmarkSet(8, true);
    table->SetCurRow(8);
    table->ManualFilterPrepare(2, false);
    table->Filtered[0] = 3;
    table->Filtered[1] = 8;
    table->NumMannualFiltered = 2;
    EXPECT_EQ(table->ManualFilter(), 2);
    EXPECT_EQ(table->CurRow(), 1);
    EXPECT_EQ(Marks(table->HiddenBookmarks()), (std::vector<int32_t>{1}));
    EXPECT_EQ(Marks(table->Bookmarks()), (std::vector<int32_t>{1}));
    // A current row set from outside is clamped to the visible rows.
    table->SetCurRow(40);
    EXPECT_EQ(table->CurRow(), 1);

    ASSERT_TRUE(table->DelRecord(1));
    EXPECT_EQ(table->RowCount(), 1);
    EXPECT_EQ(table->Filtered[0], 3u);
    ASSERT_TRUE(table->DelRecord(0));
    EXPECT_FALSE(table->FilterOn);
    EXPECT_EQ(table->RecordCount(), 8);
    EXPECT_EQ(table->RowCount(), 8);
    EXPECT_EQ(Marks(table->Bookmarks()), (std::vector<int32_t>{1}));
    EXPECT_TRUE(table->IsEditable());
}

namespace {

// What a table shows: the numbers of its rows, its ranges and both
// bookmark lists, the filter and the current row.
struct TableState {
    std::vector<int64_t> nums;
    RangeList ranges;
    std::vector<int32_t> marks;
    std::vector<int32_t> hidden;
    bool filterOn;
    int32_t cur;
    bool operator==(const TableState& o) const
    {
        return nums == o.nums && ranges == o.ranges && marks == o.marks && hidden == o.hidden &&
               filterOn == o.filterOn && cur == o.cur;
    }
};

TableState StateOf(KxTable& table)
{
    return {Nums(table), Ranges(table), Marks(table.Bookmarks()), Marks(table.HiddenBookmarks()), table.FilterOn,
            table.CurRow()};
}

struct DeleteCase {
    const char* name;
    int records;
    std::vector<std::vector<int32_t>> selections; // {first, last}
    std::vector<int32_t> bookmarks;
    std::vector<int32_t> filter; // original indices, empty: no filter
    int32_t cur;
};

KxTable* Prepared(const DeleteCase& c)
{
    KxTable* table = Numbered(c.records);
    for (int32_t mark : c.bookmarks)
        table->BookmarkSet(mark, true);
    if (!c.filter.empty()) {
        table->ManualFilterPrepare(uint32_t(c.filter.size()), false);
        for (int32_t orig : c.filter)
            table->Filtered[table->NumMannualFiltered++] = uint32_t(orig);
        table->ManualFilter();
    }
    for (const std::vector<int32_t>& sel : c.selections)
        table->SelRangeSet(sel[0], sel[1], true, uint32_t(sel[0] + 1));
    table->SetCurRow(c.cur);
    return table;
}

} // namespace

// The one-pass delete leaves the table exactly as deleting each row on its
// own does: rows, bookmarks (visible and hidden), filter and current row.
TEST(TableRows, DelRecordsMatchesRowByRowDeletion)
{
    const DeleteCase cases[] = {
        {"current row only", 12, {}, {3, 5}, {}, 5},
        {"scattered across blocks", 25000, {{3, 3}, {10239, 10241}, {20000, 20100}, {24999, 24999}},
         {2, 4, 10240, 10242, 24998}, {}, 24999},
        {"every row", 30, {{0, 29}}, {0, 29}, {}, 7},
        {"under a filter", 40, {{1, 2}, {5, 5}}, {4, 9, 20, 33}, {2, 4, 9, 11, 20, 33}, 4},
        {"every visible row of a filter", 20, {{0, 2}}, {1, 6, 15}, {6, 8, 15}, 1},
        {"nothing current", 5, {}, {}, {}, -1},
    };
    for (const DeleteCase& c : cases) {
        SCOPED_TRACE(c.name);
        TableRef bulk(Prepared(c));
        TableRef single(Prepared(c));
        std::vector<int32_t> rows;
        for (SelRange* r = single->FirstRange(); r; r = r->NextEntry())
            for (int32_t k = 0; k < r->count; ++k)
                rows.push_back(r->first + k);
        if (rows.empty() && single->CurRow() >= 0)
            rows.push_back(single->CurRow());
        for (auto row = rows.rbegin(); row != rows.rend(); ++row)
            ASSERT_TRUE(single->DelRecord(*row));
        const uint64_t version = bulk->RowsVersion();
        EXPECT_EQ(bulk->DelRecords(), int32_t(rows.size()));
        EXPECT_EQ(bulk->NumSelected, 0u);
        EXPECT_TRUE(StateOf(*bulk) == StateOf(*single));
        EXPECT_EQ(Nums(*bulk), Nums(*single));
        EXPECT_EQ(bulk->RowsVersion() != version, !rows.empty());
        for (KxBkmarkEntry* b = bulk->Bookmarks().First(); b; b = b->NextEntry())
            EXPECT_EQ(bulk->GetRecord(b->index)->bookmark, b);
    }
}

// Copies at a position land as inserting them one by one would, across
// block boundaries, with their ranges and the destination's shifted.
TEST(TableRows, CopyRunsAtAPositionKeepsOrderRangesAndBookmarks)
{
    struct Case {
        int destRecords;
        int32_t pos;
        std::vector<KxCopyRun> runs;
    };
    const Case cases[] = {
        {10, 4, {{2, 3, 7, true}, {8, 1, 9, true}}},
        {10240, 10000, {{0, 500, 3, true}}},
        {20480, 10240, {{100, 12000, 5, true}}},
        {3, 0, {{6, 1, 0, false}}},
        {6, 6, {{1, 2, 4, true}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pos);
        TableRef source(Numbered(13000, "s"));
        TableRef dest(Numbered(c.destRecords, "d"));
        dest->SelRangeSet(c.pos > 0 ? c.pos - 1 : 0, c.pos + 1 < c.destRecords ? c.pos + 1 : c.destRecords - 1, true,
                          1);
        dest->BookmarkSet(c.destRecords - 1, true);
        std::vector<int64_t> expect = Nums(*dest);
        std::vector<int64_t> copied;
        for (const KxCopyRun& run : c.runs)
            for (int32_t k = 0; k < run.count; ++k)
                copied.push_back(Num(*source, run.first + k));
        expect.insert(expect.begin() + c.pos, copied.begin(), copied.end());
        EXPECT_EQ(source->CopyRuns(*dest, c.runs, c.pos), int32_t(copied.size()));
        ASSERT_EQ(Nums(*dest), expect);
        const int32_t n = int32_t(copied.size());
        const int32_t mark = c.destRecords - 1;
        EXPECT_EQ(Marks(dest->Bookmarks()), (std::vector<int32_t>{mark >= c.pos ? mark + n : mark}));
        int32_t row = c.pos;
        for (const KxCopyRun& run : c.runs)
            for (int32_t k = 0; k < run.count; ++k, ++row) {
                const SelRange* range = dest->GetRecord(row)->selRange;
                ASSERT_EQ(range != nullptr, run.selected);
                if (range) {
                    ASSERT_EQ(range->tag, run.tag);
                }
            }
        for (int32_t row = 0; row < dest->RowCount(); ++row)
            ASSERT_EQ(dest->GetRecord(row)->block->table, dest.table);
    }
}

namespace {

// A table of n records whose absolute times start at start, a millisecond
// apart: stored absolute, relative to its first record, or read as a
// document saved relative to Time0.
enum class TimeBase { Absolute, Normalised, Saved };

KxTable* Timed(const char* name, TimeBase base, int n, uint64_t start)
{
    PrefKxTable prefs = PlainPrefs();
    prefs.NormalizeTime = base != TimeBase::Absolute;
    auto* table = new KxTable(nullptr, name, prefs);
    if (base == TimeBase::Saved)
        table->SetRelativeTimeBase(start, 0);
    for (int i = 0; i < n; ++i) {
        RawRecord raw;
        raw.num1 = uint64_t(i);
        raw.time = (base == TimeBase::Saved ? 0 : start) + uint64_t(i) * 1000;
        table->AppendRecord(raw.Build());
    }
    return table;
}

uint64_t AbsoluteTime(KxTable& table, int32_t row)
{
    return table.GetRecord(row)->prot.msg.TIME + (table.TimeNormalised() ? table.Prefs().Time0 : 0);
}

} // namespace

// Rows copied into another table keep their absolute times, whatever either
// table counts its times from, appended (also as many as the worker
// threads take) or inserted; the rows already there keep theirs.
TEST(TableCopy, CopiesKeepTheirAbsoluteTimes)
{
    constexpr uint64_t SOURCE = 1733572800237000; // 2024-12-07 12:00:00.237 UTC
    constexpr uint64_t DEST = 1561910811000000;   // 2019-06-30
    const TimeBase bases[] = {TimeBase::Absolute, TimeBase::Normalised, TimeBase::Saved};
    struct Case {
        int destRecords;
        int32_t pos;
        int copied;
    };
    const Case cases[] = {{3, -1, 2}, {3, 1, 2}, {0, -1, 2}, {2, -1, 20000}};
    for (TimeBase from : bases) {
        for (TimeBase to : bases) {
            for (const Case& c : cases) {
                SCOPED_TRACE(testing::Message() << "from " << int(from) << " to " << int(to) << ", "
                                                << c.destRecords << " rows, at " << c.pos << ", " << c.copied);
                TableRef source(Timed("s", from, c.copied + 5, SOURCE));
                TableRef dest(Timed("d", to, c.destRecords, DEST));
                EXPECT_EQ(source->CopyRuns(*dest, {{5, c.copied, 0, false}}, c.pos), c.copied);
                const int32_t first = c.pos < 0 ? c.destRecords : c.pos;
                for (int32_t k = 0; k < c.copied; ++k)
                    ASSERT_EQ(AbsoluteTime(*dest, first + k), AbsoluteTime(*source, 5 + k)) << k;
                for (int32_t row = 0; row < c.destRecords; ++row)
                    ASSERT_EQ(AbsoluteTime(*dest, row < first ? row : row + c.copied), DEST + uint64_t(row) * 1000);
                if (c.destRecords == 0) {
                    EXPECT_EQ(dest->Prefs().Time0, to == TimeBase::Saved ? DEST : SOURCE + 5000);
                }
            }
        }
    }
}

// Copies show the process and thread names they showed in their own table,
// named by an announcement, by the record itself or by their ids alone,
// whatever the destination calls the same ids.
TEST(TableFunctions, FunctionRecordsKeepTheirAbsoluteTimes)
{
    const uint64_t start = 1'700'000'000'000'000ull;
    for (bool normalised : {false, true}) {
        PrefKxTable prefs = PlainPrefs();
        prefs.NormalizeTime = normalised;
        TableRef table(new KxTable(nullptr, "src", prefs));
        RawRecord raw;
        raw.tid = 1;
        raw.time = start;
        table->AppendRecord(raw.Build());
        raw.flags = KXFLAGS_FUNC_ENTER;
        raw.func = "work";
        raw.time = start + 250;
        table->AppendRecord(raw.Build());
        TableRef funcs(table->CreateFuncTable());
        ASSERT_NE(funcs.table, nullptr);
        ASSERT_EQ(funcs->RecordCount(), 1) << normalised;
        EXPECT_EQ(AbsoluteTime(*funcs, 0), start + 250) << normalised;
    }
}

TEST(TableCopy, CopiesKeepTheirOwnProcessAndThreadNames)
{
    TableRef source(new KxTable(nullptr, "s", PlainPrefs()));
    RawRecord announce;
    announce.flags = KXFLAGS_PROCESS_NAME;
    announce.text = "Process: server, PID=77";
    source->AppendRecord(announce.Build());
    announce.flags = KXFLAGS_THREAD_NAME;
    announce.text = "Thread: worker, TID=42";
    source->AppendRecord(announce.Build());
    RawRecord row;
    row.pid = 77;
    row.tid = 42;
    source->AppendRecord(row.Build()); // 2: announced names
    row.pid = 78;
    row.tid = 43;
    source->AppendRecord(row.Build()); // 3: ids alone
    row.pname = "own";
    row.tname = "self";
    source->AppendRecord(row.Build()); // 4: its own names

    TableRef dest(new KxTable(nullptr, "d", PlainPrefs()));
    for (uint64_t id : {77, 78}) {
        RawRecord other;
        other.pid = id;
        other.tid = id - 35;
        other.pname = "client";
        other.tname = "other";
        dest->AppendRecord(other.Build());
    }
    const struct { int32_t row; const char* pname; const char* tname; } cases[] = {
        {2, "server", "worker"}, {3, "78", "43"}, {4, "own", "self"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.row);
        for (int32_t pos : {-1, 1}) {
            ASSERT_EQ(source->CopyRuns(*dest, {{c.row, 1, 0, false}}, pos), 1);
            const KxdRecord* copy = dest->GetRecord(pos < 0 ? dest->RowCount() - 1 : pos);
            EXPECT_STREQ(copy->Text(FIELD_PNAME), c.pname) << pos;
            EXPECT_STREQ(copy->Text(FIELD_TNAME), c.tname) << pos;
        }
    }
}
