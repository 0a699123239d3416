// The document tab that shows a record table as rows and columns: the view
// with its model, delegate, headers and marked scroll bar, the three context
// menus, the commands that need the view, the rows visited for jumping back,
// and the functions document.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include <QList>
#include <QModelIndex>
#include <QPoint>
#include <QString>

#include "kxviewer/table/tabactionids.h"
#include "kxviewer/table/tabbase.h"

class QMenu;
class QTimer;
class TabTableModel;
class TabTableView;
struct KxdRecord;

class TabTable : public TabBase {
    Q_OBJECT

public:
    // Action ids the table tab refers to besides the shared ones.
    static constexpr int ACTION_INSERT_FUNC = 38;
    static constexpr int ACTION_INDENT_TEXT = 39;
    static constexpr int ACTION_RELATIVE_TIME = 40;
    static constexpr int ACTION_TIME0_HERE = 41;
    static constexpr int ACTION_FUNC_CONTEXT = 73;
    static constexpr int ACTION_COPY_CELL = 85;
    static constexpr int ACTION_CUSTOM_FIND = 86;
    static constexpr int ACTION_LOAD_TO_FIND = 87;
    static constexpr int ACTION_REPLACE_SEL_COLOR = 92;

    // Rows kept for jumping back.
    static constexpr int BACK_LIST_MAX = 10;
    // Narrowest column, in pixels.
    static constexpr int MIN_COLUMN_WIDTH = 40;
    // Lowest row height, in pixels; larger fonts get taller rows.
    static constexpr int ROW_HEIGHT = 18;
    // The idle interval the main window's timer runs at.
    static constexpr int IDLE_INTERVAL_MS = 600;

    // A document over a loaded table, whose reference the tab takes over.
    // The creator sets SourceType and then calls Init.
    TabTable(KxTable* table, const PrefTabTable& prefs, QWidget* parent, OutlineFill outline = OutlineFill::NOW);
    // A new blank document ("New%d" when name is null).
    TabTable(const char* name, QWidget* parent);
    ~TabTable() override;

    // Builds the view; connects the idle processing to the timer when one
    // is given (the main window's 600 ms idle timer).
    void Init(QTimer* idleTimer);
    void SetupView();
    // Every column as wide as its characters, its title and the widest
    // value of the rows on screen (TEXT: its characters and title only).
    void SetColumnWidths();
    // The row height that the fonts of the cells and row numbers need.
    int RowHeight() const;
    // Row height, row-number width and column widths for the fonts.
    void ApplyFonts();
    // The colour number of a record under Colorize: its aux-tree node's.
    // -1 (white) with one warning per tab when the tree has no such node.
    int32_t GetColorizeColorNum(const KxdRecord* record);
    // The find word of a cell under the pointer x (viewport coordinates).
    QString FindTextAt(const QString& text, int32_t field, int column, int x, int64_t nest) const;
    // The find dialog's refresh: focus here, TableChanged, then focus to
    // the dialog's widget.
    void RefreshFromFindDialog(QWidget* focus);
    // The phrase of the cell menu's "Find: " entry for a field and word.
    static QString FindExpression(int32_t field, const QString& word);
    // The three context menus' entries; the slots pop them up. pos is in
    // the view's viewport.
    void FillColumnMenu(QMenu* menu);
    void FillRowMenu(QMenu* menu);
    void FillCellMenu(QMenu* menu, const QPoint& pos);

    // What a clipboard copy writes: the rows of the last copy, or the
    // selected Outline ranges as plain text or as RTF.
    static constexpr int32_t CLIP_COPY = 0;
    static constexpr int32_t CLIP_RANGES_RTF = 1;
    static constexpr int32_t CLIP_RANGES_TEXT = 3;
    // Puts the rows of the mode on the clipboard: RTF and plain text below
    // 10000 rows (not for CLIP_RANGES_TEXT), plain text below 100000,
    // nothing from there on; every outcome is reported.
    void CopyToClipboard(int32_t mode);
    // The row spans {first, last} that a clipboard copy of the mode writes.
    std::vector<std::pair<int32_t, int32_t>> ClipboardSpans(int32_t mode) const;

    // The fields of the visible columns, in the view's order.
    std::vector<int32_t> ColumnFields() const;
    // The file exports of the rows: all of them, or with rangesOnly those of
    // the selected Outline ranges, as the text export's lines or as CSV.
    // The save dialog asks for the file when name is empty. A file that
    // cannot be written keeps its old contents. True when the file was
    // written.
    bool SaveTxt(const QString& name, bool rangesOnly);
    bool SaveCsv(const QString& name, bool rangesOnly);

    // Hooks and virtual operations.
    void SetTabDockFocus() override;
    void SetCurrentPosition(int row) override;
    void ResetViewModel() override;
    void UpdateRowNumberWidth() override;
    void JumpToHome() override;
    void JumpToEnd() override;
    void TabRemoved() override;
    void SyncGraphToCurrent() override;
    void RepaintGraph() override;
    void CloseGraph() override;
    void UpdateGraphInformer() override;
    void MarkThreadsOnGraph(const std::vector<std::pair<int32_t, int32_t>>& items) override;

    TabTableView* View = nullptr;
    TabTableModel* Model = nullptr;
    // The column the row header makes current while dragging along it.
    int32_t RowHeaderColumn = -1;
    // The cell under the pointer when the cell menu last opened.
    QModelIndex ContextCell;
    // Rows most recently made current, oldest first.
    QList<int> BackList;
    // The graph document opened from this tab; null while none is open.
    TabBase* GraphTab = nullptr;
    // The main window's idle timer the tab was given, or null.
    QTimer* IdleTimer() const { return idleTimer_; }

public slots:
    void idleProcess();
    void customHorizontalMenu(const QPoint& pos);
    void customVerticalMenu(const QPoint& pos);
    void customMenuRequested(const QPoint& pos);
    void CreateGraph() override;
    void PrefColorize() override;
    void SelectAll() override;
    void ClearSelection() override;
    void ClearHighlight() override;
    void CopyOneCell() override;
    void CreateFuncsDoc() override;
    void onEditColumns();
    void PrefTime0Here() override;
    void FilterSelected() override;
    void JumpBack() override;
    void SelectByFuncContext() override;
    void CustomFind() override;
    void LoadCurrentToFind() override;
    void RowsPasteToBottom() override;
    void RowsCopy() override;
    void RowsCopyAll() override;
    void RowsCopyByColors() override;
    void CopyRangesToTxt() override;
    void CopyRangesToRtf() override;
    void SavePdfFile() override;
    void SaveCSVFile() override;
    void SaveTXTFile() override;
    void CompareTabs() override;
    void CompareTwoRanges() override;
    void JumpsTriggered() override;
    void OutlineTriggered() override;
    void UpdateBase() override;
    void UpdateTimeColumnWidth() override;

private:
    bool SaveText(const QString& name, bool rangesOnly, bool csv);
    // The open graph with both links cleared; null when none is open.
    TabBase* TakeGraph();
    // The row the context commands act on: the context cell's, else the
    // current row; -1 for an empty table.
    int32_t ContextRow() const;
    // Selects the rows of the record's thread around row r up to the
    // enclosing enter (backwards) or leave (forwards) record.
    void SelectContextWalk(int32_t row, int64_t nest, uint64_t tid, bool forward);
    // Pixels of column c in the table's time mode, at least 40.
    int ColumnWidth(int c) const;
    // Pixels of the widest value of a field on the rows on screen, with
    // the cell's margins.
    int WidestShownValue(int32_t field) const;

    QTimer* idleTimer_ = nullptr;
    bool colorizeWarned_ = false;
};
