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

using Lines = std::vector<std::string>;

// Every line a source gives until its end.
Lines AllLines(TextIo& io)
{
    Lines lines;
    for (char* line = io.ReadLine(); line != nullptr; line = io.ReadLine())
        lines.push_back(line);
    return lines;
}

} // namespace

TEST(TextBufRead, LinesIncludingALastOneWithoutLineEnd)
{
    const struct {
        std::string text;
        Lines lines;
    } cases[] = {
        {"a\nb", {"a", "b"}},
        {"a\nb\n", {"a", "b"}},
        {"x\r\ny\r\n", {"x\r", "y\r"}},
        // Lines longer than a scratch buffer come back whole.
        {"\n\nz\n" + std::string(5000, 'L'), {"", "", "z", std::string(5000, 'L')}},
        {"", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 10));
        TextBuf buf;
        buf.Construct(uint32_t(c.text.size() + 1));
        ASSERT_EQ(buf.Write(c.text.data(), c.text.size()), c.text.size());
        EXPECT_EQ(AllLines(buf), c.lines);
        EXPECT_EQ(buf.ReadLine(), nullptr);
    }
    TextBuf none;
    EXPECT_EQ(none.ReadLine(), nullptr);
    EXPECT_EQ(none.Write("a", 1), 0u);
    EXPECT_EQ(none.PutChar('a'), EOF);
}

TEST(TextBufRead, EmbeddedNulNeverMovesTheCursorPastTheText)
{
    TextBuf buf;
    buf.Construct(6);
    buf.Write("p\0q\nr", 5);
    EXPECT_EQ(AllLines(buf), (Lines{"p", "r"}));
    EXPECT_EQ(buf.Buffer->Cursor(), buf.Buffer->Data() + buf.Buffer->Length());
}

TEST(TextBufWrite, PiecesAreAppendedWholeAndOnlyBelowTheCapacity)
{
    TextBuf buf;
    buf.Construct(10);
    EXPECT_EQ(buf.Write("123456789", 9), 9u);
    EXPECT_EQ(buf.Write("x", 1), 0u);
    EXPECT_EQ(buf.Printf("%c", 'y'), 0);
    // A single character may fill the last place.
    EXPECT_EQ(buf.PutChar('z'), 'z');
    EXPECT_EQ(buf.PutChar('!'), EOF);
    EXPECT_STREQ(buf.Buffer->c_str(), "123456789z");

    TextBuf small;
    small.Construct(8);
    EXPECT_EQ(small.Write("abc", 3), 3u);
    EXPECT_EQ(small.Write("defgh", 5), 0u);
    EXPECT_EQ(small.Printf("%s", "defgh"), 0);
    EXPECT_EQ(small.Printf("%d", 1234), 4);
    EXPECT_STREQ(small.Buffer->c_str(), "abc1234");

    // Written text reads back as lines; Printf is cut at 1099 characters.
    TextBuf big;
    big.Construct(2000);
    big.Printf("[%s]\n", "Main");
    big.Write("v=x", 3);
    big.PutChar('\n');
    EXPECT_EQ(big.Printf("%s", std::string(3000, 'p').c_str()), 1099);
    EXPECT_EQ(AllLines(big), (Lines{"[Main]", "v=x", std::string(1099, 'p')}));
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

TEST(TextFileRead, LineEndsKeptAndLongLinesInPiecesOf1099)
{
    TempDir dir;
    WriteFile(dir / "t", std::string(2999, 'x') + "\na\r\n\nb\nlast");
    TextFile file;
    ASSERT_TRUE(file.Open((dir / "t").c_str(), "rb"));
    EXPECT_EQ(AllLines(file), (Lines{std::string(1099, 'x'), std::string(1099, 'x'), std::string(801, 'x') + "\n",
                                     "a\r\n", "\n", "b\n", "last"}));
    file.Close();
    EXPECT_EQ(file.ReadLine(), nullptr);
}

TEST(TextFileWrite, AllWritersReachTheFileAndAClosedFileWritesNothing)
{
    TempDir dir;
    TextFile file;
    ASSERT_TRUE(file.Create((dir / "w").c_str()));
    EXPECT_EQ(file.Printf("%s=%d\n", "key", 5), 6);
    EXPECT_EQ(file.Write("raw\0z", 5), 5u);
    EXPECT_EQ(file.PutChar('\xE9'), 0xE9);
    EXPECT_EQ(file.Printf("%s", std::string(1500, 'c').c_str()), 1099);
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(ReadFile(dir / "w"), std::string("key=5\nraw\0z\xE9", 12) + std::string(1099, 'c'));

    TextFile missing;
    EXPECT_FALSE(missing.Create((dir / "missing/w").c_str()));
    EXPECT_EQ(missing.Write("a", 1), 0u);
    EXPECT_EQ(missing.PutChar('a'), EOF);
    EXPECT_EQ(missing.Printf("a"), -1);
}
