// The graph document: the timeline of one table tab's records, as a tab of
// its own over the same table (one more reference). It builds the points
// once, holds the timeline and the overview slider under it, and passes
// most document commands to the timeline. The table tab and its graph
// point at each other while both live; the graph closes with its table tab.
#pragma once

#include <cstdint>

#include <QList>

#include "kxviewer/graph/graphmodel.h"
#include "kxviewer/table/tabbase.h"

class GraphSlider;
class QAction;
class QSimpleGraph;
class QToolBar;
class QToolButton;
class TabTable;

class TabGraph : public TabBase {
    Q_OBJECT

public:
    // Above this many records the build shows its progress dialog.
    static constexpr int32_t QUIET_BUILD_ROWS = 10000;

    // The graph of a table tab, docked beside it and made current.
    static TabGraph* Open(TabTable& owner);

    TabGraph(TabTable& owner, QWidget* parent);
    ~TabGraph() override;

    // The table tab it was made from; null once that tab went.
    TabTable* Owner() const { return owner_; }
    QSimpleGraph* Graph() const { return graph_; }
    GraphSlider* Slider() const { return slider_; }
    const GraphModel& Model() const { return model_; }
    QToolBar* GraphToolBar() const { return graphBar_; }

    // The framework's hooks.
    bool SaveOnClose() override;
    void DiscardChanges() override;
    void SetTabDockFocus() override;
    void TabRemoved() override;

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
    void JumpsTriggered() override;
    void OutlineTriggered() override;
    void JumpToHome() override;
    void JumpToEnd() override;
    void GridOnOff() override;
    void MarkThreadsOnGraph(const QList<QTreeWidgetItem*>& items) override;
    void ShiftGraphTime(int64_t by) override;
    void DetachGraph() override;

private:
    // Reads the table's rows into points; report: tell the System Log and
    // the status line how many points the graph opened with.
    void BuildPoints(bool report);
    void CreateToolBar();
    // The widget and slider over the model's ranges, the table's marks.
    void ShowModel();
    // The table's selection ranges and bookmarks in times on the widget.
    void ShowTableMarks();
    // The cursor on a row and the view centred on it.
    void CursorTo(int32_t row);
    // The owner forgets this graph: its state, its links, its actions.
    void Unlink();

    TabTable* owner_ = nullptr;
    QSimpleGraph* graph_ = nullptr;
    GraphSlider* slider_ = nullptr;
    QToolBar* graphBar_ = nullptr;
    QToolButton* colourButton_ = nullptr;
    QAction* gridAction_ = nullptr;
    QAction* markInAction_ = nullptr;
    QAction* markOutAction_ = nullptr;
    GraphModel model_;
    // The table's counts the marks were last taken at.
    uint32_t marksSelected_ = 0;
    uint32_t marksBookmarks_ = 0;
};
