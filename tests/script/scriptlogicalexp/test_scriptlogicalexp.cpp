// The search-expression evaluator: simple and complex handling, value rules,
// match slots, errors that fall back to the plain search, and library calls.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "../../kxlib/table_fixtures.h"
#include "script/scriptbase/scriptlib.h"
#include "search_fixtures.h"

namespace {

struct Rec {
    int level = 1;
    uint64_t tid = 1234;
    const char* file = "main.cpp";
    const char* text = "nothing to see";
    uint32_t ip = 0;
};

class Records {
public:
    Records() : table_(new KxTable(nullptr, "t", PlainPrefs())) {}
    ~Records() { table_->Release(); }
    Records(const Records&) = delete;
    Records& operator=(const Records&) = delete;

    KxdRecord* Add(const Rec& r)
    {
        ZmLib::KxdProt prot;
        memset(&prot, 0, sizeof(prot));
        prot.msg.magic = ZmLib::KxProt::MAGIC;
        prot.SetIntValue(FIELD_LEVEL, uint64_t(int64_t(r.level)));
        prot.SetIntValue(FIELD_TID, r.tid);
        prot.SetIntValue(FIELD_IP, r.ip);
        const char* strings[ZmLib::KxProt::STR_SLOTS] = {};
        strings[ZmLib::KxdProt::SLOT_FILE] = r.file;
        strings[ZmLib::KxdProt::SLOT_TEXT] = r.text;
        prot.SetStrings(strings, nullptr);
        return table_->AppendRecord(prot);
    }

private:
    KxTable* table_;
};

using Slot = std::tuple<int, int, std::string>;

std::vector<Slot> Slots(const KxSearchExpression& e)
{
    std::vector<Slot> out;
    for (int f = 0; f < FIELD_Nums; ++f)
        if (e.matchSlots[f].set)
            out.emplace_back(f, e.matchSlots[f].kind, e.matchSlots[f].text ? e.matchSlots[f].text : "<null>");
    return out;
}

struct Case {
    const char* text;
    Rec rec;
    bool matched;
    int32_t mode;
    std::vector<Slot> slots;
    bool matchCase = true;
};

void ExpectCases(const std::vector<Case>& cases)
{
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.text << " matchCase " << c.matchCase);
        Records records;
        KxdRecord* record = records.Add(c.rec);
        Expr e(c.text, c.matchCase);
        EXPECT_EQ(e->mode, c.mode);
        EXPECT_EQ(e->Match(record), c.matched);
        EXPECT_EQ(Slots(*e.p), c.slots);
    }
}

constexpr int SIMPLE = SEARCH_MODE_SIMPLE;
constexpr int COMPLEX = SEARCH_MODE_COMPLEX;
constexpr int SUB = SEARCH_SLOT_SUBSTRING;
constexpr int VAL = SEARCH_SLOT_VALUE;

} // namespace

TEST(SearchEvaluator, SimpleSearchFillsEveryFieldThatHoldsTheText)
{
    const Rec r{1, 1234, "Error.cpp", "an error here"};
    ExpectCases({
        {"error", r, true, SIMPLE, {{15, SUB, "Error"}, {18, SUB, "error"}}, false},
        {"error", r, true, SIMPLE, {{18, SUB, "error"}}, true},
        {"1234", r, true, SIMPLE, {{10, SUB, "1234"}, {11, SUB, "1234"}}}, // TNAME defaults to the TID
        {"absent", r, false, SIMPLE, {}},
    });
}

TEST(SearchEvaluator, ComparisonsOnFields)
{
    const Rec two{2, 1234, "main.cpp", "a timeout b"};
    const Rec one{1, 1234, "main.cpp", "xxABCyy"};
    ExpectCases({
        {"LEVEL == 2", two, true, COMPLEX, {{12, VAL, "2"}}},
        {"LEVEL == 2", one, false, COMPLEX, {}},
        {"2 == LEVEL", two, true, COMPLEX, {{12, VAL, "2"}}},
        {"TEXT == \"*timeout*\"", two, true, COMPLEX, {{18, VAL, "a timeout b"}}},
        {"TEXT == '*timeout*'", two, false, COMPLEX, {}},
        {"TEXT != \"*timeout*\"", two, true, COMPLEX, {{18, VAL, "a timeout b"}}},
        {"TID == \"12*\"", two, true, COMPLEX, {{10, VAL, "1234"}}},
        {"TID ~ 23", two, true, COMPLEX, {{10, SUB, "23"}}},
        {"TEXT ~ \"abc\"", one, true, COMPLEX, {{18, SUB, "ABC"}}, false},
        {"TEXT ~ \"abc\"", one, false, COMPLEX, {}, true},
        {"TEXT ~~ \"xx?BC*\"", one, true, COMPLEX, {{18, VAL, "xxABCyy"}}},
        {"TEXT =~ \"ABC\"", one, false, COMPLEX, {}},
        {"TEXT =~ \".*ABC.*\"", one, true, COMPLEX, {{18, VAL, "xxABCyy"}}},
        {"TEXT =~ '.*AB.*'", one, true, COMPLEX, {{18, VAL, "xxABCyy"}}},
        {"!(TEXT ~ \"a\")", one, true, COMPLEX, {}},
        // Text after the expression: the whole text is searched as it stands.
        {"LEVEL == 2 garbage", two, false, SIMPLE, {}},
        {"LEVEL == 2 TID == 5", Rec{2, 5, "f", "LEVEL == 2 TID == 5"}, true, SIMPLE, {{18, SUB, "LEVEL == 2 TID == 5"}}},
        {"TEXT ~ \"err\" && LEVEL < 0", Rec{-1, 1, "f", "an error"}, true, COMPLEX, {{12, VAL, "-1"}, {18, SUB, "err"}}},
        // A true part leaves its slot even when the whole is false.
        {"TEXT ~ \"err\" && LEVEL < 0", Rec{1, 1, "f", "an error"}, false, COMPLEX, {{18, SUB, "err"}}},
        // A string field against a number compares texts.
        {"FILE == 5", Rec{1, 1, "5", "t"}, true, COMPLEX, {{15, VAL, "5"}}},
        {"LEVEL == 1 && TEXT ~ \"AB\"", one, true, COMPLEX, {{12, VAL, "1"}, {18, SUB, "AB"}}},
        // Equal operands: only the comparisons that admit equality hold.
        {"LEVEL > 2", two, false, COMPLEX, {}},
        {"LEVEL >= 2", two, true, COMPLEX, {{12, VAL, "2"}}},
        {"LEVEL < 2", two, false, COMPLEX, {}},
        {"LEVEL <= 2", two, true, COMPLEX, {{12, VAL, "2"}}},
        {"LEVEL != 2", two, false, COMPLEX, {}},
        {"2 < LEVEL", two, false, COMPLEX, {}},
        {"2 >= LEVEL", two, true, COMPLEX, {{12, VAL, "2"}}},
        {"FILE > \"main.cpp\"", two, false, COMPLEX, {}},
        {"FILE <= \"main.cpp\"", two, true, COMPLEX, {{15, VAL, "main.cpp"}}},
        {"FILE != \"main.cpp\"", two, false, COMPLEX, {}},
    });
}

TEST(SearchEvaluator, ValueRules)
{
    const Rec r;
    ExpectCases({
        {"-1 || 0", r, true, COMPLEX, {}},
        {"7 / 2 == 3", r, true, COMPLEX, {}},
        {"7 / 2.0 == 3.5", r, true, COMPLEX, {}},
        {"1.5 > 1", r, true, COMPLEX, {}},
        // Literals keep 64 bits.
        {"3000000000 > 0", r, true, COMPLEX, {}},
        {"0xFFFFFFFF == 4294967295", r, true, COMPLEX, {}},
        {"0xFFFFFFFF == -1", r, false, COMPLEX, {}},
        {"0xFFFFFFFFFFFFFFFF == -1", r, true, COMPLEX, {}},
        {"18446744073709551615 == -1", r, true, COMPLEX, {}},
        {"9007199254740993 - 9007199254740992 == 1", r, true, COMPLEX, {}},
        {"ipaddr(\"10.0.0.200\") == 10.0.0.200", r, true, COMPLEX, {}},
        {"IP == 10.0.0.200", Rec{1, 1, "f", "t", 0xC800000A}, true, COMPLEX, {{1, VAL, "3355443210"}}},
        {"IP == 10.0.0.200", Rec{1, 1, "f", "t", 0x0A0000C8}, false, COMPLEX, {}},
        {"\"c\" > \"a\"", r, true, COMPLEX, {}, false},
        {"\"a\" > \"B\"", r, false, COMPLEX, {}, false},
        {"\"a\" > \"B\"", r, true, COMPLEX, {}, true},
        {"2 ^ 10 == 1024", r, true, COMPLEX, {}},
        {"tostring(1500000, 5) == \"1.500000\"", r, true, COMPLEX, {}},
        {"tostring(1500000, 65536 * 65536 + 5) == \"1.500000\"", r, true, COMPLEX, {}},
        {"milli(2) == 2000 && second(1.5) == 1500000", r, true, COMPLEX, {}},
        {"int(\"4294967295\") == -1", r, true, COMPLEX, {}},
        {"float(\"2.5\") * 2 == 5", r, true, COMPLEX, {}},
        {"(\"ab\" + 1) == 'ab1'", r, true, COMPLEX, {}},
        // '+' binds looser than "==".
        {"\"ab\" + 1 == 'ab1'", r, false, COMPLEX, {}},
        {"unknown == \"unknown\"", r, true, COMPLEX, {}},
        {"-LEVEL < 0", r, true, COMPLEX, {}},
        {"2.5 > 2.5 || 2.5 < 2.5 || 2.5 != 2.5", r, false, COMPLEX, {}},
        {"2.5 >= 2.5 && 2.5 <= 2.5 && 2.5 == 2.5", r, true, COMPLEX, {}},
        {"2.0 > 2 || 2 < 2.0", r, false, COMPLEX, {}},
        {"2.0 >= 2 && 2 <= 2.0", r, true, COMPLEX, {}},
        {"\"b\" > \"b\" || \"b\" < \"b\" || \"b\" != \"b\"", r, false, COMPLEX, {}},
        {"\"b\" >= \"b\" && \"b\" <= \"b\"", r, true, COMPLEX, {}},
        {"\"b\" >= \"B\" && \"B\" <= \"b\" && \"b\" == \"B\"", r, true, COMPLEX, {}, false},
    });
}

TEST(SearchEvaluator, RunTimeErrorsFallBackToThePlainSearch)
{
    const Rec one{1, 1234, "main.cpp", "LEVEL / 0 == 1"};
    const Rec two{2, 1234, "main.cpp", "x"};
    ExpectCases({
        {"LEVEL / 0 == 1", two, false, COMPLEX, {}},
        {"LEVEL / 0 == 1", one, true, COMPLEX, {{18, SUB, "LEVEL / 0 == 1"}}},
        // The right side is not evaluated when LEVEL is 1.
        {"LEVEL > 1 && TID / 0 == 1", Rec{1}, false, COMPLEX, {}},
        // A true comparison before the error leaves no highlight.
        {"LEVEL == 2 && TID / 0 == 1", two, false, COMPLEX, {}},
        {"1.2.3 == 1", two, false, COMPLEX, {}},
        // Past 64 bits, or no address: no number.
        {"18446744073709551616 > 0", two, false, COMPLEX, {}},
        {"0x10000000000000000 > 0", two, false, COMPLEX, {}},
        {"10.0.0.256 > 0", two, false, COMPLEX, {}},
        {"LEVEL == 2 || 1.2.3", two, true, COMPLEX, {{12, VAL, "2"}}},
        {"f(1) == 1", two, false, COMPLEX, {}},
        {"(\"abc\" & 1) == 1", two, false, COMPLEX, {}},
        {"0.5 && 1", two, false, COMPLEX, {}},
        {"-TEXT == 1", two, false, COMPLEX, {}},
        {"date(5) == 1", two, false, COMPLEX, {}},
    });

    // The next record after an error is evaluated normally.
    Records records;
    Expr e("LEVEL / (LEVEL - 2) > 0 && LEVEL == 3");
    EXPECT_FALSE(e->Match(records.Add(two)));
    EXPECT_TRUE(e->Match(records.Add(Rec{3})));
    EXPECT_EQ(Slots(*e.p), (std::vector<Slot>{{12, VAL, "3"}}));
}

TEST(SearchEvaluator, ModesAndRefusedTexts)
{
    ScriptReports reports;
    Records records;
    KxdRecord* record = records.Add(Rec{2, 1, "f", "TEXT =~ abc"});

    // A pattern must be a string literal: the text is searched as it stands.
    Expr pattern("TEXT =~ abc");
    EXPECT_EQ(pattern.parsed, 1);
    EXPECT_EQ(pattern->mode, SIMPLE);
    EXPECT_TRUE(pattern->Match(record));

    // Without an operator the text is simple even when it parses.
    Expr word("LEVEL");
    EXPECT_EQ(word.parsed, 0);
    EXPECT_EQ(word->mode, SIMPLE);
    EXPECT_EQ(word->fieldNamed[FIELD_LEVEL], 1);

    Expr inside("gui.print(LEVEL == 2)");
    EXPECT_EQ(inside->mode, COMPLEX);
    EXPECT_EQ(inside->fieldNamed[FIELD_LEVEL], 1);
    EXPECT_EQ(inside->predicateCount, 1u);
    EXPECT_FALSE(inside->Match(record));
    // A second Parse keeps what the first one built.
    EXPECT_EQ(inside->Parse(), 0);
    EXPECT_EQ(inside->predicateCount, 1u);

    Expr simple("LEVEL == 2", true, true);
    EXPECT_EQ(simple.parsed, 0);
    EXPECT_EQ(simple->mode, SIMPLE);
    EXPECT_TRUE(ScriptReports::Has("SCRIPT: In simple or none mode, no needing to parse"));
    EXPECT_TRUE(ScriptReports::Has(
        "SCRIPT: ScriptLogicalExpParser expression: LEVEL == 2, matchcase = 1, simplemode = 1"));

    Expr blank(" \t ");
    EXPECT_EQ(blank.parsed, -1);
    EXPECT_EQ(blank->mode, SEARCH_MODE_NONE);
    EXPECT_FALSE(blank->Match(record));
    EXPECT_TRUE(ScriptReports::Has("SCRIPT: FiTree::Match: Expression was not set correctly Mode = -2"));
}

TEST(SearchEvaluator, TextAndNodeLimits)
{
    std::string longest(1099, 'a');
    Expr fits(longest.c_str());
    EXPECT_EQ(fits->mode, SIMPLE); // a lone identifier
    EXPECT_EQ(std::strlen(fits->text), 1099u);
    Expr refused((longest + "a").c_str());
    EXPECT_EQ(refused->mode, SEARCH_MODE_NONE);
    EXPECT_EQ(refused->text[0], '\0');

    // A chain of n field identifiers needs 2n - 1 node infos; "=~" one more.
    auto chain = [](int n) {
        std::string text = "IP";
        for (int i = 1; i < n; ++i)
            text += "==IP";
        return text + " =~ \"x\"";
    };
    Expr most(chain(100).c_str());
    EXPECT_EQ(most->mode, COMPLEX);
    Expr over(chain(101).c_str());
    EXPECT_EQ(over.parsed, 1);
    EXPECT_EQ(over->mode, SIMPLE);
}

TEST(SearchEvaluator, DeepestTextsTheLimitAllows)
{
    Records records;
    KxdRecord* record = records.Add(Rec{2});
    // 1099 characters of brackets around one comparison, and a chain whose
    // tree is as deep as the text allows.
    const size_t depth = (1099 - 8) / 2;
    const std::string nested = std::string(depth, '(') + "LEVEL==2" + std::string(depth, ')');
    Expr brackets(nested.c_str());
    EXPECT_EQ(brackets->mode, COMPLEX);
    std::string chain = "1";
    while (chain.size() + 4 <= 1099)
        chain += "==!1";
    Expr deep(chain.c_str());
    EXPECT_EQ(deep->mode, COMPLEX);
    EXPECT_TRUE(brackets->Match(record));
    deep->Match(record);
}

namespace {

// A library with plain names, entered in a search registry of the test's own.
class TestLibrary : public ScriptLibRun {
public:
    static inline std::string printed;
    // Smaller than a handler block: reading it as one overruns it.
    static inline char object = 'o';
    static const ScriptLibFunc* Functions()
    {
        static const ScriptLibFunc functions[] = {
            {"gui.print", 0, SCRIPT_INTEGER, 1, {SCRIPT_STRING}},
            {"twice", 0, SCRIPT_INTEGER, 1, {SCRIPT_INTEGER}},
            {"fails", 0, SCRIPT_INTEGER, 0, {}},
            {"object", 0, SCRIPT_HANDLER, 0, {}},
        };
        return functions;
    }
    bool Run(ScriptValue& result, int function, int*, int, ScriptArgList& args) override
    {
        switch (function) {
        case 0:
            printed = args.Arg(0).text;
            result = ScriptValue::Integer(1);
            break;
        case 1: result = ScriptValue::Integer(args.Arg(0).Int() * 2); break;
        case 3: result.text = &object; break;
        default: result.type = SCRIPT_FAILED; break;
        }
        return true;
    }
};

struct RegistryScope {
    ScriptLibRegistry registry;
    TestLibrary library;
    ScriptLibRegistry* saved = ScriptLibRegistry::search;
    RegistryScope()
    {
        registry.Add(&library, TestLibrary::Functions(), 4);
        ScriptLibRegistry::search = &registry;
    }
    ~RegistryScope() { ScriptLibRegistry::search = saved; }
};

} // namespace

TEST(SearchEvaluator, LibraryCalls)
{
    const Rec two{2};
    {
        // Without a "gui.print" the pieces are only printed and no value is
        // left, so the test is false.
        ScriptReports reports;
        Records records;
        Expr e("gui.print(LEVEL == 2, \"s\")");
        EXPECT_FALSE(e->Match(records.Add(two)));
        EXPECT_TRUE(ScriptReports::Has("SCRIPT: (== LEVEL 2):1, "));
        EXPECT_TRUE(ScriptReports::Has("SCRIPT: \"s\":s"));
    }
    RegistryScope scope;
    ExpectCases({
        {"gui.print(LEVEL == 2, 7)", two, true, COMPLEX, {{12, VAL, "2"}}},
        {"twice(LEVEL) == 4", two, true, COMPLEX, {}},
        {"twice(\"x\") == 4", two, false, COMPLEX, {}},
        {"fails(1) == 1", two, false, COMPLEX, {}},
        // A handler result is refused, never read as a handler block.
        {"twice(object(1)) == 4", two, false, COMPLEX, {}},
        {"gui.debug(1) == 1", two, true, COMPLEX, {}},
    });
    EXPECT_EQ(TestLibrary::printed, "1:1");
}

// The form the find dialog takes apart: its kind and, per field, the
// operator code and the literal without quotes ("FIELD op value" listed in
// field order); anything else is kind 0 with no predicate.
TEST(SearchEvaluator, FormsAndPredicates)
{
    struct Case {
        const char* text;
        int32_t form;
        const char* predicates;
    };
    const Case cases[] = {
        {"TEXT~'abc'", SEARCH_FORM_SINGLE, "TEXT 8 abc"},
        {"TEXT~'abc' && PID==12", SEARCH_FORM_AND, "PID 6 12|TEXT 8 abc"},
        {"LEVEL<2 || SEQ>=3 || TID!=0x1F", SEARCH_FORM_OR, "SEQ 5 3|TID 7 0x1F|LEVEL 2 2"},
        {"LEVEL<=1 && LINE>9 && FILE=~'a.c'", SEARCH_FORM_AND, "LEVEL 3 1|FILE 9 a.c|LINE 4 9"},
        {"TEXT~\"it's\" && FILE=='*.cpp'", SEARCH_FORM_AND, "FILE 6 *.cpp|TEXT 8 it's"},
        {"TEXT ~ \"a b\"", SEARCH_FORM_SINGLE, "TEXT 8 a b"},
        // Grouping inside one chain changes nothing.
        {"(LEVEL==1 && TID==2) && LINE==3", SEARCH_FORM_AND, "TID 6 2|LEVEL 6 1|LINE 6 3"},
        // Two predicates on one field would lose one.
        {"LEVEL>1 && LEVEL<5", SEARCH_FORM_OTHER, ""},
        {"LEVEL==1 && TID==2 || LINE==3", SEARCH_FORM_OTHER, ""},
        {"LEVEL==1 || (TID==2 && LINE==3)", SEARCH_FORM_OTHER, ""},
        {"IP==ipaddr('1.2.3.4')", SEARCH_FORM_OTHER, ""},
        {"!(TEXT~'a')", SEARCH_FORM_OTHER, ""},
        {"LEVEL==-1", SEARCH_FORM_OTHER, ""},
        {"2==LEVEL", SEARCH_FORM_OTHER, ""},
        {"TEXT~~'a*'", SEARCH_FORM_OTHER, ""},
        {"NOSUCH=='a'", SEARCH_FORM_OTHER, ""},
        // Double quotes make == a wildcard test: written back in single
        // quotes it would mean something else.
        {"FILE==\"*.cpp\"", SEARCH_FORM_OTHER, ""},
        {"FILE==\"o'n*\"", SEARCH_FORM_OTHER, ""},
        // != compares double-quoted text exactly; negated, it is the exact ==
        // of a value with an apostrophe and a wildcard.
        {"FILE!=\"*.cpp\"", SEARCH_FORM_SINGLE, "FILE 7 *.cpp"},
        {"!(FILE!=\"o'n*\") && TEXT~'a'", SEARCH_FORM_AND, "FILE 6 o'n*|TEXT 8 a"},
        {"!(FILE==\"o'n*\")", SEARCH_FORM_OTHER, ""},
        {"plain words", SEARCH_FORM_OTHER, ""},
    };
    for (const Case& c : cases) {
        Expr e(c.text);
        std::string listed;
        for (int32_t f = 0; f < FIELD_Nums; ++f) {
            const SearchPredicate& p = e->predicates[f];
            if (p.op == SEARCH_OP_NONE)
                continue;
            listed += (listed.empty() ? "" : "|") + std::string(FieldKey(f)) + " " + std::to_string(p.op) + " " +
                      p.value;
        }
        EXPECT_EQ(e->form, c.form) << c.text;
        EXPECT_EQ(listed, c.predicates) << c.text;
    }
    // A new text forgets the old form.
    Expr again("LEVEL==1");
    again->Construct("TEXT~'x' || TEXT~'y'", true, false);
    again->Parse();
    EXPECT_EQ(again->form, SEARCH_FORM_OTHER);
    EXPECT_EQ(again->predicates[FIELD_LEVEL].op, SEARCH_OP_NONE);
}
