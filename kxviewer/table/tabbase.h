// The document: one record table shown as a tab of the tear-off framework,
// with its own copy of the view preferences, its counters, its actions and
// about a hundred commands as slots. TabTable and TabGraph derive from it;
// the framework reaches it only through the hooks of TearOffTabDock.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <QColor>
#include <QIcon>
#include <QList>
#include <QPixmap>
#include <QPoint>
#include <QPointer>
#include <QString>

#include "kxviewer/preftabtable.h"
#include "kxviewer/table/comactionbase.h"
#include "kxviewer/table/outlinebuilder.h"
#include "kxviewer/table/updatesoff.h"
#include "tearoffwidget/tearofftabdock.h"

class KxSearchExpression;
class KxTable;
class PaneDocks;
class QCheckBox;
class QComboBox;
class QDockWidget;
class QEvent;
class QLabel;
class QLineEdit;
class QMenu;
class OutlineView;
class QModelIndex;
class QTableWidget;
class QTableWidgetItem;
class QToolBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
struct KxdRecord;

class TabBase : public TearOffTabDock, public ComActionBase<ComActionCount> {
    Q_OBJECT

public:
    // Source types: where the document's records came from. Import formats
    // are 0 and up.
    static constexpr int32_t SOURCE_KXL = -1;
    static constexpr int32_t SOURCE_KX = -2;
    static constexpr int32_t SOURCE_KXD = -3;
    static constexpr int32_t SOURCE_BUILT = -4;

    // Graph states.
    static constexpr int32_t GRAPH_NONE = 0;
    static constexpr int32_t GRAPH_IS_GRAPH = 1;
    static constexpr int32_t GRAPH_OPEN = 2;

    static constexpr int32_t TOOLBAR_COUNT = 9;
    static constexpr int32_t HISTORY_RING = 100;

    // A new empty document over a table without a path; name null: "New%d"
    // one above the largest number of the open "New" documents.
    TabBase(const char* name, QWidget* parent);
    // The base of a graph: the table tab's preference copy and one more
    // reference on its table.
    TabBase(TabBase& tableTab, QWidget* parent);
    // When a new document's Outline is made: in its constructor, or by the
    // opener (MakeOutlineLinesAside) before the document shows.
    enum class OutlineFill { NOW, LATER };
    // A document over a loaded table, whose reference the tab takes over. A
    // null table is fatal.
    TabBase(KxTable* table, const PrefTabTable& prefs, QWidget* parent, OutlineFill outline = OutlineFill::NOW);
    ~TabBase() override;

    // Set by the opener while the document is made and not yet shown: one
    // that goes meanwhile (the open cancelled) does not tell of its close,
    // as the user never saw it and the opener tells of the cancel.
    bool Unseen = false;

    // The framework's hooks.
    void ShowTabMenu(QPoint globalPos) override;
    // A ".kxl" document is modified when its records changed or anything
    // else a save would write differs from what it was opened or saved with;
    // any other document only when its records changed.
    bool IsModified() override;
    // The table's name: the title carries the modified mark.
    QString DocumentName() override;
    bool CanCloseSilently() override;
    bool MayClose() override;
    void TabRemoved() override;
    bool SaveOnClose() override;
    void DiscardChanges() override;
    void SetTabDockFocus() override;
    void ChangeActive(bool active) override;

    bool eventFilter(QObject* watched, QEvent* event) override;

    // The tab menu offers "Compare Selected Tabs": one tab marked while a
    // document is current, or two while a panel is.
    static bool OffersCompareTabs();

    // The "New%d" name a new blank document gets among the open documents.
    static QString NewDocumentName();

    // Shows the modified mark: the title without "*", then "*" while the
    // table is modified.
    void UpdateTitle();
    // After the table's rows changed: new model, current row kept inside
    // the rows, counters and Outline. False when the document was closed in
    // the new model's turn of the event loop: the caller returns at once
    // and touches nothing of it.
    //
    // Every turn of the event loop that a command takes may close its
    // document: the close takes the tab from its group at once and deletes
    // it when the loop that handled the close goes on. After a turn of
    // processEvents that is a later turn, of the same command or after it;
    // a modal turn (a question, a box, a dialog, a menu) runs a loop of its
    // own, which deletes the tab before the turn returns. So the command
    // holds its document across each turn (Hold, or StillOpen) and, once it
    // is gone, returns at once, touching nothing of the tab; a function
    // that turns the loop for its caller answers the same (false, or -1),
    // and the caller, holding the document too, returns as well.
    bool TableChanged();
    // Whether a document held across a turn of the event loop is still
    // open: neither deleted nor closed in that turn.
    static bool StillOpen(const QPointer<TabBase>& tab);
    // A document held across a turn of the event loop.
    class Hold {
    public:
        explicit Hold(TabBase* tab) : tab_(tab) {}
        // Closed or deleted since it was held.
        bool Gone() const { return !StillOpen(tab_); }

    private:
        QPointer<TabBase> tab_;
    };
    // The aux-tree panes of every document of the table (this one, its
    // graph or its table tab) shown afresh where the tree changed.
    void RefreshTreePanes();
    // counter "Rows", "Filtered" or "Selected"; rewrites the counters label.
    void SetCounter(const char* counter, int32_t value);
    // The counters label's text for the three counters.
    static QString CountersText(int32_t rows, int32_t filtered, int32_t selected);
    // Counters from the table, then the action states.
    void UpdateInformer();

    // Makes this table the copy source (KxvCopyInformation::Mode), with the
    // rows the mode takes now; false for a table without rows.
    bool RememberCopy(int32_t mode);
    // Pastes the last copy at position (-1 appends) and reports it; the
    // count added, or -1 when refused (ownText when the copy is our own)
    // or when the document was closed on the way (TableChanged).
    int32_t PasteCopy(int32_t position, const char* ownText);
    // True, with the user told why, when rows cannot be added or deleted
    // (a filtered or read-only table); what names the refused command.
    bool TableRefusesRowChanges(const char* what);
    // True when the graph is closed for a command that would move its rows
    // (the user asked first), or when there is none; a graph document
    // itself refuses (what names the command). False too when the document
    // was closed in the question's turn.
    bool GraphAllows(const char* what);

    // Writes the document to path: in place from the filter section on
    // when the records did not change and !writeWhole, else whole. True on
    // success.
    bool SaveAsKxlFile(const QString& path, bool writeWhole);

    // Operations of the search, panes, toolbars and history (declared for
    // the derived documents; built with their commands).
    bool SetSearchExpression(const QString& text, uint8_t matchCase, uint32_t mode);
    bool ApplySearchExpression(const QString& text, uint8_t matchCase, uint32_t* mode);
    bool CheckSearchExpression();
    // "Incorrect search expression" with the table's reason (where and why
    // its last expression was refused), on the status line and in the
    // System Log; nothing when the table refused no expression.
    void ReportIncorrectExpression();
    void SearchNext();
    void SearchBack();
    // True when a filter may be set: the expression checked (unless
    // noCheck), the graph closed and the selections given up (the user asked
    // for both). False too when the document was closed in a question's
    // turn.
    bool PrepareFilter(bool noCheck);
    // Tells the filter's outcome (and drops a filter of no rows or of every
    // row). The window's updates stay off while the caller holds the
    // object returned: the caller's TableChanged puts the new rows in place
    // before the window is painted.
    [[nodiscard]] UpdatesOff FilterApplied(int32_t matched, int32_t rows);
    int32_t ManualFilterSelected();
    void RecordSelect(int32_t row, KxdRecord* record, bool select);
    void SelRangeSet(int32_t first, int32_t last, bool select, uint32_t color);
    void BookmarkSet(int32_t row, bool on);
    void ShowSelectedCount(int32_t count);
    void AddToolBar(QMainWindow* host, bool enabled);
    // The copy button's menu with one row per selection colour of the table.
    void BuildCopyMenu();
    void SetJumpCondition(int32_t index, bool on);
    void SetOutlineCondition(int32_t index, bool on);
    void JumpToNextStopPosBy(int32_t mode);
    void JumpToPrevStopPosBy(int32_t mode);
    void UpdateActions();
    // Rebuilds the Outline; the number of lines with a pinned phrase's match.
    int32_t RefreshOutlineTable();
    // RefreshOutlineTable in two halves. The lines as the conditions and
    // pinned phrases make them now (none while the Outline is not
    // refreshed): only the table and the tab's phrases are read, so another
    // thread may make them while neither changes. progress, when given,
    // hears how far the lines are.
    std::vector<OutlineLine> MakeOutlineLines(const OutlineBuilder::Progress& progress = nullptr);
    // Lines made by MakeOutlineLines into the Outline; the number with a
    // pinned phrase's match.
    int32_t ShowOutlineLines(std::vector<OutlineLine> lines);
    // MakeOutlineLines on a worker thread while this one calls turn about
    // every 20 ms, which may turn the event loop; the lines, or none once
    // turn answered false (the tab may then be gone, and is not touched).
    // turn must answer false once the tab is gone. progress, when given,
    // hears how far the lines are, on the worker. The worker shares nothing
    // it writes with this thread, whose paints match the pinned phrases
    // meanwhile: it matches with copies of their expressions and keeps the
    // matches in a copy of OutlineLines, which the tab takes back at the end.
    std::vector<OutlineLine> MakeOutlineLinesAside(const std::function<bool()>& turn,
                                                   const OutlineBuilder::Progress& progress = nullptr);
    // UpdatePanes with the Outline's lines already made. treeBuilt, when
    // given, runs once the aux tree is built; when it answers false the
    // rest is left undone.
    void FillPanes(std::vector<OutlineLine> outline, const std::function<bool()>& treeBuilt = nullptr);
    // While 0 (a script switched view updating off) the Outline is not
    // rebuilt. Process-wide.
    static uint8_t ImmediateRefresh;
    void UpdateCurrentPosition();
    // Builds the Info, Outline and History docks and their frame, once,
    // without contents (FillPanes).
    void CreateSidePanes();
    // The Outline dock and its table (no contents yet).
    void CreateOutlinePane();
    // The History dock and its tree.
    void CreateHistoryPane();
    // The fixed row height of the Info and Outline tables: the side-pane
    // font's point size x 12 / 5.
    static int PaneRowHeight();
    // The "Editable" box: checked while the table is editable and not
    // filtered, enabled as told, its label black or light grey.
    void UpdateEditableBox(bool enabled);
    // Writes the record of a visible row to the System Log, one line per
    // field.
    void RecordInfoText(int32_t row);
    void AddHistoryItem(int32_t action, const QString* expression, int32_t a, int32_t b, uint32_t color);
    // The record's values of the aux-tree levels joined with " && ":
    // numbers with "==", texts with "~" in quotes. Empty (the user told)
    // when a value cannot be quoted or the whole is too long to search.
    QString AuxTreeExpression(KxdRecord* record);
    // The field's place among the aux-tree levels, or -1.
    int32_t AuxTreeLevelIndex(int32_t field);
    // False, and the user told, when text is longer than a search
    // expression holds.
    static bool FitsSearchExpression(const QString& text);
    void SystemLogMessage(const char* text);

    // Tells the System Log and the status line that a pattern of the
    // expression (its text) ran out of its match limit at row (from 0): the
    // rows found or shown are incomplete. A highlight's report (byHighlight)
    // is left out when the same failure of the same expression was told
    // last: a paint or a row change is no new command.
    void ReportMatchLimit(const std::string& expression, const std::string& pattern, int32_t row,
                          bool byHighlight = false);
    // Tells them that evaluating the expression failed at row (from 0), and
    // why: such rows were searched for the expression's text instead.
    void ReportEvalError(const std::string& expression, const std::string& error, int32_t row,
                         bool byHighlight = false);
    // A highlight's match of the record of a row. A pattern running out of
    // its match limit or a failed evaluation here is told once the event
    // loop runs again (the match may come from painting). An expression
    // whose pattern the commands would refuse matches nothing, and why is
    // told the same way.
    bool HighlightMatches(KxSearchExpression& expression, int32_t row, KxdRecord* record);
    // The find combo's items on white, a pinned expression's on its colour;
    // sets CurFixedHighlight.
    void ColorFindEntries();
    // Refills every other document's find combo from the search history.
    void SyncFindCombos();
    void RemoveFixedHighlight(int32_t index, bool reopenMenu);
    // A new menu of the pinned expressions, owned by the tab.
    QMenu* CreateFixedHighlightMenu();
    // The pin button's menu replaced by a fresh one.
    void RebuildFixedHighlightMenu();
    bool IsFixedHighlight();
    // The expression that matches an aux-tree item's records; empty (and
    // the user told) when a value cannot be written in the language.
    QString AuxItemExpression(const QModelIndex& item);
    // "Select Levels" once chosen: the aux tree of the fields first and
    // second (negative: none) built aside, the event loop turning behind a
    // progress display on a table of many records, then put in place of
    // the table's tree, and the panes and view shown with it.
    void SetAuxTreeLevels(int32_t first, int32_t second);

    // Cuts every connection from the tab's own objects (panes, toolbars,
    // find line, view) to the tab and takes its event filters off them.
    // Each destructor of a document calls it first: Qt destroys those
    // objects only once the tab is half gone, and the focus leaving the
    // find line on the way would still run the tab's slots.
    void DisconnectParts();

    // The record table; never null after construction. The tab holds one
    // reference.
    KxTable* Table = nullptr;
    // Non-zero for a functions document.
    int32_t FuncsDocument = 0;
    int32_t GraphState = GRAPH_NONE;
    // The tab's own view preferences.
    PrefTabTable Prefs;
    // Counters shown by the counters label.
    int32_t Rows = 0;
    int32_t Filtered = 0;
    int32_t Selected = 0;

    // Side panes; null until built.
    PaneDocks* AuxTreeDock = nullptr;
    QDockWidget* InfoDock = nullptr;
    QDockWidget* OutlineDock = nullptr;
    QDockWidget* HistoryDock = nullptr;
    QTableWidget* InfoTable = nullptr;
    OutlineView* OutlineTable = nullptr;
    QTreeWidget* HistoryTree = nullptr;
    // The Info pane's switches and the item under its last context menu.
    QCheckBox* EditableBox = nullptr;
    QCheckBox* PresErrorsBox = nullptr;
    QTableWidgetItem* InfoMenuItem = nullptr;

    // Outline lines chosen for an Outline command: every chosen line, and
    // the selection ranges among them (with their whole row span).
    struct OutlineEntry {
        int32_t first;
        int32_t last; // -1 for none
        int32_t line;
        int32_t flags;
    };
    std::vector<OutlineEntry> OutlineRanges;
    std::vector<OutlineEntry> OutlineEntries;
    // Works out the Outline's lines and keeps the pinned phrases' matches.
    OutlineBuilder OutlineLines;

    // The History entry chosen last, for "Open in find dialog".
    QString HistoryExpression;
    uint32_t HistoryMode = 3;
    uint8_t HistoryMatchCase = 1;
    // The History line under the last context menu, until its command ran.
    QTreeWidgetItem* HistoryMenuItem = nullptr;
    QPixmap TabPixmap;

    // Keyboard selection state of the table view.
    int32_t SelectionToggle = 1;
    // Non-zero while this tab hosts the Scripts panel (2: it was covered).
    int32_t ScriptsPanelHosted = 0;

    QComboBox* FindCombo = nullptr;
    QLabel* CountersLabel = nullptr;
    QLineEdit* GoToEdit = nullptr;
    QToolBar* Toolbars[TOOLBAR_COUNT] = {};
    QAction* JumpActions[JUMP_Nums] = {};
    QAction* OutlineActions[JUMP_Nums] = {};
    // The toolbars' menu buttons: a click runs the default action, the
    // arrow opens the menu.
    enum ToolButtonIndex : int32_t {
        BUTTON_PIN,
        BUTTON_HIGHLIGHT,
        BUTTON_SELECT,
        BUTTON_FILTER,
        BUTTON_BOOKMARK,
        BUTTON_PREV_JUMP,
        BUTTON_NEXT_JUMP,
        BUTTON_COPY,
        BUTTON_PASTE,
        BUTTON_SIDE_PANELS,
        TOOL_BUTTON_COUNT
    };
    QToolButton* ToolButtons[TOOL_BUTTON_COUNT] = {};
    // The copy button's menu; rebuilt with the colour groups.
    QMenu* CopyMenu = nullptr;

    // A pinned expression; holds one reference on its expression object.
    struct FixedHighlight {
        QString text;
        QColor color;
        uint32_t mode = 3;
        uint8_t matchCase = 1;
        KxSearchExpression* expression = nullptr;
    };
    QList<FixedHighlight*> FixedHighlights;
    int32_t CurFixedHighlight = -1;

    // The find line's mode and match case.
    uint32_t SearchMode = 3;
    uint8_t MatchCase = 1;
    // The find line's text was typed since it was last applied.
    bool FindTextPending = false;

    // What the idle refresh saw last.
    uint32_t LastNumSelected = 0;
    uint32_t LastNumBookmarks = 0;
    int32_t LastPanesRow = -1;

    // One entry per distinct selection colour (the copy-by-colours menu).
    struct ColorGroup {
        uint32_t color = 0;
        QIcon icon;
        QIcon iconChosen;
        uint8_t chosen = 0;
        uint8_t copy = 0;
        int32_t ranges = 0;
        int32_t rows = 0;
    };
    QList<ColorGroup> ColorGroups;

    struct HistoryEntry {
        int32_t action = 0;
        QString expression;
        int32_t a = 0;
        int32_t b = 0;
        uint32_t color = 0;
    };
    // The last HISTORY_RING entries: the newest in slot HistoryNewest, the
    // next one in the slot after it (wrapping).
    HistoryEntry History[HISTORY_RING];
    int32_t HistoryNewest = 0;
    int32_t HistoryCount = 0;

    // Where the records came from (SOURCE_*, or an import format).
    int32_t SourceType = SOURCE_BUILT;
    // The name of the import format the records were read with, so that the
    // session and the recent-file list reopen the file the same way; empty
    // for documents and raw record files.
    std::string ImportFormatName;

    // The records are only the first part of the source file (reason: why
    // the load ended early): Save then asks for another file, so that the
    // source is never replaced by part of itself; the tab's tool tip says so.
    void SetPartial(const QString& reason);
    bool IsPartial() const { return !PartialReason.isEmpty(); }

signals:
    void SignalRecalculateLocalInformer();
    void SignalSetCurrentPosition(int new_pos);

public slots:
    // The tab's own commands.
    void Close();
    void CloseSatellites();
    void notImplemented();
    void onTabMenuButton();
    void CollapseExpandPanes();
    // False when nothing was saved (a failure, or the file dialog cancelled).
    bool Save();
    bool SaveAs();
    void onEditableBoxChecked(int state);
    void onShowPErrorsBoxChecked(int state);
    void UpdateInfoTime();
    void CollapseAllPanes();
    void ExpandAllPanes();
    void CollapseAllHistory();
    void ExpandAllHistory();
    void FindCursorPositionChanged(int oldPos, int newPos);
    void OnSetCurrentPosition(int new_pos);
    void OnRecalculateLocalInformer();

    // Virtual operations; the table and graph documents override them.
    virtual void SetCurrentPosition(int row);
    // Turns the event loop: the caller asks StillOpen after it.
    virtual void ResetViewModel();
    virtual void UpdateRowNumberWidth();
    virtual void SyncGraphToCurrent();
    virtual void RepaintGraph();
    virtual void CloseGraph();
    virtual void UpdateGraphInformer();
    virtual void RowsCopy();
    virtual void RowsCopyAll();
    virtual void JumpToPrevStopPos();
    virtual void JumpToNextStopPos();
    virtual void CreateGraph();
    virtual void PrefColorize();
    virtual void SavePdfFile();
    virtual void SaveCSVFile();
    virtual void SaveTXTFile();
    virtual void SelectAll();
    virtual void ClearSelection();
    virtual void ClearHighlight();
    virtual void SetBackColor();
    virtual void GridOnOff();
    virtual void StartGraphSelect();
    virtual void EndGraphSelect();
    virtual void GraphZoomIn();
    virtual void GraphZoomOut();
    virtual void FilterSelected();
    virtual void JumpBack();
    virtual void PrefTime0Here();
    virtual void SelectByFuncContext();
    virtual void CustomFind();
    virtual void LoadCurrentToFind();
    virtual void CopyOneCell();
    virtual void SelectTIDsInTree();
    virtual void SetRMaxRange();
    virtual void GotoCurrentPos();
    virtual void AddBookmarkAtCurrent();
    virtual void RowsPasteToBottom();
    virtual void PrintErrorsToLog();
    virtual void PrintLineInfoToLog();
    virtual void CompareTabs();
    virtual void CopyRangesToTxt();
    virtual void CopyRangesToRtf();
    virtual void CompareTwoRanges();
    virtual void JumpsTriggered();
    virtual void OutlineTriggered();
    virtual void CreateFuncsDoc();
    virtual void UpdateBase();
    virtual void UpdateTimeColumnWidth();
    virtual void JumpToHome();
    virtual void JumpToEnd();
    virtual void RowsCopyByColors();
    // Marks the threads of the aux-tree items, each as its node and child
    // (-1 for a first-level item), on the graph (none: all).
    virtual void MarkThreadsOnGraph(const std::vector<std::pair<int32_t, int32_t>>& items);
    // The graph's times moved by -by (Time0 changed in its table).
    virtual void ShiftGraphTime(int64_t by);
    // The table tab of a graph is going: the graph forgets it.
    virtual void DetachGraph();

    // Search commands and the find line.
    void FindNext();
    void FindBack();
    void FindTextEdited(const QString& text);
    void EditingFindFinished();
    void SearchHistoryCurIndexChanged(int index);
    void FindListBox_context_menu(QPoint pos);
    void DeleteInQuickSearch();
    void PrefMatchCase();
    void SelectByCond();
    void BookmarkByCond();
    void FilterByCond();
    void ClearFilter();
    void HighlightByCond();
    void ClearBookmarks();
    void BookmarkCurrentOnOff();
    void PinPhrase(int btnstate = -1);
    void ClearPinned();
    void ActivateFixedHighlight();
    void onDeleteFixedHighlight();
    void Go1StepBack();
    void Go1StepForward();
    void GoToTextEdited(const QString& text);
    void OpenFindDialog(QString str = QString());
    void FindInHistory();

    // Rows.
    void RowsPaste();
    void RowsDelete();

    // Panes, toolbars and History.
    void CopyAuxTreeToClipboard();
    // The aux tree, the Outline and the colours that follow the tree, made
    // again.
    void UpdatePanes();
    void ChangeColorIcon();
    void OutlineAllNone();
    void OutlineCopyAll();
    void OutlineDeleteOnShortcut();
    void OutlineTablesCustomMenuRequested(QPoint pos);
    void onOutlineClicked(const QModelIndex& index);
    void SetFilterByOutline();
    void delete_outline();
    void delete_outline_multiply(bool select_clear, bool bookmark_clear);
    void InfoDataEdited(QWidget* cur_widget);
    void InfoPaneTimeNormalizeChanged(QTableWidgetItem* item);
    void InfoTableCustomMenuRequested(QPoint pos);
    void CopyInfo();
    void CopyAllInfo();
    void SidePanelsOnOff();
    void checkedToVisible(bool mode);
    void checkedToggle(bool mode);
    void HistoryCustomMenuRequested(QPoint pos);
    void CopyInHistory();
    void CopyAllInHistory();
    void ReplayInHistory();
    void CollapseExpandHistory();

    // Tab preferences and docking.
    void PrefChooseColor4Bookmark();
    void PrefChooseColor4Highlight();
    void PrefChooseColor4Selection();
    void PrefIndentText();
    void PrefInsertFunc();
    void PrefRelativeTime();
    void PrefShowPresenErrors();
    void PrefChooseAuxTreeLevels();
    void onOnOffSyncToCurRow();
    void change_color_info_select();
    void change_new_color_info_select();
    void DockAttach();
    void DockDetach();
    void DockHorizontally();
    void DockVertically();

private:
    // Whether the Outline is rebuilt now: it exists and a script did not
    // switch view updating off.
    bool OutlineRefreshes() const;
    // The jump workers' common body; shiftSelects: Shift held selects the
    // rows passed over.
    void JumpToStopPos(int32_t mode, bool forward, bool shiftSelects);
    // Whether a record shows the find line's match or a pinned phrase;
    // *name gets the text that matched.
    bool HighlightShown(int32_t row, KxdRecord* record, QString* name);

    // PinPhrase without the Outline's rebuild: true when a phrase was
    // pinned, so that the Outline is to be made again.
    bool PinFindText(int btnstate);
    // What every constructor does once the fields are set. A document (not
    // a graph) takes "(N)" when its file is open in N other documents and
    // fills its side panes at once (the Outline too, unless its opener
    // makes it); a graph fills them in its build's stages (FillPanes).
    void Init(bool document, OutlineFill outline = OutlineFill::NOW);
    // The table's name with "(N)" appended as the title rule says.
    void NameAfterOpenCopies();
    // After a search of the table over its rows: tells the user when a
    // pattern ran out of its match limit, as the result is incomplete, and
    // when evaluating the expression failed on a row.
    void ReportSearchLimit();
    // The System Log and the status line get text; key names the failure
    // and its expression, without the row. A highlight's report is left out
    // when its key was the last told.
    void TellSearchFailure(const QString& text, const std::string& key, bool byHighlight);
    // A pattern of expression that the highlights refuse (problem: why and
    // where), told as TellSearchFailure does.
    void TellRefusedPattern(const std::string& expression, const std::string& problem, bool byHighlight);
    // A jump that stops on highlights: why the find line's expression
    // highlights nothing (refused, or a pattern the highlights refuse), told
    // at each jump; nothing for a blank find line or a usable expression.
    void TellUnusableFindHighlight();
    // A command that tests the highlights over the rows (a jump, Highlight
    // switched on): a new round for the find line's and the pinned
    // expressions, whose failures are told again.
    void StartHighlightRound();
    // The key of the search failure told last (empty after a highlight
    // command or once another text is set), so that painting tells each
    // failure once.
    std::string toldSearchFailure_;
    // Applies text typed in the find line before a command uses it; false
    // (the user told) when the table refused it.
    bool CommitFindText();
    // The table's next or previous match made current with its message;
    // the row, or negative when none.
    int32_t SearchStep(bool forward);
    // FindNext and FindBack: the search, and with Shift the rows passed.
    void FindStep(bool forward, bool shiftSelects);

    QString PartialReason;
    // Set when the document's tab was closed; it is deleted at the next
    // turn of the event loop.
    bool closed_ = false;
    // The Outline's lines being made aside: the tab waits for them before
    // it goes.
    std::shared_future<void> outlineAside_;
    // Set when that work's lines are no longer wanted: its phrases stop
    // matching, so that an Abort or a close waits for little.
    std::shared_ptr<std::atomic<bool>> outlineAsideStop_;
    // What a save would write besides the records (their changes are the
    // table's modified flag) and the current row, as one number.
    uint64_t SavedContentHash() const;
    // The hash as the document was opened or last saved.
    uint64_t SavedHash = 0;
    // The user's work on the rows that only a ".kxl" file keeps: bookmarks,
    // selections and pinned highlights, as one number.
    uint64_t WorkHash() const;
    // The work hash as the document was opened, saved or its changes
    // discarded: a raw or imported file asks before its work goes.
    uint64_t SavedWorkHash = 0;
    // Both hashes as the document now is.
    void MarkSaved();
    // The Info table with its seven rows, switches and connections.
    void CreateInfoTable(QWidget* parent, int rowHeight);
    // Brings a side pane to the front (0 Info, 1 Outline, 2 History).
    void RaisePane(int32_t front);
    // Colouring needs the aux tree: without a first level, Colorize is
    // switched off and re-applied.
    void ColorizeNeedsTree();
};
