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
