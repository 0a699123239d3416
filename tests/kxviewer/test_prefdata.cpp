#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <QImage>

#include "kxviewer/kxvglobals.h"
#include "kxviewer/prefdata.h"
#include "tests/kxviewer/prefenv.h"
#include "tests/utils/osal/osal_fixtures.h"

using kxtest::Exists;
using kxtest::ReadFile;

namespace {

class PrefDataTest : public kxtest::PrefEnv {
protected:
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
};

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
    EXPECT_EQ(PrefGlobal::TempWorkDir, tmp + "/KXviewer-" + std::to_string(geteuid()) + "/");
    EXPECT_EQ(PrefGlobal::Fonts[FONT_FIND_DIALOG].pointSize(), 9);
    EXPECT_EQ(PrefGlobal::Fonts[FONT_LINE_NUMBERS].pointSize(), 8);
    // The default save folder is made.
    EXPECT_TRUE(std::filesystem::is_directory(PrefGlobal::DefaultSaveDir)) << PrefGlobal::DefaultSaveDir;
}

TEST_F(PrefDataTest, IniLocationFollowsExistingFilesThenWritableFolders)
{
    const std::string unwritable = Unwritable();
    const struct {
        const char* what;
        bool programIni;
        bool homeIni;
        bool programWritable;
        bool homeWritable;
        const char* where; // "program", "home" or ""
    } cases[] = {
        {"program file first", true, true, true, true, "program"},
        {"home file next", false, true, true, true, "home"},
        {"writable program folder", false, false, true, true, "program"},
        {"read-only program folder", false, false, false, true, "home"},
        {"nowhere", false, false, false, false, ""},
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
        std::string found = PrefGlobal::FindIniLocation();
        std::string expected = std::string(c.where) == "program" ? PrefGlobal::ProgramDir
                               : std::string(c.where) == "home"  ? HomeIni()
                                                                 : "";
        EXPECT_EQ(found, expected);
        EXPECT_EQ(PrefGlobal::IniInProgramDir, std::string(c.where) != "home");
        setenv("HOME", home.c_str(), 1);
    }
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
    ASSERT_FALSE(shell.info.empty());
    EXPECT_EQ(shell.info[0], "Kxviewer.ini cannot be created");
    EXPECT_EQ(shell.log[0], "Kxviewer.ini cannot be created");
    EXPECT_TRUE(shell.warnings[0]);
    EXPECT_EQ(PrefGlobal::ColorScheme.size(), 21u);
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

    std::filesystem::current_path(home);
    const auto scripts = PrefGlobal::Scripts;
    const auto history = PrefGlobal::SearchHistory;
    const auto colors = PrefGlobal::ColorScheme;
    const std::string saveDir = PrefGlobal::DefaultSaveDir;
    Restart();
    EXPECT_FALSE(PrefGlobal::AutoUpgrade);
    EXPECT_EQ(PrefGlobal::NextUpgradeCheck, QDateTime(QDate(2031, 2, 3), QTime(4, 5, 6)));
    EXPECT_FALSE(PrefGlobal::CreateLogFile);
    EXPECT_EQ(PrefGlobal::PanesStartDock, 3);
    EXPECT_TRUE(PrefGlobal::LargeIcons);
    EXPECT_FALSE(PrefGlobal::PanelDebug);
    EXPECT_EQ(PrefGlobal::ForceUpgradeFromGui, -2);
    EXPECT_EQ(PrefGlobal::DebugLevel, 4);
    EXPECT_EQ(PrefGlobal::CompareProgramm, hostile);
    EXPECT_EQ(PrefGlobal::DefaultSaveDir, saveDir);
    EXPECT_EQ(PrefGlobal::ScriptDir, "\"quoted\"");
    EXPECT_FALSE(PrefGlobal::GlobalToolbars[4]);
    EXPECT_TRUE(PrefGlobal::BaseToolbars[0]);
    EXPECT_FALSE(PrefGlobal::BaseToolbars[8]);
    EXPECT_EQ(PrefGlobal::FirstPort, " 99;");
    EXPECT_EQ(PrefGlobal::SecondPort, "");
    ASSERT_EQ(PrefGlobal::Scripts.size(), scripts.size());
    for (size_t i = 0; i < scripts.size(); ++i) {
        EXPECT_EQ(PrefGlobal::Scripts[i].path, scripts[i].path);
        EXPECT_EQ(PrefGlobal::Scripts[i].counter, scripts[i].counter);
        EXPECT_EQ(PrefGlobal::Scripts[i].dateTime, scripts[i].dateTime);
        EXPECT_EQ(PrefGlobal::Scripts[i].execTime, scripts[i].execTime);
        EXPECT_EQ(PrefGlobal::Scripts[i].status, scripts[i].status);
    }
    ASSERT_EQ(PrefGlobal::SearchHistory.size(), history.size());
    for (size_t i = 0; i < history.size(); ++i) {
        EXPECT_EQ(PrefGlobal::SearchHistory[i].mode, history[i].mode);
        EXPECT_EQ(PrefGlobal::SearchHistory[i].matchCase, history[i].matchCase);
        EXPECT_EQ(PrefGlobal::SearchHistory[i].expression, history[i].expression);
    }
    EXPECT_EQ(PrefGlobal::ConnectionIps, (std::vector<std::string>{"10.0.0.1", hostile}));
    EXPECT_EQ(PrefGlobal::ConnectionQueries, std::vector<std::string>{"q;1"});
    EXPECT_EQ(PrefGlobal::Fonts[FONT_SYSTEM_LOG].family(), "DejaVu Sans");
    EXPECT_EQ(PrefGlobal::Fonts[FONT_SYSTEM_LOG].pointSize(), 13);
    EXPECT_EQ(PrefGlobal::ColorScheme, colors);
    EXPECT_EQ(PrefTabTable::Default().Grid, 1);
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
        bool warned;
    } cases[] = {
        {"three", "0=0xFF000001\n1=0xFF000002\n2=0xFF000003\n",
         {0xFF000001, 0xFF000002, 0xFF000003, 0xFF339999, 0xFF66FFFF}, true},
        {"stops at 0", "0=0xFF000001\n1=0\n2=0xFF000003\n3=0xFF000004\n4=0xFF000005\n",
         {0xFF000001, 0xFFFF66FF, 0xFF00CCFF, 0xFF339999, 0xFF66FFFF}, true},
        {"five", "0=1\n1=2\n2=3\n3=4\n4=5\n", {1, 2, 3, 4, 5}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        kxtest::KxCapture capture;
        kxtest::WriteFile(program + "KxViewer.ini", "[Global]\nCreateLogFile=0\n[ColorScheme]\n" + c.section);
        Restart();
        EXPECT_EQ(PrefGlobal::ColorScheme, c.colors);
        EXPECT_EQ(capture.Find("Number of colors in the colors scheme is too small (" +
                               std::to_string(c.section == cases[1].section ? 1 : 3) + ")") >= 0,
                  c.warned);
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
    EXPECT_EQ(PrefGlobal::SystemDocks[0].name, "systemdock");
    EXPECT_TRUE(PrefGlobal::SystemDocks[0].minimised);
    EXPECT_FALSE(PrefGlobal::SystemDocks[0].maximised);
    EXPECT_EQ(PrefGlobal::SystemDocks[0].height, 7);
    EXPECT_EQ(PrefGlobal::SystemDocks[0].dockArea, 2);
    EXPECT_EQ(PrefGlobal::SystemDocks[1].name, "DockDebug");
    EXPECT_EQ(PrefGlobal::SystemDocks[1].tabNumber, 1);
    EXPECT_EQ(PrefGlobal::SystemDocks[1].dockArea, DOCK_AREA_BOTTOM);
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

TEST_F(PrefDataTest, MovingIniFilesCopiesBothBeforeRemovingEither)
{
    PrefGlobal::Load();
    ASSERT_EQ(PrefGlobal::IniDir, program);
    // The home folder already holds a folder where KxFormats.ini must go.
    std::filesystem::create_directories(HomeIni() + "KxFormats.ini");
    EXPECT_TRUE(PrefGlobal::MoveIniFiles(0));
    EXPECT_EQ(PrefGlobal::IniDir, program);
    EXPECT_TRUE(Exists(program + "KxViewer.ini"));
    EXPECT_TRUE(Exists(program + "KxFormats.ini"));
    EXPECT_NE(std::find(shell.info.begin(), shell.info.end(),
                        "Cannot write '" + HomeIni() + "KxFormats.ini', please check it is writable!"),
              shell.info.end());

    std::filesystem::remove_all(HomeIni() + "KxFormats.ini");
    shell.Clear();
    PrefGlobal::CompareProgramm = "kept";
    PrefGlobal::Save();
    EXPECT_FALSE(PrefGlobal::MoveIniFiles(0));
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

TEST_F(PrefDataTest, TemporaryFoldersArePerUserAndWipedAlone)
{
    const uid_t me = geteuid();
    const std::string mine = PrefGlobal::TempWorkDirFor(me);
    const std::string other = PrefGlobal::TempWorkDirFor(me + 1);
    EXPECT_EQ(mine, tmp + "/KXviewer-" + std::to_string(me) + "/");
    EXPECT_NE(mine, other);
    ASSERT_TRUE(PrefGlobal::EnsureTempWorkDir(mine));
    struct stat st;
    ASSERT_EQ(stat(mine.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    std::filesystem::create_directories(other);
    kxtest::WriteFile(mine + "a.txt", "a");
    kxtest::WriteFile(other + "b.txt", "b");
    // A link inside points at a file that must survive.
    kxtest::WriteFile(dir_ / "outside.txt", "o");
    symlink((dir_ / "outside.txt").c_str(), (mine + "link").c_str());
    PrefGlobal::Load();
    EXPECT_FALSE(Exists(mine));
    EXPECT_TRUE(Exists(other + "b.txt"));
    EXPECT_TRUE(Exists(dir_ / "outside.txt"));

    // A link planted at the folder's name is neither used nor followed.
    const std::string target = dir_ / "victim";
    std::filesystem::create_directories(target);
    kxtest::WriteFile(target + "/keep.txt", "k");
    symlink(target.c_str(), mine.substr(0, mine.size() - 1).c_str());
    EXPECT_FALSE(PrefGlobal::EnsureTempWorkDir(mine));
    EXPECT_FALSE(PrefGlobal::WipeTempWorkDir(mine));
    EXPECT_TRUE(Exists(target + "/keep.txt"));
    unlink(mine.substr(0, mine.size() - 1).c_str());
    // A folder others may enter is not taken for ours.
    mkdir(mine.c_str(), 0777);
    chmod(mine.c_str(), 0777);
    EXPECT_FALSE(PrefGlobal::EnsureTempWorkDir(mine));
    EXPECT_TRUE(PrefGlobal::WipeTempWorkDir(tmp + "/absent/"));
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
