// The stop-point search over a small table: which row a jump stops at and
// what it says, for each condition alone and together.
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "kxlib/kxdrecord.h"
#include "kxviewer/table/stoppoints.h"
#include "tests/kxlib/table_fixtures.h"

namespace {

// Ten rows: a warning at 3, a data error at 5, a presentation error at 7, a
// data error that is also a presentation error at 8, a highlight at 6.
constexpr int ROWS = 10;
constexpr int8_t LEVELS[ROWS] = {1, 1, 1, 0, 1, -1, 1, 1, -2, 1};
constexpr uint32_t KINDS[ROWS] = {0, 0, 0, 0, 0, 0, 0, KXERR_FuncStackOverflown, KXERR_TidListBroken, 0};
constexpr int HIGHLIGHT_ROW = 6;

using Condition = bool StopConditions::*;
constexpr Condition SEL = &StopConditions::selections, BKM = &StopConditions::bookmarks,
                    HIL = &StopConditions::highlight, WRN = &StopConditions::warnings,
                    DAT = &StopConditions::dataErrors, PRS = &StopConditions::presErrors;

StopConditions On(std::initializer_list<Condition> on)
{
    StopConditions conditions;
    for (Condition condition : on)
        conditions.*condition = true;
    return conditions;
}

struct Case {
    const char* name;
    StopConditions conditions;
    bool forward;
    int32_t from;
    std::vector<std::pair<int32_t, int32_t>> selections;
    std::vector<int32_t> bookmarks;
    int32_t row;
    const char* message;
};

const Case Cases[] = {
    {"warning", On({WRN}), true, 0, {}, {}, 3, "Jumped to warning at row 4"},
    {"data error names no kind", On({DAT}), true, 0, {}, {}, 5, "Jumped to error 'NoErrors' at row 6"},
    {"data error with a kind", On({DAT}), true, 5, {}, {}, 8, "Jumped to error 'TidListBroken' at row 9"},
    {"no further data error", On({DAT}), true, 8, {}, {}, -1, "No jump"},
    {"presentation error", On({PRS}), true, 5, {}, {}, 7, "Jumped to error 'FuncStackOverflown' at row 8"},
    {"highlight", On({HIL}), true, 0, {}, {}, HIGHLIGHT_ROW, "Jumped to highlight on condition 'phrase' at row 7"},
    {"warning first on its row's test order", On({WRN, DAT}), true, 0, {}, {}, 3, "Jumped to warning at row 4"},
    {"no selection: the last row", On({SEL}), true, 2, {}, {}, 9, "Jumped to selected region at row 10"},
    {"no selection backwards: row 0", On({SEL}), false, 2, {}, {}, 0, "Jumped to selection region at row 1"},
    {"start of a range", On({SEL}), true, 1, {{4, 6}}, {}, 4, "Jumped to selected region at row 5"},
    {"end of the range it is in", On({SEL}), true, 4, {{4, 6}}, {}, 6, "Jumped to selected region at row 7"},
    {"bookmark wins a tie", On({SEL, BKM}), true, 1, {{4, 6}}, {4}, 4, "Jumped to bookmark at row 5"},
    {"nearer bookmark", On({SEL, BKM}), true, 1, {{4, 6}}, {2}, 2, "Jumped to bookmark at row 3"},
    {"farther bookmark loses", On({SEL, BKM}), true, 1, {{4, 6}}, {8}, 4, "Jumped to selected region at row 5"},
    {"warning beyond the boundary", On({SEL, WRN}), true, 0, {{2, 2}}, {}, 2, "Jumped to selected region at row 3"},
    {"warning before the boundary", On({SEL, WRN}), true, 0, {{4, 6}}, {}, 3, "Jumped to warning at row 4"},
    {"bookmark backwards", On({BKM}), false, 6, {}, {2, 8}, 2, "Jumped to bookmark at row 3"},
    {"nearer bookmark backwards", On({SEL, BKM}), false, 9, {{1, 2}}, {5}, 5, "Jumped to bookmark at row 6"},
    {"no bookmark", On({BKM}), true, 3, {}, {}, -1, "No jump"},
    {"error backwards", On({DAT}), false, 9, {}, {}, 8, "Jumped to error 'TidListBroken' at row 9"},
    {"nothing above row 0", On({DAT}), false, 0, {}, {}, -1, "No jump"},
    {"last row, warnings only", On({WRN}), true, 9, {}, {}, -1, "No jump"},
};

class StopPointTest : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override
    {
        table = new KxTable(nullptr, "stops", PrefKxTable());
        for (int row = 0; row < ROWS; ++row) {
            RawRecord raw;
            raw.text = row == HIGHLIGHT_ROW ? "marked" : "plain";
            KxdRecord* record = table->AppendRecord(raw.Build());
            record->prot.msg.LEVEL = LEVELS[row];
            record->errorKind = KINDS[row];
        }
    }
    void TearDown() override { table->Release(); }

    static bool Highlight(int32_t, KxdRecord* record, QString* name)
    {
        if (std::string(record->Text(FIELD_TEXT)) != "marked")
            return false;
        *name = QStringLiteral("phrase");
        return true;
    }

    KxTable* table = nullptr;
};

TEST_P(StopPointTest, StopsAtTheRowAndSaysWhy)
{
    const Case& c = GetParam();
    SCOPED_TRACE(c.name);
    for (const auto& [first, last] : c.selections)
        table->SelRangeSet(first, last, true, 0xFFFF00);
    for (int32_t row : c.bookmarks)
        table->BookmarkSet(row, true);
    table->SetCurRow(c.from);
    const StopPoint stop = FindStopPoint(*table, c.conditions, c.forward, &StopPointTest::Highlight);
    EXPECT_EQ(stop.row, c.row);
    EXPECT_EQ(stop.message.toStdString(), c.message);
}

INSTANTIATE_TEST_SUITE_P(Table, StopPointTest, ::testing::ValuesIn(Cases));

TEST(StopConditionsTest, ModesPickOneConditionAndFlagsTheRest)
{
    const uint8_t all[JUMP_Nums] = {1, 1, 1, 1, 1, 1};
    const uint8_t none[JUMP_Nums] = {};
    const uint8_t some[JUMP_Nums] = {0, 1, 1, 0, 0, 1};
    const struct {
        int32_t mode;
        const uint8_t* flags;
        bool highlightOn;
        StopConditions expected;
    } rows[] = {
        {0, none, true, On({SEL})},  {1, none, true, On({BKM})}, {2, none, true, On({HIL})},
        {2, all, false, On({})},     {3, none, true, On({WRN})}, {4, all, true, On({DAT})},
        {5, all, true, On({})}, // presentation errors have no mode of their own
        {-1, none, true, On({})},    {-1, some, true, On({BKM, HIL, PRS})}, {-1, some, false, On({BKM, PRS})},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.mode);
        const StopConditions got = StopConditionsFor(row.mode, row.flags, row.highlightOn);
        for (Condition condition : {SEL, BKM, HIL, WRN, DAT, PRS})
            EXPECT_EQ(got.*condition, row.expected.*condition);
        EXPECT_EQ(got.Any(), row.expected.Any());
    }
}

} // namespace
