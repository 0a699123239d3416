#include "kxviewer/mainwindowtabshell.h"

#include "kxviewer/actiontable.h"
#include "kxviewer/graph/tabgraph.h"
#include "kxviewer/mainwindow.h"

const ComActionBinding* MainWindowTabShell::MainBindings() { return MainWindowBindings; }

void MainWindowTabShell::AddRecentFile(const QString& path)
{
    if (MainWindow* window = MainWindow::Instance())
        window->CheckFileAndAddRecent(path);
}

TabBase* MainWindowTabShell::OpenGraph(TabTable& owner) { return TabGraph::Open(owner); }
