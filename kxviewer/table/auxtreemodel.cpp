#include "kxviewer/table/auxtreemodel.h"

#include <QBrush>

#include "kxviewer/prefdata.h"

namespace {

constexpr int COLUMNS = 2;
constexpr int TEXT_COLUMN = 1;
// Column 0 of a node's row: blanks on the node's colour.
const QString NodeBlanks = QStringLiteral("   ");

static_assert(sizeof(quintptr) >= 8, "an index's internal id holds a node and a child number");

// An index's internal id: the node number above, the child number + 1
// below (0 on the node's own row), so that a place survives the rows
// before it coming and going.
quintptr PlaceId(int32_t node, int32_t child) { return (quintptr(uint32_t(node)) << 32) | quintptr(uint32_t(child + 1)); }

} // namespace

AuxTreeModel::AuxTreeModel(QObject* parent) : QAbstractItemModel(parent) {}

void AuxTreeModel::Show(const KxAuxTree* tree)
{
    beginResetModel();
    tree_ = tree;
    mark_ = tree ? tree->Marked() : KxAuxTree::Mark();
    counts_.clear();
    if (tree) {
        counts_.reserve(size_t(tree->Count()));
        const bool twoLevels = tree->Level2() >= 0;
        for (const KxAuxNode1* node = tree->First(); node; node = node->next)
            counts_.push_back(twoLevels ? node->count : 0);
    }
    expanded_.assign(counts_.size(), 0);
    expandedCount_ = 0;
    SumRows();
    children_.clear();
    listed_ = 0;
    endResetModel();
}

bool AuxTreeModel::Current() const { return tree_ && tree_->Marked() == mark_; }

std::pair<int32_t, int32_t> AuxTreeModel::Place(const QModelIndex& index)
{
    if (!index.isValid())
        return {-1, -1};
    const quintptr id = index.internalId();
    return {int32_t(uint32_t(id >> 32)), int32_t(uint32_t(id & 0xFFFFFFFFu)) - 1};
}

void AuxTreeModel::SumRows()
{
    lastNode_ = {-1, 0};
    const size_t count = counts_.size();
    sums_.assign(count + 1, 0);
    rows_ = 0;
    for (size_t i = 1; i <= count; ++i) {
        const int32_t rows = RowsOf(int32_t(i - 1));
        rows_ += rows;
        sums_[i] += rows;
        const size_t up = i + (i & (~i + 1));
        if (up <= count)
            sums_[up] += sums_[i];
    }
}

void AuxTreeModel::AddRows(int32_t node, int32_t delta)
{
    lastNode_ = {-1, 0};
    for (size_t i = size_t(node) + 1; i < sums_.size(); i += i & (~i + 1))
        sums_[i] += delta;
    rows_ += delta;
}

int32_t AuxTreeModel::RowOf(int32_t node) const
{
    int32_t row = 0;
    for (size_t i = size_t(node); i > 0; i -= i & (~i + 1))
        row += sums_[i];
    return row;
}

std::pair<int32_t, int32_t> AuxTreeModel::NodeAt(int32_t row) const
{
    auto [node, first] = lastNode_;
    if (node >= 0 && row >= first) {
        if (row < first + RowsOf(node))
            return lastNode_;
        if (row == first + RowsOf(node) && size_t(node) + 1 < counts_.size())
            return lastNode_ = {node + 1, row};
    }
    size_t step = 1;
    while (step * 2 < sums_.size())
        step *= 2;
    size_t found = 0;
    int32_t rest = row;
    for (; step > 0; step /= 2)
        if (found + step < sums_.size() && sums_[found + step] <= rest) {
            found += step;
            rest -= sums_[found];
        }
    return lastNode_ = {int32_t(found), row - rest};
}

int32_t AuxTreeModel::Children(int32_t node) const
{
    return node >= 0 && size_t(node) < counts_.size() ? counts_[size_t(node)] : 0;
}

bool AuxTreeModel::IsExpanded(int32_t node) const
{
    return node >= 0 && size_t(node) < expanded_.size() && expanded_[size_t(node)] != 0;
}

void AuxTreeModel::SetExpanded(int32_t node, bool expanded)
{
    const int32_t children = Children(node);
    if (children == 0 || IsExpanded(node) == expanded)
        return;
    const int32_t first = RowOf(node) + 1;
    if (expanded)
        beginInsertRows(QModelIndex(), first, first + children - 1);
    else
        beginRemoveRows(QModelIndex(), first, first + children - 1);
    expanded_[size_t(node)] = expanded ? 1 : 0;
    expandedCount_ += expanded ? 1 : -1;
    AddRows(node, expanded ? children : -children);
    if (expanded)
        endInsertRows();
    else
        endRemoveRows();
}

void AuxTreeModel::SetAllExpanded(bool expanded)
{
    beginResetModel();
    expandedCount_ = 0;
    for (size_t node = 0; node < counts_.size(); ++node) {
        expanded_[node] = expanded && counts_[node] > 0 ? 1 : 0;
        expandedCount_ += expanded_[node];
    }
    SumRows();
    endResetModel();
}

void AuxTreeModel::ExpandOnly(const std::vector<int32_t>& nodes)
{
    beginResetModel();
    expanded_.assign(counts_.size(), 0);
    expandedCount_ = 0;
    for (int32_t node : nodes)
        if (Children(node) > 0 && !expanded_[size_t(node)]) {
            expanded_[size_t(node)] = 1;
            ++expandedCount_;
        }
    SumRows();
    endResetModel();
}

QModelIndex AuxTreeModel::IndexOf(int32_t node, int32_t child, int column) const
{
    if (!Current() || node < 0 || size_t(node) >= counts_.size() || column < 0 || column >= COLUMNS)
        return QModelIndex();
    if (child < 0)
        return createIndex(RowOf(node), column, PlaceId(node, -1));
    if (!IsExpanded(node) || child >= counts_[size_t(node)])
        return QModelIndex();
    return createIndex(RowOf(node) + 1 + child, column, PlaceId(node, child));
}

QModelIndex AuxTreeModel::NodeOf(const QModelIndex& index) const
{
    return IndexOf(Place(index).first, -1, index.column());
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
    if (parent.isValid() || row < 0 || row >= rows_ || column < 0 || column >= COLUMNS)
        return QModelIndex();
    const auto [node, first] = NodeAt(row);
    return createIndex(row, column, PlaceId(node, row - first - 1));
}

QModelIndex AuxTreeModel::parent(const QModelIndex&) const { return QModelIndex(); }

int AuxTreeModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int AuxTreeModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : COLUMNS; }

bool AuxTreeModel::hasChildren(const QModelIndex& parent) const { return !parent.isValid() && rows_ > 0; }

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
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
}
