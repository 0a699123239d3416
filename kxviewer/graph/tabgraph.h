// The graph document: the timeline of one table tab's records, as a tab of
// its own over the same table (one more reference). It builds the points
// once, holds the timeline and the overview slider under it, and passes
// most document commands to the timeline. The table tab and its graph
// point at each other while both live; the graph closes with its table tab.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include <QList>
#include <QPointer>

#include "kxviewer/graph/graphmodel.h"
#include "kxviewer/graph/graphowner.h"
#include "kxviewer/table/tabbase.h"

class GraphProgress;
class GraphSlider;
class QAction;
class QSimpleGraph;
class QToolBar;
class QToolButton;
class TabTable;

class TabGraph : public TabBase, public GraphOwner {
    Q_OBJECT

public:
    // The graph of a table tab, docked beside it in its window and made
    // current; one progress display over that window runs from the start
    // until the graph shows. Null when the table tab was closed meanwhile.
    static TabGraph* Open(TabTable& owner);

    // The tab without its graph (Build).
    TabGraph(TabTable& owner, QWidget* parent);
    ~TabGraph() override;

    // The table tab it was made from; null once that tab went.
    TabTable* Owner() const;
    QSimpleGraph* Graph() const { return graph_; }
    GraphSlider* Slider() const { return slider_; }
    const GraphModel& Model() const { return model_; }
    QToolBar* GraphToolBar() const { return graphBar_; }

    // What the timeline asks of its document.
    QAction* Action(int id) const override;
    int32_t RowCount() const override;
    int64_t RowTime(int32_t row) const override;
    bool RowSelected(int32_t row) const override;
    void SelectRows(int32_t from, int32_t to, bool select) override;
    bool RowBookmarked(int32_t row) const override;
    void SetBookmark(int32_t row, bool on) override;
    bool NearestBookmark(int64_t t, int64_t& time, int32_t& row) const override;
    bool HasVisibleBookmarks() const override;
    void CursorMoved(int32_t row, bool syncTable) override;
    QString RecordInfo(int32_t row) const override;
    QString TableName() const override;
    QString ThreadText(uint64_t tid) const override;
    void SelectThreadsInTree(const std::vector<uint64_t>& tids) override;
    bool ShowsPresentationErrors() const override;
    QColor GraphBackground() const override;
    bool BackgroundButtonChecked() const override;
    void SetGraphBackground(const QColor& colour) override;
    void ShowStatus(const QString& text) override;
    void AddToSystemLog(const QString& text) override;
    void AddToSystemLogNoTime(const QString& text) override;

    // The framework's hooks.
    bool SaveOnClose() override;
    void DiscardChanges() override;
    void SetTabDockFocus() override;
    void TabRemoved() override;

protected:
    // A close while a build runs below a turn of the event loop deletes
    // the tab only once the build returned.
    bool event(QEvent* event) override;

public slots:
    void idleProcess();

    void SetCurrentPosition(int row) override;
    void SyncGraphToCurrent() override;
    void RepaintGraph() override;
    void CreateGraph() override;
    void CompareTabs() override;
    void CompareTwoRanges() override;
    void CopyRangesToRtf() override;
    void CopyRangesToTxt() override;
    void SavePdfFile() override;
    void SaveCSVFile() override;
    void SaveTXTFile() override;
    void SelectAll() override;
    void ClearSelection() override;
    void JumpsTriggered() override;
    void OutlineTriggered() override;
    void JumpToHome() override;
    void JumpToEnd() override;
    void SetBackColor() override;
    void GridOnOff() override;
    void StartGraphSelect() override;
    void EndGraphSelect() override;
    void GraphZoomIn() override;
    void GraphZoomOut() override;
    void JumpBack() override;
    void SelectTIDsInTree() override;
    void SetRMaxRange() override;
    void GotoCurrentPos() override;
    void AddBookmarkAtCurrent() override;
    void PrintErrorsToLog() override;
    void PrintLineInfoToLog() override;
    // The selection and highlight colours go to the table tab too.
    void PrefChooseColor4Selection();
    void PrefChooseColor4Highlight();
    void PrefChooseColor4Bookmark();
    void MarkThreadsOnGraph(const std::vector<std::pair<int32_t, int32_t>>& items) override;
    void ShiftGraphTime(int64_t by) override;
    void DetachGraph() override;

private:
    class BuildGuard;

    // The graph with the stages of progress up to showing it: the model,
    // the side panes, the view. False when the table tab or this one was
    // closed during a turn (nothing is shown then).
    bool Build(GraphProgress& progress);
    // Once docked: follows the table at idle turns, opens the side panels.
    void StartIdle();
    // The colour icon of one of this tab's actions, on the owner's action too.
    void ShareColourIcon(int action);
    // Runs a command of the owner table tab, when there still is one.
    void ForOwner(void (TabBase::*command)());
    // Reads the table's rows into points and indexes them, in the stages of
    // progress; false once Abort was pressed.
    bool BuildModel(GraphProgress& progress);
    // Tells the System Log and the status line how the build ended. After
    // an Abort, even one pressed once the model was built, the model is
    // emptied: the graph opens without points.
    void ReportBuild(bool built, const GraphProgress& progress);
    void CreateToolBar();
    // The widget and slider over the model's ranges, the table's marks.
    void ShowModel();
    // The table's selection ranges and bookmarks in times on the widget.
    void ShowTableMarks();
    // The colour button's icon: its action's over the background colour.
    void PaintColourButton();
    // The plot in the document's selection, bookmark and background colours.
    void ShowColours();
    // Colours changed on the table tab come here too.
    void FollowOwnerColours();
    // The owner forgets this graph: its state and its link (and, with
    // updateOwner, its actions follow).
    void Unlink(bool updateOwner);

    QPointer<TabTable> owner_;
    QSimpleGraph* graph_ = nullptr;
    GraphSlider* slider_ = nullptr;
    QToolBar* graphBar_ = nullptr;
    QToolButton* colourButton_ = nullptr;
    QAction* gridAction_ = nullptr;
    QAction* markInAction_ = nullptr;
    QAction* markOutAction_ = nullptr;
    GraphModel model_;
    std::chrono::steady_clock::time_point buildStart_;
    // The table's counts the marks were last taken at.
    uint32_t marksSelected_ = 0;
    uint32_t marksBookmarks_ = 0;
    // A build runs; a close meanwhile asked to delete the tab.
    bool building_ = false;
    bool deleteWhenBuilt_ = false;
};
