// The drawing state of the graph widget: fonts, the widget and plot
// rectangles, the scale of both axes, and the hit list of the last paint.
#pragma once

#include <cstdint>
#include <vector>

#include <QFont>
#include <QPoint>
#include <QRect>

class CGraphRange;

struct GraphHit {
    QPoint point;
    uint32_t row;
    uint32_t connect;
    uint64_t tid;
};

class CGraphDrawData {
public:
    CGraphDrawData();
    virtual ~CGraphDrawData() = default;

    // Recomputes both scales from the range's visible window and the plot
    // rectangle: 0.0 for both without a plot area or without a range.
    void UpdateScale();
    // Screen point of a data point; (-1, -1) without a range or scale.
    QPoint MapPoint(int64_t x, int64_t y) const;
    // Pixel column of a time, -1 outside the visible X window.
    int TimeToPixel(int64_t x) const;

    CGraphRange* Range = nullptr;
    QFont LabelFont;
    QFont TitleFont;
    QFont XTitleFont;
    QFont YTitleFont;
    QFont SpareFont;
    QRect WidgetRect;
    QRect PlotRect;
    double YUnitsPerPixel = 0.0;
    double XUnitsPerPixel = 0.0;
    int TickLength = 5;
    std::vector<GraphHit> Hits;
};
