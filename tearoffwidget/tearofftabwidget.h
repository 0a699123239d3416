// The tab widget of one tab group; its style marks whether it holds the
// current dock.
#pragma once

#include <QTabWidget>

class TearOffDockWidget;
class TearOffTabBar;

class TearOffTabWidget : public QTabWidget {
    Q_OBJECT

public:
    enum class Look { Active, ActivePanel, Inactive };

    TearOffTabWidget(TearOffDockWidget* dockWidget, QWidget* parent);

    // Connects the activation slots to the tab widget's own signals.
    void ConnectActivation();
    void SetLook(Look look);
    // The style sheet of each look.
    static QString StyleSheet(Look look);

    // Null once the group is being deleted.
    TearOffDockWidget* DockWidget;
    TearOffTabBar* TabBar;

public slots:
    void TabWidgetChanged(int index);
    void TabBarClicked(int index);

protected:
    // A dock's tab keeps its tool tip in every tab group it joins.
    void tabInserted(int index) override;

private:
    // Makes the tab at index current and its dock the current dock.
    void Activate(int index, const char* format);
};
