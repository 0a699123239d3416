// "Choose clear": which of the chosen Outline lines' selection ranges and
// bookmarks to clear, when both kinds were chosen.
#pragma once

#include <QDialog>
#include <QPointer>

class QCheckBox;
class TabBase;

class ClearOutlineDialog : public QDialog {
    Q_OBJECT

public:
    ClearOutlineDialog(TabBase& tab, QWidget* parent);

public slots:
    // Clears the checked kinds of the tab's collected lines; of a tab
    // closed while the dialog was open, nothing.
    void OkPressed();

private:
    QPointer<TabBase> tab_;
    QCheckBox* selection_;
    QCheckBox* bookmark_;
};
