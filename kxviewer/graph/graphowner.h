// What the timeline widget needs of the document that shows it: the rows
// of the table behind the points, their selection and bookmarks, the
// document's actions and the shell's status line and System Log. The graph
// document implements it; the widget never reaches the table tab itself.
#pragma once

#include <cstdint>
#include <vector>

#include <QColor>
#include <QString>

class QAction;

class GraphOwner {
public:
    // Ids of the document's actions the widget enables, checks or shows in
    // its context menu.
    enum ActionId : int {
        ACT_SHOW_ERRORS = 42,
        ACT_BACK = 49,
        ACT_GO_TO_CURSOR = 50,
        ACT_PREVIOUS_STOP = 52,
        ACT_NEXT_STOP = 54,
        ACT_BOOKMARK = 80,
        ACT_GRID = 125,
        ACT_MARK_IN = 126,
        ACT_MARK_OUT = 127,
        ACT_ZOOM_IN = 128,
        ACT_ZOOM_OUT = 129,
        ACT_RESTORE_ZOOM = 130,
        ACT_SELECT_TIDS = 131,
        ACT_BOOKMARK_AT_CURSOR = 132,
        ACT_PRINT_ERRORS = 133,
        ACT_LINE_INFO = 134,
    };

    virtual ~GraphOwner() = default;

    // The document's action of an id; null when it has none.
    virtual QAction* Action(int id) const = 0;

    virtual int32_t RowCount() const = 0;
    virtual int64_t RowTime(int32_t row) const = 0;
    virtual bool RowSelected(int32_t row) const = 0;
    // Rows from .. to (inside the table) selected or deselected.
    virtual void SelectRows(int32_t from, int32_t to, bool select) = 0;
    virtual bool RowBookmarked(int32_t row) const = 0;
    virtual void SetBookmark(int32_t row, bool on) = 0;
    // The bookmark nearest in time to t; false when the table has none.
    virtual bool NearestBookmark(int64_t t, int64_t& time, int32_t& row) const = 0;
    virtual bool HasVisibleBookmarks() const = 0;
    // The cursor moved to a row: the go-to-row edit shows it and, with
    // syncTable, the table's current row follows.
    virtual void CursorMoved(int32_t row, bool syncTable) = 0;
    // The record of a row as the System Log prints it.
    virtual QString RecordInfo(int32_t row) const = 0;
    virtual QString TableName() const = 0;
    // The text of a thread as the thread list shows it.
    virtual QString ThreadText(uint64_t tid) const = 0;
    // Selects in the aux tree the items that stand for these threads.
    virtual void SelectThreadsInTree(const std::vector<uint64_t>& tids) = 0;
    virtual bool ShowsPresentationErrors() const = 0;

    // The graph background colour of the document and whether its colour
    // button is down (the plot takes the colour only then).
    virtual QColor GraphBackground() const = 0;
    virtual bool BackgroundButtonChecked() const = 0;
    virtual void SetGraphBackground(const QColor& colour) = 0;

    virtual void ShowStatus(const QString& text) = 0;
    virtual void AddToSystemLog(const QString& text) = 0;
    virtual void AddToSystemLogNoTime(const QString& text) = 0;

    virtual void JumpToHome() = 0;
    virtual void JumpToEnd() = 0;
};
