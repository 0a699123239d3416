// The aux tree of a table as the rows of its pane: one row per first-level
// node and, below an expanded node, one per second-level node of it, two
// columns (the node's colour, its text). The model keeps which nodes are
// expanded, so that the view lays out a flat list of rows of one height and
// never keeps a state per item: expanding or collapsing every node of a
// million costs a pass over a bit per node. Indexes name nodes by their
// places; a row's text is read from the tree's own node when it is painted,
// and the children of a node are listed the first time one of them is read.
// The node counts are taken when the tree is shown, so that the rows stay as
// announced; once the tree has changed, rows read as empty until it is shown
// again, since the nodes they named may be gone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

#include <QAbstractItemModel>

#include "kxlib/kxauxtree.h"

class AuxTreeModel : public QAbstractItemModel {
    Q_OBJECT

public:
    explicit AuxTreeModel(QObject* parent = nullptr);

    // Shows tree (not owned; null: nothing) as it is now, every node
    // collapsed; a reset for the views.
    void Show(const KxAuxTree* tree);
    // The tree is as it was shown.
    bool Current() const;
    // A tree is shown and has changed since.
    bool Stale() const { return tree_ && !Current(); }
    // The row of first-level node node or, with child >= 0, of its child;
    // invalid outside the tree, for a child of a collapsed node, or while
    // the tree is not current.
    QModelIndex IndexOf(int32_t node, int32_t child, int column = 0) const;
    // The node and child numbers of an index (child -1 on a node's row).
    static std::pair<int32_t, int32_t> Place(const QModelIndex& index);
    // The row of the node an index's row belongs to, in the same column.
    QModelIndex NodeOf(const QModelIndex& index) const;
    // The text of the node of an index's row, whichever its column.
    QString Text(const QModelIndex& index) const;
    // How many children the model has listed since it was shown.
    size_t ChildrenListed() const { return listed_; }
    // The number of first-level nodes shown.
    int32_t Nodes() const { return int32_t(counts_.size()); }
    // The children node had when the tree was shown.
    int32_t Children(int32_t node) const;
    bool IsExpanded(int32_t node) const;
    // Nodes expanded now.
    int32_t ExpandedCount() const { return expandedCount_; }
    // The node's children shown or hidden: rows inserted or removed.
    void SetExpanded(int32_t node, bool expanded);
    // Every node with children expanded, or every node collapsed: a reset.
    void SetAllExpanded(bool expanded);
    // The nodes nodes expanded, the others collapsed: a reset.
    void ExpandOnly(const std::vector<int32_t>& nodes);

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    const KxAuxNode2* ChildAt(int32_t node, int32_t child) const;
    // The rows node takes: its own and its children's while expanded.
    int32_t RowsOf(int32_t node) const { return 1 + (expanded_[size_t(node)] ? counts_[size_t(node)] : 0); }
    // The first row of node: the rows of the nodes before it.
    int32_t RowOf(int32_t node) const;
    // The node whose rows hold row, and the row it starts at.
    std::pair<int32_t, int32_t> NodeAt(int32_t row) const;
    void AddRows(int32_t node, int32_t delta);
    // The running sums of the rows of the nodes, laid out afresh.
    void SumRows();

    const KxAuxTree* tree_ = nullptr;
    KxAuxTree::Mark mark_;
    // Per node: its children when shown, and whether it is expanded.
    std::vector<int32_t> counts_;
    std::vector<uint8_t> expanded_;
    int32_t expandedCount_ = 0;
    // A Fenwick tree of the rows per node, so that a row's node and a node's
    // row are found in a few steps whatever is expanded.
    std::vector<int32_t> sums_;
    int32_t rows_ = 0;
    // The node last found by its row and its first row (node -1: none):
    // a view reads the rows in order, each mostly in the node of the last.
    mutable std::pair<int32_t, int32_t> lastNode_{-1, 0};
    // The children of each node read so far, in order.
    mutable std::unordered_map<int32_t, std::vector<const KxAuxNode2*>> children_;
    mutable size_t listed_ = 0;
};
