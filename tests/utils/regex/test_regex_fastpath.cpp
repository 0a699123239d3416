// The flattened matcher beside the element tree: which patterns take it, and on tricky texts the
// same answer, the same groups and the same step-budget outcome as the tree alone (both without
// the prefilter, which turns some texts away before either runs).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "utils/regex/regexbuilder.h"

namespace {

struct FastPathCase {
    const char* pattern;
    std::string text;
    bool fastPath;
    bool matches;
    // 0: the default step budget.
    long long matchLimit;
};

const std::string kTemplate = "(\\w{3} [ \\d]\\d \\d\\d:\\d\\d:\\d\\d) (\\S+) ([\\w./-]+)(?:\\[(\\d+)\\])?: (.*)";
const std::string kSysLog = "(\\w{3}[\\d\\W]+)\\s(\\(?\\w+\\)?)\\s[\\w\\.]+?(\\w+)\\s([^:]+):?\\s(.*)";
const std::string kAs(3000, 'a');

std::string Repeat(const std::string& part, int times)
{
    std::string out;
    for (int i = 0; i < times; ++i)
        out += part;
    return out;
}

const FastPathCase kCases[] = {
    // Import templates on lines with and without a process id, cut short, with ": " in the text.
    {kTemplate.c_str(), "Jan  1 00:00:01 host3 sshd[4242]: Accepted key: for deploy", true, true, 0},
    {kTemplate.c_str(), "Feb 28 23:59:59 host0 kernel: usb 1-1: new device", true, true, 0},
    {kTemplate.c_str(), "Mar  3 10:00:00 host1 cron[12]:", true, false, 0},
    {kTemplate.c_str(), "Mar  3 10:00:00 host1 cron[x]: text", true, false, 0},
    {kTemplate.c_str(), "Mar  3 10:00:00", true, false, 0},
    {kSysLog.c_str(), "Jan  1 00:00:01 web01 daemon.info sshd[100]: session opened", true, true, 0},
    {kSysLog.c_str(), "Jan  1 00:00:01 (gw) kern.warning kernel: disk usage", true, true, 0},
    {kSysLog.c_str(), "Jan  1 00:00:01 web01 sshd[100]: session opened", true, false, 0},
    // Alternatives and group repeats: the first way in the tree's order wins, groups included.
    {"(a|ab)(c|bcd)", "abcd", true, true, 0},
    {"(?:(a)|b)+", "ab", true, true, 0},
    {"(?:(a)|(b))*?(b)", "abb", true, true, 0},
    {"(ab){2}", "abab", true, true, 0},
    {"(a)|b", "b", true, true, 0},
    {"(a)?(?:b)?a", "a", true, true, 0},
    {"(?:x(\\d+)y)?x(\\d+)y", "x12y", true, true, 0},
    {"(?:(a)|(ab))(?:(c)|(bc))", "abc", true, true, 0},
    {"(?:(\\d)|-)+", "1-2-", true, true, 0},
    {"(?:(\\d)|-){2,3}x", "1-2x", true, true, 0},
    {"(?:(\\d)|-){2,3}x", "1-2-x", true, false, 0},
    {"(?:(\\d)|-){2,3}?(-?)x", "1--x", true, true, 0},
    {"(?:(\\w)(\\d)?)+", "a1bc2", true, true, 0},
    {"((?:a|b)+)(b+)", "abab", true, true, 0},
    {"(a|)(b|)c", "c", true, true, 0},
    {"(?:x|^y)z", "yz", true, true, 0},
    {"(?:x|^y)z", "xz", true, true, 0},
    {"a(?:$|b)", "a", true, true, 0},
    {"\\G\\w+", "abc", true, true, 0},
    {"(?m)a$\\n^b", "a\nb", true, true, 0},
    // Runs: backing off to what follows, lazy, possessive, runs that overlap what follows.
    {"(\\w{2,4})(\\w{2,4})", "abcdefg", true, true, 0},
    {"(\\w{2,4}?)(\\w+)", "abcdefg", true, true, 0},
    {"(\\w{2,4})(\\w{2,4})", "abc", true, false, 0},
    {"([\\x80-\\xFF]*)(.)", "\xE9\xE9", true, true, 0},
    {"(\\s*)(\\S*)(\\s*)", " \t ab \n", true, true, 0},
    {"(\\d+)(\\d)", "12345", true, true, 0},
    {"(\\w+)\\s(\\w+)", "abc def", true, true, 0},
    {"([a-c]+?)(c+)", "abcc", true, true, 0},
    {"\\w{2,3}+a", "aaa", true, false, 0},
    {"\\w{2,3}+a", "aaaa", true, true, 0},
    {"(.*)ERROR(.*)", "an ERROR and an ERROR here", true, true, 0},
    {"(.*)", "line\nbreak", true, false, 0},
    {"(?s)(.*)", "line\nbreak", true, true, 0},
    {"(x*)y?(x*)", "xxx", true, true, 0},
    // What may follow a run is read through optional parts, alternatives and repeats.
    {"(a+)(?:b|c)?a", "aaa", true, true, 0},
    {"(\\w+)(?:-(\\w+))*\\.", "ab-cd-ef.", true, true, 0},
    {"(\\w+)(?:-(\\w+))*\\.", "ab-cd-ef", true, false, 0},
    {"([a-z]+)(?:(\\d)|x)*?\\d", "abx1x2", true, true, 0},
    {"[^a]+", "\xE9\xE9z", true, true, 0},
    {"(?i)ab([c-e]+)", "ABcDe", true, true, 0},
    // A run followed by a run that stops in one place: ways that end that run where a failed way
    // ended it are passed over.
    {"([\\w.]+?)(\\w+)\\s(.*)", "daemon.info sshd: up", true, true, 0},
    {"([\\w.]+?)(\\w+)\\s(.*)", "daemon.info", true, false, 0},
    {"(\\w*)(\\d+)c", "a1b2c", true, true, 0},
    {"(\\w*)(\\d+)y", "1a22b33", true, false, 0},
    {"(\\w+?)(\\d*)-", "ab12-", true, true, 0},
    {"(\\w+)(\\d*)-(\\d)", "a1-2", true, true, 0},
    // Only ends from which the rest can reach the end of the text are tried: the rest's shortest
    // and longest length through optional parts, alternatives, group repeats and anchors.
    {"(.*?)\\r?\\n?", "ab\r\n", true, true, 0},
    {"(.*?)\\r?\\n?", "a\r\r\n", true, true, 0},
    {"(\\s?)(.*?)(x?)", " ax", true, true, 0},
    {"(a+?)(?:bc|b)?$", "aab", true, true, 0},
    {"(?:(a+?)b){1,3}c", "abaabc", true, true, 0},
    {"(?:(a+?)b){1,3}c", "abaabaabaabc", true, false, 0},
    {"(?:(\\w?)-){1,3}x", "a-b-c-x", true, true, 0},
    {"(?:(\\w?)-){1,3}x", "a-b-c-d-x", true, false, 0},
    {"(\\w+?)(\\d{2})(\\d?)", "abc123", true, true, 0},
    {"(.*)(?:ab|c)(x?)", "xxabc", true, true, 0},
    {"(\\d*)(?:-\\d)?", "12-3", true, true, 0},
    {"(.*?)\\r?\\n?", std::string(200000, 'a') + "\n", true, false, 100000},
    {"(.*?)\\r?\\n?", std::string(200000, 'a') + "\n", true, true, 10000000},
    // A repeated single byte runs as a class.
    {"\\(?(\\w+)\\)?\\s(x?)", "(gw) ", true, true, 0},
    {"(?i)(a+)b?A", "aAa", true, true, 0},
    {"(?i)(a+?)b*+A", "aAbB", true, false, 0},
    // Literals, classes and fixed runs side by side are checked as one span.
    {"(?i)x\\dY[a-c]{2}", "X1ybC", true, true, 0},
    {"(?i)x\\dY[a-c]{2}", "X1y[C", true, false, 0},
    {"\\d{2}-\\d{2}", "12-34", true, true, 0},
    {"\\d{2}-\\d{2}", "12-3", true, false, 0},
    // Anchors and the empty pattern.
    {"^a$", "a", true, true, 0},
    {"a\\Z", "a\n", true, false, 0},
    {"a\\Z\\n", "a\n", true, true, 0},
    {"\\bfoo\\b bar", "foo bar", true, true, 0},
    {"", "", true, true, 0},
    {"x*", "", true, true, 0},
    // Nesting deeper than the fast path goes, and work past its share of the budget: the tree
    // takes over with the same answer.
    {"(?:ab)+", Repeat("ab", 3000), true, true, 0},
    {"(?:a|aa)+b", kAs + "c", true, false, 0},
    {"(?:a|aa)+b", std::string(40, 'a') + "c", true, false, 100000},
    {"(?:a|aa)+b", std::string(40, 'a') + "c", true, false, 50},
    {"(.*)", std::string(200000, 'a') + "\nb", true, false, 100000},
    {"(.*)[xy]", std::string(200000, 'a'), true, false, 100000},
    {"(\\w+) ", std::string(200000, 'a'), true, false, 100000},
    // Forms the fast path leaves to the tree.
    {"(a*)*b", "aab", false, true, 0},
    {"(a)\\1", "aa", false, true, 0},
    {"(?<n>a)(?<n>b)", "ab", false, true, 0},
    {"(?=a)a", "a", false, true, 0},
    {"(?>a+)b", "aab", false, true, 0},
    {"(?:ab)*+c", "ababc", false, true, 0},
};

std::vector<int> Groups(const RegexMatchResult& result)
{
    return {result.GetData(), result.GetData() + result.GetSize()};
}

}  // namespace

TEST(RegexFastPath, AgreesWithTheElementTree)
{
    for (const FastPathCase& c : kCases) {
        SCOPED_TRACE(std::string(c.pattern) + " on \"" + c.text.substr(0, 60) + "\"");
        RegexBuilder builder(c.pattern);
        if (c.matchLimit > 0)
            builder.SetMatchLimit(c.matchLimit);
        EXPECT_EQ(builder.HasFastPath(), c.fastPath);
        const int length = static_cast<int>(c.text.size());
        RegexMatchContext fastContext;
        RegexMatchContext treeContext;
        RegexMatchResult fast;
        RegexMatchResult tree;
        builder.MatchWithoutPrefilter(fast, c.text.data(), length, &fastContext);
        builder.MatchGeneral(tree, c.text.data(), length, &treeContext);
        EXPECT_EQ(fast.IsMatched(), c.matches);
        EXPECT_EQ(Groups(fast), Groups(tree));
        EXPECT_EQ(fastContext.MatchLimitExceeded(), treeContext.MatchLimitExceeded());
    }
}

TEST(RegexFastPath, TemplateGroupsAreTheFields)
{
    const RegexBuilder builder(kTemplate.c_str());
    const std::string line = "Jan  1 00:00:01 host3 sshd[4242]: Accepted key: for deploy";
    RegexMatchResult result;
    ASSERT_TRUE(builder.Match(result, line.data(), static_cast<int>(line.size())).IsMatched());
    const std::vector<std::string> expected = {"Jan  1 00:00:01", "host3", "sshd", "4242", "Accepted key: for deploy"};
    for (int group = 1; group <= 5; ++group) {
        const int start = result.GetGroupStart(group);
        EXPECT_EQ(line.substr(static_cast<size_t>(start), static_cast<size_t>(result.GetGroupEnd(group) - start)),
                  expected[static_cast<size_t>(group - 1)])
            << "group " << group;
    }
}
