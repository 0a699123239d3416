#include "kxviewer/graph/graphslider.h"

#include <algorithm>
#include <cmath>

#include <QMouseEvent>
#include <QPainter>

#include "kxviewer/graph/qsimplegraph.h"

GraphSlider::GraphSlider(int64_t minimum, int64_t maximum, QSimpleGraph* graph, QWidget* parent)
    : QAbstractSlider(parent), graph_(graph), minimum_(minimum), maximum_(maximum)
{
    setOrientation(Qt::Horizontal);
    setStyleSheet(
        QStringLiteral("QSlider::handle:horizontal {background: green;border: 1px solid #5c5c5c;border-radius: 6px;}"));
    groove_ = QRect(5, 0, width() - 10, HEIGHT);
}

void GraphSlider::SetBounds(int64_t minimum, int64_t maximum)
{
    minimum_ = minimum;
    maximum_ = maximum;
    update();
}

double GraphSlider::UnitsPerPixel() const
{
    if (groove_.width() <= 0 || maximum_ <= minimum_)
        return 0.0;
    return double(uint64_t(maximum_) - uint64_t(minimum_)) / groove_.width();
}

int GraphSlider::Offset(int64_t time, double unitsPerPixel) const
{
    const double offset = (double(time) - double(minimum_)) / unitsPerPixel;
    // Far outside the groove the offset is held to what an int takes.
    return int(std::max(-1e6, std::min(1e6, offset)));
}

void GraphSlider::Pan(int pixels)
{
    const double units = UnitsPerPixel();
    if (!graph_ || units <= 0.0 || pixels == 0)
        return;
    const double delta = std::round(pixels * units);
    graph_->ScrollBy(delta >= 9.2e18 ? INT64_MAX : delta <= -9.2e18 ? INT64_MIN : int64_t(delta), false);
}

void GraphSlider::mousePressEvent(QMouseEvent* event)
{
    const int x = event->pos().x();
    const int start = x - groove_.x() - handleWidth_ / 2;
    Pan(start - handleStart_);
    handleStart_ = start;
    dragging_ = true;
    lastMouseX_ = x;
    update();
}

void GraphSlider::mouseMoveEvent(QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton))
        return;
    const int x = event->pos().x();
    Pan(x - lastMouseX_);
    handleStart_ = x - groove_.x() - handleWidth_ / 2;
    lastMouseX_ = x;
    update();
}

void GraphSlider::mouseReleaseEvent(QMouseEvent*)
{
    dragging_ = false;
    update();
}

void GraphSlider::resizeEvent(QResizeEvent* event)
{
    QAbstractSlider::resizeEvent(event);
    groove_ = QRect(5, 0, width() - 10, HEIGHT);
}

void GraphSlider::PlaceHandle(double u)
{
    if (!dragging_) {
        // Both ends from the full minimum, so any range places the handle.
        const GraphPair window = graph_->VisibleX();
        handleStart_ = Offset(window.min, u);
        const int end = int(std::max(-1e6, std::min(1e6, (double(window.max) - double(minimum_)) / u - 5.0)));
        handleWidth_ = end - handleStart_;
    }
    if (handleWidth_ < MIN_HANDLE) {
        handleStart_ -= MIN_HANDLE / 2;
        handleWidth_ = MIN_HANDLE;
    }
    handleStart_ = std::max(0, handleStart_);
    const int right = groove_.width() - 5;
    if (handleStart_ + handleWidth_ >= right)
        handleStart_ = right - handleWidth_;
}

void GraphSlider::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    p.fillRect(event->rect(), palette().window());
    const double u = UnitsPerPixel();
    if (groove_.width() <= 0)
        return;
    p.fillRect(groove_, QColor(Qt::darkGray).lighter(170));
    if (u <= 0.0 || !graph_)
        return;
    PlaceHandle(u);
    p.fillRect(QRect(groove_.x() + handleStart_, groove_.y() + 3, handleWidth_, groove_.height() - 7),
               graph_->TextColour());
    // Filled boxes, not lines: the ticks cover their pixels at any scale.
    for (const GraphBookmark& b : graph_->Bookmarks()) {
        const int x = Offset(b.time, u);
        if (x >= 0)
            p.fillRect(QRect(groove_.x() + x - 3, groove_.y() + 5, 4, 5), graph_->BookmarkColour());
    }
    PaintMarks(p, u);
    for (const GraphBand& band : graph_->Bands()) {
        const int from = Offset(band.from, u);
        const int to = Offset(band.to, u);
        p.fillRect(QRect(groove_.x() + from, groove_.y() + 11, std::max(to - from, to - from < 3 ? 2 : 0), 3),
                   QColor(band.colour));
    }
    if (graph_->PaintReason() == QSimpleGraph::REASON_HIDE_CURSOR)
        return;
    const int cursor = groove_.x() + Offset(graph_->CursorDisplayTime(), u);
    p.setPen(Qt::white);
    for (int i = -1; i <= 2; ++i)
        p.drawLine(cursor + i, groove_.top(), cursor + i, groove_.bottom());
    p.setPen(Qt::black);
    p.setBrush(Qt::white);
    p.drawRect(QRect(QPoint(cursor - 1, groove_.top()), QPoint(cursor + 2, groove_.bottom() - 2)));
}

void GraphSlider::PaintMarks(QPainter& p, double u)
{
    p.setPen(Qt::black);
    p.setBrush(Qt::black);
    const int y = groove_.y();
    // The mark-in flag points left of its line, the mark-out flag right.
    const struct {
        int64_t time;
        int side;
    } marks[] = {{graph_->MarkIn(), -1}, {graph_->MarkOut(), 1}};
    for (const auto& m : marks) {
        if (m.time == QSimpleGraph::NO_MARK)
            continue;
        const int x = groove_.x() + Offset(m.time, u);
        const QPoint triangle[] = {{x, y + 10}, {x + 3 * m.side, y + 7}, {x, y + 4}};
        p.drawPolygon(triangle, 3);
        for (int i = 0; i <= 3; ++i)
            p.drawLine(x + i * m.side, y + 4 + i, x + i * m.side, y + 10 - i);
    }
}
