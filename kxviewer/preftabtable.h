// How a document tab shows its table: grid, flags, colours, columns, the
// jump and outline choices and the pinned phrases. The program keeps one
// default; every tab keeps its own copy.
#pragma once

#include <cstdint>
#include <string>

#include "kxlib/fields.h"

// Rows of the jump table: what the navigation can jump to and what the
// outline can list.
enum JumpIndex : int32_t {
    JUMP_SELECTIONS = 0,
    JUMP_BOOKMARKS,
    JUMP_HIGHLIGHT,
    JUMP_DATA_WARNINGS,
    JUMP_DATA_ERRORS,
    JUMP_VIEW_ERRORS,
    JUMP_Nums
};

struct JumpRow {
    const char* key;
    const char* jumpTitle;
    const char* outlineTitle;
    uint8_t defaultOn; // default of both the jump and the outline flag
};

extern const JumpRow JumpTable[JUMP_Nums];

// A phrase that a tab keeps highlighted in its own colour.
struct PinnedPhrase {
    std::string phrase;
    int32_t color = 0;
    int32_t mode = 0;
    uint8_t matchCase = 0;
};

constexpr int32_t PINNED_MAX = 10;
// Grid styles run from 0 to GRID_MAX.
constexpr int32_t GRID_MAX = 4;

struct PrefTabTable {
    PrefTabTable();

    int32_t Grid = 3;

    uint8_t Colorize = 0;
    uint8_t ShowPresErrors = 1;
    uint8_t InsertFunc = 1;
    uint8_t IndentText = 1;
    uint8_t HighlightOn = 1;
    uint8_t TimeRollback = 1;
    uint8_t ExportRowNumbColumn = 1;
    uint8_t PanelInfo = 1;
    uint8_t PanelTree = 1;
    uint8_t PanelHistory = 1;
    uint8_t SyncToCurRow = 1;
    uint8_t ExpandNewHistoryItem = 1;
    uint8_t SearchMatchCase = 1;

    // 0xRRGGBB
    uint32_t ColorSelect = 0xFFFF00;
    uint32_t ColorBookmark = 0xFF00FF;
    uint32_t ColorHighlight = 0x00B4B4;
    uint32_t ColorGraphBg = 0x000000;

    // Field indices in display order; places from columnCount on hold -1.
    int32_t columnCount = 0;
    int32_t columns[FIELD_Nums];

    uint8_t jumps[JUMP_Nums];
    uint8_t outline[JUMP_Nums];

    int32_t pinnedCount = 0;
    PinnedPhrase pinned[PINNED_MAX];

    // Empties the column sequence (every place -1).
    void ClearColumns();
    // Appends a column; false when all FIELD_Nums places are taken.
    bool AddColumn(int32_t field);

    // The program-wide default that new tabs copy.
    static PrefTabTable& Default();
};
