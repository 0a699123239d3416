#include "utils/rtf/rtfwriter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

const char kHeaderTwoFonts[] = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl"
                               "{\\f0\\fnil\\fcharset0\\cpg1252 Courier}"
                               "{\\f1\\fnil\\fcharset0\\cpg1252 Arial}"
                               "}{\\*\\generator rtflib ver. 1.0;}"
                               "\n{\\info{\\author Zelmora}{\\company Software\\Zelmora}}";

const char kZeroCharPart[] = "\\animtext0\\expndtw0\\kerning0\\charscalex0\\f0\\fs0\\cf0"
                             "\\b0\\caps0\\striked0\\i0\\outl0\\shad0\\scaps0\\strike0\\ulnone";

// Group depth never drops below zero and ends at zero; "\{", "\}" and "\\"
// are text, not structure.
bool BracesBalanced(const std::string& rtf)
{
    int depth = 0;
    for (size_t i = 0; i < rtf.size(); ++i) {
        char ch = rtf[i];
        if (ch == '\\') {
            ++i;
            continue;
        }
        if (ch == '{')
            ++depth;
        else if (ch == '}' && --depth < 0)
            return false;
    }
    return depth == 0;
}

size_t CountOf(const std::string& text, const std::string& needle)
{
    size_t count = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size()))
        ++count;
    return count;
}

class RtfWriterTest : public ::testing::Test {
protected:
    void SetUp() override { *RtfWriter::GetFormat() = RtfFormat{}; }
    void TearDown() override { *RtfWriter::GetFormat() = RtfFormat{}; }

    // The text appended after the header by one operation.
    std::string Body(RtfWriter& writer, size_t headerLength)
    {
        return std::string(writer.GetBuffer(), writer.Length()).substr(headerLength);
    }

    RtfWriter writer;
};

TEST_F(RtfWriterTest, HeaderWithTwoFontsAndNoColourTable)
{
    EXPECT_EQ(RTF_OK, writer.Open(4096, "Courier;Arial", nullptr));
    EXPECT_EQ(std::string(kHeaderTwoFonts), writer.GetBuffer());
    EXPECT_EQ(RTF_OK, 4096);
}

TEST_F(RtfWriterTest, HeaderWithColourTable)
{
    writer.Open(4096, "Courier", "\\red0\\green0\\blue0;\\red255\\green255\\blue255;");
    EXPECT_EQ(std::string("{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fnil\\fcharset0\\cpg1252 Courier}"
                          "}{\\colortbl\\red0\\green0\\blue0;\\red255\\green255\\blue255;"
                          "}{\\*\\generator rtflib ver. 1.0;}"
                          "\n{\\info{\\author Zelmora}{\\company Software\\Zelmora}}"),
              writer.GetBuffer());
}

TEST_F(RtfWriterTest, FontListEdgeCases)
{
    // A trailing separator adds no entry; an empty inner name keeps the
    // following fonts at their positions; braces in a name are escaped.
    writer.Open(0, "A;;B{x};", nullptr);
    std::string rtf = writer.GetBuffer();
    EXPECT_NE(std::string::npos, rtf.find("{\\f0\\fnil\\fcharset0\\cpg1252 A}"
                                          "{\\f1\\fnil\\fcharset0\\cpg1252 }"
                                          "{\\f2\\fnil\\fcharset0\\cpg1252 B\\{x\\}}}"));
    EXPECT_EQ(std::string::npos, rtf.find("\\f3"));
    writer.EndDocument(nullptr);
    EXPECT_TRUE(BracesBalanced(writer.GetBuffer()));

    RtfWriter empty;
    empty.Open(0, nullptr, nullptr);
    EXPECT_NE(std::string::npos, std::string(empty.GetBuffer()).find("{\\fonttbl}{\\*\\generator"));
}

TEST_F(RtfWriterTest, ParagraphWithAllFieldsZero)
{
    writer.Open(0, "Courier", nullptr);
    size_t header = writer.Length();
    EXPECT_EQ(RTF_OK, writer.WriteParagraph("Hello", false));
    EXPECT_EQ("\n\\plain\\ql\\fi0\\li0\\ri0\\sb0\\sa0\\sl0" + std::string(kZeroCharPart) + " Hello",
              Body(writer, header));
    // The private copy of the text lives only during the call.
    EXPECT_EQ(nullptr, RtfWriter::GetFormat()->text);
}

TEST_F(RtfWriterTest, ParagraphPartInOrder)
{
    RtfFormat& f = *RtfWriter::GetFormat();
    f.resetParagraph = 1;
    f.inTable = 1;
    f.breakKind = 1;
    f.alignment = 3;
    f.tabStopOn = 1;
    f.tabKind = 3;
    f.tabLeader = 6;
    f.tabPosition = 720;
    f.numberingOn = 1;
    f.numberingLevel = 2;
    f.numberingSpacing = 90;
    f.numberingText = '.';
    f.borderOn = 1;
    f.borderSide = 5;
    f.borderStyle = 17;
    f.borderWidth = 15;
    f.borderSpacing = 20;
    f.borderColour = 1;
    f.shadingOn = 1;
    f.shadingPercentage = 250;
    f.shadingPattern = 12;
    f.patternForeground = 1;
    f.patternBackground = 2;
    f.firstIndent = -10;
    f.leftIndent = 1;
    f.rightIndent = 2;
    f.spaceBefore = 3;
    f.spaceAfter = 4;
    f.lineSpacing = 5;
    writer.Open(0, "Courier", nullptr);
    size_t header = writer.Length();
    writer.WriteParagraph("T", true);
    EXPECT_EQ(1, f.newParagraph);
    EXPECT_EQ("\n\\par\\pard\\intbl\\page\\qj\\tqdec\\tleq\\tx720{\\*\\pn\\pnlvl2\\pnsp90\\pntxtb .}"
              "\\box\\brdrengrave\\brdrw15\\brsp20\\brdrcf1\\shading250\\bgdkdcross\\cfpat1\\cbpat2"
              "\\fi-10\\li1\\ri2\\sb3\\sa4\\sl5" +
                  std::string(kZeroCharPart) + " T",
              Body(writer, header));
}

TEST_F(RtfWriterTest, CharacterPartInOrder)
{
    RtfFormat& f = *RtfWriter::GetFormat();
    f.animation = 1;
    f.expansion = 2;
    f.kerning = 3;
    f.horizontalScale = 4;
    f.font = 5;
    f.fontSize = 20;
    f.colour = 7;
    f.bold = f.caps = f.doubleStrike = f.emboss = f.imprint = f.italic = 1;
    f.outline = f.shadow = f.smallCaps = f.strike = f.subscript = f.superscript = 1;
    f.underline = 17;
    writer.Open(0, "Courier", nullptr);
    size_t header = writer.Length();
    writer.WriteParagraph("x", false);
    EXPECT_EQ("\n\\plain\\ql\\fi0\\li0\\ri0\\sb0\\sa0\\sl0"
              "\\animtext1\\expndtw2\\kerning3\\charscalex4\\f5\\fs20\\cf7"
              "\\b\\caps\\striked1\\embo\\impr\\i\\outl\\shad\\scaps\\strike\\sub\\super\\ulwave x",
              Body(writer, header));
}

TEST_F(RtfWriterTest, IndexesPastTheTablesWriteNothing)
{
    RtfFormat& f = *RtfWriter::GetFormat();
    f.breakKind = 4;
    f.alignment = 4;
    f.tabStopOn = 1;
    f.tabKind = 4;
    f.tabLeader = 7;
    f.borderOn = 1;
    f.borderSide = 6;
    f.borderStyle = 18;
    f.shadingOn = 1;
    f.shadingPattern = 13;
    f.underline = 18;
    writer.Open(0, "Courier", nullptr);
    size_t header = writer.Length();
    writer.WriteParagraph("x", false);
    EXPECT_EQ("\n\\plain\\tx0\\brdrw0\\brsp0\\brdrcf0\\shading0\\cfpat0\\cbpat0\\fi0\\li0\\ri0\\sb0\\sa0\\sl0"
              "\\animtext0\\expndtw0\\kerning0\\charscalex0\\f0\\fs0\\cf0"
              "\\b0\\caps0\\striked0\\i0\\outl0\\shad0\\scaps0\\strike0 x",
              Body(writer, header));
}

TEST_F(RtfWriterTest, TabOnlyParagraph)
{
    RtfWriter::GetFormat()->tabOnly = 1;
    writer.Open(0, "Courier", nullptr);
    size_t header = writer.Length();
    writer.WriteParagraph("cell", true);
    EXPECT_EQ("\\tab cell", Body(writer, header));
}

TEST_F(RtfWriterTest, NumberingCharacterNeverBreaksTheDocument)
{
    RtfFormat& f = *RtfWriter::GetFormat();
    f.numberingOn = 1;
    writer.Open(0, "Courier", nullptr);
    size_t header = writer.Length();
    writer.WriteParagraph("a", false); // character 0
    f.numberingText = '}';
    writer.WriteParagraph("b", false);
    std::string body = Body(writer, header);
    EXPECT_EQ(std::string::npos, body.find('\0'));
    EXPECT_NE(std::string::npos, body.find("\\pntxtb }"));
    EXPECT_NE(std::string::npos, body.find("\\pntxtb \\}}"));
    writer.EndDocument(nullptr);
    EXPECT_TRUE(BracesBalanced(std::string(writer.GetBuffer(), writer.Length())));
}

TEST_F(RtfWriterTest, TextIsWrittenVerbatim)
{
    writer.Open(0, "Courier", nullptr);
    size_t header = writer.Length();
    writer.WriteParagraph("100% \\b %s %d", false);
    EXPECT_NE(std::string::npos, Body(writer, header).find(" 100% \\b %s %d"));
    size_t before = writer.Length();
    writer.AddText("%n%s");
    EXPECT_EQ("%n%s", Body(writer, before));
}

TEST_F(RtfWriterTest, AddLine)
{
    writer.Open(0, "Courier", nullptr);
    size_t header = writer.Length();
    writer.AddLine("row 2");
    EXPECT_EQ("\n \\line row 2", Body(writer, header));
}

TEST_F(RtfWriterTest, PngPicture)
{
    writer.Open(0, "Courier", nullptr);
    size_t header = writer.Length();
    EXPECT_EQ(RTF_OK, writer.AddPngPicture("89504e47\n0D0A1A0A", 50, 75));
    EXPECT_EQ("\n{\\pict\\pngblip\\picscalex50\\picscaley75\\picw423\\pich423\n89504e47\n0D0A1A0A}",
              Body(writer, header));
}

TEST_F(RtfWriterTest, PictureDataThatIsNotHexIsRefused)
{
    writer.Open(0, "Courier", nullptr);
    size_t header = writer.Length();
    EXPECT_EQ(RTF_ERR_DATA, writer.AddPngPicture("8950}4e47", 100, 100));
    EXPECT_EQ(RTF_ERR_DATA, writer.AddPngPicture("895", 100, 100));
    EXPECT_EQ(RTF_ERR_DATA, writer.AddPngPicture(nullptr, 100, 100));
    EXPECT_EQ(header, writer.Length());
}

TEST_F(RtfWriterTest, AppendBytes)
{
    writer.Open(0, "Courier", nullptr);
    size_t header = writer.Length();
    EXPECT_EQ(3u, writer.AppendBytes("abcdef", 2, 3));
    EXPECT_EQ("abcdef", Body(writer, header));
    EXPECT_EQ(0u, writer.AppendBytes("ab", SIZE_MAX / 2 + 1, 2)); // size × count overflows
    EXPECT_EQ(0u, writer.AppendBytes(nullptr, 1, 4));
    EXPECT_EQ(header + 6, writer.Length());
}

TEST_F(RtfWriterTest, ThousandParagraphsIntoASmallBuffer)
{
    // Every piece must arrive even when the initial size is far too small.
    writer.Open(16, "Courier;Arial", "\\red0\\green0\\blue0;");
    RtfWriter::GetFormat()->shadingOn = 1;
    RtfWriter::GetFormat()->patternBackground = 1;
    writer.WriteParagraph("\\chcbpat1 ", false);
    for (int i = 0; i < 1000; ++i) {
        std::string text = "{row " + std::to_string(i) + "}";
        writer.WriteParagraph(text.c_str(), true);
        writer.AddLine("x");
    }
    writer.AddPngPicture("00ff", 100, 100);
    EXPECT_EQ(RTF_OK, writer.EndDocument(nullptr));
    std::string rtf(writer.GetBuffer(), writer.Length());
    EXPECT_EQ(0u, rtf.find("{\\rtf1\\ansi"));
    for (int i = 0; i < 1000; ++i)
        ASSERT_NE(std::string::npos, rtf.find(" {row " + std::to_string(i) + "}")) << i;
    EXPECT_EQ(1000u, CountOf(rtf, "\n\\par\\plain"));
    EXPECT_EQ(1000u, CountOf(rtf, "\\line x"));
    EXPECT_TRUE(BracesBalanced(rtf));
    ASSERT_GE(rtf.size(), 6u);
    EXPECT_EQ("\n\\par}", rtf.substr(rtf.size() - 6));
    EXPECT_EQ(strlen(writer.GetBuffer()), writer.Length());
}

TEST_F(RtfWriterTest, EndDocumentWithoutPath)
{
    writer.Open(0, "Courier", nullptr);
    EXPECT_EQ(RTF_OK, writer.EndDocument(nullptr));
    std::string rtf = writer.GetBuffer();
    EXPECT_EQ("\n\\par}", rtf.substr(rtf.size() - 6));
    EXPECT_TRUE(BracesBalanced(rtf));
    EXPECT_EQ(RTF_OK, writer.Close());
    EXPECT_EQ(0u, writer.Length());
    EXPECT_STREQ("", writer.GetBuffer());
}

TEST_F(RtfWriterTest, EndDocumentToFile)
{
    char path[] = "/tmp/rtfwriter-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    writer.Open(0, "Courier", nullptr);
    writer.WriteParagraph("file", false);
    EXPECT_EQ(RTF_OK, writer.EndDocument(path));
    std::string expected(writer.GetBuffer(), writer.Length());
    EXPECT_EQ(RTF_OK, writer.Close());
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    EXPECT_EQ(expected, content.str());
    unlink(path);
}

TEST_F(RtfWriterTest, EndDocumentToAnUncreatableFile)
{
    writer.Open(0, "Courier", nullptr);
    EXPECT_EQ(RTF_ERR_CREATE, writer.EndDocument("/nonexistent-dir-for-rtf/x.rtf"));
    EXPECT_EQ(RTF_OK, writer.Close());
}

TEST(RtfEscape, SpecialAndEightBitCharacters)
{
    EXPECT_EQ("a\\\\b\\{c\\}", RtfWriter::Escape("a\\b{c}"));
    EXPECT_EQ("x\\tab y\\line z", RtfWriter::Escape("x\ty\nz"));
    EXPECT_EQ("\\'e9\\'01\\'ff", RtfWriter::Escape("\xe9\x01\xff"));
    EXPECT_EQ("", RtfWriter::Escape(nullptr));
    EXPECT_EQ("plain text 123;", RtfWriter::Escape("plain text 123;"));
}

} // namespace
