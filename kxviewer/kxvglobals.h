// The viewer's static defaults: the file-type table, the built-in import
// template, the system docks, fonts, colours and pens, the colour table that
// pads a colour scheme, ports and the settings sub-path.
#pragma once

#include <cstdint>
#include <vector>

#include <QColor>
#include <QDateTime>
#include <QFont>
#include <QPen>

#include "kxlib/table/kxtable.h"
#include "kxviewer/importformat.h"

// Type ids of the built-in readers; ids from 0 up are import-format indices.
enum KxvFileTypeId : int32_t {
    FILE_TYPE_KXL = -1,
    FILE_TYPE_KX = -2,
    FILE_TYPE_KXD = -3,
};

struct KxvFileType {
    const char* name;
    const char* extensions[3]; // null after the last one
    int32_t typeId;
};

constexpr int32_t FILE_TYPE_COUNT = 3;
constexpr KxvFileType FileTypes[] = {
    {"KX Local file", {"kxl", nullptr, nullptr}, FILE_TYPE_KXL},
    {"KXD Raw file", {"kxd", nullptr, nullptr}, FILE_TYPE_KXD},
    {"KX Raw file", {"kx", "kxtcp", "kxudp"}, FILE_TYPE_KX},
};
static_assert(sizeof(FileTypes) / sizeof(FileTypes[0]) == FILE_TYPE_COUNT, "file-type table");

// The type id whose extensions hold suffix (ASCII case ignored); 0 with
// found false when none does.
int32_t FileTypeBySuffix(const char* suffix, bool* found);

struct KxvTemplateField {
    const char* key;
    int32_t viewPosition;
    const char* expression;
};

constexpr int32_t SYSLOG_FIELD_COUNT = 5;
constexpr KxvTemplateField SysLogFields[] = {
    {"TIME", 0, "(\\w{3}[\\d\\W]+)\\s"},
    {"HOST", 1, "(\\(?\\w+\\)?)\\s"},
    {"LEVEL", 2, "[\\w\\.]+?(\\w+)\\s"},
    {"KXNAME", 3, "([^:]+):?\\s"},
    {"TEXT", 4, "(.*)"},
};
static_assert(sizeof(SysLogFields) / sizeof(SysLogFields[0]) == SYSLOG_FIELD_COUNT, "SysLog fields");

// The built-in formats ("SysLog" alone); ImportFormats starts as a copy.
const ImportFormatList& DefaultImportTemplates();

constexpr int32_t BUILTIN_COLOR_COUNT = 21;
constexpr uint32_t BuiltinColors[] = {
    0xFFFF66, 0xFF66FF, 0x00CCFF, 0x339999, 0x66FFFF, 0xCCFF33, 0x999966, 0xFFFFCC, 0xFFCC66, 0xFF6633, 0x2821FF,
    0xFFCCCC, 0xCC9999, 0xFF6699, 0x00FF00, 0xCC99CC, 0x0099FF, 0xFF9900, 0x33FFCC, 0xCC99FF, 0x999999,
};
static_assert(sizeof(BuiltinColors) / sizeof(BuiltinColors[0]) == BUILTIN_COLOR_COUNT, "colour table");

// The two system docks in the order of the system dock list.
struct KxvSystemDock {
    const char* name;
    bool minimised;
    bool maximised;
    int32_t tabNumber;
    int32_t dockArea;
};
constexpr int32_t SYSTEM_DOCK_COUNT = 2;
// Qt's dock areas as saved.
constexpr int32_t DOCK_AREA_LEFT = 1;
constexpr int32_t DOCK_AREA_RIGHT = 2;
constexpr int32_t DOCK_AREA_TOP = 4;
constexpr int32_t DOCK_AREA_BOTTOM = 8;
constexpr KxvSystemDock SystemDockDefaults[] = {
    {"SystemDock", false, true, 0, DOCK_AREA_BOTTOM},
    {"DockDebug", false, true, 1, DOCK_AREA_BOTTOM},
};
static_assert(sizeof(SystemDockDefaults) / sizeof(SystemDockDefaults[0]) == SYSTEM_DOCK_COUNT, "system docks");

// Default fonts: the system's fixed or general font at a point size, in the
// order of the [Fonts] keys.
struct KxvFontDefault {
    const char* key;
    bool fixed;
    int32_t pointSize;
};
constexpr int32_t FONT_DEFAULT_COUNT = 5;
constexpr KxvFontDefault FontDefaults[] = {
    {"Table View", true, 10},  {"Side Panels", false, 10}, {"System Log", true, 10},
    {"Find Dialog", true, 9},  {"Line numbers", false, 8},
};
static_assert(sizeof(FontDefaults) / sizeof(FontDefaults[0]) == FONT_DEFAULT_COUNT, "fonts");
// Needs a GUI application.
QFont DefaultFont(int32_t index);

// The time of start-up (the default of the next upgrade check).
QDateTime StartupTime();

constexpr const char DEFAULT_FIRST_PORT[] = "1420";
constexpr const char DEFAULT_SECOND_PORT[] = "1410";
// The work folder's name without its "-<uid>".
constexpr const char SETTINGS_SUB_PATH[] = "/KXviewer/";

// Colours and pens of the windows.
namespace KxvLook {
QColor DialogBackground();
QColor GraphBackground(int32_t shade); // 0, 1, 2: light to dark grey
QColor GraphAccent();
QColor GraphMarker();
QPen GraphDashedPen();
QPen GraphElementPen();
QColor GraphSlider();
QColor SystemLogCurrentLine();
QColor SystemLogTimeBackground();
QColor TableCellBackground();
QColor TableHeaderBackground();
} // namespace KxvLook

// The last row copy: a paste takes its records from here, not from the
// clipboard. The source table is held by one reference; shut-down releases
// it.
struct KxvCopyInformation {
    // What a copy took: the selected rows, those of the checked colours, or
    // every row.
    enum Mode : int32_t { SELECTED = 0, BY_COLORS = 1, ALL_ROWS = 2 };

    int32_t mode = SELECTED;
    KxTable* source = nullptr;
    // The rows taken at the copy (not in ALL_ROWS) and the source's row
    // version then: the rows name the same records only while it holds.
    std::vector<KxCopyRun> runs;
    uint64_t rowsVersion = 0;

    // Drops the source's reference (the table goes with its last one).
    void Clear();
};

namespace KxvGlobals {
extern KxvCopyInformation CopyInformation;
} // namespace KxvGlobals
