// A tab group: a dock widget without title bar whose widget is a tab widget
// of docks.
#pragma once

#include <QDockWidget>

class QMainWindow;
class TearOffTabDock;
class TearOffTabWidget;

class TearOffDockWidget : public QDockWidget {
public:
    // Builds the group inside host with dock as its first tab (taking the
    // dock out of any earlier tab widget). top is the top-level window that
    // shows the host.
    TearOffDockWidget(TearOffTabDock* dock, QMainWindow* host, QWidget* top);

    QMainWindow* Host;
    QWidget* TopWindow;
    TearOffTabWidget* TabWidget;
};
