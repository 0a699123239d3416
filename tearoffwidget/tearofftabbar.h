// The tab bar of a tab group: closing a tab and the tab's context menu.
#pragma once

#include <QPoint>
#include <QSize>
#include <QTabBar>

class TearOffTabWidget;

class TearOffTabBar : public QTabBar {
    Q_OBJECT

public:
    explicit TearOffTabBar(QWidget* parent);

    // Closes one tab; with ask, a panel is only hidden and a modified
    // document is asked about first.
    void DoTabClose(int index, bool ask);

    TearOffTabWidget* TabWidget = nullptr;
    // State of a tab drag.
    int32_t PressIndex = -1;
    QPoint PressPosition;
    QSize DragOffset;
    bool Dragging = false;

public slots:
    void onTabCloseRequested(int index);
    void showContextMenu(const QPoint& point);
};
