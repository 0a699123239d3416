// The title bar of a document's side-pane docks and of the Scripts panel:
// the title and up to three flat buttons (sync, menu, close).
#pragma once

#include <QWidget>

class QDockWidget;
class QLabel;
class QPushButton;

class DockTitlebar : public QWidget {
    Q_OBJECT

public:
    // closable: the bar has the menu and close buttons; else the sync and
    // menu buttons. owner is a TabBase or the main window, whose
    // onOnOffSyncToCurRow() and onTabMenuButton() the buttons call.
    DockTitlebar(QDockWidget* dock, QWidget* owner, bool closable);

    QDockWidget* Dock;
    QWidget* Owner;
    QLabel* Title = nullptr;
    // Null where the bar has no such button.
    QPushButton* SyncButton = nullptr;
    QPushButton* MenuButton = nullptr;
    QPushButton* CloseButton = nullptr;

public slots:
    void onTitleClose();
};
