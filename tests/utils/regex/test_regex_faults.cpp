// Hostile and large inputs: deep nesting, stale capture positions, out-of-range conditions and
// megabyte texts must give an answer, never a crash.
#include <gtest/gtest.h>

#include <string>

#include "utils/regex/regexbuilder.h"

namespace {

bool Matches(const RegexBuilder& builder, const std::string& text, RegexMatchResult* out = nullptr)
{
    RegexMatchResult result;
    builder.Match(result, text.data(), static_cast<int>(text.size()));
    if (out)
        *out = result;
    return result.IsMatched();
}

std::string Repeat(const std::string& piece, int count)
{
    std::string out;
    out.reserve(piece.size() * static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        out += piece;
    return out;
}

}  // namespace

TEST(RegexNesting, NestingPastTheLimitEndsThePattern)
{
    // The 1001st '(' ends the pattern, so the groups before it close empty.
    const std::string pattern = Repeat("(", 100000) + "a" + Repeat(")", 100000);
    RegexBuilder builder(pattern.c_str());
    ASSERT_TRUE(builder.IsCompiled());
    EXPECT_EQ(builder.GetGroupCount(), RegexBuilder::kMaxNesting);
    EXPECT_TRUE(Matches(builder, ""));
    EXPECT_FALSE(Matches(builder, "a"));
}

TEST(RegexNesting, EveryGroupFormCountsTowardsTheLimit)
{
    for (const char* open : {"(?:", "(?=", "(?<=", "(?>", "(?i:", "(?(?=a)"}) {
        const std::string pattern = Repeat(open, 50000) + "a";
        RegexBuilder builder(pattern.c_str());
        ASSERT_TRUE(builder.IsCompiled()) << open;
        Matches(builder, "a");
    }
}

TEST(RegexNesting, NestingAtTheLimitMatches)
{
    const int depth = RegexBuilder::kMaxNesting;
    const std::string quantified = Repeat("(", depth) + "a" + Repeat(")", depth) + "*";
    RegexBuilder builder(quantified.c_str());
    ASSERT_EQ(builder.GetGroupCount(), depth);
    RegexMatchResult result;
    ASSERT_TRUE(Matches(builder, "aaaa", &result));
    EXPECT_EQ(result.GetGroupStart(depth), 3);
    EXPECT_EQ(result.GetGroupEnd(depth), 4);

    const std::string alternatives = Repeat("(", depth) + "a|b" + Repeat(")", depth) + "c";
    RegexBuilder deep(alternatives.c_str());
    EXPECT_TRUE(Matches(deep, "bc"));
    EXPECT_FALSE(Matches(deep, "bb"));
}

TEST(RegexNesting, RecursionIntoADeepPatternIsBoundedByItsDepth)
{
    // Each recursion re-enters the pattern's 999 levels of groups (the recursion's own
    // parentheses count as one); the machine stack allows five such levels, not the 100 that a
    // shallow pattern gets.
    const std::string pattern = Repeat("(", 998) + "a(?R)?b" + Repeat(")", 998);
    RegexBuilder builder(pattern.c_str());
    EXPECT_TRUE(Matches(builder, "aabb"));
    EXPECT_TRUE(Matches(builder, Repeat("a", 6) + Repeat("b", 6)));
    EXPECT_FALSE(Matches(builder, Repeat("a", 7) + Repeat("b", 7)));
    EXPECT_FALSE(Matches(builder, Repeat("a", 6) + Repeat("b", 6) + "c"));
    EXPECT_FALSE(Matches(builder, Repeat("a", 101) + Repeat("b", 101)));
}

TEST(RegexNesting, DeepRecursionThroughQuantifiersAndAlternativesKeepsTheStack)
{
    // Every level of groups here also passes an alternative and a quantifier, the costliest
    // chain of calls per level; a failing end backtracks through all recursions.
    for (const char* close : {")+)", ")*?)", "){1,2})"}) {
        const std::string pattern = Repeat("(?:q|(", 499) + "a(?R)?b" + Repeat(close, 499);
        RegexBuilder builder(pattern.c_str());
        EXPECT_TRUE(Matches(builder, Repeat("a", 6) + Repeat("b", 6))) << close;
        EXPECT_FALSE(Matches(builder, Repeat("a", 6) + Repeat("b", 6) + "c")) << close;
        EXPECT_FALSE(Matches(builder, Repeat("a", 8) + Repeat("b", 8))) << close;
    }
}

TEST(RegexNesting, OrdinaryNestingKeepsAllRecursionLevels)
{
    // A recursion inside up to 50 levels of groups gets the full 100 levels: the
    // outermost match plus 100 recursions.
    for (int groups : {21, 50}) {
        const std::string pattern = Repeat("(", groups) + "a(?R)?b" + Repeat(")", groups);
        RegexBuilder builder(pattern.c_str());
        EXPECT_TRUE(Matches(builder, Repeat("a", 95) + Repeat("b", 95))) << groups;
        EXPECT_TRUE(Matches(builder, Repeat("a", 101) + Repeat("b", 101))) << groups;
        EXPECT_FALSE(Matches(builder, Repeat("a", 102) + Repeat("b", 102))) << groups;
    }
}

TEST(RegexNesting, BacktrackingIntoRecursionTakesTheSameBudget)
{
    // Every deeper level is reached while backtracking into the one above it; those levels
    // count against the budget of 100 as levels reached by matching do.
    RegexBuilder builder("a(?R)??");
    EXPECT_TRUE(Matches(builder, Repeat("a", 101)));
    EXPECT_FALSE(Matches(builder, Repeat("a", 102)));
    EXPECT_FALSE(Matches(builder, Repeat("a", 20000)));
}

TEST(RegexCaptureSearch, StaleIndexStopsAtTheStackStart)
{
    // The negative lookahead captures group 1 and then drops it, leaving the group's index
    // pointing past the stack; the search must end at the first entry.
    RegexBuilder backref("(?:(?!(a))x|a)\\1");
    EXPECT_FALSE(Matches(backref, "aa"));
    RegexBuilder condition("(?:(?!(a))x|a)(?(1)b|c)");
    RegexMatchResult result;
    ASSERT_TRUE(Matches(condition, "ac", &result));
    EXPECT_EQ(result.GetGroupStart(1), -1);
}

TEST(RegexCaptureSearch, NumericConditionBeyondTheGroupsIsFalse)
{
    RegexBuilder beyond("(?(2)a|b)(x)");
    EXPECT_TRUE(Matches(beyond, "bx"));
    EXPECT_FALSE(Matches(beyond, "ax"));
    RegexBuilder huge("(?(99999999999)a|b)");
    EXPECT_TRUE(Matches(huge, "b"));
}

TEST(RegexLongText, MegabyteTextsDoNotExhaustTheStack)
{
    const std::string run(1 << 20, 'a');
    EXPECT_TRUE(Matches(RegexBuilder(".*x"), run + "x"));
    EXPECT_FALSE(Matches(RegexBuilder(".*x"), run));
    EXPECT_TRUE(Matches(RegexBuilder(".*?x"), run + "x"));
    EXPECT_TRUE(Matches(RegexBuilder("(?:a|b)*c"), run + "c"));
    EXPECT_TRUE(Matches(RegexBuilder("x.*", RegexFlagRightToLeft), "x" + run));

    RegexMatchResult result;
    ASSERT_TRUE(Matches(RegexBuilder("(a)*x"), run + "x", &result));
    EXPECT_EQ(result.GetGroupStart(1), (1 << 20) - 1);
}

TEST(RegexBuilderState, NullPatternNeverMatches)
{
    RegexBuilder builder(nullptr);
    EXPECT_FALSE(builder.IsCompiled());
    EXPECT_FALSE(Matches(builder, ""));
    EXPECT_FALSE(Matches(builder, "a"));
}

TEST(RegexBuilderState, BadTextArgumentsGiveNoMatch)
{
    RegexBuilder builder("");
    RegexMatchResult result;
    EXPECT_TRUE(builder.Match(result, nullptr, 0).IsMatched());
    EXPECT_FALSE(builder.Match(result, nullptr, 3).IsMatched());
    EXPECT_FALSE(builder.Match(result, "abc", -1).IsMatched());
}

TEST(RegexBuilderState, ReusedContextStartsAfresh)
{
    RegexBuilder builder("(a)?(b)(?(1)c|d)");
    RegexMatchContext context;
    RegexMatchResult result;
    ASSERT_TRUE(builder.Match(result, "abc", 3, &context).IsMatched());
    EXPECT_EQ(result.GetGroupStart(1), 0);
    // Group 1 captured in the first call must not leak into the second.
    ASSERT_TRUE(builder.Match(result, "bd", 2, &context).IsMatched());
    EXPECT_EQ(result.GetGroupStart(1), -1);
    EXPECT_FALSE(builder.Match(result, "bc", 2, &context).IsMatched());
    EXPECT_EQ(result.GetSize(), 0);
}

TEST(RegexNumbers, NumericGroupNameOfAnyLengthNumbersTheGroup)
{
    RegexBuilder builder("(?<1234>a)(b)");
    ASSERT_EQ(builder.GetGroupCount(), 1234);
    RegexMatchResult result;
    ASSERT_TRUE(Matches(builder, "ab", &result));
    EXPECT_EQ(result.GetGroupStart(1234), 0);
    EXPECT_EQ(result.GetGroupEnd(1234), 1);
    EXPECT_EQ(result.GetGroupStart(1), 1);
    EXPECT_EQ(result.GetGroupStart(2), -1);
    // The group can be the target of a recursion and of a condition by that number.
    EXPECT_TRUE(Matches(RegexBuilder("(?<1234>a)(?1234)"), "aa"));
    EXPECT_TRUE(Matches(RegexBuilder("(?'1234'a)(?R 1234)"), "aa"));
    EXPECT_TRUE(Matches(RegexBuilder("(?P<1234>a)?(?(1234)b|c)"), "ab"));
}

TEST(RegexNumbers, HugeNumericGroupNameIsHeldAtTheLimit)
{
    const int top = RegexBuilder::kMaxGroupNumber;
    for (const char* pattern : {"(?<99999999999999999999>a)", "(?<65536>a)", "(?<2147483647>a)"}) {
        RegexBuilder builder(pattern);
        ASSERT_EQ(builder.GetGroupCount(), top) << pattern;
        RegexMatchResult result;
        ASSERT_TRUE(Matches(builder, "a", &result)) << pattern;
        EXPECT_EQ(result.GetSize(), 2 * top + 4);
        EXPECT_EQ(result.GetGroupEnd(top), 1);
    }
}

TEST(RegexNumbers, RecursionReadsEveryDigit)
{
    // 122 empty groups and group 123 = (x): (?1234) is no group and matches the empty string,
    // where reading three digits would have made it a recursion into group 123.
    const std::string groups = Repeat("()", 122) + "(x)";
    for (const char* call : {"(?1234)", "(?R1234)", "(?R 1234 )", "(?99999999999999)"}) {
        RegexBuilder builder((groups + call).c_str());
        ASSERT_EQ(builder.GetGroupCount(), 123) << call;
        EXPECT_TRUE(Matches(builder, "x")) << call;
        EXPECT_FALSE(Matches(builder, "xx")) << call;
    }
    RegexBuilder exact((groups + "(?123)").c_str());
    EXPECT_TRUE(Matches(exact, "xx"));
}

TEST(RegexNumbers, BackReferencesAndCountsKeepThreeDigits)
{
    // \1234 is \123 followed by the literal 4; a four-digit name is a name, not a number.
    const std::string groups = Repeat("()", 122) + "(x)";
    EXPECT_TRUE(Matches(RegexBuilder((groups + "\\1234").c_str()), "xx4"));
    EXPECT_FALSE(Matches(RegexBuilder((groups + "\\k<0123>").c_str()), "xx"));
    EXPECT_TRUE(Matches(RegexBuilder((groups + "\\k<123>").c_str()), "xx"));
    EXPECT_TRUE(Matches(RegexBuilder("a{1234}"), Repeat("a", 123)));
    EXPECT_TRUE(Matches(RegexBuilder("a{2,99999999999}"), Repeat("a", 999)));
    EXPECT_FALSE(Matches(RegexBuilder("a{2,99999999999}"), Repeat("a", 1000)));
}
