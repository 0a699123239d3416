// Pattern, text and expected group offsets, by feature. A case expects either no match ({}) or
// the (start, end) pair of every group from 0 up, -1/-1 for a group that took no part.
// Matching is whole-text: a pattern must cover the text from its first to its last byte.
#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "utils/regex/regexbuilder.h"

namespace {

struct RegexCase {
    const char* pattern;
    std::string text;
    std::vector<int> groups;
    int flags = 0;
};

void PrintTo(const RegexCase& c, std::ostream* out)
{
    *out << "pattern \"" << c.pattern << "\" text \"" << c.text << "\" flags " << c.flags;
}

const std::vector<int> kNoMatch;

std::vector<int> Whole(const std::string& text) { return {0, static_cast<int>(text.size())}; }

class RegexConformance : public ::testing::TestWithParam<RegexCase> {};

TEST_P(RegexConformance, MatchesAsExpected)
{
    const RegexCase& c = GetParam();
    RegexBuilder builder(c.pattern, c.flags);
    ASSERT_TRUE(builder.IsCompiled());
    RegexMatchResult result;
    builder.Match(result, c.text.data(), static_cast<int>(c.text.size()));
    if (c.groups.empty()) {
        EXPECT_FALSE(result.IsMatched());
        EXPECT_EQ(result.GetSize(), 0);
        return;
    }
    ASSERT_TRUE(result.IsMatched());
    const int groups = static_cast<int>(c.groups.size()) / 2 - 1;
    ASSERT_EQ(result.GetGroupCount(), groups);
    ASSERT_EQ(result.GetSize(), 2 * groups + 4);
    for (int g = 0; g <= groups; ++g) {
        EXPECT_EQ(result.GetGroupStart(g), c.groups[2 * g]) << "group " << g;
        EXPECT_EQ(result.GetGroupEnd(g), c.groups[2 * g + 1]) << "group " << g;
    }
}

const std::string kA123(123, 'a');

const RegexCase kLiterals[] = {
    {"abc", "abc", {0, 3}},
    {"abc", "abcd", kNoMatch},  // whole-text: no search inside the line
    {"abc", "ab", kNoMatch},
    {"", "", {0, 0}},
    {"", "a", kNoMatch},
    {"abc*", "ab", {0, 2}},  // the quantifier binds the last character only
    {"abc*", "abccc", {0, 5}},
    {"abc*", "abab", kNoMatch},
    {"a\\.b", "a.b", {0, 3}},
    {"a\\.b", "axb", kNoMatch},
    {"\\x41\\u0042", "AB", {0, 2}},
    {"\\x{20AC}", "\xAC", {0, 1}},  // braced hex keeps the low byte only
    {"\\xZ", "xZ", {0, 2}},
    {"\\u", "u", {0, 1}},
    {"\\t\\n\\r\\f\\v\\a\\e", "\t\n\r\f\v\a\x1b", {0, 7}},
    {"\\Qa.*\\E", "a.*", {0, 3}},
    {"\\Qa.*", "a.*", {0, 3}},
    {"\\LAbC\\E", "abc", {0, 3}},
    {"\\Uab\\Ec", "ABc", {0, 3}},
    {"a\\", "a\\", {0, 2}},
    {"(?#note)a(?#x)b", "ab", {0, 2}},
    {"\\*\\(", "*(", {0, 2}},
    {"*a", "*a", {0, 2}},    // a leading quantifier is a literal
    {"a}", "a}", {0, 2}},
    {"\xC3\xA9", "\xC3\xA9", {0, 2}},
    {"a b # c\n d", "abd", {0, 3}, RegexFlagExtended},
    {"a\\ b", "a b", {0, 3}, RegexFlagExtended},
};
INSTANTIATE_TEST_SUITE_P(Literals, RegexConformance, ::testing::ValuesIn(kLiterals));

const RegexCase kClasses[] = {
    {"[abc]", "b", {0, 1}},
    {"[^abc]", "b", kNoMatch},
    {"[^abc]", "\n", {0, 1}},
    {"[a-]", "-", {0, 1}},
    {"[a-]", "a", {0, 1}},
    {"[]a]", "a]", kNoMatch},  // ']' right after '[' closes an empty class (PCRE: a member)
    {"[]", "", kNoMatch},
    {"[^]", "\n", {0, 1}},
    {"[.]", ".", {0, 1}},
    {"[.]", "x", kNoMatch},
    {"[(]", "(", {0, 1}},
    {"[$]", "$", {0, 1}},
    {"[a\\]]", "]", {0, 1}},
    {"[\\b]", "\b", {0, 1}},
    {"[z-a]", "m", kNoMatch},
    {"[\\d_]", "_", {0, 1}},
    {"[\\d_]", "7", {0, 1}},
    {"[^\\d]", "7", kNoMatch},
    {"[\\x80-\\xff]", "\xC3", {0, 1}},
    // Range bounds compare as signed bytes: a-0xFF is 97..-1 and holds nothing.
    {"[a-\\xff]", "\xC3", kNoMatch},
    {"[a-\\xff]", "b", kNoMatch},
    {"[\\x00-\\x7f]", "\xC3", kNoMatch},
    {"[^\\x00-\\x7f]", "\xC3", {0, 1}},
    {"[\\xe0-\\xef]+", "\xE2\xE9", {0, 2}},
    {".", "\n", kNoMatch},
    {".", "\xFF", {0, 1}},
    {"(?s).", "\n", {0, 1}},
    {"\\w", "\xC3", kNoMatch},
    {"\\W", "\xC3", {0, 1}},
    {"\\d+", "123", {0, 3}},
    {"\\D", "a", {0, 1}},
    {"\\s", "\t", {0, 1}},
    {"\\s", "\f", kNoMatch},  // only inside a lookbehind does \s take form feed
    {"\\S", " ", kNoMatch},
    {"[:alpha:]", "q", {0, 1}},  // a POSIX class stands on its own
    {"[:alpha:]", "\xE9", kNoMatch},
    {"[:^digit:]", "x", {0, 1}},
    {"[:^digit:]", "5", kNoMatch},
    {"[:foo:]", "f", {0, 1}},  // unknown name: the class of ':', 'f', 'o'
    {"[:foo:]", ":", {0, 1}},
    {"[:foo:]", "x", kNoMatch},
    {"[[:digit:]x]", "5", {0, 1}},
    {"[[:digit:]x]", "x", {0, 1}},
    {"[[:digit:]x]", "y", kNoMatch},
    {"[[:foo:]]", "f]", {0, 2}},
    {"[[:foo:]]", "f", kNoMatch},
    {"[:xdigit:]", "F", {0, 1}},
    {"[:xdigit:]", "g", kNoMatch},
    {"[:punct:]", "!", {0, 1}},
    {"[:space:]", "\v", {0, 1}},
    {"[:blank:]", "\t", {0, 1}},
    {"[:blank:]", "\n", kNoMatch},
    {"[:cntrl:]", "\x7F", {0, 1}},
    {"[:print:]", " ", {0, 1}},
    {"[:graph:]", " ", kNoMatch},
    {"[:upper:]", "a", kNoMatch},
    {"[:lower:]", "a", {0, 1}},
    {"[:alnum:]", "_", kNoMatch},
    {"[:ascii:]", "\x7F", {0, 1}},
    {"[:ascii:]", "\x80", kNoMatch},
    {"[:digit:", "7", {0, 1}},
    {"(?i)[a-c]", "B", {0, 1}},
    {"(?i)[A-C]", "b", {0, 1}},
    {"(?i)[x]", "X", {0, 1}},
    {"(?i)[^a]", "A", kNoMatch},
    {"(?i)[W-c]", "x", {0, 1}},  // W-Z adds w-z
    {"(?i)[[:lower:]]", "A", kNoMatch},  // POSIX classes are not folded
    {"(?i)[\\xE9]", "\xC9", kNoMatch},    // no case above 0x7F
};
INSTANTIATE_TEST_SUITE_P(Classes, RegexConformance, ::testing::ValuesIn(kClasses));

const RegexCase kQuantifiers[] = {
    {"a{1234}", kA123, Whole(kA123)},  // only three digits are read: 123
    {"a{1234}", kA123 + "a", kNoMatch},
    {"a{5,3}", "aaaaa", {0, 5}},
    {"a{5,3}", "aaaa", kNoMatch},
    {"a{,3}", "", {0, 0}},  // no leading number: {0}
    {"a{,3}", "a", kNoMatch},
    {"a{0}", "", {0, 0}},
    {"a{0}b", "b", {0, 1}},
    {"a{x}b", "b", {0, 1}},
    {"x{", "", {0, 0}},
    {"a{2}?", "aa", {0, 2}},
    {"a{2}+", "aa", {0, 2}},
    {"a{2,}", "a", kNoMatch},
    {"a{2,}", "aaaa", {0, 4}},
    {"a{ 2 , 3 }", "aaa", {0, 3}},
    {"a{2,3}", "aaaa", kNoMatch},
    {"a**", "aa*", {0, 3}},  // a second quantifier is a literal
    {"a**", "aa", kNoMatch},
    {"a{2}{3}", "aa{3}", {0, 5}},
    {"{", "{", {0, 1}},
    {"a?", "", {0, 0}},
    {"a?", "a", {0, 1}},
    {"a+", "", kNoMatch},
    {"(ab)*c", "ababc", {0, 5, 2, 4}},
    {"(a|b)*", "abba", {0, 4, 3, 4}},
    {"(x*)*", "xx", {0, 2, 0, 2}},
    {"(a*)+b", "b", {0, 1, 0, 0}},
    {"(a|ab)*c", "abac", {0, 4, 2, 3}},
    {"(?:a*)*b", "aab", {0, 3}},
    {"(\\d+)(\\d)", "1234", {0, 4, 0, 3, 3, 4}},
};
INSTANTIATE_TEST_SUITE_P(Quantifiers, RegexConformance, ::testing::ValuesIn(kQuantifiers));

// A repeat whose last extra iteration backtracks to nothing still offers no extra iteration at
// all; the empty iteration is not counted, so its group reports no capture.
const RegexCase kEmptyLastIteration[] = {
    {"(?:a?)?a", "a", {0, 1}},
    {"(a?)?a", "a", {0, 1, -1, -1}},
    {"(?:a|)*a", "a", {0, 1}},
    {"(?:a?)*a", "a", {0, 1}},
    {"(?:a?){0,2}a", "a", {0, 1}},
    {"(?:a?){1,2}a", "a", {0, 1}},
    {"(?:ab|a?)?ab", "ab", {0, 2}},
    {"(\\D?)?\\S", "-", {0, 1, -1, -1}},
    {"(?:\\w?)?\\w", "x", {0, 1}},
    {"( ?)?\\s", " ", {0, 1, -1, -1}},
    {"(\\d?)?\\d", "5", {0, 1, -1, -1}},
    {"(\\d?)?\\d", "45", {0, 2, 0, 1}},
    {"(?:a?)?a", "aa", {0, 2}},
    {"(?:a?)?a", "", kNoMatch},
};
INSTANTIATE_TEST_SUITE_P(EmptyLastIteration, RegexConformance, ::testing::ValuesIn(kEmptyLastIteration));

// Every way of a repeat is tried: an iteration that comes back to nothing still has its other
// ways, an end reached by a bounded repeat with room left is not taken for one tried in full,
// and two empty ends in a row do not end the search.
const RegexCase kCompleteSearch[] = {
    {"((b+)*|.{0,2})?\\wb*?", "baab", {0, 4, 0, 2, -1, -1}},
    {"(?:||a)*b", "ab", {0, 2}},
    {"((.)(\\w[a])?)*a", "aba", {0, 3, 1, 2, 1, 2, -1, -1}},
    {"(?:a|aa){0,3}b", "aaaaab", {0, 6}},
    {"(?:a|aa){0,2}b", "aaaaab", kNoMatch},
    {"a*b{1,3}?([ab]{0,2}?){0,2}", "abaabb", {0, 6, 4, 6}},
    {"(?:||)|.+", "a", {0, 1}},
    {"(?:(a)|b)*\\1", "abba", {0, 4, 0, 1}},
};
INSTANTIATE_TEST_SUITE_P(CompleteSearch, RegexConformance, ::testing::ValuesIn(kCompleteSearch));

const RegexCase kLazyPossessive[] = {
    {"a*?b", "aaab", {0, 4}},
    {"(a+?)(a*)", "aaa", {0, 3, 0, 1, 1, 3}},
    {"(a{1,3}?)(a*)", "aaaa", {0, 4, 0, 1, 1, 4}},
    {"(a?" "?)a", "a", {0, 1, 0, 0}},
    {"(a*?)(b|ab)", "aab", {0, 3, 0, 1, 1, 3}},
    {"(.*?),(.*)", "a,b,c", {0, 5, 0, 1, 2, 5}},
    {"a*+a", "aaa", kNoMatch},
    {"a*+", "aaa", {0, 3}},
    {"a++b", "aab", {0, 3}},
    {"(?:ab)++ab", "abab", kNoMatch},
    {"a{1,2}+a", "aa", kNoMatch},
    {"a{1,2}+a", "aaa", {0, 3}},
    {"(?>a*)a", "aaa", kNoMatch},
    {"(?>a|ab)c", "abc", kNoMatch},
    {"(?>ab|a)c", "abc", {0, 3}},
    {"(?>(a))b", "ab", {0, 2, 0, 1}},
};
INSTANTIATE_TEST_SUITE_P(LazyPossessive, RegexConformance, ::testing::ValuesIn(kLazyPossessive));

// A lazy repeat skips ends it has offered before, but only when it then had as many iterations
// left: a bounded repeat may still reach further from an end it first met late.
const RegexCase kLazyOfferedEnds[] = {
    {"(?:a|aa){0,3}?b", "aaaaab", {0, 6}},
    {"(?:a|aa){0,2}?b", "aaaab", {0, 5}},
    {"(?:a|aa){0,2}?b", "aaaaab", kNoMatch},
    {"(a|aa)*?b", "aaab", {0, 4, 2, 3}},
    {"(a|ab)*?c", "abac", {0, 4, 2, 3}},
    {"(?:a|aa){2,}?b", "aab", {0, 3}},
    {"(?:ab|a)(?:b|bc)*?c", "abcc", {0, 4}},
    {"(a|aa)*?b", "aaacb", kNoMatch},
};
INSTANTIATE_TEST_SUITE_P(LazyOfferedEnds, RegexConformance, ::testing::ValuesIn(kLazyOfferedEnds));

const RegexCase kAlternation[] = {
    {"(a|ab)(c|bcd)", "abcd", {0, 4, 0, 1, 1, 4}},
    {"a|b|c", "c", {0, 1}},
    {"a|", "", {0, 0}},
    {"|a", "a", {0, 1}},
    {"(a)|b", "b", {0, 1, -1, -1}},
    {"ab|cd", "ab", {0, 2}},
    {"ab|cd", "ad", kNoMatch},
    {"(?:a|b)+", "abab", {0, 4}},
    {"(a|b|)+c", "abc", {0, 3, 1, 2}},
};
INSTANTIATE_TEST_SUITE_P(Alternation, RegexConformance, ::testing::ValuesIn(kAlternation));

const RegexCase kGroups[] = {
    {"(a)(b)", "ab", {0, 2, 0, 1, 1, 2}},
    {"((a)b)", "ab", {0, 2, 0, 2, 0, 1}},
    {"(a", "a", {0, 1, 0, 1}},  // an unclosed group closes at the end
    {"ab)cd", "ab", {0, 2}},   // an unbalanced ')' ends the pattern
    {"ab)cd", "abcd", kNoMatch},
    {"(?:a)(b)", "ab", {0, 2, 1, 2}},
    // Named groups are numbered after all plain groups; equal names (any case) share a number.
    {"(a)(?<x>b)(d)", "abd", {0, 3, 0, 1, 2, 3, 1, 2}},
    {"(?<n>x)(?<N>y)\\k<n>", "xyy", {0, 3, 1, 2}},
    {"(?<n>x)(?<N>y)\\k<n>", "xyx", kNoMatch},
    {"(?'q'a)\\k'q'", "aa", {0, 2, 0, 1}},
    {"(?P<q>a)\\k<q>", "aa", {0, 2, 0, 1}},
    {"(?<2>a)(b)", "ab", {0, 2, 1, 2, 0, 1}},  // a numeric name numbers the group at once
    {"(?<x>a)(?<y>b)", "ab", {0, 2, 0, 1, 1, 2}},
};
INSTANTIATE_TEST_SUITE_P(Groups, RegexConformance, ::testing::ValuesIn(kGroups));

const RegexCase kBackrefs[] = {
    {"(a)\\1", "aa", {0, 2, 0, 1}},
    {"(a)\\1", "ab", kNoMatch},
    {"(a)\\1", "aA", kNoMatch},
    {"(?i)(a)\\1", "aA", {0, 2, 0, 1}},
    {"(a)\\g1", "aa", {0, 2, 0, 1}},
    {"(a)\\k1", "aa", {0, 2, 0, 1}},
    {"\\1(a)", "aa", kNoMatch},     // nothing captured yet
    {"(a\\1)", "aa", {0, 2, 0, 2}},  // an open group reaches up to the reference
    {"(a)|\\1b", "b", kNoMatch},
    {"(a)\\k<zz>", "a", kNoMatch},  // unknown name: never matches
    {"(a)\\k<zz>?", "a", {0, 1, 0, 1}},
    {"ab\\0", "abab", {0, 4}},  // \0 is the match so far
    {"(a)\\10", "aa0", kNoMatch},  // group 10, not group 1 followed by '0'
    {"(?<x>a)\\k<x>", "aa", {0, 2, 0, 1}},
    {"(?<x>a)\\k<1>", "aa", {0, 2, 0, 1}},
    {"(a|b)*\\1", "abb", {0, 3, 1, 2}},
};
INSTANTIATE_TEST_SUITE_P(Backrefs, RegexConformance, ::testing::ValuesIn(kBackrefs));

const RegexCase kLookaround[] = {
    {"(?=(a))a", "a", {0, 1, 0, 1}},  // captures in a positive lookahead stay
    {"(?!a)b", "b", {0, 1}},
    {"(?!a).", "a", kNoMatch},
    {"(?!(a))b", "b", {0, 1, -1, -1}},
    {"(?<=a)b", "ab", kNoMatch},  // the match starts at 0, where nothing lies behind
    {"a(?<=a)b", "ab", {0, 2}},
    {"a(?<!a)b", "ab", kNoMatch},
    {"c(?<!a)b", "cb", {0, 2}},
    {"aab(?<=a+b)", "aab", {0, 3}},  // variable-length lookbehind
    {"ab(?<=(a)b)", "ab", {0, 2, 0, 1}},
    {".(?<=\\s)a", "\fa", {0, 2}},  // inside a lookbehind \s takes form feed
    {".\\sa", "x\fa", kNoMatch},
    {"x(?=y)", "xy", kNoMatch},
    {"x(?=y)y", "xy", {0, 2}},
    {"(?=a)", "", kNoMatch},
    {"a(?=b|$)b?", "a", {0, 1}},
};
INSTANTIATE_TEST_SUITE_P(Lookaround, RegexConformance, ::testing::ValuesIn(kLookaround));

const RegexCase kConditionals[] = {
    {"(a)?(?(1)b|c)", "ab", {0, 2, 0, 1}},
    {"(a)?(?(1)b|c)", "c", {0, 1, -1, -1}},
    {"(a)?(?(1)b|c)", "ac", kNoMatch},
    {"(a)?(?(1)b|c|d)", "d", {0, 1, -1, -1}},  // the no branch is "c|d" (PCRE: an error)
    {"(a)?(?(1)b)", "", {0, 0, -1, -1}},
    {"(a)?(?(1)b)", "a", kNoMatch},
    {"(?(?=a)ab|cd)", "ab", {0, 2}},
    {"(?(?=a)ab|cd)", "cd", {0, 2}},
    {"(?(?!a)cd|ab)", "ab", {0, 2}},
    {"(?<x>a)?(?(x)b|c)", "ab", {0, 2, 0, 1}},
    {"(?<x>a)?(?(x)b|c)", "c", {0, 1, -1, -1}},
    {"(?(foo)foo|bar)", "foo", {0, 3}},  // an unknown name is a lookahead pattern
    {"(?(foo)foo|bar)", "bar", {0, 3}},
    {"(?(foo)foo|bar)", "fo", kNoMatch},
};
INSTANTIATE_TEST_SUITE_P(Conditionals, RegexConformance, ::testing::ValuesIn(kConditionals));

const std::string kNested101 = std::string(101, 'a') + std::string(101, 'b');
const std::string kNested102 = std::string(102, 'a') + std::string(102, 'b');

const RegexCase kRecursion[] = {
    {"a(?R)?b", "aabb", {0, 4}},
    {"a(?R)?b", "ab", {0, 2}},
    {"a(?R)?b", "aab", kNoMatch},
    {"(a(?1)?b)", "aabb", {0, 4, 0, 4}},
    {"\\((?:[^()]|(?R))*\\)", "(a(b)c)", {0, 7}},
    {"\\((?:[^()]|(?R))*\\)", "(a(b c)", kNoMatch},
    {"(?<p>x(?R<p>)?y)", "xxyy", {0, 4, 0, 4}},
    {"(?<p>x(?R'p')?y)", "xxyy", {0, 4, 0, 4}},
    {"(?R <zz>)a", "a", {0, 1}},  // unknown target: matches the empty string
    {"(?7)a", "a", {0, 1}},
    {"(?R 1)?(a)", "aa", {0, 2, 1, 2}},
    {"a(?R)?b", kNested101, Whole(kNested101)},  // 100 nested recursions
    {"a(?R)?b", kNested102, kNoMatch},
};
INSTANTIATE_TEST_SUITE_P(Recursion, RegexConformance, ::testing::ValuesIn(kRecursion));

const RegexCase kInlineFlags[] = {
    {"(?i)abc", "ABC", {0, 3}},
    {"a(?i)bc", "aBC", {0, 3}},
    {"A(?i)bc", "aBC", kNoMatch},
    {"(?i)abc|def", "DEF", {0, 3}},
    {"x(?i)y|z", "Z", {0, 1}},  // the mode reaches the later alternatives
    {"x(?i)y|z", "xY", {0, 2}},
    {"x(?i)y|z", "XY", kNoMatch},
    {"(?i:a)b", "Ab", {0, 2}},
    {"(?i:a)b", "AB", kNoMatch},
    {"(a(?i)b)c", "aBc", {0, 3, 0, 2}},
    {"(a(?i)b)c", "aBC", kNoMatch},
    {"(?i)a(?-i)b", "Ab", {0, 2}},
    {"(?i)a(?-i)b", "AB", kNoMatch},
    {"a(?i", "a", {0, 1}},
    {"(?x)a b", "a b", {0, 3}},  // no letter for the extended mode
    {"(?m)^a$\\n^b$", "a\nb", {0, 3}},
    {"^a$\\n", "a\n", kNoMatch},
    {"a$\\n", "a\n", kNoMatch},  // '$' is the very end unless (?m)
    {"(?m)a$\\n", "a\n", {0, 2}},
    {"(?m)a$\\r\\n", "a\r\n", {0, 3}},
    {"(?m)a\\r$\\n", "a\r\n", kNoMatch},
    {"(?m)a\\r^b", "a\rb", {0, 3}},
    {"a\\Z\\n", "a\n", {0, 2}},
    {"a\\Z\\r\\n", "a\r\n", {0, 3}},
    {"a\\z\\n", "a\n", kNoMatch},
    {"\\Aa", "a", {0, 1}},
    {"\\G", "", {0, 0}},
    {"a\\G", "a", {0, 1}},  // \G without (?g) always matches
    {"(?g)a\\G", "a", kNoMatch},
    {"(?g)\\Ga", "a", {0, 1}},
    {"a\\bb", "ab", kNoMatch},
    {"a\\b b", "a b", {0, 3}},
    {"a\\Bb", "ab", {0, 2}},
    {"(?s:.)\\n.", "\n\n\n", kNoMatch},
};
INSTANTIATE_TEST_SUITE_P(InlineFlags, RegexConformance, ::testing::ValuesIn(kInlineFlags));

// The caller's right-to-left flag: matching starts at the end and must reach position 0.
const RegexCase kRightToLeft[] = {
    {"abc", "abc", {0, 3}, RegexFlagRightToLeft},
    {"abc", "abcd", kNoMatch, RegexFlagRightToLeft},
    {"(a+)(a+)", "aaa", {0, 3, 0, 1, 1, 3}, RegexFlagRightToLeft},
    {"(\\d+)\\.(\\d+)", "12.34", {0, 5, 0, 2, 3, 5}, RegexFlagRightToLeft},
    {"(a+?)(a*)", "aaa", {0, 3, 0, 1, 1, 3}, RegexFlagRightToLeft},
    {"(a)\\1", "aa", kNoMatch, RegexFlagRightToLeft},  // the reference is reached first
    {"\\s", "\f", {0, 1}, RegexFlagRightToLeft},
    {"^ab$", "ab", {0, 2}, RegexFlagRightToLeft},
    {"[[:digit:]x]+", "x1", {0, 2}, RegexFlagRightToLeft},
};
INSTANTIATE_TEST_SUITE_P(RightToLeft, RegexConformance, ::testing::ValuesIn(kRightToLeft));

// A class without case takes its own bytes and the other case of each ASCII
// letter among them: every single byte and every range from '@' to '{'
// (letters at both ends, the bytes around A-Z and a-z), against every ASCII
// byte.
TEST(RegexIgnoreCase, ClassesTakeBothCasesOfEveryLetter)
{
    const auto other = [](int c) {
        return c >= 'A' && c <= 'Z' ? c + 32 : c >= 'a' && c <= 'z' ? c - 32 : c;
    };
    const auto check = [&](const char* pattern, int low, int high) {
        RegexBuilder builder(pattern, 0);
        RegexMatchResult result;
        for (int c = 1; c < 128; ++c) {
            const char text = char(c);
            builder.Match(result, &text, 1);
            const bool member = (c >= low && c <= high) || (other(c) >= low && other(c) <= high);
            ASSERT_EQ(result.IsMatched(), member) << pattern << " byte " << c;
        }
    };
    char pattern[32];
    for (int low = '@'; low <= '{'; ++low) {
        snprintf(pattern, sizeof pattern, "(?i)[\\x%02X]", low);
        check(pattern, low, low);
        for (int high = low; high <= '{'; ++high) {
            snprintf(pattern, sizeof pattern, "(?i)[\\x%02X-\\x%02X]", low, high);
            check(pattern, low, high);
        }
    }
}

}  // namespace
