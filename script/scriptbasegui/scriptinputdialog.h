// The dialog of gui.input: one labelled editor per requested value, in a
// scroll area above "Ok" and "Cancel". Ok stores the edited values in the
// items and accepts; the caller writes them into the script's variables.
#pragma once

#include <cstdint>
#include <vector>

#include <QDialog>
#include <QString>
#include <QStringList>

class QComboBox;
class QLineEdit;

class ScriptInputDialog : public QDialog {
    Q_OBJECT
public:
    enum Kind : int32_t { ROW_INTEGER = 0, ROW_DOUBLE = 1, ROW_TEXT = 2, ROW_CHOICE = 3 };

    struct Item {
        Kind kind = ROW_INTEGER;
        QString label;
        // Integer rows: the value; choice rows: the selected index (-1 none).
        int64_t integer = 0;
        double number = 0.0;
        // Text rows: the text; after Ok, choice rows: the chosen text.
        QString text;
        QStringList choices;
        QLineEdit* edit = nullptr;
        QComboBox* combo = nullptr;
        // The text the double row started with: while it stands, the exact
        // value is kept rather than its six-digit rounding.
        QString shown;
    };

    ScriptInputDialog(std::vector<Item>& items, QWidget* parent);

    // Widths in pixels: the widest label, and the widest editor a row needs.
    int LabelColumn() const { return labelColumn_; }
    int EditorColumn() const { return editorColumn_; }

private slots:
    void OkPressed();

private:
    QWidget* MakeRow(Item& item);

    std::vector<Item>& items_;
    int labelColumn_ = 0;
    int editorColumn_ = 0;
};
