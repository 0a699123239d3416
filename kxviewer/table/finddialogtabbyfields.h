// The "By Fields" page of the find dialog: one row per column of the table
// tab current when it was built (a switch, an operator and a value), turned
// into an expression and filled back from one.
#pragma once

#include <cstdint>
#include <vector>

#include <QString>
#include <QWidget>

class FindDialog;
class KxSearchExpression;
class QCheckBox;
class QComboBox;
class QLineEdit;
struct KxdRecord;

class FindDialogTabByFields : public QWidget {
    Q_OBJECT

public:
    struct Row {
        int32_t field;
        QCheckBox* check;
        QComboBox* op;
        QLineEdit* value;
    };

    FindDialogTabByFields(FindDialog* dialog, QWidget* parent);

    // The switched-on rows with a value as one expression joined by the
    // dialog's AND or OR; empty when there is none. *ok false (the user
    // told) when a value cannot be written in the language.
    QString MakeFindStringFromFileds(bool* ok = nullptr);
    // Mode 1 counts the checked rows; any other mode first checks exactly
    // the rows with a value. Then "All/None" shows all, some or none (mode
    // 3 leaves it alone when none).
    void UpdateAllNone(int32_t mode);
    // The rows from a parsed expression's per-field predicates; false (rows
    // untouched) unless its form is one the rows can hold.
    bool FillFromExpression(const KxSearchExpression& expression);
    // Every row from the record's value of its field.
    void FillFromRecord(KxdRecord* record);

    const std::vector<Row>& Rows() const { return rows_; }
    QCheckBox* AllNone = nullptr;
    QCheckBox* EnableHidden = nullptr;

public slots:
    void SearchTextEdited(const QString& text);
    void ChangeSomeColors();
    void ClearDataConnect();
    void SelectAllButtonConnect(int state);
    void TextCheckBoxChangedConnect(int state);
    void SearchTextEditFinished();
    void EnableAllFieldsConnect(int mode);

private:
    // The row whose line edit sent the signal; null for another sender.
    Row* RowOfSender();
    void ResetRow(Row& row);

    FindDialog* dialog_;
    std::vector<Row> rows_;
};
