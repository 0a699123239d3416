#include "kxviewer/mainwindowtabshell.h"

#include "kxviewer/actiontable.h"
#include "kxviewer/mainwindow.h"

const ComActionBinding* MainWindowTabShell::MainBindings() { return MainWindowBindings; }

void MainWindowTabShell::AddRecentFile(const QString& path)
{
    if (MainWindow* window = MainWindow::Instance())
        window->CheckFileAndAddRecent(path);
}
