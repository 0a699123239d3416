// The "Basic" page of the find dialog: an expression editor with a switch
// between plain text and expression, the table's field keys and the
// operators as buttons that write into the editor, and a help text.
#pragma once

#include <QWidget>

class FindDialog;
class QCheckBox;
class QTextEdit;

class FindDialogTabExpression : public QWidget {
    Q_OBJECT

public:
    // One field button per column of the current table tab (none without).
    FindDialogTabExpression(FindDialog* dialog, QWidget* parent);

    QTextEdit* Editor = nullptr;
    QCheckBox* Complex = nullptr;

    // The help under the buttons. A line that starts with "+ " is an example
    // expression, with a note after four blanks where it needs one.
    static const char HelpText[];

public slots:
    // Clears the editor and unchecks "Complex expression".
    void ClearDataConnect();
    void PressedFieldButton();
    void ComplexStateChanged(int state);
};
