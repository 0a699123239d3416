#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/utils/osal/osal_fixtures.h"
#include "utils/common/textio.h"

using kxtest::ReadFile;
using kxtest::TempDir;
using kxtest::WriteFile;
using ZmLib::TextBuf;
using ZmLib::TextFile;
using ZmLib::TextIo;

namespace {

// Every line a source gives until its end.
std::vector<std::string> AllLines(TextIo& io)
{
    std::vector<std::string> lines;
    for (char* line = io.ReadLine(); line != nullptr; line = io.ReadLine())
        lines.push_back(line);
    return lines;
}

void Fill(TextBuf& buf, const std::string& text)
{
    buf.Construct(uint32_t(text.size() + 1));
    ASSERT_EQ(buf.Write(text.data(), text.size()), text.size());
}

using Lines = std::vector<std::string>;

} // namespace

TEST(TextBufRead, LastLineWithoutLineEndIsReturned)
{
    TextBuf a;
    Fill(a, "a\nb");
    EXPECT_EQ(AllLines(a), (Lines{"a", "b"}));
    EXPECT_EQ(a.ReadLine(), nullptr);

    TextBuf b;
    Fill(b, "a\nb\n");
    EXPECT_EQ(AllLines(b), (Lines{"a", "b"}));
}

TEST(TextBufRead, CrLfEmptyLinesAndEmptyText)
{
    TextBuf crlf;
    Fill(crlf, "x\r\ny\r\n");
    EXPECT_EQ(AllLines(crlf), (Lines{"x\r", "y\r"}));

    // Lines longer than a scratch buffer come back whole.
    TextBuf blanks;
    Fill(blanks, "\n\nz\n" + std::string(5000, 'L'));
    EXPECT_EQ(AllLines(blanks), (Lines{"", "", "z", std::string(5000, 'L')}));

    TextBuf empty;
    empty.Construct(4);
    EXPECT_EQ(empty.ReadLine(), nullptr);

    TextBuf none;
    EXPECT_EQ(none.ReadLine(), nullptr);
    EXPECT_EQ(none.Write("a", 1), 0u);
    EXPECT_EQ(none.PutChar('a'), EOF);
}

TEST(TextBufRead, EmbeddedNulNeverMovesTheCursorPastTheText)
{
    TextBuf buf;
    Fill(buf, std::string("p\0q\nr", 5));
    char* first = buf.ReadLine();
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first, "p");
    EXPECT_STREQ(buf.ReadLine(), "r");
    EXPECT_EQ(buf.ReadLine(), nullptr);
    EXPECT_EQ(buf.Buffer->Cursor(), buf.Buffer->Data() + buf.Buffer->Length());
}

TEST(TextBufWrite, PiecesAreAppendedOnlyBelowTheCapacity)
{
    TextBuf buf;
    buf.Construct(10);
    ASSERT_NE(buf.Buffer, nullptr);
    EXPECT_EQ(buf.Buffer->Capacity(), 10u);
    EXPECT_EQ(buf.Buffer->Length(), 0u);
    EXPECT_FALSE(buf.Buffer->Error());

    EXPECT_EQ(buf.Write("123456789", 9), 9u);
    EXPECT_EQ(buf.Write("x", 1), 0u);
    EXPECT_EQ(buf.Printf("%c", 'y'), 0);
    EXPECT_EQ(buf.Buffer->Length(), 9u);
    // A single character may fill the last place.
    EXPECT_EQ(buf.PutChar('z'), 'z');
    EXPECT_EQ(buf.PutChar('!'), EOF);
    EXPECT_STREQ(buf.Buffer->c_str(), "123456789z");

    // A piece that does not fit is not appended in part.
    TextBuf small;
    small.Construct(8);
    EXPECT_EQ(small.Write("abc", 3), 3u);
    EXPECT_EQ(small.Write("defgh", 5), 0u);
    EXPECT_EQ(small.Printf("%s", "defgh"), 0);
    EXPECT_EQ(small.Printf("%d", 1234), 4);
    EXPECT_STREQ(small.Buffer->c_str(), "abc1234");
}

TEST(TextBufWrite, WrittenTextReadsBackAsLinesAndPrintfIsCut)
{
    TextBuf buf;
    buf.Construct(2000);
    buf.Printf("[%s]\n", "Main");
    buf.Printf("k=%d\n", 7);
    buf.Write("v=x", 3);
    buf.PutChar('\n');
    EXPECT_EQ(buf.Printf("%s", std::string(3000, 'p').c_str()), 1099);
    EXPECT_EQ(AllLines(buf), (Lines{"[Main]", "k=7", "v=x", std::string(1099, 'p')}));
}

TEST(TextBufConstruct, FreeAllowsANewBlockAndASecondBlockAborts)
{
    TextBuf buf;
    buf.Construct(3);
    buf.Free();
    EXPECT_EQ(buf.Buffer, nullptr);
    buf.Construct(20);
    EXPECT_EQ(buf.Buffer->Capacity(), 20u);
    EXPECT_DEATH(buf.Construct(5), "");
}

TEST(TextFileRead, LongLineComesBackInPiecesOf1099)
{
    TempDir dir;
    WriteFile(dir / "long", std::string(2999, 'x') + "\n" + "next\n");
    TextFile file;
    ASSERT_TRUE(file.Open((dir / "long").c_str(), "rb"));
    Lines lines = AllLines(file);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], std::string(1099, 'x'));
    EXPECT_EQ(lines[1], std::string(1099, 'x'));
    EXPECT_EQ(lines[2], std::string(801, 'x') + "\n");
    EXPECT_EQ(lines[3], "next\n");
}

TEST(TextFileRead, LineEndsAreKeptAsTheyAre)
{
    TempDir dir;
    WriteFile(dir / "t", "a\r\n\nb\nlast");
    TextFile file;
    ASSERT_TRUE(file.Open((dir / "t").c_str(), "rb"));
    EXPECT_EQ(AllLines(file), (Lines{"a\r\n", "\n", "b\n", "last"}));
    EXPECT_EQ(file.ReadLine(), nullptr);
    file.Close();
    EXPECT_EQ(file.ReadLine(), nullptr);
}

TEST(TextFileWrite, AllWritersReachTheFile)
{
    TempDir dir;
    TextFile file;
    ASSERT_TRUE(file.Create((dir / "w").c_str()));
    EXPECT_EQ(file.Printf("%s=%d\n", "key", 5), 6);
    EXPECT_EQ(file.Write("raw\0z", 5), 5u);
    EXPECT_EQ(file.PutChar('\xE9'), 0xE9);
    std::string longText(1500, 'c');
    EXPECT_EQ(file.Printf("%s", longText.c_str()), 1099);
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(ReadFile(dir / "w"), std::string("key=5\nraw\0z\xE9", 12) + std::string(1099, 'c'));
}

TEST(TextFileWrite, ClosedOrUncreatableFileWritesNothing)
{
    TempDir dir;
    TextFile file;
    EXPECT_FALSE(file.Create((dir / "missing/w").c_str()));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.Write("a", 1), 0u);
    EXPECT_EQ(file.PutChar('a'), EOF);
    EXPECT_EQ(file.Printf("a"), -1);
}
