// Checks of the flattened matcher against the element tree on whole lines, shared by the engine's
// tests and the import's.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "utils/regex/regexbuilder.h"

inline std::vector<int> MatchGroups(const RegexMatchResult& result)
{
    return {result.GetData(), result.GetData() + result.GetSize()};
}

// Matches the line with the fast path alone and with the tree alone and expects the same answer;
// true when the fast path decided. The fast path passes over ways the tree tries, so under a small
// budget it may answer where the tree alone runs out of steps: its answer must then be the one
// the tree gives with room to finish, `roomy` (the same pattern with a budget the tree finishes
// in) when given, and the whole match gives it without reporting the limit.
inline bool FastPathAgrees(const RegexBuilder& builder, const std::string& line,
                           const RegexBuilder* roomy = nullptr)
{
    const int length = static_cast<int>(line.size());
    RegexMatchContext fastContext;
    RegexMatchContext treeContext;
    RegexMatchResult fast;
    RegexMatchResult tree;
    const RegexFastPath::Outcome outcome = builder.MatchFastPath(fast, line.data(), length, fastContext);
    builder.MatchGeneral(tree, line.data(), length, &treeContext);
    if (outcome == RegexFastPath::Outcome::GaveUp) {
        // What reaches the user goes through the tree then: the full match agrees as well.
        RegexMatchResult full;
        builder.MatchWithoutPrefilter(full, line.data(), length, &fastContext);
        EXPECT_EQ(MatchGroups(full), MatchGroups(tree));
        EXPECT_EQ(fastContext.MatchLimitExceeded(), treeContext.MatchLimitExceeded());
        return false;
    }
    if (treeContext.MatchLimitExceeded()) {
        RegexMatchResult full;
        builder.MatchWithoutPrefilter(full, line.data(), length, &fastContext);
        EXPECT_EQ(MatchGroups(full), MatchGroups(fast));
        EXPECT_FALSE(fastContext.MatchLimitExceeded());
        if (!roomy)
            return true;
        roomy->MatchGeneral(tree, line.data(), length, &treeContext);
        EXPECT_FALSE(treeContext.MatchLimitExceeded());
    }
    EXPECT_EQ(outcome == RegexFastPath::Outcome::Matched, tree.IsMatched());
    EXPECT_EQ(MatchGroups(fast), MatchGroups(tree));
    return true;
}

// A line whose fields the fast path decides: the groups from 1 on; empty: no match. A group that
// took no part is "-".
struct FastPathFields {
    const char* pattern;
    std::string line;
    std::vector<std::string> groups;
};

// The fast path answers the line without giving up, as the tree does, with the groups expected.
inline void ExpectFastPathFields(const FastPathFields& c)
{
    SCOPED_TRACE(std::string(c.pattern) + " on \"" + c.line + "\"");
    const RegexBuilder builder(c.pattern);
    ASSERT_TRUE(builder.HasFastPath());
    RegexMatchContext context;
    RegexMatchResult result;
    ASSERT_NE(builder.MatchFastPath(result, c.line.data(), static_cast<int>(c.line.size()), context),
              RegexFastPath::Outcome::GaveUp);
    EXPECT_TRUE(FastPathAgrees(builder, c.line));
    ASSERT_EQ(result.IsMatched(), !c.groups.empty());
    for (size_t g = 0; g < c.groups.size(); ++g) {
        const int start = result.GetGroupStart(static_cast<int>(g + 1));
        const int end = result.GetGroupEnd(static_cast<int>(g + 1));
        EXPECT_EQ(start < 0 ? "-" : c.line.substr(static_cast<size_t>(start), static_cast<size_t>(end - start)),
                  c.groups[g])
            << "group " << g + 1;
    }
}

// FastPathAgrees over the lines, up to the first that fails; how many the fast path decided.
inline size_t LinesDecided(const RegexBuilder& builder, const std::vector<std::string>& lines,
                           const RegexBuilder* roomy = nullptr)
{
    size_t decided = 0;
    for (const std::string& line : lines) {
        SCOPED_TRACE(line.substr(0, 120));
        decided += FastPathAgrees(builder, line, roomy) ? 1 : 0;
        if (testing::Test::HasFailure())
            break;
    }
    return decided;
}

// Lines of syslog's pieces at random: months, days, times, years, hosts, levels, names with and
// without a process id, colons, commas, quotes, blanks, tabs, CRs and bytes outside ASCII, most
// after a time of one of the usual forms; one in fifty without a line end.
inline std::vector<std::string> RandomSyslogLines(int count, uint32_t seed)
{
    static const char* const kPieces[] = {
        "Jan", "Feb", "Dec", " ", "  ", "1", "7", "12", "30", "2026", "00:00:00", "08:00:00", "2024-12-07T08:00:00",
        ".5", "Z", "+01:00", ":", ": ", "host", "web-1.lan", "(gw)", "(", ")", "user.err", "kern.warning", ".",
        "info", "sshd[12]", "[12]", "[x]", "postfix/smtpd", "_", "a", "x y", ",", "\"", "\t", "\r", "\xC3\xA9",
        "9", "-", "::", "T"};
    const size_t pieces = sizeof(kPieces) / sizeof(kPieces[0]);
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    static const char* const kStarts[] = {"Jan  1 00:00:00 ", "Dec 17 08:00:01 2026 ", "2024-12-07T08:00:00.5+01:00 ",
                                          "2024-12-07 08:00:00,", ""};
    std::vector<std::string> lines;
    for (int k = 0; k < count; ++k) {
        std::string line = kStarts[k % 5];
        for (uint32_t n = 1 + next() % 12; n > 0; --n)
            line += kPieces[next() % pieces];
        lines.push_back(line + (next() % 50 == 0 ? "" : "\n"));
    }
    return lines;
}
