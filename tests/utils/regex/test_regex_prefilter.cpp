// What the prefilter reads from a pattern (least length, literals every match contains), and the
// memo of tried ends that the repeats share.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "utils/regex/regexbuilder.h"

namespace {

struct PrefilterCase {
    const char* pattern;
    int minLength;
    // Each literal as its text, with a leading '~' when it compares ignoring case.
    std::vector<std::string> literals;
};

std::vector<std::string> Literals(const RegexPrefilter& prefilter)
{
    std::vector<std::string> out;
    for (const RegexPrefilter::Literal& literal : prefilter.GetLiterals())
        out.push_back((literal.ignoreCase ? "~" : "") + literal.text);
    return out;
}

const PrefilterCase kPrefilterCases[] = {
    {".*ERROR.*", 5, {"ERROR"}},
    {"(?i).*(error|timeout|failed).*", 5, {"~error", "~timeout", "~failed"}},
    {"(\\w{3} [ \\d]\\d \\d\\d:\\d\\d:\\d\\d) (\\S+) ([\\w./-]+)(?:\\[(\\d+)\\])?: (.*)", 21, {": "}},
    {"abc|x", 1, {"abc", "x"}},
    {"abc|x*", 0, {}},          // an alternative without a literal
    {"(?:abc)?d", 1, {"d"}},    // an optional part requires nothing
    {"(abc){2}x", 7, {"abc"}},  // the longer literal wins
    {"a+?b{3,}", 4, {"a"}},
    {"a(?=xyz)b", 2, {"a"}},    // lookarounds require nothing
    {"x(?<=ab)", 1, {"x"}},
    {"(a)\\1", 1, {"a"}},       // back references count for nothing
    {"(?R)?x", 1, {"x"}},
    {"(?(1)ab|c)", 1, {}},
    {"(?>ab|cd)", 2, {"ab", "cd"}},
    {"[ab]{2,}", 2, {}},
    {"", 0, {}},
    {"a|b|c|d|e|f|g|h|i", 1, {}},  // too many to be worth a scan
    {"a{1000}", 100, {"a"}},        // three digits only: a{100}
};

class RegexPrefilterRead : public ::testing::TestWithParam<PrefilterCase> {};

TEST_P(RegexPrefilterRead, FindsLengthAndLiterals)
{
    const PrefilterCase& c = GetParam();
    for (int flags : {0, static_cast<int>(RegexFlagRightToLeft)}) {
        RegexBuilder builder(c.pattern, flags);
        EXPECT_EQ(builder.GetPrefilter().GetMinLength(), c.minLength) << c.pattern;
        EXPECT_EQ(Literals(builder.GetPrefilter()), c.literals) << c.pattern;
    }
}

INSTANTIATE_TEST_SUITE_P(Patterns, RegexPrefilterRead, ::testing::ValuesIn(kPrefilterCases));

struct ScreenCase {
    const char* pattern;
    std::string text;
    bool mayMatch;
};

const ScreenCase kScreenCases[] = {
    {".*ERROR.*", "an ERROR here", true},
    {".*ERROR.*", "an error here", false},
    {".*ERROR.*", "ERRO", false},  // shorter than any match
    {".*ERROR.*", "xxERROR", true},  // at the very end
    {"(?i).*(error|timeout|failed).*", "a TimeOut", true},
    {"(?i).*(error|timeout|failed).*", "FAILE", false},
    {"(?i).*(error|timeout|failed).*", "no luck here", false},
    {"abc|x", "x", true},
    {"abc|x", "ab", false},
    {"[ab]{2,}", "ab", true},
    {"[ab]{2,}", "a", false},
    {"(?i)\\xC9", "\xE9", false},  // no case folding above 0x7F
};

TEST(RegexPrefilterScreen, TurnsAwayOnlyTextsThatCannotMatch)
{
    for (const ScreenCase& c : kScreenCases) {
        RegexBuilder builder(c.pattern);
        EXPECT_EQ(builder.GetPrefilter().MayMatch(c.text.data(), static_cast<int>(c.text.size())), c.mayMatch)
            << c.pattern << " on \"" << c.text << "\"";
    }
}

TEST(RegexVisitMemo, RemembersTheLargestRoomPerEntryAndPosition)
{
    RegexVisitMemo memo;
    EXPECT_FALSE(memo.Covers(0, 5, 0));
    EXPECT_TRUE(memo.Enter(0, 5, 3));
    EXPECT_TRUE(memo.Covers(0, 5, 3));
    EXPECT_TRUE(memo.Covers(0, 5, 2));
    EXPECT_FALSE(memo.Covers(0, 5, 4));
    EXPECT_FALSE(memo.Enter(0, 5, 2));  // less room than before: already tried
    EXPECT_TRUE(memo.Enter(0, 5, 4));   // more room: worth another try
    EXPECT_FALSE(memo.Covers(1, 5, 0)); // entries are apart
    EXPECT_FALSE(memo.Covers(0, 6, 0));
    // Growing keeps every entry.
    for (int position = 0; position < 10000; ++position)
        EXPECT_TRUE(memo.Enter(7, position, position % 5));
    for (int position = 0; position < 10000; ++position)
        ASSERT_TRUE(memo.Covers(7, position, position % 5)) << position;
    EXPECT_TRUE(memo.Covers(0, 5, 4));
    memo.Clear();
    EXPECT_FALSE(memo.Covers(0, 5, 0));
    EXPECT_FALSE(memo.Covers(7, 9999, 0));
}

TEST(RegexVisitMemo, StopsRecordingAtItsCap)
{
    RegexVisitMemo memo;
    for (int position = 0; position < RegexVisitMemo::kMaxEntries; ++position)
        ASSERT_TRUE(memo.Enter(1, position, 1));
    // Past the cap nothing new is kept, so nothing new is ever turned away.
    EXPECT_TRUE(memo.Enter(2, 0, 1));
    EXPECT_TRUE(memo.Enter(2, 0, 1));
    EXPECT_FALSE(memo.Covers(2, 0, 1));
    EXPECT_FALSE(memo.Enter(1, 0, 1));
}

}  // namespace
