#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <iterator>
#include <string>

#include "tests/utils/osal/osal_fixtures.h"
#include "utils/common/inifile.h"

using kxtest::Exists;
using kxtest::KxCapture;
using kxtest::ReadFile;
using kxtest::TempDir;
using kxtest::WriteFile;
using ZmLib::IniBase;
using ZmLib::IniFile;
using ZmLib::IniLine;
using ZmLib::TextBuf;

namespace {

void Load(IniBase& ini, std::string text)
{
    ini.ReadFromText(text.data(), text.size());
}

std::string Written(IniBase& ini, bool strip = false)
{
    TextBuf buf;
    buf.Construct(1 << 16);
    EXPECT_TRUE(ini.Write(buf, strip));
    return buf.Buffer->c_str();
}

std::string RoundTrip(const std::string& text, bool strip = false)
{
    IniBase ini;
    Load(ini, text);
    return Written(ini, strip);
}

} // namespace

TEST(IniParseLine, KindsAndPieces)
{
    const struct {
        const char* line;
        int kind;
        const char* name;
        const char* value; // null: no value
        const char* comment; // null: no comment
        char separator;
    } cases[] = {
        {"  key  =  value   ;  note", ZmLib::INI_LINE_KEY, "key", "value", "  ;  note", ' '},
        {"key= ;c", ZmLib::INI_LINE_KEY, "key", "", "c", ';'},
        // A value that starts with '"' is taken verbatim.
        {"key=\"a;b\" ;c", ZmLib::INI_LINE_KEY, "key", "\"a;b\" ;c", nullptr, 0},
        {" \t ", ZmLib::INI_LINE_EMPTY, nullptr, nullptr, nullptr, 0},
        {"  \r\n", ZmLib::INI_LINE_EMPTY, nullptr, nullptr, nullptr, 0},
        {"  ; a = b  ", ZmLib::INI_LINE_COMMENT, "; a = b", nullptr, nullptr, 0},
        {"\"1,0,a=b;c", ZmLib::INI_LINE_OTHER, "\"1,0,a=b;c", nullptr, nullptr, 0},
        {"TIME", ZmLib::INI_LINE_OTHER, "TIME", nullptr, nullptr, 0},
        {"[Main] ; c", ZmLib::INI_LINE_SECTION, "Main", nullptr, "; c", ' '},
        // A ';' inside the brackets starts the comment too.
        {"[a;b]", ZmLib::INI_LINE_SECTION, "a", nullptr, "b]", ';'},
        {"[NoClose", ZmLib::INI_LINE_SECTION, "NoClose", nullptr, nullptr, 0},
        {"[A]tail", ZmLib::INI_LINE_SECTION, "A", nullptr, nullptr, 0},
        // Trailing control characters are cut, bytes above 127 kept.
        {"k=v\t\x01\x1f\r\n", ZmLib::INI_LINE_KEY, "k", "v", nullptr, 0},
        {"na\xefve=caf\xe9", ZmLib::INI_LINE_KEY, "na\xefve", "caf\xe9", nullptr, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        std::string line = c.line;
        IniLine out;
        EXPECT_EQ(IniBase::ParseLine(line.data(), out), c.kind);
        if (c.name) {
            EXPECT_STREQ(out.Name, c.name);
        }
        EXPECT_STREQ(out.Value ? out.Value : "(none)", c.value ? c.value : "(none)");
        if (c.comment) {
            EXPECT_STREQ(out.Comment, c.comment);
            EXPECT_EQ(out.Separator, c.separator);
        } else if (c.kind != ZmLib::INI_LINE_SECTION) {
            EXPECT_EQ(out.Comment, nullptr);
        }
    }
}

TEST(IniText, FileWithCommentsBlankLinesHeadSectionAndCrLf)
{
    const std::string source = "; head comment\r\nhead=1\r\n\r\n[Main] ; main section\r\n  Name = caf\xe9  \r\n\r\n\r\n"
                               "Path=/tmp/x;old path\r\n; about Other\r\n[Other]\r\nTIME\r\n\"1,0,a=b\r\nLast=\"q;r\"";
    // Blank lines inside a section go; one closes it, before its trailing comments.
    const std::string expected = "; head comment\nhead=1\n\n[Main] ; main section\nName=caf\xe9\n"
                                 "Path=/tmp/x;old path\n\n; about Other\n[Other]\nTIME\n\"1,0,a=b\nLast=\"q;r\"\n\n";
    IniBase ini;
    Load(ini, source);
    EXPECT_FALSE(ini.IsModified());
    EXPECT_STREQ(ini.GetValue("", "head"), "1");
    EXPECT_STREQ(ini.GetValue("Main", "Path"), "/tmp/x");
    EXPECT_STREQ(ini.GetValue("Other", "Last"), "\"q;r\"");
    EXPECT_EQ(ini.GetValue("Other", "TIME"), nullptr);
    EXPECT_NE(IniBase::FindKey(ini.FindSection("Other"), "TIME"), nullptr);
    // Names compare exactly.
    EXPECT_EQ(ini.FindSection("main"), nullptr);
    EXPECT_EQ(ini.GetValue("Main", "name"), nullptr);
    EXPECT_EQ(Written(ini), expected);
    EXPECT_EQ(RoundTrip(expected), expected);
    EXPECT_EQ(Written(ini, true),
              "head=1\n[Main]\nName=caf\xe9\nPath=/tmp/x\n[Other]\nTIME\n\"1,0,a=b\nLast=\"q;r\"\n");
}

TEST(IniText, WrittenForms)
{
    const struct {
        const char* in;
        const char* out;
        bool strip;
    } cases[] = {
        {"  key  =  value   ;  note\n", "key=value   ;  note\n\n", false},
        {"key= ;c\n", "key=;c\n\n", false},
        {"key=value;note\n", "key=value;note\n\n", false},
        // The blank line closing a section goes before its trailing comments.
        {"[A]\nk=1\n;c1\n;c2\n[B]\nx=2\n", "[A]\nk=1\n\n;c1\n;c2\n[B]\nx=2\n\n", false},
        {"[A]\n;c1\n;c2\n", "[A]\n;c1\n;c2\n\n", false},
        {"[A]\n[B]\n", "[A]\n[B]\n", false},
        // A repeated section is written, though only the first is found.
        {"[S]\na=1\n[S]\na=2\nb=3\n", "[S]\na=1\n[S]\na=2\nb=3\n", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RoundTrip(c.in, c.strip), c.out) << c.in;
    IniBase ini;
    Load(ini, "[S]\na=1\n[S]\nb=3\n");
    EXPECT_EQ(ini.GetValue("S", "b"), nullptr);
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

// A text that settles after one save: the first save may normalise it, the
// second must write the same bytes as the first.
TEST(IniText, OneSaveSettles)
{
    const struct {
        const char* in;
        const char* out;
        bool strip;
    } cases[] = {
        // Control characters before a ';' are cut like those at a line end.
        {"k=1\x1d;c\n", "k=1\x1d;c\n\n", false},
        {"k=1\x1d;c\n", "k=1\n", true},
        {"k=1\x01\t ;c\n", "k=1\x01\t ;c\n\n", false},
        // Nameless sections keep their headers wherever they stand.
        {"[]\n[]\nk=1\n", "[]\n[]\nk=1\n\n", false},
        {"[A]\nx=1\n[]\n[]\ny=2\n", "[A]\nx=1\n\n[]\n[]\ny=2\n\n", false},
        {"[]\n", "[]\n", false},
        {"[] ;note\nk=1\n", "[] ;note\nk=1\n\n", false},
        {"[]\n;c\n[A]\n", "[]\n[A]\n", true},
        {"k=1\n[]\nj=2\n", "k=1\n[]\nj=2\n", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        const std::string once = RoundTrip(c.in, c.strip);
        EXPECT_EQ(once, c.out);
        EXPECT_EQ(RoundTrip(once, c.strip), once);
    }
    IniBase ini;
    Load(ini, "k=1\x1d;c\n");
    EXPECT_STREQ(ini.GetValue("", "k"), "1");
}

TEST(IniValues, TextsOfAnyBytesReadBackTheSame)
{
    const std::string texts[] = {
        "", " lead", "trail ", "\ttabs\t", "\"", "\"\"", "\"quoted\"", "half\"", "\"half", "/tmp/a b;c/\"d\"",
        "caf\xe9 \xff", "end\x1d", "x\\;y \\", "=;[x]",
    };
    IniBase ini;
    for (size_t i = 0; i < std::size(texts); ++i)
        ini.SetText("S", ("k" + std::to_string(i)).c_str(), texts[i]);
    for (bool strip : {false, true}) {
        IniBase back;
        Load(back, Written(ini, strip));
        for (size_t i = 0; i < std::size(texts); ++i) {
            std::string out = "untouched";
            EXPECT_TRUE(back.GetText("S", ("k" + std::to_string(i)).c_str(), out));
            EXPECT_EQ(out, texts[i]) << i;
        }
    }
    std::string out = "untouched";
    EXPECT_FALSE(ini.GetText("S", "missing", out));
    EXPECT_EQ(out, "untouched");
    // Texts that read back as they stand are written as they are.
    EXPECT_EQ(IniBase::QuoteText("a;b\"c"), "a;b\"c");
    EXPECT_EQ(IniBase::QuoteText("two\r\nlines"), "two  lines");
    // Only a pair of enclosing quotes comes off a value; a lone quote is text.
    const std::pair<const char*, const char*> unquoted[] = {
        {"\"", "\""}, {"\"\"", ""}, {"a\"", "a\""}, {"\"a", "\"a"}, {"\"a\"", "a"}, {"\"\"\"", "\""}, {"", ""},
    };
    for (const auto& [value, text] : unquoted)
        EXPECT_EQ(IniBase::UnquoteText(value), text) << value;
}

TEST(IniEdit, NumberedSectionsFromANumberOnGo)
{
    IniBase ini;
    Load(ini, "[Script0]\n[Script2]\n[Other3]\n[Script10]\n[Scriptx]\n[Script]\n[Script2a]\n"
              "[Script99999999999999999999]\n");
    ini.DeleteNumberedSections("Script", 2);
    EXPECT_TRUE(ini.IsModified());
    EXPECT_EQ(Written(ini, true), "[Script0]\n[Other3]\n[Scriptx]\n[Script]\n[Script2a]\n");
    int64_t value = 7;
    ini.SetInt("S", "big", INT64_MIN);
    EXPECT_TRUE(ini.GetInt64("S", "big", value));
    EXPECT_EQ(value, INT64_MIN);
    ini.SetValue("S", "hex", "0x7fffffffffffffff");
    EXPECT_TRUE(ini.GetInt64("S", "hex", value));
    EXPECT_EQ(value, INT64_MAX);
    value = 7;
    ini.SetValue("S", "text", "abc");
    EXPECT_FALSE(ini.GetInt64("S", "text", value));
    EXPECT_FALSE(ini.GetInt64("S", "missing", value));
    EXPECT_EQ(value, 7);
}

TEST(IniValues, LongValuesAndSemicolonsSurviveSaveAndLoad)
{
    const char* values[] = {
        "a;b", ";", ";;", "x\\;y", "x\\\\;y", "ends\\", "1,\"[^;]+;(\\d+)\"", "a ; b", "\\", "\"quoted;\"",
    };
    const std::string longValue(3000, 'x');
    IniBase ini;
    for (size_t i = 0; i < std::size(values); ++i)
        ini.SetValue("S", ("k" + std::to_string(i)).c_str(), values[i]);
    ini.SetValue("Format5", "TEXT", longValue.c_str());
    const std::string text = Written(ini);
    EXPECT_NE(text.find("k0=a\\;b\n"), std::string::npos);
    // A value read verbatim is written as it stands.
    EXPECT_NE(text.find("k9=\"quoted;\"\n"), std::string::npos);
    EXPECT_NE(text.find("TEXT=" + longValue + "\n"), std::string::npos);

    IniBase back;
    Load(back, text);
    for (size_t i = 0; i < std::size(values); ++i)
        EXPECT_STREQ(back.GetValue("S", ("k" + std::to_string(i)).c_str()), values[i]) << i;
    EXPECT_EQ(back.GetValue("Format5", "TEXT"), longValue);

    // Through a TextBuf sized by TextSize, which covers the escapes.
    TextBuf buf;
    ASSERT_TRUE(ini.WriteToBuf(buf));
    IniBase fromBuf;
    fromBuf.ReadFrom(buf);
    EXPECT_STREQ(fromBuf.GetValue("S", "k2"), ";;");
    EXPECT_EQ(fromBuf.GetValue("Format5", "TEXT"), longValue);
    // TextSize counts the escapes: a value of semicolons only still fits.
    IniBase semicolons;
    semicolons.SetValue("S", "k", std::string(40, ';').c_str());
    TextBuf tight;
    EXPECT_TRUE(semicolons.WriteToBuf(tight));
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

TEST(IniValues, GetIntAndScan)
{
    IniBase ini;
    Load(ini, "[S]\nhex=0x10\noct=010\nbad=abc\nneg=-7\nbig=99999999999\nf=2.5\n");
    const struct {
        const char* key;
        int32_t def, min, max, value;
    } cases[] = {{"hex", 1, 0, 100, 16}, {"oct", 1, 0, 100, 8}, {"bad", 5, 0, 100, 5},
                 {"missing", 6, 0, 100, 6}, {"neg", 0, -10, 10, -7}, {"big", 9, 0, 10, 9}};
    for (const auto& c : cases)
        EXPECT_EQ(ini.GetInt("S", c.key, c.def, c.min, c.max), c.value) << c.key;
    KxCapture capture;
    EXPECT_EQ(ini.GetInt("S", "hex", 3, 0, 4), 3);
    EXPECT_TRUE(capture.Has(ZmLib::KX_LEVEL_WARNING,
                            "IniBase::GetInt: value 16 is out of range [0..4], taking the default 3"));
    double d = 0;
    EXPECT_TRUE(ini.Scan("S", "f", "%lf", &d));
    EXPECT_DOUBLE_EQ(d, 2.5);
    int i = 0;
    EXPECT_FALSE(ini.Scan("S", "bad", "%d", &i));
}

TEST(IniEdit, SetAddAndDelete)
{
    IniBase ini;
    Load(ini, "[S]\nk=long value ;keep\n[B]\ny=2\n");
    ini.SetValue("S", "k", "long value");
    ini.AddKey("S", "k");
    EXPECT_FALSE(ini.IsModified());
    // Shorter, then longer values than the line held; the comment stays.
    for (const char* value : {"short", "a much longer value than before", "an even longer value than the owned one"})
        ini.SetValue("S", "k", value);
    EXPECT_TRUE(ini.IsModified());
    ini.SetValue("T", "n", "1");
    ini.SetValue("S", "m", "2");
    ini.AddKey("C", "TIME");
    ini.DeleteSection("B");
    EXPECT_EQ(ini.FindSection("B"), nullptr);
    ini.AddLine("  k = v ; c");
    EXPECT_EQ(Written(ini),
              "[S]\nk=an even longer value than the owned one ;keep\nm=2\n\n[T]\nn=1\n\n[C]\nTIME\nk=v ; c\n\n");
}

TEST(IniEdit, RepeatedSectionsGoWhole)
{
    // A section rewritten (deleted, then set) must not land in a later copy,
    // whose stale keys would then be read; null deleted: the later copies of
    // every name are dropped instead.
    const struct {
        const char* what;
        const char* in;
        const char* deleted;
        const char* out;
        bool modified;
    } cases[] = {
        {"delete twice", "[A]\na=1\n[B]\nb=1\n[A]\na=2\nstale=3\n", "A", "[B]\nb=1\n\n[A]\na=new\n\n", true},
        {"delete thrice", "[A]\n[A]\nx=1\n[A]\ny=2\n", "A", "[A]\na=new\n\n", true},
        {"delete missing", "[A]\na=1\n", "Z", "[A]\na=1\n\n[Z]\na=new\n\n", false},
        {"drop later copies", "[A]\na=1\n[B]\nb=1\n[A]\na=2\n[B]\n[A]\nc=3\n", nullptr,
         "[A]\na=1\n\n[B]\nb=1\n\n", true},
        {"unnamed copies", "k=1\n[]\nk=2\n[S]\n", nullptr, "k=1\n\n[S]\n", true},
        {"nothing repeated", "[A]\na=1\n[B]\n", nullptr, "[A]\na=1\n\n[B]\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        IniBase ini;
        Load(ini, c.in);
        if (c.deleted != nullptr) {
            // Looked up first, so that the section removed is the one found last.
            ini.GetValue(c.deleted, "a");
            ini.DeleteSection(c.deleted);
            EXPECT_EQ(ini.IsModified(), c.modified);
            ini.SetValue(c.deleted, "a", "new");
        } else {
            ini.DeleteRepeatedSections();
            EXPECT_EQ(ini.IsModified(), c.modified);
        }
        EXPECT_EQ(Written(ini), c.out);
    }
}

class IniFileTest : public ::testing::Test {
protected:
    size_t FileCount() const
    {
        return size_t(std::distance(std::filesystem::directory_iterator(dir.Path()), {}));
    }

    TempDir dir;
    std::string path = dir / "KxViewer.ini";
};

TEST_F(IniFileTest, OpenMissingFileFlushAndReadBackLongValuesAndSemicolons)
{
    const std::string regex = "1,\"" + std::string(3000, 'r') + ";[^;]*\"";
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
        file.Ini.SetValue("Format5", "TEXT", regex.c_str());
        ASSERT_TRUE(file.Close());
    }
    EXPECT_EQ(FileCount(), 1u);
    IniFile file;
    ASSERT_TRUE(file.Open(path.c_str(), nullptr, nullptr));
    EXPECT_EQ(std::string(file.Ini.GetValue("Format5", "TEXT")), regex);
    EXPECT_STREQ(file.Ini.GetValue("Global", "DefaultDir"), "/home/u;x");
    // Opened again without a path, nothing goes to the old file.
    const std::string before = ReadFile(path);
    EXPECT_FALSE(file.Open(nullptr, nullptr, nullptr));
    EXPECT_STREQ(file.GetPath(), "");
    file.Ini.SetValue("Global", "DefaultDir", "other");
    KxCapture capture;
    EXPECT_FALSE(file.Flush());
    EXPECT_EQ(ReadFile(path), before);
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
    EXPECT_EQ(FileCount(), 1u);
    // Nor is the directory read as an ini file: loading fails cleanly, as
    // on a folder, before anything is read.
    errno = 0;
    EXPECT_FALSE(file.Load());
    EXPECT_EQ(errno, EISDIR);
    EXPECT_EQ(file.Refusal(), "");
    EXPECT_STREQ(file.Ini.GetValue("A", "k"), "v");
    EXPECT_TRUE(file.Ini.IsModified());
    IniFile other;
    EXPECT_FALSE(other.Open(path.c_str(), nullptr, nullptr));
}

TEST_F(IniFileTest, FlushThroughASymbolicLinkKeepsTheLink)
{
    std::filesystem::create_directory(dir / "real");
    WriteFile(dir / "real/KxViewer.ini", "[A]\nk=1\n");
    std::filesystem::create_symlink("real/KxViewer.ini", path);
    IniFile file;
    ASSERT_TRUE(file.Open(path.c_str(), nullptr, nullptr));
    file.Ini.SetValue("A", "k", "2");
    ASSERT_TRUE(file.Flush());
    EXPECT_TRUE(std::filesystem::is_symlink(path));
    EXPECT_EQ(ReadFile(dir / "real/KxViewer.ini"), "[A]\nk=2\n\n");
    EXPECT_EQ(FileCount(), 2u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "real"), {}), 1);
}

TEST_F(IniFileTest, FlushReplacesTheFileKeepingCommentsEightBitTextAndPermissions)
{
    WriteFile(path, "; top\r\n[A] ;s\r\n;c\r\nk=v\xe9 ;x\r\n\r\n\r\n");
    chmod(path.c_str(), 0640);
    IniFile file;
    ASSERT_TRUE(file.Open(path.c_str(), nullptr, nullptr));
    EXPECT_STREQ(file.Ini.GetValue("A", "k"), "v\xe9");
    ASSERT_TRUE(file.FlushTo((dir / "copy.ini").c_str()));
    EXPECT_EQ(ReadFile(dir / "copy.ini"), "; top\n\n[A] ;s\n;c\nk=v\xe9 ;x\n\n");
    file.Ini.SetValue("A", "k", "2");
    ASSERT_TRUE(file.Flush());
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(ReadFile(path), "; top\n\n[A] ;s\n;c\nk=2 ;x\n\n");
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
