#include "tearoffwidget/tearofftabdock.h"

#include <QCursor>
#include <QVariant>

#include "tearoffwidget/tearoffdockwidget.h"
#include "tearoffwidget/tearoffmain.h"
#include "tearoffwidget/tearofftabwidget.h"
#include "tearoffwidget/tearofftrace.h"

TearOffTabDock::TearOffTabDock(QWidget* parent)
    : QMainWindow(parent), Key(uint64_t(reinterpret_cast<uintptr_t>(this))), Name(objectName().toLatin1())
{
    TearOffMain* main = TearOffMain::Me;
    KX_ASSERT(KxvTearoffChannel, main);
    const QString name = QStringLiteral("LRTabBase") + QString::number(main->DockCounter);
    setWindowTitle(name);
    setObjectName(name);
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Maximum);
    KxvTearoffChannel.Emit(Key, ZmLib::KXF_NEW_INSTANCE, "NEW INSTANCE: %s, KEY=%llX", Name.constData(),
                           static_cast<unsigned long long>(Key));
    main->Docks.append(this);
    main->DockCounter++;
    setWindowFlags(Qt::WindowFlags());
}

TearOffTabDock::~TearOffTabDock()
{
    // The closing code has taken the dock out of the lists; the current
    // dock pointer must not outlive it either.
    if (TearOffMain::CurrentDock == this)
        TearOffMain::CurrentDock = nullptr;
    KxvTearoffChannel.Emit(Key, ZmLib::KXF_DEL_INSTANCE, "DEL INSTANCE: %s, KEY=%llX", Name.constData(),
                           static_cast<unsigned long long>(Key));
}

QSize TearOffTabDock::sizeHint() const
{
    QSize size = QMainWindow::sizeHint();
    size.setHeight((Mode & ModePanel) ? 100 : 1000);
    return size;
}

void TearOffTabDock::ShowTabMenu(QPoint)
{
    if (QWidget* central = centralWidget())
        emit central->customContextMenuRequested(central->mapFromGlobal(QCursor::pos()));
}

bool TearOffTabDock::IsModified()
{
    return false;
}

QString TearOffTabDock::DocumentName()
{
    return windowTitle();
}

bool TearOffTabDock::CanCloseSilently()
{
    return true;
}

bool TearOffTabDock::MayClose()
{
    return true;
}

void TearOffTabDock::TabRemoved() {}

bool TearOffTabDock::SaveOnClose()
{
    return true;
}

void TearOffTabDock::DiscardChanges() {}

void TearOffTabDock::SetTabDockFocus()
{
    setFocus(Qt::OtherFocusReason);
}

void TearOffTabDock::ChangeActive(bool) {}

void TearOffTabDock::ShowOrHide(bool show, bool byProperty)
{
    KX_PRINT(KxvTearoffChannel, ZmLib::KX_LEVEL_NOTICE, "TearOffTabDock::ShowOrHide: %d", int(show));
    TearOffTabWidget* tabs = TabWidget;
    TearOffDockWidget* group = tabs ? tabs->DockWidget : nullptr;
    if (!show) {
        QWidget* container = GetSecondaryIfLast();
        if (tabs) {
            if (tabs->count() == 1 && tabs->currentWidget() == this) {
                if (group)
                    group->hide();
            } else {
                tabs->setCurrentWidget(this);
            }
            if (tabs->currentWidget() == this)
                tabs->removeTab(tabs->indexOf(this));
        }
        hide();
        if (container) {
            if (byProperty)
                container->setProperty("HIDE", true);
            else
                container->hide();
        }
        SavedWindow = group ? group->TopWindow : nullptr;
    } else {
        if (group)
            group->show();
        // Showing a dock that is still a tab must not add it twice.
        if (tabs && tabs->indexOf(this) < 0)
            tabs->addTab(this, windowTitle());
        QMainWindow::show();
        if (SavedWindow) {
            if (byProperty)
                SavedWindow->setProperty("HIDE", QVariant());
            else
                SavedWindow->show();
            SavedWindow = nullptr;
        }
    }
    emit CallShowOrHide(show);
}

QWidget* TearOffTabDock::GetTopWindow(int* isSecondary) const
{
    const TearOffDockWidget* group = TabWidget ? TabWidget->DockWidget : nullptr;
    const QString host = group && group->Host ? group->Host->objectName() : QString();
    const int number = host.mid(8).toInt();
    if (isSecondary)
        *isSecondary = number == 0 ? 0 : 1;
    if (number == 0)
        return TearOffMain::Me;
    return TearOffMain::Me->findChild<QMainWindow*>(QStringLiteral("LRCtmWin") + QString::number(number));
}

bool TearOffTabDock::IsShownAsTab() const
{
    return TabWidget && TabWidget->indexOf(const_cast<TearOffTabDock*>(this)) >= 0;
}

void TearOffTabDock::SetTabTip(const QString& tip)
{
    tabTip_ = tip;
    const int index = TabWidget ? TabWidget->indexOf(this) : -1;
    if (index >= 0)
        TabWidget->setTabToolTip(index, tip);
}

QWidget* TearOffTabDock::GetSecondaryIfLast() const
{
    const TearOffDockWidget* group = TabWidget ? TabWidget->DockWidget : nullptr;
    if (!group || !group->Host)
        return nullptr;
    QString host = group->Host->objectName();
    if (host.contains(QLatin1String("LRTabWin0")) || TabWidget->count() > 1)
        return nullptr;
    int shown = 0;
    for (const TearOffDockWidget* other : TearOffMain::Me->DockWidgets)
        if (other->Host == group->Host && !other->isHidden())
            shown++;
    if (shown != 1)
        return nullptr;
    host.replace(QLatin1String("LRTabWin"), QLatin1String("LRCtmWin"));
    return TearOffMain::Me->findChild<QMainWindow*>(host);
}
