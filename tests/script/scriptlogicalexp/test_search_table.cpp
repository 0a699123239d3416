// A table's search with the real evaluator: how the requested mode settles
// on the text, what a user may type that is no expression, and expressions
// set one after another leaving nothing behind.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "../../kxlib/table_fixtures.h"
#include "search_fixtures.h"

namespace {

struct Row {
    int level;
    uint64_t tid;
    const char* text;
};

const std::vector<Row> kRows = {
    {1, 1200, "boot sequence"},
    {2, 1234, "error: disk"},
    {2, 5, "Boot again"},
    {-1, 77, "aaaaaaaaaaaaaaaaaaaaaaaaaaaaab"},
    {3, 1299, "aaaaaaaaaaaaaaaaaaaaaaaaaaaaab"},
    {0, 9, "LEVEL == 2 TID == 5"},
};

KxTable* MakeTable()
{
    KxTable* table = new KxTable(nullptr, "t", PlainPrefs());
    for (const Row& row : kRows) {
        ZmLib::KxdProt prot;
        memset(&prot, 0, sizeof(prot));
        prot.msg.magic = ZmLib::KxProt::MAGIC;
        prot.SetIntValue(FIELD_LEVEL, uint64_t(int64_t(row.level)));
        prot.SetIntValue(FIELD_TID, row.tid);
        const char* strings[ZmLib::KxProt::STR_SLOTS] = {};
        strings[ZmLib::KxdProt::SLOT_TEXT] = row.text;
        prot.SetStrings(strings, nullptr);
        table->AppendRecord(prot);
    }
    return table;
}

struct Registered {
    Registered() { ScriptLogicalExpParser::Register(); }
    ~Registered() { KxTable::SetSearchExpressionFactory(nullptr); }
};

// The rows a filter keeps (by their TID), the filter taken off again.
std::vector<uint64_t> Filtered(KxTable& table)
{
    std::vector<uint64_t> out;
    if (table.SearchFilterOn() < 0)
        return {};
    for (int32_t row = 0; row < table.RowCount(); ++row)
        out.push_back(uint64_t(table.GetRecord(row)->Int64(FIELD_TID)));
    table.ClearFilter();
    return out;
}

struct SettleCase {
    std::string text;
    uint32_t requested;
    uint8_t matchCase;
    bool accepted;
    uint32_t settled;
    int32_t tableMode;
    std::vector<uint64_t> rows; // TIDs of the filtered rows
};

void ExpectSettles(const std::vector<SettleCase>& cases)
{
    Registered registered;
    for (const SettleCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "\"" << c.text.substr(0, 40) << "\" mode " << c.requested << " case "
                                        << int(c.matchCase));
        TableRef table(MakeTable());
        uint32_t mode = c.requested;
        EXPECT_EQ(table->SearchSetExpression(c.text.c_str(), c.matchCase, mode), c.accepted);
        EXPECT_EQ(mode, c.settled);
        EXPECT_EQ(table->SearchMode(), c.tableMode);
        EXPECT_EQ(Filtered(*table), c.rows);
        // The other searches finish too, whatever was typed.
        table->SetCurRow(0);
        EXPECT_GE(table->SearchNext(), -2);
        table->SetCurRow(table->RowCount() - 1);
        EXPECT_GE(table->SearchPrev(), -2);
        EXPECT_GE(table->SearchBookmarksOn(), -2);
    }
}

constexpr uint32_t AUTO = SEARCH_MODE_AUTO;
constexpr uint32_t SIMPLE = SEARCH_MODE_SIMPLE;
constexpr uint32_t COMPLEX = SEARCH_MODE_COMPLEX;

} // namespace

TEST(TableSearchExpression, RequestedModeSettlesOnTheText)
{
    ExpectSettles({
        {"LEVEL == 2", AUTO, 0, true, COMPLEX, 1, {1234, 5}},
        {"boot", AUTO, 0, true, SIMPLE, 0, {1200, 5}},
        {"boot", AUTO, 1, true, SIMPLE, 0, {1200}},
        // A lone '=' is skipped by the lexer, and "LEVEL 2" is no expression.
        {"LEVEL = 2", AUTO, 0, true, SIMPLE, 0, {}},
        {"(LEVEL==1)||(LEVEL==2)", AUTO, 0, true, COMPLEX, 1, {1200, 1234, 5}},
        {"TID == \"12*\"", AUTO, 0, true, COMPLEX, 1, {1200, 1234, 1299}},
        {"LEVEL == 2", SIMPLE, 0, true, SIMPLE, 0, {9}},
        {"LEVEL == 2", COMPLEX, 0, true, COMPLEX, 1, {1234, 5}},
        {"boot", COMPLEX, 0, false, SIMPLE, SEARCH_MODE_NONE, {}},
        // Half of what was typed is no search: the whole text is.
        {"LEVEL == 2 TID == 5", AUTO, 0, true, SIMPLE, 0, {9}},
        {"LEVEL == 2 TID == 5", COMPLEX, 0, false, SIMPLE, SEARCH_MODE_NONE, {}},
        // The rows equal to the bound are kept by exactly the comparisons that admit equality.
        {"LEVEL > 2", AUTO, 0, true, COMPLEX, 1, {1299}},
        {"LEVEL >= 2", AUTO, 0, true, COMPLEX, 1, {1234, 5, 1299}},
        {"LEVEL < 2", AUTO, 0, true, COMPLEX, 1, {1200, 77, 9}},
        {"LEVEL <= 2", AUTO, 0, true, COMPLEX, 1, {1200, 1234, 5, 77, 9}},
        {"LEVEL != 2", AUTO, 0, true, COMPLEX, 1, {1200, 77, 1299, 9}},
    });
}

// A text refused as an expression keeps the parser's reason, with the place
// it stopped at, until the next expression is set.
TEST(TableSearchExpression, ARefusedExpressionKeepsWhereAndWhy)
{
    Registered registered;
    TableRef table(MakeTable());
    const struct { const char* text; uint32_t requested; const char* error; } cases[] = {
        {"LEVEL == 2 TID == 5", COMPLEX, "Unexpected \"TID\" after the end of the expression, line 1, column 12"},
        {"(LEVEL == 1", COMPLEX, "unexpected end of expression at line 1, column 12, expected ')'"},
        {"LEVEL ==\n\n== 2", COMPLEX, "unexpected '==' at line 3, column 1"},
        {"TEXT =~ 3", COMPLEX, "Error: Regular expression must be string constant, Line: 1"},
        // What is wrong and where, in words.
        {"TEXT ~", COMPLEX, "unexpected end of expression at line 1, column 7"},
        {"(", COMPLEX, "unexpected end of expression at line 1, column 2"},
        {"TEXT ~ \"a\" AND", COMPLEX, "Unexpected \"AND\" after the end of the expression, line 1, column 12"},
        {"TEXT ~ \"a\" &&", COMPLEX, "unexpected end of expression at line 1, column 14"},
        {"&&", COMPLEX, "unexpected '&&' at line 1, column 1\nunexpected end of expression at line 1, column 3"},
        {"TEXT ~ ~ \"x\"", COMPLEX, "unexpected '~' at line 1, column 8"},
        {"TEXT ~ \"a\" &&\n || 1", COMPLEX, "unexpected '||' at line 2, column 2"},
        {"tostring(1 2) == \"1\"", COMPLEX, "unexpected '2' at line 1, column 12, expected ','"},
        {"TEXT ~ 'abc", COMPLEX,
         "unterminated string at line 1, column 8\nunexpected end of expression at line 1, column 7"},
        {"TEXT ~ \"a\" # 1", COMPLEX, "unexpected character '#' at line 1, column 12, skipped\n"
                                     "Unexpected \"1\" after the end of the expression, line 1, column 14"},
        // No comparison, so no complex expression: the text is only searched for.
        {"AND", COMPLEX, "nothing is compared: a complex expression needs a comparison, as in TEXT ~ \"word\""},
        {"boot", COMPLEX, "nothing is compared: a complex expression needs a comparison, as in TEXT ~ \"word\""},
        // A wildcard match and a name that is no field are expressions.
        {"TEXT ~~ \"x\"", COMPLEX, ""},
        {"FOO == 1", COMPLEX, ""},
        {"LEVEL == 2 TID == 5", AUTO, ""},
        {"TEXT =~ 3", COMPLEX, "Error: Regular expression must be string constant, Line: 1"},
        {"LEVEL == 2", COMPLEX, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        uint32_t mode = c.requested;
        table->SearchSetExpression(c.text, 0, mode);
        EXPECT_EQ(table->SearchError(), c.error);
    }
}

// A text the lexer cannot read whole is no expression: a string or a
// comment left open would leave the rest unread. The parser refuses it with
// the place, as any other syntax error, and so does a table asked for an
// expression; a text that may be plain is searched as typed. So is one that
// is no expression without a character the lexer skipped, which is named
// once with its column in characters. A blank text is named as empty.
TEST(TableSearchExpression, TextsTheLexerCannotReadWholeAreRefusedWithTheirPlace)
{
    Registered registered;
    TableRef table(MakeTable());
    const std::string tooLong(KxSearchExpression::TEXT_SIZE, 'a');
    const struct {
        std::string text;
        std::string error;
        bool taken; // as an expression to parse (else not even that)
    } cases[] = {
        {"TEXT =~ \"disk\"\" || LEVEL == 2", "unterminated string at line 1, column 15", true},
        {"TEXT ~ 'disk' || TEXT ~ 'boot",
         "unterminated string at line 1, column 25\nunexpected end of expression at line 1, column 24", true},
        {"TEXT ~ \"disk\" /* || LEVEL == 2", "unterminated comment at line 1, column 15", true},
        {"LEVEL == 2 &&\n  TEXT ~ \"x\" /* note", "unterminated comment at line 2, column 14", true},
        {"TEXT ~ \"disk\" @ LEVEL == 2",
         "unexpected character '@' at line 1, column 15, skipped\n"
         "Unexpected \"LEVEL\" after the end of the expression, line 1, column 17",
         true},
        {"LEVEL = 2", "unexpected character '=' at line 1, column 7, skipped\nunexpected 'LEVEL' at line 1, column 1",
         true},
        {"LEVEL \u2260 2",
         "unexpected character '\u2260' (U+2260) at line 1, column 7, skipped\n"
         "unexpected 'LEVEL' at line 1, column 1",
         true},
        {"TEXT ~ \"\u00e9\" \u2260 2",
         "unexpected character '\u2260' (U+2260) at line 1, column 12, skipped\n"
         "Unexpected \"2\" after the end of the expression, line 1, column 14",
         true},
        {"", "the search expression is empty", false},
        {" \t\r\n ", "the search expression is empty", false},
        {tooLong, "the search expression is longer than 1099 characters", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 40));
        Expr parsed(c.text.c_str());
        EXPECT_EQ(parsed.parsed, c.taken ? 1 : -1);
        EXPECT_EQ(parsed->parseError, c.error);
        EXPECT_EQ(parsed->Root(), nullptr);
        uint32_t mode = COMPLEX;
        EXPECT_FALSE(table->SearchSetExpression(c.text.c_str(), 0, mode));
        EXPECT_EQ(table->SearchError(), c.error);
        EXPECT_EQ(table->SearchMode(), c.taken ? SEARCH_MODE_NONE : SEARCH_MODE_UNDECIDED);
        mode = AUTO;
        EXPECT_EQ(table->SearchSetExpression(c.text.c_str(), 0, mode), c.taken);
        EXPECT_EQ(table->SearchMode(), c.taken ? SEARCH_MODE_SIMPLE : SEARCH_MODE_UNDECIDED);
    }
}

// A character that starts no token is skipped and the expression runs
// without it, whether asked for as one or not; the expression keeps one line
// for each, with the column in characters, for its holder to tell.
TEST(TableSearchExpression, CharactersThatStartNoTokenAreSkippedWithAWarning)
{
    Registered registered;
    TableRef table(MakeTable());
    const struct {
        std::string text;
        std::string warning;
        std::vector<uint64_t> rows; // TIDs of the filtered rows
    } cases[] = {
        {"LEVEL == 3;", "unexpected character ';' at line 1, column 11, skipped", {1299}},
        {"LEVEL == 3\r", "unexpected character 0x0D at line 1, column 11, skipped", {1299}},
        {"LEVEL == 3 \u00a0|| TID == 5", "unexpected character '\u00a0' (U+00A0) at line 1, column 12, skipped",
         {5, 1299}},
        {"LEVEL == 3\f", "unexpected character 0x0C at line 1, column 11, skipped", {1299}},
        {"LEVEL ==\v 3", "unexpected character 0x0B at line 1, column 9, skipped", {1299}},
        {"TEXT ~ \"\u00e9\" \u2260|| LEVEL == 3",
         "unexpected character '\u2260' (U+2260) at line 1, column 12, skipped",
         {1299}},
        {"LEVEL == 3 \xff", "unexpected character 0xFF at line 1, column 12, skipped", {1299}},
        {"LEVEL == 2 || TEXT ~ \"a\" #", "unexpected character '#' at line 1, column 26, skipped",
         {1234, 5, 77, 1299}},
        {"LEVEL == 2 \x01|| TID == 5", "unexpected character 0x01 at line 1, column 12, skipped", {1234, 5}},
        {"LEVEL == 3;\n;",
         "unexpected character ';' at line 1, column 11, skipped\n"
         "unexpected character ';' at line 2, column 1, skipped",
         {1299}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Expr parsed(c.text.c_str());
        EXPECT_EQ(parsed.parsed, 0);
        EXPECT_EQ(parsed->parseError, "");
        EXPECT_EQ(parsed->skipped, c.warning);
        for (const uint32_t requested : {COMPLEX, AUTO}) {
            uint32_t mode = requested;
            const bool set = table->SearchSetExpression(c.text.c_str(), 0, mode);
            EXPECT_TRUE(set);
            EXPECT_EQ(mode, COMPLEX);
            EXPECT_EQ(set ? table->SearchExpression()->skipped : "", c.warning);
            EXPECT_EQ(Filtered(*table), c.rows);
        }
    }
}

// An expression asked for as one is refused where its pattern has an
// unbalanced bracket, with the place; a text that may be plain keeps the
// pattern dialect's lenient reading.
TEST(TableSearchExpression, BrokenPatternsAndUnknownFunctionsAreRefusedWithTheirPlace)
{
    Registered registered;
    TableRef table(MakeTable());
    const struct { const char* text; uint32_t requested; uint32_t settled; const char* error; } cases[] = {
        {"TEXT =~ \"((\"", COMPLEX, SIMPLE,
         "'(' without a closing ')' in the regular expression \"((\" at line 1, column 11"},
        {"TEXT =~ 'ab)c'", COMPLEX, SIMPLE,
         "')' without an opening '(' in the regular expression 'ab)c' at line 1, column 12"},
        {"LEVEL == 2 &&\n  TEXT =~ \"[a-\"", COMPLEX, SIMPLE,
         "'[' without a closing ']' in the regular expression \"[a-\" at line 2, column 12"},
        {"TEXT =~ \".{2\"", COMPLEX, SIMPLE,
         "'{' without a closing '}' in the regular expression \".{2\" at line 1, column 11"},
        {"TEXT =~ \"\u00e9((\"", COMPLEX, SIMPLE,
         "'(' without a closing ')' in the regular expression \"\u00e9((\" at line 1, column 12"},
        {"TEXT =~ \"(a|b)[0-9]{2}\"", COMPLEX, COMPLEX, ""},
        {"TEXT =~ \"((\"", AUTO, COMPLEX, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        uint32_t mode = c.requested;
        EXPECT_EQ(table->SearchSetExpression(c.text, 0, mode), *c.error == '\0');
        EXPECT_EQ(mode, c.settled);
        EXPECT_EQ(table->SearchError(), c.error);
    }
    // The lenient reading keeps why an expression asked for as one is
    // refused, for the highlights that refuse it too.
    const struct { const char* text; const char* problem; } lenient[] = {
        {"TEXT =~ \"((\"", "'(' without a closing ')' in the regular expression \"((\" at line 1, column 11"},
        {"LEVEL == 2 ||\n  TEXT =~ 'a]' || TEXT =~ \"[b\"",
         "'[' without a closing ']' in the regular expression \"[b\" at line 2, column 28"},
        {"TEXT =~ \"(a|b)[0-9]{2}\"", ""},
    };
    for (const auto& c : lenient) {
        SCOPED_TRACE(c.text);
        uint32_t mode = AUTO;
        ASSERT_TRUE(table->SearchSetExpression(c.text, 0, mode));
        EXPECT_EQ(mode, COMPLEX);
        EXPECT_EQ(table->SearchExpression()->patternProblem, c.problem);
    }
}

// An evaluation that fails on a record is kept once a round, with the first
// row it failed on; the record is searched for the text instead.
TEST(TableSearchExpression, AFailedEvaluationIsToldOnceARound)
{
    Registered registered;
    ScriptReports reports;
    TableRef table(MakeTable());
    const struct { const char* text; int32_t errorRow; const char* error; } cases[] = {
        {"LEVEL / 0 == 1", 0, nullptr},
        // Only the row of level 3 reaches the division of a text.
        {"LEVEL == 3 && TEXT / 2 == 1", 4, nullptr},
        {"nosuch(TEXT) == 1", 0, "unknown function \"nosuch\" at line 1, column 1"},
        {"LEVEL == 1 ||\n x(1) == 2", 1, "unknown function \"x\" at line 2, column 2"},
        {"LEVEL == 2", -1, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        uint32_t mode = COMPLEX;
        ASSERT_TRUE(table->SearchSetExpression(c.text, 0, mode));
        for (int round = 1; round <= 2; ++round) {
            ScriptReports::All().clear();
            std::vector<uint8_t> hits;
            table->SearchMarkRows(hits);
            EXPECT_EQ(table->SearchErrorRow(), c.errorRow);
            const std::string& error = table->SearchExpression()->evalError;
            EXPECT_EQ(error.empty(), c.errorRow < 0) << error;
            if (c.error) {
                EXPECT_EQ(error, c.error);
            }
            EXPECT_EQ(ScriptReports::CountFrom("SCRIPT"), c.errorRow < 0 ? 0 : 1);
        }
    }
}

TEST(TableSearchExpression, NothingTypedCrashesOrHangs)
{
    ScriptReports reports;
    const std::string longest(1099, '(');
    ExpectSettles({
        {"((LEVEL == 2", AUTO, 0, true, SIMPLE, 0, {}},
        {"LEVEL == 2))", AUTO, 0, true, SIMPLE, 0, {}},
        {"=", AUTO, 0, true, SIMPLE, 0, {9}},
        {"#", AUTO, 0, true, SIMPLE, 0, {}},
        {"\"", AUTO, 0, true, SIMPLE, 0, {}},
        {"'boot", AUTO, 0, true, SIMPLE, 0, {}},
        {"/* boot", AUTO, 0, true, SIMPLE, 0, {}},
        {"TEXT =~ TEXT", AUTO, 0, true, SIMPLE, 0, {}},
        {"\xff == \x80", AUTO, 0, true, SIMPLE, 0, {}},
        {"99999999999999999999999 > 0", AUTO, 0, true, COMPLEX, 1, {}},
        {longest, AUTO, 0, true, SIMPLE, 0, {}},
        {std::string(1099, '!'), AUTO, 0, true, SIMPLE, 0, {}},
        {std::string(1098, '-') + "1", AUTO, 0, true, SIMPLE, 0, {}},
        {[] {
             std::string calls;
             while (calls.size() + 6 <= 1099)
                 calls += "int(";
             return calls;
         }(),
         AUTO, 0, true, SIMPLE, 0, {}},
        // Patterns compile by the dialect's own rules, whatever their text.
        {"TEXT =~ '(' || LEVEL == 3", AUTO, 0, true, COMPLEX, 1, {1299}},
        {"TEXT =~ '[z-a' || LEVEL == 3", AUTO, 0, true, COMPLEX, 1, {1299}},
        {"TEXT =~ '\\\\' || LEVEL == 3", AUTO, 0, true, COMPLEX, 1, {1299}},
    });

    // Ten thousand nested brackets: refused with a warning, never cut.
    const std::string nested = std::string(10000, '(') + "LEVEL == 2" + std::string(10000, ')');
    ExpectSettles({
        {nested, AUTO, 0, false, AUTO, SEARCH_MODE_UNDECIDED, {}},
        {std::string(1100, 'a'), SIMPLE, 0, false, SIMPLE, SEARCH_MODE_UNDECIDED, {}},
    });
    EXPECT_TRUE(ScriptReports::Has("SCRIPT: Search expression longer than 1099 characters"));
}

TEST(TableSearchExpression, RunawayPatternStopsMatching)
{
    Registered registered;
    ScriptReports scriptReports;
    Reports sys;
    TableRef table(MakeTable());
    uint32_t mode = AUTO;
    const ScopedPatternLimit limit(100000);
    // Each of the two long texts would take the whole step budget.
    ASSERT_TRUE(table->SearchSetExpression("TEXT =~ '(.*a){12}' || TID == 5", 0, mode));
    EXPECT_EQ(mode, COMPLEX);
    EXPECT_EQ(Filtered(*table), (std::vector<uint64_t>{5}));
    EXPECT_EQ(table->SearchLimitRow(), 3);
    // Each search tries the pattern again, and gives it up once.
    EXPECT_EQ(Filtered(*table), (std::vector<uint64_t>{5}));
    EXPECT_EQ(Reports::Count("match limit exceeded"), 2);
    EXPECT_TRUE(ScriptReports::Has("SCRIPT: Regular expression \"(.*a){12}\" exceeded its match limit: it matches "
                                   "nothing for the rest of this search"));

    // A new expression compiles the pattern afresh.
    ASSERT_TRUE(table->SearchSetExpression("TEXT =~ '.*(a){12}.*'", 0, mode));
    EXPECT_EQ(Filtered(*table), (std::vector<uint64_t>{77, 1299}));
    EXPECT_EQ(table->SearchLimitRow(), -1);
}

// A search tells at which row a pattern ran out of its match limit, and
// which pattern; the next search tries it again.
TEST(TableSearchExpression, SearchesTellWhereAPatternRanOutOfSteps)
{
    Registered registered;
    const ScopedPatternLimit limit(300);
    std::string shortRun, longRun;
    for (int i = 0; i < 10; ++i)
        shortRun += "ab";
    for (int i = 0; i < 150; ++i)
        longRun += "ab";
    shortRun += 'c';
    longRun += 'c';
    // Rows 0, 2 and 3 match within the limit; row 1 needs far more steps.
    TableRef table(new KxTable(nullptr, "t", PlainPrefs()));
    for (const std::string* text : {&shortRun, &longRun, &shortRun, &shortRun}) {
        RawRecord raw;
        raw.text = text->c_str();
        table->AppendRecord(raw.Build());
    }
    const struct {
        const char* search;
        int32_t (*run)(KxTable&);
        int32_t result;
        int32_t limitRow;
    } cases[] = {
        {"next from row 0", [](KxTable& t) { return t.SetCurRow(0), t.SearchNext(); }, -1, 1},
        {"previous from row 3", [](KxTable& t) { return t.SetCurRow(3), t.SearchPrev(); }, 2, -1},
        {"previous from row 2", [](KxTable& t) { return t.SetCurRow(2), t.SearchPrev(); }, -1, 1},
    };
    uint32_t mode = AUTO;
    ASSERT_TRUE(table->SearchSetExpression("TEXT =~ '(?:a|b)*c'", 1, mode));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.search);
        EXPECT_EQ(c.run(*table), c.result);
        EXPECT_EQ(table->SearchLimitRow(), c.limitRow);
        EXPECT_EQ(table->SearchExpression()->limitPattern, c.limitRow < 0 ? "" : "(?:a|b)*c");
    }
}

TEST(TableSearchExpression, ThousandExpressionsLeaveNothingBehind)
{
    // Every kind of outcome: simple, complex, a compiled pattern, a runtime
    // error, a parse error, a blank text, a text too long, a refused mode.
    const std::vector<std::pair<std::string, uint32_t>> texts = {
        {"boot", AUTO},
        {"LEVEL == 2 && TEXT ~ \"disk\"", AUTO},
        {"TEXT =~ '.*again'", AUTO},
        {"LEVEL / 0 == 1", AUTO},
        {"((LEVEL", AUTO},
        {" \t", AUTO},
        {std::string(1200, 'x'), AUTO},
        {"boot", COMPLEX},
    };
    Registered registered;
    TableRef table(MakeTable());
    for (int k = 0; k < 1000; ++k) {
        const auto& [text, requested] = texts[size_t(k) % texts.size()];
        uint32_t mode = requested;
        table->SearchSetExpression(text.c_str(), uint8_t(k & 1), mode);
        table->SetCurRow(0);
        table->SearchNext();
    }
    // The last one (refused in complex mode) left no expression; the leak
    // check at exit finds any of the others not freed.
    EXPECT_EQ(table->SearchExpression(), nullptr);
    uint32_t mode = AUTO;
    ASSERT_TRUE(table->SearchSetExpression("boot", 0, mode));
    EXPECT_EQ(table->SearchExpression()->RefCount(), 1u);
}

namespace {

// Rows for the plain-text search: the searched words in several fields, at
// both ends of a text, in either case and next to bytes past ASCII.
struct PlainRow {
    const char* text;
    const char* func;
    const char* kxname;
    uint64_t tid;
};

const PlainRow kPlainRows[] = {
    {"timeout", nullptr, nullptr, 1200},
    {"request TIMEOUT", nullptr, nullptr, 1201},
    {"TimeOut: request", "Handle", nullptr, 1202},
    {"time out", nullptr, "NET", 1203},
    {"timeou", nullptr, nullptr, 1204},
    {"caf\xe9 timeout \xc3\xa9t\xc3\xa9", nullptr, nullptr, 1205},
    {"\xc3\x89T\xc3\x89 \xe9t\xe9", nullptr, nullptr, 1206},
    {nullptr, "TimeoutHandler", nullptr, 1234},
    {"x", nullptr, "timeout", 77},
    {"", nullptr, nullptr, 0x1A2B},
    {"a\tb\nc", "out", "APP", 5},
};

// Whether a field text of the record holds word, compared byte by byte,
// ASCII letters folded without match case.
bool NaiveHolds(const KxdRecord& record, const std::string& word, bool matchCase)
{
    const auto fold = [matchCase](std::string s) {
        if (!matchCase)
            for (char& c : s)
                c = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
        return s;
    };
    for (int field = 0; field < FIELD_Nums; ++field)
        if (fold(record.Text(field)).find(fold(word)) != std::string::npos)
            return true;
    return false;
}

} // namespace

// The rows a plain text marks on several threads are those it matches row
// by row, filling its slots, and those it holds byte by byte; also over a
// filtered table.
TEST(TableSearchExpression, PlainTextOnThreadsMarksTheRowsOfTheRowByRowSearch)
{
    Registered registered;
    TableRef table(new KxTable(nullptr, "t", PlainPrefs()));
    // Enough rows that the marking is shared between threads.
    constexpr uint32_t ROWS = 40000;
    for (uint32_t i = 0; i < ROWS; ++i) {
        const PlainRow& row = kPlainRows[i % (sizeof(kPlainRows) / sizeof(kPlainRows[0]))];
        RawRecord raw;
        raw.text = row.text;
        raw.func = row.func;
        raw.kxname = row.kxname;
        raw.tid = row.tid;
        raw.num1 = i;
        table->AppendRecord(raw.Build());
    }
    const struct {
        const char* text;
        uint8_t matchCase;
    } cases[] = {
        {"timeout", 1}, {"timeout", 0}, {"TIMEOUT", 1}, {"TIMEOUT", 0},    {"t", 0},        {"out", 1},
        {"\xe9t\xe9", 0}, {"\xc3\xa9t\xc3\xa9", 1}, {"\xc9T\xc9", 0}, {"1234", 1}, {"23", 0}, {"0x1a", 0},
        {"out ", 0},    {"Handle", 1},  {"b\nc", 1},   {"request timeout", 0}, {"timeoutx", 0},
    };
    // Rows whose TEXT holds "e", filtered first: the marks follow the rows.
    for (const char* filter : {"", "e"}) {
        uint32_t mode = SEARCH_MODE_AUTO;
        if (*filter) {
            ASSERT_TRUE(table->SearchSetExpression(filter, 1, mode));
            ASSERT_GT(table->SearchFilterOn(), 0);
        }
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << "\"" << c.text << "\" case " << int(c.matchCase) << " filter \""
                                            << filter << "\"");
            mode = SEARCH_MODE_AUTO;
            ASSERT_TRUE(table->SearchSetExpression(c.text, c.matchCase, mode));
            ASSERT_EQ(mode, SEARCH_MODE_SIMPLE);
            std::vector<uint8_t> expected;
            int32_t count = 0;
            for (int32_t row = 0; row < table->RowCount(); ++row) {
                KxdRecord* record = table->GetRecord(row);
                const bool matched = table->SearchMatch(record);
                ASSERT_EQ(matched, NaiveHolds(*record, c.text, c.matchCase)) << "row " << row;
                expected.push_back(matched ? 1 : 0);
                count += matched ? 1 : 0;
            }
            std::vector<uint8_t> hits;
            EXPECT_EQ(table->SearchMarkRows(hits), count);
            EXPECT_EQ(hits, expected);
        }
        if (*filter)
            table->ClearFilter();
    }
}
