#include "kxviewer/table/auxtreemodel.h"

#include <QBrush>

#include "kxviewer/prefdata.h"

namespace {

constexpr int COLUMNS = 2;
constexpr int TEXT_COLUMN = 1;
// Column 0 of a top row: blanks on the node's colour.
const QString NodeBlanks = QStringLiteral("   ");

// An index's internal id: 0 on a top row, the parent's row + 1 on a child,
// so that no node is read to find a parent.
quintptr ChildId(int32_t node) { return quintptr(node) + 1; }

} // namespace

AuxTreeModel::AuxTreeModel(QObject* parent) : QAbstractItemModel(parent) {}

void AuxTreeModel::Show(const KxAuxTree* tree)
{
    beginResetModel();
    tree_ = tree;
    mark_ = tree ? tree->Marked() : KxAuxTree::Mark();
    children_.clear();
    listed_ = 0;
    endResetModel();
}

bool AuxTreeModel::Current() const { return tree_ && tree_->Marked() == mark_; }

std::pair<int32_t, int32_t> AuxTreeModel::Place(const QModelIndex& index)
{
    if (!index.isValid())
        return {-1, -1};
    if (index.internalId() == 0)
        return {index.row(), -1};
    return {int32_t(index.internalId() - 1), index.row()};
}

QModelIndex AuxTreeModel::IndexOf(int32_t node, int32_t child, int column) const
{
    const QModelIndex top = index(node, 0);
    return child < 0 ? top.siblingAtColumn(column) : index(child, column, top);
}

QString AuxTreeModel::Text(const QModelIndex& index) const
{
    return data(index.siblingAtColumn(TEXT_COLUMN)).toString();
}

const KxAuxNode2* AuxTreeModel::ChildAt(int32_t node, int32_t child) const
{
    auto listed = children_.find(node);
    if (listed == children_.end()) {
        const KxAuxNode1* parent = tree_->Node(node);
        if (!parent)
            return nullptr;
        std::vector<const KxAuxNode2*> list;
        list.reserve(size_t(parent->count));
        for (const KxAuxNode2* each = parent->first; each; each = each->next)
            list.push_back(each);
        listed_ += list.size();
        listed = children_.emplace(node, std::move(list)).first;
    }
    return child >= 0 && size_t(child) < listed->second.size() ? listed->second[size_t(child)] : nullptr;
}

QModelIndex AuxTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (row < 0 || column < 0 || column >= COLUMNS || row >= rowCount(parent))
        return QModelIndex();
    return createIndex(row, column, parent.isValid() ? ChildId(parent.row()) : 0);
}

QModelIndex AuxTreeModel::parent(const QModelIndex& child) const
{
    if (!child.isValid() || child.internalId() == 0)
        return QModelIndex();
    return createIndex(int(child.internalId() - 1), 0, quintptr(0));
}

int AuxTreeModel::rowCount(const QModelIndex& parent) const
{
    if (!Current())
        return 0;
    if (!parent.isValid())
        return tree_->Count();
    // Only a top row's first column has children, as in a tree widget.
    if (parent.internalId() != 0 || parent.column() != 0 || tree_->Level2() < 0)
        return 0;
    const KxAuxNode1* node = tree_->Node(parent.row());
    return node ? node->count : 0;
}

int AuxTreeModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() && parent.column() != 0 ? 0 : COLUMNS;
}

bool AuxTreeModel::hasChildren(const QModelIndex& parent) const { return rowCount(parent) > 0; }

QVariant AuxTreeModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !Current())
        return QVariant();
    const auto [node, child] = Place(index);
    const bool text = index.column() == TEXT_COLUMN && (role == Qt::DisplayRole || role == Qt::EditRole);
    if (child >= 0) {
        const KxAuxNode2* entry = text ? ChildAt(node, child) : nullptr;
        return entry ? QVariant(QString::fromLocal8Bit(entry->text)) : QVariant();
    }
    const KxAuxNode1* entry = tree_->Node(node);
    if (!entry)
        return QVariant();
    if (text)
        return QString::fromLocal8Bit(entry->text);
    if (index.column() != 0)
        return QVariant();
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return NodeBlanks;
    if (role == Qt::BackgroundRole)
        return QBrush(PrefGlobal::GetColor(entry->index));
    return QVariant();
}

Qt::ItemFlags AuxTreeModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    // Saves the view from asking each leaf for children when it expands all.
    if (index.internalId() != 0 || !tree_ || tree_->Level2() < 0)
        flags |= Qt::ItemNeverHasChildren;
    return flags;
}
