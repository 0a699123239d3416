#include "tearoffwidget/screencoverwidget.h"

#include <algorithm>

#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QMainWindow>
#include <QScreen>

#include "tearoffwidget/tearoffdockwidget.h"
#include "tearoffwidget/tearoffmain.h"
#include "tearoffwidget/tearoffsecondary.h"
#include "tearoffwidget/tearofftabbar.h"
#include "tearoffwidget/tearofftabdock.h"
#include "tearoffwidget/tearofftabwidget.h"
#include "tearoffwidget/tearofftrace.h"

namespace {
const QLatin1String PlaceholderPage("tmp_tfr");

// The newest visible dock in host other than skip.
TearOffTabDock* NewestIn(const QMainWindow* host, const TearOffTabDock* skip)
{
    const QList<TearOffTabDock*>& docks = TearOffMain::Me->Docks;
    for (int i = docks.size() - 1; i >= 2; --i) {
        TearOffTabDock* dock = docks[i];
        const TearOffDockWidget* group = dock->TabWidget ? dock->TabWidget->DockWidget : nullptr;
        if (dock != skip && dock->IsShownAsTab() && group && group->Host == host)
            return dock;
    }
    return nullptr;
}

QRect GlobalRect(const QWidget* widget, const QRect& rect)
{
    return QRect(widget->mapToGlobal(rect.topLeft()), rect.size());
}
} // namespace

ScreenCoverWidget::ScreenCoverWidget()
    : QWidget(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool | Qt::X11BypassWindowManagerHint |
                           Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus),
      Host(TearOffMain::MainHost),
      ScreenUnion(GetMinMaxScreen())
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setMouseTracking(true);
}

QRect ScreenCoverWidget::GetMinMaxScreen()
{
    TEAROFF_TRACE(ZmLib::KX_LEVEL_INFO, "ScreenCoverWidget::GetMinMaxScreen");
    QRect all;
    for (const QScreen* screen : QGuiApplication::screens())
        all = all.united(screen->geometry());
    KX_PRINT(KxvTearoffChannel, ZmLib::KX_LEVEL_NOTICE, "Cross screen %d %d %d %d", all.x(), all.y(), all.width(),
             all.height());
    return all;
}

void ScreenCoverWidget::ShowOverScreens()
{
    ScreenUnion = GetMinMaxScreen();
    setGeometry(ScreenUnion);
    Active = true;
    show();
}

void ScreenCoverWidget::MakeSecondaryWindow(Qt::DockWidgetArea area, bool dragging)
{
    TEAROFF_TRACE(ZmLib::KX_LEVEL_INFO, "ScreenCoverWidget::MakeSecondaryWindow");
    TearOffMain* main = TearOffMain::Me;
    const QString number = QString::number(main->WindowCounter);
    QMainWindow* window = main->CreateSecondary();
    window->setObjectName(QStringLiteral("LRCtmWin") + number);
    auto* box = new QGroupBox(window);
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(3, 3, 3, 3);
    auto* host = new QMainWindow(box);
    host->setObjectName(QStringLiteral("LRTabWin") + number);
    host->setWindowFlags(Qt::Widget);
    host->setTabPosition(Qt::AllDockWidgetAreas, QTabWidget::North);
    host->setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowNestedDocks | QMainWindow::AllowTabbedDocks);
    grid->addWidget(host, 0, 0);
    if (auto* secondary = qobject_cast<TearOffSecondary*>(window))
        secondary->Host = host;
    PlaceholderGroup = nullptr;

    TearOffTabDock* dock = MovedDocks.first();
    // A dock that was never docked has no group to leave.
    if (TearOffTabWidget* source = dock->TabWidget) {
        if (dragging && source->count() == 1) {
            // The source group holds the tab bar that receives the rest of
            // the drag: it stays, hidden, behind a placeholder page.
            const TearOffDockWidget* group = source->DockWidget;
            TearOffTabDock* next = NewestIn(group ? group->Host : nullptr, dock);
            if (!next)
                next = NewestIn(TearOffMain::MainHost, dock);
            if (next) {
                main->SetTabActive(next, false);
                pinnedGroup_ = next->TabWidget->DockWidget;
                pinnedGroup_->setMinimumHeight(pinnedGroup_->height());
            }
            auto* page = new QWidget;
            page->setObjectName(PlaceholderPage);
            source->addTab(page, QString());
            if (source->DockWidget)
                source->DockWidget->hide();
            PlaceholderGroup = source;
        }
        source->removeTab(source->indexOf(dock));
    }
    TearOffTabWidget* source = dock->TabWidget;
    auto* group = new TearOffDockWidget(dock, host, window);
    if (source && PlaceholderGroup == source)
        main->DockWidgets.removeAll(source->DockWidget);
    else
        main->DropEmptyGroup(source);
    main->DockWidgets.append(group);
    host->addDockWidget(area, group);
    main->SetTabActive(nullptr, false);
    main->WindowCounter++;
    window->setCentralWidget(box);
    NewWindow = window;
}

void ScreenCoverWidget::UpdateDropTarget(QPoint global)
{
    TearOffMain* main = TearOffMain::Me;
    TargetRect = QRect();
    TargetDock = nullptr;
    TargetGroup = nullptr;
    InsertIndex = INSERT_NONE;
    for (TearOffDockWidget* group : main->DockWidgets) {
        auto* current = qobject_cast<TearOffTabDock*>(group->TabWidget->currentWidget());
        QWidget* parent = group->parentWidget();
        if (group->isHidden() || !current || MovedDocks.contains(current) || !parent || !group->isVisible())
            continue;
        const QPoint inParent = parent->mapFromGlobal(global);
        const QRect frame = group->frameGeometry();
        if (!frame.contains(inParent))
            continue;
        TearOffTabBar* bar = group->TabWidget->TabBar;
        InsertIndex = INSERT_NONE;
        // The strip of the tab bar's height across the whole group.
        const QPoint inBar = bar->mapFromGlobal(global);
        if (inBar.y() >= 0 && inBar.y() < bar->height()) {
            const int index = bar->tabAt(inBar);
            if (index >= 0) {
                InsertIndex = index;
                InsertRect = GlobalRect(bar, bar->tabRect(index));
            } else if (bar->count() > 0) {
                const QRect last = bar->tabRect(bar->count() - 1);
                InsertIndex = INSERT_END;
                InsertRect = GlobalRect(bar, last.translated(last.width(), 0));
            }
        }
        TargetRect = QRect(parent->mapToGlobal(frame.topLeft()), frame.size());
        TargetDock = current;
        TargetGroup = group;
        // Groups of the window last raised lie above the others.
        if (group->Host == Host && Host != TearOffMain::MainHost)
            break;
    }

    Mode = MovedDocks.size() > 1 ? GUIDES_WINDOW : GUIDES_ONE;
    if (TargetDock && TargetDock->Mode != MovedDocks.first()->Mode) {
        InsertIndex = INSERT_NONE;
        Mode = MovedDocks.size() > 1 ? GUIDES_NONE : GUIDES_OTHER_KIND;
    }
    Zone = ZONE_NONE;
    if (TargetGroup) {
        const Qt::DockWidgetArea area = TargetGroup->Host->dockWidgetArea(TargetGroup);
        const bool top = area == Qt::TopDockWidgetArea;
        const bool bottom = area == Qt::BottomDockWidgetArea;
        AllowedEdges = {!top, !top && !bottom, !top && !bottom, !bottom};
        if (Mode != GUIDES_NONE)
            Zone = GuideZone(GuideCentre(), global, AllowedEdges, Mode);
        // The window under the cursor comes forward, the dragged one stays
        // in front of it.
        if (TargetGroup->Host != Host && TargetGroup->Host != TearOffMain::MainHost) {
            Host = TargetGroup->Host;
            if (QWidget* top = TargetGroup->TopWindow) {
                top->raise();
                top->activateWindow();
            }
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            if (NewWindow)
                NewWindow->raise();
        }
    }
    UpdateMask();
    update();
}

void ScreenCoverWidget::RemoveEmptyHosts()
{
    TEAROFF_TRACE(ZmLib::KX_LEVEL_INFO, "ScreenCoverWidget::RemoveEmptyHosts");
    TearOffMain* main = TearOffMain::Me;
    for (QMainWindow* host : main->findChildren<QMainWindow*>()) {
        const QString name = host->objectName();
        if (!name.startsWith(QLatin1String("LRTabWin")) || name.contains(QLatin1String("LRTabWin0")))
            continue;
        bool empty = true;
        for (const TearOffDockWidget* group : main->DockWidgets)
            empty = empty && group->Host != host;
        // An emptied secondary window goes with its host.
        QWidget* window = host->window();
        if (empty)
            (window != main ? window : host)->deleteLater();
    }
    for (TearOffTabWidget* tabs : main->findChildren<TearOffTabWidget*>()) {
        for (int i = tabs->count() - 1; i >= 0; --i) {
            QWidget* page = tabs->widget(i);
            if (page->objectName() == PlaceholderPage) {
                tabs->removeTab(i);
                page->deleteLater();
            }
        }
    }
}

bool ScreenCoverWidget::DropDocks()
{
    TEAROFF_TRACE(ZmLib::KX_LEVEL_INFO, "ScreenCoverWidget::DropDocks");
    TearOffMain* main = TearOffMain::Me;
    if (QWidget* grabber = QWidget::mouseGrabber())
        grabber->releaseMouse();
    hide();
    Active = false;
    if (PlaceholderGroup) {
        QWidget* page = PlaceholderGroup->widget(0);
        PlaceholderGroup->removeTab(0);
        page->deleteLater();
        if (PlaceholderGroup->DockWidget)
            PlaceholderGroup->DockWidget->deleteLater();
        PlaceholderGroup->DockWidget = nullptr;
        PlaceholderGroup = nullptr;
    }
    if (pinnedGroup_)
        pinnedGroup_->setMinimumHeight(0);
    pinnedGroup_ = nullptr;
    RemoveEmptyHosts();
    if (MovedDocks.isEmpty() || !NewWindow)
        return false;
    TearOffTabDock* last = MovedDocks.last();
    if (!TargetGroup || (Zone == ZONE_NONE && InsertIndex == INSERT_NONE)) {
        NewWindow->show();
        main->CheckCentralWidgetVisibility();
        main->SetTabActive(last, false);
        NewWindow->installEventFilter(NewWindow);
        return true;
    }

    QMainWindow* host = TargetGroup->Host;
    TearOffDockWidget* moved = MovedDocks.first()->TabWidget->DockWidget;
    const auto place = [&](Qt::DockWidgetArea area) {
        moved->Host->removeDockWidget(moved);
        host->addDockWidget(area, moved);
        moved->show();
    };
    const Qt::DockWidgetArea targetArea = host->dockWidgetArea(TargetGroup);
    switch (Zone) {
    case ZONE_LEFT:
    case ZONE_TOP: {
        const Qt::Orientation orientation = Zone == ZONE_LEFT ? Qt::Horizontal : Qt::Vertical;
        place(targetArea);
        host->splitDockWidget(TargetGroup, moved, orientation);
        host->splitDockWidget(moved, TargetGroup, orientation);
        break;
    }
    case ZONE_RIGHT:
    case ZONE_BOTTOM:
        place(targetArea);
        host->splitDockWidget(TargetGroup, moved, Zone == ZONE_RIGHT ? Qt::Horizontal : Qt::Vertical);
        break;
    case ZONE_EDGE_LEFT:
    case ZONE_EDGE_RIGHT:
    case ZONE_EDGE_TOP:
    case ZONE_EDGE_BOTTOM: {
        static constexpr Qt::DockWidgetArea edges[] = {Qt::LeftDockWidgetArea, Qt::RightDockWidgetArea,
                                                       Qt::TopDockWidgetArea, Qt::BottomDockWidgetArea};
        place(edges[Zone - ZONE_EDGE_LEFT]);
        break;
    }
    default: {
        TearOffTabWidget* tabs = TargetGroup->TabWidget;
        for (TearOffTabDock* dock : MovedDocks) {
            TearOffTabWidget* from = dock->TabWidget;
            from->removeTab(from->indexOf(dock));
            if (InsertIndex >= 0)
                tabs->insertTab(InsertIndex, dock, dock->windowTitle());
            else
                tabs->addTab(dock, dock->windowTitle());
            dock->TabWidget = tabs;
        }
        moved = nullptr;
        break;
    }
    }
    Zone = ZONE_NONE;
    if (moved) {
        moved->Host = host;
        moved->TopWindow = TargetGroup->TopWindow;
    }
    // What the moved docks left in the window (emptied groups, a panel
    // hidden there) goes before the window does.
    if (auto* secondary = qobject_cast<TearOffSecondary*>(NewWindow.data()); secondary && secondary->Host)
        main->KeepDocksOf(secondary->Host);
    main->CheckCentralWidgetVisibility();
    QCoreApplication::processEvents();
    if (NewWindow)
        NewWindow->deleteLater();
    main->SetTabActive(last, false);
    last->setFocus(Qt::OtherFocusReason);
    QCoreApplication::processEvents();
    return false;
}

void ScreenCoverWidget::KeepOnScreen(QWidget* window, QPoint pointer)
{
    QScreen* screen = QGuiApplication::screenAt(pointer);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    // A window not shown yet has no frame: the main window's stands in.
    const QWidget* framed = window->isVisible() || !TearOffMain::Me ? window : TearOffMain::Me;
    const QSize frame = framed->frameGeometry().size() - framed->geometry().size();
    window->resize(window->size().boundedTo(area.size() - frame));
    const QSize outer = window->size() + frame;
    // Too large still (its minimum size): the top left corner stays seen.
    const int left = std::max(area.left(), std::min(window->x(), area.right() + 1 - outer.width()));
    const int top = std::max(area.top(), std::min(window->y(), area.bottom() + 1 - outer.height()));
    window->move(left, top);
}
