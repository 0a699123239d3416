// What an Outline line carries: its item data roles and the kinds of record
// it stands for. The Outline builds its lines with them, the Outline
// delegate paints from them, and the Outline commands read them back.
#pragma once

#include <Qt>

// Item data roles of the two cells of a line.
enum OutlineRole : int {
    OUTLINE_ROLE_ROW = Qt::UserRole,            // text cell: the record's visible row
    OUTLINE_ROLE_LAST_ROW = Qt::UserRole + 1,   // text cell: a range line's last row, else -1
    OUTLINE_ROLE_FLAGS = Qt::UserRole + 5,      // both cells: the kind flags below
    OUTLINE_ROLE_HIGHLIGHT_START = Qt::UserRole + 6,
    OUTLINE_ROLE_HIGHLIGHT_END = Qt::UserRole + 7,
    OUTLINE_ROLE_HIGHLIGHT_COLOR = Qt::UserRole + 8, // the first matching pinned phrase's
    OUTLINE_ROLE_MORE_START = Qt::UserRole + 9,      // the " more..." part
    OUTLINE_ROLE_MORE_END = Qt::UserRole + 10,
    OUTLINE_ROLE_MORE_COLOR = Qt::UserRole + 11, // the last other matching phrase's
    OUTLINE_ROLE_SEVERITY = Qt::UserRole + 12,   // number cell: the level icon's index
};

// Kind flags; a line may combine several.
enum OutlineFlag : int {
    OUTLINE_BOOKMARK = 1,
    OUTLINE_DATA_WARNING = 2,
    OUTLINE_DATA_ERROR = 4,
    OUTLINE_VIEW_ERROR = 8,
    OUTLINE_HIGHLIGHT = 16,
    OUTLINE_SECOND_HIGHLIGHT = 32,
    OUTLINE_SELECTION_RANGE = 64,
};

// Severity marks: indices into the level icons (verify, assert, error,
// warning, ...).
constexpr int OUTLINE_SEVERITY_WARNING = 3;
constexpr int OUTLINE_SEVERITY_ERROR = 2;
