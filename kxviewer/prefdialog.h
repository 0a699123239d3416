// The preferences dialog: a page list beside the six pages, and Ok, Cancel
// and Apply. Apply copies every page into the preference values, makes them
// take effect in the open windows and saves the preference file. Apply is
// enabled by the first mouse or key press on a page control.
#pragma once

#include <QDialog>

class PrefPageColors;
class PrefPageColumns;
class PrefPageConnect;
class PrefPageFonts;
class PrefPageGeneral;
class PrefPageTable;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QStackedWidget;

class PrefDialog : public QDialog {
    Q_OBJECT

public:
    explicit PrefDialog(QWidget* parent);

    bool eventFilter(QObject* object, QEvent* event) override;

    PrefPageGeneral* General;
    PrefPageTable* Table;
    PrefPageColumns* Columns;
    PrefPageColors* Colors;
    PrefPageConnect* Connect;
    PrefPageFonts* Fonts;
    QPushButton* OkButton;
    QPushButton* CancelButton;
    QPushButton* ApplyButton;
    QListWidget* Pages;
    QStackedWidget* Stack;

public slots:
    void changePage(QListWidgetItem* current, QListWidgetItem* previous);
    void Ok();
    void Apply();
    void PageChanged(int index);

private:
    void ApplyToWindows();
    void ApplyDebugLevel();
    void ApplySystemPanels();
    void ApplyTablePage();
    void ApplyConnection();
};
