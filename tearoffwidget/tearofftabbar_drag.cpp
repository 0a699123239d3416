// Dragging a tab out of its group and dropping it.
#include <QApplication>
#include <QCoreApplication>
#include <QMainWindow>
#include <QMouseEvent>

#include "tearoffwidget/screencoverwidget.h"
#include "tearoffwidget/tearoffdockwidget.h"
#include "tearoffwidget/tearoffmain.h"
#include "tearoffwidget/tearofftabbar.h"
#include "tearoffwidget/tearofftabdock.h"
#include "tearoffwidget/tearofftabwidget.h"
#include "tearoffwidget/tearofftrace.h"

bool TearOffTabBar::IsLastMainDocument(const TearOffTabDock* dock)
{
    const auto inMainHost = [](const TearOffTabDock* d) {
        return d->TabWidget && d->TabWidget->DockWidget && d->TabWidget->DockWidget->Host == TearOffMain::MainHost;
    };
    if ((dock->Mode & TearOffTabDock::ModePanel) || !inMainHost(dock))
        return false;
    for (const TearOffTabDock* other : TearOffMain::Me->Docks)
        if (other != dock && !(other->Mode & TearOffTabDock::ModePanel) && other->IsShownAsTab() && inMainHost(other))
            return false;
    return true;
}

void TearOffTabBar::mouseMoveEvent(QMouseEvent* event)
{
    TearOffMain* main = TearOffMain::Me;
    if (main && (event->buttons() & Qt::LeftButton) && PressIndex >= 0 && currentIndex() >= 0) {
        if (Dragging) {
            main->Cover->UpdateDropTarget(event->globalPos());
            if (main->Cover->NewWindow)
                main->Cover->NewWindow->move(event->globalPos() - QPoint(DragOffset.width(), DragOffset.height()));
        } else if ((event->pos() - PressPosition).manhattanLength() > QApplication::startDragDistance()) {
            StartDrag(event->pos(), event->globalPos());
        }
    }
    QTabBar::mouseMoveEvent(event);
}

void TearOffTabBar::StartDrag(QPoint pos, QPoint global)
{
    TEAROFF_TRACE(ZmLib::KX_LEVEL_INFO, "TearOffTabBar::StartDrag");
    TearOffMain* main = TearOffMain::Me;
    auto* dock = qobject_cast<TearOffTabDock*>(TabWidget->currentWidget());
    if (!dock || !main->Docks.contains(dock)) {
        PressIndex = -1;
        return;
    }
    if (IsLastMainDocument(dock)) {
        PressIndex = -1;
        KxvShell().ShowStatus(QStringLiteral("The last document stays in the main window"), true);
        return;
    }
    ScreenCoverWidget* cover = main->Cover;
    cover->MovedDocks = {dock};
    cover->PlaceholderGroup = nullptr;
    // The only tab of a secondary window carries its window along: the
    // window holds this bar, and hiding it would end the drag.
    if (auto* container = qobject_cast<QMainWindow*>(dock->GetSecondaryIfLast())) {
        cover->NewWindow = container;
        const QPoint offset = global - container->pos();
        DragOffset = QSize(offset.x(), offset.y());
    } else {
        const QRect tab = tabRect(currentIndex());
        const QSize size = TabWidget->DockWidget ? TabWidget->DockWidget->size() : TabWidget->size();
        cover->MakeSecondaryWindow(Qt::TopDockWidgetArea, true);
        cover->NewWindow->resize(size);
        // The tab's own place, unless that would take the window off the
        // screen: a group can be as wide as the main window.
        const QPoint grip(pos.x() - tab.left() + 5, main->TitleBarHeight + pos.y() - tab.top() + 5);
        cover->NewWindow->move(global - grip);
        ScreenCoverWidget::KeepOnScreen(cover->NewWindow, global);
        const QPoint offset = global - cover->NewWindow->pos();
        DragOffset = QSize(offset.x(), offset.y());
    }
    cover->Host = TearOffMain::MainHost;
    cover->ShowOverScreens();
    cover->UpdateDropTarget(global);
    cover->NewWindow->move(global - QPoint(DragOffset.width(), DragOffset.height()));
    cover->NewWindow->show();
    cover->NewWindow->raise();
    Dragging = true;
}

void TearOffTabBar::mouseReleaseEvent(QMouseEvent* event)
{
    QTabBar::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    PressIndex = -1;
    if (!Dragging || !TearOffMain::Me)
        return;
    Dragging = false;
    ScreenCoverWidget* cover = TearOffMain::Me->Cover;
    // Left where nothing takes it, the new window stays where it can be seen.
    if (cover->DropDocks() && cover->NewWindow)
        ScreenCoverWidget::KeepOnScreen(cover->NewWindow, event->globalPos());
}
