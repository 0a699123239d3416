// The order and visibility of a format's fields in the table view: one row
// per field, shown (checked) fields first in their column order. Checked
// rows move only among each other.
#pragma once

#include <QDialog>

#include "kxviewer/importformat.h"

class QTableWidget;
class QTableWidgetItem;

class FieldSequenceDialog : public QDialog {
    Q_OBJECT
public:
    FieldSequenceDialog(const ImportFormat& format, QWidget* parent);

    // For each field (by row of the format), its new view position; -1 for
    // a hidden one.
    std::vector<int32_t> Positions() const;
    QTableWidget* Table() const { return table_; }

public slots:
    void onSequenceItemChanged(QTableWidgetItem* item);
    void SequenceMoveFieldUp();
    void SequenceMoveFieldDown();
    void SequenceMoveFieldTop();
    void SequenceMoveFieldBottom();
    void SequenceOkEdit();

private:
    void AddRow(int32_t field, bool shown);
    bool Shown(int row) const;
    void SwapRows(int a, int b);
    // Moves row from to row to, one place at a time.
    void MoveRow(int from, int to);
    int CheckedCount() const;

    const ImportFormat& format_;
    QTableWidget* table_;
};
