#include "tearoffwidget/tearoffsecondary.h"

#include <QCloseEvent>
#include <QCursor>

#include "tearoffwidget/screencoverwidget.h"
#include "tearoffwidget/tearoffdockwidget.h"
#include "tearoffwidget/tearoffmain.h"
#include "tearoffwidget/tearofftabdock.h"
#include "tearoffwidget/tearofftrace.h"
#include "tearoffwidget/x11desktop.h"

TearOffSecondary::TearOffSecondary(QWidget* parent) : QMainWindow(parent)
{
    KX_PRINT(KxvTearoffChannel, ZmLib::KX_LEVEL_NOTICE, "New TearOffSecondary object = %llX",
             static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(this)));
    setMouseTracking(true);
    setWindowFlags(Qt::Window);
    setAcceptDrops(true);
    poll_.setInterval(POLL_MS);
    KX_VERIFY(KxvTearoffChannel, connect(&poll_, &QTimer::timeout, this, &TearOffSecondary::Poll));
}

void TearOffSecondary::AddTearOffDock(Qt::DockWidgetArea area, TearOffTabDock* dock, uint32_t mode)
{
    TEAROFF_TRACE(ZmLib::KX_LEVEL_INFO, "TearOffSecondary::AddTearOffDock");
    TearOffMain* main = TearOffMain::Me;
    if (dock->OpenErrorMode) {
        KX_PRINT(KxvTearoffChannel, ZmLib::KX_LEVEL_NOTICE, "dockwidget->OpenErrorMode is true!");
        main->Docks.removeAll(dock);
        dock->deleteLater();
        return;
    }
    dock->Mode = mode;
    auto* group = new TearOffDockWidget(dock, Host, this);
    main->DockWidgets.append(group);
    Host->addDockWidget(area, group);
    main->SetTabActive(dock, false);
    dock->SetTabDockFocus();
}

void TearOffSecondary::closeEvent(QCloseEvent* event)
{
    TearOffMain* main = TearOffMain::Me;
    // The documents close with their questions; the permanent panels go
    // back to the main window, hidden, and are never deleted with this one.
    if (!main || !main->CloseDocks(this, false, true)) {
        event->ignore();
        return;
    }
    if (Host)
        main->KeepDocksOf(Host);
    event->accept();
    deleteLater();
}

bool TearOffSecondary::LeftButtonDown() const
{
    return X11Desktop::LeftButtonDown();
}

bool TearOffSecondary::eventFilter(QObject* object, QEvent* event)
{
    switch (event->type()) {
    case QEvent::NonClientAreaMouseButtonDblClick:
        TitleDoubleClicked = true;
        break;
    case QEvent::Move:
        // A tab drag moves the window it carries itself.
        if (object != this || !event->spontaneous() || (!Dragging && TearOffMain::Me->Cover->Active))
            break;
        if (TitleDoubleClicked)
            TitleDoubleClicked = false;
        else if (FirstMovePending)
            FirstMovePending = false;
        else if (Dragging)
            TearOffMain::Me->Cover->UpdateDropTarget(QCursor::pos());
        // A maximised window is not moved by hand; a move without the
        // button held is the window manager's placement.
        else if (!isMaximized() && LeftButtonDown())
            StartDrag();
        break;
    case QEvent::MouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonRelease:
        if (Dragging)
            EndDrag();
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(object, event);
}

void TearOffSecondary::StartDrag()
{
    TEAROFF_TRACE(ZmLib::KX_LEVEL_INFO, "TearOffSecondary::StartDrag");
    TearOffMain* main = TearOffMain::Me;
    ScreenCoverWidget* cover = main->Cover;
    cover->MovedDocks.clear();
    for (TearOffTabDock* dock : findChildren<TearOffTabDock*>())
        if (main->Docks.contains(dock) && dock->IsShownAsTab())
            cover->MovedDocks.append(dock);
    if (cover->MovedDocks.isEmpty())
        return;
    cover->Host = TearOffMain::MainHost;
    cover->NewWindow = this;
    cover->ShowOverScreens();
    cover->UpdateDropTarget(QCursor::pos());
    activateWindow();
    Dragging = true;
    poll_.start();
}

void TearOffSecondary::Poll()
{
    if (!Dragging) {
        poll_.stop();
        return;
    }
    if (LeftButtonDown())
        TearOffMain::Me->Cover->UpdateDropTarget(QCursor::pos());
    else
        EndDrag();
}

void TearOffSecondary::EndDrag()
{
    TEAROFF_TRACE(ZmLib::KX_LEVEL_INFO, "TearOffSecondary::EndDrag");
    Dragging = false;
    poll_.stop();
    ScreenCoverWidget* cover = TearOffMain::Me->Cover;
    // A drop on no guide shows the window where it went; a drop on one
    // takes the docks away and deletes it.
    cover->DropDocks();
}
