// The preference model: its values, start-up loading and saving of
// "KxViewer.ini" ([Upgrade] and [Global] here; lists, looks, docks and
// locations in their own files).
#include "kxviewer/prefdata.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <QBuffer>
#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QStandardPaths>
#include <QString>

#include "kxviewer/kxvglobals.h"
#include "kxviewer/preftable.h"
#include "kxviewer/shellservices.h"
#include "utils/kx/pkx.h"
#include "utils/osal/privatedir.h"

QDateTime PrefGlobal::NextUpgradeCheck;
bool PrefGlobal::AutoUpgrade;

bool PrefGlobal::CreateLogFile;
int32_t PrefGlobal::PanesStartDock;
int32_t PrefGlobal::PanesStartDockAtStart;
bool PrefGlobal::MainMenuShown;
bool PrefGlobal::MainToolbarShown;
bool PrefGlobal::LargeIcons;
bool PrefGlobal::OpenInSavedWindows;
bool PrefGlobal::PanelDebug;
bool PrefGlobal::PanelSystemLog;
bool PrefGlobal::GlobalShowOnStartup;
int32_t PrefGlobal::ForceUpgradeFromGui;
int32_t PrefGlobal::DebugLevel;
bool PrefGlobal::RDebugMode;
std::string PrefGlobal::CompareProgramm;
std::string PrefGlobal::DefaultSaveDir;
bool PrefGlobal::GlobalToolbars[GLOBAL_TOOLBAR_COUNT];
bool PrefGlobal::BaseToolbars[BASE_TOOLBAR_COUNT];
std::string PrefGlobal::ScriptDir;
std::string PrefGlobal::DefaultDir;

std::string PrefGlobal::FirstPort;
std::string PrefGlobal::SecondPort;

std::vector<ScriptEntry> PrefGlobal::Scripts;
std::vector<SearchHistoryItem> PrefGlobal::SearchHistory;
std::vector<std::string> PrefGlobal::ConnectionIps;
std::vector<std::string> PrefGlobal::ConnectionQueries;
QFont PrefGlobal::Fonts[FONT_Nums];
std::vector<QRgb> PrefGlobal::ColorScheme;
std::vector<DockEntry> PrefGlobal::SystemDocks;
std::vector<DockEntry> PrefGlobal::SavedDocks;
std::vector<std::string> PrefGlobal::DockLoadReports;
std::string PrefGlobal::LastOpenFilter;

std::string PrefGlobal::ProgramDir;
std::string PrefGlobal::IniDir;

namespace {
// Whether a save has named the file it could not write, since its last
// successful write.
bool viewerIniTold = false;
bool formatsIniTold = false;
} // namespace
bool PrefGlobal::IniInProgramDir;
std::string PrefGlobal::WorkDir;

ZmLib::IniFile PrefGlobal::IniViewer;
ZmLib::IniFile PrefGlobal::IniFormats;

const char* PrefGlobal::Labels[PREF_LABEL_COUNT] = {
    "Name",     "File",       "Path",       "Run count",     "Last start", "Execution time",
    "Status",   "Completed",  "Running",    "Interrupted by user", "Stopped after errors",
    "Expression: ", "Complex mode: ", "Match case: ", "Row: ", "Last row: ", "Color: ",
};

const char* const PrefGlobal::FontKeys[FONT_Nums] = {"Table View", "Side Panels", "System Log", "Find Dialog",
                                                     "Line numbers"};
const char* const PrefGlobal::GlobalToolbarNames[GLOBAL_TOOLBAR_COUNT] = {"Main", "File",    "Edit", "Script",
                                                                          "View", "Reports", "Tools"};
const char* const PrefGlobal::BaseToolbarNames[BASE_TOOLBAR_COUNT] = {
    "File", "Colorize", "Find", "Selection", "Navigate", "Copy", "View", "Reports", "Informer"};

namespace {

// The defaults are set once at start-up, before anything reads them.
[[maybe_unused]] const bool defaultsSet = (PrefGlobal::SetDefaults(), true);

const char SEC_UPGRADE[] = "Upgrade";
const char SEC_GLOBAL[] = "Global";
const char UPGRADE_TIME_FORMAT[] = "dd.MM.yyyy-HH.mm.ss";
// Log files are raw records, cut at this size.
constexpr uint32_t LOG_FILE_SIZE_LIMIT = 0x7FFFFFFF;

struct FlagKey {
    const char* key;
    bool* flag;
};

const FlagKey GLOBAL_FLAGS[] = {
    {"CreateLogFile", &PrefGlobal::CreateLogFile},
    {"MainMenuShown", &PrefGlobal::MainMenuShown},
    {"MainToolbarShown", &PrefGlobal::MainToolbarShown},
    {"LargeIcons", &PrefGlobal::LargeIcons},
    {"OpenInSavedWindows", &PrefGlobal::OpenInSavedWindows},
    {"PanelDebug", &PrefGlobal::PanelDebug},
    {"PanelSystemLog", &PrefGlobal::PanelSystemLog},
    {"GlobalShowOnStartup", &PrefGlobal::GlobalShowOnStartup},
};

struct IntKey {
    const char* key;
    int32_t* value;
};

const IntKey GLOBAL_INTS[] = {
    {"PanesStartDock", &PrefGlobal::PanesStartDock},
    {"ForceUpgradeFromGui", &PrefGlobal::ForceUpgradeFromGui},
    {"DebugLevel", &PrefGlobal::DebugLevel},
};

void ReadFlag(const ZmLib::IniBase& ini, const char* section, const char* key, bool& flag)
{
    int64_t value = 0;
    if (ini.GetInt64(section, key, value))
        flag = value != 0;
}

void ReadToolbars(const ZmLib::IniBase& ini, const char* prefix, bool* flags, int32_t count)
{
    for (int32_t i = 0; i < count; ++i)
        ReadFlag(ini, SEC_GLOBAL, (prefix + std::to_string(i)).c_str(), flags[i]);
}

void WriteToolbars(ZmLib::IniBase& ini, const char* prefix, const bool* flags, int32_t count)
{
    for (int32_t i = 0; i < count; ++i)
        ini.SetInt(SEC_GLOBAL, (prefix + std::to_string(i)).c_str(), flags[i] ? 1 : 0);
}

std::string CurrentDir()
{
    std::string dir(4096, '\0');
    while (getcwd(dir.data(), dir.size()) == nullptr) {
        if (errno != ERANGE)
            return std::string();
        dir.resize(dir.size() * 2);
    }
    dir.resize(strlen(dir.c_str()));
    return dir;
}

void MakeDirs(const std::string& dir)
{
    std::error_code error;
    if (!dir.empty() && !std::filesystem::create_directories(dir, error) && error)
        KX_WARNING(ZmLib::KxSys, "PrefGlobal: cannot create directory '%s'", dir.c_str());
}

bool HaveGuiApplication() { return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr; }

void OpenLogFile()
{
    if (ZmLib::PKX::FindOutput(ZmLib::KX_OUT_FILE))
        return;
    uint32_t mask = ZmLib::PKX::NewFile(PrefGlobal::LogFilePath().c_str(), LOG_FILE_SIZE_LIMIT, false);
    if (mask != 0)
        ZmLib::KX::AddFlagsAll(mask);
}

} // namespace

void PrefGlobal::Report(const std::string& text)
{
    QString message = QString::fromLocal8Bit(text.c_str());
    KxvShell().AddToSystemLog(message);
    KxvShell().Information(message, true);
}

void PrefGlobal::SetDefaults()
{
    NextUpgradeCheck = StartupTime();
    AutoUpgrade = true;
    CreateLogFile = true;
    PanesStartDock = 0;
    PanesStartDockAtStart = 0;
    MainMenuShown = true;
    MainToolbarShown = true;
    LargeIcons = false;
    OpenInSavedWindows = true;
    PanelDebug = true;
    PanelSystemLog = true;
    GlobalShowOnStartup = true;
    ForceUpgradeFromGui = 0;
    DebugLevel = 1;
    RDebugMode = false;
    CompareProgramm.clear();
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    DefaultSaveDir = documents.isEmpty() ? std::string() : QFile::encodeName(documents + "/KxViewer").toStdString();
    for (bool& shown : GlobalToolbars)
        shown = true;
    for (bool& shown : BaseToolbars)
        shown = true;
    BaseToolbars[0] = false;
    ScriptDir = ProgramDir + "Samples";
    DefaultDir = ProgramDir;
    FirstPort = DEFAULT_FIRST_PORT;
    SecondPort = DEFAULT_SECOND_PORT;
    Scripts.clear();
    SearchHistory.clear();
    ConnectionIps.clear();
    ConnectionQueries.clear();
    if (HaveGuiApplication())
        for (int32_t i = 0; i < FONT_Nums; ++i)
            Fonts[i] = DefaultFont(i);
    ColorScheme.clear();
    SystemDocks.clear();
    for (const KxvSystemDock& dock : SystemDockDefaults) {
        DockEntry entry;
        entry.name = dock.name;
        entry.minimised = dock.minimised;
        entry.maximised = dock.maximised;
        entry.tabNumber = dock.tabNumber;
        entry.dockArea = dock.dockArea;
        SystemDocks.push_back(entry);
    }
    SavedDocks.clear();
    DockLoadReports.clear();
    LastOpenFilter.clear();
}

void PrefGlobal::LoadGlobal(ZmLib::IniBase& ini)
{
    std::string text;
    if (ini.GetText(SEC_UPGRADE, "NextUpgradeCheck", text)) {
        QDateTime when = QDateTime::fromString(QString::fromLocal8Bit(text.c_str()), UPGRADE_TIME_FORMAT);
        if (when.isValid())
            NextUpgradeCheck = when;
    }
    ReadFlag(ini, SEC_UPGRADE, "AutoUpgrade", AutoUpgrade);

    for (const FlagKey& flag : GLOBAL_FLAGS)
        ReadFlag(ini, SEC_GLOBAL, flag.key, *flag.flag);
    for (const IntKey& number : GLOBAL_INTS)
        *number.value = ini.GetInt(SEC_GLOBAL, number.key, *number.value, INT32_MIN, INT32_MAX);
    PanesStartDockAtStart = PanesStartDock;
    ReadFlag(ini, SEC_GLOBAL, "RDebugMode", RDebugMode);
    ReadToolbars(ini, "GlobalToolbars", GlobalToolbars, GLOBAL_TOOLBAR_COUNT);
    ReadToolbars(ini, "BaseToolbars", BaseToolbars, BASE_TOOLBAR_COUNT);
    ini.GetText(SEC_GLOBAL, "CompareProgramm", CompareProgramm);
    ini.GetText(SEC_GLOBAL, "DefaultSaveDir", DefaultSaveDir);
    ini.GetText(SEC_GLOBAL, "ScriptDir", ScriptDir);
    ini.GetText(SEC_GLOBAL, "DefaultDir", DefaultDir);
}

void PrefGlobal::SaveGlobal(ZmLib::IniBase& ini)
{
    ini.SetText(SEC_UPGRADE, "NextUpgradeCheck", NextUpgradeCheck.toString(UPGRADE_TIME_FORMAT).toStdString());
    ini.SetInt(SEC_UPGRADE, "AutoUpgrade", AutoUpgrade ? 1 : 0);

    for (const FlagKey& flag : GLOBAL_FLAGS)
        ini.SetInt(SEC_GLOBAL, flag.key, *flag.flag ? 1 : 0);
    for (const IntKey& number : GLOBAL_INTS)
        ini.SetInt(SEC_GLOBAL, number.key, *number.value);
    ini.SetText(SEC_GLOBAL, "CompareProgramm", CompareProgramm);
    ini.SetText(SEC_GLOBAL, "DefaultSaveDir", DefaultSaveDir);
    WriteToolbars(ini, "GlobalToolbars", GlobalToolbars, GLOBAL_TOOLBAR_COUNT);
    WriteToolbars(ini, "BaseToolbars", BaseToolbars, BASE_TOOLBAR_COUNT);
    ini.SetText(SEC_GLOBAL, "ScriptDir", ScriptDir);
    std::string current = CurrentDir();
    if (!current.empty())
        DefaultDir = current;
    ini.SetText(SEC_GLOBAL, "DefaultDir", DefaultDir);
}

void PrefGlobal::Load()
{
    TakeProgramDir();
    SetDefaults();

    IniDir = FindIniLocation();
    viewerIniTold = formatsIniTold = false;
    // This names the cause; the save at the end of the load has no other
    // to tell, so it keeps quiet.
    if (IniDir.empty()) {
        Report("Kxviewer.ini cannot be created: " + NoIniLocationReason());
        viewerIniTold = true;
    }

    OpenIniFiles();
    std::string workWhy;
    WorkDir = WorkDirFor(geteuid(), &workWhy);
    if (!workWhy.empty())
        KxvShell().AddToSystemLog(QString::fromLocal8Bit(workWhy.c_str()));

    ZmLib::IniBase& ini = IniViewer.Ini;
    LoadGlobal(ini);
    if (CreateLogFile && DebugLevel >= 0 && !IniDir.empty())
        OpenLogFile();

    LoadFormats(IniFormats.Ini, ImportFormats, false, true);
    LoadLists(ini);
    MakeDirs(DefaultSaveDir);
    PrefTable::Load(true, ini, PrefTabTable::Default(), PrefKxTable::Default());
    LoadLooks(ini);
    if (OpenInSavedWindows)
        LoadDocks(ini);

    if (!DefaultDir.empty() && chdir(DefaultDir.c_str()) != 0)
        KX_WARNING(ZmLib::KxSys, "PrefGlobal: cannot change to directory '%s'", DefaultDir.c_str());
    ZmLib::KX::SetLevelAll(DebugLevel);

    Save();
    // A folder that is not ours is left alone; the user learns why now, not
    // only at the first comparison or download it refuses.
    std::string why;
    if (!WorkDir.empty() && !RemoveOwnWorkFiles(WorkDir, &why))
        KxvShell().AddToSystemLog(QString::fromLocal8Bit(why.c_str()));
}

void PrefGlobal::OpenIniFiles()
{
    if (IniDir.empty()) {
        // No place to write to: both stay empty, and a save reports it.
        IniViewer.Open(nullptr, nullptr, nullptr);
        IniFormats.Open(nullptr, nullptr, nullptr);
        return;
    }
    // Only the first of repeated sections is read; the later copies go, so
    // that a save leaves each section once.
    for (ZmLib::IniFile* ini : {&IniViewer, &IniFormats})
        if (!ini->Open(IniDir.c_str(), ini == &IniViewer ? "KxViewer" : "KxFormats", "ini") &&
            !ini->Refusal().empty())
            Report(ini->Refusal());
    IniViewer.Ini.DeleteRepeatedSections();
    IniFormats.Ini.DeleteRepeatedSections();
}

void PrefGlobal::Save()
{
    ZmLib::IniBase& ini = IniViewer.Ini;
    SaveGlobal(ini);
    SaveLists(ini);
    PrefTable::Save(true, ini, PrefTabTable::Default(), PrefKxTable::Default(), nullptr, 0);
    SaveLooks(ini);
    CheckIniWritable(IniViewer);
}

bool PrefGlobal::CheckIniWritable(ZmLib::IniFile& ini, bool retell)
{
    if (!ini.Ini.IsModified())
        return true;
    const std::string path = ini.GetPath();
    // A folder that cannot take the file is not tried: the write would raise
    // a verification box at every save (one after every opened file). The
    // user is told once; the changes stay marked for a later save.
    const std::string folder = path.substr(0, path.rfind('/') + 1);
    const bool writable = !path.empty() && access(folder.c_str(), W_OK) == 0;
    bool& told = &ini == &IniFormats ? formatsIniTold : viewerIniTold;
    if (writable && ini.Flush()) {
        told = false;
        return true;
    }
    if (!told || retell)
        Report("Cannot write '" +
               (path.empty() ? HomeIniDir() + (&ini == &IniFormats ? "KxFormats.ini" : "KxViewer.ini") : path) +
               "', please check it is writable!");
    told = true;
    return false;
}

void PrefGlobal::CheckColorListPolicy(int32_t count)
{
    if (count >= COLOR_SCHEME_MIN)
        return;
    if (count > 0)
        KX_WARNING(ZmLib::KxSys, "Number of colors in the colors scheme is too small (%d)", count);
    int32_t target = count > 0 ? COLOR_SCHEME_MIN : BUILTIN_COLOR_COUNT;
    ColorScheme.resize(std::min(ColorScheme.size(), size_t(count > 0 ? count : 0)));
    for (int32_t i = int32_t(ColorScheme.size()); i < target; ++i)
        ColorScheme.push_back(0xFF000000u | BuiltinColors[i]);
}

QColor PrefGlobal::GetColor(int32_t i)
{
    if (i < 0 || ColorScheme.empty())
        return QColor(Qt::white);
    return QColor::fromRgba(ColorScheme[size_t(i) % ColorScheme.size()]);
}

void PrefGlobal::ReportDiffError()
{
    if (CompareProgramm.empty()) {
        Report("External diff program is not set");
        return;
    }
    // The box names the program on a line of its own; the System Log entry
    // is one line, which keeps the whole message.
    const QString program = QFile::decodeName(CompareProgramm.c_str());
    KxvShell().AddToSystemLog(QStringLiteral("Diff execution error: ") + program);
    KxvShell().Information(QStringLiteral("Diff execution error:\n") + program, true);
}

std::string PrefGlobal::LogFilePath() { return IniDir + "KxViewer" + ".kx"; }

std::string PrefGlobal::CenterText(const std::string& text, int32_t width, char fill, bool cut)
{
    size_t target = width > 0 ? size_t(width) : 0;
    if (text.size() >= target)
        return cut ? text.substr(0, target) : text;
    size_t left = (target - text.size()) / 2;
    std::string out(left, fill);
    out += text;
    out.resize(target, fill);
    return out;
}

std::string PrefGlobal::PixmapToHexPng(const QImage& image)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png.toHex().toStdString();
}
