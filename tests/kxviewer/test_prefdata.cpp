// The preference model: where the ini files go, what they hold, the import
// formats in their own file, and the per-user work folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <QImage>

#include "kxviewer/kxvglobals.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/preftabtable.h"
#include "tests/kxviewer/shellrecorder.h"
#include "tests/utils/osal/osal_fixtures.h"
#include "tests/utils/osal/specialfiles.h"
#include "utils/common/inifile.h"
#include "utils/kx/pkx.h"
#include "utils/osal/privatedir.h"
#include "utils/osal/readpath.h"

using kxtest::Exists;
using kxtest::ReadFile;

namespace {

// Puts an environment variable back when it goes.
struct EnvGuard {
    explicit EnvGuard(const char* n) : name(n), had(getenv(n) != nullptr), value(had ? getenv(n) : "") {}
    ~EnvGuard() { had ? setenv(name, value.c_str(), 1) : unsetenv(name); }
    const char* name;
    bool had;
    std::string value;
};

// A fresh environment: HOME, XDG_CONFIG_HOME and TMPDIR in a scratch folder,
// no runtime or cache folder of its own (the cache is then HOME's), a
// program folder of its own, the defaults back in place, and the working
// directory restored afterwards. The GUI application comes from the main.
class PrefDataTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        home = dir_ / "home";
        program = dir_ / "program/";
        tmp = dir_ / "tmp";
        for (const std::string& d : {home, program, tmp, dir_ / "config"})
            std::filesystem::create_directories(d);
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
        setenv("TMPDIR", tmp.c_str(), 1);
        unsetenv("XDG_RUNTIME_DIR");
        unsetenv("XDG_CACHE_HOME");
        PrefGlobal::ProgramDir = program;
        PrefGlobal::IniDir.clear();
        ImportFormats = DefaultImportTemplates();
        PrefTabTable::Default() = PrefTabTable();
        PrefGlobal::SetDefaults();
    }
    void TearDown() override
    {
        PrefGlobal::IniViewer.Close();
        PrefGlobal::IniFormats.Close();
        if (ZmLib::PKX::FindOutput(ZmLib::KX_OUT_FILE))
            ZmLib::PKX::Delete(ZmLib::PKX_ID_FILE);
        ZmLib::KX::SetLevelAll(1);
        std::filesystem::current_path(cwd_);
        ImportFormats = DefaultImportTemplates();
    }
    std::string HomeIni() const { return home + "/KxViewer/"; }
    // A folder nobody can create anything in, root included: it would lie
    // below a plain file.
    std::string Unwritable() const
    {
        kxtest::WriteFile(dir_ / "plain", "x");
        return dir_ / "plain/program/";
    }
    // Starts again from the defaults and loads the files.
    void Restart()
    {
        PrefGlobal::IniViewer.Close();
        PrefGlobal::IniFormats.Close();
        ImportFormats = DefaultImportTemplates();
        PrefGlobal::Load();
    }

    EnvGuard env_[5] = {EnvGuard("HOME"), EnvGuard("XDG_CONFIG_HOME"), EnvGuard("TMPDIR"),
                        EnvGuard("XDG_RUNTIME_DIR"), EnvGuard("XDG_CACHE_HOME")};
    const std::string cwd_ = std::filesystem::current_path().string();
    kxtest::TempDir dir_;
    std::string home;
    std::string program;
    std::string tmp;
    kxtest::ShellRecorder shell;
};

// Every value the viewer's ini file keeps, as one text.
std::string SavedValues()
{
    using P = PrefGlobal;
    std::ostringstream out;
    out << P::AutoUpgrade << P::CreateLogFile << P::LargeIcons << P::PanelDebug << P::RDebugMode << '|'
        << P::NextUpgradeCheck.toString(Qt::ISODate).toStdString() << '|' << P::PanesStartDock << '|'
        << P::ForceUpgradeFromGui << '|' << P::DebugLevel << '|' << P::CompareProgramm << '|' << P::DefaultSaveDir
        << '|' << P::ScriptDir << '|' << P::FirstPort << '|' << P::SecondPort << "|T";
    for (bool on : P::GlobalToolbars)
        out << on;
    for (bool on : P::BaseToolbars)
        out << on;
    for (const ScriptEntry& e : P::Scripts)
        out << "|S" << e.path << ',' << e.counter << ',' << e.dateTime << ',' << e.execTime << ',' << e.status;
    for (const SearchHistoryItem& h : P::SearchHistory)
        out << "|H" << h.mode << ',' << h.matchCase << ',' << h.expression;
    for (const std::string& ip : P::ConnectionIps)
        out << "|I" << ip;
    for (const std::string& query : P::ConnectionQueries)
        out << "|Q" << query;
    out << "|F" << P::Fonts[FONT_SYSTEM_LOG].family().toStdString() << P::Fonts[FONT_SYSTEM_LOG].pointSize();
    for (QRgb color : P::ColorScheme)
        out << "|C" << color;
    out << "|G" << PrefTabTable::Default().Grid;
    return out.str();
}

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

} // namespace

TEST_F(PrefDataTest, FreshStartWritesBothDefaultsIntoTheProgramFolder)
{
    PrefGlobal::Load();
    EXPECT_EQ(PrefGlobal::IniDir, program);
    EXPECT_TRUE(PrefGlobal::IniInProgramDir);
    EXPECT_TRUE(shell.info.empty());
    const std::string text = ReadFile(program + "KxViewer.ini");
    for (const char* line :
         {"[Upgrade]\n", "AutoUpgrade=1\n", "[Global]\n", "DefaultSaveDir=", "GlobalToolbars6=1\n", "BaseToolbars0=0\n",
          "BaseToolbars8=1\n", "[Connections]\nFirstPort=1420\nSecondPort=1410\n", "[Fonts]\nTable View=",
          "[ColorScheme]\n0=0xFFFFFF66\n", "20=0xFF999999\n", "[TabTable]\n", "[KxTable]\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    EXPECT_EQ(text.find("RDebugMode"), std::string::npos);
    EXPECT_EQ(PrefGlobal::ColorScheme.size(), 21u);
    EXPECT_EQ(PrefGlobal::LogFilePath(), program + "KxViewer.kx");
    EXPECT_TRUE(Exists(program + "KxViewer.kx"));
    EXPECT_EQ(PrefGlobal::ScriptDir, program + "Samples");
    EXPECT_EQ(PrefGlobal::WorkDir, tmp + "/KXviewer-" + std::to_string(geteuid()) + "/");
    EXPECT_EQ(PrefGlobal::Fonts[FONT_FIND_DIALOG].pointSize(), 9);
    EXPECT_EQ(PrefGlobal::Fonts[FONT_LINE_NUMBERS].pointSize(), 8);
    // The default save folder is made.
    EXPECT_TRUE(std::filesystem::is_directory(PrefGlobal::DefaultSaveDir)) << PrefGlobal::DefaultSaveDir;
}

TEST_F(PrefDataTest, IniLocationFollowsExistingFilesThenWritableFolders)
{
    const std::string unwritable = Unwritable();
    enum { NOWHERE, PROGRAM, HOME };
    const struct {
        const char* what;
        bool programIni, homeIni, programWritable, homeWritable;
        int where;
    } cases[] = {
        {"program file first", true, true, true, true, PROGRAM},
        {"home file next", false, true, true, true, HOME},
        {"writable program folder", false, false, true, true, PROGRAM},
        {"read-only program folder", false, false, false, true, HOME},
        {"nowhere", false, false, false, false, NOWHERE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(HomeIni());
        std::filesystem::remove(program + "KxViewer.ini");
        PrefGlobal::ProgramDir = c.programWritable ? program : unwritable;
        setenv("HOME", c.homeWritable ? home.c_str() : (dir_ / "plain").c_str(), 1);
        std::filesystem::create_directories(HomeIni());
        if (c.programIni)
            kxtest::WriteFile(program + "KxViewer.ini", "");
        if (c.homeIni)
            kxtest::WriteFile(HomeIni() + "KxViewer.ini", "");
        const std::string found = PrefGlobal::FindIniLocation();
        EXPECT_EQ(found, c.where == PROGRAM ? PrefGlobal::ProgramDir : c.where == HOME ? HomeIni() : "");
        EXPECT_EQ(PrefGlobal::IniInProgramDir, c.where != HOME);
        setenv("HOME", home.c_str(), 1);
    }
}

// An ini file that is no regular file (a FIFO in the program folder) is not
// waited on at start: it is told for what it is.
TEST_F(PrefDataTest, AnIniFileThatIsNoRegularFileIsToldAtStart)
{
    kxtest::WriteFile(program + "KxViewer.ini", "[Global]\n");
    kxtest::Fifo fifo(program + "KxFormats.ini");
    ASSERT_TRUE(fifo.Made());
    {
        kxtest::FifoGuard guard(fifo, std::chrono::seconds(3));
        PrefGlobal::Load();
        EXPECT_FALSE(guard.Waited());
    }
    EXPECT_EQ(shell.info, std::vector<std::string>{program + "KxFormats.ini is a pipe, not a regular file: save it "
                                                             "to a file first"});
}

TEST_F(PrefDataTest, ReadOnlyProgramFolderByPermissions)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "permission bits do not stop root";
    chmod(program.c_str(), 0555);
    PrefGlobal::Load();
    chmod(program.c_str(), 0755);
    EXPECT_EQ(PrefGlobal::IniDir, HomeIni());
    EXPECT_FALSE(PrefGlobal::IniInProgramDir);
    EXPECT_TRUE(Exists(HomeIni() + "KxViewer.ini"));
    EXPECT_FALSE(Exists(program + "KxViewer.ini"));
}

TEST_F(PrefDataTest, NoWritableLocationIsReportedAndLeavesTheValues)
{
    PrefGlobal::ProgramDir = Unwritable();
    setenv("HOME", (dir_ / "plain").c_str(), 1);
    PrefGlobal::Load();
    EXPECT_EQ(PrefGlobal::IniDir, "");
    ASSERT_FALSE(shell.warnings.empty());
    EXPECT_TRUE(shell.warnings[0]);
    EXPECT_EQ(PrefGlobal::ColorScheme.size(), 21u);
    // One message names the two folders tried and what that means; the
    // save at the end of the start has nothing to add.
    const std::string reason = "neither '" + PrefGlobal::ProgramDir + "' nor '" + (dir_ / "plain/KxViewer/") +
                               "' is writable, settings will not be kept";
    EXPECT_EQ(shell.info, (std::vector<std::string>{"Kxviewer.ini cannot be created: " + reason}));
    EXPECT_EQ(PrefGlobal::IniLocationText(), "none, " + reason);
    EXPECT_EQ(shell.log, shell.info);
    shell.Clear();
    // Edits that could not be written stay marked, so that they are not
    // taken for saved.
    ImportFormatsModified = true;
    EXPECT_FALSE(PrefGlobal::SaveFormats());
    EXPECT_TRUE(ImportFormatsModified);
    EXPECT_EQ(shell.info, std::vector<std::string>{"Cannot write '" + (dir_ / "plain/KxViewer/KxFormats.ini") +
                                                   "', please check it is writable!"});
    // Later saves (one after every opened file) keep quiet: the user was told.
    shell.Clear();
    PrefGlobal::Save();
    EXPECT_FALSE(PrefGlobal::SaveFormats());
    EXPECT_TRUE(shell.info.empty()) << shell.info.front();
    EXPECT_TRUE(shell.warnings.empty());
}

// An ini file that cannot be replaced (a folder stands in its place) is
// named in the program's words, once, without a verification report; the
// changes stay marked for a later save.
TEST_F(PrefDataTest, AnIniFileThatCannotBeReplacedIsToldWithoutAVerificationBox)
{
    const struct { const char* name; ZmLib::IniFile& file; std::function<void()> save; } cases[] = {
        {"KxFormats.ini", PrefGlobal::IniFormats, [] { EXPECT_FALSE(PrefGlobal::SaveFormats()); }},
        {"KxViewer.ini", PrefGlobal::IniViewer, [] { PrefGlobal::Save(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Restart();
        ASSERT_EQ(PrefGlobal::IniDir, program);
        const std::string path = program + c.name;
        std::filesystem::remove(path);
        std::filesystem::create_directories(path);
        kxtest::KxCapture capture;
        shell.Clear();
        for (int save = 0; save < 2; ++save) {
            c.file.Ini.SetModified(true);
            ImportFormatsModified = true;
            c.save();
        }
        const std::string message = "Cannot write '" + path + "', please check it is writable!";
        EXPECT_EQ(shell.info, std::vector<std::string>{message});
        EXPECT_EQ(shell.log, std::vector<std::string>{message});
        EXPECT_TRUE(c.file.Ini.IsModified());
        for (const kxtest::KxReport& report : capture.Reports())
            EXPECT_NE(report.level, ZmLib::KX_LEVEL_VERIFY) << report.text;
        std::filesystem::remove_all(path);
        PrefGlobal::Save();
        ASSERT_TRUE(PrefGlobal::SaveFormats());
        EXPECT_TRUE(std::filesystem::is_regular_file(path));
    }
}

TEST_F(PrefDataTest, EveryValueReadsBackAsSaved)
{
    PrefGlobal::Load();
    const std::string hostile = " /opt/my diff;x\"y\xe9 ";
    PrefGlobal::AutoUpgrade = false;
    PrefGlobal::NextUpgradeCheck = QDateTime(QDate(2031, 2, 3), QTime(4, 5, 6));
    PrefGlobal::CreateLogFile = false;
    PrefGlobal::PanesStartDock = 3;
    PrefGlobal::LargeIcons = true;
    PrefGlobal::PanelDebug = false;
    PrefGlobal::ForceUpgradeFromGui = -2;
    PrefGlobal::DebugLevel = 4;
    PrefGlobal::CompareProgramm = hostile;
    PrefGlobal::DefaultSaveDir = dir_ / "save dir;\"x\"";
    PrefGlobal::ScriptDir = "\"quoted\"";
    PrefGlobal::GlobalToolbars[4] = false;
    PrefGlobal::BaseToolbars[0] = true;
    PrefGlobal::BaseToolbars[8] = false;
    PrefGlobal::FirstPort = " 99;";
    PrefGlobal::SecondPort = "";
    PrefGlobal::Scripts = {{"/s/a;b.kxs", 3, "1/2/31 4:05 PM", 5000000000LL, 2}, {hostile, 0, "", -1, 0}};
    PrefGlobal::SearchHistory = {{1, true, "a = b; c"}, {0, false, "trailing "}, {7, false, "ends \""},
                                 {2, true, "\"q\""}};
    PrefGlobal::ConnectionIps = {"10.0.0.1", hostile};
    PrefGlobal::ConnectionQueries = {"q;1"};
    PrefGlobal::Fonts[FONT_SYSTEM_LOG] = QFont("DejaVu Sans", 13);
    PrefGlobal::ColorScheme = {0xFF010203, 0xFFFFFFFF, 0xFF000000, 0xFF808080, 0xFFABCDEF, 0xFF123456};
    PrefTabTable::Default().Grid = 1;
    const std::string cwd = dir_ / "cwd";
    std::filesystem::create_directories(cwd);
    std::filesystem::current_path(cwd);
    PrefGlobal::Save();
    const std::string saved = SavedValues();
    EXPECT_NE(saved.find(hostile), std::string::npos);

    std::filesystem::current_path(home);
    Restart();
    EXPECT_EQ(SavedValues(), saved);
    // The working folder at the save is the one restored.
    EXPECT_EQ(std::filesystem::current_path().string(), cwd);
    EXPECT_EQ(PrefGlobal::DefaultDir, cwd);
    // A second save after the load writes the same bytes.
    const std::string first = ReadFile(program + "KxViewer.ini");
    PrefGlobal::IniViewer.Ini.SetModified(true);
    PrefGlobal::Save();
    EXPECT_EQ(ReadFile(program + "KxViewer.ini"), first);
}

TEST_F(PrefDataTest, HandWrittenValuesAndLimits)
{
    std::string text = "[Global]\nRDebugMode=1\nCreateLogFile=0\n[Script0]\nPath=/a\nExecTime=0x1234567890\n"
                       "[Script1]\nPath=/b\n[Script3]\nPath=/gap\n[ConnectionIp]\nIP0=\nIP1=x\nIP25=y\n"
                       "[QuickSearch]\n\"1,1,\n\"2,1\nplain line\n\"3,0,ok=1\n";
    for (int i = 0; i < 25; ++i)
        text += "\"0,0,e" + std::to_string(i) + "\n";
    kxtest::WriteFile(program + "KxViewer.ini", text);
    PrefGlobal::Load();
    EXPECT_TRUE(PrefGlobal::RDebugMode);
    ASSERT_EQ(PrefGlobal::Scripts.size(), 2u);
    EXPECT_EQ(PrefGlobal::Scripts[0].execTime, 0x1234567890LL);
    EXPECT_EQ(PrefGlobal::Scripts[1].counter, 0);
    ASSERT_EQ(PrefGlobal::SearchHistory.size(), size_t(SEARCH_HISTORY_MAX));
    EXPECT_EQ(PrefGlobal::SearchHistory[0].expression, "ok=1");
    EXPECT_EQ(PrefGlobal::SearchHistory[0].mode, 3);
    EXPECT_EQ(PrefGlobal::SearchHistory[19].expression, "e18");
    EXPECT_EQ(PrefGlobal::ConnectionIps, std::vector<std::string>{"x"});
    // Never written, but a hand-written value stays and is honoured again.
    const std::string saved = ReadFile(program + "KxViewer.ini");
    EXPECT_NE(saved.find("RDebugMode=1\n"), std::string::npos);
    Restart();
    EXPECT_TRUE(PrefGlobal::RDebugMode);
    EXPECT_EQ(saved.find("[Script3]"), std::string::npos);
    EXPECT_NE(saved.find("ExecTime=78187493520\n"), std::string::npos);
}

TEST_F(PrefDataTest, ColourSchemePolicy)
{
    const struct {
        const char* what;
        std::string section;
        std::vector<QRgb> colors;
        int found; // colours read before the defaults fill in; 0: no warning
    } cases[] = {
        {"three", "0=0xFF000001\n1=0xFF000002\n2=0xFF000003\n",
         {0xFF000001, 0xFF000002, 0xFF000003, 0xFF339999, 0xFF66FFFF}, 3},
        {"stops at 0", "0=0xFF000001\n1=0\n2=0xFF000003\n3=0xFF000004\n4=0xFF000005\n",
         {0xFF000001, 0xFFFF66FF, 0xFF00CCFF, 0xFF339999, 0xFF66FFFF}, 1},
        {"five", "0=1\n1=2\n2=3\n3=4\n4=5\n", {1, 2, 3, 4, 5}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        kxtest::KxCapture capture;
        kxtest::WriteFile(program + "KxViewer.ini", "[Global]\nCreateLogFile=0\n[ColorScheme]\n" + c.section);
        Restart();
        EXPECT_EQ(PrefGlobal::ColorScheme, c.colors);
        const std::string warning = "Number of colors in the colors scheme is too small (";
        EXPECT_EQ(capture.Find(warning + std::to_string(c.found) + ")") >= 0, c.found > 0);
    }
    // Deleted colours stay deleted.
    PrefGlobal::ColorScheme = {0xFF111111, 0xFF222222, 0xFF333333, 0xFF444444, 0xFF555555, 0xFF666666};
    PrefGlobal::Save();
    PrefGlobal::ColorScheme.resize(5);
    PrefGlobal::Save();
    Restart();
    EXPECT_EQ(PrefGlobal::ColorScheme.size(), 5u);

    EXPECT_EQ(PrefGlobal::GetColor(-1), QColor(Qt::white));
    EXPECT_EQ(PrefGlobal::GetColor(7), QColor::fromRgba(0xFF333333));
    PrefGlobal::ColorScheme.clear();
    EXPECT_EQ(PrefGlobal::GetColor(3), QColor(Qt::white));
}

TEST_F(PrefDataTest, FailedWriteIsReported)
{
    PrefGlobal::Load();
    shell.Clear();
    PrefGlobal::IniViewer.Open((dir_ / "gone").c_str(), "KxViewer", "ini", true);
    PrefGlobal::Save();
    const std::string message = "Cannot write '" + (dir_ / "gone/KxViewer.ini") + "', please check it is writable!";
    EXPECT_EQ(shell.log, std::vector<std::string>{message});
    EXPECT_EQ(shell.info, std::vector<std::string>{message});
}

// An ini file in a folder that cannot take it (an existing file in a
// read-only program folder) is named once, without a verification box, and
// not at each later save; once the folder takes it, the next save writes the
// changes kept meanwhile and a new failure is told again.
TEST_F(PrefDataTest, AnUnwritableIniFolderIsToldOnceWithoutAVerificationBox)
{
    const struct { const char* what; std::string folder; bool fixable; } cases[] = {
        {"missing folder", dir_ / "gone", true},
        {"below a plain file", Unwritable(), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PrefGlobal::Load();
        PrefGlobal::IniViewer.Open(c.folder.c_str(), "KxViewer", "ini", true);
        const std::string path = PrefGlobal::IniViewer.GetPath();
        const std::string message = "Cannot write '" + path + "', please check it is writable!";
        kxtest::KxCapture capture;
        shell.Clear();
        for (int save = 0; save < 3; ++save)
            PrefGlobal::Save();
        EXPECT_EQ(shell.info, std::vector<std::string>{message});
        EXPECT_FALSE(capture.Has(ZmLib::KX_LEVEL_VERIFY, "TxtFile.Create()"));
        EXPECT_TRUE(PrefGlobal::IniViewer.Ini.IsModified());
        // Moving the files, which first writes them where they are, is the
        // user's own request: its failure is told again.
        shell.Clear();
        EXPECT_TRUE(PrefGlobal::MoveIniFiles(0));
        EXPECT_EQ(shell.info, std::vector<std::string>{message});
        EXPECT_EQ(PrefGlobal::IniDir, PrefGlobal::ProgramDir);
        if (!c.fixable)
            continue;
        std::filesystem::create_directories(c.folder);
        PrefGlobal::Save();
        EXPECT_TRUE(Exists(path));
        EXPECT_FALSE(PrefGlobal::IniViewer.Ini.IsModified());
        std::filesystem::remove_all(c.folder);
        PrefGlobal::IniViewer.Ini.SetModified(true);
        shell.Clear();
        PrefGlobal::Save();
        EXPECT_EQ(shell.info, std::vector<std::string>{message});
    }
}

TEST_F(PrefDataTest, DocksLoadSortedAndSaveOnlyLiveDocuments)
{
    const std::string doc = dir_ / "doc;1.kxl";
    kxtest::WriteFile(doc, "x");
    kxtest::WriteFile(program + "KxViewer.ini",
                      "[Global]\nCreateLogFile=0\n"
                      "[SaveDocks.Dock0]\nName=/b.kxl\nWindow_number=1\nDock_number=0\nTab_number=2\n"
                      "[SaveDocks.Dock1]\nName=systemdock\nMAX=0\nMIN=1\nX=5\nY=6\nH=7\nW=8\nDock_area=2\n"
                      "[SaveDocks.Dock2]\nMAX=1\n"
                      "[SaveDocks.Dock3]\nName=/a.kxl\nWindow_number=1\nDock_number=0\nTab_number=1\n"
                      "[SaveDocks.Dock4]\nName=/c.kxl\nWindow_number=0\nDock_number=9\n");
    PrefGlobal::Load();
    ASSERT_EQ(PrefGlobal::SystemDocks.size(), 2u);
    const DockEntry& sys = PrefGlobal::SystemDocks[0];
    const DockEntry& debug = PrefGlobal::SystemDocks[1];
    EXPECT_EQ(std::tie(sys.name, sys.minimised, sys.maximised, sys.x, sys.y, sys.height, sys.width, sys.dockArea),
              std::make_tuple(std::string("systemdock"), true, false, 5, 6, 7, 8, 2));
    EXPECT_EQ(std::tie(debug.name, debug.tabNumber, debug.dockArea),
              std::make_tuple(std::string("DockDebug"), 1, int32_t(DOCK_AREA_BOTTOM)));
    std::vector<std::string> order;
    for (const DockEntry& dock : PrefGlobal::SavedDocks)
        order.push_back(dock.name);
    EXPECT_EQ(order, (std::vector<std::string>{"/c.kxl", "/a.kxl", "/b.kxl"}));

    DockEntry live;
    live.name = doc;
    live.windowNumber = PrefGlobal::WindowNumberFromObjectName("LRTabWin12");
    live.width = 640;
    DockEntry gone;
    gone.name = dir_ / "gone.kxl";
    ZmLib::IniBase& ini = PrefGlobal::IniViewer.Ini;
    PrefGlobal::SaveDocks(ini, {PrefGlobal::SystemDocks[1], gone, live});
    EXPECT_STREQ(ini.GetValue("SaveDocks.Dock0", "Name"), "DockDebug");
    std::string name;
    EXPECT_TRUE(ini.GetText("SaveDocks.Dock1", "Name", name));
    EXPECT_EQ(name, doc);
    EXPECT_STREQ(ini.GetValue("SaveDocks.Dock1", "Window_number"), "12");
    EXPECT_STREQ(ini.GetValue("SaveDocks.Dock1", "W"), "640");
    EXPECT_EQ(ini.FindSection("SaveDocks.Dock2"), nullptr);
    EXPECT_EQ(ini.FindSection("SaveDocks.Dock4"), nullptr);
    PrefGlobal::OpenInSavedWindows = false;
    PrefGlobal::SaveDocks(ini, {});
    EXPECT_NE(ini.FindSection("SaveDocks.Dock1"), nullptr);
}

// Hostile sections: each one left out or mended is reported once, with
// its section; the rest load as they are.
TEST_F(PrefDataTest, HostileDockSectionsAreReported)
{
    const std::string longName(5000, 'n');
    kxtest::WriteFile(program + "KxViewer.ini",
                      "[Global]\nCreateLogFile=0\n"
                      "[SaveDocks.Dock0]\nWindow_number=0\n"
                      "[SaveDocks.Dock1]\nName=/x.kxl\nWindow_number=-3\n"
                      "[SaveDocks.Dock2]\nName=SystemDock\nDock_area=77\n"
                      "[SaveDocks.Dock3]\nName=" + longName + "\n"
                      "[SaveDocks.Dock4]\nName=/ok.kxl\nX=99999999\nW=-5\nDock_area=2\n"
                      "[SaveDocks.Dock5]\nName=/y.kxl\nDock_area=3\nDock_number=1\n"
                      "[SaveDocks.Dock6]\nName=\n");
    PrefGlobal::Load();
    EXPECT_EQ(PrefGlobal::DockLoadReports,
              (std::vector<std::string>{"Saved layout: [SaveDocks.Dock0] has no Name, ignored",
                                        "Saved layout: [SaveDocks.Dock1] has window number -3, ignored",
                                        "Saved layout: [SaveDocks.Dock2] has dock area 77, top used",
                                        "Saved layout: [SaveDocks.Dock3] has a Name of 5000 bytes, ignored",
                                        "Saved layout: [SaveDocks.Dock5] has dock area 3, top used",
                                        "Saved layout: [SaveDocks.Dock6] has no Name, ignored"}));
    EXPECT_EQ(PrefGlobal::SystemDocks[0].dockArea, DOCK_AREA_TOP);
    ASSERT_EQ(PrefGlobal::SavedDocks.size(), 2u);
    EXPECT_EQ(std::tie(PrefGlobal::SavedDocks[0].name, PrefGlobal::SavedDocks[0].dockArea, PrefGlobal::SavedDocks[0].x,
                       PrefGlobal::SavedDocks[0].width),
              std::make_tuple(std::string("/ok.kxl"), DOCK_AREA_RIGHT, 99999999, -5));
    EXPECT_EQ(PrefGlobal::SavedDocks[1].dockArea, DOCK_AREA_TOP);
}

// A move that fails at the second file takes back the first copy, so the
// next start finds the pair where it was, the user's format included.
TEST_F(PrefDataTest, FailedMoveLeavesNothingInTheNewLocation)
{
    kxtest::WriteFile(program + "KxViewer.ini", "[Global]\nCreateLogFile=0\nCompareProgramm=mine\n");
    kxtest::WriteFile(program + "KxFormats.ini", "[Format1]\nName=\"Mine\"\nVisual=2\nTEXT=0,\"(.*)\"\n");
    Restart();
    ASSERT_EQ(PrefGlobal::IniDir, program);
    ASSERT_TRUE(PrefGlobal::SaveFormats());
    const std::string viewer = ReadFile(program + "KxViewer.ini");
    const std::string formats = ReadFile(program + "KxFormats.ini");
    // A folder stands where KxFormats.ini must go.
    std::filesystem::create_directories(HomeIni() + "KxFormats.ini");
    shell.Clear();

    EXPECT_TRUE(PrefGlobal::MoveIniFiles(0));
    EXPECT_EQ(PrefGlobal::IniDir, program);
    EXPECT_EQ(ReadFile(program + "KxViewer.ini"), viewer);
    EXPECT_EQ(ReadFile(program + "KxFormats.ini"), formats);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(HomeIni()), {}), 1) << "only the blocking folder";
    const std::string message = "Cannot write '" + HomeIni() + "KxFormats.ini', please check it is writable!";
    EXPECT_EQ(shell.info, std::vector<std::string>{message});
    EXPECT_EQ(shell.log, std::vector<std::string>{message});
    std::filesystem::remove_all(HomeIni() + "KxFormats.ini");
    Restart();
    EXPECT_EQ(PrefGlobal::IniDir, program);
    EXPECT_EQ(PrefGlobal::CompareProgramm, "mine");
    ASSERT_EQ(ImportFormats.size(), size_t(PredefinedFormatCount) + 1);
    EXPECT_EQ(ImportFormats.back().name, "Mine");
}

namespace {

// Puts a FIFO at a file of the program folder as it is about to be read.
std::string fifoFolder;
std::vector<std::string> fifosPut;
void PutFifo(const char* path)
{
    const std::string aside = std::string(path) + ".fifo";
    if (std::string(path).rfind(fifoFolder, 0) == 0 && mkfifo(aside.c_str(), 0600) == 0 &&
        rename(aside.c_str(), path) == 0)
        fifosPut.push_back(path);
}

} // namespace

TEST_F(PrefDataTest, MovingIniFilesCarriesBothAndItsChanges)
{
    PrefGlobal::Load();
    ASSERT_EQ(PrefGlobal::IniDir, program);
    shell.Clear();
    PrefGlobal::CompareProgramm = "kept";
    PrefGlobal::Save();
    // The files are read through the read check: a FIFO put in their place
    // as they are read is neither waited on nor copied.
    fifoFolder = program;
    fifosPut.clear();
    ZmLib::BeforeReadOpen = &PutFifo;
    EXPECT_FALSE(PrefGlobal::MoveIniFiles(0));
    ZmLib::BeforeReadOpen = nullptr;
    EXPECT_EQ(fifosPut, (std::vector<std::string>{program + "KxViewer.ini", program + "KxFormats.ini"}));
    EXPECT_EQ(PrefGlobal::IniDir, HomeIni());
    EXPECT_FALSE(Exists(program + "KxViewer.ini"));
    EXPECT_FALSE(Exists(program + "KxFormats.ini"));
    EXPECT_TRUE(Exists(HomeIni() + "KxFormats.ini"));
    EXPECT_EQ(shell.log, std::vector<std::string>{"Ini-files moved to directory: " + HomeIni()});
    EXPECT_STREQ(PrefGlobal::IniViewer.GetPath(), (HomeIni() + "KxViewer.ini").c_str());
    EXPECT_STREQ(PrefGlobal::IniViewer.Ini.GetValue("Global", "CompareProgramm"), "kept");

    // An unwritable choice moves nothing.
    PrefGlobal::ProgramDir = Unwritable();
    shell.Clear();
    EXPECT_FALSE(PrefGlobal::MoveIniFiles(1));
    EXPECT_EQ(shell.info,
              std::vector<std::string>{
                  "The chosen location is not writable. Probably you need administrator's privileges!"});
    EXPECT_EQ(PrefGlobal::IniDir, HomeIni());
}

TEST_F(PrefDataTest, WorkFoldersArePerUserAndOnlyTheViewersFilesGo)
{
    const uid_t me = geteuid();
    const std::string mine = PrefGlobal::WorkDirFor(me);
    EXPECT_EQ(mine, tmp + "/KXviewer-" + std::to_string(me) + "/");
    // Another user trusts nobody but root and themselves on the way: the
    // scratch folder, the tester's, is theirs to use only when the tester is
    // root. Either way their folder has a name of its own.
    const std::string other = tmp + "/KXviewer-" + std::to_string(me + 1) + "/";
    std::string why;
    EXPECT_EQ(PrefGlobal::WorkDirFor(me + 1, &why), me == 0 ? other : "");
    if (me != 0) {
        EXPECT_NE(why.find("not in " + tmp + ": "), std::string::npos) << why;
        EXPECT_NE(why.find(" belongs to user " + std::to_string(me)), std::string::npos) << why;
    }
    ASSERT_TRUE(ZmLib::PrivateDir().Hold(mine).empty());
    struct stat st;
    ASSERT_EQ(stat(mine.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    std::filesystem::create_directories(other);
    kxtest::WriteFile(mine + "kxv-compare-a.txt", "a");
    chmod((mine + "kxv-compare-a.txt").c_str(), 0600);
    kxtest::WriteFile(other + "b.txt", "b");
    chmod((other + "b.txt").c_str(), 0600);
    // A link inside points at a file that must survive.
    kxtest::WriteFile(dir_ / "outside.txt", "o");
    symlink((dir_ / "outside.txt").c_str(), (mine + "link.txt").c_str());
    PrefGlobal::Load();
    EXPECT_FALSE(Exists(mine + "kxv-compare-a.txt"));
    EXPECT_TRUE(Exists(other + "b.txt"));
    EXPECT_TRUE(Exists(dir_ / "outside.txt"));
    std::filesystem::remove_all(mine);

    // A link planted at the folder's name is neither used nor followed.
    const std::string target = dir_ / "victim";
    std::filesystem::create_directories(target);
    kxtest::WriteFile(target + "/keep.txt", "k");
    symlink(target.c_str(), mine.substr(0, mine.size() - 1).c_str());
    EXPECT_FALSE(ZmLib::PrivateDir().Hold(mine).empty());
    EXPECT_FALSE(PrefGlobal::RemoveOwnWorkFiles(mine));
    EXPECT_TRUE(Exists(target + "/keep.txt"));
    unlink(mine.substr(0, mine.size() - 1).c_str());
    // A folder others may enter is not taken for ours.
    mkdir(mine.c_str(), 0777);
    chmod(mine.c_str(), 0777);
    EXPECT_FALSE(ZmLib::PrivateDir().Hold(mine).empty());
    EXPECT_TRUE(PrefGlobal::RemoveOwnWorkFiles(tmp + "/absent/"));
}

// At start-up a folder at the work folder's name that is not this user's
// own is neither touched nor written to: the work folder goes to the next
// safe place, and the System Log says why; the viewer's files in our own go
// without a word.
TEST_F(PrefDataTest, ForeignWorkFolderIsLeftAndNamedAtStart)
{
    const std::string mine = PrefGlobal::WorkDirFor(geteuid());
    const std::string name = mine.substr(0, mine.size() - 1);
    const std::string target = dir_ / "victim";
    const std::string cache = home + "/.cache";
    const std::string refused = "Work files are kept in " + cache + ", not in " + tmp + ": " + name +
                                " cannot be used: ";
    const struct {
        const char* what;
        std::function<void()> make;
        std::string keep; // a file that must survive
        std::string report; // empty: the folder is ours and goes silently
    } cases[] = {
        {"our own", [&] { mkdir(name.c_str(), 0700); kxtest::WriteFile(mine + "version", "o");
                          chmod((mine + "version").c_str(), 0600); }, "", ""},
        {"a link to another folder", [&] { symlink(target.c_str(), name.c_str()); }, target + "/version",
         refused + "it is a symbolic link"},
        {"open to others", [&] { mkdir(name.c_str(), 0700); chmod(name.c_str(), 0777);
                                 kxtest::WriteFile(mine + "version", "k"); },
         mine + "version", refused + "others may use it (mode 0777)"},
        {"a file", [&] { kxtest::WriteFile(name, "f"); }, name, refused + "it is not a folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::create_directories(target);
        kxtest::WriteFile(target + "/version", "k");
        c.make();
        shell.Clear();
        PrefGlobal::Load();
        if (c.report.empty()) {
            EXPECT_FALSE(Exists(mine + "version"));
            EXPECT_EQ(PrefGlobal::WorkDir, mine);
        } else {
            EXPECT_TRUE(Exists(c.keep));
            EXPECT_EQ(PrefGlobal::WorkDir, cache + "/KXviewer-" + std::to_string(geteuid()) + "/");
        }
        EXPECT_TRUE(Exists(target + "/version"));
        const std::vector<std::string> expected =
            c.report.empty() ? std::vector<std::string>{}
                             : std::vector<std::string>{c.report + "; there is no runtime folder"};
        EXPECT_EQ(shell.log, expected);
        std::error_code error;
        std::filesystem::remove_all(name, error);
    }
}

// With no safe place the System Log says so at start, nothing is made or
// removed, and a command that needs the work folder is refused with the
// same words.
TEST_F(PrefDataTest, NoSafePlaceMakesNothing)
{
    ASSERT_EQ(chmod(tmp.c_str(), 0777), 0);
    const std::string cache = dir_ / "cache";
    ASSERT_EQ(mkdir(cache.c_str(), 0700), 0);
    ASSERT_EQ(chmod(cache.c_str(), 0777), 0);
    setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    const std::string why = "No folder is safe for work files: not in " + tmp + ": others may write to " + tmp +
                            " and it has no sticky bit (mode 0777); there is no runtime folder; not in " + cache +
                            ": others may write to " + cache + " and it has no sticky bit (mode 0777)";
    shell.Clear();
    PrefGlobal::Load();
    EXPECT_EQ(PrefGlobal::WorkDir, "");
    EXPECT_EQ(shell.log, std::vector<std::string>{why});
    ZmLib::PrivateDir held;
    EXPECT_EQ(PrefGlobal::HoldWorkDir(held), why);
    EXPECT_FALSE(held.IsHeld());
    EXPECT_TRUE(std::filesystem::is_empty(tmp));
    EXPECT_TRUE(std::filesystem::is_empty(cache));
}

// The work folder goes into TMPDIR only when nobody but the user and root
// can rename anything on the way there; otherwise into the user's runtime
// folder when it is private, else the cache folder, and the System Log says
// so once, with why the runtime folder was passed over. Other owners are real where the test runs as root.
TEST_F(PrefDataTest, WorkFolderOnlyWhereNobodyElseCanRenameOnTheWay)
{
    const uid_t me = geteuid();
    const std::string runtime = dir_ / "runtime";
    const std::string cache = home + "/.cache";
    enum Place { TMP, RUNTIME, CACHE };
    const struct {
        const char* what;
        mode_t mode;      // TMPDIR's
        uid_t owner;      // TMPDIR's
        mode_t runtime;   // the runtime folder's; 0: none named
        Place place;
        std::string why;  // what the System Log says is wrong with TMPDIR
    } cases[] = {
        {"sticky and open to all", 01777, me, 0700, TMP, ""},
        {"the user's own", 0700, me, 0, TMP, ""},
        {"open to all without the sticky bit", 0777, me, 0700, RUNTIME,
         "others may write to {tmp} and it has no sticky bit (mode 0777)"},
        {"the group may write, no sticky bit", 0770, me, 0, CACHE,
         "others may write to {tmp} and it has no sticky bit (mode 0770)"},
        {"a runtime folder others may enter", 0777, me, 0755, CACHE,
         "others may write to {tmp} and it has no sticky bit (mode 0777)"},
        {"sticky but another user's", 01777, 4242, 0700, RUNTIME, "{tmp} belongs to user 4242"},
        {"another user's, closed to others", 0755, 4242, 0, CACHE, "{tmp} belongs to user 4242"},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.owner != me && me != 0)
            continue; // only root makes a folder another user's
        const std::string tmpdir = dir_ / ("tmp" + std::to_string(n++));
        ASSERT_EQ(mkdir(tmpdir.c_str(), 0700), 0);
        ASSERT_EQ(chmod(tmpdir.c_str(), c.mode), 0);
        ASSERT_EQ(chown(tmpdir.c_str(), c.owner, gid_t(-1)), 0);
        setenv("TMPDIR", tmpdir.c_str(), 1);
        std::filesystem::remove_all(runtime);
        std::filesystem::remove_all(cache);
        unsetenv("XDG_RUNTIME_DIR");
        if (c.runtime != 0) {
            ASSERT_EQ(mkdir(runtime.c_str(), 0700), 0);
            ASSERT_EQ(chmod(runtime.c_str(), c.runtime), 0);
            setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        }
        shell.Clear();
        Restart();
        const std::string base = c.place == TMP ? tmpdir : c.place == RUNTIME ? runtime : cache;
        EXPECT_EQ(PrefGlobal::WorkDir, base + "/KXviewer-" + std::to_string(me) + "/");
        std::vector<std::string> said;
        if (!c.why.empty()) {
            std::string why = c.why;
            why.replace(why.find("{tmp}"), 5, tmpdir);
            if (c.place == CACHE)
                why += c.runtime != 0 ? "; not in " + runtime + ": others may use it (mode 0755)"
                                      : "; there is no runtime folder";
            said.push_back("Work files are kept in " + base + ", not in " + tmpdir + ": " + why);
        }
        EXPECT_EQ(shell.log, said);
        // The folder chosen is one the work folder can be made and held in.
        EXPECT_EQ(ZmLib::PrivateDir().Hold(PrefGlobal::WorkDir), "");
        struct stat st;
        ASSERT_EQ(stat(base.c_str(), &st), 0);
        if (c.place == CACHE) {
            EXPECT_EQ(st.st_mode & 0777, 0700u);
        }
    }
}

// The work folder's name is taken after the start (another user makes it in
// a shared /tmp): the next use chooses again as the start does, takes the
// next safe place and says why once in the System Log; with no safe place
// left it is refused with the reason for each place.
TEST_F(PrefDataTest, WorkFolderTakenAfterStartIsChosenAgainAtUse)
{
    const uid_t me = geteuid();
    const std::string runtime = dir_ / "runtime";
    ASSERT_EQ(mkdir(runtime.c_str(), 0700), 0);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    const std::string mine = tmp + "/KXviewer-" + std::to_string(me) + "/";
    const std::string name = mine.substr(0, mine.size() - 1);
    const std::string moved = runtime + "/KXviewer-" + std::to_string(me) + "/";
    const std::string elsewhere = dir_ / "elsewhere";
    ASSERT_EQ(mkdir(elsewhere.c_str(), 0700), 0);
    const auto openToAll = [&] { mkdir(name.c_str(), 0700); chmod(name.c_str(), 0777); };
    const struct {
        const char* what;
        std::function<void()> take;
        std::string reason;
    } cases[] = {
        {"another user's folder", [&] { mkdir(name.c_str(), 0700); chown(name.c_str(), 4242, gid_t(-1)); },
         "it belongs to user 4242"},
        {"a folder open to all", openToAll, "others may use it (mode 0777)"},
        {"a link", [&] { symlink(elsewhere.c_str(), name.c_str()); }, "it is a symbolic link"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (me != 0 && c.reason.find("belongs") != std::string::npos)
            continue; // only root makes a folder another user's
        Restart();
        ASSERT_EQ(PrefGlobal::WorkDir, mine);
        c.take();
        shell.Clear();
        ZmLib::PrivateDir held;
        EXPECT_EQ(PrefGlobal::HoldWorkDir(held), "");
        EXPECT_EQ(held.Path(), moved);
        EXPECT_EQ(PrefGlobal::WorkDir, moved);
        EXPECT_EQ(shell.log, std::vector<std::string>{"Work files are kept in " + runtime + ", not in " + tmp + ": " +
                                                      name + " cannot be used: " + c.reason});
        shell.Clear();
        ZmLib::PrivateDir again;
        EXPECT_EQ(PrefGlobal::HoldWorkDir(again), "");
        EXPECT_EQ(again.Path(), moved);
        EXPECT_TRUE(shell.log.empty());
        EXPECT_TRUE(std::filesystem::is_empty(elsewhere));
        std::error_code error;
        std::filesystem::remove(name, error);
        std::filesystem::remove_all(moved, error);
    }

    Restart();
    openToAll();
    unsetenv("XDG_RUNTIME_DIR");
    const std::string cache = dir_ / "cache";
    ASSERT_EQ(mkdir(cache.c_str(), 0700), 0);
    ASSERT_EQ(chmod(cache.c_str(), 0777), 0);
    setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    ZmLib::PrivateDir held;
    EXPECT_EQ(PrefGlobal::HoldWorkDir(held), "No folder is safe for work files: not in " + tmp + ": " + name +
                                                 " cannot be used: others may use it (mode 0777); there is no runtime "
                                                 "folder; not in " + cache + ": others may write to " + cache +
                                                 " and it has no sticky bit (mode 0777)");
    EXPECT_FALSE(held.IsHeld());
    EXPECT_EQ(PrefGlobal::WorkDir, mine);
}

// A private folder of the user that is not the viewer's may stand at the
// work folder's name: a start removes only the files the viewer makes
// there, and leaves the rest, folders and links included.
TEST_F(PrefDataTest, WorkFolderStartRemovesOnlyTheViewersFiles)
{
    const std::string mine = PrefGlobal::WorkDirFor(geteuid());
    ASSERT_EQ(mkdir(mine.c_str(), 0700), 0);
    enum Kind { FILE_0600, FILE_0700, FILE_0644, FOLDER, LINK };
    const struct {
        const char* name;
        Kind kind;
        bool kept;
    } entries[] = {
        {"version", FILE_0600, false},
        {"version.sig", FILE_0600, false},
        {"KxViewer", FILE_0600, false},
        {"KxViewerSetup.run", FILE_0700, false},
        {"kxv-compare-a.txt", FILE_0600, false},
        {"kxv-compare-a-range#3.txt", FILE_0600, false},
        {".kxv-compare-a.txt.0123abcd", FILE_0600, false},
        {".version.89abcdef", FILE_0600, false},
        {"notes", FILE_0600, true},
        {"notes.txt", FILE_0600, true},
        {"README.txt", FILE_0600, true},
        {"kxv-compare-.txt", FILE_0600, false},
        {"kxv-compare-a.txt.bak", FILE_0600, true},
        {"version.bak", FILE_0600, true},
        {".notes.0123abcd", FILE_0600, true},
        {".kxv-compare-a.txt.0123", FILE_0600, true},
        {"kxv-compare-shared.txt", FILE_0644, true},
        {"pulse", FOLDER, true},
        {"kxv-compare-folder.txt", FOLDER, true},
        {"kxv-compare-link.txt", LINK, true},
    };
    kxtest::WriteFile(dir_ / "outside", "o");
    for (const auto& e : entries) {
        const std::string path = mine + e.name;
        if (e.kind == FOLDER) {
            ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
            kxtest::WriteFile(path + "/version", "v");
        } else if (e.kind == LINK) {
            ASSERT_EQ(symlink((dir_ / "outside").c_str(), path.c_str()), 0);
        } else {
            kxtest::WriteFile(path, "f");
            chmod(path.c_str(), e.kind == FILE_0600 ? 0600 : e.kind == FILE_0700 ? 0700 : 0644);
        }
    }
    Restart();
    EXPECT_TRUE(shell.log.empty());
    for (const auto& e : entries) {
        struct stat st;
        EXPECT_EQ(lstat((mine + e.name).c_str(), &st) == 0, e.kept) << e.name;
    }
    EXPECT_TRUE(Exists(mine + "pulse/version"));
    EXPECT_EQ(ReadFile(dir_ / "outside"), "o");
}

// A file of the viewer's that the start cannot remove is named with the
// system's reason; root may remove it from a folder without write permission,
// and then nothing is said.
TEST_F(PrefDataTest, WorkFileThatCannotBeRemovedIsNamedAtStart)
{
    const std::string mine = PrefGlobal::WorkDirFor(geteuid());
    ASSERT_EQ(mkdir(mine.c_str(), 0700), 0);
    kxtest::WriteFile(mine + "version", "v");
    ASSERT_EQ(chmod((mine + "version").c_str(), 0600), 0);
    ASSERT_EQ(chmod(mine.c_str(), 0500), 0);
    Restart();
    const bool root = geteuid() == 0;
    EXPECT_EQ(shell.log, root ? std::vector<std::string>{}
                              : std::vector<std::string>{"The viewer's files in the work folder " + mine +
                                                         " could not be removed: version: " + strerror(EACCES)});
    EXPECT_EQ(Exists(mine + "version"), !root);
    chmod(mine.c_str(), 0700);
}

TEST(PrefText, SmallHelpers)
{
    const struct {
        const char* text;
        int32_t width;
        bool cut;
        const char* out;
    } cases[] = {
        {"ab", 6, false, "--ab--"}, {"ab", 5, false, "-ab--"}, {"abcdef", 4, true, "abcd"},
        {"abcdef", 4, false, "abcdef"}, {"", 3, false, "---"}, {"x", -1, true, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PrefGlobal::CenterText(c.text, c.width, '-', c.cut), c.out) << c.text << c.width;
    const struct {
        const char* name;
        int32_t number;
    } windows[] = {{"LRTabWin0", 0}, {"LRTabWin17", 17}, {"LRTabWin", 0}, {"short", 0}, {"LRTabWinx", 0}};
    for (const auto& w : windows)
        EXPECT_EQ(PrefGlobal::WindowNumberFromObjectName(w.name), w.number) << w.name;
    QImage image(2, 1, QImage::Format_RGB32);
    image.fill(Qt::red);
    const std::string hex = PrefGlobal::PixmapToHexPng(image);
    EXPECT_EQ(hex.substr(0, 16), "89504e470d0a1a0a");
    EXPECT_EQ(hex.find_first_not_of("0123456789abcdef"), std::string::npos);
}

TEST_F(PrefDataTest, HostileFormatsRoundTripByteForByte)
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
    ZmLib::IniBase ini;
    PrefGlobal::SaveFormats(ini, list);
    // Written with and without comments, read and loaded.
    for (bool strip : {false, true})
        EXPECT_EQ(LoadText(ToText(ini, strip)), list) << strip;
    const std::string text = ToText(ini);
    EXPECT_NE(text.find("[Format0]\nExtension=\"log;syslog \"\nEnabled=0\nVisual=1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Name=\"Split \"quoted\"; name \"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("TIME=0,\"([^\\;]*)\\;\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Delimiter=\"\"\"\nMode=0\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("Format5"), std::string::npos);
}

TEST_F(PrefDataTest, ValuesAsTheFileGivesThem)
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

TEST_F(PrefDataTest, DisplayOrderChecksAndRenumbering)
{
    const std::string head = "[Format0]\nVisual=1\n";
    const struct {
        const char* what;
        std::string text;
        std::vector<std::string> names;
        bool foreign = false; // another file: no built-in head
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
        {"built-in without Visual", "[Format0]\nEnabled=1\n[Format1]\nName=\"B\"\nVisual=2\n", {"SysLog=1", "B=2"}},
        {"foreign", "[Format0]\nName=\"Other\"\nVisual=1\nTEXT=0,\"(.*)\"\n[Format1]\nExtension=log\n"
                    "[Format2]\nName=\"Second\"\nVisual=2\n",
         {"Other=1", "Second=2"}, true},
        {"foreign renumbered", "[Format0]\nName=\"Y\"\nVisual=5\n[Format1]\nName=\"X\"\nVisual=5\n", {"X=1", "Y=2"},
         true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Names(LoadText(c.text, c.foreign)), c.names) << c.what;

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

TEST_F(PrefDataTest, RemovedFormatsLeaveNoSectionBehind)
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

TEST_F(PrefDataTest, SaveFormatsWritesTheProcessListToItsFile)
{
    PrefGlobal::IniFormats.Open(program.c_str(), "KxFormats", "ini");
    ImportFormats = WithBuiltIns({UserFormat("Mine", 2, {{"TEXT", 0, "([^;]*);(.*)"}})});
    ImportFormatsModified = true;
    EXPECT_TRUE(PrefGlobal::SaveFormats());
    EXPECT_FALSE(ImportFormatsModified);
    ZmLib::IniFile back;
    back.Open(program.c_str(), "KxFormats", "ini");
    ImportFormatList list;
    PrefGlobal::LoadFormats(back.Ini, list, false, false);
    EXPECT_EQ(list, ImportFormats);
}

// What the editor leaves behind is written in the order the file check
// accepts, so the next start does not re-sort the formats by name.
TEST_F(PrefDataTest, SavedDisplayOrderIsCompact)
{
    const struct {
        const char* what;
        std::vector<int32_t> visuals; // of A, A #1, B, C
        std::vector<std::string> names;
    } cases[] = {
        {"kept", {2, 0, 3, 4}, {"SysLog=1", "A=2", "A #1=0", "B=3", "C=4"}},
        {"sub-template with a place", {2, 3, 4, 5}, {"SysLog=1", "A=2", "A #1=0", "B=3", "C=4"}},
        {"twice the same place", {3, 0, 3, 2}, {"SysLog=1", "A=3", "A #1=0", "B=4", "C=2"}},
        {"gaps", {9, 0, 4, 7}, {"SysLog=1", "A=4", "A #1=0", "B=2", "C=3"}},
    };
    PrefGlobal::IniFormats.Open(program.c_str(), "KxFormats", "ini");
    for (const auto& c : cases) {
        ImportFormats = WithBuiltIns({UserFormat("A", c.visuals[0], {{"TEXT", 0, "(.*)"}}),
                                      UserFormat("A #1", c.visuals[1], {{"TEXT", 0, "(.*)"}}),
                                      UserFormat("B", c.visuals[2], {{"TEXT", 0, "(.*)"}}),
                                      UserFormat("C", c.visuals[3], {{"TEXT", 0, "(.*)"}})});
        ASSERT_TRUE(PrefGlobal::SaveFormats()) << c.what;
        ZmLib::IniFile back;
        back.Open(program.c_str(), "KxFormats", "ini");
        ImportFormatList list;
        PrefGlobal::LoadFormats(back.Ini, list, false, false);
        EXPECT_EQ(Names(list), c.names) << c.what;
    }
}

TEST_F(PrefDataTest, RepeatedSectionsAreSavedOnceWithWhatWasLoaded)
{
    const struct {
        const char* what;
        std::string viewer;
        std::string formats;
        std::vector<size_t> fields; // of each user format, as the first copies give them
    } cases[] = {
        {"format thrice, sub-template between", "",
         "[Format1]\nName=\"A\"\nVisual=2\nTEXT=0,\"(.*)\"\n[Format2]\nName=\"A #1\"\nVisual=0\nTEXT=0,\"(b)\"\n"
         "[Format1]\nLEVEL=2,\"(z)\"\n[Format1]\n",
         {1, 1}},
        {"global twice", "[Global]\nCompareProgramm=stale\nScriptDir=/stale\n", "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        kxtest::WriteFile(program + "KxViewer.ini", "[Global]\nCreateLogFile=0\n" + c.viewer);
        kxtest::WriteFile(program + "KxFormats.ini", c.formats);
        Restart();
        const std::string values = SavedValues();
        const ImportFormatList formats = ImportFormats;
        PrefGlobal::Save();
        PrefGlobal::SaveFormats();
        for (const char* file : {"KxViewer.ini", "KxFormats.ini"}) {
            std::istringstream lines(ReadFile(program + file));
            std::vector<std::string> headers;
            for (std::string line; std::getline(lines, line);)
                if (line[0] == '[')
                    headers.push_back(line);
            EXPECT_EQ(std::set<std::string>(headers.begin(), headers.end()).size(), headers.size()) << file;
        }
        Restart();
        EXPECT_EQ(SavedValues(), values);
        EXPECT_EQ(ImportFormats, formats);
        std::vector<size_t> fields;
        for (size_t i = size_t(PredefinedFormatCount); i < ImportFormats.size(); ++i)
            fields.push_back(ImportFormats[i].fields.size());
        EXPECT_EQ(fields, c.fields);
    }
}
