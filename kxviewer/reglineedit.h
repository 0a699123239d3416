// The expression line of one field row of the import-format editor: it
// shows its row's "..." button only while it has the focus, and makes its
// row the current one.
#pragma once

#include <QLineEdit>

class QPushButton;
class QTableWidget;

class RegLineEdit : public QLineEdit {
    Q_OBJECT
public:
    RegLineEdit(QPushButton* menuButton, QTableWidget* table, QWidget* parent);

    QPushButton* MenuButton() const { return menuButton_; }

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QPushButton* menuButton_;
    QTableWidget* table_;
};
