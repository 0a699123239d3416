// The model of the aux-tree pane over a tree of a million nodes: showing it
// makes nothing, a row is read from the tree only when asked for, a node's
// children are listed only when one of them is read, and a tree that
// changed since it was shown is never read.
#include <cstdio>
#include <functional>
#include <utility>

#include <QApplication>
#include <QBrush>
#include <QTreeView>
#include <gtest/gtest.h>

#include "kxlib/fields.h"
#include "kxlib/kxauxtree.h"
#include "kxlib/kxdrecord.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/table/auxtreemodel.h"
#include "tests/kxlib/table_fixtures.h"

namespace {

// Parents "p0".. each with the children "c0".. .
void Fill(KxAuxTree& tree, int parents, int children)
{
    TwoLevelRecord record;
    for (int p = 0; p < parents; ++p) {
        snprintf(record.first, 16, "p%d", p);
        for (int c = 0; c < children; ++c) {
            snprintf(record.second, 16, "c%d", c);
            tree.Add(&record.record);
        }
    }
}

class AuxTreeModelTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        tree = new KxAuxTree(FIELD_TNAME, FIELD_KXNAME);
        Fill(*tree, 1000, 1000);
    }
    static void TearDownTestSuite()
    {
        delete tree;
        tree = nullptr;
    }

    static KxAuxTree* tree;
};

KxAuxTree* AuxTreeModelTest::tree = nullptr;

TEST_F(AuxTreeModelTest, AMillionNodesAreReadOnlyWhereAsked)
{
    AuxTreeModel model;
    model.Show(tree);
    EXPECT_EQ(model.ChildrenListed(), 0u);
    ASSERT_EQ(model.rowCount(), 1000);
    const QModelIndex last = model.index(999, 0);
    ASSERT_EQ(model.rowCount(last), 1000);
    // An index names a place; no child is read for it.
    const QModelIndex child = model.index(998, 1, last);
    EXPECT_EQ(model.ChildrenListed(), 0u);
    EXPECT_EQ(model.parent(child), last);
    EXPECT_EQ(AuxTreeModel::Place(child), std::make_pair(999, 998));
    EXPECT_EQ(AuxTreeModel::Place(last), std::make_pair(999, -1));
    EXPECT_EQ(model.IndexOf(999, 998, 1), child);
    EXPECT_EQ(child.data().toString(), "c998");
    // Reading one child lists its parent's children, no others.
    EXPECT_EQ(model.ChildrenListed(), 1000u);
    EXPECT_EQ(model.Text(model.index(3, 0, last)), "c3");
    EXPECT_EQ(model.Text(last), "p999");
    EXPECT_EQ(model.ChildrenListed(), 1000u);
}

TEST_F(AuxTreeModelTest, ColumnsShowTheColourAndTheText)
{
    PrefGlobal::SetDefaults();
    AuxTreeModel model;
    model.Show(tree);
    const QModelIndex top = model.index(7, 0);
    const QModelIndex child = model.index(2, 0, top);
    // role of column 0 and 1 of a top row and a child row.
    const struct { const char* what; QModelIndex index; int role; QVariant value; } cases[] = {
        {"top colour blanks", top, Qt::DisplayRole, QStringLiteral("   ")},
        {"top colour", top, Qt::BackgroundRole, QBrush(PrefGlobal::GetColor(7))},
        {"top text", top.siblingAtColumn(1), Qt::DisplayRole, QStringLiteral("p7")},
        {"child first column", child, Qt::DisplayRole, QVariant()},
        {"child background", child.siblingAtColumn(1), Qt::BackgroundRole, QVariant()},
        {"child text", child.siblingAtColumn(1), Qt::DisplayRole, QStringLiteral("c2")},
        {"no What's This", child.siblingAtColumn(1), Qt::WhatsThisRole, QVariant()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.index.data(c.role), c.value);
    }
    EXPECT_FALSE(model.flags(top) & Qt::ItemNeverHasChildren);
    EXPECT_TRUE(model.flags(child) & Qt::ItemNeverHasChildren);
    EXPECT_EQ(model.rowCount(top.siblingAtColumn(1)), 0);
}

TEST_F(AuxTreeModelTest, AViewReadsOnlyTheChildrenItShows)
{
    AuxTreeModel model;
    model.Show(tree);
    QTreeView view;
    view.setUniformRowHeights(true);
    view.setModel(&model);
    view.resize(300, 400);
    view.show();
    QApplication::processEvents();
    view.viewport()->repaint();
    EXPECT_EQ(model.ChildrenListed(), 0u);
    view.expand(model.index(1, 0));
    view.viewport()->repaint();
    EXPECT_EQ(model.ChildrenListed(), 1000u);
}

TEST(AuxTreeModel, ATreeChangedSinceItWasShownIsNotRead)
{
    KxAuxTree tree(FIELD_TNAME, FIELD_KXNAME);
    Fill(tree, 3, 2);
    AuxTreeModel model;
    model.Show(&tree);
    const QModelIndex child = model.index(1, 1, model.index(2, 0));
    ASSERT_EQ(child.data().toString(), "c1");
    // shown: the tree shown again afterwards; stale: a tree is shown and
    // has changed since.
    const struct { const char* change; std::function<void()> run; bool shown, stale; int rows; } cases[] = {
        {"a node added", [&] { Fill(tree, 4, 1); }, false, true, 0},
        {"shown again", [&] { model.Show(&tree); }, true, false, 4},
        {"rebuilt", [&] { tree.Reset(FIELD_TNAME, FIELD_KXNAME); }, false, true, 0},
        {"nothing shown", [&] { model.Show(nullptr); }, false, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.change);
        c.run();
        EXPECT_EQ(model.Current(), c.shown);
        EXPECT_EQ(model.Stale(), c.stale);
        EXPECT_EQ(model.rowCount(), c.rows);
        // The nodes the index named may be gone: it reads nothing.
        EXPECT_EQ(child.data().isValid(), c.shown);
    }
}

} // namespace
