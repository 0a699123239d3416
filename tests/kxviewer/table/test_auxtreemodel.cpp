// The model of the aux-tree pane over a tree of a million nodes: showing it
// makes nothing, a row is read from the tree only when asked for, a node's
// children are listed only when one of them is read, rows and places map
// both ways whatever is expanded, and a tree that changed since it was
// shown is never read.
#include <algorithm>
#include <cstdio>
#include <string>
#include <functional>
#include <utility>

#include <QApplication>
#include <QBrush>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include "kxlib/fields.h"
#include "kxlib/kxauxtree.h"
#include "kxlib/kxdrecord.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/table/auxtreemodel.h"
#include "kxviewer/table/auxtreeview.h"
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
    ASSERT_EQ(model.Children(999), 1000);
    model.SetExpanded(999, true);
    ASSERT_EQ(model.rowCount(), 2000);
    const QModelIndex last = model.index(999, 0);
    // An index names a place; no child is read for it.
    const QModelIndex child = model.index(1998, 1);
    EXPECT_EQ(model.ChildrenListed(), 0u);
    EXPECT_EQ(model.NodeOf(child), last.siblingAtColumn(1));
    EXPECT_FALSE(model.parent(child).isValid());
    EXPECT_EQ(AuxTreeModel::Place(child), std::make_pair(999, 998));
    EXPECT_EQ(AuxTreeModel::Place(last), std::make_pair(999, -1));
    EXPECT_EQ(model.IndexOf(999, 998, 1), child);
    EXPECT_EQ(child.data().toString(), "c998");
    // Reading one child lists its parent's children, no others.
    EXPECT_EQ(model.ChildrenListed(), 1000u);
    EXPECT_EQ(model.Text(model.IndexOf(999, 3)), "c3");
    EXPECT_EQ(model.Text(last), "p999");
    EXPECT_EQ(model.ChildrenListed(), 1000u);
}

TEST_F(AuxTreeModelTest, ColumnsShowTheColourAndTheText)
{
    PrefGlobal::SetDefaults();
    AuxTreeModel model;
    model.Show(tree);
    model.SetExpanded(7, true);
    const QModelIndex top = model.IndexOf(7, -1);
    const QModelIndex child = model.IndexOf(7, 2);
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
    // The rows are a list: the view keeps no state per item.
    EXPECT_TRUE(model.flags(top) & Qt::ItemNeverHasChildren);
    EXPECT_TRUE(model.flags(child) & Qt::ItemNeverHasChildren);
    EXPECT_EQ(model.rowCount(top.siblingAtColumn(1)), 0);
}

TEST_F(AuxTreeModelTest, AViewReadsOnlyTheChildrenItShows)
{
    AuxTreeModel model;
    model.Show(tree);
    AuxTreeView view(&model, nullptr);
    view.resize(300, 400);
    view.show();
    QApplication::processEvents();
    view.viewport()->repaint();
    EXPECT_EQ(model.ChildrenListed(), 0u);
    model.SetExpanded(1, true);
    QApplication::processEvents();
    view.viewport()->repaint();
    EXPECT_EQ(model.ChildrenListed(), 1000u);
}

// Rows and places map both ways whatever is expanded, and each expansion
// is announced as the rows it inserts or removes.
TEST(AuxTreeModel, RowsAndPlacesMapBothWays)
{
    KxAuxTree tree(FIELD_TNAME, FIELD_KXNAME);
    TwoLevelRecord record;
    // Node p<k> has k % 4 children.
    for (int p = 0; p < 37; ++p)
        for (int c = 0; c < std::max(1, p % 4); ++c) {
            snprintf(record.first, 16, "p%d", p);
            snprintf(record.second, 16, "c%d", p % 4 ? c : 0);
            tree.Add(&record.record);
        }
    AuxTreeModel model;
    model.Show(&tree);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    // The places of the rows as they should be.
    auto expected = [&] {
        std::vector<std::pair<int32_t, int32_t>> rows;
        for (int32_t node = 0; node < model.Nodes(); ++node) {
            rows.emplace_back(node, -1);
            for (int32_t child = 0; model.IsExpanded(node) && child < model.Children(node); ++child)
                rows.emplace_back(node, child);
        }
        return rows;
    };
    // node expanded or collapsed (-1: every node, a reset); the signals
    // of inserted and removed rows so far.
    const struct { int32_t node; bool expand; int inserted, removed; } steps[] = {
        {3, true, 1, 0}, {36, true, 2, 0}, {2, true, 3, 0}, {3, false, 3, 1}, {2, true, 3, 1},
        {0, true, 4, 1}, {-1, true, 4, 1}, {5, false, 4, 2}, {-1, false, 4, 2}, {35, true, 5, 2},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(std::to_string(step.node) + (step.expand ? "+" : "-"));
        if (step.node < 0)
            model.SetAllExpanded(step.expand);
        else
            model.SetExpanded(step.node, step.expand);
        EXPECT_EQ(inserted.count(), step.inserted);
        EXPECT_EQ(removed.count(), step.removed);
        const auto rows = expected();
        ASSERT_EQ(model.rowCount(), int(rows.size()));
        for (int row = 0; row < model.rowCount(); ++row) {
            const QModelIndex index = model.index(row, 0);
            ASSERT_EQ(AuxTreeModel::Place(index), rows[size_t(row)]) << row;
            ASSERT_EQ(model.IndexOf(rows[size_t(row)].first, rows[size_t(row)].second), index) << row;
        }
    }
    EXPECT_FALSE(model.index(model.rowCount(), 0).isValid());
    EXPECT_FALSE(model.IndexOf(37, -1).isValid());
    EXPECT_FALSE(model.IndexOf(3, 0).isValid());
}

TEST(AuxTreeModel, ATreeChangedSinceItWasShownIsNotRead)
{
    KxAuxTree tree(FIELD_TNAME, FIELD_KXNAME);
    Fill(tree, 3, 2);
    AuxTreeModel model;
    model.Show(&tree);
    model.SetExpanded(2, true);
    const QModelIndex child = model.IndexOf(2, 1, 1);
    ASSERT_EQ(child.data().toString(), "c1");
    // shown: the tree shown again afterwards; stale: a tree is shown and
    // has changed since; rows: as last announced.
    const struct { const char* change; std::function<void()> run; bool shown, stale; int rows; } cases[] = {
        {"a node added", [&] { Fill(tree, 4, 1); }, false, true, 5},
        {"shown again", [&] { model.Show(&tree); }, true, false, 4},
        {"rebuilt", [&] { tree.Reset(FIELD_TNAME, FIELD_KXNAME); }, false, true, 4},
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
