// The rows of the aux-tree pane as a user meets them: the keys and clicks
// of a tree, the selection and the current item kept on their nodes while
// rows come and go, quick selection of collapsed items, the tree following
// the current record, and what assistive tools and the style sheet see.
#include <functional>
#include <string>
#include <vector>

#include <QAccessible>
#include <QAction>
#include <QItemSelectionModel>

#include "kxviewer/table/auxtreemodel.h"
#include "kxviewer/table/auxtreeview.h"
#include "kxviewer/table/panedocks.h"
#include "kxviewer/table/panestyles.h"
#include "kxviewer/table/tabtablemodel.h"
#include "script/scriptlogicalexp/scriptlogicalexpparser.h"
#include "tabletabenv.h"

namespace {

const bool registered = (ScriptLogicalExpParser::Register(), true);

class AuxTreeViewTest : public tabletest::TableTabTest {
protected:
    // p(t1 t2 t3) q(t1): four records of p, one of q.
    TabTable* OpenThreads()
    {
        return OpenRecords({Thread("p", "t1"), Thread("p", "t2"), Thread("q", "t1"), Thread("p", "t3"),
                            Thread("p", "t1")});
    }

    // t0(k) t1(k) ...: a first-level item of one child per record.
    TabTable* OpenProcesses(int items)
    {
        auto* table = new KxTable(nullptr, "memory", PrefKxTable::Default());
        for (int i = 0; i < items; ++i) {
            const std::string name = "t" + std::to_string(i);
            table->AppendRecord(Thread(name.c_str(), "k").Build());
        }
        return Show(table, PrefTabTable::Default(), TabBase::SOURCE_BUILT);
    }

    // The texts are the caller's and must outlive the record's building.
    static RawRecord Thread(const char* tname, const char* kxname)
    {
        RawRecord raw;
        raw.tname = tname;
        raw.kxname = kxname;
        raw.text = "x";
        return raw;
    }

    // "node" or "node/child" of a row.
    static std::string Name(const AuxTreeModel* model, const QModelIndex& item)
    {
        const std::string text = model->Text(item).toStdString();
        return AuxTreeModel::Place(item).second < 0 ? text : model->Text(model->NodeOf(item)).toStdString() + "/" + text;
    }

    // The item of "node" or "node/child", its node expanded for a child.
    static QModelIndex Find(PaneDocks* pane, const std::string& name)
    {
        AuxTreeModel* model = pane->Model;
        const std::string node = name.substr(0, name.find('/'));
        for (int32_t n = 0; n < model->Nodes(); ++n) {
            if (model->Text(model->IndexOf(n, -1)).toStdString() != node)
                continue;
            if (node == name)
                return model->IndexOf(n, -1);
            model->SetExpanded(n, true);
            for (int32_t child = 0; child < model->Children(n); ++child)
                if (Name(model, model->IndexOf(n, child)) == name)
                    return model->IndexOf(n, child);
        }
        ADD_FAILURE() << "no item " << name;
        return QModelIndex();
    }

    // The nodes named expanded, the others collapsed; current the item
    // current (selected, as a click makes it), selected those also selected.
    static void Prepare(PaneDocks* pane, const std::vector<std::string>& expanded, const std::string& current,
                        const std::vector<std::string>& selected = {})
    {
        pane->Model->SetAllExpanded(false);
        for (const std::string& node : expanded)
            pane->Model->SetExpanded(AuxTreeModel::Place(Find(pane, node)).first, true);
        pane->Tree->setCurrentIndex(Find(pane, current));
        for (const std::string& name : selected)
            pane->Tree->selectionModel()->select(Find(pane, name),
                                                 QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    // The rows shown, read afresh from their numbers: "+p" a collapsed node,
    // "-p" an expanded one, ".p" one without children, "/t1" a child; "*"
    // selected, "@" current.
    static std::string Rows(PaneDocks* pane)
    {
        const AuxTreeModel* model = pane->Model;
        std::string text;
        for (int row = 0; row < model->rowCount(); ++row) {
            const QModelIndex item = model->index(row, 0);
            const auto [node, child] = AuxTreeModel::Place(item);
            text += text.empty() ? "" : " ";
            text += child >= 0 ? "/" : model->Children(node) == 0 ? "." : model->IsExpanded(node) ? "-" : "+";
            text += model->Text(item).toStdString() + Marks(pane, item);
        }
        return text;
    }

    // Only the rows selected or current, by name: "p/t2*@ q*".
    static std::string Marked(PaneDocks* pane)
    {
        std::string text;
        for (int row = 0; row < pane->Model->rowCount(); ++row) {
            const QModelIndex item = pane->Model->index(row, 0);
            const std::string marks = Marks(pane, item);
            if (!marks.empty())
                text += (text.empty() ? "" : " ") + Name(pane->Model, item) + marks;
        }
        return text;
    }

    static std::string Marks(PaneDocks* pane, const QModelIndex& item)
    {
        const QModelIndex current = pane->Tree->currentIndex();
        std::string marks = pane->Tree->selectionModel()->isSelected(item) ? "*" : "";
        if (current.isValid() && current.row() == item.row())
            marks += AuxTreeModel::Place(current) == AuxTreeModel::Place(item) ? "@" : "@?";
        return marks;
    }

    static QRect RowRect(AuxTreeView* tree, const QModelIndex& item)
    {
        return tree->visualRect(item.siblingAtColumn(0)) | tree->visualRect(item.siblingAtColumn(1));
    }
};

TEST_F(AuxTreeViewTest, KeysWalkTheTree)
{
    const struct { std::vector<std::string> expanded; const char* current; Qt::Key key; const char* rows; } cases[] = {
        {{}, "p", Qt::Key_Right, "-p*@ /t1 /t2 /t3 +q"},
        {{"p"}, "p", Qt::Key_Right, "-p /t1*@ /t2 /t3 +q"},
        {{"p"}, "p/t2", Qt::Key_Right, "-p /t1 /t2*@ /t3 +q"},
        {{"p"}, "q", Qt::Key_Right, "-p /t1 /t2 /t3 -q*@ /t1"},
        {{"p"}, "p", Qt::Key_Left, "+p*@ +q"},
        {{}, "q", Qt::Key_Left, "+p +q*@"},
        {{"p"}, "p/t3", Qt::Key_Left, "-p*@ /t1 /t2 /t3 +q"},
        {{}, "q", Qt::Key_Plus, "+p -q*@ /t1"},
        {{"p"}, "p/t1", Qt::Key_Plus, "-p /t1*@ /t2 /t3 +q"},
        {{"p", "q"}, "p", Qt::Key_Minus, "+p*@ -q /t1"},
        {{"p"}, "p/t1", Qt::Key_Minus, "-p /t1*@ /t2 /t3 +q"},
        {{}, "p", Qt::Key_Asterisk, "-p*@ /t1 /t2 /t3 +q"},
        {{"p"}, "p/t2", Qt::Key_Asterisk, "-p /t1 /t2*@ /t3 +q"},
        {{"p"}, "p", Qt::Key_Down, "-p /t1*@ /t2 /t3 +q"},
    };
    TabTable* tab = OpenThreads();
    PaneDocks* pane = tab->AuxTreeDock;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.current) + " " + QKeySequence(c.key).toString().toStdString());
        Prepare(pane, c.expanded, c.current);
        QTest::keyClick(pane->Tree, c.key);
        EXPECT_EQ(Rows(pane), c.rows);
    }
}

TEST_F(AuxTreeViewTest, ClicksExpandCollapseAndChoose)
{
    // A double click comes after the click of its first press; WINDOW_DOUBLE
    // is a double click through the window, as the platform delivers it.
    enum Click { ARROW, TEXT, DOUBLE, ARROW_DOUBLE, ARROW_WINDOW_DOUBLE };
    const struct { std::vector<std::string> expanded; const char* at; Click click; const char* rows; } cases[] = {
        {{}, "p", ARROW, "-p /t1 /t2 /t3 +q*@"},
        {{"p"}, "p", ARROW, "+p +q*@"},
        {{}, "p", TEXT, "+p*@ +q"},
        {{}, "p", DOUBLE, "-p*@ /t1 /t2 /t3 +q"},
        {{"p"}, "p", DOUBLE, "+p*@ +q"},
        {{"p"}, "p/t2", DOUBLE, "-p /t1 /t2*@ /t3 +q"},
        {{"p"}, "p/t3", TEXT, "-p /t1 /t2 /t3*@ +q"},
        {{}, "p", ARROW_DOUBLE, "-p /t1 /t2 /t3 +q*@"},
        {{"p"}, "p", ARROW_DOUBLE, "+p +q*@"},
        {{}, "p", ARROW_WINDOW_DOUBLE, "-p /t1 /t2 /t3 +q*@"},
        {{"p"}, "p", ARROW_WINDOW_DOUBLE, "+p +q*@"},
        {{}, "q", ARROW_WINDOW_DOUBLE, "+p -q*@ /t1"},
    };
    TabTable* tab = OpenThreads();
    PaneDocks* pane = tab->AuxTreeDock;
    AuxTreeView* tree = pane->Tree;
    ASSERT_TRUE(QTest::qWaitForWindowExposed(tree->window()));
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.at) + " " + std::to_string(c.click));
        Prepare(pane, c.expanded, "q");
        const QModelIndex item = Find(pane, c.at);
        const QRect arrow = tree->ArrowRect(item);
        const bool onArrow = c.click == ARROW || c.click == ARROW_DOUBLE || c.click == ARROW_WINDOW_DOUBLE;
        const QPoint at = onArrow ? arrow.center() : QPoint(RowRect(tree, item).right() - 2, arrow.center().y());
        if (c.click == ARROW_WINDOW_DOUBLE) {
            QTest::mouseDClick(tree->window()->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                               tree->viewport()->mapTo(tree->window(), at));
        } else {
            QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, at);
            if (c.click == DOUBLE || c.click == ARROW_DOUBLE)
                QTest::mouseDClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        }
        EXPECT_EQ(Rows(pane), c.rows);
    }
}

// Expanding and collapsing, one node or all of them: what stays shown stays
// selected, and the current item stays current, or its node becomes it.
TEST_F(AuxTreeViewTest, SelectionAndCurrentItemStayOnTheirNodes)
{
    // Nodes of 20 items: more expanded than are collapsed one by one.
    const struct {
        int items; std::vector<std::string> expanded; const char* current; std::vector<std::string> selected;
        std::function<void(PaneDocks*)> run; const char* marked; int32_t expandedAfter;
    } cases[] = {
        {0, {}, "q", {}, [](PaneDocks* p) { p->Model->SetExpanded(0, true); }, "q*@", 1},
        {0, {}, "q", {"p"}, [](PaneDocks* p) { p->Model->SetExpanded(0, true); }, "p* q*@", 1},
        {0, {"p"}, "q", {"p/t2"}, [](PaneDocks* p) { p->Model->SetExpanded(1, true); }, "p/t2* q*@", 2},
        {0, {"p"}, "q", {"p"}, [](PaneDocks* p) { p->Model->SetExpanded(0, false); }, "p* q*@", 0},
        {0, {"p"}, "p/t2", {}, [](PaneDocks* p) { p->Model->SetExpanded(0, false); }, "p@", 0},
        {0, {}, "q", {"p"}, [](PaneDocks* p) { p->ExpandAll(); }, "p* q*@", 2},
        {0, {"p", "q"}, "q/t1", {"p/t2"}, [](PaneDocks* p) { p->CollapseAll(); }, "q@", 0},
        {0, {"p", "q"}, "q", {"p"}, [](PaneDocks* p) { p->CollapseAll(); }, "p* q*@", 0},
        {20, {}, "t5", {"t3"}, [](PaneDocks* p) { p->ExpandAll(); }, "t3* t5*@", 20},
        {20, {}, "t5/k", {"t3/k"}, [](PaneDocks* p) { p->ExpandAll(), p->CollapseAll(); }, "t5@", 0},
        {20, {}, "t7", {"t2"}, [](PaneDocks* p) { p->ExpandAll(), p->CollapseAll(); }, "t2* t7*@", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.items) + " " + c.current + " -> " + c.marked);
        TabTable* tab = c.items ? OpenProcesses(c.items) : OpenThreads();
        PaneDocks* pane = tab->AuxTreeDock;
        Prepare(pane, c.expanded, c.current, c.selected);
        c.run(pane);
        EXPECT_EQ(Marked(pane), c.marked);
        EXPECT_EQ(pane->Model->ExpandedCount(), c.expandedAfter);
        delete tab;
    }
}

// Items chosen while their nodes are collapsed: a collapsed node stands for
// all its records, and chosen children are shown and selected.
TEST_F(AuxTreeViewTest, CollapsedItemsAreChosenWhole)
{
    const struct {
        const char* step; std::function<void(PaneDocks*)> run; const char* marked; uint32_t selected; int32_t rows;
    } cases[] = {
        {"Quick Selection of p", [](PaneDocks* p) { p->Actions[90]->trigger(); }, "p*@", 4, 5},
        {"Quick Filter of p", [](PaneDocks* p) { p->Actions[89]->trigger(); }, "p*@", 0, 4},
        {"children chosen", [](PaneDocks* p) { p->SelectItems([](int32_t, int32_t child) { return child == 0; }); },
         "p@ p/t1* q/t1*", 0, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.step);
        TabTable* tab = OpenThreads();
        PaneDocks* pane = tab->AuxTreeDock;
        pane->CollapseAll();
        const QModelIndex p = pane->Model->IndexOf(0, -1);
        QTest::mouseClick(pane->Tree->viewport(), Qt::LeftButton, Qt::NoModifier, RowRect(pane->Tree, p).center());
        c.run(pane);
        EXPECT_EQ(Marked(pane), c.marked);
        EXPECT_EQ(tab->Table->NumSelected, c.selected);
        EXPECT_EQ(tab->Table->RowCount(), c.rows);
        delete tab;
    }
}

TEST_F(AuxTreeViewTest, FollowingTheCurrentRowExpandsItsNodeAlone)
{
    // rows: the records made current in turn; marked and expanded after the
    // last. With 20 items more are expanded than are collapsed one by one.
    const struct { int items; bool expandAll; std::vector<int> rows; const char* marked; const char* node; } cases[] = {
        {0, false, {1}, "p/t2*@", "p"},
        {0, false, {1, 2}, "q/t1*@", "q"},
        {0, true, {2, 3}, "p/t3*@", "p"},
        {20, false, {4, 9, 15}, "t15/k*@", "t15"},
        {20, true, {6}, "t6/k*@", "t6"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.marked);
        TabTable* tab = c.items ? OpenProcesses(c.items) : OpenThreads();
        PaneDocks* pane = tab->AuxTreeDock;
        tab->idleProcess();
        if (c.expandAll)
            pane->ExpandAll();
        for (int row : c.rows) {
            tab->SetCurrentPosition(row);
            tab->idleProcess();
        }
        EXPECT_EQ(Marked(pane), c.marked);
        EXPECT_EQ(pane->Model->ExpandedCount(), 1);
        EXPECT_TRUE(pane->IsExpanded(Find(pane, c.node)));
        delete tab;
    }
}

// The view lays its rows out a batch at a time: the current item is scrolled
// to once its row is laid out, however far down.
TEST_F(AuxTreeViewTest, TheCurrentItemIsScrolledToWhereverItIs)
{
    const struct { int items, row; } cases[] = {{300, 290}, {60000, 59990}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.items);
        TabTable* tab = OpenProcesses(c.items);
        AuxTreeView* tree = tab->AuxTreeDock->Tree;
        tab->idleProcess();
        tab->SetCurrentPosition(c.row);
        tab->idleProcess();
        const QModelIndex current = tree->currentIndex();
        ASSERT_EQ(tab->AuxTreeDock->Model->Text(current).toStdString(), "k");
        for (int turn = 0; turn < 100 && !tree->viewport()->rect().contains(tree->visualRect(current)); ++turn)
            QApplication::processEvents();
        EXPECT_TRUE(tree->viewport()->rect().contains(tree->visualRect(current)));
        delete tab;
    }
}

// What a screen reader reads: a tree of items named by their texts, nested
// by level, expandable and expanded as shown.
TEST_F(AuxTreeViewTest, AssistiveToolsReadATree)
{
    TabTable* tab = OpenThreads();
    PaneDocks* pane = tab->AuxTreeDock;
    AuxTreeView* tree = pane->Tree;
    Prepare(pane, {"p"}, "p/t2");
    QAccessibleInterface* view = QAccessible::queryAccessibleInterface(tree);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->role(), QAccessible::Tree);
    ASSERT_EQ(view->childCount(), 2);

    // level: items up to the tree.
    const struct {
        std::vector<int> path; const char* text; int level, children; bool expandable, expanded, selected;
    } cases[] = {
        {{0}, "p", 1, 3, true, true, false},
        {{0, 1}, "t2", 2, 0, false, false, true},
        {{0, 2}, "t3", 2, 0, false, false, false},
        {{1}, "q", 1, 0, true, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        QAccessibleInterface* item = view;
        for (int i : c.path) {
            QAccessibleInterface* parent = item;
            item = parent->child(i);
            ASSERT_NE(item, nullptr);
            EXPECT_EQ(item->parent(), parent);
            EXPECT_EQ(parent->indexOfChild(item), i);
        }
        EXPECT_EQ(item->role(), QAccessible::TreeItem);
        EXPECT_EQ(item->text(QAccessible::Name).toStdString(), c.text);
        int level = 0;
        for (QAccessibleInterface* up = item; up && up != view; up = up->parent())
            ++level;
        EXPECT_EQ(level, c.level);
        EXPECT_EQ(item->childCount(), c.children);
        const QAccessible::State state = item->state();
        EXPECT_EQ(bool(state.expandable), c.expandable);
        EXPECT_EQ(bool(state.expanded), c.expanded);
        EXPECT_EQ(bool(state.collapsed), c.expandable && !c.expanded);
        EXPECT_EQ(bool(state.selected), c.selected);
        EXPECT_TRUE(tree->viewport()->rect().contains(tree->viewport()->mapFromGlobal(item->rect().center())));
        EXPECT_EQ(view->childAt(item->rect().center().x(), item->rect().center().y()), view->child(c.path[0]));
    }

    // Expanded by a key, the item holds its children.
    Prepare(pane, {}, "q");
    QTest::keyClick(tree, Qt::Key_Right);
    EXPECT_EQ(view->child(1)->childCount(), 1);
    EXPECT_TRUE(view->child(1)->state().expanded);
    EXPECT_FALSE(view->child(1)->state().collapsed);
}

TEST_F(AuxTreeViewTest, TheStyleSheetDrawsTheBorder)
{
    TabTable* tab = OpenThreads();
    AuxTreeView* tree = tab->AuxTreeDock->Tree;
    EXPECT_TRUE(QString::fromLatin1(AuxTreeStyle).startsWith(QLatin1String(tree->metaObject()->className())));
    const QImage image = tree->grab().toImage();
    for (const QPoint& at : {QPoint(0, image.height() / 2), QPoint(image.width() / 2, 0),
                             QPoint(image.width() - 1, image.height() - 1)})
        EXPECT_EQ(image.pixelColor(at).name().toStdString(), "#e9e9e9") << at.x() << "," << at.y();
}

} // namespace
