// The item model of a table tab: rows are the table's visible rows, columns
// the tab's column sequence. Cells hand out the texts that the records
// already hold; nothing is formatted or copied per row.
#pragma once

#include <QAbstractTableModel>

class KxTable;
class TabTable;

class TabTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    TabTableModel(TabTable* tab, KxTable* table, QObject* parent);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The field a column shows: -1 past the column sequence.
    int32_t FieldOf(int column) const;

    // Column edits of the view, announced around the change of the sequence.
    void BeginRemoveColumn(int column);
    void EndRemoveColumn();
    // Two columns traded their fields.
    void ColumnsSwapped(int a, int b);

private:
    TabTable* tab_;
    KxTable* table_;
};
