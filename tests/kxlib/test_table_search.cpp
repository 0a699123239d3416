// The table's search (through a stand-in expression, so the record engine is
// tested alone), the error jumps and relative time, also through a saved
// document.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <QFileInfo>

#include "kxlib/reader/filekxl.h"
#include "kxviewer/docloader.h"
#include "kxviewer/kxvglobals.h"
#include "kxviewer/preftable.h"
#include "table_fixtures.h"
#include "utils/common/inifile.h"
#include "utils/common/strbase.h"

namespace {

// Matches records whose TEXT holds the expression text. Parse settles the
// mode the test asks for.
class FakeExpr : public KxSearchExpression {
public:
    static inline int live = 0;
    static inline bool parseFails = false;
    static inline int32_t parsedMode = SEARCH_MODE_COMPLEX;

    FakeExpr() { ++live; }
    ~FakeExpr() override { --live; }
    static KxSearchExpression* Make() { return new FakeExpr; }

    bool Construct(const char* t, bool mc, bool simpleMode) override
    {
        if (ZmLib::IsBlank(t)) {
            mode = SEARCH_MODE_NONE;
            return false;
        }
        snprintf(text, sizeof(text), "%s", t);
        matchCase = mc;
        mode = simpleMode ? SEARCH_MODE_SIMPLE : SEARCH_MODE_UNDECIDED;
        return true;
    }
    int Parse() override
    {
        if (mode != SEARCH_MODE_UNDECIDED)
            return 0;
        mode = parseFails ? SEARCH_MODE_SIMPLE : parsedMode;
        return parseFails ? 1 : 0;
    }
    bool Match(KxdRecord* record) override { return Holds(*record); }
    bool Holds(const KxdRecord& record) const override
    {
        return mode >= SEARCH_MODE_SIMPLE && strstr(record.Text(FIELD_TEXT), text);
    }
};

struct FactoryScope {
    explicit FactoryScope(KxSearchExpressionFactory f = &FakeExpr::Make)
    {
        KxTable::SetSearchExpressionFactory(f);
        FakeExpr::parseFails = false;
        FakeExpr::parsedMode = SEARCH_MODE_COMPLEX;
    }
    ~FactoryScope() { KxTable::SetSearchExpressionFactory(nullptr); }
};

// Records with these TEXTs; TIME time0 + step x row, NUM1 the row.
KxTable* Texts(const std::vector<const char*>& texts, uint64_t time0 = 1000, uint64_t step = 10)
{
    KxTable* table = new KxTable(nullptr, "t", PlainPrefs());
    for (size_t i = 0; i < texts.size(); ++i) {
        RawRecord raw;
        raw.text = texts[i];
        raw.num1 = uint64_t(i);
        raw.time = time0 + step * i;
        table->AppendRecord(raw.Build());
    }
    return table;
}

// "x" at rows 1, 3, 4 and 7 of ten.
KxTable* TenRows() { return Texts({"a", "x", "b", "x", "xx", "c", "d", "x", "e", "f"}); }

bool SetExpr(KxTable& table, const char* text)
{
    uint32_t mode = SEARCH_MODE_SIMPLE;
    return table.SearchSetExpression(text, 1, mode);
}

std::vector<int64_t> Nums(KxTable& table)
{
    std::vector<int64_t> out;
    for (int32_t row = 0; row < table.RowCount(); ++row)
        out.push_back(table.GetRecord(row)->Int64(FIELD_NUM1));
    return out;
}

std::vector<uint64_t> Times(KxTable& table)
{
    std::vector<uint64_t> out;
    for (int32_t i = 0; i < table.RecordCount(); ++i)
        out.push_back(table.GetRecordByOriginalIndex(i)->prot.msg.TIME);
    return out;
}

} // namespace

TEST(TableSearch, EverySearchWithoutExpressionReturnsMinus2)
{
    FactoryScope factory;
    Reports reports;
    TableRef table(TenRows());
    EXPECT_EQ((std::vector<int32_t>{table->SearchNext(), table->SearchPrev(), table->SearchBookmarksOn(),
                                    table->SearchSelectionOn(1), table->SearchFilterOn()}),
              std::vector<int32_t>(5, -2));
    EXPECT_FALSE(table->SearchMatch(table->GetRecord(1)));
    EXPECT_EQ(Reports::Count("Search expresion is not set!"), 5);
    EXPECT_EQ(table->SearchMode(), SEARCH_MODE_NONE);
}

TEST(TableSearch, RequestedModeSettles)
{
    const struct {
        uint32_t requested;
        bool parseFails;
        int32_t parsedMode;
        bool result;
        uint32_t modeOut;
        int32_t tableMode;
    } cases[] = {
        {SEARCH_MODE_AUTO, false, SEARCH_MODE_COMPLEX, true, 1, 1},
        {SEARCH_MODE_AUTO, false, SEARCH_MODE_SIMPLE, true, 0, 0},
        {SEARCH_MODE_AUTO, true, SEARCH_MODE_COMPLEX, true, 0, 0},
        {SEARCH_MODE_COMPLEX, false, SEARCH_MODE_COMPLEX, true, 1, 1},
        {SEARCH_MODE_COMPLEX, false, SEARCH_MODE_SIMPLE, false, 0, SEARCH_MODE_NONE},
        {SEARCH_MODE_COMPLEX, true, SEARCH_MODE_COMPLEX, false, 0, SEARCH_MODE_NONE},
        {SEARCH_MODE_SIMPLE, false, SEARCH_MODE_COMPLEX, true, 0, 0},
    };
    FactoryScope factory;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.requested << " " << c.parseFails << " " << c.parsedMode);
        Reports reports;
        FakeExpr::parseFails = c.parseFails;
        FakeExpr::parsedMode = c.parsedMode;
        TableRef table(TenRows());
        uint32_t mode = c.requested;
        EXPECT_EQ(table->SearchSetExpression("x", 1, mode), c.result);
        EXPECT_EQ(mode, c.modeOut);
        EXPECT_EQ(table->SearchMode(), c.tableMode);
        // A refused expression is not kept.
        EXPECT_EQ(table->SearchExpression() != nullptr, c.result);
        EXPECT_EQ(Reports::Has("Search expression parse error"), !c.result);
        EXPECT_EQ(Reports::Has(std::string("Set search expression: \"x\", IsSimple() = ") + (c.modeOut ? "0" : "1")),
                  c.result);
    }
    EXPECT_EQ(FakeExpr::live, 0);
}

TEST(TableSearch, RefusedExpressions)
{
    Reports reports;
    TableRef table(TenRows());
    {
        FactoryScope none(nullptr); // nobody registered a factory
        EXPECT_FALSE(SetExpr(*table, "x"));
        EXPECT_EQ(table->SearchMode(), SEARCH_MODE_UNDECIDED);
        EXPECT_EQ(table->SearchNext(), -2);
    }
    FactoryScope factory;
    // A blank text stays attached and matches nothing.
    EXPECT_FALSE(SetExpr(*table, " \t"));
    EXPECT_EQ(table->SearchMode(), SEARCH_MODE_UNDECIDED);
    ASSERT_NE(table->SearchExpression(), nullptr);
    EXPECT_EQ(table->SearchNext(), -1);
    EXPECT_EQ(table->SearchFilterOn(), 0);
    table->ClearFilter();
    // An unknown mode changes nothing.
    uint32_t mode = 2;
    KxSearchExpression* before = table->SearchExpression();
    EXPECT_FALSE(table->SearchSetExpression("x", 1, mode));
    EXPECT_EQ(table->SearchExpression(), before);
    EXPECT_TRUE(Reports::Has("SearchSetExpression: unknown search mode 2"));
}

TEST(TableSearch, NextAndPrevDoNotWrap)
{
    const struct {
        int32_t cur, next, prev;
    } cases[] = {{-1, 1, -1}, {0, 1, -1}, {1, 3, -1}, {3, 4, 1}, {4, 7, 3}, {7, -1, 4}, {9, -1, 7}};
    FactoryScope factory;
    TableRef table(TenRows());
    ASSERT_TRUE(SetExpr(*table, "x"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cur);
        table->SetCurRow(c.cur);
        EXPECT_EQ(table->SearchNext(), c.next);
        EXPECT_EQ(table->SearchPrev(), c.prev);
        EXPECT_EQ(table->CurRow(), c.cur);
    }
    // A current row from a document beyond the rows.
    table->Prefs().CurPossition = 40;
    EXPECT_EQ(table->SearchNext(), -1);
    EXPECT_EQ(table->SearchPrev(), 7);
    table->Prefs().CurPossition = INT32_MAX;
    EXPECT_EQ(table->SearchNext(), -1);
    table->Prefs().CurPossition = -9;
    EXPECT_EQ(table->SearchNext(), 1);
    EXPECT_EQ(table->SearchPrev(), -1);
}

// Bookmarks count every visible bookmark; a selection is retagged; a filter
// is refused while rows are selected.
TEST(TableSearch, BookmarksSelectionsAndRefusedFilter)
{
    FactoryScope factory;
    Reports reports;
    TableRef table(TenRows());
    table->BookmarkSet(0, true);
    table->BookmarkSet(3, true);
    table->SelRangeSet(2, 4, true, 5);
    table->SetCurRow(6);
    ASSERT_TRUE(SetExpr(*table, "x"));
    EXPECT_EQ(table->SearchBookmarksOn(), 5);
    EXPECT_EQ(Marks(table->Bookmarks()), (std::vector<int32_t>{0, 1, 3, 4, 7}));
    EXPECT_TRUE(Reports::Has("SearchBookmarksOn: returns 5"));
    EXPECT_EQ(table->SearchBookmarksOn(), 5);
    EXPECT_EQ(table->SearchSelectionOn(0xAB), 5);
    EXPECT_EQ(Ranges(*table), (RangeList{{1, 1, 0xAB}, {2, 1, 5}, {3, 2, 0xAB}, {7, 1, 0xAB}}));
    EXPECT_TRUE(Reports::Has("SearchSelectionOn(AB): NumSelected = 5"));
    EXPECT_EQ(table->SearchFilterOn(), -3);
    EXPECT_FALSE(table->FilterOn);
    EXPECT_EQ(table->Filtered, nullptr);
    EXPECT_EQ(table->RowCount(), 10);
    EXPECT_EQ(table->CurRow(), 6);
}

TEST(TableSearch, FilterMovesBookmarksAndCurrentRow)
{
    FactoryScope factory;
    Reports reports;
    TableRef table(TenRows());
    table->BookmarkSet(2, true);
    table->BookmarkSet(4, true);
    table->SetCurRow(7);
    ASSERT_TRUE(SetExpr(*table, "x"));
    EXPECT_EQ(table->SearchFilterOn(), 4);
    EXPECT_TRUE(Reports::Has("SearchFilterOn: return 4"));
    EXPECT_EQ(Nums(*table), (std::vector<int64_t>{1, 3, 4, 7}));
    EXPECT_EQ(table->CurRow(), 3);
    EXPECT_EQ(Marks(table->Bookmarks()), (std::vector<int32_t>{2}));
    EXPECT_EQ(table->GetRecord(2)->bookmark->index, 2);
    EXPECT_EQ(Marks(table->HiddenBookmarks()), (std::vector<int32_t>{2}));
    EXPECT_EQ(table->SearchFilterOn(), -5);
    table->ClearFilter();
    EXPECT_EQ(Marks(table->Bookmarks()), (std::vector<int32_t>{2, 4}));
    EXPECT_EQ(table->CurRow(), 7);
    // The current row does not match: it becomes 0.
    table->SetCurRow(5);
    EXPECT_EQ(table->SearchFilterOn(), 4);
    EXPECT_EQ(table->CurRow(), 0);
    table->ClearFilter();
    // Nothing matches: an empty view, current row 0.
    ASSERT_TRUE(SetExpr(*table, "nothing"));
    EXPECT_EQ(table->SearchFilterOn(), 0);
    EXPECT_EQ(table->RowCount(), 0);
    EXPECT_EQ(table->CurRow(), 0);
    EXPECT_EQ(table->SearchNext(), -1);
    table->ClearFilter();
    EXPECT_EQ(table->RowCount(), 10);
}

// A simple expression marks the rows on several threads, an expression of
// the other mode row by row: either way the marks, selections, bookmarks
// and filtered rows are the rows it matches, also over a filtered table.
TEST(TableSearch, RowsMarkedOnThreadsAreTheMatchingRows)
{
    FactoryScope scope;
    // Enough rows that the marking is shared between threads.
    std::vector<std::string> texts;
    for (int i = 0; i < 40000; ++i)
        texts.push_back("row " + std::to_string(i) + (i % 7 == 0 || i % 1000 == 999 ? " hit" : ""));
    std::vector<const char*> pointers;
    for (const std::string& text : texts)
        pointers.push_back(text.c_str());
    TableRef table(Texts(pointers));
    const struct {
        const char* text;
        uint32_t mode;
        const char* filterFirst;
    } cases[] = {
        {"hit", SEARCH_MODE_SIMPLE, ""},     {"hit", SEARCH_MODE_AUTO, ""},   {"hit", SEARCH_MODE_SIMPLE, "row 1"},
        {"hit", SEARCH_MODE_AUTO, "row 1"},  {"row", SEARCH_MODE_SIMPLE, ""}, {"miss", SEARCH_MODE_SIMPLE, ""},
        {"99 hit", SEARCH_MODE_SIMPLE, "9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.text << " mode " << c.mode << " filter \"" << c.filterFirst << "\"");
        uint32_t mode = SEARCH_MODE_SIMPLE;
        if (*c.filterFirst) {
            ASSERT_TRUE(table->SearchSetExpression(c.filterFirst, 1, mode));
            ASSERT_GT(table->SearchFilterOn(), 0);
        }
        mode = c.mode;
        ASSERT_TRUE(table->SearchSetExpression(c.text, 1, mode));
        std::vector<uint8_t> expected;
        for (int32_t row = 0; row < table->RowCount(); ++row)
            expected.push_back(strstr(table->GetRecord(row)->Text(FIELD_TEXT), c.text) ? 1 : 0);
        const auto count = int32_t(std::count(expected.begin(), expected.end(), 1));
        std::vector<uint8_t> hits;
        EXPECT_EQ(table->SearchMarkRows(hits), count);
        EXPECT_EQ(hits, expected);
        EXPECT_EQ(table->SearchSelectionOn(1), count);
        table->ClearSelections();
        EXPECT_EQ(table->SearchBookmarksOn(), count);
        table->ClearBookmarks();
        if (table->FilterOn) {
            table->ClearFilter();
            continue;
        }
        ASSERT_EQ(table->SearchFilterOn(), count);
        for (int32_t row = 0, at = 0; row < count; ++row, ++at) {
            while (!expected[size_t(at)])
                ++at;
            EXPECT_EQ(table->OriginalIndex(row), at);
        }
        table->ClearFilter();
    }
}

TEST(TableSearchDeath, HiddenBookmarksWithoutFilterAreFatal)
{
    EXPECT_DEATH(
        {
            PrintReportsToStderr();
            FactoryScope factory;
            KxTable* table = TenRows();
            KxBkmarkEntry* entry = new KxBkmarkEntry;
            entry->index = 1;
            entry->table = table;
            table->HiddenBookmarks().Insert(entry, false);
            SetExpr(*table, "x");
            table->SearchFilterOn();
        },
        "!BkmarksHiden.Length\\(\\)");
}

TEST(TableSearch, ExpressionOutlivesTheTableWhileHeld)
{
    FactoryScope factory;
    KxTable* table = TenRows();
    ASSERT_TRUE(SetExpr(*table, "x"));
    KxSearchExpression* held = table->SearchExpression();
    held->AddRef();
    ASSERT_TRUE(SetExpr(*table, "y"));
    EXPECT_EQ(FakeExpr::live, 2);
    table->Release();
    EXPECT_EQ(FakeExpr::live, 1);
    EXPECT_STREQ(held->text, "x");
    held->Release();
    EXPECT_EQ(FakeExpr::live, 0);
}

TEST(TableSearch, FlaggedRows)
{
    TableRef table(TenRows());
    table->GetRecord(2)->prot.msg.LEVEL = -1;
    table->GetRecord(5)->errorKind = KXERR_TidTimeRollback;
    table->GetRecord(8)->prot.msg.LEVEL = -3;
    const uint32_t data = KxTable::FLAGGED_DATA_ERROR, pres = KxTable::FLAGGED_PRES_ERROR;
    const struct {
        uint32_t mask;
        int32_t cur, next, prev;
    } cases[] = {
        {data, -1, 2, -1}, {data, 2, 8, -1}, {data, 8, -1, 2}, {pres, 0, 5, -1}, {pres, 5, -1, -1},
        {data | pres, 2, 5, -1}, {data | pres, 9, -1, 8}, {0, 0, -1, -1}, {1, 0, -1, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.mask << " " << c.cur);
        table->SetCurRow(c.cur);
        EXPECT_EQ(table->SearchFlaggedNext(c.mask), c.next);
        EXPECT_EQ(table->SearchFlaggedPrev(c.mask), c.prev);
    }
}

TEST(TableTime, NormaliseTwiceThenBack)
{
    Reports reports;
    TableRef table(Texts({"a", "b", "c", "d"}));
    table->SetModified(false);
    table->NormalizeTimeOff(); // not normalised: nothing moves
    EXPECT_EQ(Times(*table), (std::vector<uint64_t>{1000, 1010, 1020, 1030}));
    EXPECT_FALSE(table->Modified());
    ASSERT_TRUE(table->NormalizeTimeOn(1));
    // Every TIME was rewritten: a save must write the records again.
    EXPECT_TRUE(table->Modified());
    EXPECT_TRUE(Reports::Has("NormalizeTimeOn(1) => Set Time0 = 1010"));
    ASSERT_TRUE(table->NormalizeTimeOn(3));
    EXPECT_TRUE(Reports::Has("NormalizeTimeOn(3) => Set Time0 = 1030"));
    EXPECT_EQ(Times(*table), (std::vector<uint64_t>{uint64_t(-30), uint64_t(-20), uint64_t(-10), 0}));
    EXPECT_STREQ(table->GetRecord(0)->Text(FIELD_TIME), "-30");
    EXPECT_EQ(table->Prefs().Time0Index, 3);
    EXPECT_TRUE(table->TimeNormalised());
    EXPECT_EQ(table->Prefs().NormalizeTime, 1);
    table->SetModified(false);
    table->NormalizeTimeOff();
    EXPECT_TRUE(table->Modified());
    EXPECT_EQ(Times(*table), (std::vector<uint64_t>{1000, 1010, 1020, 1030}));
    EXPECT_STREQ(table->GetRecord(0)->Text(FIELD_TIME), "1000");
    EXPECT_EQ(table->Prefs().Time0, 1000u);
    EXPECT_EQ(table->Prefs().Time0Index, -1);
    EXPECT_TRUE(Reports::Has("NormalizeTimeOff() => Set Time0 = 1000"));
    EXPECT_FALSE(table->NormalizeTimeOn(4));
}

TEST(TableTime, NormaliseThroughTheFilterAndOnEmptyTables)
{
    FactoryScope factory;
    TableRef table(TenRows());
    ASSERT_TRUE(SetExpr(*table, "x"));
    ASSERT_EQ(table->SearchFilterOn(), 4);
    // Row 2 of the filter is original record 4.
    ASSERT_TRUE(table->NormalizeTimeOn(2));
    EXPECT_EQ(table->Prefs().Time0Index, 4);
    EXPECT_EQ(table->GetRecordByOriginalIndex(4)->prot.msg.TIME, 0u);

    TableRef empty(Texts({}));
    EXPECT_TRUE(empty->NormalizeTimeOn(0));
    EXPECT_TRUE(empty->TimeNormalised());
    empty->NormalizeTimeOff();
    EXPECT_FALSE(empty->TimeNormalised());
    EXPECT_EQ(empty->Prefs().Time0Index, -1);
}

// The save command of a document tab: the records are written again only
// when the table says they changed.
bool SaveAsTab(const std::string& path, KxTable& table)
{
    ZmLib::IniBase ini;
    const PrefTabTable& tab = PrefTabTable::Default();
    PrefTable::Save(false, ini, tab, table.Prefs(), tab.pinned, tab.pinnedCount);
    ZmLib::TextBuf buffer;
    if (!ini.WriteToBuf(buffer) || !buffer.Buffer)
        return false;
    const std::string text = buffer.Buffer->c_str();
    return FileKxl::Save(path.c_str(), table, text.c_str(), text.size(), table.Modified());
}

KxTable* LoadDocument(const std::string& path)
{
    KxTable* table = DocLoader(QFileInfo(QString::fromStdString(path)), FILE_TYPE_KXL).Load(-1);
    EXPECT_NE(table, nullptr);
    return table;
}

// The records a normalisation rewrote reach the file, so switching off after
// a reload restores the absolute times.
TEST(TableTime, NormalisedTwiceSavedReloadedAndSwitchedOff)
{
    TempDir dir;
    const std::string path = dir.Path("times.kxl");
    std::vector<uint64_t> absolute;
    {
        TableRef made(Texts({"r", "r", "r", "r", "r"}, 1561910811000000ULL, 1000));
        absolute = Times(*made);
        made->SetModified(false);
        ASSERT_TRUE(SaveAsTab(path, *made));
    }
    TableRef table(LoadDocument(path));
    ASSERT_NE(table.table, nullptr);
    EXPECT_FALSE(table->Modified());
    ASSERT_TRUE(table->NormalizeTimeOn(1));
    ASSERT_TRUE(table->NormalizeTimeOn(3));
    ASSERT_TRUE(SaveAsTab(path, *table));

    TableRef back(LoadDocument(path));
    ASSERT_NE(back.table, nullptr);
    EXPECT_TRUE(back->TimeNormalised());
    EXPECT_EQ(back->GetRecordByOriginalIndex(3)->prot.msg.TIME, 0u);
    back->NormalizeTimeOff();
    EXPECT_TRUE(back->Modified());
    EXPECT_EQ(Times(*back), absolute);
    // Saved switched off and reloaded: still the absolute times.
    ASSERT_TRUE(SaveAsTab(path, *back));
    TableRef again(LoadDocument(path));
    ASSERT_NE(again.table, nullptr);
    EXPECT_FALSE(again->TimeNormalised());
    EXPECT_EQ(Times(*again), absolute);
}
