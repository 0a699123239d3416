// The compiler's note of the first lenient reading of a pattern: what a
// caller that takes patterns from people shows when it refuses one.
#include <gtest/gtest.h>

#include <string>

#include "utils/regex/regexbuilder.h"

TEST(RegexProblems, FirstUnbalancedBracketIsNamedWithItsOffset)
{
    struct Case {
        std::string pattern;
        const char* problem; // null: none
        int offset;
    };
    const Case cases[] = {
        {"((", "'(' without a closing ')'", 1},
        {"a(b(c)d", "'(' without a closing ')'", 1},
        {"(?:ab", "'(' without a closing ')'", 0},
        {"x(?<name>y", "'(' without a closing ')'", 1},
        {"ab)cd", "')' without an opening '('", 2},
        {"[a-z", "'[' without a closing ']'", 0},
        {"ab[^x", "'[' without a closing ']'", 2},
        {"a{2", "'{' without a closing '}'", 1},
        {std::string(RegexBuilder::kMaxNesting + 1, '(') + "a", "groups nested too deeply", RegexBuilder::kMaxNesting},
        // Well formed, or lenient by rules that are no bracket's.
        {"", nullptr, -1},
        {".*error.*", nullptr, -1},
        {"(a|b)[0-9]{2,3}\\)", nullptr, -1},
        {"\\(\\[\\{", nullptr, -1},
        {"[(]", nullptr, -1},
        {"[:alpha:]", nullptr, -1},
        {"*abc", nullptr, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern.substr(0, 40));
        const RegexBuilder builder(c.pattern.c_str());
        ASSERT_TRUE(builder.IsCompiled());
        if (!c.problem) {
            EXPECT_EQ(builder.GetProblem(), nullptr) << builder.GetProblem();
            continue;
        }
        ASSERT_NE(builder.GetProblem(), nullptr);
        EXPECT_STREQ(builder.GetProblem(), c.problem);
        EXPECT_EQ(builder.GetProblemOffset(), c.offset);
    }
}

TEST(RegexProblems, LenientPatternsStillMatchByTheirRules)
{
    // Noting a problem changes nothing of what the pattern matches.
    RegexMatchResult result;
    const RegexBuilder unclosed("(ab");
    EXPECT_TRUE(unclosed.Match(result, "ab", 2).IsMatched());
    const RegexBuilder cut("ab)cd");
    EXPECT_TRUE(cut.Match(result, "ab", 2).IsMatched());
}
