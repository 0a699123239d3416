// The stop-point search over a small table: which row a jump stops at and
// what it says, for each condition alone and together.
#include <cctype>
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

StopConditions Only(bool StopConditions::*condition)
{
    StopConditions conditions;
    conditions.*condition = true;
    return conditions;
}

StopConditions Both(bool StopConditions::*a, bool StopConditions::*b)
{
    StopConditions conditions = Only(a);
    conditions.*b = true;
    return conditions;
}

const Case Cases[] = {
    {"warning", Only(&StopConditions::warnings), true, 0, {}, {}, 3, "Jumped to warning at row 4"},
    {"data error names no kind", Only(&StopConditions::dataErrors), true, 0, {}, {}, 5,
     "Jumped to error 'NoErrors' at row 6"},
    {"data error with a kind", Only(&StopConditions::dataErrors), true, 5, {}, {}, 8,
     "Jumped to error 'TidListBroken' at row 9"},
    {"no further data error", Only(&StopConditions::dataErrors), true, 8, {}, {}, -1, "No jump"},
    {"presentation error", Only(&StopConditions::presErrors), true, 5, {}, {}, 7,
     "Jumped to error 'FuncStackOverflown' at row 8"},
    {"highlight", Only(&StopConditions::highlight), true, 0, {}, {}, HIGHLIGHT_ROW,
     "Jumped to highlight on condition 'phrase' at row 7"},
    {"warning first on its row's test order", Both(&StopConditions::warnings, &StopConditions::dataErrors), true, 0,
     {}, {}, 3, "Jumped to warning at row 4"},
    {"no selection: the last row", Only(&StopConditions::selections), true, 2, {}, {}, 9,
     "Jumped to selected region at row 10"},
    {"no selection backwards: row 0", Only(&StopConditions::selections), false, 2, {}, {}, 0,
     "Jumped to selection region at row 1"},
    {"start of a range", Only(&StopConditions::selections), true, 1, {{4, 6}}, {}, 4,
     "Jumped to selected region at row 5"},
    {"end of the range it is in", Only(&StopConditions::selections), true, 4, {{4, 6}}, {}, 6,
     "Jumped to selected region at row 7"},
    {"bookmark wins a tie", Both(&StopConditions::selections, &StopConditions::bookmarks), true, 1, {{4, 6}}, {4}, 4,
     "Jumped to bookmark at row 5"},
    {"nearer bookmark", Both(&StopConditions::selections, &StopConditions::bookmarks), true, 1, {{4, 6}}, {2}, 2,
     "Jumped to bookmark at row 3"},
    {"farther bookmark loses", Both(&StopConditions::selections, &StopConditions::bookmarks), true, 1, {{4, 6}},
     {8}, 4, "Jumped to selected region at row 5"},
    {"warning beyond the boundary", Both(&StopConditions::selections, &StopConditions::warnings), true, 0, {{2, 2}},
     {}, 2, "Jumped to selected region at row 3"},
    {"warning before the boundary", Both(&StopConditions::selections, &StopConditions::warnings), true, 0, {{4, 6}},
     {}, 3, "Jumped to warning at row 4"},
    {"bookmark backwards", Only(&StopConditions::bookmarks), false, 6, {}, {2, 8}, 2, "Jumped to bookmark at row 3"},
    {"nearer bookmark backwards", Both(&StopConditions::selections, &StopConditions::bookmarks), false, 9, {{1, 2}},
     {5}, 5, "Jumped to bookmark at row 6"},
    {"no bookmark", Only(&StopConditions::bookmarks), true, 3, {}, {}, -1, "No jump"},
    {"error backwards", Only(&StopConditions::dataErrors), false, 9, {}, {}, 8, "Jumped to error 'TidListBroken' at row 9"},
    {"nothing above row 0", Only(&StopConditions::dataErrors), false, 0, {}, {}, -1, "No jump"},
    {"last row, warnings only", Only(&StopConditions::warnings), true, 9, {}, {}, -1, "No jump"},
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

    static bool Highlight(KxdRecord* record, QString* name)
    {
        if (std::string(record->text[FIELD_TEXT]) != "marked")
            return false;
        *name = QStringLiteral("phrase");
        return true;
    }

    KxTable* table = nullptr;
};

TEST_P(StopPointTest, StopsAtTheRowAndSaysWhy)
{
    const Case& c = GetParam();
    for (const auto& [first, last] : c.selections)
        table->SelRangeSet(first, last, true, 0xFFFF00);
    for (int32_t row : c.bookmarks)
        table->BookmarkSet(row, true);
    table->SetCurRow(c.from);
    const StopPoint stop = FindStopPoint(*table, c.conditions, c.forward, &StopPointTest::Highlight);
    EXPECT_EQ(stop.row, c.row);
    EXPECT_EQ(stop.message.toStdString(), c.message);
}

INSTANTIATE_TEST_SUITE_P(Table, StopPointTest, ::testing::ValuesIn(Cases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             std::string name;
                             for (const char* c = info.param.name; *c; ++c)
                                 name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                             return name;
                         });

TEST(StopConditionsTest, ModesPickOneConditionAndFlagsTheRest)
{
    const uint8_t all[JUMP_Nums] = {1, 1, 1, 1, 1, 1};
    const uint8_t none[JUMP_Nums] = {};
    const uint8_t some[JUMP_Nums] = {0, 1, 1, 0, 0, 1};
    struct Row {
        int32_t mode;
        const uint8_t* flags;
        bool highlightOn;
        StopConditions expected;
    };
    auto make = [](std::initializer_list<bool StopConditions::*> on) {
        StopConditions conditions;
        for (bool StopConditions::*condition : on)
            conditions.*condition = true;
        return conditions;
    };
    const Row rows[] = {
        {0, none, true, make({&StopConditions::selections})},
        {1, none, true, make({&StopConditions::bookmarks})},
        {2, none, true, make({&StopConditions::highlight})},
        {2, all, false, make({})},
        {3, none, true, make({&StopConditions::warnings})},
        {4, all, true, make({&StopConditions::dataErrors})},
        // Presentation errors have no mode of their own.
        {5, all, true, make({})},
        {-1, none, true, make({})},
        {-1, some, true, make({&StopConditions::bookmarks, &StopConditions::highlight, &StopConditions::presErrors})},
        {-1, some, false, make({&StopConditions::bookmarks, &StopConditions::presErrors})},
    };
    for (const Row& row : rows) {
        const StopConditions got = StopConditionsFor(row.mode, row.flags, row.highlightOn);
        SCOPED_TRACE(row.mode);
        EXPECT_EQ(got.selections, row.expected.selections);
        EXPECT_EQ(got.bookmarks, row.expected.bookmarks);
        EXPECT_EQ(got.highlight, row.expected.highlight);
        EXPECT_EQ(got.warnings, row.expected.warnings);
        EXPECT_EQ(got.dataErrors, row.expected.dataErrors);
        EXPECT_EQ(got.presErrors, row.expected.presErrors);
        EXPECT_EQ(got.Any(), row.expected.Any());
    }
}

} // namespace
