// The aux-tree pane of the first document a process opens, as assistive
// tools read it: a tree, whether a tool asks about the view as soon as it is
// made or once the pane is there. Each suite runs in a process of its own
// (see CMakeLists.txt): any pane made earlier in the process would hide what
// the first one is.
#include <string>
#include <vector>

#include <QAccessible>

#include "kxviewer/table/auxtreemodel.h"
#include "kxviewer/table/auxtreeview.h"
#include "kxviewer/table/panedocks.h"
#include "kxviewer/table/tabtablemodel.h"
#include "tabletabenv.h"

namespace {

bool paneMade = false;

class FirstPaneTest : public tabletest::TableTabTest {
protected:
    // p(t1 t2) q(t1), p expanded; the pane of the process's first document.
    PaneDocks* OpenFirst()
    {
        if (paneMade)
            return nullptr;
        paneMade = true;
        std::vector<RawRecord> records;
        for (auto [tname, kxname] : {std::pair{"p", "t1"}, {"p", "t2"}, {"q", "t1"}}) {
            records.push_back(Record("x"));
            records.back().tname = tname;
            records.back().kxname = kxname;
        }
        PaneDocks* pane = OpenRecords(records)->AuxTreeDock;
        pane->Model->SetAllExpanded(false);
        pane->Model->SetExpanded(0, true);
        return pane;
    }

    // The tree as read: "name[+-]" per item (+ expandable and collapsed, -
    // expanded), children in parentheses; "!role" where an item is no tree
    // item.
    static std::string Read(QAccessibleInterface* item)
    {
        std::string text = item->text(QAccessible::Name).toStdString();
        if (item->role() != QAccessible::TreeItem)
            text += "!" + std::to_string(int(item->role()));
        const QAccessible::State state = item->state();
        if (state.expandable)
            text += state.expanded ? "-" : "+";
        if (item->childCount() > 0)
            text += "(" + Children(item) + ")";
        return text;
    }

    static std::string Children(QAccessibleInterface* parent)
    {
        std::string text;
        for (int i = 0; i < parent->childCount(); ++i)
            text += (i ? " " : "") + Read(parent->child(i));
        return text;
    }

    static void ExpectATree(PaneDocks* pane)
    {
        QAccessibleInterface* view = QAccessible::queryAccessibleInterface(pane->Tree);
        ASSERT_NE(view, nullptr);
        EXPECT_EQ(view->role(), QAccessible::Tree);
        EXPECT_EQ(Children(view), "p-(t1 t2) q+");
    }
};

// A tool that is on asks about a view as soon as Qt tells of it, and Qt
// tells of the model the view takes while it is made (the offscreen
// platform has no tool to switch on): this asks at the first event the view
// gets as itself, and Qt keeps the interface it makes then.
class AskAtOnce : public QObject {
public:
    AskAtOnce() { QApplication::instance()->installEventFilter(this); }
    ~AskAtOnce() override { QApplication::instance()->removeEventFilter(this); }
    bool eventFilter(QObject* object, QEvent*) override
    {
        if (!asked && qobject_cast<AuxTreeView*>(object)) {
            asked = true;
            QAccessible::queryAccessibleInterface(object);
        }
        return false;
    }
    bool asked = false;
};

class AuxTreeFirstPaneAskedAtOnce : public FirstPaneTest {};
class AuxTreeFirstPaneAskedLater : public FirstPaneTest {};

TEST_F(AuxTreeFirstPaneAskedAtOnce, ReadsAsATree)
{
    const AskAtOnce tool;
    PaneDocks* pane = OpenFirst();
    if (!pane)
        GTEST_SKIP() << "needs a process of its own";
    EXPECT_TRUE(tool.asked);
    ExpectATree(pane);
}

TEST_F(AuxTreeFirstPaneAskedLater, ReadsAsATree)
{
    PaneDocks* pane = OpenFirst();
    if (!pane)
        GTEST_SKIP() << "needs a process of its own";
    ExpectATree(pane);
}

} // namespace
