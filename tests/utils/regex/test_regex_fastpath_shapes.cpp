// The fast path's pruning against the element tree on the shapes import templates are made of:
// fields that once came out wrong as named cases, then a thousand random template shapes, each
// on texts of the pieces log lines are made of, every group compared.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/utils/regex/fastpathagree.h"
#include "utils/regex/regexbuilder.h"

namespace {

// Template shapes at random: fields of runs (\S+, \w+, \d+, [^ ]+, .*, ...) in every mode,
// literals and blanks between them, alternatives, optional and repeated groups.
class TemplateShapes {
public:
    explicit TemplateShapes(unsigned seed) : m_random(seed) {}

    std::string Pattern()
    {
        std::string out = Pick(6) == 0 ? "^" : "";
        if (Pick(10) == 0)
            out += "(?i)";
        out += Part(Pick(3) == 0 ? 2 : 1, 2 + Pick(5));
        if (Pick(3) == 0)
            out += "\\r?\\n?";
        if (Pick(8) == 0)
            out += "$";
        return out;
    }

    std::string Text()
    {
        static const char* const kPieces[] = {"aaa", "bb", "msg", "x", "11", "2", "-", " ", "  ", "\t", ":", ": ",
                                              "[12]", ".", "ab", "c", "\xE9", "x1", "\r\n", "AB", "X"};
        std::string text;
        for (int n = Pick(8); n > 0; --n)
            text += kPieces[Pick(sizeof kPieces / sizeof *kPieces)];
        return text;
    }

private:
    int Pick(int n) { return static_cast<int>(m_random() % static_cast<unsigned>(n)); }

    std::string Run()
    {
        static const char* const kClasses[] = {"\\S", "\\w", "\\d", "[^ ]", ".", "[\\w.]", "[^:]", "[a-c]",
                                               "[^\\s\\[:]", "x", "\\s"};
        static const char* const kCounts[] = {"+", "*", "+?", "*?", "++", "*+", "?", "??", "{1,3}", "{2}", "{2,}",
                                              "?+"};
        return std::string(kClasses[Pick(sizeof kClasses / sizeof *kClasses)]) +
               kCounts[Pick(sizeof kCounts / sizeof *kCounts)];
    }

    // Something that takes at least one byte: a literal, a blank or a field that cannot be empty.
    std::string Consuming()
    {
        static const char* const kLiterals[] = {" ", ":", ": ", "-", "x", "\\[", "\\]", "ab", ",", "\\s",
                                                "\\s+", "\\d\\d", "[ab]", "1"};
        static const char* const kFields[] = {"(\\S+)", "(\\w+)", "(\\d+)", "([^ ]+)", "(.+)", "(\\w+?)",
                                              "([^:]++)", "(\\S{1,3})"};
        if (Pick(3) == 0)
            return kFields[Pick(sizeof kFields / sizeof *kFields)];
        return kLiterals[Pick(sizeof kLiterals / sizeof *kLiterals)];
    }

    std::string Item(int depth)
    {
        static const char* const kBlanks[] = {"\\s*", "\\s?", " ?", "\\s*?"};
        static const char* const kOptional[] = {"?", "??"};
        static const char* const kRepeats[] = {"*", "+", "{1,3}", "*?", "+?", "{2}"};
        switch (Pick(depth > 0 ? 9 : 4)) {
        case 0:
            return "(" + Run() + ")";
        case 1:
            return Run();
        case 2:
            return Consuming();
        case 3:
            return kBlanks[Pick(sizeof kBlanks / sizeof *kBlanks)];
        case 4:
            return "(" + Part(depth - 1, 1 + Pick(2)) + "|" + Part(depth - 1, 1 + Pick(2)) + ")";
        case 5:
            return "(?:" + Part(depth - 1, 1 + Pick(2)) + "|" + Consuming() + ")";
        case 6:
            return "(?:" + Consuming() + Part(depth - 1, Pick(3)) + ")" + kOptional[Pick(2)];
        case 7:
            return "(" + Consuming() + Part(depth - 1, Pick(2)) + ")" + kOptional[Pick(2)];
        default:
            return "(?:" + Consuming() + Part(depth - 1, Pick(3)) + ")" +
                   kRepeats[Pick(sizeof kRepeats / sizeof *kRepeats)];
        }
    }

    std::string Part(int depth, int items)
    {
        std::string out;
        for (int i = 0; i < items; ++i)
            out += Item(depth);
        return out;
    }

    std::mt19937 m_random;
};

}  // namespace

// Fields whose ends the pruning once chose wrongly: the fast path answers, with the tree's groups.
TEST(RegexFastPathShapes, NamedFieldsAsTheTree)
{
    const FastPathFields cases[] = {
        // What follows a run inside an alternative is what follows the alternation.
        {"(\\w+|-)\\s(.*)", "aaa msg", {"aaa", "msg"}},
        {"(\\w+|-)\\s(.*)", "- msg", {"-", "msg"}},
        // A run at the end of a repeated group may be followed by the group again or by the end.
        {"(?:(\\S+)\\s*)*", "aaa bb", {"bb"}},
        {"(?:(\\S+)\\s*)*", "aaa bb ", {"bb"}},
        // A run chained to a run that stops only where its bytes end.
        {"([^ ]+)(\\d*)(x)(\\d*)", "bax11", {"ba", "", "x", "11"}},
        {"([^ ]+)(\\d*)(x)(\\d*)", "b1x2x3", {"b1x2", "", "x", "3"}},
        {"([^ ]+)(\\d*)(x)(\\d*)", "b1 x2", {}},
    };
    for (const FastPathFields& c : cases)
        ExpectFastPathFields(c);
}

// A thousand template shapes on eighty texts each, with a fixed seed: the fast path decides
// almost every pair, with the tree's answer and groups.
TEST(RegexFastPathShapes, RandomTemplateShapesAsTheTree)
{
    TemplateShapes shapes(20260118u);
    int flattened = 0;
    size_t pairs = 0;
    size_t decided = 0;
    int matched = 0;
    for (int i = 0; i < 1000; ++i) {
        const std::string pattern = shapes.Pattern();
        SCOPED_TRACE(pattern);
        const RegexBuilder builder(pattern.c_str());
        std::vector<std::string> texts;
        for (int t = 0; t < 80; ++t)
            texts.push_back(shapes.Text());
        if (!builder.HasFastPath())
            continue;
        ++flattened;
        pairs += texts.size();
        decided += LinesDecided(builder, texts);
        if (testing::Test::HasFailure())
            return;
        for (const std::string& text : texts) {
            RegexMatchResult result;
            matched += builder.Match(result, text.data(), static_cast<int>(text.size())).IsMatched() ? 1 : 0;
        }
    }
    EXPECT_GT(flattened, 900);
    EXPECT_GT(decided, pairs - pairs / 1000);
    EXPECT_GT(matched, 5000);
}
