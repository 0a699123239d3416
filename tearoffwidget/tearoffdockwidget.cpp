#include "tearoffwidget/tearoffdockwidget.h"

#include <QMainWindow>

#include "tearoffwidget/tearofftabdock.h"
#include "tearoffwidget/tearofftabwidget.h"

TearOffDockWidget::TearOffDockWidget(TearOffTabDock* dock, QMainWindow* host, QWidget* top)
    : QDockWidget(host), Host(host), TopWindow(top), TabWidget(nullptr)
{
    setTitleBarWidget(new QWidget(this));
    TabWidget = new TearOffTabWidget(this, this);
    TabWidget->addTab(dock, dock->windowTitle());
    dock->TabWidget = TabWidget;
    setWidget(TabWidget);
    // Connected after the first tab, so that adding it activates nothing.
    TabWidget->ConnectActivation();
}
