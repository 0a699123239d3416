#include "kxviewer/actiontable.h"

#include <QCoreApplication>

#include "kxviewer/kxvchannels.h"
#include "kxviewer/prefdata.h"
#include "script/scriptbase/codeparser.h"
#include "script/scriptlogicalexp/scriptlogicalexpparser.h"

// Fields: enable rule, checkable, key, icon, second icon, menu text, status tip.
const ComAction ActionTable[ACTION_TABLE_SIZE] = {
    {0, false, 19, "New", nullptr, "&New Blank Document", "Open new blank document"}, // 0
    {0, false, 6, "NewConnection", "NewConnection_dis", "Online &Connection", "Open new on-line connection to KX daemon"}, // 1
    {0, false, 0, "NewQuery", "NewQuery_dis", "Database &Query", "Query data bunch from KX daemon"}, // 2
    {0, false, 3, "Open", "Open_dis", "&Open Document", "Open document"}, // 3
    {0, false, 0, "Import", "Import_dis", "&Import", "Import"}, // 4
    {0, false, 0, "SaveAll", "SaveAll_dis", "&Save All", "Save all opened documents"}, // 5
    {0, false, 0, nullptr, nullptr, "&Close All", "Close all tabs/windows"}, // 6
    {0, false, 0, "PrefImport", nullptr, "&Import Formats", "Configure Import Formats"}, // 7
    {0, false, 64, "Preferences", nullptr, "&Preferences", "User Preferences and Settings"}, // 8
    {0, false, 0, nullptr, nullptr, "Check for Updates", nullptr}, // 9
    {0, true, 0, nullptr, nullptr, "Show Main Menu                    F10", nullptr}, // 10
    {0, true, 0, nullptr, nullptr, "Show Main Toolbar", nullptr}, // 11
    {0, true, 0, "LogPanel", nullptr, "S&ystem Panels On/Off", nullptr}, // 12
    {0, false, 1, nullptr, nullptr, "&Help", "Show application's help"}, // 13
    {0, false, 0, "About", nullptr, "&About", "Show the application's About box"}, // 14
    {0, false, 65, nullptr, nullptr, "&Quit", "Quit the application"}, // 15
    {0, false, 0, nullptr, nullptr, "Open this in Table view", nullptr}, // 16
    {1, false, 5, "Save", "Save_dis", "&Save", "Save current document as a KXL file"}, // 17
    {1, false, 63, "SaveAs", "SaveAs_dis", "&Save As...", "Save current document as a new file"}, // 18
    {1, false, 18, "Export-Acrobat", "Export-Acrobat_dis", "&Export to PDF", "Export current document to PDF file"}, // 19
    {1, false, 0, "Export-Excel", "Export-Excel_dis", "&Export to Excel", "Export current document to Excel file"}, // 20
    {1, false, 0, "Export-CSV", "Export-CSV_dis", "&Export to CSV", "Export current document to CSV file"}, // 21
    {1, false, 0, "Export-CSV", "Export-CSV_dis", "&Export to TXT", "Export current document to TXT file"}, // 22
    {1, false, 4, nullptr, nullptr, "&Close", "Close current Document Window"}, // 23
    {1, true, 0, "SidePane", nullptr, "S&ide Panels On/Off", nullptr}, // 24
    {0, true, 0, "Script", nullptr, "Script On/Off", nullptr}, // 25
    {1, false, 0, "Tab2HorizView", "Tab2HorizView_dis", "Dock Horizontally", "Move current Document Window to a new horizontal Docked Panel"}, // 26
    {1, false, 0, "Tab2VertView", "Tab2VertView_dis", "Dock Vertically", "Move current Document Window to a new vertical Docked Panel"}, // 27
    {1, false, 0, "TabDetach", "TabDetach_dis", "Detach from Panel", "Detach current Document Window from its Panel and move it to a new Floating Window"}, // 28
    {1, false, 0, "TabAttach", nullptr, "Attach to Main Panel", "Attach current Document Window to Main Panel"}, // 29
    {1, false, 0, nullptr, nullptr, "Clone", nullptr}, // 30
    {1, true, 66, "FullScreen", "FullScreen_dis", "&Full Screen Mode", "Full Screen Mode On/Off"}, // 31
    {2, false, 0, "Function", "Function_dis", "Function Chains", "Generate function chains from current document"}, // 32
    {2, false, 0, "Graph", "Graph_dis", "Document Graph", nullptr}, // 33
    {2, false, 22, "Find", "Find_dis", "&Find...", "Open Find Dialog"}, // 34
    {1, false, 0, nullptr, nullptr, "Compare Selected Tabs", nullptr}, // 35
    {2, true, 0, "Colorize", "Colorize_dis", "&Colorize", "Colorize all rows grouped by tree fields"}, // 36
    {2, true, 0, "Aa", nullptr, "&Match Case", "Switch 'Match Case' mode On/Off"}, // 37
    {2, true, 0, nullptr, nullptr, "Insert function to text", nullptr}, // 38
    {2, true, 0, nullptr, nullptr, "Indent text according to nesting", nullptr}, // 39
    {2, true, 0, nullptr, nullptr, "Relative Time", "Messages time set relative to a first record"}, // 40
    {2, false, 0, nullptr, nullptr, "Set Time = 0 here", "Set Time = 0 here and recalculate all row's time"}, // 41
    {1, true, 0, nullptr, nullptr, "Show Presentation Errors", nullptr}, // 42
    {1, false, 0, nullptr, nullptr, "Change Color...", "Choose color for selections"}, // 43
    {1, false, 0, nullptr, nullptr, "Change Color...", "Choose color for highlights"}, // 44
    {1, false, 0, nullptr, nullptr, "Change Color...", "Choose color for bookmarks"}, // 45
    {1, false, 0, nullptr, nullptr, "Select Levels", nullptr}, // 46
    {1, false, 0x5000010, nullptr, nullptr, "Jump to start", nullptr}, // 47
    {1, false, 0x5000011, nullptr, nullptr, "Jump to end", nullptr}, // 48
    {1, false, 13, "Back", "Back_dis", "Navigate &Back", "Go Back to previous position"}, // 49
    {1, false, 0, nullptr, nullptr, "Go to my cursor", nullptr}, // 50
    {1, false, 0, "Navigate_left", nullptr, "Previous Row/Point", "Go to previous Row/Point"}, // 51
    {1, false, 0, "Navigate_left2", nullptr, "Previous Stop-point", "Find Previous Stop-point (Bookmark/Selection/Error)"}, // 52
    {1, false, 0, "Navigate_right", nullptr, "Next Row/Point", "Go to next Row/Point"}, // 53
    {1, false, 0, "Navigate_right2", nullptr, "Next Stop-point", "Find Next Stop-point (Bookmark/Selection/Error)"}, // 54
    {1, false, 0, nullptr, nullptr, "Next Selection", "Find Next Selection"}, // 55
    {1, false, 0x1000031, nullptr, nullptr, "Next Bookmark", "Find Next Bookmark"}, // 56
    {1, false, 0, nullptr, nullptr, "Next Highlight", "Find Next Highlight"}, // 57
    {1, false, 0x1000033, nullptr, nullptr, "Next Error", "Find Next Error"}, // 58
    {1, false, 0, nullptr, nullptr, "Previous Selection", "Find Previous Selection"}, // 59
    {1, false, 0x3000031, nullptr, nullptr, "Previous Bookmark", "Find Previous Bookmark"}, // 60
    {1, false, 0, nullptr, nullptr, "Previous Highlight", "Find Previous Highlight"}, // 61
    {1, false, 0x3000033, nullptr, nullptr, "Previous Error", "Find Previous Error"}, // 62
    {1, false, 23, "FindNext", "FindNext_dis", "Find &Next", nullptr}, // 63
    {1, false, 24, "FindBack", "FindBack_dis", "Find &Back", nullptr}, // 64
    {2, false, 9, "Copy", "Copy_dis", "Copy", "Copy all selected rows to the clipboard"}, // 65
    {2, false, 0, "CopyAll", "Copy_dis", "Copy All", "Copy all rows to the clipboard"}, // 66
    {1, false, 0, nullptr, nullptr, "Copy Checked Ranges", nullptr}, // 67
    {2, false, 10, "Paste", "Paste_dis", "Paste", "Paste copied rows to the current document"}, // 68
    {2, false, 0, nullptr, nullptr, "Paste to End", "Append selected rows after the last row"}, // 69
    {2, false, 0, "Erase", "Erase_dis", "Erase", "Erase selected rows from the current document"}, // 70
    {1, true, 0, "Select", nullptr, "&Select", "Select all matching rows"}, // 71
    {1, false, 26, nullptr, nullptr, "Select All", "Select all rows"}, // 72
    {2, false, 0, nullptr, nullptr, "Select Function Context", nullptr}, // 73
    {1, false, 67, nullptr, nullptr, "Clear Selection", "Clear all selection"}, // 74
    {2, true, 0, "Highlight", nullptr, "&Highlight Matches", "Highlight all matching words"}, // 75
    {2, false, 0, nullptr, nullptr, "Clear Highlights", "Clear highlights"}, // 76
    {2, true, 0, "Filter", "Filter_dis", "A&pply Filter", "Apply Current Filter"}, // 77
    {1, false, 0, nullptr, nullptr, "Filter Selected", "Filter Selected rows"}, // 78
    {2, false, 0, nullptr, nullptr, "Clear Filter", "Clear filter"}, // 79
    {1, true, 0x5000031, "Bookmark", nullptr, "&Bookmark", "Set/Clear Bookmark"}, // 80
    {1, false, 0, nullptr, nullptr, "&Mark matching rows", "Mark matching rows"}, // 81
    {1, false, 0, nullptr, nullptr, "Clear Bookmarks", "Clear bookmarks"}, // 82
    {2, true, 0, "Pin", "Pin_dis", "Pin Phrase", nullptr}, // 83
    {2, false, 0, nullptr, nullptr, "Clear All", nullptr}, // 84
    {2, false, 0, nullptr, nullptr, "Copy Cell", "Copy data in current mouse position"}, // 85
    {2, false, 0, nullptr, nullptr, "Find: xxx", "Open Find Dialog and initialize the condition with current cell data"}, // 86
    {2, false, 0, nullptr, nullptr, "Find: Load current row to Find Dialog", nullptr}, // 87
    {2, false, 0, "Find", "Find_dis", "Open in find dialog", nullptr}, // 88
    {2, false, 0, nullptr, nullptr, "Quick Filter", nullptr}, // 89
    {2, false, 0, nullptr, nullptr, "Quick Selection", nullptr}, // 90
    {1, false, 0, nullptr, nullptr, "Replace Selection Color to Current", nullptr}, // 91
    {1, false, 0, nullptr, nullptr, "Replace Selection Color", nullptr}, // 92
    {2, false, 0, nullptr, nullptr, "Copy as Plain text", nullptr}, // 93
    {2, false, 0, nullptr, nullptr, "Copy as RTF", nullptr}, // 94
    {2, false, 0, nullptr, nullptr, "Compare Selection's content", nullptr}, // 95
    {1, false, 0, "Erase", "Erase_dis", "Clear", nullptr}, // 96
    {1, false, 0, "Copy", "Copy_dis", "Copy all tree", nullptr}, // 97
    {1, true, 0, nullptr, nullptr, "Collapse/Expand on redraw", nullptr}, // 98
    {1, false, 0, nullptr, nullptr, "Collapse All", nullptr}, // 99
    {1, false, 0, nullptr, nullptr, "Expand All", nullptr}, // 100
    {2, false, 0, nullptr, nullptr, "Hide others on Graph", "Hide non selected items on graph"}, // 101
    {2, true, 0, nullptr, nullptr, "Remove Filter", nullptr}, // 102
    {2, true, 0, nullptr, nullptr, "Remove Selection", nullptr}, // 103
    {2, false, 0, nullptr, nullptr, "Show all TID on graph", nullptr}, // 104
    {2, false, 0, "Erase", "Erase_dis", "Delete", nullptr}, // 105
    {0, false, 0, "play", nullptr, "Run script", nullptr}, // 106
    {0, false, 0, nullptr, nullptr, "Add script file", nullptr}, // 107
    {0, false, 0, nullptr, nullptr, "Expand All", nullptr}, // 108
    {0, false, 0, nullptr, nullptr, "Collapse All", nullptr}, // 109
    {0, false, 0, nullptr, nullptr, "Delete script", nullptr}, // 110
    {0, false, 0, nullptr, nullptr, "Clear counter", nullptr}, // 111
    {0, false, 0, "Copy", "Copy_dis", "Copy", nullptr}, // 112
    {0, false, 0, "stop", nullptr, "Stop script", nullptr}, // 113
    {2, false, 0, "Copy", "Copy_dis", "Copy All", "Copy all Outline data to the clipboard"}, // 114
    {1, false, 0, nullptr, nullptr, "Filter all rows present in outline", nullptr}, // 115
    {2, false, 0, "Copy", "Copy_dis", "Copy", "Copy current data to the clipboard"}, // 116
    {2, false, 0, "Copy", "Copy_dis", "Copy All", "Copy all Info data to the clipboard"}, // 117
    {1, true, 0, nullptr, nullptr, "Collapse/Expand new item", nullptr}, // 118
    {1, false, 0, nullptr, nullptr, "Collapse All", nullptr}, // 119
    {1, false, 0, nullptr, nullptr, "Expand All", nullptr}, // 120
    {2, false, 0, "Copy", "Copy_dis", "Copy", "Copy current data to the clipboard"}, // 121
    {2, false, 0, "Copy", "Copy_dis", "Copy All", "Copy all History data to the clipboard"}, // 122
    {2, false, 0, nullptr, nullptr, "Repeat", "Repeat operation in this table"}, // 123
    {3, true, 0, "BackgroundColor", nullptr, "Background Color", nullptr}, // 124
    {3, true, 0, "Grid", nullptr, "Grid On/Off", nullptr}, // 125
    {3, false, 0, "MarkIn", nullptr, "Mark-in Selection", nullptr}, // 126
    {3, false, 0, "MarkOut", nullptr, "Mark-out Selection", nullptr}, // 127
    {3, false, 0, "zoom_in", nullptr, "Zoom in", nullptr}, // 128
    {3, false, 0, "zoom_out", nullptr, "Zoom out", nullptr}, // 129
    {3, false, 0, nullptr, nullptr, "Restore initial Zoom", nullptr}, // 130
    {3, false, 0, nullptr, nullptr, "Select TIDs in tree", "Select TIDs in current cursor position"}, // 131
    {3, false, 0, nullptr, nullptr, "Add/remove bookmark at current graph cursor position", "Add/remove bookmark at current graph cursor position"}, // 132
    {3, false, 0, nullptr, nullptr, "Print to System Log", nullptr}, // 133
    {3, false, 0, nullptr, nullptr, "Line info to System Log", nullptr}, // 134
    {4, false, 0, "Navigate_down", nullptr, "Navigate Down", nullptr}, // 135
    {4, false, 0, "Navigate_down2", nullptr, "Jump Down", nullptr}, // 136
    {4, false, 0, "Navigate_up", nullptr, "Navigate Up", nullptr}, // 137
    {4, false, 0, "Navigate_up2", nullptr, "Jump Up", nullptr}, // 138
    {0, false, 0, nullptr, nullptr, nullptr, nullptr}, // 139, unused
};

ComActionBinding MainWindowBindings[MAIN_BINDING_COUNT + 1] = {
    {0, "1NewBlankDocument()", 0},
    {1, "1notImplemented()", 0},
    {2, "1notImplemented()", 0},
    {3, "1LoadFile()", 0},
    {4, "1ImportFile()", 0},
    {5, "1notImplemented()", 0},
    {6, "1CloseAll()", 0},
    {7, "1ImportPrefDialog()", 0},
    {8, "1PreferencesDialog()", 0},
    {9, "1RunUpgrade()", 0},
    {10, "1MainMenuShowHide()", 0},
    {11, "1MainToolbarShowHide()", 0},
    {12, "1SysPanelsOnOff()", 0},
    {13, "1Help()", 0},
    {14, "1About()", 0},
    {15, "1close()", 0},
    {16, "1CreateDocFromMyDbg()", 0},
    {17, "1Save()", 0},
    {18, "1SaveAs()", 0},
    {23, "1Close()", 0},
    {25, "1ScriptPannelOnOff()", 0},
    {21, "1SaveCSVFile()", 0},
    {19, "1SavePDFFile()", 0},
    {20, "1notImplemented()", 0},
    {22, "1SaveTXTFile()", 0},
    {26, "1DockHorizontally()", 0},
    {27, "1DockVertically()", 0},
    {28, "1DockDetach()", 0},
    {29, "1DockAttach()", 0},
    {30, "1notImplemented()", 0},
    {31, "1notImplemented()", 0},
    {32, "1CreateFuncsDoc()", 0},
    {33, "1CreateGraph()", 0},
    {34, "1OpenFindDialog()", 0},
    {65, "1RowsCopy()", 0},
    {68, "1RowsPaste()", 0},
    {70, "1RowsDelete()", 0},
    {80, "1BookmarkOnOff()", 0},
    {37, "1notImplemented()", 0},
    {63, "1FindNext()", 0},
    {64, "1FindBack()", 0},
    {51, "1JumpToPrevPoint()", 0},
    {52, "1ToPrevStopPos()", 0},
    {53, "1JumpToNextPoint()", 0},
    {54, "1ToNextStopPos()", 0},
    {72, "1SelectAll()", 0},
    {55, "1NextSelectionOnly()", 0},
    {56, "1NextBookmarkOnly()", 0},
    {57, "1NextHighlightOnly()", 0},
    {58, "1NextErrorsOnly()", 0},
    {59, "1PrevSelectionOnly()", 0},
    {60, "1PrevBookmarkOnly()", 0},
    {61, "1PrevHighlightOnly()", 0},
    {62, "1PrevErrorsOnly()", 0},
    {47, "1JumpToHome()", 0},
    {48, "1JumpToEnd()", 0},
    {106, "1ScriptRun()", 0},
    {107, "1ScriptAdd()", 0},
    {108, "1ScriptExpand()", 0},
    {109, "1ScriptCollapse()", 0},
    {110, "1ScriptDel()", 0},
    {111, "1ScriptClearCounter()", 0},
    {112, "1ScriptCopy()", 0},
    {113, "1ScriptStop()", 0},
    {-1, nullptr, 0},
};

const ComAction& ActionDescriptor(int32_t id)
{
    KX_ASSERT(KxvGuiChannel, id >= 0 && id < ACTION_TABLE_SIZE);
    return ActionTable[id];
}

namespace {

void ProcessEventsOnce() { QCoreApplication::processEvents(QEventLoop::AllEvents); }
void WaitForEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents); }

} // namespace

void ActionTableInit()
{
    ComActionTablePublish(ActionTable, ACTION_TABLE_SIZE);
    ProcessEventsCallback = &ProcessEventsOnce;
    WaitEventsCallback = &WaitForEvents;
    // The tables build their search expressions in the expression language.
    ScriptLogicalExpParser::Register();
    PrefGlobal::Load();
}
