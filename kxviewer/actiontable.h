// The process-wide action table: every command of the program, by action id,
// and the main window's binding list.
#pragma once

#include "tearoffwidget/comaction.h"

// Ids 0..138 are commands; entry 139 stays empty.
constexpr int32_t ACTION_TABLE_SIZE = 140;
static_assert(ACTION_TABLE_SIZE == ComActionCount, "the factory holds one slot per table entry");
extern const ComAction ActionTable[ACTION_TABLE_SIZE];

// Main-window bindings, ended by id -1. Written by the factory (positions).
constexpr int32_t MAIN_BINDING_COUNT = 64;
extern ComActionBinding MainWindowBindings[MAIN_BINDING_COUNT + 1];

// The action ids the shell refers to by name.
enum ActionId : int32_t {
    ACT_NEW_BLANK = 0,
    ACT_OPEN = 3,
    ACT_IMPORT = 4,
    ACT_SAVE_ALL = 5,
    ACT_CLOSE_ALL = 6,
    ACT_IMPORT_FORMATS = 7,
    ACT_PREFERENCES = 8,
    ACT_CHECK_UPDATES = 9,
    ACT_SHOW_MAIN_MENU = 10,
    ACT_SHOW_MAIN_TOOLBAR = 11,
    ACT_SYSTEM_PANELS = 12,
    ACT_HELP = 13,
    ACT_ABOUT = 14,
    ACT_QUIT = 15,
    ACT_OPEN_DEBUG_LOG = 16,
    ACT_SAVE = 17,
    ACT_SAVE_AS = 18,
    ACT_EXPORT_PDF = 19,
    ACT_EXPORT_EXCEL = 20,
    ACT_EXPORT_CSV = 21,
    ACT_EXPORT_TXT = 22,
    ACT_CLOSE = 23,
    ACT_SCRIPT_PANEL = 25,
    ACT_DOCK_HORIZONTALLY = 26,
    ACT_DOCK_VERTICALLY = 27,
    ACT_DOCK_DETACH = 28,
    ACT_DOCK_ATTACH = 29,
    ACT_CLONE = 30,
    ACT_FULL_SCREEN = 31,
    ACT_FUNCTION_CHAINS = 32,
    ACT_GRAPH = 33,
    ACT_FIND = 34,
    ACT_JUMP_HOME = 47,
    ACT_JUMP_END = 48,
    ACT_PREV_POINT = 51,
    ACT_PREV_STOP = 52,
    ACT_NEXT_POINT = 53,
    ACT_NEXT_STOP = 54,
    ACT_NEXT_SELECTION = 55,
    ACT_NEXT_BOOKMARK = 56,
    ACT_NEXT_HIGHLIGHT = 57,
    ACT_NEXT_ERROR = 58,
    ACT_PREV_SELECTION = 59,
    ACT_PREV_BOOKMARK = 60,
    ACT_PREV_HIGHLIGHT = 61,
    ACT_PREV_ERROR = 62,
    ACT_FIND_NEXT = 63,
    ACT_FIND_BACK = 64,
    ACT_COPY = 65,
    ACT_PASTE = 68,
    ACT_ERASE = 70,
    ACT_SELECT_ALL = 72,
    ACT_BOOKMARK = 80,
    ACT_SCRIPT_RUN = 106,
    ACT_SCRIPT_ADD = 107,
    ACT_SCRIPT_EXPAND = 108,
    ACT_SCRIPT_COLLAPSE = 109,
    ACT_SCRIPT_DELETE = 110,
    ACT_SCRIPT_CLEAR_COUNTER = 111,
    ACT_SCRIPT_COPY = 112,
    ACT_SCRIPT_STOP = 113,
};

// The descriptor of id; asserts 0 <= id < ACTION_TABLE_SIZE.
const ComAction& ActionDescriptor(int32_t id);

// Publishes the table and the script interpreter's wait callback, then loads
// the preferences and import formats. Called once by main.
void ActionTableInit();
