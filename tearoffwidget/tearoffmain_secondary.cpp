// Secondary windows seen from the main window: detaching a dock into a new
// one, and taking docks and groups back when one goes.
#include <QCoreApplication>

#include "tearoffwidget/screencoverwidget.h"
#include "tearoffwidget/tearoffdockwidget.h"
#include "tearoffwidget/tearoffmain.h"
#include "tearoffwidget/tearoffsecondary.h"
#include "tearoffwidget/tearofftabdock.h"
#include "tearoffwidget/tearofftabwidget.h"
#include "tearoffwidget/tearofftrace.h"

QMainWindow* TearOffMain::CreateSecondary()
{
    return new TearOffSecondary(this);
}

QMainWindow* TearOffMain::AddSecondaryTearOffDock(Qt::DockWidgetArea area, TearOffTabDock* dock, uint32_t mode)
{
    TEAROFF_TRACE(ZmLib::KX_LEVEL_INFO, "TearOffMain::AddSecondaryTearOffDock");
    if (DropFailedDock(dock, false))
        return nullptr;
    dock->Mode = mode;
    // A cover of its own: a drag may be using the shared one.
    ScreenCoverWidget cover;
    cover.MovedDocks = {dock};
    cover.MakeSecondaryWindow(area, false);
    QMainWindow* window = cover.NewWindow;
    window->show();
    window->installEventFilter(window);
    QCoreApplication::processEvents();
    // The main window may have lost its last document.
    CheckCentralWidgetVisibility();
    SetTabActive(dock, false);
    dock->SetTabDockFocus();
    return window;
}

void TearOffMain::DropEmptyGroup(TearOffTabWidget* tabs)
{
    if (!tabs || tabs->count() != 0 || !tabs->DockWidget)
        return;
    // A hidden panel comes back into the group it left: the group stays,
    // hidden, until then.
    for (const TearOffTabDock* dock : Docks) {
        if (dock->TabWidget == tabs) {
            tabs->DockWidget->hide();
            return;
        }
    }
    DockWidgets.removeAll(tabs->DockWidget);
    tabs->deleteLater();
    tabs->DockWidget->deleteLater();
    tabs->DockWidget = nullptr;
}

void TearOffMain::ChooseNextCurrent()
{
    for (int i = Docks.size() - 1; i >= 2; --i) {
        if (!Docks[i]->isHidden()) {
            SetTabActive(Docks[i], false);
            return;
        }
    }
    CurrentDock = nullptr;
}

void TearOffMain::KeepDocksOf(QMainWindow* host)
{
    TEAROFF_TRACE(ZmLib::KX_LEVEL_INFO, "TearOffMain::KeepDocksOf");
    const TearOffTabDock* wasCurrent = CurrentDock;
    for (TearOffTabDock* dock : Docks) {
        TearOffTabWidget* tabs = dock->TabWidget;
        if (!tabs || !tabs->DockWidget || tabs->DockWidget->Host != host)
            continue;
        const int index = tabs->indexOf(dock);
        if (index >= 0)
            tabs->removeTab(index);
        auto* group = new TearOffDockWidget(dock, MainHost, this);
        DockWidgets.append(group);
        MainHost->addDockWidget(Qt::BottomDockWidgetArea, group);
        // Hidden as the close button hides a panel, so that showing it
        // again brings it back in the main window.
        dock->ShowOrHide(false, false);
    }
    const QList<TearOffDockWidget*> groups = DockWidgets;
    for (TearOffDockWidget* group : groups) {
        if (group->Host != host)
            continue;
        DockWidgets.removeAll(group);
        group->TabWidget->DockWidget = nullptr;
        group->deleteLater();
    }
    if (CurrentDock && CurrentDock->isHidden())
        ChooseNextCurrent();
    if (wasCurrent && !CurrentDock)
        UpdateActions();
    CheckCentralWidgetVisibility();
}
