// The tab bar of a tab group: closing a tab, the tab's context menu, the
// marking of tabs with Ctrl and a click, and dragging a tab out.
#pragma once

#include <QPixmap>
#include <QPoint>
#include <QSize>
#include <QTabBar>

class TearOffTabDock;
class TearOffTabWidget;

class TearOffTabBar : public QTabBar {
    Q_OBJECT

public:
    explicit TearOffTabBar(QWidget* parent);

    // Closes one tab; with ask, a panel is only hidden and a modified
    // document is asked about first.
    void DoTabClose(int index, bool ask);
    // The tab's label and close button on the mark's light yellow ground:
    // the picture of a marked tab.
    QPixmap MarkPicture(int index);

    TearOffTabWidget* TabWidget = nullptr;
    // State of a tab drag. PressIndex is the tab a plain left press hit
    // (-1: none, no drag).
    int32_t PressIndex = -1;
    QPoint PressPosition;
    QSize DragOffset;
    bool Dragging = false;

public slots:
    void onTabCloseRequested(int index);
    void showContextMenu(const QPoint& point);

protected:
    // With Ctrl the left button marks the tab instead of making it current.
    void mousePressEvent(QMouseEvent* event) override;
    // Beyond the start distance the current tab is torn out into a window
    // that follows the cursor; the release drops it.
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void StartDrag(QPoint pos, QPoint global);
    // True for the one document left in the main window, which stays.
    static bool IsLastMainDocument(const TearOffTabDock* dock);
};
