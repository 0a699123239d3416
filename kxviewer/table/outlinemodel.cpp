#include "kxviewer/table/outlinemodel.h"

#include <QBrush>

#include "kxlib/table/kxdisposer.h"
#include "kxviewer/table/outlineroles.h"

namespace {
// Lines beyond this many are freed on the disposer's thread.
constexpr size_t FREE_HERE_LINES = 10000;

void FreeLines(std::vector<OutlineLine>& lines)
{
    if (lines.size() > FREE_HERE_LINES)
        KxDisposer::Hand([gone = std::move(lines)] {});
}
} // namespace

OutlineModel::OutlineModel(QObject* parent) : QAbstractTableModel(parent) {}

// A log of many warnings has as many lines, each with its texts: a closed
// document or a rebuilt Outline does not wait for them to be freed.
OutlineModel::~OutlineModel() { FreeLines(lines_); }

void OutlineModel::SetLines(std::vector<OutlineLine> lines, const QString& header)
{
    beginResetModel();
    lines_.swap(lines);
    header_ = header;
    endResetModel();
    FreeLines(lines);
}

int OutlineModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(lines_.size());
}

int OutlineModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant OutlineModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= int(lines_.size()))
        return QVariant();
    const OutlineLine& line = lines_[size_t(index.row())];
    return index.column() == 0 ? NumberData(line, role) : TextData(line, role);
}

QVariant OutlineModel::NumberData(const OutlineLine& line, int role) const
{
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return QString::number(line.row + 1);
    case Qt::TextAlignmentRole:
        return int(Qt::AlignRight | Qt::AlignVCenter);
    case Qt::FontRole:
        return numberFont_;
    case OUTLINE_ROLE_FLAGS:
        return line.flags;
    case OUTLINE_ROLE_SEVERITY:
        return line.severity;
    default:
        return QVariant();
    }
}

QString OutlineModel::Text(const OutlineLine& line) const
{
    return line.textOfRow && rowText_ ? rowText_(line.row) : line.text;
}

QVariant OutlineModel::TextData(const OutlineLine& line, int role) const
{
    const bool highlight = (line.flags & OUTLINE_HIGHLIGHT) != 0;
    const bool more = (line.flags & OUTLINE_SECOND_HIGHLIGHT) != 0;
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return Text(line);
    case Qt::TextAlignmentRole:
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::BackgroundRole:
        return line.color.isValid() ? QVariant(QBrush(line.color)) : QVariant();
    case OUTLINE_ROLE_ROW:
        return line.row;
    case OUTLINE_ROLE_LAST_ROW:
        return line.last;
    case OUTLINE_ROLE_FLAGS:
        return line.flags;
    case OUTLINE_ROLE_HIGHLIGHT_START:
        return highlight ? QVariant(line.highlightStart) : QVariant();
    case OUTLINE_ROLE_HIGHLIGHT_END:
        return highlight ? QVariant(line.highlightEnd) : QVariant();
    case OUTLINE_ROLE_HIGHLIGHT_COLOR:
        return highlight ? QVariant(line.highlightColor) : QVariant();
    case OUTLINE_ROLE_MORE_START:
        return more ? QVariant(line.moreStart) : QVariant();
    case OUTLINE_ROLE_MORE_END:
        return more ? QVariant(line.moreEnd) : QVariant();
    case OUTLINE_ROLE_MORE_COLOR:
        return more ? QVariant(line.moreColor) : QVariant();
    default:
        return QVariant();
    }
}

QVariant OutlineModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && section == 1 && role == Qt::DisplayRole)
        return header_;
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags OutlineModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsSelectable | Qt::ItemIsEnabled : Qt::NoItemFlags;
}
