#include "utils/rtf/rtfwriter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

#include "tests/utils/osal/osal_fixtures.h"

namespace {

const std::string kHeadStart = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl";
const std::string kHeadEnd = "}{\\*\\generator rtflib ver. 1.0;}\n{\\info{\\author Zelmora}{\\company Software\\Zelmora}}";
const std::string kZeroCharPart = "\\animtext0\\expndtw0\\kerning0\\charscalex0\\f0\\fs0\\cf0"
                                  "\\b0\\caps0\\striked0\\i0\\outl0\\shad0\\scaps0\\strike0\\ulnone";
const std::string kZeroParagraph = "\n\\plain\\ql\\fi0\\li0\\ri0\\sb0\\sa0\\sl0" + kZeroCharPart;

// Group depth never drops below zero and ends at zero; "\{", "\}" and "\\"
// are text, not structure.
bool BracesBalanced(const std::string& rtf)
{
    int depth = 0;
    for (size_t i = 0; i < rtf.size(); ++i) {
        if (rtf[i] == '\\')
            ++i;
        else if (rtf[i] == '{')
            ++depth;
        else if (rtf[i] == '}' && --depth < 0)
            return false;
    }
    return depth == 0;
}

class RtfWriterTest : public ::testing::Test {
protected:
    void SetUp() override { *RtfWriter::GetFormat() = RtfFormat{}; }
    void TearDown() override { *RtfWriter::GetFormat() = RtfFormat{}; }

    std::string Document() { return std::string(writer.GetBuffer(), writer.Length()); }
    // What op appends to a fresh document with one font.
    std::string Appended(const std::function<void(RtfWriter&)>& op)
    {
        writer.Open(0, "Courier", nullptr);
        size_t header = writer.Length();
        op(writer);
        return Document().substr(header);
    }

    RtfWriter writer;
};

TEST_F(RtfWriterTest, ExactHeaderWithFontAndColourTables)
{
    const struct {
        const char* fonts;
        const char* colours;
        std::string tables;
    } cases[] = {
        {"Courier;Arial", nullptr,
         "{\\f0\\fnil\\fcharset0\\cpg1252 Courier}{\\f1\\fnil\\fcharset0\\cpg1252 Arial}"},
        {"Courier", "\\red0\\green0\\blue0;\\red255\\green255\\blue255;",
         "{\\f0\\fnil\\fcharset0\\cpg1252 Courier}}{\\colortbl\\red0\\green0\\blue0;\\red255\\green255\\blue255;"},
        // A trailing separator adds no entry; an empty inner name keeps the
        // following fonts at their positions; braces in a name are escaped.
        {"A;;B{x};", nullptr,
         "{\\f0\\fnil\\fcharset0\\cpg1252 A}{\\f1\\fnil\\fcharset0\\cpg1252 }{\\f2\\fnil\\fcharset0\\cpg1252 B\\{x\\}}"},
        {nullptr, nullptr, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fonts != nullptr ? c.fonts : "(null)");
        EXPECT_EQ(RTF_OK, writer.Open(4096, c.fonts, c.colours));
        EXPECT_EQ(kHeadStart + c.tables + kHeadEnd, Document());
    }
}

TEST_F(RtfWriterTest, ParagraphTextInItsExactOrder)
{
    const struct {
        const char* name;
        void (*setup)(RtfFormat&);
        const char* text;
        bool newParagraph;
        std::string expected;
    } cases[] = {
        {"all fields zero", [](RtfFormat&) {}, "Hello", false, kZeroParagraph + " Hello"},
        // The text is RTF already: never a format, never escaped.
        {"verbatim text", [](RtfFormat&) {}, "100% \\b %s %d", false, kZeroParagraph + " 100% \\b %s %d"},
        {"every field set",
         [](RtfFormat& f) {
             f.resetParagraph = f.inTable = f.breakKind = f.tabStopOn = f.numberingOn = f.borderOn = f.shadingOn = 1;
             f.alignment = f.tabKind = 3;
             f.tabLeader = 6;
             f.tabPosition = 720;
             f.numberingLevel = 2;
             f.numberingSpacing = 90;
             f.numberingText = '.';
             f.borderSide = 5;
             f.borderStyle = 17;
             f.borderWidth = 15;
             f.borderSpacing = 20;
             f.borderColour = 1;
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
         },
         "T", true,
         "\n\\par\\pard\\intbl\\page\\qj\\tqdec\\tleq\\tx720{\\*\\pn\\pnlvl2\\pnsp90\\pntxtb .}"
         "\\box\\brdrengrave\\brdrw15\\brsp20\\brdrcf1\\shading250\\bgdkdcross\\cfpat1\\cbpat2"
         "\\fi-10\\li1\\ri2\\sb3\\sa4\\sl5\\animtext1\\expndtw2\\kerning3\\charscalex4\\f5\\fs20\\cf7"
         "\\b\\caps\\striked1\\embo\\impr\\i\\outl\\shad\\scaps\\strike\\sub\\super\\ulwave T"},
        {"indexes past the tables write nothing",
         [](RtfFormat& f) {
             f.breakKind = f.alignment = f.tabKind = 4;
             f.tabStopOn = f.borderOn = f.shadingOn = 1;
             f.tabLeader = 7;
             f.borderSide = 6;
             f.borderStyle = f.underline = 18;
             f.shadingPattern = 13;
         },
         "x", false,
         "\n\\plain\\tx0\\brdrw0\\brsp0\\brdrcf0\\shading0\\cfpat0\\cbpat0\\fi0\\li0\\ri0\\sb0\\sa0\\sl0"
         "\\animtext0\\expndtw0\\kerning0\\charscalex0\\f0\\fs0\\cf0\\b0\\caps0\\striked0\\i0\\outl0\\shad0"
         "\\scaps0\\strike0 x"},
        {"tab only", [](RtfFormat& f) { f.tabOnly = 1; }, "cell", true, "\\tab cell"},
        // A zero numbering character would cut the document short; a brace
        // would unbalance it.
        {"numbering character 0", [](RtfFormat& f) { f.numberingOn = 1; }, "a", false,
         "\n\\plain\\ql{\\*\\pn\\pnlvl0\\pnsp0\\pntxtb }\\fi0\\li0\\ri0\\sb0\\sa0\\sl0" + kZeroCharPart + " a"},
        {"numbering character brace",
         [](RtfFormat& f) {
             f.numberingOn = 1;
             f.numberingText = '}';
         },
         "b", false,
         "\n\\plain\\ql{\\*\\pn\\pnlvl0\\pnsp0\\pntxtb \\}}\\fi0\\li0\\ri0\\sb0\\sa0\\sl0" + kZeroCharPart + " b"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        *RtfWriter::GetFormat() = RtfFormat{};
        c.setup(*RtfWriter::GetFormat());
        std::string body = Appended([&](RtfWriter& w) { EXPECT_EQ(RTF_OK, w.WriteParagraph(c.text, c.newParagraph)); });
        EXPECT_EQ(c.expected, body);
        EXPECT_TRUE(BracesBalanced(body));
        EXPECT_EQ(c.newParagraph, RtfWriter::GetFormat()->newParagraph);
        // The private copy of the text lives only during the call.
        EXPECT_EQ(nullptr, RtfWriter::GetFormat()->text);
    }
}

TEST_F(RtfWriterTest, LinesTextsPicturesAndBytes)
{
    EXPECT_EQ("\n \\line row 2", Appended([](RtfWriter& w) { w.AddLine("row 2"); }));
    EXPECT_EQ("%n%s", Appended([](RtfWriter& w) { w.AddText("%n%s"); }));
    EXPECT_EQ("\n{\\pict\\pngblip\\picscalex50\\picscaley75\\picw423\\pich423\n89504e47\n0D0A1A0A}",
              Appended([](RtfWriter& w) { EXPECT_EQ(RTF_OK, w.AddPngPicture("89504e47\n0D0A1A0A", 50, 75)); }));
    // Picture data that is not pairs of hex digits would break every brace after it.
    EXPECT_EQ("", Appended([](RtfWriter& w) {
                  for (const char* bad : {"8950}4e47", "895", static_cast<const char*>(nullptr)})
                      EXPECT_EQ(RTF_ERR_DATA, w.AddPngPicture(bad, 100, 100));
              }));
    EXPECT_EQ("abcdef", Appended([](RtfWriter& w) {
                  EXPECT_EQ(3u, w.AppendBytes("abcdef", 2, 3));
                  EXPECT_EQ(0u, w.AppendBytes("ab", SIZE_MAX / 2 + 1, 2)); // size × count overflows
                  EXPECT_EQ(0u, w.AppendBytes(nullptr, 1, 4));
              }));
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
    std::string rtf = Document();
    EXPECT_EQ(0u, rtf.find("{\\rtf1\\ansi"));
    for (int i = 0; i < 1000; ++i)
        ASSERT_NE(std::string::npos, rtf.find("\\cbpat1\\fi0\\li0\\ri0\\sb0\\sa0\\sl0" + kZeroCharPart + " {row " +
                                                  std::to_string(i) + "}\n \\line x"))
            << i;
    EXPECT_TRUE(BracesBalanced(rtf));
    ASSERT_GE(rtf.size(), 6u);
    EXPECT_EQ("\n\\par}", rtf.substr(rtf.size() - 6));
    EXPECT_EQ(strlen(writer.GetBuffer()), writer.Length());
}

TEST_F(RtfWriterTest, EndDocumentInMemoryIntoAFileAndIntoAnUncreatableFile)
{
    kxtest::TempDir dir;
    writer.Open(0, "Courier", nullptr);
    writer.WriteParagraph("file", false);
    EXPECT_EQ(RTF_OK, writer.EndDocument((dir / "x.rtf").c_str()));
    std::string rtf = Document();
    EXPECT_EQ("\n\\par}", rtf.substr(rtf.size() - 6));
    EXPECT_TRUE(BracesBalanced(rtf));
    EXPECT_EQ(RTF_OK, writer.Close());
    EXPECT_EQ(rtf, kxtest::ReadFile(dir / "x.rtf"));
    EXPECT_EQ(0u, writer.Length());
    EXPECT_STREQ("", writer.GetBuffer());

    writer.Open(0, "Courier", nullptr);
    EXPECT_EQ(RTF_OK, writer.EndDocument(nullptr));
    EXPECT_EQ(RTF_ERR_CREATE, writer.EndDocument((dir / "none/x.rtf").c_str()));
    EXPECT_EQ(RTF_OK, writer.Close());
}

TEST_F(RtfWriterTest, EndDocumentClosesOnceAndReportsAFullDiskAtOnce)
{
    kxtest::TempDir dir;
    writer.Open(0, "Courier", nullptr);
    writer.WriteParagraph("twice", false);
    EXPECT_EQ(RTF_OK, writer.EndDocument(nullptr));
    std::string once = Document();
    EXPECT_EQ(RTF_OK, writer.EndDocument((dir / "x.rtf").c_str()));
    EXPECT_EQ(once, Document());
    EXPECT_TRUE(BracesBalanced(Document()));
    EXPECT_EQ(once, kxtest::ReadFile(dir / "x.rtf"));
    EXPECT_EQ(RTF_OK, writer.Close());

    // A document opened again is closed again.
    writer.Open(0, "Courier", nullptr);
    EXPECT_EQ(RTF_ERR_WRITE, writer.EndDocument("/dev/full"));
    EXPECT_EQ("\n\\par}", Document().substr(Document().size() - 6));
    writer.Close();
}

TEST(RtfEscape, SpecialAndEightBitCharacters)
{
    EXPECT_EQ("a\\\\b\\{c\\}", RtfWriter::Escape("a\\b{c}"));
    EXPECT_EQ("x\\tab y\\line z", RtfWriter::Escape("x\ty\nz"));
    EXPECT_EQ("\\'e9\\'01\\'ff", RtfWriter::Escape("\xe9\x01\xff"));
    EXPECT_EQ("", RtfWriter::Escape(nullptr));
    EXPECT_EQ("plain text 123;", RtfWriter::Escape("plain text 123;"));
}

TEST(RtfEscape, Utf16UnitsAsSignedUnicodeWords)
{
    const struct {
        std::u16string text;
        const char* rtf;
    } cases[] = {
        {u"a{b}\\c", "a\\{b\\}\\\\c"},
        {u"na\u00efve", "na\\u239?ve"},
        {u"\u20ac\u4e2d", "\\u8364?\\u20013?"},
        {u"\uffe9", "\\u-23?"},
        {u"\U0001F600", "\\u-10179?\\u-8704?"},
        {u"x\ty\x7f", "x\\tab y\\u127?"},
        {u"", ""},
    };
    for (const auto& c : cases) {
        std::string out = "head ";
        RtfWriter::AppendEscaped(out, c.text.data(), c.text.size());
        EXPECT_EQ(out, std::string("head ") + c.rtf);
    }
}

} // namespace
