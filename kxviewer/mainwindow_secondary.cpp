// The main window's secondary windows: the class it builds and the command
// that detaches the current dock into one.
#include "kxviewer/kxviewersecondary.h"
#include "kxviewer/mainwindow.h"
#include "tearoffwidget/tearofftabdock.h"

QMainWindow* MainWindow::CreateSecondary() { return new KxViewerSecondary(this); }

void MainWindow::DockDetach()
{
    if (CurrentDock != nullptr)
        AddSecondaryTearOffDock(Qt::TopDockWidgetArea, CurrentDock, CurrentDock->Mode);
}
