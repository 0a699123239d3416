// The drop engine: a transparent cover over all screens that draws the drop
// guides over the tab group under the cursor while a tab or a secondary
// window is dragged, builds the secondary window a torn-out tab goes to and
// performs the drop.
#pragma once

#include <array>
#include <cstdint>

#include <QList>
#include <QPointer>
#include <QRect>
#include <QRegion>
#include <QWidget>

class QMainWindow;
class QPainter;
class TearOffDockWidget;
class TearOffTabDock;
class TearOffTabWidget;

class ScreenCoverWidget : public QWidget {
public:
    // Drop zones: split left, right, above, below the target, into the
    // target, then along the left, right, top, bottom edge of its host.
    enum Zone : int32_t {
        ZONE_LEFT = 0,
        ZONE_RIGHT = 1,
        ZONE_TOP = 2,
        ZONE_BOTTOM = 3,
        ZONE_CENTRE = 4,
        ZONE_EDGE_LEFT = 5,
        ZONE_EDGE_RIGHT = 6,
        ZONE_EDGE_TOP = 7,
        ZONE_EDGE_BOTTOM = 8,
        ZONE_NONE = 9,
    };
    // Guide modes: one document, a whole window (centre only), one document
    // over a group of another kind (no centre); none over a group of another
    // kind with a whole window.
    enum GuideMode : int32_t { GUIDES_ONE = 0, GUIDES_WINDOW = 1, GUIDES_OTHER_KIND = 2, GUIDES_NONE = -1 };
    // Allowed edges in the order top, left, right, bottom.
    using Edges = std::array<bool, 4>;
    // Insert index: no tab position, or after the last tab.
    static constexpr int32_t INSERT_NONE = -1;
    static constexpr int32_t INSERT_END = -2;

    ScreenCoverWidget();

    // The rectangle that covers every screen.
    static QRect GetMinMaxScreen();
    // Builds a new secondary window for the first moved dock, its group in
    // area; dragging keeps an emptied source group alive until the drop.
    void MakeSecondaryWindow(Qt::DockWidgetArea area, bool dragging);
    // Finds the tab group and tab position under the global point, the
    // guides it offers and the zone the point is in; repaints.
    void UpdateDropTarget(QPoint global);
    // Shows the cover over all screens for a drag.
    void ShowOverScreens();
    // Performs the drop at the zone or tab position found last; true when
    // there was none and the docks stay in the new window.
    bool DropDocks();
    // Shrinks the top-level window to the free area of the screen that holds
    // pointer when it is larger and moves it wholly into it.
    static void KeepOnScreen(QWidget* window, QPoint pointer);
    // Deletes empty secondary hosts and placeholder pages.
    static void RemoveEmptyHosts();
    // The zone of the guides around centre that holds cursor.
    static int32_t GuideZone(QPoint centre, QPoint cursor, const Edges& edges, int32_t mode);
    // Draws the guides around centre; returns GuideZone.
    static int32_t DrawDropGuides(QPainter& painter, QPoint centre, QPoint cursor, const Edges& edges, int32_t mode);

    QRect TargetRect;
    QPointer<TearOffTabDock> TargetDock;
    QPointer<TearOffDockWidget> TargetGroup;
    QList<TearOffTabDock*> MovedDocks;
    QPointer<QMainWindow> NewWindow;
    QPointer<QMainWindow> Host;
    int32_t Zone = ZONE_NONE;
    int32_t Mode = GUIDES_NONE;
    Edges AllowedEdges{};
    int32_t InsertIndex = INSERT_NONE;
    QRect InsertRect;
    QPointer<TearOffTabWidget> PlaceholderGroup;
    QRect ScreenUnion;
    // From the start of a drag to its drop.
    bool Active = false;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The centre of the target rectangle, where the guides are drawn.
    QPoint GuideCentre() const;
    // The rectangles the highlight of the zone or tab position fills.
    QList<QRect> Highlights() const;
    // Without a compositing manager a translucent window shows black: the
    // cover then shows only what it paints.
    void UpdateMask();

    // The group whose height was pinned while its neighbour is hidden.
    QPointer<TearOffDockWidget> pinnedGroup_;
};
