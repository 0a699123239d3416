#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "utils/regex/regextokenizer.h"

namespace {

// Renders the tokens of a pattern: a special token as "<c>", a literal as its byte in hex where
// it is not printable.
std::string Tokens(const char* pattern, bool extended = false)
{
    RegexTokenizer tokenizer;
    tokenizer.Start(pattern, static_cast<int>(std::strlen(pattern)), extended);
    std::string out;
    for (int guard = 0; guard < 200 && !IsEndToken(tokenizer.Current()); ++guard) {
        const PatternToken& token = tokenizer.Current();
        char text[8];
        if (token.ch >= 32 && token.ch < 127)
            std::snprintf(text, sizeof text, token.special ? "<%c>" : "%c", token.ch);
        else
            std::snprintf(text, sizeof text, "\\%02x", token.ch);
        out += text;
        tokenizer.Consume();
    }
    return out;
}

}  // namespace

TEST(RegexTokenizer, MetacharactersAreSpecialOnlyOutsideClasses)
{
    EXPECT_EQ(Tokens("a.b*"), "a<.>b<*>");
    EXPECT_EQ(Tokens("[.*$|]"), "<[>.*$|<]>");
    EXPECT_EQ(Tokens("a-]"), "a-]");
    EXPECT_EQ(Tokens("[a-z]"), "<[>a<->z<]>");
}

TEST(RegexTokenizer, CaretAndColonDependOnTheTokensBefore)
{
    EXPECT_EQ(Tokens("[^^]"), "<[><^>^<]>");
    EXPECT_EQ(Tokens("[:^x:]"), "<[><:><^>x:<]>");
    EXPECT_EQ(Tokens("[a[:b:]]"), "<[>a<[><:>b:<]><]>");
    // A '[' inside a class opens nothing unless a ':' follows.
    EXPECT_EQ(Tokens("[[a]]"), "<[>[a<]>]");
}

TEST(RegexTokenizer, Escapes)
{
    EXPECT_EQ(Tokens("\\d\\w\\k\\b"), "<d><w><k><b>");
    EXPECT_EQ(Tokens("[\\b\\d]"), "<[>\\08<d><]>");
    EXPECT_EQ(Tokens("\\12"), "<\\>12");
    EXPECT_EQ(Tokens("\\n\\t\\e\\a"), "\\0a\\09\\1b\\07");
    EXPECT_EQ(Tokens("\\x41\\x4g\\xg"), "A\\04gxg");
    EXPECT_EQ(Tokens("\\u00410"), "A0");
    EXPECT_EQ(Tokens("\\x{1234 junk}z"), "4z");
    EXPECT_EQ(Tokens("\\*\\["), "*[");
    EXPECT_EQ(Tokens("a\\"), "a\\");
    // \G is dropped inside a class.
    EXPECT_EQ(Tokens("[\\G]\\G"), "<[><]><G>");
}

TEST(RegexTokenizer, QuotingAndCaseConversion)
{
    EXPECT_EQ(Tokens("\\Q.*\\E."), ".*<.>");
    EXPECT_EQ(Tokens("\\LAbC\\Ed"), "abcd");
    EXPECT_EQ(Tokens("\\Uab\\E\\Ec"), "ABc");
    EXPECT_EQ(Tokens("\\Q(a"), "(a");
}

TEST(RegexTokenizer, CommentsAndExtendedWhitespace)
{
    EXPECT_EQ(Tokens("a(?#x)b(?#"), "ab");
    EXPECT_EQ(Tokens("a b # c\nd"), "a b # c\\0ad");
    EXPECT_EQ(Tokens("a b # c\nd", true), "abd");
}

TEST(RegexTokenizer, EndRepeatsAndSkipToEnd)
{
    RegexTokenizer tokenizer;
    tokenizer.Start("ab", 2, false);
    EXPECT_EQ(tokenizer.Previous().ch, 0);
    EXPECT_EQ(tokenizer.Next().ch, 'b');
    EXPECT_TRUE(IsEndToken(tokenizer.After()));
    EXPECT_EQ(tokenizer.After().position, 2);
    tokenizer.SkipToEnd();
    EXPECT_TRUE(IsEndToken(tokenizer.Current()));
    tokenizer.Consume();
    EXPECT_TRUE(IsEndToken(tokenizer.Current()));
    EXPECT_TRUE(IsEndToken(tokenizer.After()));
}
