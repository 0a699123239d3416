// History action numbers: what a document's History pane records and can
// replay, by the number each entry is stored with.
#pragma once

#include <cstdint>

enum HistoryAction : int32_t {
    HISTORY_SELECT = 0,
    HISTORY_DESELECT = 1,
    HISTORY_SELECT_BY_EXPRESSION = 2,
    HISTORY_SELECT_ALL = 3,
    HISTORY_CLEAR_SELECTIONS = 4,
    HISTORY_PIN = 5,
    HISTORY_UNPIN = 6,
    HISTORY_FILTER = 7,
    HISTORY_FILTER_SELECTED = 8,
    HISTORY_MANUAL_FILTER = 9,
    HISTORY_CLEAR_FILTER = 10,
    HISTORY_BOOKMARK = 11,
    HISTORY_BOOKMARK_BY_EXPRESSION = 12,
    HISTORY_CLEAR_BOOKMARK = 13,
    HISTORY_CLEAR_ALL_BOOKMARKS = 14,
};
