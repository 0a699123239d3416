// The aux-tree pane of a document: the tree of the chosen levels, quick
// filter and selection of the chosen items, following the current row and
// the rows deleted, expanding and collapsing, What's This, "Select Levels"
// and its turns of the event loop, and the expression of a record's values.
#include <algorithm>
#include <functional>
#include <memory>

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QHelpEvent>
#include <QPointer>
#include <QProgressDialog>
#include <QSignalSpy>
#include <QTimer>

#include "kxlib/table/kxsearchexpr.h"
#include "kxviewer/table/auxtreemodel.h"
#include "kxviewer/table/auxtreeview.h"
#include "kxviewer/table/docktitlebar.h"
#include "kxviewer/table/panedocks.h"
#include "kxviewer/table/tabactionids.h"
#include "kxviewer/table/tabtablemodel.h"
#include "script/scriptlogicalexp/scriptlogicalexpparser.h"
#include "tabletabenv.h"
#include "tests/widgetmetrics.h"

namespace {

const bool registered = (ScriptLogicalExpParser::Register(), true);

RawRecord Threaded(const char* tname, const char* kxname, const char* text)
{
    RawRecord raw;
    raw.tname = tname;
    raw.kxname = kxname;
    raw.text = text;
    return raw;
}

class AuxTreePaneTest : public tabletest::TableTabTest {
protected:
    void SetUp() override
    {
        TableTabTest::SetUp();
        // As in the program: the filter command shows whether a filter is on.
        actions.Entry(TACT_FILTER).checkable = 1;
    }

    TabTable* OpenThreads()
    {
        return OpenRecords({Threaded("p", "t1", "a"), Threaded("p", "t2", "b"), Threaded("q", "t1", "c"),
                            Threaded("p", "t3", "d"), Threaded("p", "t1", "e")});
    }

    // 25000 records, more than two blocks, whose tree Select Levels builds
    // with its progress display: threads p and q, KX names t1 and t2.
    TabTable* OpenThreeBlocks()
    {
        auto* table = new KxTable(nullptr, "memory", PrefKxTable::Default());
        for (int i = 0; i < 25000; ++i)
            table->AppendRecord(Threaded(i % 2 ? "p" : "q", i % 3 ? "t1" : "t2", "x").Build());
        return Show(table, PrefTabTable::Default(), TabBase::SOURCE_BUILT);
    }

    // A document of items records, each of a process of its own: as many
    // first-level items of one child each.
    TabTable* OpenProcesses(int items)
    {
        auto* table = new KxTable(nullptr, "memory", PrefKxTable::Default());
        for (int i = 0; i < items; ++i)
            table->AppendRecord(Threaded(("t" + std::to_string(i)).c_str(), "k", "x").Build());
        return Show(table, PrefTabTable::Default(), TabBase::SOURCE_BUILT);
    }

    static QString Text(const QModelIndex& item) { return item.siblingAtColumn(1).data().toString(); }

    // The first-level item of that text.
    static QModelIndex TopItem(AuxTreeView* tree, const QString& text)
    {
        const QAbstractItemModel* model = tree->model();
        return model->match(model->index(0, 1), Qt::DisplayRole, text, 1, Qt::MatchExactly).value(0).siblingAtColumn(0);
    }

    // The whole row of an item, as the user sees it.
    static QRect RowRect(AuxTreeView* tree, const QModelIndex& item)
    {
        return tree->visualRect(item.siblingAtColumn(0)) | tree->visualRect(item.siblingAtColumn(1));
    }

    // Ctrl+click on the items named "parent/child" or "parent".
    static void ChooseItems(PaneDocks* pane, const QStringList& names)
    {
        AuxTreeView* tree = pane->Tree;
        pane->ExpandAll();
        tree->clearSelection();
        for (const QString& name : names) {
            const QStringList parts = name.split(QLatin1Char('/'));
            QModelIndex item = TopItem(tree, parts[0]);
            ASSERT_TRUE(item.isValid()) << name.toStdString();
            const int32_t node = AuxTreeModel::Place(item).first;
            for (int i = 0; parts.size() > 1 && i < pane->Model->Children(node); ++i)
                if (Text(pane->Model->IndexOf(node, i)) == parts[1]) {
                    item = pane->Model->IndexOf(node, i);
                    break;
                }
            tree->scrollTo(item);
            QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::ControlModifier, RowRect(tree, item).center());
        }
    }

    // "p(t1 t2) q(t1) ": every item, with every node expanded.
    static std::string TreeText(PaneDocks* pane)
    {
        pane->ExpandAll();
        const AuxTreeModel* model = pane->Model;
        std::string text;
        for (int row = 0; row < model->rowCount(); ++row) {
            const QModelIndex item = model->index(row, 0);
            const int32_t child = AuxTreeModel::Place(item).second;
            if (child < 0 && row > 0)
                text += ") ";
            text += (child < 0 ? "" : child == 0 ? "(" : " ") + Text(item).toStdString();
            if (child < 0 && model->Children(AuxTreeModel::Place(item).first) == 0)
                text += "(";
        }
        return model->rowCount() ? text + ") " : text;
    }

    // The pane's context menu over its first item: "enabled ticked" of its
    // "Remove Filter" and "Remove Selection" entries; the entry of the
    // action number choose (0: none) is triggered.
    static std::string RemoveEntries(PaneDocks* pane, int choose)
    {
        std::string seen;
        // Owned here, so that it cannot fire after the return.
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu)
                return;
            for (int id : {102, 103})
                if (menu->actions().contains(pane->Actions[id]))
                    seen += std::to_string(pane->Actions[id]->isEnabled()) +
                            std::to_string(pane->Actions[id]->isChecked()) + " ";
            menu->close();
            if (choose)
                pane->Actions[choose]->trigger();
        });
        timer.start(50);
        const QModelIndex first = pane->Tree->model()->index(0, 0);
        pane->Tree->setCurrentIndex(first);
        pane->customMenuRequested(RowRect(pane->Tree, first).center());
        return seen;
    }

    static std::string SearchText(TabBase* tab)
    {
        const KxSearchExpression* expression = tab->Table->SearchExpression();
        return expression ? expression->text : "";
    }
};

TEST_F(AuxTreePaneTest, TreeShowsTheChosenLevels)
{
    // expression: of the first item of "p", or of "p" itself.
    const struct { int32_t second; const char *title, *tree, *expression; } cases[] = {
        {FIELD_KXNAME, "    Tree: Thread/KX Name", "p(t1 t2 t3) q(t1) ", "TNAME=='p' && KXNAME=='t1'"},
        {-1, "    Tree: Thread", "p() q() ", "TNAME=='p'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        PrefKxTable::Default().TreeLevel2Field = c.second;
        TabTable* tab = OpenThreads();
        PaneDocks* pane = tab->AuxTreeDock;
        EXPECT_EQ(qobject_cast<DockTitlebar*>(pane->titleBarWidget())->Title->text().toStdString(), c.title);
        EXPECT_EQ(TreeText(pane), c.tree);
        const QModelIndex p = pane->Tree->model()->index(0, 0);
        const QModelIndex first = pane->Model->Children(0) ? pane->Model->IndexOf(0, 0) : p;
        EXPECT_EQ(pane->SelectionExpression({first}).toStdString(), c.expression);
        tab->CopyAuxTreeToClipboard();
        EXPECT_EQ(QApplication::clipboard()->text().toStdString(),
                  c.second < 0 ? "p\nq\n" : "p\n    t1\n    t2\n    t3\nq\n    t1\n");
        delete tab;
    }
}

TEST_F(AuxTreePaneTest, QuickFilterAndSelectionOfChosenThreads)
{
    // filtered: by "Quick filter", else by "Select"; rows: shown afterwards.
    const struct {
        QStringList items; const char* expression; bool filtered; int32_t rows; uint32_t selected;
    } cases[] = {
        {{"p/t1", "p/t2"}, "TNAME=='p' && KXNAME=='t1' || TNAME=='p' && KXNAME=='t2'", true, 3, 0},
        {{"p/t3", "q/t1"}, "TNAME=='p' && KXNAME=='t3' || TNAME=='q' && KXNAME=='t1'", false, 5, 2},
        {{"p"}, "TNAME=='p'", false, 5, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expression);
        TabTable* tab = OpenThreads();
        PaneDocks* pane = tab->AuxTreeDock;
        ChooseItems(pane, c.items);
        pane->Actions[c.filtered ? 89 : 90]->trigger();
        EXPECT_EQ(SearchText(tab), c.expression);
        EXPECT_EQ(tab->Table->FilterOn, c.filtered);
        EXPECT_EQ(tab->Table->RowCount(), c.rows);
        EXPECT_EQ(tab->Table->NumSelected, c.selected);
        EXPECT_EQ(tab->Actions[TACT_FILTER]->isChecked(), c.filtered);
        if (c.filtered) {
            // "Remove Filter" of the pane gives the rows back.
            pane->Actions[102]->trigger();
            EXPECT_FALSE(tab->Table->FilterOn);
            EXPECT_EQ(tab->Table->RowCount(), 5);
        }
        delete tab;
    }
}

TEST_F(AuxTreePaneTest, RemoveEntriesAreTickedOnlyWhileThereIsSomethingToRemove)
{
    // Checkable, as in the program's action table.
    actions.Entry(102).checkable = 1;
    actions.Entry(103).checkable = 1;
    TabTable* tab = OpenThreads();
    PaneDocks* pane = tab->AuxTreeDock;
    // seen: enabled and ticked of "Remove Filter", then of "Remove Selection".
    const struct { const char* step; bool filter, select; int choose; const char* seen; } cases[] = {
        {"nothing to remove", false, false, 0, "00 00 "},
        {"rows selected", false, true, 103, "00 11 "},
        {"selection removed", false, false, 0, "00 00 "},
        {"filtered", true, false, 102, "11 00 "},
        {"filter removed", false, false, 0, "00 00 "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.step);
        if (c.select)
            tab->Table->SelRangeSet(0, 1, true, 0xFF0000);
        if (c.filter) {
            ChooseItems(pane, {"p/t1"});
            pane->Actions[89]->trigger();
            ASSERT_TRUE(tab->Table->FilterOn);
        }
        EXPECT_EQ(RemoveEntries(pane, c.choose), c.seen);
        EXPECT_FALSE(tab->Table->FilterOn);
        EXPECT_EQ(tab->Table->NumSelected, 0u);
    }
    delete tab;
}

TEST_F(AuxTreePaneTest, AnExpressionTooLongToSearchIsRefusedWhole)
{
    // 30 threads of 14 characters: the joined expression passes 1099.
    auto* table = new KxTable(nullptr, "memory", PrefKxTable::Default());
    for (int i = 0; i < 30; ++i) {
        const std::string name = "thread-" + std::string(6, char('a' + i % 26)) + char('A' + i / 26);
        table->AppendRecord(Threaded("p", name.c_str(), "x").Build());
    }
    table->AppendRecord(Threaded("q", "other", "y").Build());
    TabTable* tab = Show(table, PrefTabTable::Default(), TabBase::SOURCE_BUILT);
    PaneDocks* pane = tab->AuxTreeDock;
    ASSERT_EQ(pane->Model->Children(0), 30);
    pane->Model->SetExpanded(0, true);
    for (const int chosen : {20, 30}) { // the first n threads of p; 30 are too many
        SCOPED_TRACE(chosen);
        const bool accepted = chosen == 20;
        shell.status.clear();
        pane->Tree->clearSelection();
        for (int i = 0; i < chosen; ++i)
            pane->Tree->selectionModel()->select(pane->Model->IndexOf(0, i),
                                                 QItemSelectionModel::Select | QItemSelectionModel::Rows);
        EXPECT_EQ(!pane->SelectionExpression(pane->SelectedItems()).isEmpty(), accepted);
        pane->Actions[89]->trigger();
        EXPECT_EQ(tab->Table->FilterOn, accepted);
        EXPECT_EQ(tab->Table->RowCount(), accepted ? chosen : 31);
        EXPECT_EQ(shell.Last(), accepted ? "Table 'memory': Filtered 20 rows"
                                         : "Search expression longer than 1099 characters");
        if (accepted)
            pane->Actions[102]->trigger();
    }
}

TEST_F(AuxTreePaneTest, TheTreeFollowsTheCurrentRow)
{
    TabTable* tab = OpenThreads();
    PaneDocks* pane = tab->AuxTreeDock;
    const struct { int row; const char* current; } cases[] = {{1, "p/t2"}, {2, "q/t1"}, {4, "p/t1"}, {3, "p/t3"}};
    for (const auto& c : cases) {
        tab->SetCurrentPosition(c.row);
        tab->idleProcess();
        const QModelIndex item = pane->Tree->currentIndex();
        ASSERT_TRUE(item.isValid()) << c.row;
        ASSERT_GE(AuxTreeModel::Place(item).second, 0) << c.row;
        EXPECT_EQ((Text(pane->Model->NodeOf(item)) + "/" + Text(item)).toStdString(), c.current);
        EXPECT_TRUE(pane->IsExpanded(item));
        EXPECT_EQ(tab->LastPanesRow, c.row);
    }
}

// Answers "Select Levels" by unchecking the second level and pressing "Ok".
class LevelsAnswer : public ScriptedPrompt {
public:
    int Exec(QDialog* dialog) override
    {
        dialog->show();
        QCheckBox* second = dialog->findChildren<QCheckBox*>().value(1);
        QTest::mouseClick(second, Qt::LeftButton, Qt::NoModifier, IndicatorCentre(second));
        for (QPushButton* button : dialog->findChildren<QPushButton*>())
            if (button->text() == QLatin1String("Ok"))
                QTest::mouseClick(button, Qt::LeftButton);
        return dialog->result();
    }
};

TEST_F(AuxTreePaneTest, SelectLevelsRebuildsTheTree)
{
    LevelsAnswer answer;
    PromptGuard guard(&answer);
    TabTable* tab = OpenThreads();
    shell.Clear();
    tab->PrefChooseAuxTreeLevels();
    EXPECT_EQ(tab->Table->AuxTree().Level2(), -1);
    EXPECT_EQ(TreeText(tab->AuxTreeDock), "p() q() ");
    EXPECT_TRUE(tabtest::Contains(shell.log, "Document \"memory\": Auxiliary tree fields chosen (11,-1)"));
}

// "Swap" then "Ok": the levels exchanged are the table's from then on, so
// that an item's expression names the new first level.
TEST_F(AuxTreePaneTest, SwappedLevelsAreStoredForTheItemExpressions)
{
    struct SwapAnswer : ScriptedPrompt {
        int Exec(QDialog* dialog) override
        {
            dialog->show();
            for (const char* name : {"Swap", "Ok"})
                for (QPushButton* button : dialog->findChildren<QPushButton*>())
                    if (button->text() == QLatin1String(name))
                        QTest::mouseClick(button, Qt::LeftButton);
            return dialog->result();
        }
    } answer;
    PromptGuard guard(&answer);
    TabTable* tab = OpenThreads();
    tab->PrefChooseAuxTreeLevels();
    EXPECT_EQ(tab->Table->Prefs().TreeLevel1Field, FIELD_KXNAME);
    EXPECT_EQ(tab->Table->Prefs().TreeLevel2Field, FIELD_TNAME);
    PaneDocks* pane = tab->AuxTreeDock;
    EXPECT_EQ(TreeText(pane), "t1(p q) t2(p) t3(p) ");
    EXPECT_EQ(pane->SelectionExpression({pane->Model->IndexOf(0, 1)}).toStdString(), "KXNAME=='t1' && TNAME=='q'");
}

// A record added under an item that exists already (a pasted row of a known
// thread) changes only the second level: the pane shows the new child.
TEST_F(AuxTreePaneTest, AChildAddedUnderAKnownItemIsShown)
{
    TabTable* tab = OpenThreads();
    tab->Table->AppendRecord(Threaded("q", "t9", "z").Build());
    tab->TableChanged();
    EXPECT_EQ(TreeText(tab->AuxTreeDock), "p(t1 t2 t3) q(t1 t9) ");
}

TEST_F(AuxTreePaneTest, RecordExpressionQuotesItsValues)
{
    const struct { RawRecord record; int32_t first, second; const char* expression; } cases[] = {
        {Threaded("main", "net", "a"), FIELD_TNAME, FIELD_KXNAME, "TNAME~'main' && KXNAME~'net'"},
        {Threaded("it's", "net", "a"), FIELD_TNAME, FIELD_KXNAME, "TNAME~\"it's\" && KXNAME~'net'"},
        {Threaded("main", "", "a"), FIELD_TNAME, FIELD_KXNAME, "TNAME~'main'"},
        {Threaded("it's \"x\"", "net", "a"), FIELD_TNAME, FIELD_KXNAME, ""},
        {Threaded("main", "net", "a"), FIELD_TID, FIELD_TNAME, "TID==7 && TNAME~'main'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expression);
        PrefKxTable::Default().TreeLevel1Field = c.first;
        PrefKxTable::Default().TreeLevel2Field = c.second;
        TabTable* tab = OpenRecords({c.record});
        EXPECT_EQ(tab->AuxTreeExpression(tab->Table->GetRecord(0)).toStdString(), c.expression);
        delete tab;
    }
}


// Shell services whose progress displays show, noting each label and value.
class ProgressRecorder : public tabtest::StatusRecorder {
public:
    std::unique_ptr<KxvProgress> CreateProgress(const QString& label, const QString& cancel, int, int) override
    {
        labels.push_back((label + "|" + cancel).toStdString());
        return std::make_unique<Display>(*this);
    }

    std::vector<std::string> labels;
    std::vector<int> values;
    bool closed = false;

private:
    struct Display : KxvProgress {
        explicit Display(ProgressRecorder& r) : recorder(r) {}
        void Show() override { shown = true; }
        bool IsVisible() const override { return shown; }
        void SetValue(int value) override { recorder.values.push_back(value); }
        bool WasCanceled() const override { return false; }
        void Cancel() override { shown = false; }
        void Close() override { shown = false, recorder.closed = true; }
        ProgressRecorder& recorder;
        bool shown = false;
    };
};

TEST_F(AuxTreePaneTest, SelectLevelsTurnsTheEventLoopWhileTheTreeIsBuilt)
{
    // Three blocks of records.
    auto* table = new KxTable(nullptr, "memory", PrefKxTable::Default());
    for (int i = 0; i < 25000; ++i)
        table->AppendRecord(Threaded(i % 2 ? "p" : "q", i % 3 ? "t1" : "t2", "x").Build());
    TabTable* tab = Show(table, PrefTabTable::Default(), TabBase::SOURCE_BUILT);
    LevelsAnswer answer;
    PromptGuard guard(&answer);
    ProgressRecorder progress;
    // The second level the table's tree has at each turn of the event loop
    // during the command.
    std::vector<int32_t> seen;
    bool running = false;
    QTimer turns;
    QObject::connect(&turns, &QTimer::timeout, [&] {
        if (running)
            seen.push_back(tab->Table->AuxTree().Level2());
    });
    turns.start(0);
    running = true;
    tab->PrefChooseAuxTreeLevels();
    running = false;
    // The old tree stays whole while the new one is built.
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), FIELD_KXNAME);
    EXPECT_EQ(progress.labels, std::vector<std::string>{"Building the tree of memory|Cancel"});
    ASSERT_GE(progress.values.size(), 3u);
    EXPECT_TRUE(std::is_sorted(progress.values.begin(), progress.values.end()));
    EXPECT_EQ(progress.values.back(), 100);
    EXPECT_TRUE(progress.closed);
    EXPECT_EQ(TreeText(tab->AuxTreeDock), "q() p() ");
}

TEST_F(AuxTreePaneTest, TheTreeFollowsTheRowsDeleted)
{
    TabTable* tab = OpenThreads();
    // The only record of q.
    tab->SetCurrentPosition(2);
    prompt.answers.enqueue(QMessageBox::Yes);
    tab->RowsDelete();
    ASSERT_EQ(tab->Table->RecordCount(), 4);
    EXPECT_EQ(TreeText(tab->AuxTreeDock), "p(t1 t2 t3) ");
}

// The tree changed through another document of the same table: its pane
// hears of it from the change itself, not from a paint.
TEST_F(AuxTreePaneTest, APaneOfTheSameTableHearsOfAChangedTree)
{
    TabTable* tab = OpenThreads();
    tab->Table->AddRef();
    TabTable* other = Show(tab->Table, PrefTabTable::Default(), TabBase::SOURCE_BUILT);
    QSignalSpy resets(other->AuxTreeDock->Model, &QAbstractItemModel::modelReset);
    // The only record of q.
    tab->SetCurrentPosition(2);
    prompt.answers.enqueue(QMessageBox::Yes);
    tab->RowsDelete();
    EXPECT_GE(resets.count(), 1);
    EXPECT_FALSE(other->AuxTreeDock->Model->Stale());
    EXPECT_EQ(TreeText(other->AuxTreeDock), "p(t1 t2 t3) ");
    delete other;
}

TEST_F(AuxTreePaneTest, ItemsAreExpandedOrCollapsedAsTheTabSays)
{
    TabTable* tab = OpenThreads();
    PaneDocks* pane = tab->AuxTreeDock;
    // The tree follows the current record first: built afterwards, it is
    // expanded or collapsed as the tab says.
    tab->idleProcess();
    QAction* onRedraw = tab->Actions[98];
    const struct { const char* step; std::function<void()> run; bool expanded; } cases[] = {
        {"built to expand", [&] { onRedraw->setChecked(true), pane->BuildTree(); }, true},
        {"built to collapse", [&] { onRedraw->setChecked(false), pane->BuildTree(); }, false},
        {"Expand All", [&] { tab->ExpandAllPanes(); }, true},
        {"Collapse All", [&] { tab->CollapseAllPanes(); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.step);
        c.run();
        QApplication::processEvents();
        for (const char* top : {"p", "q"})
            EXPECT_EQ(pane->IsExpanded(TopItem(pane->Tree, QString::fromLatin1(top))), c.expanded) << top;
    }
}

// A move to the current record pending, the tree built to expand is not
// expanded: the move collapses it again.
TEST_F(AuxTreePaneTest, NothingIsExpandedThatTheNextMoveCollapses)
{
    TabTable* tab = OpenThreads();
    PaneDocks* pane = tab->AuxTreeDock;
    tab->Actions[98]->setChecked(true);
    tab->LastPanesRow = -1;
    QSignalSpy resets(pane->Model, &QAbstractItemModel::modelReset);
    pane->BuildTree();
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(pane->Model->ExpandedCount(), 0);
    tab->idleProcess();
    EXPECT_EQ(pane->Model->ExpandedCount(), 1);
}

TEST_F(AuxTreePaneTest, ManyFirstLevelItemsAreExpandedAtOnceAndLaidOutBetweenTurns)
{
    // More first-level items than the view lays out at one turn.
    constexpr int ITEMS = 60000;
    TabTable* tab = OpenProcesses(ITEMS);
    PaneDocks* pane = tab->AuxTreeDock;
    AuxTreeView* tree = pane->Tree;
    const AuxTreeModel* model = pane->Model;
    tab->idleProcess();
    tab->Actions[98]->setChecked(true);
    pane->BuildTree();
    EXPECT_EQ(model->ExpandedCount(), ITEMS);
    EXPECT_EQ(model->rowCount(), 2 * ITEMS);
    const QModelIndex lastChild = model->IndexOf(ITEMS - 1, 0);
    ASSERT_TRUE(lastChild.isValid());
    EXPECT_EQ(Text(lastChild).toStdString(), "k");
    EXPECT_EQ(AuxTreeModel::Place(model->index(2 * ITEMS - 2, 0)), std::make_pair(ITEMS - 1, -1));
    // The rows are laid out at the turns that follow, the last one too.
    for (int turn = 0; turn < 100 && !tree->visualRect(lastChild).isValid(); ++turn)
        QApplication::processEvents();
    tree->scrollTo(lastChild);
    EXPECT_TRUE(tree->viewport()->rect().contains(tree->visualRect(lastChild).center()));

    tab->CollapseAllPanes();
    EXPECT_EQ(model->ExpandedCount(), 0);
    EXPECT_EQ(model->rowCount(), ITEMS);
}

// Select Levels over a tree of many expanded first-level items: the pane
// shows the old tree whole at every turn until the new one takes its place.
TEST_F(AuxTreePaneTest, SelectLevelsShowsTheOldTreeWholeUntilTheNewOne)
{
    constexpr int ITEMS = 120000;
    TabTable* tab = OpenProcesses(ITEMS);
    const AuxTreeModel* model = tab->AuxTreeDock->Model;
    tab->idleProcess();
    tab->Actions[98]->setChecked(true);
    tab->AuxTreeDock->BuildTree();
    ASSERT_EQ(model->rowCount(), 2 * ITEMS);

    LevelsAnswer answer;
    PromptGuard guard(&answer);
    ProgressRecorder progress;
    // Turns at which the pane showed the old tree whole, or something else
    // than the old or the new one.
    int whole = 0, other = 0;
    bool running = false;
    QTimer turns;
    QObject::connect(&turns, &QTimer::timeout, [&] {
        if (!running)
            return;
        if (model->rowCount() == 2 * ITEMS && model->ExpandedCount() == ITEMS)
            ++whole;
        else if (model->rowCount() != ITEMS)
            ++other;
    });
    turns.start(0);
    running = true;
    tab->PrefChooseAuxTreeLevels();
    running = false;
    EXPECT_GE(whole, 1);
    EXPECT_EQ(other, 0);
    EXPECT_EQ(tab->Table->AuxTree().Level2(), -1);
    EXPECT_EQ(model->rowCount(), ITEMS);
}

// A progress display of Select Levels that the user stops at its first
// value: pressing Cancel, or putting it away with Escape (a real dialog).
class StoppedProgress : public tabtest::StatusRecorder {
public:
    explicit StoppedProgress(bool escape) : escape_(escape) {}
    std::unique_ptr<KxvProgress> CreateProgress(const QString& label, const QString& cancel, int minimum,
                                                int maximum) override
    {
        return std::make_unique<Display>(*this, label, cancel, minimum, maximum);
    }
    QWidget* window = nullptr;
    int values = 0;

private:
    struct Display : KxvProgress {
        Display(StoppedProgress& o, const QString& label, const QString& cancel, int minimum, int maximum)
            : owner(o), dialog(label, cancel, minimum, maximum)
        {
            dialog.setAutoReset(false);
            dialog.setAutoClose(false);
            dialog.reset();
        }
        void Show() override { dialog.show(); }
        bool IsVisible() const override { return dialog.isVisible(); }
        void SetValue(int value) override
        {
            dialog.setValue(value);
            if (++owner.values > 1)
                return;
            if (owner.escape_)
                QTest::keyClick(&dialog, Qt::Key_Escape);
            else
                dialog.cancel();
        }
        void SetWindow(QWidget* shown) override { owner.window = shown; }
        bool WasCanceled() const override { return dialog.wasCanceled(); }
        void Cancel() override { dialog.cancel(); }
        void Close() override { dialog.hide(); }
        StoppedProgress& owner;
        QProgressDialog dialog;
    };
    bool escape_;
};

TEST_F(AuxTreePaneTest, SelectLevelsStoppedKeepsTheOldTree)
{
    for (const bool escape : {false, true}) {
        SCOPED_TRACE(escape ? "Escape" : "Cancel");
        auto* table = new KxTable(nullptr, "memory", PrefKxTable::Default());
        for (int i = 0; i < 25000; ++i)
            table->AppendRecord(Threaded(i % 2 ? "p" : "q", i % 3 ? "t1" : "t2", "x").Build());
        TabTable* tab = Show(table, PrefTabTable::Default(), TabBase::SOURCE_BUILT);
        tab->AuxTreeDock->ExpandAll();
        const std::string before = TreeText(tab->AuxTreeDock);
        LevelsAnswer answer;
        PromptGuard guard(&answer);
        StoppedProgress progress(escape);
        tab->PrefChooseAuxTreeLevels();
        EXPECT_EQ(progress.values, 1);
        EXPECT_EQ(tab->Table->AuxTree().Level2(), FIELD_KXNAME);
        EXPECT_EQ(tab->Table->Prefs().TreeLevel2Field, FIELD_KXNAME);
        EXPECT_EQ(tab->AuxTreeDock->Model->ExpandedCount(), 2);
        EXPECT_EQ(TreeText(tab->AuxTreeDock), before);
        delete tab;
    }
}

// The real progress display of Select Levels, put away when it first shows
// a value from stage on: by Escape, by its Cancel button or by its window's
// close button.
class StageStopper : public tabtest::StatusRecorder {
public:
    enum How { ESCAPE, BUTTON, CLOSE };
    StageStopper(QWidget* shownOver, int from, How how) : window(shownOver), stage(from), how_(how) {}

    QWidget* MainWidget() const override { return window; }
    std::unique_ptr<KxvProgress> CreateProgress(const QString& label, const QString& cancel, int minimum,
                                                int maximum) override
    {
        return std::make_unique<Display>(*this, KxvShellServices::CreateProgress(label, cancel, minimum, maximum));
    }

    QWidget* window;
    int stage;
    // The value at which the display was put away (-1: never), whether it
    // offered its Cancel button then and stayed on show after.
    int actedAt = -1;
    bool buttonOffered = false;
    bool shownAfter = false;

private:
    void Act(KxvProgress& display, int value)
    {
        QProgressDialog* dialog = nullptr;
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* found = qobject_cast<QProgressDialog*>(top); found && found->isVisible())
                dialog = found;
        ASSERT_NE(dialog, nullptr);
        actedAt = value;
        QPushButton* button = dialog->findChild<QPushButton*>();
        buttonOffered = button && button->isVisible() && button->isEnabled();
        if (how_ == ESCAPE)
            QTest::keyClick(dialog, Qt::Key_Escape);
        else if (how_ == BUTTON && buttonOffered)
            QTest::mouseClick(button, Qt::LeftButton);
        else if (how_ == CLOSE)
            dialog->close();
        shownAfter = display.IsVisible() && !display.WasCanceled();
    }

    struct Display : KxvProgress {
        Display(StageStopper& o, std::unique_ptr<KxvProgress> shown) : owner(o), real(std::move(shown)) {}
        void Show() override { real->Show(); }
        bool IsVisible() const override { return real->IsVisible(); }
        void SetValue(int value) override
        {
            real->SetValue(value);
            if (owner.actedAt < 0 && value >= owner.stage)
                owner.Act(*real, value);
        }
        void SetWindow(QWidget* over) override { real->SetWindow(over); }
        void ForbidCancel() override { real->ForbidCancel(); }
        bool WasCanceled() const override { return real->WasCanceled(); }
        void Cancel() override { real->Cancel(); }
        void Close() override { real->Close(); }
        StageStopper& owner;
        std::unique_ptr<KxvProgress> real;
    };
    How how_;
};

// Put away while the tree is built, the display cancels: the old tree and
// levels stay. Once the new tree has taken their place it no longer offers
// to cancel, stays on show, and the command runs to its end. The System Log
// says which of the two happened.
TEST_F(AuxTreePaneTest, SelectLevelsCancelsOnlyWhatItCanStillUndo)
{
    const char* const hows[] = {"Escape", "Cancel button", "close button"};
    for (const int stage : {1, 96, 97, 98}) {
        for (const StageStopper::How how : {StageStopper::ESCAPE, StageStopper::BUTTON, StageStopper::CLOSE}) {
            SCOPED_TRACE(std::string(hows[how]) + " at " + std::to_string(stage));
            TabTable* tab = OpenThreeBlocks();
            const std::string before = TreeText(tab->AuxTreeDock);
            LevelsAnswer answer;
            PromptGuard guard(&answer);
            StageStopper progress(main.get(), stage, how);
            tab->PrefChooseAuxTreeLevels();
            ASSERT_GE(progress.actedAt, stage);
            const bool building = progress.actedAt <= 95;
            EXPECT_EQ(progress.buttonOffered, building);
            EXPECT_EQ(progress.shownAfter, !building);
            EXPECT_EQ(tab->Table->AuxTree().Level2(), building ? FIELD_KXNAME : -1);
            EXPECT_EQ(tab->Table->Prefs().TreeLevel2Field, building ? FIELD_KXNAME : -1);
            EXPECT_EQ(TreeText(tab->AuxTreeDock), building ? before : "q() p() ");
            EXPECT_EQ(tabtest::Contains(progress.log, "Document \"memory\": Auxiliary tree fields (11,-1) cancelled"),
                      building);
            EXPECT_EQ(tabtest::Contains(progress.log, "Document \"memory\": Auxiliary tree fields chosen (11,-1)"),
                      !building);
            for (QWidget* top : QApplication::topLevelWidgets()) {
                if (qobject_cast<QProgressDialog*>(top)) {
                    EXPECT_FALSE(top->isVisible());
                }
            }
            delete tab;
        }
    }
}

// The real progress display of Select Levels and a user who acts on what it
// shows: an Escape, a click where its Cancel button was or on its window's
// close button, delivered at the turn of the event loop that follows the one
// that first showed a value from stage on. A held click is pressed there and
// released at the next turn, or once the command is done.
class TurnStopper : public tabtest::StatusRecorder {
public:
    enum How { ESCAPE, BUTTON, CLOSE, HELD };
    TurnStopper(QWidget* shownOver, int from, How how) : window(shownOver), stage(from), how_(how) {}

    QWidget* MainWidget() const override { return window; }
    void Release()
    {
        if (held && held->isVisible())
            QTest::mouseRelease(held, Qt::LeftButton, Qt::NoModifier, heldAt);
        held = nullptr;
    }
    void ProcessEvents() override
    {
        Release();
        QProgressDialog* dialog = Shown();
        if (dialog && actedAt < 0 && shownValue >= stage)
            Act(dialog);
        KxvShellServices::ProcessEvents();
        if ((dialog = Shown())) {
            shownValue = dialog->value();
            QPushButton* button = dialog->findChild<QPushButton*>();
            offered = button && button->isVisible() && button->isEnabled();
            if (offered)
                buttonAt = button->geometry().center();
        }
    }

    QWidget* window;
    int stage;
    // What the display showed when the user acted (-1: never acted).
    int actedAt = -1;
    bool offeredThen = false;
    // What it shows as the last turn left it.
    int shownValue = -1;
    bool offered = false;

private:
    static QProgressDialog* Shown()
    {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* found = qobject_cast<QProgressDialog*>(top); found && found->isVisible())
                return found;
        return nullptr;
    }
    void Act(QProgressDialog* dialog)
    {
        actedAt = shownValue;
        offeredThen = offered;
        if (how_ == ESCAPE) {
            QTest::keyClick(dialog, Qt::Key_Escape);
        } else if (how_ == BUTTON || how_ == HELD) {
            QWidget* under = dialog->childAt(buttonAt);
            held = under ? under : dialog;
            heldAt = under ? under->mapFrom(dialog, buttonAt) : buttonAt;
            QTest::mousePress(held, Qt::LeftButton, Qt::NoModifier, heldAt);
            if (how_ == BUTTON)
                Release();
        } else {
            dialog->close();
        }
    }

    How how_;
    QPoint buttonAt;
    QPointer<QWidget> held;
    QPoint heldAt;
};

// A cancel pressed while the display offers it is honoured, up to its last
// value of the build (95 %), also when the button is released only after
// the offer is withdrawn; the display withdraws the offer before the new
// tree reaches the panes, and what is pressed then changes nothing.
TEST_F(AuxTreePaneTest, SelectLevelsHonoursEveryCancelItOffers)
{
    const char* const hows[] = {"Escape", "Cancel button", "close button", "Cancel held"};
    for (const int stage : {1, 95, 96, 97}) {
        for (const TurnStopper::How how :
             {TurnStopper::ESCAPE, TurnStopper::BUTTON, TurnStopper::CLOSE, TurnStopper::HELD}) {
            SCOPED_TRACE(std::string(hows[how]) + " at " + std::to_string(stage));
            TabTable* tab = OpenThreeBlocks();
            LevelsAnswer answer;
            PromptGuard guard(&answer);
            TurnStopper progress(main.get(), stage, how);
            int offeredAtNewTree = -1;
            QObject::connect(tab->AuxTreeDock->Model, &QAbstractItemModel::modelReset, tab, [&] {
                if (offeredAtNewTree < 0)
                    offeredAtNewTree = progress.offered ? 1 : 0;
            });
            tab->PrefChooseAuxTreeLevels();
            progress.Release();
            ASSERT_GE(progress.actedAt, stage);
            const bool offered = stage <= 95;
            EXPECT_EQ(progress.offeredThen, offered);
            EXPECT_EQ(tab->Table->AuxTree().Level2(), offered ? FIELD_KXNAME : -1);
            EXPECT_EQ(tabtest::Contains(progress.log, "Document \"memory\": Auxiliary tree fields (11,-1) cancelled"),
                      offered);
            if (!offered) {
                EXPECT_EQ(offeredAtNewTree, 0);
            }
            delete tab;
        }
    }
}

// Select Levels in a document of a secondary window: the chooser and the
// progress display stand over that window, not over the main one.
TEST_F(AuxTreePaneTest, SelectLevelsInASecondaryWindowShowsThere)
{
    auto* table = new KxTable(nullptr, "memory", PrefKxTable::Default());
    for (int i = 0; i < 25000; ++i)
        table->AppendRecord(Threaded(i % 2 ? "p" : "q", "t1", "x").Build());
    TabTable* tab = Show(table, PrefTabTable::Default(), TabBase::SOURCE_BUILT);
    tab->DockDetach();
    QApplication::processEvents();
    ASSERT_NE(tab->window(), static_cast<QWidget*>(main.get()));
    struct Answer : LevelsAnswer {
        int Exec(QDialog* dialog) override
        {
            parent = dialog->parentWidget();
            return LevelsAnswer::Exec(dialog);
        }
        QWidget* parent = nullptr;
    } answer;
    PromptGuard guard(&answer);
    StoppedProgress progress(false);
    tab->PrefChooseAuxTreeLevels();
    EXPECT_EQ(answer.parent, tab->window());
    ASSERT_NE(progress.window, nullptr);
    EXPECT_EQ(progress.window->window(), tab->window());
}

// The document and its secondary window closed while the chooser is open:
// the chooser goes with the window, once, and the levels stay unchanged.
TEST_F(AuxTreePaneTest, SelectLevelsOutlivesItsSecondaryWindow)
{
    TabTable* tab = OpenThreads();
    tab->DockDetach();
    QApplication::processEvents();
    const QPointer<QWidget> window = tab->window();
    ASSERT_NE(window.data(), static_cast<QWidget*>(main.get()));
    struct Answer : ScriptedPrompt {
        int Exec(QDialog*) override
        {
            closes->DiscardChanges();
            closes->window()->close();
            FlushDeletes();
            return 1;
        }
        QPointer<TabTable> closes;
    } answer;
    answer.closes = tab;
    PromptGuard guard(&answer);
    const int32_t second = PrefKxTable::Default().TreeLevel2Field;
    tab->PrefChooseAuxTreeLevels();
    EXPECT_TRUE(answer.closes.isNull());
    EXPECT_TRUE(window.isNull());
    EXPECT_EQ(PrefKxTable::Default().TreeLevel2Field, second);
}

// The document closed at a turn of the event loop while Select Levels
// builds its tree: the build stops, nothing of the document is touched.
TEST_F(AuxTreePaneTest, ADocumentClosedDuringSelectLevelsStopsTheBuild)
{
    auto* table = new KxTable(nullptr, "memory", PrefKxTable::Default());
    for (int i = 0; i < 25000; ++i)
        table->AppendRecord(Threaded(i % 2 ? "p" : "q", "t1", "x").Build());
    QPointer<TabTable> tab = Show(table, PrefTabTable::Default(), TabBase::SOURCE_BUILT);
    LevelsAnswer answer;
    PromptGuard guard(&answer);
    ProgressRecorder progress;
    QTimer closer;
    closer.setSingleShot(true);
    QObject::connect(&closer, &QTimer::timeout, [&] { delete tab.data(); });
    closer.start(0);
    tab->PrefChooseAuxTreeLevels();
    EXPECT_TRUE(tab.isNull());
    ASSERT_FALSE(progress.values.empty());
    EXPECT_LT(progress.values.back(), 100);
}

// The items have no What's This text of their own: the question goes on to
// the document, whose page the help shows.
TEST_F(AuxTreePaneTest, WhatsThisOverAnItemReachesTheDocument)
{
    TabTable* tab = OpenThreads();
    AuxTreeView* tree = tab->AuxTreeDock->Tree;
    struct Seen : QObject {
        bool eventFilter(QObject*, QEvent* event) override
        {
            count += event->type() == QEvent::WhatsThis ? 1 : 0;
            return false;
        }
        int count = 0;
    } seen;
    tab->installEventFilter(&seen);
    const QPoint at = RowRect(tree, tree->model()->index(0, 0)).center();
    ASSERT_TRUE(tree->indexAt(at).isValid());
    QHelpEvent event(QEvent::WhatsThis, at, tree->viewport()->mapToGlobal(at));
    QApplication::sendEvent(tree->viewport(), &event);
    tab->removeEventFilter(&seen);
    EXPECT_EQ(seen.count, 1);
}

} // namespace
