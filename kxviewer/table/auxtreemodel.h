// The aux tree of a table as the item model of its pane: the first-level
// nodes as top rows, each with its second-level nodes below, two columns
// (the node's colour, its text). Indexes name nodes by their places, so
// nothing is made up front: a row's text is read from the tree's own node
// when it is painted, and the children of a node are listed the first time
// one of them is read. Once the tree has changed, the model shows nothing
// until it is shown again, since the nodes it named may be gone.
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

    // Shows tree (not owned; null: nothing) as it is now, a reset for the
    // views.
    void Show(const KxAuxTree* tree);
    // The tree is as it was shown.
    bool Current() const;
    // A tree is shown and has changed since.
    bool Stale() const { return tree_ && !Current(); }
    // The row of first-level node node or, with child >= 0, of its child;
    // invalid outside the tree or while it is not current.
    QModelIndex IndexOf(int32_t node, int32_t child, int column = 0) const;
    // The node and child numbers of an index (child -1 on a top row).
    static std::pair<int32_t, int32_t> Place(const QModelIndex& index);
    // The text of the node of an index's row, whichever its column.
    QString Text(const QModelIndex& index) const;
    // How many children the model has listed since it was shown.
    size_t ChildrenListed() const { return listed_; }

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    const KxAuxNode2* ChildAt(int32_t node, int32_t child) const;

    const KxAuxTree* tree_ = nullptr;
    KxAuxTree::Mark mark_;
    // The children of each node read so far, in order.
    mutable std::unordered_map<int32_t, std::vector<const KxAuxNode2*>> children_;
    mutable size_t listed_ = 0;
};
