#include "kxviewer/mainwindowtabshell.h"

#include <QHeaderView>

#include "kxviewer/actiontable.h"
#include "kxviewer/mainwindow.h"
#include "kxviewer/windowdrop.h"

const ComActionBinding* MainWindowTabShell::MainBindings() { return MainWindowBindings; }

void MainWindowTabShell::AddRecentFile(const QString& path)
{
    if (MainWindow* window = MainWindow::Instance())
        window->CheckFileAndAddRecent(path);
}

bool MainWindowTabShell::StartColumnDrag(const QPoint& pos, QHeaderView* header, TabTableView* view)
{
    WindowDrop* drop = WindowDrop::Of(header);
    return drop != nullptr && drop->StartColumnDrag(pos, header, view);
}
