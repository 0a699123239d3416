#include "kxviewer/mainwindowtabshell.h"

#include <QHeaderView>

#include "kxviewer/actiontable.h"
#include "kxviewer/graph/tabgraph.h"
#include "kxviewer/mainwindow.h"
#include "kxviewer/scriptspanel.h"
#include "kxviewer/table/tabbase.h"
#include "kxviewer/windowdrop.h"

const ComActionBinding* MainWindowTabShell::MainBindings() { return MainWindowBindings; }

void MainWindowTabShell::AddRecentFile(const QString& path)
{
    if (MainWindow* window = MainWindow::Instance())
        window->CheckFileAndAddRecent(path);
}

void MainWindowTabShell::ReturnScriptsPanel(TabBase* tab)
{
    tab->ScriptsPanelHosted = 0;
    if (MainWindow* window = MainWindow::Instance())
        window->Scripts()->TakeBack();
}

void MainWindowTabShell::LastDocumentClosed()
{
    // The last document may be the one showing the panel: it comes back
    // before the document's widgets go.
    if (MainWindow* window = MainWindow::Instance()) {
        window->Scripts()->TakeBack();
        window->Scripts()->EnsureBuilt();
    }
}

QDockWidget* MainWindowTabShell::ScriptsDock()
{
    MainWindow* window = MainWindow::Instance();
    return window ? window->Scripts()->Dock() : nullptr;
}

TabBase* MainWindowTabShell::OpenGraph(TabTable& owner) { return TabGraph::Open(owner); }

bool MainWindowTabShell::StartColumnDrag(const QPoint& pos, QHeaderView* header, TabTableView* view)
{
    WindowDrop* drop = WindowDrop::Of(header);
    return drop != nullptr && drop->StartColumnDrag(pos, header, view);
}
