#include "kxviewer/graph/tabgraph.h"

#include <chrono>

#include <QAction>
#include <QEvent>
#include <QMenu>
#include <QPointer>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "kxlib/kxdrecord.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/graph/auxthreadmap.h"
#include "kxviewer/graph/graphpointbuilder.h"
#include "kxviewer/graph/graphprogress.h"
#include "kxviewer/graph/graphslider.h"
#include "kxviewer/graph/qsimplegraph.h"
#include "kxviewer/kxvglobals.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/shellservices.h"
#include "kxviewer/table/guiicons.h"
#include "kxviewer/table/tabactionids.h"
#include "kxviewer/table/tabtable.h"
#include "tearoffwidget/resources.h"
#include "tearoffwidget/tearoffmain.h"

namespace {
// Action ids of the graph tool bar.
constexpr int ACT_BACK_COLOR = 124;
constexpr int ACT_GRID = 125;
constexpr int ACT_MARK_IN = 126;
constexpr int ACT_MARK_OUT = 127;
constexpr int ACT_ZOOM_IN = 128;
constexpr int ACT_ZOOM_OUT = 129;
// The tab's tool bars the graph hides or places its own before.
constexpr int32_t FIND_TOOLBAR = 2;
constexpr int32_t SELECTION_TOOLBAR = 3;
constexpr int32_t DOCUMENTS_TOOLBAR = 7;
// Index entries given their records between two reports.
constexpr size_t RECORD_SLICE = size_t(1) << 16;
// The side panes' stage in shares of the bar: the Outline made aside, the
// aux tree, then the Outline shown.
constexpr int32_t OUTLINE_SHARES = 8;
constexpr int32_t TREE_SHARES = 1;
constexpr int32_t PANE_SHARES = 10;

void LogAndStatus(const QString& text)
{
    KxvShell().AddToSystemLog(text);
    KxvShell().ShowStatus(text);
}

void ReportCancelled(const QString& name)
{
    LogAndStatus(QStringLiteral("Graph \"%1\": creating cancelled").arg(name));
}

int64_t Nanoseconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - since).count();
}

int64_t TimeOfRow(KxTable& table, int32_t row)
{
    return table.GetRecord(row)->Int64(FIELD_TIME);
}

} // namespace

// Keeps the tab while a build works on it below a turn of the event loop:
// a close meanwhile deletes it once the build returned.
class TabGraph::BuildGuard {
public:
    explicit BuildGuard(TabGraph& graph) : graph_(graph) { graph_.building_ = true; }
    ~BuildGuard()
    {
        graph_.building_ = false;
        if (graph_.deleteWhenBuilt_)
            graph_.deleteLater();
    }
    BuildGuard(const BuildGuard&) = delete;
    BuildGuard& operator=(const BuildGuard&) = delete;

private:
    TabGraph& graph_;
};

TabGraph* TabGraph::Open(TabTable& owner)
{
    const QString name = QString::fromLocal8Bit(owner.Table->Name());
    // On show before the tab's widgets are made, over the window that holds
    // the table tab: the graph opens there.
    GraphProgress progress(name, owner.Table->RowCount(), owner);
    TabGraph* graph = progress.Gone() ? nullptr : new TabGraph(owner, nullptr);
    if (graph) {
        progress.Watch(graph);
        const BuildGuard guard(*graph);
        if (graph->Build(progress)) {
            // Whole now: the owner's graph from here on.
            owner.GraphTab = graph;
            if (TearOffMain* main = TearOffMain::Me) {
                main->TabifyTearOffDock(&owner, graph);
                main->SetTabActive(graph, false);
            }
            graph->StartIdle();
            const QPointer<TabGraph> shown(graph);
            progress.Finish();
            return shown;
        }
    }
    // A document was closed during a turn: the graph has nowhere to show.
    ReportCancelled(name);
    if (graph) {
        graph->Unlink(true);
        delete graph;
    }
    return nullptr;
}

TabGraph::TabGraph(TabTable& owner, QWidget* parent) : TabBase(owner, parent), owner_(&owner)
{
    graph_ = new QSimpleGraph(this);
    graph_->setObjectName(QStringLiteral("SimpleGraph"));
    graph_->SetOwner(this);
    setWindowTitle(windowTitle() + QStringLiteral(":graph"));
    // The table's rows stay as they are while the points are made from
    // them; the owner takes this tab as its graph once it is whole.
    GraphState = GRAPH_IS_GRAPH;
    owner.GraphState = GRAPH_OPEN;

    Toolbars[FIND_TOOLBAR]->hide();
    const QList<QAction*> selection = Toolbars[SELECTION_TOOLBAR]->actions();
    for (int i = 1; i <= 2 && i < selection.size(); ++i)
        selection[i]->setVisible(false);
    Toolbars[DOCUMENTS_TOOLBAR]->hide();
    CreateToolBar();

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(graph_, 1);
    layout->addWidget(slider_);
    setCentralWidget(central);

    // The colours chosen here are the table tab's too.
    for (QAction* colour : {Actions[TACT_COLOR_SELECTION], Actions[TACT_COLOR_HIGHLIGHT], Actions[TACT_COLOR_BOOKMARK]})
        if (colour)
            colour->disconnect(this);
    if (QAction* colour = Actions[TACT_COLOR_SELECTION])
        connect(colour, &QAction::triggered, this, &TabGraph::PrefChooseColor4Selection);
    if (QAction* colour = Actions[TACT_COLOR_HIGHLIGHT])
        connect(colour, &QAction::triggered, this, &TabGraph::PrefChooseColor4Highlight);
    if (QAction* colour = Actions[TACT_COLOR_BOOKMARK])
        connect(colour, &QAction::triggered, this, &TabGraph::PrefChooseColor4Bookmark);
}

bool TabGraph::Build(GraphProgress& progress)
{
    const bool built = BuildModel(progress);
    if (progress.Gone())
        return false;
    progress.Stage(GraphProgress::PANES);
    if (progress.Gone())
        return false;
    // The Outline reads every row: it is made aside, its share of the
    // stage moving the bar.
    std::vector<OutlineLine> outline;
    progress.RunAside([this, &outline](const GraphProgress::Report& report) {
        outline = MakeOutlineLines([&report](int32_t done, int32_t total) {
            report(done * OUTLINE_SHARES, total * PANE_SHARES);
        });
        return true;
    });
    progress.Advance(OUTLINE_SHARES, PANE_SHARES);
    if (progress.Gone())
        return false;
    FillPanes(std::move(outline), [&progress] {
        progress.Advance(OUTLINE_SHARES + TREE_SHARES, PANE_SHARES);
        return !progress.Gone();
    });
    if (progress.Gone())
        return false;
    progress.Stage(GraphProgress::VIEW);
    if (progress.Gone())
        return false;
    ReportBuild(built, progress);
    ShowColours();
    ShowModel();
    return true;
}

void TabGraph::StartIdle()
{
    if (QTimer* idle = owner_ ? owner_->IdleTimer() : nullptr)
        connect(idle, &QTimer::timeout, this, &TabGraph::idleProcess);
    if (QAction* panels = Actions[TACT_SIDE_PANELS])
        panels->trigger();
}

bool TabGraph::event(QEvent* event)
{
    if (event->type() == QEvent::DeferredDelete && building_) {
        deleteWhenBuilt_ = true;
        return true;
    }
    return TabBase::event(event);
}

TabGraph::~TabGraph()
{
    DisconnectParts();
    // Its tab group may be going with the window: the owner's actions are
    // left as they are.
    Unlink(false);
    // The widget outlives this part of the tab as a child: it must not read
    // the points after they are gone.
    graph_->SetOwner(nullptr);
    graph_->SetModel(nullptr);
    model_.Clear();
}

void TabGraph::Unlink(bool updateOwner)
{
    TabTable* owner = owner_;
    owner_ = nullptr;
    // The owner's graph, or the one being built for it.
    if (!owner || (owner->GraphTab && owner->GraphTab != this))
        return;
    owner->GraphTab = nullptr;
    owner->GraphState = GRAPH_NONE;
    if (updateOwner)
        owner->UpdateActions();
}

void TabGraph::DetachGraph() { owner_ = nullptr; }

TabTable* TabGraph::Owner() const { return owner_.data(); }

void TabGraph::TabRemoved()
{
    TabBase::TabRemoved();
    // A build still works on the tab: it must not go with its emptied group.
    if (building_)
        setParent(nullptr);
    // Gone from the window: the table tab filters and deletes again at once,
    // not only when this tab is finally deleted.
    Unlink(true);
}

bool TabGraph::BuildModel(GraphProgress& progress)
{
    graph_->SetMouseMode(QSimpleGraph::MODE_ZOOM);
    model_.Clear();
    buildStart_ = std::chrono::steady_clock::now();
    const auto report = [&progress](int32_t done, int32_t total) { return progress.Advance(done, total); };
    GraphPointBuilder points;
    progress.Stage(GraphProgress::READ);
    if (progress.Stopped() || !GraphModel::ReadPoints(*Table, points, report))
        return false;
    KX_PRINT(KxvTearoffChannel, ZmLib::KX_LEVEL_NOTICE, "Timer 1 %lld ",
             static_cast<long long>(Nanoseconds(buildStart_)));

    // The model is nobody else's yet: the widget takes it when it shows.
    progress.Stage(GraphProgress::INDEX);
    if (progress.Stopped())
        return false;
    const std::vector<uint64_t> tids = GraphModel::ThreadList(*Table);
    const std::vector<QColor> colours = GraphModel::Colours(&PrefGlobal::GetColor, tids.size());
    const auto index = [&](const GraphProgress::Report& aside) { return model_.Index(points, tids, colours, aside); };
    if (!progress.RunAside(index))
        return false;
    KX_PRINT(KxvTearoffChannel, ZmLib::KX_LEVEL_NOTICE, "Timer 2 %lld ",
             static_cast<long long>(Nanoseconds(buildStart_)));

    // The table is read on its own thread only.
    progress.Stage(GraphProgress::RECORDS);
    if (progress.Stopped())
        return false;
    const size_t entries = model_.Index().size();
    for (size_t from = 0; from < entries; from += RECORD_SLICE) {
        const size_t to = std::min(entries, from + RECORD_SLICE);
        model_.AttachRecords(*Table, from, to);
        if (!progress.Advance(int64_t(to), int64_t(entries)))
            return false;
    }
    KX_PRINT(KxvTearoffChannel, ZmLib::KX_LEVEL_NOTICE, "Timer 3 %lld ",
             static_cast<long long>(Nanoseconds(buildStart_)));
    return true;
}

void TabGraph::ReportBuild(bool built, const GraphProgress& progress)
{
    const QString name = QString::fromLocal8Bit(Table->Name());
    if (!built || progress.Canceled()) {
        // Cancelled: the tab still opens, over an empty graph.
        model_.Clear();
        ReportCancelled(name);
        return;
    }
    if (model_.SkippedThreads() > 0)
        KxvShell().AddToSystemLog(QStringLiteral("Graph \"%1\": %2 threads past the first %3 have no line")
                                      .arg(name)
                                      .arg(qulonglong(model_.SkippedThreads()))
                                      .arg(GraphPointBuilder::MAX_THREADS));
    if (model_.UnallocatedThreads() > 0)
        KxvShell().AddToSystemLog(QStringLiteral("Graph \"%1\": no memory for the lines of %2 threads")
                                      .arg(name)
                                      .arg(qulonglong(model_.UnallocatedThreads())));
    LogAndStatus(QStringLiteral("Graph \"%1\" opened: %2 points").arg(name).arg(qulonglong(model_.Index().size())));
    KX_PRINT(KxvTearoffChannel, ZmLib::KX_LEVEL_NOTICE, "Timer 4 %lld ",
             static_cast<long long>(Nanoseconds(buildStart_)));
}

void TabGraph::ShowModel()
{
    graph_->SetModel(&model_);
    const GraphPair x = model_.TimeRange();
    slider_->SetBounds(x.min, x.max);
    ShowTableMarks();
    if (Table->CurRow() >= 0)
        graph_->SetCurrentRow(Table->CurRow(), false, false);
    graph_->update();
    slider_->update();
}

void TabGraph::CreateGraph()
{
    const BuildGuard guard(*this);
    GraphProgress progress(QString::fromLocal8Bit(Table->Name()), Table->RowCount(), *this);
    progress.Watch(owner_);
    // The model is rebuilt on another thread: the widget lets go of it.
    graph_->SetModel(nullptr);
    const bool built = BuildModel(progress);
    if (!progress.Gone())
        progress.Stage(GraphProgress::VIEW);
    // Closed meanwhile: the tab goes without a graph to show.
    if (progress.Gone()) {
        ReportCancelled(QString::fromLocal8Bit(Table->Name()));
        return;
    }
    ReportBuild(built, progress);
    ShowModel();
    progress.Finish();
}

void TabGraph::CreateToolBar()
{
    const GraphPair x = model_.TimeRange();
    slider_ = new GraphSlider(x.min, x.max, graph_, this);
    slider_->setFixedHeight(GraphSlider::HEIGHT);
    slider_->setOrientation(Qt::Horizontal);
    slider_->setMinimum(0);
    slider_->setValue(0);
    graph_->SetSlider(slider_);

    graphBar_ = new QToolBar(QStringLiteral("Graph"), this);
    insertToolBar(Toolbars[SELECTION_TOOLBAR], graphBar_);
    colourButton_ = new QToolButton(graphBar_);
    colourButton_->setCheckable(true);
    colourButton_->setPopupMode(QToolButton::MenuButtonPopup);
    if (QAction* back = Actions[ACT_BACK_COLOR])
        colourButton_->setDefaultAction(back);
    PaintColourButton();
    auto* menu = new QMenu(colourButton_);
    QAction* change = menu->addAction(QStringLiteral("Change Color..."));
    change->setObjectName(QStringLiteral("ColorGraphBg"));
    connect(change, &QAction::triggered, graph_, &QSimpleGraph::SelectColorScheme);
    colourButton_->setMenu(menu);
    graphBar_->addWidget(colourButton_);
    gridAction_ = Actions[ACT_GRID];
    markInAction_ = Actions[ACT_MARK_IN];
    markOutAction_ = Actions[ACT_MARK_OUT];
    if (gridAction_) {
        gridAction_->setCheckable(true);
        gridAction_->setChecked(true);
        graphBar_->addAction(gridAction_);
    }
    graphBar_->addSeparator();
    for (QAction* action : {markInAction_, markOutAction_, Actions[ACT_ZOOM_OUT], Actions[ACT_ZOOM_IN]})
        if (action)
            graphBar_->addAction(action);
}

void TabGraph::ShowTableMarks()
{
    const int32_t rows = Table->RowCount();
    std::vector<GraphBand> bands;
    for (const SelRange* range = Table->FirstRange(); range; range = range->NextEntry()) {
        const int32_t last = range->first + range->count - 1;
        if (range->first < 0 || last >= rows || range->count < 1)
            continue;
        bands.push_back({TimeOfRow(*Table, range->first), TimeOfRow(*Table, last), qRgb(int(range->tag >> 16) & 0xFF,
                                                                                        int(range->tag >> 8) & 0xFF,
                                                                                        int(range->tag) & 0xFF)});
    }
    std::vector<GraphBookmark> bookmarks;
    for (const KxBkmarkEntry* entry = Table->Bookmarks().First(); entry; entry = entry->NextEntry())
        if (entry->index >= 0 && entry->index < rows)
            bookmarks.push_back({TimeOfRow(*Table, entry->index), uint32_t(entry->index)});
    graph_->SetBands(std::move(bands));
    graph_->SetBookmarks(std::move(bookmarks));
    marksSelected_ = Table->NumSelected;
    marksBookmarks_ = Table->Bookmarks().Length();
}

void TabGraph::idleProcess()
{
    FollowOwnerColours();
    if (Table->NumSelected != LastNumSelected || Table->Bookmarks().Length() != LastNumBookmarks)
        RefreshOutlineTable();
    if (Table->NumSelected != marksSelected_ || Table->Bookmarks().Length() != marksBookmarks_)
        ShowTableMarks();
}

bool TabGraph::SaveOnClose() { return true; }

void TabGraph::DiscardChanges() {}

void TabGraph::SetTabDockFocus() { graph_->setFocus(Qt::OtherFocusReason); }

void TabGraph::SetCurrentPosition(int row)
{
    graph_->SetCurrentRow(row, false, true);
    SyncGraphToCurrent();
}

void TabGraph::SyncGraphToCurrent()
{
    // The table leads: its current row moved, the cursor follows without
    // telling the table back.
    const int32_t row = Table->CurRow();
    if (row >= 0 && row < Table->RowCount() && row != graph_->CursorRow())
        graph_->SetCurrentRow(row, false, false);
    graph_->CenterOnPos(graph_->CursorTime());
}

void TabGraph::RepaintGraph()
{
    if (owner_) {
        const bool on = Actions[TACT_SHOW_PRES_ERRORS] && Actions[TACT_SHOW_PRES_ERRORS]->isChecked();
        owner_->Prefs.ShowPresErrors = on ? 1 : 0;
        if (QAction* action = owner_->Actions[TACT_SHOW_PRES_ERRORS])
            action->setChecked(on);
        owner_->SetJumpCondition(JUMP_VIEW_ERRORS, on && PrefTabTable::Default().jumps[JUMP_VIEW_ERRORS] != 0);
        if (QAction* jump = owner_->JumpActions[JUMP_VIEW_ERRORS])
            jump->setEnabled(on);
    }
    ShowTableMarks();
    graph_->Redraw();
}

void TabGraph::ForOwner(void (TabBase::*command)())
{
    if (owner_)
        (owner_.data()->*command)();
}

void TabGraph::CompareTabs() { ForOwner(&TabBase::CompareTabs); }

void TabGraph::CompareTwoRanges() { ForOwner(&TabBase::CompareTwoRanges); }

void TabGraph::CopyRangesToRtf() { ForOwner(&TabBase::CopyRangesToRtf); }

void TabGraph::CopyRangesToTxt() { ForOwner(&TabBase::CopyRangesToTxt); }

// The graph shows the table's rows, so its exports are the table's.
void TabGraph::SavePdfFile() { ForOwner(&TabBase::SavePdfFile); }

void TabGraph::SaveCSVFile() { ForOwner(&TabBase::SaveCSVFile); }

void TabGraph::SaveTXTFile() { ForOwner(&TabBase::SaveTXTFile); }

// The rows are the table's: select them there and show the bands at once.
void TabGraph::SelectAll()
{
    ForOwner(&TabBase::SelectAll);
    ShowTableMarks();
    UpdateInformer();
}

void TabGraph::ClearSelection()
{
    ForOwner(&TabBase::ClearSelection);
    ShowTableMarks();
    UpdateInformer();
}

void TabGraph::JumpsTriggered()
{
    for (int32_t i = 0; i < JUMP_Nums; ++i)
        Prefs.jumps[i] = JumpActions[i] && JumpActions[i]->isChecked() ? 1 : 0;
    if (owner_)
        for (int32_t i = 0; i < JUMP_Nums; ++i)
            owner_->SetJumpCondition(i, Prefs.jumps[i] != 0);
}

void TabGraph::OutlineTriggered()
{
    for (int32_t i = 0; i < JUMP_Nums; ++i)
        Prefs.outline[i] = OutlineActions[i] && OutlineActions[i]->isChecked() ? 1 : 0;
    if (owner_)
        for (int32_t i = 0; i < JUMP_Nums; ++i)
            owner_->SetOutlineCondition(i, Prefs.outline[i] != 0);
    RefreshOutlineTable();
}

void TabGraph::JumpToHome()
{
    graph_->SetCursorTime(graph_->FullX().min, false, true);
    SyncGraphToCurrent();
}

void TabGraph::JumpToEnd()
{
    graph_->SetCursorTime(graph_->FullX().max, false, true);
    SyncGraphToCurrent();
}

void TabGraph::SetBackColor() { graph_->SetBackColor(); }
void TabGraph::GridOnOff() { graph_->GridOnOff(); }
void TabGraph::StartGraphSelect() { graph_->startGraphSelect(); }
void TabGraph::EndGraphSelect() { graph_->endGraphSelect(); }
void TabGraph::GraphZoomIn() { graph_->GraphZoomIn(); }
void TabGraph::GraphZoomOut() { graph_->GraphZoomOut(); }
void TabGraph::JumpBack() { graph_->DoBack(); }
void TabGraph::SelectTIDsInTree() { graph_->SelectTIDsInTree(); }
void TabGraph::SetRMaxRange() { graph_->SetRMaxRange(true, true); }
void TabGraph::GotoCurrentPos() { graph_->GoToCursorPos(); }
void TabGraph::AddBookmarkAtCurrent() { graph_->AddBookmarkAtCurrent(); }
void TabGraph::PrintErrorsToLog() { graph_->PrintErrorsToLog(); }
void TabGraph::PrintLineInfoToLog() { graph_->PrintLineInfoToLog(); }

void TabGraph::MarkThreadsOnGraph(const std::vector<std::pair<int32_t, int32_t>>& items)
{
    if (items.empty()) {
        graph_->ShowAllTids(true);
        return;
    }
    // An item stands for the threads of the records it groups, whatever
    // field its text shows.
    graph_->MarkTids(AuxThreadMap(*Table).Threads(items), true);
}

void TabGraph::ShiftGraphTime(int64_t by) { graph_->ShiftTime(by); }

void TabGraph::PaintColourButton()
{
    if (!colourButton_)
        return;
    const QColor colour = BackgroundButtonChecked() ? GraphBackground() : KxvLook::GraphBackground(2);
    colourButton_->setIcon(MakeColorBarIcon(colour, QString::fromLatin1(Resources::GetActionIconPath(ACT_BACK_COLOR))));
}

void TabGraph::ShareColourIcon(int action)
{
    if (QAction* theirs = owner_->Actions[action])
        theirs->setIcon(Actions[action] ? Actions[action]->icon() : QIcon());
}

void TabGraph::PrefChooseColor4Selection()
{
    TabBase::PrefChooseColor4Selection();
    if (!owner_)
        return;
    owner_->Prefs.ColorSelect = Prefs.ColorSelect;
    ShareColourIcon(TACT_SELECT);
    ShowColours();
    RepaintGraph();
}

void TabGraph::PrefChooseColor4Highlight()
{
    TabBase::PrefChooseColor4Highlight();
    if (!owner_)
        return;
    owner_->Prefs.ColorHighlight = Prefs.ColorHighlight;
    ShareColourIcon(TACT_HIGHLIGHT);
    owner_->UpdateBase();
}

void TabGraph::PrefChooseColor4Bookmark()
{
    TabBase::PrefChooseColor4Bookmark();
    ShowColours();
    if (!owner_)
        return;
    owner_->Prefs.ColorBookmark = Prefs.ColorBookmark;
    ShareColourIcon(TACT_BOOKMARK);
    owner_->UpdateBase();
}
