// Tabs marked with Ctrl and a click, for the commands that act on two
// documents.
#include "tearoffwidget/tabcoverwidget.h"
#include "tearoffwidget/tearoffmain.h"
#include "tearoffwidget/tearofftabbar.h"
#include "tearoffwidget/tearofftabdock.h"
#include "tearoffwidget/tearofftabwidget.h"
#include "tearoffwidget/tearofftrace.h"

void TearOffMain::MarkTab(TearOffTabBar* bar, int32_t index)
{
    TEAROFF_TRACE(ZmLib::KX_LEVEL_INFO, "TearOffMain::MarkTab");
    auto* dock = qobject_cast<TearOffTabDock*>(bar->TabWidget->widget(index));
    if (!dock)
        return;
    for (const DragSelectionEntry& entry : DragSelection)
        if (entry.dock == dock)
            return;
    const QRect tab = bar->tabRect(index);
    const QRect rect(mapFromGlobal(bar->mapToGlobal(tab.topLeft())), tab.size());
    auto* mark = new TabCoverWidget(bar, index, this);
    mark->setGeometry(rect);
    mark->show();
    mark->raise();
    activateWindow();
    DragSelection.append({dock, rect, mark});
}

void TearOffMain::UnmarkTab(TabCoverWidget* mark)
{
    TEAROFF_TRACE(ZmLib::KX_LEVEL_INFO, "TearOffMain::UnmarkTab");
    for (int i = 0; i < DragSelection.size(); ++i) {
        if (DragSelection[i].mark != mark)
            continue;
        DragSelection.removeAt(i);
        // The mark may be inside its own mouse handler.
        mark->hide();
        mark->deleteLater();
        return;
    }
}

void TearOffMain::ClearDragSelection()
{
    TEAROFF_TRACE(ZmLib::KX_LEVEL_INFO, "TearOffMain::ClearDragSelection");
    const QList<DragSelectionEntry> entries = DragSelection;
    DragSelection.clear();
    for (const DragSelectionEntry& entry : entries) {
        if (entry.mark) {
            entry.mark->hide();
            entry.mark->deleteLater();
        }
    }
}

QList<TearOffTabDock*> TearOffMain::MarkedDocks() const
{
    QList<TearOffTabDock*> docks;
    for (const DragSelectionEntry& entry : DragSelection)
        if (entry.dock && Docks.contains(entry.dock))
            docks.append(entry.dock);
    return docks;
}
