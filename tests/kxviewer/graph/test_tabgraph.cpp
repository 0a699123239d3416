// The graph document over a table tab: its build and progress dialog, the
// refusals of both tabs while it is open, closing in either order, Time0,
// hiding threads from the aux tree, its menus, colours, back history and
// comparison.
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <QAction>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QWheelEvent>

#include "kxviewer/graph/cgraphelement.h"
#include "kxviewer/graph/graphpointbuilder.h"
#include "kxviewer/graph/qsimplegraph.h"
#include "kxviewer/graph/tabgraph.h"
#include "kxviewer/table/outlineview.h"
#include "kxviewer/table/auxtreemodel.h"
#include "kxviewer/table/auxtreeview.h"
#include "kxviewer/table/panedocks.h"
#include "kxviewer/table/tabactionids.h"
#include "kxviewer/table/tabtablemodel.h"
#include "logicalgrab.h"
#include "tearoffwidget/tearofftabbar.h"
#include "tearoffwidget/tearofftabwidget.h"
#include "tests/kxviewer/table/tabletabenv.h"

namespace {

using tabtest::Contains;

constexpr int ACT_HIDE_OTHERS = 101;
constexpr int ACT_REMOVE_FILTER = 102;
constexpr int ACT_REMOVE_SELECTION = 103;
constexpr int ACT_SHOW_ALL = 104;

// What a right click showed: how many menus were open at once, the
// entries (text, enabled; separators left out) of the one whose parent
// was named, and how many menu requests reached the top window (which
// opens its tool-bar menu for them).
struct MenusSeen {
    int open = -1;
    std::vector<std::pair<std::string, bool>> entries;
    int windowRequests = 0;
};

// Counts the events of a type a window gets.
class EventCount : public QObject {
public:
    EventCount(QWidget* window, QEvent::Type type) : type_(type) { window->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override
    {
        count += event->type() == type_ ? 1 : 0;
        return false;
    }
    int count = 0;

private:
    QEvent::Type type_;
};

// A right click through the window, as the platform delivers it (the
// press, then the context-menu event). The entry named choose of the
// menu of menuParent is triggered; then every menu is closed.
MenusSeen RightClick(QWidget* widget, const QPoint& at, QWidget* menuParent, const QString& choose = QString())
{
    MenusSeen seen;
    QTimer::singleShot(50, [&] {
        QList<QMenu*> open;
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* menu = qobject_cast<QMenu*>(top); menu && menu->isVisible())
                open << menu;
        seen.open = open.size();
        for (QMenu* menu : open) {
            if (menu->parentWidget() != menuParent)
                continue;
            for (QAction* action : menu->actions()) {
                if (action->isSeparator())
                    continue;
                seen.entries.emplace_back(action->text().toStdString(), action->isEnabled());
                if (action->text() == choose)
                    action->trigger();
            }
        }
        for (QMenu* menu : open)
            menu->close();
    });
    const EventCount requests(widget->window(), QEvent::ContextMenu);
    QWindow* window = widget->window()->windowHandle();
    QTest::mouseClick(window, Qt::RightButton, Qt::NoModifier, widget->mapTo(widget->window(), at));
    for (int waited = 0; seen.open < 0 && waited < 3000; waited += 20)
        QTest::qWait(20);
    seen.windowRequests = requests.count;
    return seen;
}

bool HasEntry(const MenusSeen& seen, const std::string& text)
{
    return std::any_of(seen.entries.begin(), seen.entries.end(), [&text](const auto& e) { return e.first == text; });
}

// A value the build gave the progress display, with the label on show.
struct ShownValue {
    std::string label;
    int value;
};

// The display as the shell makes it, telling what the build set on it.
class RecordedProgress : public KxvProgress {
public:
    RecordedProgress(std::vector<ShownValue>& values, std::unique_ptr<KxvProgress> display)
        : values_(values), display_(std::move(display))
    {
    }
    void Show() override { display_->Show(); }
    bool IsVisible() const override { return display_->IsVisible(); }
    void SetValue(int value) override
    {
        values_.push_back({label_, value});
        display_->SetValue(value);
    }
    void SetLabel(const QString& label) override
    {
        label_ = label.toStdString();
        display_->SetLabel(label);
    }
    void FitLabel(const QString& label) override { display_->FitLabel(label); }
    void SetWindow(QWidget* window) override { display_->SetWindow(window); }
    bool WasCanceled() const override { return display_->WasCanceled(); }
    void Cancel() override { display_->Cancel(); }
    void Close() override { display_->Close(); }

private:
    std::vector<ShownValue>& values_;
    std::unique_ptr<KxvProgress> display_;
    std::string label_;
};

// Status, System Log and boxes recorded; progress dialogs over the window,
// their values recorded.
class GraphShell : public tabtest::StatusRecorder {
public:
    QWidget* MainWidget() const override { return window; }
    std::unique_ptr<KxvProgress> CreateProgress(const QString& label, const QString& cancel, int minimum,
                                                int maximum) override
    {
        return std::make_unique<RecordedProgress>(
            values, KxvShellServices::CreateProgress(label, cancel, minimum, maximum));
    }
    QWidget* window = nullptr;
    std::vector<ShownValue> values;
};

// The shell's graph hook, as the main window has it.
class GraphHooks : public tabtest::RecordingTabShell {
public:
    TabBase* OpenGraph(TabTable& owner) override { return TabGraph::Open(owner); }
};

RawRecord At(uint64_t time, uint64_t tid, const char* tname = nullptr)
{
    RawRecord raw;
    raw.time = time, raw.tid = tid, raw.tname = tname, raw.text = "x";
    return raw;
}

class TabGraphTest : public tabletest::TableTabTest {
protected:
    void SetUp() override
    {
        TableTabTest::SetUp();
        graphShell.window = main.get();
    }

    // Time relative, as the graph needs it, or absolute.
    static TabTable* Relative(TabTable* tab, bool on = true)
    {
        if (tab->Table->TimeNormalised() != on)
            tab->Actions[TACT_RELATIVE_TIME]->trigger();
        return tab;
    }

    TabTable* OpenTimes(std::initializer_list<RawRecord> records) { return Relative(OpenRecords(records)); }

    // Closed without the question about saving the changed table.
    static void CloseTab(TabBase* tab)
    {
        tab->DiscardChanges();
        tab->Close();
        QApplication::processEvents();
        FlushDeletes();
    }

    static TabGraph* GraphOf(TabTable* tab) { return qobject_cast<TabGraph*>(tab->GraphTab); }
    static TabGraph* CreateGraph(TabTable* tab) { tab->CreateGraph(); return GraphOf(tab); }

    int GraphDocks() const
    {
        return int(std::count_if(main->Docks.begin(), main->Docks.end(),
                             [](TearOffTabDock* dock) { return qobject_cast<TabGraph*>(dock) != nullptr; }));
    }

    // The threads whose lines the graph shows, ascending.
    static std::vector<uint64_t> ShownTids(TabGraph* graph)
    {
        std::vector<uint64_t> shown;
        for (const CGraphElement* e = graph->Model().First(); e; e = e->NextEntry())
            if (e->Shown())
                shown.push_back(e->Tid);
        std::sort(shown.begin(), shown.end());
        return shown;
    }

    GraphShell graphShell;
    GraphHooks graphHooks;
};

TEST_F(TabGraphTest, BuildShowsProgressAboveTenThousandRecordsAndOpensEmptyWhenCancelled)
{
    const struct { uint32_t records; bool cancel, dialog; } cases[] = {
        {10000, false, false}, {10001, false, true}, {10001, true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.records) + (c.cancel ? " cancelled" : ""));
        TabTable* tab = Relative(OpenGenerated(c.records, c.cancel ? "cancel.kx" : "trace.kx"));
        ASSERT_EQ(tab->Table->RowCount(), int32_t(c.records));
        QString seen;
        // Runs inside the build's event processing while a dialog shows.
        QTimer::singleShot(0, [&] {
            for (QProgressDialog* dialog : main->findChildren<QProgressDialog*>()) {
                if (!dialog->isVisible())
                    continue;
                seen = dialog->labelText();
                for (QPushButton* button : dialog->findChildren<QPushButton*>())
                    if (c.cancel && button->text() == QLatin1String("Abort Create"))
                        QTest::mouseClick(button, Qt::LeftButton);
            }
        });
        graphShell.Clear();
        tab->Actions[TACT_CREATE_GRAPH]->trigger();
        QApplication::processEvents();
        TabGraph* graph = GraphOf(tab);
        ASSERT_NE(graph, nullptr);
        const std::string name = tab->Table->Name();
        EXPECT_EQ(seen.toStdString(), c.dialog ? "Creating graph " + name : std::string());
        EXPECT_EQ(graph->windowTitle().toStdString(), name + ":graph");
        EXPECT_EQ(TearOffMain::CurrentDock, graph);
        const size_t points = graph->Model().Index().size();
        const std::string opened = "Graph \"" + name + "\" opened: " + std::to_string(points) + " points";
        EXPECT_EQ(Contains(graphShell.log, opened), !c.cancel);
        EXPECT_EQ(Contains(graphShell.status, opened), !c.cancel);
        EXPECT_TRUE(c.cancel ? points == 0 : points >= c.records) << points;
        EXPECT_EQ(graph->Graph()->FullX().max == 1, c.cancel);
        CloseTab(tab);
    }
}

// What the visible progress dialog showed at each turn of the event loop
// while command made the graph of tab, and whether the graph was on screen
// then. act may press the dialog's buttons.
// act may close the table tab.
struct ProgressSample {
    int value;
    std::string label;
    bool graphShown;
    // The table tab points at its graph.
    bool linked;
    // The window the dialog stands over.
    QWidget* over;
};

std::vector<ProgressSample> SampleGraphProgress(QWidget* main, TabTable* table, QAction* command,
                                                const std::function<void(QProgressDialog&)>& act = nullptr)
{
    std::vector<ProgressSample> samples;
    QTimer sampler;
    sampler.setInterval(0);
    const QPointer<TabTable> tab(table);
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        for (QProgressDialog* dialog : main->findChildren<QProgressDialog*>()) {
            if (!dialog->isVisible())
                continue;
            auto* graph = tab ? qobject_cast<TabGraph*>(tab->GraphTab) : nullptr;
            const bool shown = graph && TearOffMain::CurrentDock == graph && graph->Graph()->isVisible();
            samples.push_back({dialog->value(), dialog->labelText().toStdString(), shown, graph != nullptr,
                               dialog->parentWidget()});
            if (act)
                act(*dialog);
        }
    });
    sampler.start();
    command->trigger();
    sampler.stop();
    return samples;
}

const char* const GraphStages[] = {"indexing the points", "linking the points to their rows",
                                   "building the side panes", "showing the graph"};

TEST_F(TabGraphTest, ProgressMovesThroughEveryStageAndIsFullOnlyWithTheGraphShown)
{
    TabTable* tab = Relative(OpenGenerated(10001));
    const std::string plain = "Creating graph " + std::string(tab->Table->Name());
    const std::vector<ProgressSample> samples = SampleGraphProgress(main.get(), tab, tab->Actions[TACT_CREATE_GRAPH]);
    ASSERT_FALSE(samples.empty());
    // Each stage once, in order, each starting further along the bar.
    std::vector<std::string> labels;
    std::vector<int> starts;
    for (size_t i = 0; i < samples.size(); ++i) {
        if (i > 0) {
            EXPECT_GE(samples[i].value, samples[i - 1].value) << samples[i].label;
        }
        if (labels.empty() || labels.back() != samples[i].label) {
            labels.push_back(samples[i].label);
            starts.push_back(samples[i].value);
        }
        EXPECT_EQ(samples[i].value == 100, samples[i].graphShown) << samples[i].label << " " << samples[i].value;
        // The table tab's graph only once it is whole.
        EXPECT_EQ(samples[i].value == 100, samples[i].linked) << samples[i].label << " " << samples[i].value;
        EXPECT_EQ(samples[i].over, main.get());
    }
    std::vector<std::string> expected{plain};
    for (const char* stage : GraphStages)
        expected.push_back(plain + ": " + stage);
    EXPECT_EQ(labels, expected);
    EXPECT_EQ(std::adjacent_find(starts.begin(), starts.end(), std::greater_equal<int>()), starts.end());
    EXPECT_EQ(samples.back().value, 100);
    // The Outline made aside is the table tab's.
    TabGraph* graph = GraphOf(tab);
    ASSERT_NE(graph, nullptr);
    EXPECT_GT(tab->OutlineTable->LineCount(), 0);
    EXPECT_EQ(graph->OutlineTable->LineCount(), tab->OutlineTable->LineCount());
    // Made again from the graph itself: the same points, the same stages.
    const size_t points = graph->Model().Index().size();
    const GraphPair range = graph->Graph()->FullX();
    ASSERT_NE(graph->Actions[TACT_CREATE_GRAPH], nullptr);
    std::vector<std::string> again;
    for (const ProgressSample& sample : SampleGraphProgress(main.get(), tab, graph->Actions[TACT_CREATE_GRAPH]))
        if (again.empty() || again.back() != sample.label)
            again.push_back(sample.label);
    EXPECT_EQ(again, std::vector<std::string>({expected[0], expected[1], expected[2], expected[4]}));
    EXPECT_EQ(graph->Model().Index().size(), points);
    EXPECT_EQ(graph->Graph()->FullX().min, range.min);
    EXPECT_EQ(graph->Graph()->FullX().max, range.max);
    CloseTab(tab);
}

TEST_F(TabGraphTest, AbortInAnyStageLeavesAnEmptyGraphUntilTheGraphShows)
{
    // The stage whose label (or, with none, the full bar) presses Abort.
    const struct { const char* stage; bool empty; } cases[] = {
        {GraphStages[0], true}, {GraphStages[1], true}, {GraphStages[2], true}, {GraphStages[3], true},
        {nullptr, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stage ? c.stage : "full bar");
        TabTable* tab = Relative(OpenGenerated(10001));
        graphShell.Clear();
        bool pressed = false;
        SampleGraphProgress(main.get(), tab, tab->Actions[TACT_CREATE_GRAPH], [&](QProgressDialog& dialog) {
            const bool now = c.stage ? dialog.labelText().endsWith(QLatin1String(c.stage)) : dialog.value() == 100;
            if (pressed || !now)
                return;
            pressed = true;
            for (QPushButton* button : dialog.findChildren<QPushButton*>())
                if (button->text() == QLatin1String("Abort Create"))
                    QTest::mouseClick(button, Qt::LeftButton);
        });
        EXPECT_TRUE(pressed);
        TabGraph* graph = GraphOf(tab);
        ASSERT_NE(graph, nullptr);
        EXPECT_EQ(TearOffMain::CurrentDock, graph);
        const std::string cancelled = "Graph \"" + std::string(tab->Table->Name()) + "\": creating cancelled";
        EXPECT_EQ(Contains(graphShell.log, cancelled), c.empty);
        EXPECT_EQ(graph->Model().Index().empty(), c.empty);
        EXPECT_EQ(graph->Model().ElementCount() == 0, c.empty);
        EXPECT_EQ(graph->Graph()->FullX().max == 1, c.empty);
        CloseTab(tab);
    }
}

TEST_F(TabGraphTest, EscapeOrTheTitleBarsCloseCancelsTheBuild)
{
    for (const bool escape : {true, false}) {
        SCOPED_TRACE(escape ? "Escape" : "close");
        TabTable* tab = Relative(OpenGenerated(10001));
        graphShell.Clear();
        int dismissed = 0;
        const std::vector<ProgressSample> samples =
            SampleGraphProgress(main.get(), tab, tab->Actions[TACT_CREATE_GRAPH], [&](QProgressDialog& dialog) {
                if (dismissed > 0 || !dialog.labelText().endsWith(QLatin1String(GraphStages[0])))
                    return;
                ++dismissed;
                if (escape)
                    QTest::keyClick(&dialog, Qt::Key_Escape);
                else
                    dialog.close();
            });
        ASSERT_EQ(dismissed, 1);
        // Nothing was on show after the dismissal, and the graph is empty.
        EXPECT_TRUE(QString::fromStdString(samples.back().label).endsWith(QLatin1String(GraphStages[0])));
        TabGraph* graph = GraphOf(tab);
        ASSERT_NE(graph, nullptr);
        EXPECT_TRUE(Contains(graphShell.log, "Graph \"" + std::string(tab->Table->Name()) + "\": creating cancelled"));
        EXPECT_TRUE(graph->Model().Index().empty());
        CloseTab(tab);
    }
}

TEST_F(TabGraphTest, GraphFromASecondaryWindowShowsItsProgressAndItsTabThere)
{
    TabTable* tab = Relative(OpenGenerated(10001));
    QMainWindow* window = main->AddSecondaryTearOffDock(Qt::TopDockWidgetArea, tab, 0);
    ASSERT_NE(window, nullptr);
    window->activateWindow();
    QApplication::processEvents();
    const EventCount mainActivated(main.get(), QEvent::WindowActivate);
    const std::vector<ProgressSample> samples = SampleGraphProgress(main.get(), tab, tab->Actions[TACT_CREATE_GRAPH]);
    ASSERT_FALSE(samples.empty());
    for (const ProgressSample& sample : samples)
        EXPECT_EQ(sample.over, window) << sample.label;
    TabGraph* graph = GraphOf(tab);
    ASSERT_NE(graph, nullptr);
    EXPECT_EQ(graph->window(), window);
    EXPECT_EQ(graph->TabWidget, tab->TabWidget);
    EXPECT_EQ(TearOffMain::CurrentDock, graph);
    QApplication::processEvents();
    EXPECT_EQ(mainActivated.count, 0);
    EXPECT_NE(QApplication::activeWindow(), main.get());
    CloseTab(tab);
}

TEST_F(TabGraphTest, ClosingTheDocumentsDuringAStageStopsTheBuildCleanly)
{
    // The stage whose turn closes the table tab (null: the plain label
    // before the first stage; "" the full bar), alone or with every
    // document as the update does; from the table tab or the graph's own
    // rebuild.
    const char* const stages[] = {nullptr, GraphStages[0], GraphStages[1], GraphStages[2], GraphStages[3], ""};
    for (const bool rebuild : {false, true})
        for (const bool all : {false, true})
            for (const char* stage : stages) {
                if (rebuild && stage == GraphStages[2])
                    continue; // a rebuild has no side-pane stage
                SCOPED_TRACE(std::string(stage ? stage : "plain") + (all ? ", all" : "") +
                             (rebuild ? ", rebuild" : ""));
                TabTable* tab = Relative(OpenGenerated(10001));
                QPointer<TabTable> table(tab);
                const std::string name = tab->Table->Name();
                QPointer<TabGraph> graph = rebuild ? CreateGraph(tab) : nullptr;
                ASSERT_EQ(graph.isNull(), !rebuild);
                QAction* command = rebuild ? graph->Actions[TACT_CREATE_GRAPH] : tab->Actions[TACT_CREATE_GRAPH];
                graphShell.Clear();
                bool closed = false;
                SampleGraphProgress(main.get(), tab, command, [&](QProgressDialog& dialog) {
                    const QString label = dialog.labelText();
                    const bool now = !stage    ? label == QString::fromStdString("Creating graph " + name)
                                     : *stage ? label.endsWith(QLatin1String(stage))
                                               : dialog.value() == 100;
                    if (closed || !now)
                        return;
                    closed = true;
                    tab->DiscardChanges();
                    all ? void(main->CloseDocks(main.get(), false, true)) : void(tab->Close());
                });
                EXPECT_TRUE(closed);
                QApplication::processEvents();
                FlushDeletes();
                EXPECT_TRUE(table.isNull());
                EXPECT_TRUE(graph.isNull());
                EXPECT_EQ(GraphDocks(), 0);
                for (TearOffTabDock* dock : main->Docks)
                    EXPECT_EQ(qobject_cast<TabGraph*>(dock), nullptr);
                // Stopped before the graph was whole: said so, and nothing shows.
                const bool stopped = !stage || *stage != '\0';
                EXPECT_EQ(Contains(graphShell.log, "Graph \"" + name + "\": creating cancelled"), stopped);
                const std::string opened = "Graph \"" + name + "\" opened: ";
                EXPECT_EQ(std::any_of(graphShell.log.begin(), graphShell.log.end(),
                                      [&](const std::string& line) { return line.rfind(opened, 0) == 0; }),
                          !stopped);
            }
}

TEST_F(TabGraphTest, TheBarMovesWhileTheSidePanesAreBuilt)
{
    TabTable* tab = Relative(OpenGenerated(10001));
    graphShell.values.clear();
    tab->Actions[TACT_CREATE_GRAPH]->trigger();
    ASSERT_NE(GraphOf(tab), nullptr);
    std::vector<int> panes;
    for (const ShownValue& shown : graphShell.values)
        if (QString::fromStdString(shown.label).endsWith(QLatin1String(GraphStages[2])))
            panes.push_back(shown.value);
    // From where the stage begins, forward in more than one step, short of
    // the next stage's start.
    ASSERT_FALSE(panes.empty());
    EXPECT_EQ(panes.front(), 74);
    EXPECT_TRUE(std::is_sorted(panes.begin(), panes.end()));
    EXPECT_GE(std::set<int>(panes.begin(), panes.end()).size(), 3u);
    EXPECT_LT(panes.back(), 96);
    CloseTab(tab);
}

TEST_F(TabGraphTest, GraphIsRefusedOrShownOnce)
{
    const struct { const char* name; std::function<TabTable*()> open; std::string box; int graphs; } cases[] = {
        {"absolute time", [this] { return Relative(OpenRecords({At(5, 1), At(9, 1)}), false); },
         "Only tables with relative time may be shown on Graph", 0},
        {"all times zero", [this] { return OpenTimes({At(0, 1), At(0, 2)}); }, "All TIME values equals zero", 0},
        {"empty table", [this] { return Relative(OpenRecords({})); }, "", 0},
        {"asked twice", [this] { return OpenTimes({At(5, 1), At(9, 2)}); }, "", 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TabTable* tab = c.open();
        graphShell.Clear();
        tab->CreateGraph();
        main->SetTabActive(tab, false);
        tab->CreateGraph();
        EXPECT_EQ(GraphDocks(), c.graphs);
        EXPECT_EQ(graphShell.info, c.box.empty() ? std::vector<std::string>() : std::vector<std::string>(2, c.box));
        if (c.graphs) {
            EXPECT_EQ(TearOffMain::CurrentDock, tab->GraphTab);
        }
        CloseTab(tab);
        EXPECT_EQ(GraphDocks(), 0);
    }
}

TEST_F(TabGraphTest, ThreadsPastTheListAreReportedOnce)
{
    auto* table = new KxTable(nullptr, "many", PrefKxTable::Default());
    const uint64_t threads = GraphPointBuilder::MAX_THREADS + 2;
    for (uint64_t t = 0; t < threads; ++t)
        table->AppendRecord(At(10 + t, 1000 + t).Build());
    TabTable* tab = Relative(Show(table, PrefTabTable::Default(), TabBase::SOURCE_BUILT));
    graphShell.Clear();
    tab->CreateGraph();
    const std::string skipped = "Graph \"many\": 2 threads past the first 1024 have no line";
    EXPECT_EQ(std::count(graphShell.log.begin(), graphShell.log.end(), skipped), 1);
    EXPECT_EQ(GraphOf(tab)->Model().ElementCount(), GraphPointBuilder::MAX_THREADS);
}

TEST_F(TabGraphTest, ClosingEitherTabLeavesNoLinks)
{
    enum class Order { GraphFirst, TableFirst, CloseAll };
    for (const Order order : {Order::GraphFirst, Order::TableFirst, Order::CloseAll}) {
        SCOPED_TRACE(int(order));
        TabTable* tab = OpenTimes({At(5, 1), At(9, 2), At(12, 1)});
        QPointer<TabGraph> graph = CreateGraph(tab);
        ASSERT_TRUE(graph);
        EXPECT_EQ(tab->GraphState, TabBase::GRAPH_OPEN);
        tab->DiscardChanges();
        if (order == Order::GraphFirst) {
            graph->Close();
            EXPECT_EQ(tab->GraphTab, nullptr);
            EXPECT_EQ(tab->GraphState, TabBase::GRAPH_NONE);
        } else {
            order == Order::TableFirst ? void(tab->Close()) : void(main->CloseDocks(main.get(), false, true));
            EXPECT_EQ(graph->Owner(), nullptr);
            QApplication::processEvents();
        }
        FlushDeletes();
        EXPECT_TRUE(graph.isNull());
        EXPECT_EQ(GraphDocks(), 0);
        if (order == Order::GraphFirst) { // filtering no longer asks about a graph
            tab->Table->RecordSelect(0, tab->Table->GetRecord(0), 0xFF);
            prompt.asked.clear();
            tab->FilterSelected();
            EXPECT_TRUE(tab->Table->FilterOn);
            EXPECT_TRUE(prompt.asked.isEmpty());
            CloseTab(tab);
        }
    }
}

TEST_F(TabGraphTest, RowAndTimeChangesAskToCloseTheGraph)
{
    TabTable* source = OpenTimes({At(1, 5), At(2, 5)});
    source->RowsCopyAll();
    auto rows = [](int32_t n) { return [n](TabTable* t) { return t->Table->RowCount() == n; }; };
    // done: whether the command took effect.
    const struct { int action; std::string question; std::function<bool(TabTable*)> done; } cases[] = {
        {TACT_ROWS_PASTE, "paste rows", rows(5)}, {TACT_ROWS_PASTE_TO_END, "paste rows", rows(5)},
        {TACT_FILTER_SELECTED, "set filter", [](TabTable* t) { return t->Table->FilterOn; }},
        {TACT_ROWS_DELETE, "delete rows", rows(2)},
        {TACT_RELATIVE_TIME, "switch relative time off", [](TabTable* t) { return !t->Table->TimeNormalised(); }}};
    for (const auto& c : cases) {
        for (const bool close : {false, true}) {
            SCOPED_TRACE(std::to_string(c.action) + (close ? ", graph closed" : ", graph kept"));
            TabTable* tab = OpenTimes({At(5, 1), At(9, 2), At(12, 1)});
            tab->SetCurrentPosition(1);
            tab->CreateGraph();
            main->SetTabActive(tab, false);
            prompt.asked.clear();
            prompt.answers.clear();
            prompt.answers << (close ? QMessageBox::Yes : QMessageBox::No) << QMessageBox::Yes;
            if (c.action == TACT_FILTER_SELECTED)
                tab->Table->RecordSelect(0, tab->Table->GetRecord(0), 0xFF);
            tab->Actions[c.action]->trigger();
            ASSERT_FALSE(prompt.asked.isEmpty());
            EXPECT_EQ(prompt.asked[0].text.toStdString(),
                      "You can't " + c.question + " while the graph is open.\nClose the graph?");
            EXPECT_EQ(tab->GraphTab == nullptr, close);
            EXPECT_EQ(c.done(tab), close);
            EXPECT_EQ(tab->Table->TimeNormalised() || close, true);
            CloseTab(tab);
        }
    }
}

TEST_F(TabGraphTest, GraphDocumentRefusesTableChanges)
{
    TabTable* tab = OpenTimes({At(5, 1), At(9, 2)});
    TabGraph* graph = CreateGraph(tab);
    graphShell.Clear();
    graph->Actions[TACT_ROWS_DELETE]->trigger();
    graph->Actions[TACT_RELATIVE_TIME]->trigger();
    EXPECT_EQ(graphShell.info, (std::vector<std::string>{"You can't delete rows in a graph.",
                                                         "You can't switch relative time off in a graph."}));
    EXPECT_EQ(tab->Table->RowCount(), 2);
    EXPECT_TRUE(tab->Table->TimeNormalised());
    EXPECT_EQ(tab->GraphTab, graph);
}

TEST_F(TabGraphTest, TimeZeroHereMovesThePointsWithTheTable)
{
    TabTable* tab = OpenTimes({At(100, 1), At(250, 2), At(400, 1)});
    TabGraph* graph = CreateGraph(tab);
    main->SetTabActive(tab, false);
    tab->ContextCell = tab->Model->index(2, 0);
    tab->Actions[TabTable::ACTION_TIME0_HERE]->trigger();
    ASSERT_EQ(tab->Table->GetRecord(2)->Int64(FIELD_TIME), 0);
    const std::vector<GraphIndexEntry>& index = graph->Model().Index();
    ASSERT_FALSE(index.empty());
    for (const GraphIndexEntry& entry : index)
        EXPECT_EQ(entry.time, tab->Table->GetRecord(int32_t(entry.row))->Int64(FIELD_TIME)) << entry.row;
    EXPECT_EQ(graph->Graph()->FullX().min, -300);
    EXPECT_EQ(graph->Graph()->FullX().max, 0);
}

TEST_F(TabGraphTest, CursorAndCurrentRowFollowEachOther)
{
    TabTable* tab = OpenTimes({At(100, 1), At(250, 2), At(400, 1), At(700, 2)});
    TabGraph* graph = CreateGraph(tab);
    const struct { bool fromGraph; int row; } cases[] = {{false, 2}, {true, 1}, {false, 3}, {true, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.fromGraph ? "graph" : "table") + " to row " + std::to_string(c.row));
        TabBase* mover = c.fromGraph ? static_cast<TabBase*>(graph) : tab;
        main->SetTabActive(mover, false);
        mover->SetCurrentPosition(c.row);
        EXPECT_EQ(tab->Table->CurRow(), c.row);
        EXPECT_EQ(graph->Graph()->CursorRow(), c.row);
        EXPECT_EQ(graph->Graph()->CursorTime(), tab->Table->GetRecord(c.row)->Int64(FIELD_TIME));
        EXPECT_EQ(graph->GoToEdit->text().toInt(), c.row + 1);
    }
}

TEST_F(TabGraphTest, ColoursChosenOnTheGraphAreTheTablesToo)
{
    TabTable* tab = OpenTimes({At(100, 1), At(250, 2)});
    TabGraph* graph = CreateGraph(tab);
    const struct { int action; QColor colour; uint32_t PrefTabTable::*field; } cases[] = {
        {TACT_COLOR_SELECTION, QColor(0x12, 0x34, 0x56), &PrefTabTable::ColorSelect},
        {TACT_COLOR_HIGHLIGHT, QColor(0x65, 0x43, 0x21), &PrefTabTable::ColorHighlight}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.action);
        prompt.colors.enqueue(c.colour);
        graph->Actions[c.action]->trigger();
        EXPECT_EQ(graph->Prefs.*c.field, uint32_t(c.colour.rgb()) & 0xFFFFFF);
        EXPECT_EQ(tab->Prefs.*c.field, graph->Prefs.*c.field);
    }
}

TEST_F(TabGraphTest, AuxItemsHideTheOtherThreadsOfTheirRecords)
{
    // The default levels show thread names, not thread ids.
    TabTable* tab = OpenTimes({At(5, 11, "alpha"), At(7, 12, "beta"), At(9, 13, "beta"), At(11, 11, "alpha")});
    TabGraph* graph = CreateGraph(tab);
    // item null: show all; items: chosen in the graph's tree from the shown threads.
    const struct { TabBase* on; const char* item; std::vector<uint64_t> shown; QStringList items; } cases[] = {
        {tab, "alpha", {11}, {"alpha"}}, {graph, "beta", {12, 13}, {"beta"}},
        {tab, nullptr, {11, 12, 13}, {"alpha", "beta"}}, {graph, "alpha", {11}, {"alpha"}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.on == tab ? "table: " : "graph: ") + (c.item ? c.item : "all"));
        PaneDocks* pane = c.on->AuxTreeDock;
        ASSERT_NE(pane, nullptr);
        pane->Tree->clearSelection();
        if (c.item) {
            const QAbstractItemModel* model = pane->Tree->model();
            const QModelIndex item =
                model->match(model->index(0, 1), Qt::DisplayRole, QString::fromLatin1(c.item), 1, Qt::MatchExactly)
                    .value(0);
            ASSERT_TRUE(item.isValid());
            pane->Tree->selectionModel()->setCurrentIndex(item, QItemSelectionModel::NoUpdate);
            pane->Actions[ACT_HIDE_OTHERS]->trigger();
            EXPECT_FALSE(pane->Tree->selectionModel()->isSelected(item));
        } else {
            pane->Actions[ACT_SHOW_ALL]->trigger();
        }
        EXPECT_EQ(ShownTids(graph), c.shown);

        graph->SelectThreadsInTree(c.shown);
        QStringList chosen; // top items selected themselves or below
        for (const QModelIndex& item : graph->AuxTreeDock->SelectedItems())
            chosen << graph->AuxTreeDock->Model->NodeOf(item).siblingAtColumn(1).data().toString();
        chosen.removeDuplicates();
        chosen.sort();
        EXPECT_EQ(chosen, c.items);
    }
}

// A right click on the plot opens the graph's own menu, alone; its "Add
// bookmark here" acts on the record at the clicked point, not on the
// cursor row, and asks which neighbour takes it between two records.
TEST_F(TabGraphTest, RightClickMenuBookmarksTheClickedPoint)
{
    // Records every 10 units; the view one unit a pixel. answer: to the
    // question, when one is asked.
    const struct {
        const char* name; int64_t at; QMessageBox::StandardButton answer; std::set<int32_t> bookmarks; bool asked;
    } cases[] = {
        {"on a record", 60, QMessageBox::NoButton, {6}, false},
        {"between records: to the right", 65, QMessageBox::No, {7}, true},
        {"between records: cancelled", 65, QMessageBox::Cancel, {}, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TabTable* tab = OpenTimes({At(100, 1), At(110, 1), At(120, 1), At(130, 1), At(140, 1), At(150, 1),
                                   At(160, 1), At(170, 1), At(180, 1), At(190, 1)});
        tab->SetCurrentPosition(0);
        TabGraph* graph = CreateGraph(tab);
        QSimpleGraph* plot = graph->Graph();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(plot));
        // One unit a pixel; the plot's width follows the labels of the window.
        for (int i = 0; i < 5 && plot->XUnitsPerPixel != 1.0; ++i) {
            plot->SetRange(0, plot->PlotRect.width(), plot->VisibleY().min, plot->VisibleY().max, true, false);
            plot->SetZoomed(true);
            plot->grab();
            plot->UpdateScale();
        }
        ASSERT_EQ(plot->XUnitsPerPixel, 1.0);
        prompt.asked.clear();
        prompt.answers.clear();
        prompt.answers << c.answer;
        const QPoint at(plot->TimeToPixel(c.at), plot->PlotRect.center().y());
        const MenusSeen seen = RightClick(plot, at, plot, QStringLiteral("Add bookmark here"));
        EXPECT_EQ(seen.open, 1) << "the graph's menu alone";
        EXPECT_EQ(seen.windowRequests, 0) << "the window opens no menu of its own";
        EXPECT_TRUE(HasEntry(seen, "Add bookmark here"));
        std::set<int32_t> bookmarks;
        for (int32_t row = 0; row < tab->Table->RowCount(); ++row)
            if (tab->Table->GetRecord(row)->bookmark)
                bookmarks.insert(row);
        EXPECT_EQ(bookmarks, c.bookmarks);
        ASSERT_EQ(prompt.asked.size(), c.asked ? 1 : 0);
        if (c.asked) {
            EXPECT_EQ(prompt.asked[0].title, "Nearest record is far from here!");
        }
        CloseTab(tab);
    }
}

// The graph's questions and its colour dialog run loops of their own, in
// which the graph may be closed: the answer then touches nothing.
TEST_F(TabGraphTest, AGraphClosedInItsOwnQuestionIsLeftAlone)
{
    class ClosingPrompt : public ScriptedPrompt {
    public:
        QPointer<TabGraph> closes;
        QMessageBox::StandardButton Message(QWidget*, QMessageBox::Icon, const QString&, const QString&,
                                            QMessageBox::StandardButtons, QMessageBox::StandardButton) override
        {
            CloseTab(closes);
            return QMessageBox::Yes;
        }
        QColor Color(const QColor&, QWidget*, const QString&) override
        {
            CloseTab(closes);
            return Qt::red;
        }
    };
    // Records every 10 units; marked: the row bookmarked first, or -1.
    const struct { const char* name; int64_t at; int32_t marked; } cases[] = {
        {"a marked neighbour far away", 165, 6}, {"between records", 165, -1}, {"the background colour", -1, -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TabTable* tab = OpenTimes({At(100, 1), At(110, 1), At(120, 1), At(130, 1), At(140, 1), At(150, 1),
                                   At(160, 1), At(170, 1), At(180, 1), At(190, 1)});
        if (c.marked >= 0)
            tab->Table->BookmarkSet(c.marked, true);
        ClosingPrompt closing;
        const PromptGuard installed(&closing);
        closing.closes = CreateGraph(tab);
        QSimpleGraph* plot = closing.closes->Graph();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(plot));
        plot->SetRange(0, plot->PlotRect.width(), plot->VisibleY().min, plot->VisibleY().max, true, false);
        if (c.at >= 0)
            plot->AddBookmark(c.at);
        else
            closing.closes->findChild<QAction*>(QStringLiteral("ColorGraphBg"))->trigger();
        EXPECT_TRUE(closing.closes.isNull());
        for (int32_t row = 0; row < tab->Table->RowCount(); ++row)
            EXPECT_EQ(tab->Table->GetRecord(row)->bookmark != nullptr, row == c.marked) << row;
        CloseTab(tab);
    }
}

// Back walks the history however far the cursor lies from the view it
// restores: following the cursor adds no view to go back to, and each
// view shows as it was stored, not scrolled to the cursor.
TEST_F(TabGraphTest, BackWalksTheHistoryWhenTheCursorIsOutOfView)
{
    auto* table = new KxTable(nullptr, "steps", PrefKxTable::Default());
    for (uint64_t i = 0; i <= 100; ++i)
        table->AppendRecord(At(100 + 10 * i, 1).Build());
    TabTable* tab = Relative(Show(table, PrefTabTable::Default(), TabBase::SOURCE_BUILT));
    tab->SetCurrentPosition(0);
    TabGraph* graph = CreateGraph(tab);
    QSimpleGraph* plot = graph->Graph();
    ASSERT_EQ(TearOffMain::CurrentDock, graph);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(plot));
    plot->grab(); // laid out
    const QPoint centre = plot->PlotRect.center();
    std::vector<GraphPair> views;
    for (int i = 0; i < 3; ++i) { // zoomed in on the middle, the cursor at 0 left out
        views.push_back(plot->VisibleX());
        QWheelEvent wheel(centre, plot->mapToGlobal(centre), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(plot, &wheel);
    }
    ASSERT_GT(plot->VisibleX().min, 0);
    views.push_back(plot->VisibleX());
    QTest::mouseClick(plot, Qt::LeftButton, Qt::NoModifier, centre);
    ASSERT_EQ(plot->BackCount(), 4);
    ASSERT_NE(plot->CursorRow(), 0);
    for (int left = 3; left >= 0; --left) {
        graph->Actions[TACT_JUMP_BACK]->trigger();
        EXPECT_EQ(plot->BackCount(), left);
        EXPECT_EQ(plot->VisibleX().min, views[size_t(left)].min) << left;
        EXPECT_EQ(plot->VisibleX().max, views[size_t(left)].max) << left;
    }
    EXPECT_EQ(plot->CursorTime(), 0);
    EXPECT_EQ(plot->VisibleX().min, plot->FullX().min);
    EXPECT_EQ(plot->VisibleX().max, plot->FullX().max);
    EXPECT_EQ(tab->Table->CurRow(), 0);
}

// The plot draws in the document's colours, those it opened with and
// those chosen later on either tab.
TEST_F(TabGraphTest, GraphDrawsInTheDocumentsColours)
{
    enum class Chosen { AtOpening, OnTheGraph, OnTheTable };
    const QColor bookmark(0, 150, 0), selection(0x10, 0x20, 0x30);
    for (const Chosen chosen : {Chosen::AtOpening, Chosen::OnTheGraph, Chosen::OnTheTable}) {
        SCOPED_TRACE(int(chosen));
        TabTable* tab = OpenTimes({At(100, 1), At(200, 1), At(300, 2), At(400, 1), At(500, 2)});
        if (chosen == Chosen::AtOpening) {
            tab->Prefs.ColorBookmark = uint32_t(bookmark.rgb()) & 0xFFFFFF;
            tab->Prefs.ColorSelect = uint32_t(selection.rgb()) & 0xFFFFFF;
        }
        TabGraph* graph = CreateGraph(tab);
        if (chosen != Chosen::AtOpening) {
            TabBase* on = chosen == Chosen::OnTheGraph ? static_cast<TabBase*>(graph) : tab;
            prompt.colors << bookmark << selection;
            on->Actions[TACT_COLOR_BOOKMARK]->trigger();
            on->Actions[TACT_COLOR_SELECTION]->trigger();
            graph->idleProcess();
        }
        graph->SetBookmark(2, true);
        QSimpleGraph* plot = graph->Graph();
        EXPECT_EQ(plot->BookmarkColour(), bookmark);
        EXPECT_EQ(plot->SelectionColour(), selection);
        EXPECT_EQ(tab->Prefs.ColorBookmark, graph->Prefs.ColorBookmark);
        const LogicalGrab image(*plot);
        const int x = plot->TimeToPixel(200);
        const int drawn = image.Count(QRect(x, plot->PlotRect.top(), 1, plot->PlotRect.height()), bookmark);
        EXPECT_GT(drawn, plot->PlotRect.height() / 2) << "the bookmark's line";
        CloseTab(tab);
    }
}

// A marked graph tab, or a current one, stands for its table tab.
TEST_F(TabGraphTest, ComparingWithAGraphComparesItsTable)
{
    QTemporaryDir work;
    const std::string savedDir = PrefGlobal::WorkDir, savedProgram = PrefGlobal::CompareProgramm;
    PrefGlobal::WorkDir = QFile::encodeName(work.path() + QStringLiteral("/")).toStdString();
    PrefGlobal::CompareProgramm.clear();
    for (const bool graphMarked : {true, false}) {
        SCOPED_TRACE(graphMarked ? "graph marked" : "graph current");
        QDir(work.path()).removeRecursively();
        TabTable* withGraph = OpenTimes({At(100, 1), At(200, 1)});
        TabGraph* graph = CreateGraph(withGraph);
        auto* other = new KxTable(nullptr, "other", PrefKxTable::Default());
        other->AppendRecord(At(5, 1).Build());
        TabTable* plain = Show(other, PrefTabTable::Default(), TabBase::SOURCE_BUILT);
        TabBase* marked = graphMarked ? static_cast<TabBase*>(graph) : plain;
        TabBase* current = graphMarked ? static_cast<TabBase*>(plain) : graph;
        main->SetTabActive(current, false);
        TearOffTabBar* bar = marked->TabWidget->TabBar;
        QTest::mouseClick(bar, Qt::LeftButton, Qt::ControlModifier,
                          bar->tabRect(marked->TabWidget->indexOf(marked)).center());
        ASSERT_EQ(main->MarkedDocks().size(), 1);
        graphShell.Clear();
        current->Actions[TACT_COMPARE_TABS]->trigger();
        EXPECT_FALSE(Contains(graphShell.status, "Only table documents can be compared"));
        EXPECT_EQ(graphShell.info, std::vector<std::string>{"External diff program is not set"});
        for (const char* file : {"kxv-compare-memory.txt", "kxv-compare-other.txt"})
            EXPECT_TRUE(QFile::exists(work.path() + QStringLiteral("/") + QLatin1String(file))) << file;
        main->ClearDragSelection();
        CloseTab(plain);
        CloseTab(withGraph);
    }
    PrefGlobal::WorkDir = savedDir;
    PrefGlobal::CompareProgramm = savedProgram;
}

// The exports of a graph document write its table, as they do from the
// table's own tab.
TEST_F(TabGraphTest, ExportsFromTheGraphWriteItsTable)
{
    QTemporaryDir work;
    const struct { int action; const char *file, *begins; int lines; } cases[] = {
        {TACT_SAVE_TXT, "out.txt", "             Time            Seq#", 3},
        {TACT_SAVE_CSV, "out.csv", "0:00:00.000000,", 2},
        {TACT_SAVE_PDF, "out.pdf", "%PDF-", -1},
    };
    TabTable* withGraph = OpenTimes({At(100, 1), At(200, 1)});
    TabGraph* graph = CreateGraph(withGraph);
    ASSERT_NE(graph, nullptr);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const QString path = work.path() + QStringLiteral("/") + QLatin1String(c.file);
        prompt.fileNames.enqueue(path);
        graph->Actions[c.action]->trigger();
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        EXPECT_TRUE(bytes.startsWith(c.begins)) << bytes.left(40).toStdString();
        if (c.lines >= 0) {
            EXPECT_EQ(bytes.count('\n'), c.lines);
        }
    }
    EXPECT_TRUE(prompt.fileNames.isEmpty());
    CloseTab(withGraph);
}

// "Select All" and "Clear Selection" of a graph document act on its table's
// rows, and the graph shows the result.
TEST_F(TabGraphTest, SelectAllAndClearSelectionFromTheGraphActOnItsTable)
{
    TabTable* withGraph = OpenTimes({At(100, 1), At(200, 1), At(300, 2)});
    TabGraph* graph = CreateGraph(withGraph);
    ASSERT_NE(graph, nullptr);
    const struct { int action; uint32_t selected; size_t bands; } cases[] = {
        {72, 3, 1}, // Select All
        {74, 0, 0}, // Clear Selection
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.action);
        graph->Actions[c.action]->trigger();
        EXPECT_EQ(withGraph->Table->NumSelected, c.selected);
        EXPECT_EQ(graph->Graph()->Bands().size(), c.bands);
    }
    CloseTab(withGraph);
}

// The aux-tree pane's menu offers removing the filter and the selection
// while there is one, and the threads on the graph while one is open.
TEST_F(TabGraphTest, AuxTreeMenuOffersItsCommandsWhenTheyApply)
{
    enum class State { Plain, Filtered, GraphAndSelection, OnTheGraph };
    // enabled: Remove Filter, Remove Selection, Hide others on Graph, Show all TID on graph.
    const struct { State state; std::vector<bool> enabled; } cases[] = {
        {State::Plain, {false, false, false, false}}, {State::Filtered, {true, true, false, false}},
        {State::GraphAndSelection, {false, true, true, true}}, {State::OnTheGraph, {false, false, true, true}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.state));
        TabTable* tab = OpenTimes({At(5, 11, "alpha"), At(7, 12, "beta"), At(9, 11, "alpha")});
        TabBase* on = tab;
        if (c.state == State::Filtered) {
            tab->Table->RecordSelect(0, tab->Table->GetRecord(0), 0xFF);
            tab->FilterSelected();
            ASSERT_TRUE(tab->Table->FilterOn);
        } else if (c.state != State::Plain) {
            on = CreateGraph(tab);
            if (c.state == State::GraphAndSelection) {
                tab->Table->RecordSelect(1, tab->Table->GetRecord(1), 0xFF);
                on = tab;
            }
        }
        main->SetTabActive(on, false);
        PaneDocks* pane = on->AuxTreeDock;
        ASSERT_NE(pane, nullptr);
        if (!pane->isVisible())
            on->Actions[TACT_SIDE_PANELS]->trigger();
        const QModelIndex item = pane->Tree->model()->index(0, 0);
        ASSERT_TRUE(item.isValid());
        ASSERT_TRUE(QTest::qWaitForWindowExposed(pane->Tree));
        const MenusSeen seen = RightClick(pane->Tree->viewport(), pane->Tree->visualRect(item).center(), pane);
        EXPECT_EQ(seen.open, 1);
        EXPECT_EQ(seen.windowRequests, 0);
        std::vector<bool> enabled;
        for (const int id : {ACT_REMOVE_FILTER, ACT_REMOVE_SELECTION, ACT_HIDE_OTHERS, ACT_SHOW_ALL})
            for (const auto& entry : seen.entries)
                if (entry.first == pane->Actions[id]->text().toStdString())
                    enabled.push_back(entry.second);
        EXPECT_EQ(enabled, c.enabled);
        CloseTab(tab);
    }
}

} // namespace
