#include "kxviewer/table/tabtablemodel.h"

#include <algorithm>

#include "kxlib/kxdrecord.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/table/tabtable.h"

TabTableModel::TabTableModel(TabTable* tab, KxTable* table, QObject* parent)
    : QAbstractTableModel(parent), tab_(tab), table_(table)
{
}

int TabTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : table_->RowCount();
}

int TabTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : tab_->Prefs.columnCount;
}

int32_t TabTableModel::FieldOf(int column) const
{
    if (column < 0 || column >= tab_->Prefs.columnCount || column >= FIELD_Nums)
        return -1;
    return tab_->Prefs.columns[column];
}

QVariant TabTableModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid())
        return QVariant();
    const int32_t field = FieldOf(index.column());
    KxdRecord* record = table_->FindRecord(index.row());
    if (!record || field < 0 || field >= FIELD_Nums)
        return QVariant();
    return QString::fromLocal8Bit(record->Text(field));
}

QVariant TabTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal) {
        if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
            return QVariant();
        return QString::fromLatin1(FieldTitle(FieldOf(section)));
    }
    if (role == Qt::DisplayRole)
        return QString("%1").arg(section + 1);
    if (role == Qt::ToolTipRole) {
        KxdRecord* record = table_->FindRecord(section);
        if (record && record->errorKind != KXERR_NoErrors)
            return QString("Error: %1").arg(QString::fromLatin1(KxdErrorKindName(int32_t(record->errorKind))));
    }
    return QVariant();
}

void TabTableModel::BeginRemoveColumn(int column)
{
    beginRemoveColumns(QModelIndex(), column, column);
}

void TabTableModel::EndRemoveColumn()
{
    endRemoveColumns();
}

void TabTableModel::ColumnsSwapped(int a, int b)
{
    const int first = std::min(a, b);
    const int last = std::max(a, b);
    emit headerDataChanged(Qt::Horizontal, first, last);
    if (rowCount() > 0)
        emit dataChanged(index(0, first), index(rowCount() - 1, last));
}
