// The step budget: a runaway pattern ends with no match and one "match limit exceeded" report on
// the SYS channel; lazy repeats that used to explode finish well within the budget.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "utils/kx/kx.h"
#include "utils/regex/regexbuilder.h"

namespace {

std::vector<std::string>& Reports()
{
    static std::vector<std::string> reports;
    return reports;
}

int CaptureReport(ZmLib::KXEVENT* event, ZmLib::KX*)
{
    Reports().push_back(std::to_string(event->level) + " " + (event->text ? event->text : ""));
    return 0;
}

// Keeps what SYS reports during a test instead of sending it on.
class RegexLimitTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Reports().clear();
        m_output = ZmLib::KxSys.output;
        m_route = ZmLib::KxSys.route;
        ZmLib::KxSys.route = &ZmLib::KxSys;
        ZmLib::KxSys.output = &CaptureReport;
    }
    void TearDown() override
    {
        ZmLib::KxSys.output = m_output;
        ZmLib::KxSys.route = m_route;
    }

    static const std::vector<std::string>& Reported() { return Reports(); }
    static const std::string kLimitReport;

private:
    ZmLib::KxOutputFn m_output = nullptr;
    ZmLib::KX* m_route = nullptr;
};

const std::string RegexLimitTest::kLimitReport = "0 match limit exceeded";

std::string Repeat(const std::string& piece, int count)
{
    std::string out;
    for (int i = 0; i < count; ++i)
        out += piece;
    return out;
}

struct Runaway {
    std::string pattern;
    std::string text;
};

}  // namespace

TEST_F(RegexLimitTest, RunawayPatternsEndWithOneReport)
{
    const Runaway cases[] = {
        {"(|)(?R)?", ""},
        {Repeat("a*", 42) + "\\d", Repeat("a", 14) + "x"},
        {"(a+?)*b", Repeat("a", 2000) + "cb"},
        {"(.*a){12}", Repeat("a", 29) + "b"},
    };
    for (const Runaway& c : cases) {
        Reports().clear();
        RegexBuilder builder(c.pattern.c_str());
        RegexMatchContext context;
        RegexMatchResult result;
        builder.Match(result, c.text.data(), static_cast<int>(c.text.size()), &context);
        EXPECT_FALSE(result.IsMatched()) << c.pattern;
        EXPECT_EQ(result.GetSize(), 0) << c.pattern;
        EXPECT_TRUE(context.MatchLimitExceeded()) << c.pattern;
        EXPECT_EQ(Reported(), std::vector<std::string>{kLimitReport}) << c.pattern;
    }
}

TEST_F(RegexLimitTest, LimitIsSetPerBuilder)
{
    const std::string text = Repeat("ab", 500) + "c";
    RegexBuilder limited("(?:a|b)*c");
    EXPECT_EQ(limited.GetMatchLimit(), RegexBuilder::kDefaultMatchLimit);
    EXPECT_EQ(RegexBuilder::kDefaultMatchLimit, 10000000);
    limited.SetMatchLimit(100);
    EXPECT_EQ(limited.GetMatchLimit(), 100);
    RegexMatchContext context;
    RegexMatchResult result;
    EXPECT_FALSE(limited.Match(result, text.data(), static_cast<int>(text.size()), &context).IsMatched());
    EXPECT_TRUE(context.MatchLimitExceeded());
    // Each exhausted match reports once; the thread's own context flags nothing to the caller.
    EXPECT_FALSE(limited.Match(result, text.data(), static_cast<int>(text.size())).IsMatched());
    EXPECT_EQ(Reported(), (std::vector<std::string>{kLimitReport, kLimitReport}));

    // The same context serves the next match afresh.
    RegexBuilder unlimited("(?:a|b)*c");
    EXPECT_TRUE(unlimited.Match(result, text.data(), static_cast<int>(text.size()), &context).IsMatched());
    EXPECT_FALSE(context.MatchLimitExceeded());
    EXPECT_EQ(Reported().size(), 2u);

    limited.SetMatchLimit(0);
    EXPECT_EQ(limited.GetMatchLimit(), 1);
    limited.SetMatchLimit(-5);
    EXPECT_EQ(limited.GetMatchLimit(), 1);
}

TEST_F(RegexLimitTest, LimitCountsStepsNotLength)
{
    // A long text that needs no backtracking stays far inside the budget.
    const std::string run(1 << 20, 'a');
    RegexBuilder builder(".*x");
    RegexMatchContext context;
    RegexMatchResult result;
    EXPECT_TRUE(builder.Match(result, (run + "x").data(), static_cast<int>(run.size() + 1), &context).IsMatched());
    EXPECT_FALSE(context.MatchLimitExceeded());
    EXPECT_TRUE(Reported().empty());
}

TEST_F(RegexLimitTest, RepeatsThatSkipTriedEndsStayWithinTheBudget)
{
    // Without the memo of tried ends each of these takes exponential (or, for (a+?)*b, cubic)
    // time long before these sizes.
    struct Lazy {
        const char* pattern;
        std::string text;
        bool matches;
    };
    const Lazy cases[] = {
        {"(a|aa)*?b", Repeat("a", 3000) + "cb", false},
        {"(a|aa)*?b", Repeat("a", 3000) + "b", true},
        {"(?:a|a)*?b", Repeat("a", 3000) + "cb", false},
        {"(?:a|aa|aaa)*?c", Repeat("a", 2000) + "bc", false},
        {"(?:a+?)+?b", Repeat("a", 500) + "cb", false},
        {"(a|aa){1,4000}?b", Repeat("a", 3000) + "cb", false},
        {"(?:ab|a|b)*?c", Repeat("ab", 1000) + "bc", true},
        {"(a|aa)*b", Repeat("a", 3000) + "cb", false},
        {"((a+)+)+b", Repeat("a", 48) + "cb", false},
        {"(a+?)*b", Repeat("a", 1000) + "cb", false},
        {"(?:a|b)*\\d", Repeat("a", 100000), false},
    };
    for (const Lazy& c : cases) {
        RegexBuilder builder(c.pattern);
        RegexMatchContext context;
        RegexMatchResult result;
        builder.Match(result, c.text.data(), static_cast<int>(c.text.size()), &context);
        EXPECT_EQ(result.IsMatched(), c.matches) << c.pattern;
        EXPECT_FALSE(context.MatchLimitExceeded()) << c.pattern;
    }
    EXPECT_TRUE(Reported().empty());
}

TEST_F(RegexLimitTest, PartsThatGiveNothingBackAreChargedTheirBytes)
{
    // Backtracking pays for a greedy run's scan a byte at a time; a part that drops its ways once
    // it has matched pays for the bytes it took when it matches.
    const std::string line(100000, 'a');
    for (const char* pattern : {"(\\S*+)", "(\\S++)", "(?>\\S*)", "(?=\\S*)\\S*", "(?!\\S*b)\\S*", "(?:\\S*)*+",
                                "(?(?=\\S*)\\S*|b)"}) {
        RegexBuilder builder(pattern);
        RegexMatchContext context;
        RegexMatchResult result;
        EXPECT_TRUE(builder.MatchGeneral(result, line.data(), static_cast<int>(line.size()), &context).IsMatched())
            << pattern;
        EXPECT_GE(builder.GetMatchLimit() - context.m_stepsLeft, static_cast<long long>(line.size())) << pattern;
    }
}

TEST_F(RegexLimitTest, RunsThatGiveNothingBackOverALongLineEndWithinTheBudget)
{
    // Each of the line's ends of (\S*) enters a scan of the rest of the line: its length squared
    // in bytes, far past the budget, however few ways it tries.
    const std::string line = std::string(20000, 'a') + "xb";
    for (const char* pattern : {"(\\S*)\\s*(\\S*+)x", "(\\S*)\\s*(?>\\S*)x", "(\\S*)\\s*(?=\\S*)x"}) {
        Reports().clear();
        const RegexBuilder builder(pattern);
        RegexMatchContext context;
        RegexMatchResult result;
        EXPECT_EQ(builder.MatchFastPath(result, line.data(), static_cast<int>(line.size()), context),
                  RegexFastPath::Outcome::GaveUp)
            << pattern;
        EXPECT_FALSE(builder.Match(result, line.data(), static_cast<int>(line.size()), &context).IsMatched())
            << pattern;
        EXPECT_TRUE(context.MatchLimitExceeded()) << pattern;
        EXPECT_EQ(Reported(), std::vector<std::string>{kLimitReport}) << pattern;
    }
}

TEST_F(RegexLimitTest, PossessiveRunCostsTheFastPathWhatItsGreedyFormDoes)
{
    // The run takes the whole line either way, so each form gives up under the same budgets.
    const std::string line(10000, 'a');
    int gaveUp = 0;
    for (const long long limit : {1000LL, 100000LL, 190000LL, 210000LL, 1000000LL, 10000000LL}) {
        SCOPED_TRACE("limit " + std::to_string(limit));
        RegexBuilder greedy("(\\S*)");
        RegexBuilder possessive("(\\S*+)");
        greedy.SetMatchLimit(limit);
        possessive.SetMatchLimit(limit);
        RegexMatchContext context;
        RegexMatchResult result;
        const RegexFastPath::Outcome outcome =
            greedy.MatchFastPath(result, line.data(), static_cast<int>(line.size()), context);
        EXPECT_EQ(possessive.MatchFastPath(result, line.data(), static_cast<int>(line.size()), context), outcome);
        gaveUp += outcome == RegexFastPath::Outcome::GaveUp ? 1 : 0;
    }
    // Both sides of the budget are exercised.
    EXPECT_EQ(gaveUp, 3);
}
