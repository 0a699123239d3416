// The program-wide preferences: process-wide values loaded once at start-up
// from "KxViewer.ini" and written back by PrefGlobal::Save; the import
// formats live beside them in "KxFormats.ini". All texts are 8-bit (the local
// code page), as the files hold them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <sys/types.h>

#include <QColor>
#include <QDateTime>
#include <QFont>

#include "kxviewer/importformat.h"
#include "utils/common/inifile.h"

class QImage;
namespace ZmLib {
class PrivateDir;
}

// A remembered script of the Scripts panel.
struct ScriptEntry {
    std::string path;
    int32_t counter = 0;  // run count
    std::string dateTime; // last start, the locale's short date-time form
    int64_t execTime = 0; // execution time
    int32_t status = 0;   // index into the status labels (Completed, ...)
};

// One remembered search of the quick-search history.
struct SearchHistoryItem {
    int32_t mode = 0; // flags
    bool matchCase = false;
    std::string expression;
};

// A dock as saved in "SaveDocks.Dock<n>" and as the system dock list holds
// it. name is the document's file path, or "SystemDock" / "DockDebug".
struct DockEntry {
    std::string name;
    bool minimised = false;
    bool maximised = false;
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t windowNumber = 0;
    int32_t dockNumber = 0;
    int32_t tabNumber = 0;
    int32_t dockArea = 0;
    // 1: the graph tab of the document named, made again from it.
    int32_t graph = 0;
    // The import format the document was read with; empty for documents,
    // raw record files and layouts saved before it was kept.
    std::string format;
};

// The [Fonts] keys in file order.
enum PrefFontIndex : int32_t {
    FONT_TABLE_VIEW = 0,
    FONT_SIDE_PANELS,
    FONT_SYSTEM_LOG,
    FONT_FIND_DIALOG,
    FONT_LINE_NUMBERS,
    FONT_Nums
};

constexpr int32_t GLOBAL_TOOLBAR_COUNT = 7;
constexpr int32_t BASE_TOOLBAR_COUNT = 9;
constexpr int32_t CONNECTION_HISTORY_MAX = 20;
constexpr int32_t SEARCH_HISTORY_MAX = 20;
constexpr int32_t COLOR_SCHEME_MAX = 1024;
constexpr int32_t COLOR_SCHEME_MIN = 5;
constexpr int32_t PREF_LABEL_COUNT = 17;

class PrefGlobal {
public:
    // [Upgrade]
    static QDateTime NextUpgradeCheck;
    static bool AutoUpgrade;

    // [Global]
    static bool CreateLogFile;
    static int32_t PanesStartDock;
    // PanesStartDock as it was read at start-up: the front pane of every
    // new tab, while PanesStartDock follows the user and is saved.
    static int32_t PanesStartDockAtStart;
    static bool MainMenuShown;
    static bool MainToolbarShown;
    static bool LargeIcons;
    static bool OpenInSavedWindows;
    static bool PanelDebug;
    static bool PanelSystemLog;
    static bool GlobalShowOnStartup;
    static int32_t ForceUpgradeFromGui;
    static int32_t DebugLevel;
    static bool RDebugMode; // read, never written
    static std::string CompareProgramm;
    static std::string DefaultSaveDir;
    static bool GlobalToolbars[GLOBAL_TOOLBAR_COUNT];
    static bool BaseToolbars[BASE_TOOLBAR_COUNT];
    static std::string ScriptDir;
    static std::string DefaultDir;

    // [Connections]
    static std::string FirstPort;
    static std::string SecondPort;

    static std::vector<ScriptEntry> Scripts;
    static std::vector<SearchHistoryItem> SearchHistory;
    static std::vector<std::string> ConnectionIps;
    static std::vector<std::string> ConnectionQueries;
    static QFont Fonts[FONT_Nums];
    static std::vector<QRgb> ColorScheme; // 0xAARRGGBB
    // The two system docks ("SystemDock", "DockDebug"), replaced by saved
    // sections of those names, and the saved document docks in order.
    static std::vector<DockEntry> SystemDocks;
    static std::vector<DockEntry> SavedDocks;
    // What LoadDocks found wrong in the saved sections, one line each, for
    // the System Log once the window exists.
    static std::vector<std::string> DockLoadReports;
    // Labels of the script and history views.
    static const char* Labels[PREF_LABEL_COUNT];
    // The last filter text of the open-file dialog.
    static std::string LastOpenFilter;

    // Process-wide values beside the file; each directory ends with '/'.
    // ProgramDir is the executable's folder, taken by Load (through
    // TakeProgramDir) when it is empty.
    static std::string ProgramDir;
    static std::string IniDir;
    static bool IniInProgramDir;
    // The work folder, chosen at the start and again at a use that finds it
    // refused; empty when no place for it is safe.
    static std::string WorkDir;

    // The two ini objects.
    static ZmLib::IniFile IniViewer;
    static ZmLib::IniFile IniFormats;

    // The [Fonts] keys and toolbar names.
    static const char* const FontKeys[FONT_Nums];
    static const char* const GlobalToolbarNames[GLOBAL_TOOLBAR_COUNT];
    static const char* const BaseToolbarNames[BASE_TOOLBAR_COUNT];

    // Sets every value above to its default (program directory and ini
    // objects aside). Fonts need a GUI application.
    static void SetDefaults();

    // The ini directory: the program directory when it holds
    // "KxViewer.ini", else the home one ("~/KxViewer/") when that does; else
    // the first of the two that is writable; empty when neither is. Sets
    // IniInProgramDir.
    static std::string FindIniLocation();
    // ProgramDir, when empty, becomes the executable's folder.
    static void TakeProgramDir();
    static std::string HomeIniDir();
    // IniDir, or, while there is none, which folders could not take the
    // ini files and that settings will not be kept.
    static std::string IniLocationText();
    // Creates the directory when missing and a file in it; true when that
    // worked.
    static bool IsDirWritable(const std::string& dir);

    // Start-up: locations, both ini files, every section, then a save.
    static void Load();
    static void Save();
    // Flushes an ini file; a failure goes to the System Log and a message,
    // once until the file is written again unless retell is set.
    static bool CheckIniWritable(ZmLib::IniFile& ini, bool retell = false);

    // The import formats on an ini object. A foreign file has no built-in
    // head; saveAfterRenumber saves at once when the display order had to be
    // renumbered.
    static void LoadFormats(ZmLib::IniBase& ini, ImportFormatList& list, bool foreign, bool saveAfterRenumber);
    // Writes ImportFormats to "KxFormats.ini" and flushes it, first giving
    // sub-templates display order 0 and the others 1..k in their order.
    // False (reported) when the file cannot be written; the modified mark
    // then stays.
    static bool SaveFormats();
    static void SaveFormats(ZmLib::IniBase& ini, const ImportFormatList& list);

    // A section without a name, with a negative window number or an
    // overlong name is left out; a dock area other than left, right, top or
    // bottom becomes top. Each is reported in DockLoadReports.
    static void LoadDocks(ZmLib::IniBase& ini);
    // The main window's docks in its order; document docks whose file is
    // gone are left out. Written only while OpenInSavedWindows is on.
    static void SaveDocks(ZmLib::IniBase& ini, const std::vector<DockEntry>& docks);
    // The number after the first 8 characters of a window's object name
    // ("LRTabWin0" gives 0).
    static int32_t WindowNumberFromObjectName(const std::string& objectName);

    // choice 0: the home directory, 1: the program directory. Returns
    // IniInProgramDir.
    static bool MoveIniFiles(int32_t choice);

    // Pads the scheme to COLOR_SCHEME_MIN colours from the built-in table
    // (to all of it when empty); warns when it held 1 to 4.
    static void CheckColorListPolicy(int32_t count);
    // Colour i modulo the scheme's size; white for a negative i.
    static QColor GetColor(int32_t i);

    static std::string LogFilePath();
    static void ReportDiffError();

    // The per-user work folder "KXviewer-<uid>/" in $TMPDIR or /tmp when
    // nobody else can rename anything on the way there and nothing else has
    // its name, else in $XDG_RUNTIME_DIR or the cache folder; then why says
    // which and why. Empty when no place is safe, and why says so.
    static std::string WorkDirFor(uid_t uid, std::string* why = nullptr);
    // Holds the work folder in dir, made when missing. When WorkDir is
    // refused (its name may have been taken since the start) or empty, the
    // folder is chosen again as the start does; a new choice becomes WorkDir
    // and the System Log says why. Empty when held; otherwise what to tell
    // the user.
    static std::string HoldWorkDir(ZmLib::PrivateDir& dir);
    // The files the viewer makes in the work folder: the update's
    // downloads, named as on the server, and the comparison's text files,
    // named between a prefix and a suffix of their own.
    static constexpr const char* UPDATE_VERSION = "version";
    static constexpr const char* UPDATE_SIGNATURE = "version.sig";
    static constexpr const char* UPDATE_EXECUTABLE = "KxViewer";
    static constexpr const char* UPDATE_INSTALLER = "KxViewerSetup.run";
    static constexpr const char* COMPARE_PREFIX = "kxv-compare-";
    static constexpr const char* COMPARE_SUFFIX = ".txt";
    static bool IsWorkFile(const std::string& name);
    // Removes the viewer's own files from the folder, through the folder
    // held open, when it is this user's own; anything else stays. True also
    // when it is missing; otherwise why says, for the user, why the folder
    // was not used or which file could not be removed.
    static bool RemoveOwnWorkFiles(const std::string& dir, std::string* why = nullptr);

    // text centred in width characters of fill; a longer text is cut to
    // width when cut is set.
    static std::string CenterText(const std::string& text, int32_t width, char fill, bool cut);
    // The picture's PNG encoding as hexadecimal text.
    static std::string PixmapToHexPng(const QImage& image);

    // The text to the System Log and as a warning box.
    static void Report(const std::string& text);

private:
    // Why there is no ini directory: the two folders tried and what that
    // means for the user.
    static std::string NoIniLocationReason();
    // Opens both ini files in IniDir (empty and pathless when there is none).
    static void OpenIniFiles();
    static void LoadGlobal(ZmLib::IniBase& ini);
    static void SaveGlobal(ZmLib::IniBase& ini);
    static void LoadLists(ZmLib::IniBase& ini);
    static void SaveLists(ZmLib::IniBase& ini);
    static void LoadLooks(ZmLib::IniBase& ini);
    static void SaveLooks(ZmLib::IniBase& ini);
};
