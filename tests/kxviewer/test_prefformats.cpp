#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kxviewer/kxvglobals.h"
#include "kxviewer/prefdata.h"
#include "tests/kxviewer/prefenv.h"
#include "utils/common/inifile.h"

namespace {

void FromText(ZmLib::IniBase& ini, std::string text) { ini.ReadFromText(text.data(), text.size()); }

std::string ToText(ZmLib::IniBase& ini, bool strip = false)
{
    ZmLib::TextBuf buffer;
    buffer.Construct(1 << 16);
    EXPECT_TRUE(ini.Write(buffer, strip));
    return buffer.Buffer ? buffer.Buffer->c_str() : "";
}

ImportFormatList LoadText(const std::string& text, bool foreign = false)
{
    ZmLib::IniBase ini;
    FromText(ini, text);
    ImportFormatList list;
    PrefGlobal::LoadFormats(ini, list, foreign, false);
    return list;
}

// Saved, written as text (with and without comments), read and loaded.
ImportFormatList RoundTrip(const ImportFormatList& list, bool strip = false)
{
    ZmLib::IniBase ini;
    PrefGlobal::SaveFormats(ini, list);
    return LoadText(ToText(ini, strip));
}

ImportFormat UserFormat(const std::string& name, int32_t visual, std::vector<ImportFormatField> fields)
{
    ImportFormat format;
    format.name = name;
    format.extension = "*.log,*.txt";
    format.visual = visual;
    format.delimiter = ";";
    format.fields = std::move(fields);
    format.ComposeExpression();
    return format;
}

ImportFormatList WithBuiltIns(std::vector<ImportFormat> user)
{
    ImportFormatList list = DefaultImportTemplates();
    list.insert(list.end(), user.begin(), user.end());
    return list;
}

std::vector<std::string> Names(const ImportFormatList& list)
{
    std::vector<std::string> names;
    for (const ImportFormat& format : list)
        names.push_back(format.name + "=" + std::to_string(format.visual));
    return names;
}

class PrefFormatsTest : public kxtest::PrefEnv {};

} // namespace

TEST_F(PrefFormatsTest, HostileFormatsRoundTripByteForByte)
{
    ImportFormat split = UserFormat("Split \"quoted\"; name ", 2,
                                    {{"TIME", 0, "([^;]*);"}, {"TEXT", 1, "(.*)"}, {"HOST", -1, " (\"\\w+\") "}});
    split.JavaException = true;
    ImportFormat csv = UserFormat("Csv", 3, {{"TIME", 0, ";"}, {"TEXT", 1, ";"}});
    csv.mode = IMPORT_MODE_DELIMITED;
    csv.delimiter = "\"";
    csv.enabled = false;
    csv.extension = " *.csv;x ";
    csv.ComposeExpression();
    ImportFormat sub = UserFormat("Csv #1", 0, {{"LEVEL", 2, "\\;(\\d)\\\\"}});
    ImportFormat eight = UserFormat("caf\xe9 \xff", 4, {{"KXNAME", 0, "(\xe9+)"}});
    ImportFormatList list = WithBuiltIns({split, csv, sub, eight});
    list[0].enabled = false;
    list[0].extension = "log;syslog ";
    for (bool strip : {false, true})
        EXPECT_EQ(RoundTrip(list, strip), list) << strip;

    ZmLib::IniBase ini;
    PrefGlobal::SaveFormats(ini, list);
    const std::string text = ToText(ini);
    EXPECT_NE(text.find("[Format0]\nExtension=\"log;syslog \"\nEnabled=0\nVisual=1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Name=\"Split \"quoted\"; name \"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("TIME=0,\"([^\\;]*)\\;\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Delimiter=\"\"\"\nMode=0\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("Format5"), std::string::npos);
}

TEST_F(PrefFormatsTest, ValuesAsTheFileGivesThem)
{
    const std::string text = "[Format0]\nExtension=\nVisual=1\n"
                             "[Format1]\nName=\"A\"\nExtension=*.a\nVisual=2\nDelimiter=\"\"\nMode=0\n"
                             "TIME=3\nHOST=x,\"(b)\"\nTEXT=\nLEVEL=5,(c)\n"
                             "[Format2]\nName=\"\"\nVisual=3\n"
                             "[Format3]\nName=\"B\"\nExtension=*.b\nVisual=3\nMode=7\nJavaException=2\n"
                             "Delimiter=\"::\"\n[Format5]\nName=\"Gap\"\n";
    ImportFormatList list = LoadText(text);
    ASSERT_EQ(list.size(), 3u);
    // An empty extension keeps the built-in one.
    EXPECT_EQ(list[0].extension, "log");
    EXPECT_TRUE(list[0].enabled);
    const ImportFormat& a = list[1];
    EXPECT_EQ(a.delimiter, " ");
    EXPECT_EQ(a.mode, IMPORT_MODE_DELIMITED);
    EXPECT_FALSE(a.JavaException);
    EXPECT_TRUE(a.enabled);
    // Fields: no comma reads the whole value; a bad number reads 0; empty
    // values are no fields; an unquoted expression stays as it is.
    const std::vector<ImportFormatField> fields = {{"TIME", 3, ""}, {"HOST", 0, "(b)"}, {"LEVEL", 5, "(c)"}};
    EXPECT_EQ(a.fields, fields);
    EXPECT_EQ(a.expression, "TIME HOST LEVEL");
    // Nameless Format2 is skipped; Format5 is beyond the gap.
    const ImportFormat& b = list[2];
    EXPECT_EQ(b.name, "B");
    EXPECT_EQ(b.mode, IMPORT_MODE_REGEX);
    EXPECT_EQ(b.delimiter, ":");
    EXPECT_TRUE(b.JavaException);
}

TEST_F(PrefFormatsTest, DisplayOrderChecksAndRenumbering)
{
    const std::string head = "[Format0]\nVisual=1\n";
    const struct {
        const char* what;
        std::string text;
        std::vector<std::string> names;
    } cases[] = {
        {"valid", head + "[Format1]\nName=\"Z\"\nVisual=3\n[Format2]\nName=\"A\"\nVisual=2\n"
                         "[Format3]\nName=\"A #1\"\nVisual=0\n",
         {"SysLog=1", "Z=3", "A=2", "A #1=0"}},
        {"same visual", head + "[Format1]\nName=\"Z\"\nVisual=2\n[Format2]\nName=\"A\"\nVisual=2\n"
                               "[Format3]\nName=\"A #1\"\nVisual=0\n",
         {"SysLog=1", "A=2", "A #1=0", "Z=3"}},
        {"sub-template with order", head + "[Format1]\nName=\"B\"\nVisual=2\n[Format2]\nName=\"B #1\"\nVisual=3\n",
         {"SysLog=1", "B=2", "B #1=0"}},
        {"main with 0", head + "[Format1]\nName=\"B\"\nVisual=0\n", {"SysLog=1", "B=2"}},
        {"missing Visual", head + "[Format1]\nName=\"B\"\n", {"SysLog=1", "B=2"}},
        {"gap", head + "[Format1]\nName=\"B\"\nVisual=3\n", {"SysLog=1", "B=2"}},
        {"no built-in section", "[Format1]\nName=\"B\"\nVisual=2\n", {"SysLog=1", "B=2"}},
        {"built-in without Visual", "[Format0]\nEnabled=1\n[Format1]\nName=\"B\"\nVisual=2\n",
         {"SysLog=1", "B=2"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Names(LoadText(c.text)), c.names) << c.what;

    // Renumbering with the save flag writes the new order at once.
    ZmLib::IniBase ini;
    FromText(ini, cases[1].text);
    ImportFormatList list;
    PrefGlobal::LoadFormats(ini, list, false, true);
    EXPECT_TRUE(ini.IsModified());
    EXPECT_STREQ(ini.GetValue("Format1", "Name"), "\"A\"");
    EXPECT_STREQ(ini.GetValue("Format3", "Visual"), "3");
    ZmLib::IniBase untouched;
    FromText(untouched, cases[0].text);
    PrefGlobal::LoadFormats(untouched, list, false, true);
    EXPECT_FALSE(untouched.IsModified());
}

TEST_F(PrefFormatsTest, ForeignFilesHaveNoBuiltInHead)
{
    const std::string text = "[Format0]\nName=\"Other\"\nVisual=1\nTEXT=0,\"(.*)\"\n"
                             "[Format1]\nExtension=log\n[Format2]\nName=\"Second\"\nVisual=2\n";
    ImportFormatList list = LoadText(text, true);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"Other=1", "Second=2"}));
    ImportFormatList renumbered = LoadText("[Format0]\nName=\"Y\"\nVisual=5\n[Format1]\nName=\"X\"\nVisual=5\n", true);
    EXPECT_EQ(Names(renumbered), (std::vector<std::string>{"X=1", "Y=2"}));
}

TEST_F(PrefFormatsTest, RemovedFormatsLeaveNoSectionBehind)
{
    ZmLib::IniBase ini;
    ImportFormatList list = WithBuiltIns({UserFormat("A", 2, {{"TEXT", 0, "(.*)"}}),
                                          UserFormat("B", 3, {{"TEXT", 0, "(.*)"}}),
                                          UserFormat("C", 4, {{"TEXT", 0, "(.*)"}})});
    PrefGlobal::SaveFormats(ini, list);
    ini.SetValue("Format9", "Name", "\"stray\"");
    list.erase(list.begin() + 2);
    list[2].visual = 3;
    PrefGlobal::SaveFormats(ini, list);
    EXPECT_EQ(ini.FindSection("Format3"), nullptr);
    EXPECT_EQ(ini.FindSection("Format9"), nullptr);
    EXPECT_EQ(LoadText(ToText(ini)), list);
}

TEST_F(PrefFormatsTest, SaveFormatsWritesTheProcessListToItsFile)
{
    PrefGlobal::IniFormats.Open(program.c_str(), "KxFormats", "ini");
    ImportFormats = WithBuiltIns({UserFormat("Mine", 2, {{"TEXT", 0, "([^;]*);(.*)"}})});
    ImportFormatsModified = true;
    EXPECT_TRUE(PrefGlobal::SaveFormats());
    EXPECT_FALSE(ImportFormatsModified);
    const std::string text = kxtest::ReadFile(program + "KxFormats.ini");
    EXPECT_NE(text.find("TEXT=0,\"([^\\;]*)\\;(.*)\"\n"), std::string::npos) << text;
    ZmLib::IniFile back;
    back.Open(program.c_str(), "KxFormats", "ini");
    ImportFormatList list;
    PrefGlobal::LoadFormats(back.Ini, list, false, false);
    EXPECT_EQ(list, ImportFormats);
    EXPECT_EQ(list[1].fields[0].expression, "([^;]*);(.*)");
}
