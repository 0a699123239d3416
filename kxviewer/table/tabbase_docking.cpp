// Moving the document between the main window and secondary windows.
#include <QCoreApplication>
#include <QWidget>

#include "kxviewer/table/tabbase.h"
#include "tearoffwidget/tearoffmain.h"
#include "tearoffwidget/tearofftabwidget.h"

void TabBase::DockDetach()
{
    if (TearOffMain::Me)
        TearOffMain::Me->AddSecondaryTearOffDock(Qt::TopDockWidgetArea, this, Mode);
}

void TabBase::DockAttach()
{
    TearOffMain* main = TearOffMain::Me;
    int secondary = 0;
    QWidget* former = GetTopWindow(&secondary);
    if (main == nullptr || secondary == 0 || former == nullptr || !IsShownAsTab())
        return;
    TearOffTabDock* beside = nullptr;
    for (int i = main->Docks.size() - 1; i >= 2 && beside == nullptr; --i) {
        TearOffTabDock* dock = main->Docks[i];
        if (dock != this && dock->IsShownAsTab() && dock->GetTopWindow(nullptr) == main)
            beside = dock;
    }
    TearOffTabWidget* from = TabWidget;
    from->removeTab(from->indexOf(this));
    // With no document in the main window the tab gets a group of its own
    // there.
    if (beside != nullptr)
        main->TabifyTearOffDock(beside, this);
    else
        main->AddTearOffDock(Qt::TopDockWidgetArea, this, Mode);
    main->DropEmptyGroup(from);
    bool documentsLeft = false;
    for (const TearOffTabDock* dock : main->Docks)
        documentsLeft = documentsLeft || ((dock->Mode & ModePanel) == 0 && dock->IsShownAsTab() &&
                                          dock->GetTopWindow(nullptr) == former);
    if (!documentsLeft)
        former->close();
    QCoreApplication::processEvents();
    main->SetTabActive(this, false);
    QCoreApplication::processEvents();
}
