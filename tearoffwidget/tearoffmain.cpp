#include "tearoffwidget/tearoffmain.h"

#include <QApplication>
#include <QFrame>
#include <QGridLayout>
#include <QStyle>
#include <QStyleOptionTitleBar>
#include <QTextEdit>

#include "tearoffwidget/screencoverwidget.h"
#include "tearoffwidget/tearoffdockwidget.h"
#include "tearoffwidget/tearoffprompt.h"
#include "tearoffwidget/tearofftabbar.h"
#include "tearoffwidget/tearofftabdock.h"
#include "tearoffwidget/tearofftabwidget.h"
#include "tearoffwidget/tearofftrace.h"

TearOffMain* TearOffMain::Me = nullptr;
TearOffTabDock* TearOffMain::CurrentDock = nullptr;
QMainWindow* TearOffMain::MainHost = nullptr;

namespace {
TearOffPrompt* installedPrompt = nullptr;

TearOffPrompt& DefaultPrompt()
{
    static TearOffPrompt prompt;
    return prompt;
}

constexpr QMainWindow::DockOptions HostDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowNestedDocks |
                                                   QMainWindow::AllowTabbedDocks);
static_assert(int(HostDockOptions) == 7, "dock options 7");
} // namespace

TearOffPrompt& TearOffMain::Prompt()
{
    return installedPrompt ? *installedPrompt : DefaultPrompt();
}

TearOffPrompt* TearOffMain::SetPrompt(TearOffPrompt* prompt)
{
    TearOffPrompt* previous = installedPrompt;
    installedPrompt = prompt;
    return previous;
}

TearOffMain::TearOffMain(QApplication* app)
{
    KX_ASSERT(KxvTearoffChannel, !Me);
    setObjectName(QStringLiteral("LRTabWin0"));
    setStyleSheet(QStringLiteral("QTabWidget:tab-bar {alignment: left;}"));
    setTabPosition(Qt::AllDockWidgetAreas, QTabWidget::North);
    setDockOptions(HostDockOptions);
    setWindowFlags(windowFlags() | Qt::Window | Qt::WindowContextHelpButtonHint);
    setMouseTracking(true);

    QStyleOptionTitleBar option;
    option.initFrom(this);
    TitleBarHeight = style()->pixelMetric(QStyle::PM_TitleBarHeight, &option, this) - 4;

    auto* frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("myObject"));
    frame->setStyleSheet(QStringLiteral("#myObject { border: 4px solid light grey; }"));
    frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    frame->setLineWidth(2);
    auto* grid = new QGridLayout(frame);
    grid->setContentsMargins(0, 0, 0, 0);

    MainHost = new QMainWindow(nullptr);
    MainHost->setObjectName(QStringLiteral("LRTabWin0"));
    MainHost->setTabPosition(Qt::AllDockWidgetAreas, QTabWidget::North);
    MainHost->setDockOptions(HostDockOptions);
    MainHost->setWindowFlags(MainHost->windowFlags() | Qt::WindowContextHelpButtonHint);
    grid->addWidget(MainHost, 0, 0);
    Placeholder = new QTextEdit(MainHost);
    Placeholder->setEnabled(false);
    MainHost->setCentralWidget(Placeholder);
    setCentralWidget(frame);
    Cover = new ScreenCoverWidget;

    KX_VERIFY(KxvTearoffChannel, connect(app, SIGNAL(focusChanged(QWidget*, QWidget*)), this,
                                         SLOT(onFocusChanged(QWidget*, QWidget*))));
    Me = this;
}

TearOffMain::~TearOffMain()
{
    // The children are deleted after this body; focus changes on the way
    // must not reach a half-destroyed window.
    disconnect(qApp, nullptr, this, nullptr);
    delete Cover;
    CurrentDock = nullptr;
    MainHost = nullptr;
    Me = nullptr;
}

bool TearOffMain::DropFailedDock(TearOffTabDock* dock, bool print)
{
    if (!dock->OpenErrorMode)
        return false;
    if (print)
        KX_PRINT(KxvTearoffChannel, ZmLib::KX_LEVEL_NOTICE, "dockwidget->OpenErrorMode is true!");
    Docks.removeAll(dock);
    dock->deleteLater();
    return true;
}

void TearOffMain::AddTearOffDock(Qt::DockWidgetArea area, TearOffTabDock* dock, uint32_t mode)
{
    TEAROFF_TRACE(ZmLib::KX_LEVEL_INFO, "TearOffMain::AddTearOffDock");
    if (DropFailedDock(dock, true))
        return;
    dock->Mode = mode;
    auto* group = new TearOffDockWidget(dock, MainHost, this);
    DockWidgets.append(group);
    MainHost->addDockWidget(area, group);
    CheckCentralWidgetVisibility();
    SetTabActive(dock, false);
    dock->SetTabDockFocus();
}

void TearOffMain::TabifyTearOffDock(TearOffTabDock* existing, TearOffTabDock* dock)
{
    TEAROFF_TRACE(ZmLib::KX_LEVEL_INFO, "TearOffMain::TabifyTearOffDock");
    if (DropFailedDock(dock, false))
        return;
    existing->TabWidget->addTab(dock, dock->windowTitle());
    dock->Mode = existing->Mode;
    dock->TabWidget = existing->TabWidget;
    CheckCentralWidgetVisibility();
    SetTabActive(dock, false);
    dock->SetTabDockFocus();
}

void TearOffMain::SplitOneTearOffDock(TearOffTabDock* dock, Qt::Orientation orientation)
{
    TEAROFF_TRACE(ZmLib::KX_LEVEL_INFO, "TearOffMain::SplitOneTearOffDock");
    TearOffTabWidget* tabs = dock->TabWidget;
    if (!tabs || tabs->count() <= 1)
        return;
    const int current = tabs->currentIndex();
    tabs->setCurrentIndex(current <= 0 ? current + 1 : current - 1);
    auto* neighbour = qobject_cast<TearOffTabDock*>(tabs->currentWidget());
    TearOffDockWidget* old = tabs->DockWidget;
    auto* group = new TearOffDockWidget(dock, old->Host, old->TopWindow);
    DockWidgets.append(group);
    dock->Mode = neighbour->Mode;
    old->Host->splitDockWidget(old, group, orientation);
    CheckCentralWidgetVisibility();
    SetTabActive(dock, false);
    dock->SetTabDockFocus();
}

void TearOffMain::SetTabActive(TearOffTabDock* dock, bool keep)
{
    TEAROFF_TRACE(ZmLib::KX_LEVEL_INFO, "TearOffMain::SetTabActive");
    if (dock && dock->objectName() == QLatin1String("tmp_tfr"))
        return;
    // Only a real change of the current dock drops the marks: the window
    // activation of a Ctrl+click must not lose the mark it just made.
    if (!DragSelection.isEmpty() && (!dock || (dock != CurrentDock && !keep)))
        ClearDragSelection();
    TearOffTabWidget* activeTabs = dock ? dock->TabWidget : nullptr;
    if (dock) {
        if (dock == CurrentDock || keep)
            return;
        // Current before the tab switch, so that the tab widget's own change
        // signal finds it current and does nothing more.
        CurrentDock = dock;
        if (activeTabs)
            activeTabs->setCurrentWidget(dock);
        KX_PRINT(KxvTearoffChannel, ZmLib::KX_LEVEL_NOTICE, "Set TearOffMain::CurrentDock = %s",
                 dock->objectName().toLatin1().constData());
        if (activeTabs)
            activeTabs->SetLook(dock->Mode ? TearOffTabWidget::Look::ActivePanel : TearOffTabWidget::Look::Active);
        UpdateActions();
        dock->ChangeActive(true);
    }
    for (TearOffDockWidget* group : DockWidgets) {
        TearOffTabWidget* tabs = group->TabWidget;
        if (tabs == activeTabs)
            continue;
        for (int i = 0; i < tabs->count(); ++i) {
            TabBarHeight = tabs->tabBar()->height();
            auto* other = qobject_cast<TearOffTabDock*>(tabs->widget(i));
            if (other && other->objectName() != QLatin1String("tmp_tfr"))
                other->ChangeActive(false);
        }
        tabs->SetLook(TearOffTabWidget::Look::Inactive);
    }
}

void TearOffMain::CheckCentralWidgetVisibility()
{
    TEAROFF_TRACE(ZmLib::KX_LEVEL_INFO, "TearOffMain::CheckCentralWidgetVisibility");
    if (Docks.size() == 2) {
        Placeholder->show();
        return;
    }
    int panels = 0;
    for (TearOffTabDock* dock : Docks) {
        const TearOffDockWidget* group = dock->TabWidget ? dock->TabWidget->DockWidget : nullptr;
        if (!dock->isHidden() && !(group && group->Host == MainHost))
            continue;
        if (!(dock->Mode & TearOffTabDock::ModePanel)) {
            Placeholder->hide();
            return;
        }
        panels++;
    }
    Placeholder->setVisible(!Docks.isEmpty() && panels == 2);
}

void TearOffMain::onFocusChanged(QWidget*, QWidget* now)
{
    TEAROFF_TRACE(ZmLib::KX_LEVEL_INFO, "TearOffMain::onFocusChanged");
    if (!now)
        return;
    KX_PRINT(KxvTearoffChannel, ZmLib::KX_LEVEL_NOTICE, "Focus changed: %s", now->metaObject()->className());
    SetTabActiveAt(now);
}

void TearOffMain::SetTabActiveAt(QWidget* widget)
{
    for (TearOffDockWidget* group : DockWidgets) {
        QWidget* current = group->TabWidget->currentWidget();
        if (current && current != widget && current->isAncestorOf(widget)) {
            SetTabActive(qobject_cast<TearOffTabDock*>(current), false);
            return;
        }
    }
}
