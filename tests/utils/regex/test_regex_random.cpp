// Random patterns from a small grammar, and random bytes as patterns, must compile and match
// without a crash or a malformed result; a builder shared by threads must answer as it does alone.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <thread>
#include <vector>

#include "utils/regex/regexbuilder.h"

namespace {

class PatternGrammar {
public:
    // With `wrapClasses`, every character class X is written (?:X|[^\\s\\S]): the same matches,
    // but through the general repeat code instead of the scan over a class.
    explicit PatternGrammar(unsigned seed, bool wrapClasses = false) : m_random(seed), m_wrapClasses(wrapClasses) {}

    std::string Pattern() { return Alternation(3); }

    std::string Text()
    {
        static const char kBytes[] = "aab b\n-\xE9";
        std::string text;
        const int length = Pick(7);
        for (int i = 0; i < length; ++i)
            text += kBytes[Pick(sizeof kBytes - 1)];
        return text;
    }

    std::string Bytes()
    {
        static const char kBytes[] = "ab()[]{}|*+?.^$\\-:<>=!'#PRgk,0123iE^sdwQ \x80";
        std::string text;
        const int length = 1 + Pick(16);
        for (int i = 0; i < length; ++i)
            text += kBytes[Pick(sizeof kBytes - 1)];
        return text;
    }

private:
    int Pick(int n) { return static_cast<int>(m_random() % static_cast<unsigned>(n)); }

    std::string Alternation(int depth)
    {
        std::string out = Sequence(depth);
        while (Pick(4) == 0)
            out += "|" + Sequence(depth);
        return out;
    }

    std::string Sequence(int depth)
    {
        std::string out;
        const int items = Pick(4);
        for (int i = 0; i < items; ++i)
            out += Item(depth);
        return out;
    }

    std::string Item(int depth)
    {
        static const char* const kQuantifiers[] = {"", "", "", "*", "+", "?", "{1,2}", "*?", "+?", "??",
                                                   "*+", "{2}", "{0}", "{,2}"};
        return Atom(depth) + kQuantifiers[Pick(sizeof kQuantifiers / sizeof *kQuantifiers)];
    }

    std::string Atom(int depth)
    {
        static const char* const kLeaves[] = {"a", "b", "ab", ".", "\\w", "\\s", "\\d", "[ab]", "[^a]", "[a-]",
                                              "[:alpha:]", "[[:space:]b]", "^", "$", "\\b", "\\B", "\\Z", "\\1",
                                              "\\2", "\\k<n>", "\\x41", "(?i)", "(?m)", "(?s)", "\\G", "\\Qa*\\E"};
        static const char* const kGroups[] = {"(", "(?:", "(?=", "(?!", "(?<=", "(?<!", "(?>", "(?<n>", "(?i:",
                                              "(?(1)", "(?(?=a)", "(?(n)"};
        // kLeaves[kFirstClass] up to the one before kLeaves[kFirstAnchor] are the classes.
        static const int kFirstClass = 3;
        static const int kFirstAnchor = 12;
        if (depth == 0 || Pick(3) != 0) {
            const int leaf = Pick(sizeof kLeaves / sizeof *kLeaves);
            if (m_wrapClasses && leaf >= kFirstClass && leaf < kFirstAnchor)
                return std::string("(?:") + kLeaves[leaf] + "|[^\\s\\S])";
            return kLeaves[leaf];
        }
        return std::string(kGroups[Pick(sizeof kGroups / sizeof *kGroups)]) + Alternation(depth - 1) + ")";
    }

    std::mt19937 m_random;
    bool m_wrapClasses;
};

std::vector<int> Groups(const RegexMatchResult& result) { return {result.GetData(), result.GetData() + result.GetSize()}; }

// A match result is empty, or {1, n, pairs...} with group 0 covering the text and every other
// pair either absent or inside it.
void ExpectWellFormed(const RegexBuilder& builder, const std::string& pattern, const std::string& text)
{
    RegexMatchResult result;
    builder.Match(result, text.data(), static_cast<int>(text.size()));
    if (!result.IsMatched()) {
        EXPECT_EQ(result.GetSize(), 0) << pattern;
        return;
    }
    const int groups = result.GetGroupCount();
    ASSERT_EQ(groups, builder.GetGroupCount()) << pattern;
    ASSERT_EQ(result.GetSize(), 2 * groups + 4) << pattern;
    EXPECT_EQ(result.GetGroupStart(0), 0) << pattern;
    EXPECT_EQ(result.GetGroupEnd(0), static_cast<int>(text.size())) << pattern;
    for (int g = 1; g <= groups; ++g) {
        const int start = result.GetGroupStart(g);
        const int end = result.GetGroupEnd(g);
        if (start == -1 && end == -1)
            continue;
        EXPECT_LE(0, start) << pattern << " group " << g;
        EXPECT_LE(start, end) << pattern << " group " << g;
        EXPECT_LE(end, static_cast<int>(text.size())) << pattern << " group " << g;
    }
}

}  // namespace

TEST(RegexRandom, GrammarPatternsMatchWithoutFaults)
{
    PatternGrammar grammar(20240611u);
    for (int i = 0; i < 3000; ++i) {
        const std::string pattern = grammar.Pattern();
        for (int flags : {0, static_cast<int>(RegexFlagRightToLeft)}) {
            RegexBuilder builder(pattern.c_str(), flags);
            ASSERT_TRUE(builder.IsCompiled()) << pattern;
            for (int t = 0; t < 4; ++t)
                ExpectWellFormed(builder, pattern, grammar.Text());
        }
    }
}

TEST(RegexRandom, PrefilterAgreesWithTheMatcher)
{
    // The prefilter only turns away texts the matcher would refuse: same answer, same groups.
    PatternGrammar grammar(99u);
    int matched = 0;
    for (int i = 0; i < 3000; ++i) {
        const std::string pattern = grammar.Pattern();
        for (int flags : {0, static_cast<int>(RegexFlagRightToLeft)}) {
            RegexBuilder builder(pattern.c_str(), flags);
            for (int t = 0; t < 6; ++t) {
                const std::string text = grammar.Text();
                RegexMatchResult filtered;
                RegexMatchResult plain;
                builder.Match(filtered, text.data(), static_cast<int>(text.size()));
                builder.MatchWithoutPrefilter(plain, text.data(), static_cast<int>(text.size()));
                ASSERT_EQ(Groups(filtered), Groups(plain)) << pattern << " on \"" << text << "\"";
                matched += plain.IsMatched() ? 1 : 0;
            }
        }
    }
    // The texts must exercise both sides.
    EXPECT_GT(matched, 1000);
}

TEST(RegexRandom, FastPathAgreesWithTheElementTree)
{
    PatternGrammar grammar(31337u);
    int flattened = 0;
    int matched = 0;
    for (int i = 0; i < 4000; ++i) {
        const std::string pattern = grammar.Pattern();
        RegexBuilder builder(pattern.c_str());
        flattened += builder.HasFastPath() ? 1 : 0;
        for (int t = 0; t < 6; ++t) {
            // Small budgets too: where the tree alone runs out of steps, the whole match either
            // runs out as well (the fast path gave up) or answers as the tree does with room.
            builder.SetMatchLimit(t < 2 ? RegexBuilder::kDefaultMatchLimit : 2 << (2 * (t - 2)));
            const std::string text = grammar.Text();
            RegexMatchContext fastContext;
            RegexMatchContext treeContext;
            RegexMatchResult fast;
            RegexMatchResult tree;
            builder.MatchWithoutPrefilter(fast, text.data(), static_cast<int>(text.size()), &fastContext);
            builder.MatchGeneral(tree, text.data(), static_cast<int>(text.size()), &treeContext);
            if (treeContext.MatchLimitExceeded() && !fastContext.MatchLimitExceeded()) {
                const RegexBuilder roomy(pattern.c_str());
                roomy.MatchGeneral(tree, text.data(), static_cast<int>(text.size()), &treeContext);
            }
            ASSERT_EQ(Groups(fast), Groups(tree)) << pattern << " on \"" << text << "\"";
            matched += builder.HasFastPath() && tree.IsMatched() ? 1 : 0;
        }
    }
    // Both sides of the fast path must be exercised.
    EXPECT_GT(flattened, 1000);
    EXPECT_GT(matched, 1000);
}

TEST(RegexRandom, ClassScansAgreeWithTheGeneralRepeat)
{
    PatternGrammar plain(4242u);
    PatternGrammar wrapped(4242u, true);
    for (int i = 0; i < 3000; ++i) {
        const std::string pattern = plain.Pattern();
        const std::string general = wrapped.Pattern();
        const std::string text = plain.Text();
        ASSERT_EQ(text, wrapped.Text());
        for (int flags : {0, static_cast<int>(RegexFlagRightToLeft)}) {
            RegexMatchResult fast;
            RegexMatchResult slow;
            RegexBuilder(pattern.c_str(), flags).Match(fast, text.data(), static_cast<int>(text.size()));
            RegexBuilder(general.c_str(), flags).Match(slow, text.data(), static_cast<int>(text.size()));
            ASSERT_EQ(Groups(fast), Groups(slow)) << pattern << " / " << general << " on \"" << text << "\"";
        }
    }
}

TEST(RegexRandom, ArbitraryBytesCompileAndMatch)
{
    PatternGrammar grammar(7u);
    for (int i = 0; i < 5000; ++i) {
        const std::string pattern = grammar.Bytes();
        RegexBuilder builder(pattern.c_str(), i % 3 == 0 ? RegexFlagExtended : 0);
        ASSERT_TRUE(builder.IsCompiled()) << pattern;
        for (int t = 0; t < 3; ++t)
            ExpectWellFormed(builder, pattern, grammar.Text());
    }
}

TEST(RegexThreads, EightThreadsAgreeOnOneBuilder)
{
    const RegexBuilder builder("(\\w+) (\\d+)-(\\d+)(?: (?<tag>[a-z]+))?(?(tag)!|\\.)");
    std::vector<std::string> lines;
    for (int i = 0; i < 400; ++i) {
        std::string line = "word" + std::to_string(i) + " " + std::to_string(i * 7) + "-" + std::to_string(i % 13);
        line += i % 3 == 0 ? " tag!" : i % 3 == 1 ? "." : "!";
        lines.push_back(line);
    }
    std::vector<std::vector<int>> expected;
    for (const std::string& line : lines) {
        RegexMatchResult result;
        builder.Match(result, line.data(), static_cast<int>(line.size()));
        expected.emplace_back(result.GetData(), result.GetData() + result.GetSize());
    }

    std::vector<int> mismatches(8, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            RegexMatchResult result;
            for (int round = 0; round < 20; ++round) {
                for (size_t i = 0; i < lines.size(); ++i) {
                    builder.Match(result, lines[i].data(), static_cast<int>(lines[i].size()));
                    const std::vector<int> got(result.GetData(), result.GetData() + result.GetSize());
                    if (got != expected[i])
                        ++mismatches[t];
                }
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (int t = 0; t < 8; ++t)
        EXPECT_EQ(mismatches[t], 0) << "thread " << t;
    int matched = 0;
    for (const std::vector<int>& e : expected)
        matched += e.empty() ? 0 : 1;
    EXPECT_EQ(matched, 267);
}
