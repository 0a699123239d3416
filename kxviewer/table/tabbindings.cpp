#include "kxviewer/table/tabbindings.h"

#include <iterator>

// Document tab: id, then the slot; the menu text is the descriptor's.
ComActionBinding TabBaseBindings[] = {
    {17, "1Save()", 0}, // &Save
    {18, "1SaveAs()", 0}, // &Save As...
    {19, "1SavePdfFile()", 0}, // &Export to PDF
    {20, "1notImplemented()", 0}, // &Export to Excel
    {21, "1SaveCSVFile()", 0}, // &Export to CSV
    {22, "1SaveTXTFile()", 0}, // &Export to TXT
    {23, "1Close()", 0}, // &Close
    {24, "1SidePanelsOnOff()", 0}, // S&ide Panels On/Off
    {26, "1DockHorizontally()", 0}, // Dock Horizontally
    {27, "1DockVertically()", 0}, // Dock Vertically
    {28, "1DockDetach()", 0}, // Detach from Panel
    {29, "1DockAttach()", 0}, // Attach to Main Panel
    {30, "1notImplemented()", 0}, // Clone
    {34, "1OpenFindDialog()", 0}, // &Find...
    {32, "1CreateFuncsDoc()", 0}, // Function Chains
    {33, "1CreateGraph()", 0}, // Document Graph
    {35, "1CompareTabs()", 0}, // Compare Selected Tabs
    {36, "1PrefColorize()", 0}, // &Colorize
    {37, "1PrefMatchCase()", 0}, // &Match Case
    {38, "1PrefInsertFunc()", 0}, // Insert function to text
    {39, "1PrefIndentText()", 0}, // Indent text according to nesting
    {40, "1PrefRelativeTime()", 0}, // Relative Time
    {41, "1PrefTime0Here()", 0}, // Set Time = 0 here
    {43, "1PrefChooseColor4Selection()", 0}, // Change Color...
    {44, "1PrefChooseColor4Highlight()", 0}, // Change Color...
    {45, "1PrefChooseColor4Bookmark()", 0}, // Change Color...
    {42, "1PrefShowPresenErrors()", 0}, // Show Presentation Errors
    {46, "1PrefChooseAuxTreeLevels()", 0}, // Select Levels
    {49, "1JumpBack()", 0}, // Navigate &Back
    {51, "1Go1StepBack()", 0}, // Previous Row/Point
    {50, "1GotoCurrentPos()", 0}, // Go to my cursor
    {52, "1JumpToPrevStopPos()", 0}, // Previous Stop-point
    {53, "1Go1StepForward()", 0}, // Next Row/Point
    {54, "1JumpToNextStopPos()", 0}, // Next Stop-point
    {63, "1FindNext()", 0}, // Find &Next
    {64, "1FindBack()", 0}, // Find &Back
    {65, "1RowsCopy()", 0}, // Copy
    {66, "1RowsCopyAll()", 0}, // Copy All
    {67, "1RowsCopyByColors()", 0}, // Copy Checked Ranges
    {68, "1RowsPaste()", 0}, // Paste
    {69, "1RowsPasteToBottom()", 0}, // Paste to End
    {70, "1RowsDelete()", 0}, // Erase
    {71, "1SelectByCond()", 0}, // &Select
    {72, "1SelectAll()", 0}, // Select All
    {73, "1SelectByFuncContext()", 0}, // Select Function Context
    {74, "1ClearSelection()", 0}, // Clear Selection
    {75, "1HighlightByCond()", 0}, // &Highlight Matches
    {76, "1ClearHighlight()", 0}, // Clear Highlights
    {77, "1FilterByCond()", 0}, // A&pply Filter
    {78, "1FilterSelected()", 0}, // Filter Selected
    {79, "1ClearFilter()", 0}, // Clear Filter
    {80, "1BookmarkCurrentOnOff()", 0}, // &Bookmark
    {81, "1BookmarkByCond()", 0}, // &Mark matching rows
    {82, "1ClearBookmarks()", 0}, // Clear Bookmarks
    {83, "1PinPhrase()", 0}, // Pin Phrase
    {84, "1ClearPinned()", 0}, // Clear All
    {85, "1CopyOneCell()", 0}, // Copy Cell
    {86, "1CustomFind()", 0}, // Find: xxx
    {87, "1LoadCurrentToFind()", 0}, // Find: Load current row to Find Dialog
    {88, "1FindInHistory()", 0}, // Open in find dialog
    {91, "1change_color_info_select()", 0}, // Replace Selection Color to Current
    {92, "1change_new_color_info_select()", 0}, // Replace Selection Color
    {93, "1CopyRangesToTxt()", 0}, // Copy as Plain text
    {94, "1CopyRangesToRtf()", 0}, // Copy as RTF
    {95, "1CompareTwoRanges()", 0}, // Compare Selection's content
    {96, "1delete_outline()", 0}, // Clear
    {97, "1CopyAuxTreeToClipboard()", 0}, // Copy all tree
    {98, "1CollapseExpandPanes()", 0}, // Collapse/Expand on redraw
    {99, "1CollapseAllPanes()", 0}, // Collapse All
    {100, "1ExpandAllPanes()", 0}, // Expand All
    {105, "1DeleteInQuickSearch()", 0}, // Delete
    {114, "1OutlineCopyAll()", 0}, // Copy All
    {115, "1SetFilterByOutline()", 0}, // Filter all rows present in outline
    {116, "1CopyInfo()", 0}, // Copy
    {117, "1CopyAllInfo()", 0}, // Copy All
    {121, "1CopyInHistory()", 0}, // Copy
    {122, "1CopyAllInHistory()", 0}, // Copy All
    {123, "1ReplayInHistory()", 0}, // Repeat
    {118, "1CollapseExpandHistory()", 0}, // Collapse/Expand new item
    {119, "1CollapseAllHistory()", 0}, // Collapse All
    {120, "1ExpandAllHistory()", 0}, // Expand All
    {124, "1SetBackColor()", 0}, // Background Color
    {125, "1GridOnOff()", 0}, // Grid On/Off
    {126, "1StartGraphSelect()", 0}, // Mark-in Selection
    {127, "1EndGraphSelect()", 0}, // Mark-out Selection
    {129, "1GraphZoomIn()", 0}, // Zoom out
    {128, "1GraphZoomOut()", 0}, // Zoom in
    {131, "1SelectTIDsInTree()", 0}, // Select TIDs in tree
    {130, "1SetRMaxRange()", 0}, // Restore initial Zoom
    {132, "1AddBookmarkAtCurrent()", 0}, // Add/remove bookmark at current graph cursor position
    {133, "1PrintErrorsToLog()", 0}, // Print to System Log
    {134, "1PrintLineInfoToLog()", 0}, // Line info to System Log
    {-1, nullptr, 0},
};

ComActionBinding PaneDocksBindings[] = {
    {89, "1QuickFilter()", 0}, // Quick Filter
    {90, "1QuickSelection()", 0}, // Quick Selection
    {101, "1HideOnGraph()", 0}, // Hide others on Graph
    {102, "1RemovePanesFilter()", 0}, // Remove Filter
    {103, "1RemovePanesSelection()", 0}, // Remove Selection
    {104, "1ShowAllOnGraph()", 0}, // Show all TID on graph
    {-1, nullptr, 0},
};

static_assert(std::size(TabBaseBindings) == TabBaseBindingCount + 1, "92 tab bindings and the end");
static_assert(std::size(PaneDocksBindings) == PaneDocksBindingCount + 1, "6 pane bindings and the end");
