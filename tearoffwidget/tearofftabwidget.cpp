#include "tearoffwidget/tearofftabwidget.h"

#include "tearoffwidget/tearoffmain.h"
#include "tearoffwidget/tearofftabbar.h"
#include "tearoffwidget/tearofftabdock.h"
#include "tearoffwidget/tearofftrace.h"

namespace {
const char TabStyle[] = "#TearOffTabBar::tab:selected {background: #d7d7d7; border-left: 1px solid #e1e1e1; "
                        "border-top: 4px solid %1; padding: 4} #TearOffTabBar::tab:!selected  {background: "
                        "#f3f3f3; border-left: 1px solid #e1e1e1;border-top: 4px solid #f3f3f3; padding: 4} "
                        "QTabWidget::pane {border:3px solid #d7d7d7}";
} // namespace

TearOffTabWidget::TearOffTabWidget(TearOffDockWidget* dockWidget, QWidget* parent)
    : QTabWidget(parent), DockWidget(dockWidget), TabBar(new TearOffTabBar(this))
{
    TabBar->TabWidget = this;
    TabBar->setContextMenuPolicy(Qt::CustomContextMenu);
    setTabBar(TabBar);
    setTabBarAutoHide(false);
    setTabsClosable(true);
    KX_VERIFY(KxvTearoffChannel,
              connect(TabBar, SIGNAL(tabCloseRequested(int)), TabBar, SLOT(onTabCloseRequested(int))));
    KX_VERIFY(KxvTearoffChannel, connect(TabBar, SIGNAL(customContextMenuRequested(const QPoint&)), TabBar,
                                         SLOT(showContextMenu(const QPoint&))));
}

void TearOffTabWidget::tabInserted(int index)
{
    QTabWidget::tabInserted(index);
    if (const auto* dock = qobject_cast<const TearOffTabDock*>(widget(index)))
        setTabToolTip(index, dock->TabTip());
}

void TearOffTabWidget::ConnectActivation()
{
    KX_VERIFY(KxvTearoffChannel, connect(this, SIGNAL(currentChanged(int)), this, SLOT(TabWidgetChanged(int))));
    KX_VERIFY(KxvTearoffChannel, connect(this, SIGNAL(tabBarClicked(int)), this, SLOT(TabBarClicked(int))));
}

QString TearOffTabWidget::StyleSheet(Look look)
{
    const char* border = look == Look::Active ? "#f4a460" : look == Look::ActivePanel ? "#cccc00" : "#d7d7d7";
    return QString::fromLatin1(TabStyle).arg(QLatin1String(border));
}

void TearOffTabWidget::SetLook(Look look)
{
    // A new style sheet polishes every widget of every tab again; a tab
    // switch within the group keeps its look.
    const QString sheet = StyleSheet(look);
    if (styleSheet() != sheet)
        setStyleSheet(sheet);
}

void TearOffTabWidget::Activate(int index, const char* format)
{
    if (index < 0 || !TearOffMain::Me)
        return;
    setCurrentIndex(index);
    KX_PRINT(KxvTearoffChannel, ZmLib::KX_LEVEL_NOTICE, format, currentWidget()->objectName().toLatin1().constData());
    TearOffMain::Me->SetTabActive(qobject_cast<TearOffTabDock*>(currentWidget()), false);
}

void TearOffTabWidget::TabWidgetChanged(int index)
{
    Activate(index, "Tab Widget Changed: %s");
}

void TearOffTabWidget::TabBarClicked(int index)
{
    Activate(index, "Tab bar clicked: %s");
}
