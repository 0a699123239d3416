// The drop guides: where they lie, which zone the cursor is in, and how the
// cover paints them and the highlight of the zone.
#include <QMainWindow>
#include <QPainter>
#include <QPolygon>

#include "tearoffwidget/screencoverwidget.h"
#include "tearoffwidget/tearoffdockwidget.h"
#include "tearoffwidget/tearofftabbar.h"
#include "tearoffwidget/tearofftabwidget.h"
#include "tearoffwidget/x11desktop.h"

namespace {
// Blue and dark magenta at alpha 50: over the zone's area, and as they
// come out over the white of a guide. The guides are opaque, so that they
// look the same with and without a compositing manager.
const QColor SideFill(0, 0, 255, 50);
const QColor EdgeFill(139, 0, 139, 50);
const QColor SideGuideFill(205, 205, 255);
const QColor EdgeGuideFill(232, 205, 232);
const QColor CrossFill(240, 240, 240);
// Without a compositing manager a zone is outlined, not tinted.
constexpr int OutlineWidth = 4;

// A guide: its square's corners relative to the centre, its zone, and
// which allowed edge it needs (-1: none).
struct Guide {
    int left, top, right, bottom;
    int32_t zone;
    int edge;
};
// In the order the cursor is tested; the centre comes last.
constexpr Guide Guides[] = {
    {-59, -18, -23, 18, ScreenCoverWidget::ZONE_LEFT, -1},
    {23, -18, 59, 18, ScreenCoverWidget::ZONE_RIGHT, -1},
    {-18, -59, 18, -23, ScreenCoverWidget::ZONE_TOP, -1},
    {-18, 23, 18, 59, ScreenCoverWidget::ZONE_BOTTOM, -1},
    {-100, -18, -64, 18, ScreenCoverWidget::ZONE_EDGE_LEFT, 1},
    {64, -18, 100, 18, ScreenCoverWidget::ZONE_EDGE_RIGHT, 2},
    {-18, -100, 18, -64, ScreenCoverWidget::ZONE_EDGE_TOP, 0},
    {-18, 64, 18, 100, ScreenCoverWidget::ZONE_EDGE_BOTTOM, 3},
    {-18, -18, 18, 18, ScreenCoverWidget::ZONE_CENTRE, -1},
};
constexpr const Guide& CentreGuide = Guides[8];
static_assert(Guides[0].right - Guides[0].left + 1 == 37, "guides are 37 pixels wide, corners included");

QRect Square(const Guide& guide, QPoint centre)
{
    return QRect(centre + QPoint(guide.left, guide.top), centre + QPoint(guide.right, guide.bottom));
}

bool Offered(const Guide& guide, const ScreenCoverWidget::Edges& edges, int32_t mode)
{
    if (mode == ScreenCoverWidget::GUIDES_WINDOW)
        return guide.zone == ScreenCoverWidget::ZONE_CENTRE;
    if (guide.zone == ScreenCoverWidget::ZONE_CENTRE)
        return mode != ScreenCoverWidget::GUIDES_OTHER_KIND;
    return guide.edge < 0 || edges[guide.edge];
}

// The outline around the guides: a cross of arm length arm.
QPolygon Cross(QPoint c, int arm)
{
    const int a = arm + 38;
    return QPolygon({c + QPoint(-a, -23), c + QPoint(-38, -23), c + QPoint(-23, -38), c + QPoint(-23, -a),
                     c + QPoint(23, -a), c + QPoint(23, -38), c + QPoint(38, -23), c + QPoint(a, -23),
                     c + QPoint(a, 23), c + QPoint(38, 23), c + QPoint(23, 38), c + QPoint(23, a),
                     c + QPoint(-23, a), c + QPoint(-23, 38), c + QPoint(-38, 23), c + QPoint(-a, 23)});
}

// The pixels the cross covers, its outline included.
QRegion CrossRegion(QPoint c, int arm)
{
    const QPolygon cross = Cross(c, arm);
    QRegion region(cross);
    for (const QPoint shift : {QPoint(1, 0), QPoint(0, 1), QPoint(1, 1)})
        region += QRegion(cross.translated(shift));
    return region;
}

// A frame of OutlineWidth pixels along the inside of rect.
QRegion Ring(const QRect& rect)
{
    return QRegion(rect) - QRegion(rect.adjusted(OutlineWidth, OutlineWidth, -OutlineWidth, -OutlineWidth));
}

int ArmLength(int32_t mode)
{
    return mode == ScreenCoverWidget::GUIDES_WINDOW ? 30 : 66;
}

// One guide: a framed square whose half towards its side is filled, with a
// stripe on top, a dotted middle line and an arrow pointing outwards; the
// centre guide is filled whole.
void PaintGuide(QPainter& painter, const Guide& guide, QPoint centre)
{
    const QRect square = Square(guide, centre);
    const QRect inset = square.adjusted(3, 3, -3, -3);
    painter.setPen(Qt::black);
    painter.setBrush(Qt::white);
    painter.drawRect(square.adjusted(0, 0, -1, -1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(inset.adjusted(0, 0, -1, -1));
    const bool edge = guide.edge >= 0;
    const QColor fill = edge ? EdgeGuideFill : SideGuideFill;
    const int halfW = inset.width() / 2;
    const int halfH = inset.height() / 2;
    QRect half = inset;
    QPoint arrowTip;
    QPoint arrowBack;
    switch (guide.zone) {
    case ScreenCoverWidget::ZONE_LEFT:
    case ScreenCoverWidget::ZONE_EDGE_LEFT:
        half.setWidth(halfW);
        arrowTip = QPoint(inset.left() + halfW + 3, inset.center().y() + 2);
        arrowBack = QPoint(inset.right() - 3, arrowTip.y());
        break;
    case ScreenCoverWidget::ZONE_RIGHT:
    case ScreenCoverWidget::ZONE_EDGE_RIGHT:
        half.setLeft(inset.left() + halfW);
        arrowTip = QPoint(inset.left() + halfW - 3, inset.center().y() + 2);
        arrowBack = QPoint(inset.left() + 3, arrowTip.y());
        break;
    case ScreenCoverWidget::ZONE_TOP:
    case ScreenCoverWidget::ZONE_EDGE_TOP:
        half.setHeight(halfH);
        arrowTip = QPoint(inset.center().x(), inset.top() + halfH + 3);
        arrowBack = QPoint(arrowTip.x(), inset.bottom() - 3);
        break;
    case ScreenCoverWidget::ZONE_BOTTOM:
    case ScreenCoverWidget::ZONE_EDGE_BOTTOM:
        half.setTop(inset.top() + halfH);
        arrowTip = QPoint(inset.center().x(), inset.top() + 4 + halfH / 2);
        arrowBack = QPoint(arrowTip.x(), inset.top() + halfH - 2);
        break;
    default:
        break;
    }
    painter.fillRect(half, fill);
    painter.fillRect(QRect(half.topLeft(), QSize(half.width(), 4)), Qt::darkGray);
    if (guide.zone == ScreenCoverWidget::ZONE_CENTRE)
        return;
    painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
    if (half.width() != inset.width()) {
        const int x = half.left() == inset.left() ? half.right() : half.left();
        painter.drawLine(x, inset.top() + 5, x, inset.bottom() - 1);
    } else {
        const int y = half.top() == inset.top() ? half.bottom() : half.top();
        painter.drawLine(inset.left() + 1, y, inset.right() - 1, y);
    }
    // The arrow points from the empty half towards the filled one.
    painter.setPen(Qt::black);
    painter.drawLine(arrowBack, arrowTip);
    const QPoint along = arrowTip - arrowBack;
    const QPoint unit(along.x() > 0 ? 1 : along.x() < 0 ? -1 : 0, along.y() > 0 ? 1 : along.y() < 0 ? -1 : 0);
    const QPoint across(unit.y(), unit.x());
    for (int i = 1; i <= 3; ++i)
        painter.drawLine(arrowTip - unit * i + across * i, arrowTip - unit * i - across * i);
}
} // namespace

int32_t ScreenCoverWidget::GuideZone(QPoint centre, QPoint cursor, const Edges& edges, int32_t mode)
{
    for (const Guide& guide : Guides)
        if (Offered(guide, edges, mode) && Square(guide, centre).contains(cursor))
            return guide.zone;
    return ZONE_NONE;
}

int32_t ScreenCoverWidget::DrawDropGuides(QPainter& painter, QPoint centre, QPoint cursor, const Edges& edges,
                                          int32_t mode)
{
    painter.setPen(Qt::black);
    painter.setBrush(CrossFill);
    painter.drawPolygon(Cross(centre, ArmLength(mode)));
    for (const Guide& guide : Guides)
        if (Offered(guide, edges, mode))
            PaintGuide(painter, guide, centre);
    return GuideZone(centre, cursor, edges, mode);
}

QPoint ScreenCoverWidget::GuideCentre() const
{
    return QPoint(TargetRect.x() + TargetRect.width() / 2, TargetRect.y() + TargetRect.height() / 2);
}

QList<QRect> ScreenCoverWidget::Highlights() const
{
    if (TargetRect.isNull() || !TargetGroup)
        return {};
    const auto halves = [](const QRect& r, int32_t which) {
        switch (which) {
        case 0:
            return QRect(r.x(), r.y(), r.width() / 2, r.height());
        case 1:
            return QRect(r.x() + r.width() / 2, r.y(), r.width() - r.width() / 2, r.height());
        case 2:
            return QRect(r.x(), r.y(), r.width(), r.height() / 2);
        case 3:
            return QRect(r.x(), r.y() + r.height() / 2, r.width(), r.height() - r.height() / 2);
        default:
            return r;
        }
    };
    if (Zone <= ZONE_CENTRE)
        return {halves(TargetRect, Zone)};
    if (Zone <= ZONE_EDGE_BOTTOM) {
        const QMainWindow* host = TargetGroup->Host;
        return {halves(QRect(host->mapToGlobal(QPoint()), host->size()), Zone - ZONE_EDGE_LEFT)};
    }
    if (InsertIndex == INSERT_NONE)
        return {};
    const QRect pages = TargetRect.adjusted(0, TargetGroup->TabWidget->TabBar->height() - 1, 0, 0);
    return {pages, InsertIndex == INSERT_END ? InsertRect.intersected(TargetRect) : InsertRect};
}

void ScreenCoverWidget::UpdateMask()
{
    if (!X11Desktop::LacksCompositor())
        return;
    QRegion region;
    for (const QRect& rect : Highlights())
        region += Ring(rect);
    if (!TargetRect.isNull() && Mode != GUIDES_NONE)
        region += CrossRegion(GuideCentre(), ArmLength(Mode));
    if (region.isEmpty()) {
        hide();
        return;
    }
    setMask(region.translated(-ScreenUnion.topLeft()));
    show();
}

void ScreenCoverWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    // The cover draws in global coordinates.
    painter.translate(-ScreenUnion.topLeft());
    const bool edge = Zone >= ZONE_EDGE_LEFT && Zone <= ZONE_EDGE_BOTTOM;
    const bool tint = !X11Desktop::LacksCompositor();
    for (const QRect& rect : Highlights()) {
        if (tint) {
            painter.fillRect(rect, edge ? EdgeFill : SideFill);
            continue;
        }
        painter.setClipRegion(Ring(rect));
        painter.fillRect(rect, edge ? Qt::darkMagenta : Qt::blue);
        painter.setClipping(false);
    }
    if (!TargetRect.isNull() && Mode != GUIDES_NONE)
        DrawDropGuides(painter, GuideCentre(), QPoint(), AllowedEdges, Mode);
}
