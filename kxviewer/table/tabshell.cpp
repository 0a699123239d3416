#include "kxviewer/table/tabshell.h"

#include "kxviewer/shellservices.h"

namespace {
ComActionBinding NoBindings[] = {{-1, nullptr, 0}};

TabShell DefaultShell;
TabShell* Installed = nullptr;
} // namespace

const ComActionBinding* TabShell::MainBindings()
{
    return NoBindings;
}

void TabShell::AddRecentFile(const QString&) {}

void TabShell::ReturnScriptsPanel(TabBase*) {}

QDockWidget* TabShell::ScriptsDock()
{
    return nullptr;
}

void TabShell::LastDocumentClosed() {}

TabBase* TabShell::OpenGraph(TabTable&)
{
    KxvShell().Information(QStringLiteral("The graph view is not available here"), false);
    return nullptr;
}

bool TabShell::StartColumnDrag(const QPoint&, QHeaderView*, TabTableView*)
{
    return false;
}

TabShell& KxvTabShell()
{
    return Installed ? *Installed : DefaultShell;
}

TabShell* KxvSetTabShell(TabShell* shell)
{
    TabShell* previous = Installed;
    Installed = shell;
    return previous;
}
