// The overview strip under the timeline: the whole time range of the
// graph with the visible window as a handle, bookmarks, marks, selection
// bands and the cursor. Dragging the handle pans the graph. Bounds are
// 64-bit times and the scale a double, so logs of any length and windows
// narrower than one unit per pixel draw correctly.
#pragma once

#include <cstdint>

#include <QAbstractSlider>
#include <QRect>

#include "kxviewer/graph/cgraphrange.h"

class QSimpleGraph;

class GraphSlider : public QAbstractSlider, public CGraphRange {
    Q_OBJECT
public:
    static constexpr int HEIGHT = 15;
    static constexpr int MIN_HANDLE = 10;

    GraphSlider(int64_t minimum, int64_t maximum, QSimpleGraph* graph, QWidget* parent = nullptr);

    void SetBounds(int64_t minimum, int64_t maximum);
    const QRect& Groove() const { return groove_; }
    // Handle place in the groove as last painted.
    int HandleStart() const { return handleStart_; }
    int HandleWidth() const { return handleWidth_; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Units per groove pixel; 0 without a groove or a span.
    double UnitsPerPixel() const;
    // Groove offset of a time, counted from the minimum.
    int Offset(int64_t time, double unitsPerPixel) const;
    // Moves the graph's window by a number of groove pixels.
    void Pan(int pixels);
    void PlaceHandle(double unitsPerPixel);
    void PaintMarks(QPainter& p, double unitsPerPixel);

    QSimpleGraph* graph_;
    int64_t minimum_;
    int64_t maximum_;
    int handleStart_ = 0;
    int handleWidth_ = 0;
    int lastMouseX_ = 0;
    bool dragging_ = false;
    QRect groove_;
};
