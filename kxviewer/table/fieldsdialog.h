// The column chooser: which record fields a table view shows, in which
// order, and the number format of each number field. It edits copies of
// the caller's column list and format list and writes them back on "Ok".
#pragma once

#include <cstdint>

#include <QDialog>

#include "kxlib/fields.h"

class KxTable;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;
struct PrefTabTable;

class FieldsDialog : public QDialog {
    Q_OBJECT

public:
    // Result bits.
    static constexpr int COLUMNS_CHANGED = 1;
    static constexpr int FORMATS_CHANGED = 2;

    // columns: the column count and sequence of a view preference block;
    // formats: FIELD_Nums format numbers. With a table the dialog names it
    // and offers the defaults.
    FieldsDialog(QWidget* parent, PrefTabTable* columns, int32_t* formats, KxTable* table);

    QTableWidget* Table() const { return table_; }

public slots:
    void PressedDown();
    void PressedTop();
    void PressedBottom();
    void PressedUp();
    void PressedLoadDefault();
    void PressedSetDefault();
    void PressedOk();
    void OnItemChanged(QTableWidgetItem* item);
    void OnItemClicked(QTableWidgetItem* item);
    void OnFormatChanged(int index);

private:
    struct Columns {
        int32_t count;
        int32_t fields[FIELD_Nums];
    };

    void Rebuild(int32_t currentField);
    void AddRow(int32_t field, bool checked);
    void EnableMoves(bool enabled);
    // Moves the current column to position to (clamped to the visible
    // columns); at an end only the focus goes back to the table.
    void MoveCurrent(int32_t to);

    PrefTabTable* callerColumns_;
    int32_t* callerFormats_;
    Columns columns_;
    int32_t formats_[FIELD_Nums];
    QTableWidget* table_;
    QPushButton* moves_[4];
};
