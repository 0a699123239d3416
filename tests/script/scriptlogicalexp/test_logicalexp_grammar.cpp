// The search-expression syntax: token numbers, precedence, tree shapes and
// what the parser refuses or ignores.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>

#include "LogicalExpParser.h"
#include "search_fixtures.h"

TEST(LogicalExpTokens, NumbersAreTheEvaluatorsDispatchValues)
{
    const std::map<std::string, int> expected = {
        {"LE_AND", 4}, {"LE_BIT_AND", 5}, {"LE_BIT_OR", 6}, {"LE_COMA_STRINGS", 7}, {"LE_COMMENT", 8},
        {"LE_DIGIT", 9}, {"LE_DOUBLE", 10}, {"LE_EQUAL", 11}, {"LE_EQ_DIV", 12}, {"LE_EQ_MINUS", 13},
        {"LE_EQ_MOD", 14}, {"LE_EQ_MUL", 15}, {"LE_EQ_PLUS", 16}, {"LE_GF_DATE", 17}, {"LE_GF_DATETIME", 18},
        {"LE_GF_DOUBLE", 19}, {"LE_GF_INT", 20}, {"LE_GF_IPADDR", 21}, {"LE_GF_MILLI", 22}, {"LE_GF_SECOND", 23},
        {"LE_GF_TIME", 24}, {"LE_GF_TOSTRING", 25}, {"LE_GREATER", 26}, {"LE_GREATER_OR_EQUAL", 27},
        {"LE_HEX_DIGITS", 28}, {"LE_IDENT", 29}, {"LE_LESS", 30}, {"LE_LESS_OR_EQUAL", 31},
        {"LE_LINE_COMMENT", 32}, {"LE_NOT", 33}, {"LE_NOT_EQUAL", 34}, {"LE_NUMBER", 35}, {"LE_ONLY_DIV", 36},
        {"LE_ONLY_MINUS", 37}, {"LE_ONLY_MOD", 38}, {"LE_ONLY_MUL", 39}, {"LE_ONLY_PLUS", 40},
        {"LE_ONLY_POWER", 41}, {"LE_OR", 42}, {"LE_OTHER_HEX_DIGITS", 43}, {"LE_REGEXP", 44},
        {"LE_STMT_DEBUG", 45}, {"LE_STMT_NOT", 46}, {"LE_STMT_PRINT", 47}, {"LE_STRINGS", 48}, {"LE_SUBST", 49},
        {"LE_UNARY", 50}, {"LE_USER_CALL", 51}, {"LE_WILDCMP", 52}, {"LE_WS", 53}, {"'!'", 54}, {"'('", 55},
        {"')'", 56}, {"','", 57}, {"'date'", 58}, {"'datetime'", 59}, {"'float'", 60}, {"'gui.debug'", 61},
        {"'gui.print'", 62}, {"'int'", 63}, {"'ipaddr'", 64}, {"'milli'", 65}, {"'second'", 66}, {"'time'", 67},
        {"'tostring'", 68},
    };
    std::ifstream in(KXV_LOGICALEXP_TOKENS);
    ASSERT_TRUE(in.good()) << KXV_LOGICALEXP_TOKENS;
    std::map<std::string, int> found;
    for (std::string line; std::getline(in, line);) {
        const size_t eq = line.rfind('=');
        if (line.compare(0, 3, "T__") != 0 && eq != std::string::npos)
            found[line.substr(0, eq)] = std::stoi(line.substr(eq + 1));
    }
    EXPECT_EQ(found, expected);
    // The evaluator dispatches on the generated constants.
    EXPECT_EQ(LE_AND, 4);
    EXPECT_EQ(LE_WS, 53);
}

namespace {

struct Shape {
    const char* text;
    const char* tree; // null: refused
};

void ExpectShapes(const std::vector<Shape>& shapes)
{
    for (const Shape& s : shapes) {
        SCOPED_TRACE(s.text);
        ScriptReports reports;
        Expr e(s.text);
        // Parsing settles complex or simple; a refused text is searched as
        // plain text.
        if (s.tree) {
            EXPECT_EQ(e.parsed, 0);
            EXPECT_EQ(Notation(e->Root()), s.tree);
        } else {
            EXPECT_EQ(e.parsed, 1);
            EXPECT_EQ(e->mode, SEARCH_MODE_SIMPLE);
            EXPECT_EQ(e->Root(), nullptr);
        }
    }
}

} // namespace

TEST(LogicalExpSyntax, PrecedenceAndTreeShapes)
{
    ExpectShapes({
        {"LEVEL == 2 || LEVEL == 3", "(|| (== LEVEL 2) (== LEVEL 3))"},
        {"NUM1 + NUM2 > 10", "(+ NUM1 (> NUM2 10))"},
        {"a && b + c", "(+ (&& a b) c)"},
        {"NUM1 * 2 == 4", "(== (* NUM1 2) 4)"},
        {"a == 1 && b == 2 || c == 3", "(|| (&& (== a 1) (== b 2)) (== c 3))"},
        {"a - b - c", "(- (- a b) c)"},
        {"a | b & c ^ d", "(^ (& (| a b) c) d)"},
        {"a / b % c * d =~ \"x\" ~ e ~~ f", "(~~ (~ (=~ (* (% (/ a b) c) d) \"x\") e) f)"},
        {"a != 1 >= 2 <= 3 < 4", "(< (<= (>= (!= a 1) 2) 3) 4)"},
        {"(a || b) && c", "(&& (|| a b) c)"},
        {"-LEVEL", "(LE_UNARY LEVEL)"},
        {"!(a == 1)", "(LE_NOT (== a 1))"},
        {"1 - -1", "(- 1 (LE_UNARY 1))"},
        {"f(1)", "(LE_USER_CALL f 1)"},
        {"f(1, a == 2, \"s\")", "(LE_USER_CALL f 1 (== a 2) \"s\")"},
        {"time(TEXT)", "(LE_GF_TIME TEXT)"},
        {"milli(1) + second(2) + date(a) + datetime(a) + ipaddr(a) + float(a) + int(a)",
         "(+ (+ (+ (+ (+ (+ (LE_GF_MILLI 1) (LE_GF_SECOND 2)) (LE_GF_DATE a)) (LE_GF_DATETIME a)) "
         "(LE_GF_IPADDR a)) (LE_GF_DOUBLE a)) (LE_GF_INT a))"},
        {"tostring(TIME, 5)", "(LE_GF_TOSTRING TIME 5)"},
        {"gui.print(LEVEL == 2, 3)", "(LE_STMT_PRINT (== LEVEL 2) 3)"},
        {"gui.debug(1)", "(LE_STMT_DEBUG 1)"},
        {"TIME", "TIME"},
        {"times", "times"},
        {"FILE ~ \"C:\\temp\"", "(~ FILE \"C:\\temp\")"},
        {"1. + 1.5 + 10.1.2.3 + 0x1F", "(+ (+ (+ 1. 1.5) 10.1.2.3) 0x1F)"},
        {"a /* note */ == // rest\n 1", "(== a 1)"},
        // A note may end the text without a line end.
        {"a == 1 // note", "(== a 1)"},
        {"a == 1 //", "(== a 1)"},
        {"a\r\n==\t1", "(== a 1)"},
        {"\"two\nlines\" ~ x", "(~ \"two\nlines\" x)"},
    });
}

TEST(LogicalExpSyntax, RefusedTexts)
{
    ExpectShapes({
        {"--1", nullptr},
        {"!!a", nullptr},
        {"gui.print()", nullptr},
        {"f()", nullptr},
        {"time", nullptr},
        {"LEVEL = 2", nullptr},
        {"a b", nullptr},
        {"a += 1", nullptr},
        {"(a == 1", nullptr},
        {"tostring(1)", nullptr},
        // The expression must take the whole text.
        {"LEVEL == 2 TID == 5", nullptr},
        {"LEVEL == 2 garbage", nullptr},
        {"LEVEL == 2)", nullptr},
        {"'it''s' == x", nullptr},
        {"0X1F", nullptr},
    });
}

TEST(LogicalExpSyntax, ErrorsAreReportedOnTheirChannels)
{
    ScriptReports reports;
    Expr refused("a b");
    EXPECT_EQ(ScriptReports::CountFrom("ANTLR"), 1);
    EXPECT_TRUE(ScriptReports::Has("SCRIPT: The parser returned 1 errors, tree walking aborted"));

    // A character that starts no token is reported once and skipped: the
    // expression runs without it.
    ScriptReports::All().clear();
    Expr skipped("a == #1");
    EXPECT_EQ(skipped.parsed, 0);
    EXPECT_EQ(Notation(skipped->Root()), "(== a 1)");
    EXPECT_EQ(ScriptReports::CountFrom("ANTLR"), 1);
    EXPECT_EQ(ScriptReports::CountFrom("SCRIPT: The parser returned"), 0);

    ScriptReports::All().clear();
    Expr hex("0x");
    EXPECT_GE(ScriptReports::CountFrom("ANTLR"), 1);

    // Text after a complete expression is no syntax error of the runtime.
    ScriptReports::All().clear();
    Expr trailing("LEVEL == 2 TID == 5");
    EXPECT_EQ(ScriptReports::CountFrom("ANTLR"), 0);
    EXPECT_TRUE(ScriptReports::Has(
        "SCRIPT: Unexpected \"TID\" after the end of the expression, line 1, column 12"));
}
