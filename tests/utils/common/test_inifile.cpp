#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "tests/utils/osal/osal_fixtures.h"
#include "utils/common/inifile.h"

using kxtest::Exists;
using kxtest::KxCapture;
using kxtest::ReadFile;
using kxtest::TempDir;
using kxtest::WriteFile;
using ZmLib::IniBase;
using ZmLib::IniEntry;
using ZmLib::IniFile;
using ZmLib::IniLine;
using ZmLib::IniSection;
using ZmLib::TextBuf;
using ZmLib::TextIo;

namespace {

// A sink that collects everything written into a std::string.
class StringSink : public TextIo {
public:
    char* ReadLine() override { return nullptr; }
    int Printf(const char*, ...) override { return 0; }
    size_t Write(const void* data, size_t count) override
    {
        text.append(static_cast<const char*>(data), count);
        return count;
    }
    int PutChar(char ch) override
    {
        text += ch;
        return static_cast<unsigned char>(ch);
    }
    std::string text;
};

void Load(IniBase& ini, std::string text)
{
    ini.ReadFromText(text.data(), text.size());
}

std::string Written(IniBase& ini, bool strip = false)
{
    StringSink sink;
    EXPECT_TRUE(ini.Write(sink, strip));
    return sink.text;
}

std::string RoundTrip(const std::string& text, bool strip = false)
{
    IniBase ini;
    Load(ini, text);
    return Written(ini, strip);
}

struct Parsed {
    int kind;
    std::string name;
    const char* value;
    std::string valueText;
    const char* comment;
    std::string commentText;
    char separator;
};

Parsed Parse(std::string line)
{
    IniLine out;
    int kind = IniBase::ParseLine(line.data(), out);
    Parsed p{kind, out.Name ? out.Name : "", out.Value, out.Value ? out.Value : "", out.Comment,
             out.Comment ? out.Comment : "", out.Separator};
    return p;
}

} // namespace

TEST(IniParseLine, BlanksAroundEqualsAndCommentAfterBlanks)
{
    Parsed p = Parse("  key  =  value   ;  note");
    EXPECT_EQ(p.kind, ZmLib::INI_LINE_KEY);
    EXPECT_EQ(p.name, "key");
    EXPECT_EQ(p.valueText, "value");
    EXPECT_EQ(p.separator, ' ');
    EXPECT_EQ(p.commentText, "  ;  note");
    EXPECT_EQ(RoundTrip("  key  =  value   ;  note\n"), "key=value   ;  note\n\n");
}

TEST(IniParseLine, EmptyValueBeforeComment)
{
    Parsed p = Parse("key= ;c");
    EXPECT_EQ(p.valueText, "");
    EXPECT_EQ(p.separator, ';');
    EXPECT_EQ(p.commentText, "c");
    EXPECT_EQ(RoundTrip("key= ;c\n"), "key=;c\n\n");
    EXPECT_EQ(RoundTrip("key=value;note\n"), "key=value;note\n\n");
}

TEST(IniParseLine, QuotedValueIsVerbatim)
{
    Parsed p = Parse("key=\"a;b\" ;c");
    EXPECT_EQ(p.valueText, "\"a;b\" ;c");
    EXPECT_EQ(p.comment, nullptr);
}

TEST(IniParseLine, KindsOfLines)
{
    EXPECT_EQ(Parse("").kind, ZmLib::INI_LINE_EMPTY);
    EXPECT_EQ(Parse(" \t ").kind, ZmLib::INI_LINE_EMPTY);
    EXPECT_EQ(Parse("  \r\n").kind, ZmLib::INI_LINE_EMPTY);

    Parsed comment = Parse("  ; a = b  ");
    EXPECT_EQ(comment.kind, ZmLib::INI_LINE_COMMENT);
    EXPECT_EQ(comment.name, "; a = b");

    Parsed other = Parse("\"1,0,a=b;c");
    EXPECT_EQ(other.kind, ZmLib::INI_LINE_OTHER);
    EXPECT_EQ(other.name, "\"1,0,a=b;c");
    EXPECT_EQ(other.value, nullptr);

    Parsed bare = Parse("TIME");
    EXPECT_EQ(bare.kind, ZmLib::INI_LINE_OTHER);
    EXPECT_EQ(bare.name, "TIME");
    EXPECT_EQ(bare.value, nullptr);
}

TEST(IniParseLine, SectionNamesAndComments)
{
    Parsed s = Parse("[Main] ; c");
    EXPECT_EQ(s.kind, ZmLib::INI_LINE_SECTION);
    EXPECT_EQ(s.name, "Main");
    EXPECT_EQ(s.separator, ' ');
    EXPECT_EQ(s.commentText, "; c");

    // A ';' inside the brackets starts the comment too.
    Parsed inside = Parse("[a;b]");
    EXPECT_EQ(inside.name, "a");
    EXPECT_EQ(inside.separator, ';');
    EXPECT_EQ(inside.commentText, "b]");

    EXPECT_EQ(Parse("[NoClose").name, "NoClose");
    EXPECT_EQ(Parse("[A]tail").name, "A");
}

TEST(IniParseLine, TrailingControlCharactersCutButHighBytesKept)
{
    EXPECT_EQ(Parse("k=caf\xe9").valueText, "caf\xe9");
    EXPECT_EQ(Parse("k=v\t\r\n").valueText, "v");
    EXPECT_EQ(Parse("k=v\x01\x1f").valueText, "v");
    EXPECT_EQ(Parse("na\xefve=\xff").name, "na\xefve");
    EXPECT_EQ(Parse("na\xefve=\xff").valueText, "\xff");
}

TEST(IniText, FileWithCommentsBlankLinesHeadSectionAndCrLf)
{
    const std::string source = "; head comment\r\n"
                               "head=1\r\n"
                               "\r\n"
                               "[Main] ; main section\r\n"
                               "  Name = caf\xe9  \r\n"
                               "\r\n"
                               "\r\n"
                               "Path=/tmp/x;old path\r\n"
                               "; about Other\r\n"
                               "[Other]\r\n"
                               "TIME\r\n"
                               "\"1,0,a=b\r\n"
                               "Last=\"q;r\"";
    const std::string expected = "; head comment\n"
                                 "head=1\n"
                                 "\n"
                                 "[Main] ; main section\n"
                                 "Name=caf\xe9\n"
                                 "Path=/tmp/x;old path\n"
                                 "\n"
                                 "; about Other\n"
                                 "[Other]\n"
                                 "TIME\n"
                                 "\"1,0,a=b\n"
                                 "Last=\"q;r\"\n"
                                 "\n";
    IniBase ini;
    Load(ini, source);
    EXPECT_FALSE(ini.IsModified());
    EXPECT_STREQ(ini.GetValue("", "head"), "1");
    EXPECT_STREQ(ini.GetValue("Main", "Name"), "caf\xe9");
    EXPECT_STREQ(ini.GetValue("Main", "Path"), "/tmp/x");
    EXPECT_STREQ(ini.GetValue("Other", "Last"), "\"q;r\"");
    EXPECT_EQ(ini.GetValue("Other", "TIME"), nullptr);
    EXPECT_NE(IniBase::FindKey(ini.FindSection("Other"), "TIME"), nullptr);
    EXPECT_EQ(Written(ini), expected);
    // The output reads back to itself.
    EXPECT_EQ(RoundTrip(expected), expected);

    EXPECT_EQ(Written(ini, true), "head=1\n"
                                  "[Main]\n"
                                  "Name=caf\xe9\n"
                                  "Path=/tmp/x\n"
                                  "[Other]\n"
                                  "TIME\n"
                                  "\"1,0,a=b\n"
                                  "Last=\"q;r\"\n");
}

TEST(IniText, BlankLineGoesBeforeTrailingComments)
{
    EXPECT_EQ(RoundTrip("[A]\nk=1\n;c1\n;c2\n[B]\nx=2\n"), "[A]\nk=1\n\n;c1\n;c2\n[B]\nx=2\n\n");
    // Only comments: the blank line closes the section.
    EXPECT_EQ(RoundTrip("[A]\n;c1\n;c2\n"), "[A]\n;c1\n;c2\n\n");
    // No entries: no blank line.
    EXPECT_EQ(RoundTrip("[A]\n[B]\n"), "[A]\n[B]\n");
}

TEST(IniText, RepeatedSectionIsWrittenButNotFound)
{
    IniBase ini;
    Load(ini, "[S]\na=1\n[S]\na=2\nb=3\n");
    EXPECT_STREQ(ini.GetValue("S", "a"), "1");
    EXPECT_EQ(ini.GetValue("S", "b"), nullptr);
    EXPECT_EQ(Written(ini, true), "[S]\na=1\n[S]\na=2\nb=3\n");
}

TEST(IniText, NamesAreCaseSensitive)
{
    IniBase ini;
    Load(ini, "[Main]\nKey=1\n");
    EXPECT_EQ(ini.FindSection("main"), nullptr);
    EXPECT_EQ(ini.GetValue("Main", "key"), nullptr);
    EXPECT_STREQ(ini.GetValue("Main", "Key"), "1");
}

TEST(IniText, NamelessSectionAfterOthersKeepsItsHeader)
{
    IniBase ini;
    Load(ini, "[A]\nx=1\n");
    ini.SetValue("", "y", "2");
    const std::string text = Written(ini, true);
    EXPECT_EQ(text, "[A]\nx=1\n[]\ny=2\n");
    IniBase back;
    Load(back, text);
    EXPECT_EQ(back.GetValue("A", "y"), nullptr);
    EXPECT_STREQ(back.GetValue("", "y"), "2");
}

TEST(IniValues, LongValuesSurviveWholeInMemory)
{
    const std::string value(3000, 'x');
    IniBase ini;
    ini.SetValue("Format5", "TEXT", (value + "end").c_str());
    const std::string text = Written(ini, true);
    EXPECT_EQ(text, "[Format5]\nTEXT=" + value + "end\n");

    TextBuf buf;
    ASSERT_TRUE(ini.WriteToBuf(buf));
    IniBase back;
    back.ReadFrom(buf);
    EXPECT_EQ(std::string(back.GetValue("Format5", "TEXT")), value + "end");
}

TEST(IniValues, SemicolonsSurviveSaveAndLoad)
{
    const char* values[] = {
        "a;b", ";", ";;", "x\\;y", "x\\\\;y", "ends\\", "1,\"[^;]+;(\\d+)\"", "a ; b", "\\", "\"quoted;\"",
    };
    IniBase ini;
    for (size_t i = 0; i < sizeof values / sizeof values[0]; ++i)
        ini.SetValue("S", ("k" + std::to_string(i)).c_str(), values[i]);
    const std::string text = Written(ini);
    IniBase back;
    Load(back, text);
    for (size_t i = 0; i < sizeof values / sizeof values[0]; ++i)
        EXPECT_STREQ(back.GetValue("S", ("k" + std::to_string(i)).c_str()), values[i]) << i;
    EXPECT_NE(text.find("k0=a\\;b\n"), std::string::npos);
    // A value read verbatim is written as it stands.
    EXPECT_NE(text.find("k9=\"quoted;\"\n"), std::string::npos);
}

TEST(IniValues, EscapedValueKeepsItsComment)
{
    IniBase ini;
    Load(ini, "[S]\na=old ;note\nb=old;note\n");
    ini.SetValue("S", "a", "x;y");
    ini.SetValue("S", "b", "dir\\");
    const std::string text = Written(ini);
    EXPECT_EQ(text, "[S]\na=x\\;y ;note\nb=dir\\ ;note\n\n");
    IniBase back;
    Load(back, text);
    EXPECT_STREQ(back.GetValue("S", "a"), "x;y");
    EXPECT_STREQ(back.GetValue("S", "b"), "dir\\");
    EXPECT_STREQ(IniBase::FindKey(back.FindSection("S"), "a")->Comment, ";note");
}

TEST(IniValues, TextSizeCoversTheEscapes)
{
    IniBase empty;
    EXPECT_EQ(empty.TextSize(), 10u);

    IniBase ini;
    ini.SetValue("S", "k", ";;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;");
    // "[S]\n" and "k=" + 80 characters + "\n".
    EXPECT_EQ(ini.TextSize(), 10u + 1 + 4 + 1 + 2 + 80);
    TextBuf buf;
    ASSERT_TRUE(ini.WriteToBuf(buf));
    EXPECT_FALSE(ini.IsModified());
    IniBase back;
    back.ReadFrom(buf);
    EXPECT_STREQ(back.GetValue("S", "k"), ";;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;;");
}

TEST(IniValues, GetIntAndScan)
{
    IniBase ini;
    Load(ini, "[S]\nhex=0x10\noct=010\nbad=abc\nneg=-7\nbig=99999999999\nf=2.5\n");
    EXPECT_EQ(ini.GetInt("S", "hex", 1, 0, 100), 16);
    EXPECT_EQ(ini.GetInt("S", "oct", 1, 0, 100), 8);
    EXPECT_EQ(ini.GetInt("S", "bad", 5, 0, 100), 5);
    EXPECT_EQ(ini.GetInt("S", "missing", 6, 0, 100), 6);
    EXPECT_EQ(ini.GetInt("S", "neg", 0, -10, 10), -7);
    {
        KxCapture capture;
        EXPECT_EQ(ini.GetInt("S", "hex", 3, 0, 4), 3);
        EXPECT_TRUE(capture.Has(ZmLib::KX_LEVEL_WARNING,
                                "IniBase::GetInt: value 16 is out of range [0..4], taking the default 3"));
    }
    {
        KxCapture capture;
        EXPECT_EQ(ini.GetInt("S", "big", 9, 0, 10), 9);
        EXPECT_FALSE(capture.Empty());
    }
    double d = 0;
    EXPECT_TRUE(ini.Scan("S", "f", "%lf", &d));
    EXPECT_DOUBLE_EQ(d, 2.5);
    int i = 0;
    EXPECT_FALSE(ini.Scan("S", "bad", "%d", &i));
}

TEST(IniEdit, SetValueInPlaceOwnedAndNew)
{
    IniBase ini;
    Load(ini, "[S]\nk=long value ;keep\n");
    IniEntry* e = IniBase::FindKey(ini.FindSection("S"), "k");
    ASSERT_NE(e, nullptr);

    ini.SetValue("S", "k", "long value");
    EXPECT_FALSE(ini.IsModified());

    ini.SetValue("S", "k", "short");
    EXPECT_TRUE(ini.IsModified());
    EXPECT_EQ(e->ValueOwned, 0);
    EXPECT_STREQ(e->Value, "short");
    EXPECT_STREQ(e->Comment, ";keep");

    ini.SetValue("S", "k", "a much longer value than before");
    EXPECT_EQ(e->ValueOwned, 1);
    ini.SetValue("S", "k", "an even longer value than the owned one");
    EXPECT_STREQ(ini.GetValue("S", "k"), "an even longer value than the owned one");

    ini.SetValue("T", "n", "1");
    ini.SetValue("S", "m", "2");
    EXPECT_EQ(Written(ini), "[S]\nk=an even longer value than the owned one ;keep\nm=2\n\n[T]\nn=1\n\n");
}

TEST(IniEdit, AddKeyAndDeleteSection)
{
    IniBase ini;
    Load(ini, "[A]\nx=1\n[B]\ny=2\n");
    ini.AddKey("A", "x");
    EXPECT_FALSE(ini.IsModified());
    ini.AddKey("C", "TIME");
    EXPECT_TRUE(ini.IsModified());
    ini.DeleteSection("B");
    EXPECT_EQ(ini.FindSection("B"), nullptr);
    EXPECT_EQ(Written(ini, true), "[A]\nx=1\n[C]\nTIME\n");
    ini.AddLine("  k = v ; c");
    EXPECT_STREQ(ini.GetValue("C", "k"), "v");
}

class IniFileTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir / "KxViewer.ini";
};

TEST_F(IniFileTest, OpenMissingFileThenFlushCreatesIt)
{
    IniFile file;
    EXPECT_FALSE(file.Open(dir.Path().c_str(), "KxViewer", "ini"));
    EXPECT_TRUE(file.IsOpen());
    EXPECT_EQ(std::string(file.GetPath()), path);
    // Nothing modified: nothing written.
    EXPECT_TRUE(file.Flush());
    EXPECT_FALSE(Exists(path));

    file.Ini.SetValue("Global", "DefaultDir", "/home/u;x");
    EXPECT_TRUE(file.Flush());
    EXPECT_FALSE(file.Ini.IsModified());
    EXPECT_EQ(ReadFile(path), "[Global]\nDefaultDir=/home/u\\;x\n\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST_F(IniFileTest, LongValueAndSemicolonsRoundTripThroughTheFile)
{
    const std::string regex = "1,\"" + std::string(3000, 'r') + ";[^;]*\"";
    {
        IniFile file;
        file.Open(path.c_str(), nullptr, nullptr, true);
        file.Ini.SetValue("Format5", "TEXT", regex.c_str());
        file.Ini.SetValue("Pinned0", "phrase", "a;b");
        ASSERT_TRUE(file.Close());
    }
    IniFile file;
    ASSERT_TRUE(file.Open(path.c_str(), nullptr, nullptr));
    EXPECT_EQ(std::string(file.Ini.GetValue("Format5", "TEXT")), regex);
    EXPECT_STREQ(file.Ini.GetValue("Pinned0", "phrase"), "a;b");
}

TEST_F(IniFileTest, LoadKeepsCommentsAndEightBitText)
{
    WriteFile(path, "; top\r\n[A]\r\nk=v\xe9 ; c\r\n\r\n\r\n");
    IniFile file;
    ASSERT_TRUE(file.Open(path.c_str(), nullptr, nullptr));
    EXPECT_STREQ(file.Ini.GetValue("A", "k"), "v\xe9");
    ASSERT_TRUE(file.FlushTo((dir / "copy.ini").c_str()));
    EXPECT_EQ(ReadFile(dir / "copy.ini"), "; top\n\n[A]\nk=v\xe9 ; c\n\n");
}

TEST_F(IniFileTest, FlushIntoUnwritableFolderFailsAndKeepsTheData)
{
    // A folder that is a regular file cannot be written, not even by root.
    WriteFile(dir / "notadir", "x");
    KxCapture capture;
    IniFile file;
    file.Open((dir / "notadir").c_str(), "KxViewer", "ini", true);
    file.Ini.SetValue("A", "k", "v");
    EXPECT_FALSE(file.Flush());
    EXPECT_TRUE(capture.Has(ZmLib::KX_LEVEL_VERIFY, "TxtFile.Create()"));
    EXPECT_TRUE(file.Ini.IsModified());
    EXPECT_STREQ(file.Ini.GetValue("A", "k"), "v");

    EXPECT_FALSE(file.FlushTo((dir / "notadir/other.ini").c_str()));
    EXPECT_TRUE(capture.Has(ZmLib::KX_LEVEL_VERIFY, "textfile.Create()"));
    EXPECT_FALSE(file.Close());
}

TEST_F(IniFileTest, FailedReplaceKeepsTheOldFileAndLeavesNoTemporary)
{
    // A directory in the file's place: the final rename fails.
    std::filesystem::create_directory(path);
    WriteFile(path + "/inside", "old");
    KxCapture capture;
    IniFile file;
    file.Open(path.c_str(), nullptr, nullptr, true);
    file.Ini.SetValue("A", "k", "v");
    EXPECT_FALSE(file.Flush());
    EXPECT_TRUE(file.Ini.IsModified());
    EXPECT_EQ(ReadFile(path + "/inside"), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
    EXPECT_FALSE(file.Close());
}

TEST_F(IniFileTest, FlushReplacesTheFileAndKeepsItsPermissions)
{
    WriteFile(path, "[A]\nk=1\n");
    chmod(path.c_str(), 0640);
    IniFile file;
    ASSERT_TRUE(file.Open(path.c_str(), nullptr, nullptr));
    file.Ini.SetValue("A", "k", "2");
    ASSERT_TRUE(file.Flush());
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(ReadFile(path), "[A]\nk=2\n\n");
}

TEST_F(IniFileTest, SyncFlushesOrReloads)
{
    WriteFile(path, "[A]\nk=1\n");
    IniFile file;
    ASSERT_TRUE(file.Open(path.c_str(), nullptr, nullptr));
    EXPECT_FALSE(file.Sync());

    WriteFile(path, "[A]\nk=2\n");
    std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) + std::chrono::seconds(5));
    EXPECT_TRUE(file.Sync());
    EXPECT_STREQ(file.Ini.GetValue("A", "k"), "2");
    EXPECT_FALSE(file.Sync());

    file.Ini.SetValue("A", "k", "3");
    EXPECT_FALSE(file.Sync());
    EXPECT_FALSE(file.Ini.IsModified());
    EXPECT_EQ(ReadFile(path), "[A]\nk=3\n\n");
    EXPECT_FALSE(file.Sync());
}

TEST_F(IniFileTest, FlushStripsCommentsWhenAsked)
{
    WriteFile(path, "[A] ;s\n;c\nk=1 ;x\n");
    IniFile file;
    ASSERT_TRUE(file.Open(path.c_str(), nullptr, nullptr));
    file.Ini.SetModified(true);
    ASSERT_TRUE(file.Flush(true));
    EXPECT_EQ(ReadFile(path), "[A]\nk=1\n");
}
