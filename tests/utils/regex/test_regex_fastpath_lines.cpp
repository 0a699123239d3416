// The flattened matcher on whole log lines, as the text import matches them: on lines of syslog's
// pieces put together at random, on lines where a field can end in two places, and under small
// step budgets, its answer and groups are the element tree's; where it gives up the tree decides,
// and where it answers but the tree alone would run out of steps, its answer is the tree's with
// room to finish.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/utils/regex/fastpathagree.h"
#include "utils/regex/regexbuilder.h"

namespace {

// The built-in syslog template and the usual shapes of a user's templates, each with the
// optional line end the loader adds.
const char* const kSysLog = "(\\w{3}[\\d\\W]+)\\s(\\(?\\w+\\)?)\\s[\\w\\.]+?(\\w+)\\s([^:]+):?\\s(.*)\\r?\\n?";
const char* const kDebian =
    "(\\w{3} [ \\d]\\d \\d\\d:\\d\\d:\\d\\d)\\s+(\\S+)\\s+([^\\s\\[:]+)(?:\\[(\\d+)\\])?:\\s?(.*?)\\r?\\n?";
const char* const kShapes[] = {
    kSysLog,
    kDebian,
    "(\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d(?:\\.\\d+)?(?:Z|[+-]\\d\\d:\\d\\d))\\s+(\\S+)\\s+([^\\s\\[:]+)"
    "(?:\\[(\\d+)\\])?:\\s?(.*?)\\r?\\n?",
    "(\\d{4}-\\d\\d-\\d\\d[ T]\\d\\d:\\d\\d:\\d\\d(?:\\.\\d+)?),([^,]*),([^,]*),(\\d*),([^,]*),\"?(.*?)\"?\\r?\\n?",
    "(\\w+)\\s+(\\S+?):?\\s(.*)\\r?\\n?",
    "([\\w ]+?)\\s+(\\w+)(?:\\s+(\\d+))?\\s*(.*)\\r?\\n?",
};

}  // namespace

// The built-in template on the lines its hand-made matcher was once checked with: broken,
// doubled and missing pieces, bytes outside printable ASCII, no line end, long runs.
TEST(RegexFastPathLines, SysLogTemplateAsTheTree)
{
    const RegexBuilder builder(kSysLog);
    ASSERT_TRUE(builder.HasFastPath());
    std::vector<std::string> lines = {
        "Jan  1 00:00:00 host user.err sshd[12]: text\n",
        "Dec 31 23:59:59 host user.err sshd[12]: New Year\n",
        "Feb 30 10:00:00 host user.err sshd[12]: no such day\n",
        "Jan  1 00:00:00 (host) kern.warning kernel: a: b: c\n",
        "Jan  1 00:00:00 host info proc no colon at all\n",
        "Jan  1 00:00:00 host a.b.c.d proc:\n",
        "Jan  1 00:00:00 host lvl proc:nospace tail\n",
        "Jan  1 00:00:00 host lvl :\n",
        "Jan  1 00:00:00 host lvl proc: \n",
        "Jan  1 00:00:00 host\n",
        "Jan\n",
        "\n",
        "no template takes this line\n",
        "Jan  1 00:00:00 host user.err sshd[12]: no line end",
        "Jan  1 00:00:00 host user.err sshd[12]: tab\there\n",
        "Jan  1 00:00:00 host user.err sshd[12]: cr\rhere\n",
        std::string("Jan  1 00:00:00 host user.err sshd[12]: nul") + '\0' + "byte\n",
        "Jan  1 00:00:00 host user.err sshd[12]: caf\xC3\xA9\n",
        "Jan  1 00:00:00 host " + std::string(1000, 'w') + " sshd: long level\n",
        "Jan  1 00:00:00 host " + std::string(1000, '.') + "w sshd: dots\n",
        "Jan " + std::string(1000, ' ') + "host lvl p: wide\n",
    };
    const char* const pieces[] = {"Jan", "Feb", " ", "  ", "1", "30", "00:00:00", ":", ": ", "host", "(gw)", "(",
                                  ")", "user.err", "kern.warning", ".", "info", "sshd[12]", "postfix/smtpd", "_",
                                  "a", "x y", "\t", "\r", "\xC3\xA9", "9", "-", "::"};
    uint32_t seed = 7;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    for (int k = 0; k < 20000; ++k) {
        std::string line = k % 3 == 0 ? "Jan  1 00:00:00 " : "";
        for (uint32_t n = 1 + next() % 12; n > 0; --n)
            line += pieces[next() % (sizeof(pieces) / sizeof(pieces[0]))];
        lines.push_back(line + (next() % 50 == 0 ? "" : "\n"));
    }
    // The fast path decides all but the runaway lines.
    EXPECT_GT(LinesDecided(builder, lines), lines.size() - lines.size() / 100);
}

// Lines where a field can end in two places: the first way in the tree's order decides, so a
// greedy run keeps what it can and a lazy one takes what it must.
TEST(RegexFastPathLines, FieldsThatCanEndInTwoPlaces)
{
    const std::vector<FastPathFields> cases = {
        // A year after the time belongs to the time, not to the host.
        {kSysLog,
         "Dec  7 08:00:00 2026 host kern.info prog: msg\n",
         {"Dec  7 08:00:00 2026", "host", "info", "prog", "msg"}},
        {kSysLog, "Jan 12 34 host lv n: t\n", {"Jan 12 34", "host", "v", "n", "t"}},
        {kSysLog, "Jan 12 34 host lv n: t: u\n", {"Jan 12 34", "host", "v", "n", "t: u"}},
        {kSysLog, "Jan 12 34 host lv n t u\n", {"Jan 12 34", "host", "v", "n t u", ""}},
        {kSysLog, "Jan  1 00:00:00 host a.b.c.d proc:\n", {"Jan  1 00:00:00", "host", "d", "proc", ""}},
        {kSysLog, "Jan  1 00:00:00 (gw) kern.info x:  two\n", {"Jan  1 00:00:00", "(gw)", "info", "x", " two"}},
        {kDebian, "Dec  7 08:00:00 host prog[12]: a: b\n", {"Dec  7 08:00:00", "host", "prog", "12", "a: b"}},
        {kDebian, "Dec  7 08:00:00 host prog:[12]: x\n", {"Dec  7 08:00:00", "host", "prog", "-", "[12]: x"}},
        {kDebian, "Dec  7 08:00:00 host prog:  two\n", {"Dec  7 08:00:00", "host", "prog", "-", " two"}},
        {kDebian, "Dec  7 08:00:00 host prog:\r\n", {"Dec  7 08:00:00", "host", "prog", "-", ""}},
        {kDebian, "Dec  7 08:00:00 host prog: a\r\r\n", {"Dec  7 08:00:00", "host", "prog", "-", "a\r"}},
        {kDebian, "Dec  7 08:00:00 2026 host prog: msg\n", {}},
        {kDebian, "Dec  7 08:00:00 host prog[x]: msg\n", {}},
        {"(\\w+)\\s+(\\S+?):?\\s(.*)\\r?\\n?", "ab cd:: e\n", {"ab", "cd:", "e"}},
        {"([\\w ]+?)\\s+(\\w+)(?:\\s+(\\d+))?\\s*(.*)\\r?\\n?", "a b 12 c\n", {"a", "b", "12", "c"}},
    };
    for (const FastPathFields& c : cases)
        ExpectFastPathFields(c);
}

// Every template shape on tens of thousands of random lines of syslog's pieces.
TEST(RegexFastPathLines, RandomLinesAsTheTree)
{
    const std::vector<std::string> lines = RandomSyslogLines(12000, 2026);
    for (const char* pattern : kShapes) {
        SCOPED_TRACE(pattern);
        const RegexBuilder builder(pattern);
        ASSERT_TRUE(builder.HasFastPath());
        EXPECT_EQ(LinesDecided(builder, lines), lines.size());
        if (testing::Test::HasFailure())
            return;
    }
}

// Under budgets from one step up: where the fast path gives up, the match as a whole reports the
// limit as the tree alone does; where it answers, the answer is the tree's with the default budget.
TEST(RegexFastPathLines, StepLimitAsTheTree)
{
    std::vector<std::string> lines = RandomSyslogLines(300, 99);
    lines.push_back("Jan " + std::string(1000, ' ') + "host lvl p: wide\n");
    lines.push_back("Jan  1 00:00:00 host " + std::string(1000, '.') + "w sshd: dots\n");
    lines.push_back("Jan  1 00:00:00 host prog: " + std::string(1000, 'x') + "\n");
    lines.push_back("Jan  1 00:00:00 host " + std::string(500, 'a') + " " + std::string(500, 'b') + "\n");
    for (const char* pattern : kShapes) {
        const RegexBuilder roomy(pattern);
        for (const long long limit : {1LL, 10LL, 50LL, 200LL, 1000LL, 5000LL, 30000LL}) {
            SCOPED_TRACE(std::string(pattern) + ", limit " + std::to_string(limit));
            RegexBuilder builder(pattern);
            builder.SetMatchLimit(limit);
            LinesDecided(builder, lines, &roomy);
            if (testing::Test::HasFailure())
                return;
        }
    }
}

// The fast path passes over ways the tree tries one by one, so with the same budget it can answer
// where the tree alone runs out: the answer is the tree's with room to finish, and the match
// reports no limit.
TEST(RegexFastPathLines, AnswersWhereTheTreeAloneRunsOut)
{
    struct Case {
        const char* pattern;
        std::string line;
        long long limit;
    };
    const Case cases[] = {
        {"^\\w?(?:\\s?|(\\S{1,3}))\\r?\\n?$", "msg\r\nbb", 100},
        {"(.?)(?:\\s)?[^:]{1,3}(\\s?).{1,3}", "msgx1[12]xabx", 100},
        {"(\\S{1,3}).+(\\s*|(.?\?))(?:x|(\\w+?))([\\w.]{2})", "\xE9 ab", 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.pattern) + " on \"" + c.line + "\"");
        const int length = static_cast<int>(c.line.size());
        const RegexBuilder roomy(c.pattern);
        RegexBuilder builder(c.pattern);
        builder.SetMatchLimit(c.limit);
        RegexMatchContext context;
        RegexMatchResult result;
        builder.MatchGeneral(result, c.line.data(), length, &context);
        EXPECT_TRUE(context.MatchLimitExceeded());
        EXPECT_TRUE(FastPathAgrees(builder, c.line, &roomy));
        RegexMatchResult expected;
        roomy.MatchGeneral(expected, c.line.data(), length, &context);
        EXPECT_FALSE(context.MatchLimitExceeded());
        EXPECT_EQ(MatchGroups(builder.Match(result, c.line.data(), length, &context)), MatchGroups(expected));
        EXPECT_FALSE(context.MatchLimitExceeded());
    }
}
