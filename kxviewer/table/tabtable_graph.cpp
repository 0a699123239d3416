// The table tab's side of its graph document: opening it (once), keeping it
// in step, and closing it with the tab. The graph lives in a library above
// this one: it is made through the shell's hook and reached through the
// document operations.

#include <QPointer>

#include "kxlib/kxdrecord.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/shellservices.h"
#include "kxviewer/table/tabshell.h"
#include "kxviewer/table/tabtable.h"
#include "tearoffwidget/tearoffmain.h"
#include "tearoffwidget/tearofftabwidget.h"

namespace {

bool AllTimesZero(KxTable& table)
{
    for (int32_t row = 0; row < table.RowCount(); ++row)
        if (table.GetRecord(row)->Int64(FIELD_TIME) != 0)
            return false;
    return true;
}

} // namespace

void TabTable::CreateGraph()
{
    if (Table->RowCount() == 0)
        return;
    if (GraphTab) {
        // One graph per table: a second request shows the open one.
        if (TearOffMain::Me)
            TearOffMain::Me->SetTabActive(GraphTab, false);
        return;
    }
    // Its graph is being built, under its progress display.
    if (GraphState == GRAPH_OPEN)
        return;
    if (!Table->TimeNormalised()) {
        KxvShell().Information(QStringLiteral("Only tables with relative time may be shown on Graph"), false);
        return;
    }
    if (AllTimesZero(*Table)) {
        KxvShell().Information(QStringLiteral("All TIME values equals zero"), false);
        return;
    }
    // The build turns the event loop, in which this tab may be closed.
    const QPointer<TabBase> self(this);
    KxvTabShell().OpenGraph(*this);
    if (StillOpen(self))
        UpdateActions();
}

TabBase* TabTable::TakeGraph()
{
    TabBase* graph = GraphTab;
    if (!graph)
        return nullptr;
    // The links go first: nothing of the closing graph may reach this tab.
    GraphTab = nullptr;
    GraphState = GRAPH_NONE;
    graph->DetachGraph();
    return graph;
}

void TabTable::CloseGraph()
{
    TabBase* graph = TakeGraph();
    if (!graph)
        return;
    if (graph->TabWidget && graph->TabWidget->indexOf(graph) >= 0)
        graph->Close();
    else
        graph->deleteLater();
    KxvShell().ShowStatus(QStringLiteral("Graph was closed"));
    UpdateActions();
}

void TabTable::TabRemoved()
{
    TabBase::TabRemoved();
    CloseGraph();
}

void TabTable::SyncGraphToCurrent()
{
    if (GraphTab)
        GraphTab->SyncGraphToCurrent();
}

void TabTable::RepaintGraph()
{
    if (GraphTab)
        GraphTab->RepaintGraph();
}

void TabTable::UpdateGraphInformer()
{
    if (GraphTab)
        GraphTab->UpdateInformer();
}

void TabTable::MarkThreadsOnGraph(const std::vector<std::pair<int32_t, int32_t>>& items)
{
    if (GraphTab)
        GraphTab->MarkThreadsOnGraph(items);
}
