#include "utils/common/strbase.h"
#include "tests/utils/osal/osal_fixtures.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

using namespace ZmLib;

TEST(StrBaseWrite, EveryWriterStopsAtTheCapacityAndKeepsTheNul)
{
    // Each writer on "ab" with capacity 7: the count added, then the text.
    const struct {
        uint32_t (*write)(StrBase&);
        uint32_t added;
        const char* result;
    } cases[] = {
        {[](StrBase& s) { return s.Add("cdefghij"); }, 5, "abcdefg"},
        {[](StrBase& s) { return s.Set(nullptr); }, 0, ""},
        {[](StrBase& s) { return s.AddUntil("cd;e|f", ';', '|'); }, 2, "abcd"},
        {[](StrBase& s) { return s.AddUntil("cd|e", ';', '|'); }, 2, "abcd"},
        {[](StrBase& s) { return s.AddUntil("cdefghij", ';', ';'); }, 5, "abcdefg"},
        // AddField stops at ',' and pads only while staying below the capacity.
        {[](StrBase& s) { return s.AddField("c,d", 3); }, 3, "abc  "},
        {[](StrBase& s) { return s.AddField("c", 5); }, 1, "abc"},
        {[](StrBase& s) { return s.AddField("cdefg", 3); }, 5, "abcdefg"},
        // AddChars is all or nothing, below the capacity.
        {[](StrBase& s) { return s.AddChars(4, '-'); }, 4, "ab----"},
        {[](StrBase& s) { return s.AddChars(5, '-'); }, 0, "ab"},
        {[](StrBase& s) { return s.AddChars(0xFFFFFFFFu, '-'); }, 0, "ab"},
        {[](StrBase& s) { return uint32_t(s.AddFormat("%d", 123456)); }, 5, "ab12345"},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        Str<8> s("ab");
        EXPECT_EQ(cases[i].added, cases[i].write(s));
        EXPECT_STREQ(cases[i].result, s.c_str());
        EXPECT_EQ(std::strlen(cases[i].result), s.Length());
    }
    TempStr t;
    EXPECT_EQ(1099u, t.Set(std::string(2000, 'x').c_str()));
    Str<8> f;
    f.Format("%d-%s", 42, "abcdefgh");
    EXPECT_STREQ("42-abcd", f.c_str());
    EXPECT_EQ(7u, f.Length());
    EXPECT_EQ(0, f.AddFormat("%s", "more"));
}

TEST(StrBaseWrite, LowerPadAndTrim)
{
    Str<16> s("AbC-Z\xC4");
    EXPECT_STREQ("abc-z\xC4", s.ToLower());
    std::strcpy(s.Data(), "XY");
    EXPECT_STREQ("xy", s.Lower());
    // Padding to the capacity or beyond changes nothing; cut shortens.
    s.PadRight(15, '.', false);
    EXPECT_STREQ("xy", s.c_str());
    s.PadLeft(6, '.', false);
    EXPECT_STREQ("....xy", s.c_str());
    s.PadRight(3, '.', false);
    EXPECT_STREQ("....xy", s.c_str());
    s.PadRight(3, '.', true);
    EXPECT_STREQ("...", s.c_str());
    EXPECT_EQ(3u, s.Length());

    Str<32> t("   a b \t \r\n \n");
    EXPECT_STREQ("a b \t", t.Trim());
    EXPECT_STREQ("   a b \t", t.c_str());
    EXPECT_EQ(8u, t.Length());
}

TEST(StrBaseRead, StartsWithFindNoCaseAndMid)
{
    // The count is the length of the equal prefix, also on a mismatch.
    Str<16> s("abcdef");
    uint32_t n = 99;
    EXPECT_FALSE(s.StartsWith("abx", &n));
    EXPECT_EQ(2u, n);
    EXPECT_FALSE(s.StartsWith("abcdefg", &n));
    EXPECT_EQ(6u, n);

    Str<32> h("Hello World hello");
    EXPECT_EQ(12u, h.FindNoCase("HELLO", 1));
    EXPECT_EQ(STR_NOT_FOUND, h.FindNoCase("lo", 100));
    EXPECT_EQ(STR_NOT_FOUND, h.FindNoCase("hello!", 12));
    EXPECT_EQ(1u, Str<16>("aaab").FindNoCase("AAB"));
    EXPECT_EQ(nullptr, h.Mid(17, 0));
    EXPECT_STREQ("World hello", h.Mid(6, 0));
    EXPECT_STREQ("o", h.Mid(16, 5));
}

TEST(StrBaseRead, SkipPastMovesCursorBeyondNeedle)
{
    // SkipPast searches from one after the cursor, SkipPastHere at it.
    Str<32> t("==x");
    EXPECT_STREQ("x", t.SkipPast("="));
    t.ResetCursor();
    EXPECT_STREQ("=x", t.SkipPastHere("="));
    Str<32> s("a=b;c=d");
    EXPECT_STREQ("b;c=d", s.SkipPast("="));
    char* before = s.Cursor();
    EXPECT_EQ(nullptr, s.SkipPast("#"));
    EXPECT_EQ(before, s.Cursor());
    EXPECT_STREQ("d", s.SkipPastHere(Str<8>("=")));
    // At the end of the text SkipPast never reads beyond the NUL.
    s.SetCursor(s.Data() + s.Length());
    EXPECT_EQ(nullptr, s.SkipPast(""));
}

TEST(StrBaseRead, NextTokenStopsAtTheEndOfAnUnclosedQuote)
{
    Str<64> s("one \"two three\" four \"five");
    for (const char* token : {"one", "two three", "four", "five"})
        EXPECT_STREQ(token, s.NextToken());
    EXPECT_EQ(s.Data() + s.Length(), s.Cursor());
    EXPECT_EQ(nullptr, s.NextToken());

    Str<8> q("\"");
    EXPECT_STREQ("", q.NextToken());
    EXPECT_EQ(nullptr, q.NextToken());
    Str<16> last("\"ab\"");
    EXPECT_STREQ("ab", last.NextToken());
    EXPECT_EQ(nullptr, last.NextToken());
}

TEST(StrBaseRead, NumbersAndAddresses)
{
    Str<40> s("007x 123456789012345 -5");
    EXPECT_EQ(7, s.GetInt64());
    EXPECT_EQ('x', *s.Cursor());
    s.SetCursor(s.Data() + 5);
    EXPECT_EQ(123456789012345LL, s.GetInt64());
    // No digit: 0 without error and the cursor stays.
    s.SetCursor(s.Data() + 21);
    EXPECT_EQ(0, s.GetInt());
    EXPECT_EQ(s.Data() + 21, s.Cursor());
    EXPECT_FALSE(s.Error());
    // A format that cannot read the digits sets the error flag.
    Str<16> bad("12");
    EXPECT_EQ(0, bad.GetInt64("x%lld"));
    EXPECT_TRUE(bad.Error());
    EXPECT_EQ(bad.Data(), bad.Cursor());

    // The first octet goes into the HIGH byte.
    Str<32> ip("10.1.2.3 rest");
    EXPECT_EQ(0x0A010203u, ip.GetIPv4());
    EXPECT_EQ(' ', *ip.Cursor());
    for (const char* text : {"10.1.2", "10.1.2.", "a.b.c.d", "10.1.2.256", "1..2.3"}) {
        Str<32> b(text);
        EXPECT_EQ(0u, b.GetIPv4()) << text;
        EXPECT_TRUE(b.Error()) << text;
        EXPECT_EQ(b.Data(), b.Cursor()) << text;
    }
}

TEST(StrBaseBytes, Str2BytesRightAlignedAndBounded)
{
    const struct {
        const char* text;
        int outsize, consumed;
        std::string bytes;
    } cases[] = {{"A:BC", 4, 4, std::string("\0\0\x0A\xBC", 4)}, {"ABC", 2, 3, "\xAB\x0C"},
                 {"de:ad:Be", 3, 8, "\xDE\xAD\xBE"}, {"11223344", 2, 4, "\x11\x22"}, {"zF", 1, 2, "\x0F"}};
    for (const auto& c : cases) {
        uint8_t out[8];
        EXPECT_EQ(c.consumed, StrBase::str2bytes(c.text, out, c.outsize)) << c.text;
        EXPECT_EQ(c.bytes, std::string(reinterpret_cast<char*>(out), size_t(c.outsize))) << c.text;
    }
    uint8_t out[40];
    std::memset(out, 0x55, sizeof out);
    kxtest::KxCapture capture;
    for (int outsize : {STR2BYTES_MAX, 0, -3})
        EXPECT_EQ(0, StrBase::str2bytes("AB", out, outsize)) << outsize;
    EXPECT_EQ(0x55, out[0]);
    // Too large an output is an assertion report; the caller goes on with 0.
    EXPECT_TRUE(capture.Has(KX_LEVEL_ASSERT, "outsize < STR2BYTES_MAX"));
}

TEST(StrBaseBytes, HexDumpStaysWithinTheOutputSize)
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

TEST(StrHelpers, CaseRulesAreAsciiOnly)
{
    EXPECT_EQ(0, StrICmp("HeLLo", "hello"));
    EXPECT_LT(StrICmp("abc", "ABD"), 0);
    EXPECT_GT(StrICmp("abcd", "ABC"), 0);
    // Bytes above 127 are not folded and compare as signed chars.
    EXPECT_LT(StrICmp("\xC4", "a"), 0);
    EXPECT_NE(0, StrICmp("\xC4", "\xE4"));
    EXPECT_FALSE(IsBlank(" \n"));
}

TEST(StrHelpers, StrIStrSearchesExhaustively)
{
    const char* hay = "aaab";
    EXPECT_EQ(hay + 1, StrIStr(hay, "AAB"));
    const char* hay2 = "xAbAbAc";
    EXPECT_EQ(hay2 + 3, StrIStr(hay2, "abac"));
    EXPECT_EQ(hay, StrIStr(hay, ""));
    EXPECT_EQ(nullptr, StrIStr(hay, "aaaab"));
}

TEST(ScratchRing, BufferReturnsAfter512Takes)
{
    char* first = StrBase::TempBuffer();
    std::set<char*> seen{first};
    for (uint32_t i = 1; i < TEMP_BUFFER_COUNT; ++i)
        EXPECT_TRUE(seen.insert(StrBase::TempBuffer()).second);
    EXPECT_EQ(first, StrBase::TempBuffer());
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

TEST(PathStrTest, SplitPathDropsOnlyAClosingQuote)
{
    const struct {
        const char* text;
        bool cut;
        const char* dir; // null: none
        const char* name;
        const char* ext; // null: none
    } cases[] = {{"/home/user/file.tar.gz", false, "/home/user", "file.tar.gz", "tar.gz"},
                 {"/home/user/file.tar.gz", true, "/home/user", "file", "tar.gz"},
                 {"C:\\logs/sub\\a.kx", false, "C:\\logs/sub", "a.kx", "kx"},
                 {"name", true, nullptr, "name", nullptr},
                 {"\"/tmp/a b.txt\"", false, "/tmp", "a b.txt", "txt"},
                 {"\"/tmp/ab.txt", false, "/tmp", "ab.txt", "txt"},
                 {"\"", false, nullptr, "", nullptr},
                 {"\"\"", false, nullptr, "", nullptr}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        PathStr p(c.text);
        EXPECT_TRUE(p.SplitPath(c.cut));
        EXPECT_STREQ(c.text, p.c_str());
        EXPECT_STREQ(c.dir ? c.dir : "(none)", p.Dir() ? p.Dir() : "(none)");
        EXPECT_STREQ(c.name, p.Name());
        EXPECT_STREQ(c.ext ? c.ext : "(none)", p.Ext() ? p.Ext() : "(none)");
    }
}

TEST(PathStrTest, MakeRebaseAndSetPath)
{
    PathStr p;
    EXPECT_TRUE(p.MakePath("/var/log", "kx", "txt"));
    EXPECT_STREQ("/var/log/kx.txt", p.c_str());
    EXPECT_STREQ("kx.txt", p.Name());
    EXPECT_TRUE(p.MakePath("/var/", "kx", nullptr));
    EXPECT_STREQ("/var/kx", p.c_str());
    EXPECT_TRUE(p.MakePath(nullptr, "kx", "ini"));
    EXPECT_STREQ("kx.ini", p.c_str());
    EXPECT_TRUE(p.Rebase("a\\b\\c.d"));
    EXPECT_STREQ("a\\b/c.d", p.c_str());
    EXPECT_TRUE(p.SetPath("/x/y.z", nullptr, nullptr));
    EXPECT_STREQ("y", p.Name());
    EXPECT_FALSE(p.MakePath(std::string(1095, 'd').c_str(), "name", "ext"));
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
