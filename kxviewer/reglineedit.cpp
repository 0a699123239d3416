#include "kxviewer/reglineedit.h"

#include <QPushButton>
#include <QTableWidget>

RegLineEdit::RegLineEdit(QPushButton* menuButton, QTableWidget* table, QWidget* parent)
    : QLineEdit(parent), menuButton_(menuButton), table_(table)
{
}

void RegLineEdit::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    const int row = property("Index").toInt();
    for (int r = 0; r < table_->rowCount(); ++r)
        if (r != row)
            for (RegLineEdit* other : table_->cellWidget(r, 2)->findChildren<RegLineEdit*>())
                other->MenuButton()->hide();
    menuButton_->show();
    table_->setCurrentCell(row, 1);
}

void RegLineEdit::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    menuButton_->hide();
}
