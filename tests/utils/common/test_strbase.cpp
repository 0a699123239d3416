#include "utils/common/strbase.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <atomic>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

using namespace ZmLib;

namespace {

std::string Bytes(const uint8_t* p, int n)
{
    std::string s;
    char buf[4];
    for (int i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, "%02X", p[i]);
        if (i)
            s += ' ';
        s += buf;
    }
    return s;
}

} // namespace

TEST(StrBaseWrite, SetCutsAtCapacityAndKeepsNul)
{
    TempStr s;
    std::string big(2000, 'x');
    EXPECT_EQ(1099u, s.Set(big.c_str()));
    EXPECT_EQ(1099u, s.Length());
    EXPECT_EQ(1099u, std::strlen(s.c_str()));

    Str<4> small;
    EXPECT_EQ(3u, small.Set("abcdef"));
    EXPECT_STREQ("abc", small.c_str());
    EXPECT_EQ(0u, small.Set(nullptr));
    EXPECT_STREQ("", small.c_str());
}

TEST(StrBaseWrite, AddStopsAtCapacity)
{
    Str<6> s("abc");
    EXPECT_EQ(2u, s.Add("defg"));
    EXPECT_STREQ("abcde", s.c_str());
    EXPECT_EQ(0u, s.Add("z"));
    EXPECT_EQ(0u, s.Add(nullptr));
    EXPECT_EQ(5u, s.Length());
}

TEST(StrBaseWrite, AddUntilStopsAtEitherStopCharacter)
{
    Str<32> s;
    EXPECT_EQ(3u, s.AddUntil("abc;def", ';', '|'));
    EXPECT_EQ(2u, s.AddUntil("xy|z", ';', '|'));
    EXPECT_STREQ("abcxy", s.c_str());
    Str<3> t;
    EXPECT_EQ(2u, t.AddUntil("hello", ';', ';'));
    EXPECT_STREQ("he", t.c_str());
}

TEST(StrBaseWrite, AddFieldPadsToWidthWhenRoom)
{
    Str<32> s;
    EXPECT_EQ(5u, s.AddField("ab,cd", 5));
    EXPECT_STREQ("ab   ", s.c_str());
    // Text longer than the width: no padding, the count added.
    Str<32> t;
    EXPECT_EQ(6u, t.AddField("abcdef", 3));
    EXPECT_STREQ("abcdef", t.c_str());
    // Padding that would reach the capacity is left out.
    Str<6> u;
    EXPECT_EQ(2u, u.AddField("ab", 5));
    EXPECT_STREQ("ab", u.c_str());
    Str<7> v;
    EXPECT_EQ(5u, v.AddField("ab", 5));
    EXPECT_STREQ("ab   ", v.c_str());
}

TEST(StrBaseWrite, AddCharsIsAllOrNothing)
{
    Str<8> s("abc");
    EXPECT_EQ(0u, s.AddChars(4, '-')); // 3 + 4 == capacity 7
    EXPECT_STREQ("abc", s.c_str());
    EXPECT_EQ(3u, s.AddChars(3, '-'));
    EXPECT_STREQ("abc---", s.c_str());
    EXPECT_EQ(0u, s.AddChars(0xFFFFFFFFu, '-'));
    EXPECT_EQ(6u, s.Length());
}

TEST(StrBaseWrite, FormatAndAddFormatCut)
{
    Str<8> s;
    s.Format("%d-%s", 42, "abcdefgh");
    EXPECT_STREQ("42-abcd", s.c_str());
    EXPECT_EQ(7u, s.Length());
    s.Format("%s", "x");
    EXPECT_EQ(1u, s.Length());
    EXPECT_EQ(3, s.AddFormat("%03d", 7));
    EXPECT_STREQ("x007", s.c_str());
    EXPECT_EQ(3, s.AddFormat("%s", "123456"));
    EXPECT_STREQ("x007123", s.c_str());
    EXPECT_EQ(7u, s.Length());
    EXPECT_EQ(0, s.AddFormat("%s", "more"));
    EXPECT_EQ(7u, s.Length());
}

TEST(StrBaseWrite, LowerPadAndTrim)
{
    Str<16> s("AbC-Z\xC4");
    EXPECT_STREQ("abc-z\xC4", s.ToLower());
    std::strcpy(s.Data(), "XY");
    EXPECT_STREQ("xy", s.Lower());
    EXPECT_EQ(2u, s.Length());

    s.PadRight(5, '.', false);
    EXPECT_STREQ("xy...", s.c_str());
    s.PadRight(2, '.', false);
    EXPECT_STREQ("xy...", s.c_str());
    s.PadRight(2, '.', true);
    EXPECT_STREQ("xy", s.c_str());
    s.PadRight(15, '.', false); // width == capacity: unchanged
    EXPECT_STREQ("xy", s.c_str());

    s.PadLeft(6, '0', false);
    EXPECT_STREQ("0000xy", s.c_str());
    EXPECT_EQ(6u, s.Length());
    s.PadLeft(3, '0', true);
    EXPECT_STREQ("000", s.c_str());

    Str<32> t("  a b \t \r\n \n");
    EXPECT_STREQ("  a b \t", t.TrimRight());
    EXPECT_EQ(7u, t.Length());
    Str<32> u("   word  \r\n");
    EXPECT_STREQ("word", u.Trim());
    EXPECT_STREQ("   word", u.c_str());
}

TEST(StrBaseRead, StartsWithCountsEqualPrefix)
{
    Str<16> s("abcdef");
    uint32_t n = 99;
    EXPECT_TRUE(s.StartsWith("abc", &n));
    EXPECT_EQ(3u, n);
    EXPECT_FALSE(s.StartsWith("abx", &n));
    EXPECT_EQ(2u, n);
    EXPECT_TRUE(s.StartsWith("", &n));
    EXPECT_EQ(0u, n);
    EXPECT_FALSE(s.StartsWith("abcdefg", &n));
    EXPECT_EQ(6u, n);
}

TEST(StrBaseRead, FindNoCaseAndMid)
{
    Str<32> s("Hello World hello");
    EXPECT_EQ(6u, s.FindNoCase("WORLD"));
    EXPECT_EQ(12u, s.FindNoCase("HELLO", 1));
    EXPECT_EQ(STR_NOT_FOUND, s.FindNoCase("xyz"));
    EXPECT_EQ(STR_NOT_FOUND, s.FindNoCase("lo", 100));
    EXPECT_EQ(STR_NOT_FOUND, s.FindNoCase("hello!", 12));
    Str<16> a("aaab");
    EXPECT_EQ(1u, a.FindNoCase("AAB"));

    EXPECT_EQ(nullptr, s.Mid(17, 0));
    EXPECT_STREQ("World hello", s.Mid(6, 0));
    EXPECT_STREQ("Wo", s.Mid(6, 2));
    EXPECT_STREQ("o", s.Mid(16, 5));
}

TEST(StrBaseRead, SkipPastMovesCursorBeyondNeedle)
{
    Str<32> s("a=b;c=d");
    EXPECT_STREQ("b;c=d", s.SkipPast("="));
    // SkipPast searches from one after the cursor, SkipPastHere at it.
    Str<32> t("==x");
    EXPECT_STREQ("x", t.SkipPast("="));
    t.ResetCursor();
    EXPECT_STREQ("=x", t.SkipPastHere("="));
    char* before = s.Cursor();
    EXPECT_EQ(nullptr, s.SkipPast("#"));
    EXPECT_EQ(before, s.Cursor());
    Str<8> eq("=");
    EXPECT_STREQ("d", s.SkipPastHere(eq));
    EXPECT_EQ(nullptr, s.SkipPast("d"));
    // At the end of the text SkipPast never reads beyond the NUL.
    Str<4> e("ab");
    e.SetCursor(e.Data() + 2);
    EXPECT_EQ(nullptr, e.SkipPast(""));
}

TEST(StrBaseRead, NextTokenSplitsOnBlanksAndQuotes)
{
    Str<64> s("one \"two three\" four \"five");
    EXPECT_STREQ("one", s.NextToken());
    EXPECT_STREQ("two three", s.NextToken());
    EXPECT_STREQ("four", s.NextToken());
    // An unclosed quote runs to the end of the text and no further.
    EXPECT_STREQ("five", s.NextToken());
    EXPECT_EQ(s.Data() + s.Length(), s.Cursor());
    EXPECT_EQ(nullptr, s.NextToken());

    Str<8> q("\"");
    EXPECT_STREQ("", q.NextToken());
    EXPECT_EQ(nullptr, q.NextToken());

    Str<16> last("\"ab\"");
    EXPECT_STREQ("ab", last.NextToken());
    EXPECT_EQ(nullptr, last.NextToken());
}

TEST(StrBaseRead, GetInt64SkipsZerosAndReportsFailure)
{
    Str<16> s("007x");
    EXPECT_EQ(7, s.GetInt64());
    EXPECT_EQ('x', *s.Cursor());
    EXPECT_FALSE(s.Error());

    Str<16> z("000");
    EXPECT_EQ(0, z.GetInt64());
    EXPECT_EQ(z.Data() + 3, z.Cursor());
    EXPECT_FALSE(z.Error());

    Str<16> m("-5");
    EXPECT_EQ(0, m.GetInt64());
    EXPECT_EQ(m.Data(), m.Cursor());
    EXPECT_FALSE(m.Error());

    Str<40> big("123456789012345 9");
    EXPECT_EQ(123456789012345LL, big.GetInt64());
    EXPECT_EQ(' ', *big.Cursor());

    Str<16> i("0042,");
    EXPECT_EQ(42, i.GetInt());
    EXPECT_EQ(',', *i.Cursor());

    // A format that cannot read the digits sets the error flag.
    Str<16> bad("12");
    EXPECT_EQ(0, bad.GetInt64("x%lld"));
    EXPECT_TRUE(bad.Error());
    EXPECT_EQ(bad.Data(), bad.Cursor());
}

TEST(StrBaseRead, GetIPv4FirstOctetHigh)
{
    Str<32> s("10.1.2.3 rest");
    EXPECT_EQ((10u << 24) + (1u << 16) + (2u << 8) + 3u, s.GetIPv4());
    EXPECT_EQ(' ', *s.Cursor());
    EXPECT_FALSE(s.Error());

    for (const char* bad : {"10.1.2", "10.1.2.", "a.b.c.d", "10.1.2.256", "1..2.3"}) {
        Str<32> b(bad);
        EXPECT_EQ(0u, b.GetIPv4()) << bad;
        EXPECT_TRUE(b.Error()) << bad;
        EXPECT_EQ(b.Data(), b.Cursor()) << bad;
    }
}

TEST(StrBaseBytes, Str2BytesRightAligned)
{
    uint8_t out[8];
    EXPECT_EQ(4, StrBase::str2bytes("A:BC", out, 4));
    EXPECT_EQ("00 00 0A BC", Bytes(out, 4));
    EXPECT_EQ(3, StrBase::str2bytes("ABC", out, 2));
    EXPECT_EQ("AB 0C", Bytes(out, 2));
    EXPECT_EQ(8, StrBase::str2bytes("de:ad:Be", out, 3));
    EXPECT_EQ("DE AD BE", Bytes(out, 3));
    // Stops after outsize bytes.
    EXPECT_EQ(4, StrBase::str2bytes("11223344", out, 2));
    EXPECT_EQ("11 22", Bytes(out, 2));
    // Non-hex characters count as zero.
    EXPECT_EQ(2, StrBase::str2bytes("zF", out, 1));
    EXPECT_EQ("0F", Bytes(out, 1));
}

TEST(StrBaseBytes, Str2BytesRejectsTooLargeOutput)
{
    uint8_t out[40];
    std::memset(out, 0x55, sizeof out);
    EXPECT_EQ(0, StrBase::str2bytes("AB", out, STR2BYTES_MAX));
    EXPECT_EQ(0x55, out[0]);
    EXPECT_EQ(0, StrBase::str2bytes("AB", out, 0));
    EXPECT_EQ(0, StrBase::str2bytes("AB", out, -3));
    EXPECT_EQ(0x55, out[0]);
}

TEST(StrBaseBytes, HexDumpRespectsOutputSize)
{
    const uint8_t bytes[] = {0x01, 0xFF, 0x7a};
    char out[16];
    EXPECT_EQ(5, HexDump(bytes, 2, out, sizeof out, true));
    EXPECT_STREQ("01:FF", out);
    EXPECT_EQ(6, HexDump(bytes, 3, out, sizeof out, false));
    EXPECT_STREQ("01FF7A", out);
    EXPECT_EQ(0, HexDump(bytes, 0, out, sizeof out, true));
    EXPECT_STREQ("", out);

    // Only whole entries that fit with the NUL; nothing past outsize.
    char small[8];
    std::memset(small, '#', sizeof small);
    EXPECT_EQ(5, HexDump(bytes, 3, small, 7, true));
    EXPECT_STREQ("01:FF", small);
    EXPECT_EQ('#', small[7]);
    EXPECT_EQ(0, HexDump(bytes, 3, small, 2, true));
    EXPECT_STREQ("", small);
}

TEST(StrHelpers, CharacterAndComparisonHelpers)
{
    EXPECT_EQ(0, HexDigit('0'));
    EXPECT_EQ(9, HexDigit('9'));
    EXPECT_EQ(10, HexDigit('a'));
    EXPECT_EQ(15, HexDigit('F'));
    EXPECT_EQ(0, HexDigit('g'));

    EXPECT_TRUE(IsBlank(nullptr));
    EXPECT_TRUE(IsBlank(""));
    EXPECT_TRUE(IsBlank(" \t "));
    EXPECT_FALSE(IsBlank(" \n"));

    char text[] = "a.b.c";
    ReplaceChar(text, '.', '/');
    EXPECT_STREQ("a/b/c", text);

    EXPECT_EQ(0, StrICmp("HeLLo", "hello"));
    EXPECT_LT(StrICmp("abc", "ABD"), 0);
    EXPECT_GT(StrICmp("abcd", "ABC"), 0);
    // Bytes above 127 are not folded and compare as signed chars.
    EXPECT_LT(StrICmp("\xC4", "a"), 0);
    EXPECT_NE(0, StrICmp("\xC4", "\xE4"));
}

TEST(StrHelpers, StrIStrSearchesExhaustively)
{
    const char* hay = "aaab";
    EXPECT_EQ(hay + 1, StrIStr(hay, "AAB"));
    const char* hay2 = "xAbAbAc";
    EXPECT_EQ(hay2 + 3, StrIStr(hay2, "abac"));
    EXPECT_EQ(hay, StrIStr(hay, ""));
    EXPECT_EQ(nullptr, StrIStr(hay, "aaaab"));
    EXPECT_EQ(nullptr, StrIStr("ab", "abc"));
}

TEST(ScratchRing, BufferReturnsAfter512Takes)
{
    char* first = StrBase::TempBuffer();
    std::set<char*> seen{first};
    for (uint32_t i = 1; i < TEMP_BUFFER_COUNT; ++i)
        EXPECT_TRUE(seen.insert(StrBase::TempBuffer()).second);
    EXPECT_EQ(first, StrBase::TempBuffer());

    TempStr t("abc");
    EXPECT_EQ(TEMP_STR_CAPACITY, t.Capacity());
    EXPECT_STREQ("abc", t.c_str());
}

TEST(ScratchRing, EightThreadsNeverShareABuffer)
{
    constexpr int kThreads = 8;
    constexpr int kEach = TEMP_BUFFER_COUNT / kThreads;
    std::vector<std::vector<char*>> taken(kThreads);
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            ready.fetch_add(1);
            while (ready.load() < kThreads) {
            }
            for (int i = 0; i < kEach; ++i)
                taken[t].push_back(StrBase::TempBuffer());
        });
    }
    for (auto& th : threads)
        th.join();
    std::set<char*> all;
    for (auto& v : taken)
        all.insert(v.begin(), v.end());
    EXPECT_EQ(size_t(TEMP_BUFFER_COUNT), all.size());
}

TEST(PathStrTest, SplitPathParts)
{
    PathStr p("/home/user/file.tar.gz");
    EXPECT_TRUE(p.SplitPath(false));
    EXPECT_STREQ("/home/user", p.Dir());
    EXPECT_STREQ("file.tar.gz", p.Name());
    EXPECT_STREQ("tar.gz", p.Ext());
    EXPECT_TRUE(p.SplitPath(true));
    EXPECT_STREQ("file", p.Name());
    EXPECT_STREQ("tar.gz", p.Ext());
    EXPECT_STREQ("/home/user/file.tar.gz", p.c_str());

    PathStr w("C:\\logs/sub\\a.kx");
    w.SplitPath(false);
    EXPECT_STREQ("C:\\logs/sub", w.Dir());
    EXPECT_STREQ("a.kx", w.Name());

    PathStr bare("name");
    bare.SplitPath(true);
    EXPECT_EQ(nullptr, bare.Dir());
    EXPECT_STREQ("name", bare.Name());
    EXPECT_EQ(nullptr, bare.Ext());
}

TEST(PathStrTest, SplitPathQuotes)
{
    PathStr q("\"/tmp/a b.txt\"");
    q.SplitPath(false);
    EXPECT_STREQ("/tmp", q.Dir());
    EXPECT_STREQ("a b.txt", q.Name());
    // Without a closing quote nothing more than the opening one is dropped.
    PathStr open("\"/tmp/ab.txt");
    open.SplitPath(false);
    EXPECT_STREQ("ab.txt", open.Name());
    PathStr lone("\"");
    lone.SplitPath(false);
    EXPECT_STREQ("", lone.Name());
    EXPECT_EQ(nullptr, lone.Dir());
    PathStr two("\"\"");
    two.SplitPath(false);
    EXPECT_STREQ("", two.Name());
}

TEST(PathStrTest, MakeRebaseAndSetPath)
{
    PathStr p;
    EXPECT_TRUE(p.MakePath("/var/log", "kx", "txt"));
    EXPECT_STREQ("/var/log/kx.txt", p.c_str());
    EXPECT_STREQ("/var/log", p.Dir());
    EXPECT_STREQ("kx.txt", p.Name());
    EXPECT_TRUE(p.MakePath("/var/", "kx", nullptr));
    EXPECT_STREQ("/var/kx", p.c_str());
    EXPECT_TRUE(p.MakePath(nullptr, "kx", "ini"));
    EXPECT_STREQ("kx.ini", p.c_str());

    EXPECT_TRUE(p.Rebase("a\\b\\c.d"));
    EXPECT_STREQ("a\\b/c.d", p.c_str());

    EXPECT_TRUE(p.SetPath("/x/y.z", nullptr, nullptr));
    EXPECT_STREQ("/x/y.z", p.c_str());
    EXPECT_STREQ("y", p.Name());
    EXPECT_TRUE(p.SetPath("/x", "y", "z"));
    EXPECT_STREQ("/x/y.z", p.c_str());

    std::string longDir(1095, 'd');
    EXPECT_FALSE(p.MakePath(longDir.c_str(), "name", "ext"));
    EXPECT_EQ(1099u, p.Length());
}

TEST(PathStrTest, CopyPointsIntoItsOwnWorkBuffer)
{
    auto* original = new PathStr("/dir/name.ext");
    original->SplitPath(true);
    PathStr copy(*original);
    PathStr assigned;
    assigned = *original;
    std::memset(static_cast<void*>(original), 'Z', sizeof(PathStr));
    delete original; // any part left pointing into it would now fail under ASan

    for (PathStr* p : {&copy, &assigned}) {
        EXPECT_STREQ("/dir/name.ext", p->c_str());
        EXPECT_STREQ("/dir", p->Dir());
        EXPECT_STREQ("name", p->Name());
        EXPECT_STREQ("ext", p->Ext());
        EXPECT_EQ(p->Data(), p->Cursor());
    }
}
