// The saved docks: one section "SaveDocks.Dock<n>" per dock of the main
// window.
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string>

#include "kxviewer/kxvglobals.h"
#include "kxviewer/prefdata.h"
#include "utils/common/strbase.h"

namespace {

const char DOCK_PREFIX[] = "SaveDocks.Dock";
const char SYSTEM_DOCK[] = "SystemDock";
const char DEBUG_DOCK[] = "DockDebug";

struct DockIntKey {
    const char* key;
    int32_t DockEntry::*value;
};

const DockIntKey DOCK_INTS[] = {
    {"X", &DockEntry::x},
    {"Y", &DockEntry::y},
    {"H", &DockEntry::height},
    {"W", &DockEntry::width},
    {"Window_number", &DockEntry::windowNumber},
    {"Dock_number", &DockEntry::dockNumber},
    {"Tab_number", &DockEntry::tabNumber},
    {"Dock_area", &DockEntry::dockArea},
    {"Graph", &DockEntry::graph},
};

int32_t ReadNumber(const ZmLib::IniBase& ini, const char* section, const char* key)
{
    return ini.GetInt(section, key, 0, INT32_MIN, INT32_MAX);
}

// Longer names are no path of this system.
constexpr size_t NAME_MAX_BYTES = 4096;

bool IsDockArea(int32_t area)
{
    return area == DOCK_AREA_LEFT || area == DOCK_AREA_RIGHT || area == DOCK_AREA_TOP || area == DOCK_AREA_BOTTOM;
}

// Why a loaded section cannot be used; empty when it can.
std::string Rejection(bool named, const DockEntry& dock)
{
    if (!named || dock.name.empty())
        return "has no Name";
    if (dock.name.size() > NAME_MAX_BYTES)
        return "has a Name of " + std::to_string(dock.name.size()) + " bytes";
    if (dock.windowNumber < 0)
        return "has window number " + std::to_string(dock.windowNumber);
    return std::string();
}

bool IsDocument(const DockEntry& dock)
{
    return ZmLib::StrICmp(dock.name.c_str(), SYSTEM_DOCK) != 0 && ZmLib::StrICmp(dock.name.c_str(), DEBUG_DOCK) != 0;
}

bool FileExists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

} // namespace

void PrefGlobal::LoadDocks(ZmLib::IniBase& ini)
{
    std::vector<DockEntry> documents;
    for (size_t n = 0;; ++n) {
        std::string name = DOCK_PREFIX + std::to_string(n);
        const char* s = name.c_str();
        if (!ini.FindSection(s))
            break;
        DockEntry dock;
        const bool named = ini.GetText(s, "Name", dock.name);
        ini.GetText(s, "Format", dock.format);
        dock.maximised = ReadNumber(ini, s, "MAX") != 0;
        dock.minimised = ReadNumber(ini, s, "MIN") != 0;
        for (const DockIntKey& number : DOCK_INTS)
            dock.*number.value = ReadNumber(ini, s, number.key);
        const std::string rejected = Rejection(named, dock);
        if (!rejected.empty()) {
            DockLoadReports.push_back("Saved layout: [" + name + "] " + rejected + ", ignored");
            continue;
        }
        if (!IsDockArea(dock.dockArea)) {
            DockLoadReports.push_back("Saved layout: [" + name + "] has dock area " + std::to_string(dock.dockArea) +
                                      ", top used");
            dock.dockArea = DOCK_AREA_TOP;
        }
        if (ZmLib::StrICmp(dock.name.c_str(), SYSTEM_DOCK) == 0 && SystemDocks.size() > 0)
            SystemDocks[0] = dock;
        else if (ZmLib::StrICmp(dock.name.c_str(), DEBUG_DOCK) == 0 && SystemDocks.size() > 1)
            SystemDocks[1] = dock;
        else
            documents.push_back(dock);
    }
    std::stable_sort(documents.begin(), documents.end(), [](const DockEntry& a, const DockEntry& b) {
        if (a.windowNumber != b.windowNumber)
            return a.windowNumber < b.windowNumber;
        if (a.dockNumber != b.dockNumber)
            return a.dockNumber < b.dockNumber;
        return a.tabNumber < b.tabNumber;
    });
    SavedDocks.insert(SavedDocks.end(), documents.begin(), documents.end());
}

void PrefGlobal::SaveDocks(ZmLib::IniBase& ini, const std::vector<DockEntry>& docks)
{
    if (!OpenInSavedWindows)
        return;
    size_t n = 0;
    for (const DockEntry& dock : docks) {
        if (IsDocument(dock) && !FileExists(dock.name))
            continue;
        std::string name = DOCK_PREFIX + std::to_string(n++);
        const char* s = name.c_str();
        ini.DeleteSection(s);
        ini.SetText(s, "Name", dock.name);
        if (!dock.format.empty())
            ini.SetText(s, "Format", dock.format);
        ini.SetInt(s, "MAX", dock.maximised ? 1 : 0);
        ini.SetInt(s, "MIN", dock.minimised ? 1 : 0);
        for (const DockIntKey& number : DOCK_INTS)
            ini.SetInt(s, number.key, dock.*number.value);
    }
    ini.DeleteNumberedSections(DOCK_PREFIX, int64_t(n));
}

int32_t PrefGlobal::WindowNumberFromObjectName(const std::string& objectName)
{
    if (objectName.size() <= 8)
        return 0;
    long long number = strtoll(objectName.c_str() + 8, nullptr, 10);
    return int32_t(std::min<long long>(std::max<long long>(number, INT32_MIN), INT32_MAX));
}
