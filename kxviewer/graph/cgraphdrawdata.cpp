#include "kxviewer/graph/cgraphdrawdata.h"

#include "kxviewer/graph/cgraphrange.h"

CGraphDrawData::CGraphDrawData()
    : LabelFont(QStringLiteral("Arial"), 12)
    , TitleFont(QStringLiteral("Arial"), 18)
    , XTitleFont(QStringLiteral("Arial"), 12)
    , YTitleFont(QStringLiteral("Arial"), 12)
{
}

void CGraphDrawData::UpdateScale()
{
    if (!Range || PlotRect.width() <= 0 || PlotRect.height() <= 0) {
        XUnitsPerPixel = YUnitsPerPixel = 0.0;
        return;
    }
    // Spans as unsigned: a window from the smallest to the largest time
    // does not overflow.
    XUnitsPerPixel = double(Range->VisibleX().Span()) / PlotRect.width();
    YUnitsPerPixel = double(Range->VisibleY().Span()) / PlotRect.height();
}

QPoint CGraphDrawData::MapPoint(int64_t x, int64_t y) const
{
    if (!Range || XUnitsPerPixel <= 0.0 || YUnitsPerPixel <= 0.0)
        return QPoint(-1, -1);
    const double dx = (double(x) - double(Range->VisibleX().min)) / XUnitsPerPixel;
    const double dy = (double(y) - double(Range->VisibleY().min)) / YUnitsPerPixel;
    // Far outside the window the pixel is held to a range QPoint can take.
    auto clampPixel = [](double v) { return int(v < -1e6 ? -1e6 : v > 1e6 ? 1e6 : v); };
    return QPoint(PlotRect.left() + clampPixel(dx), PlotRect.bottom() - clampPixel(dy));
}

int CGraphDrawData::TimeToPixel(int64_t x) const
{
    if (!Range || XUnitsPerPixel <= 0.0)
        return -1;
    const GraphPair window = Range->VisibleX();
    if (x < window.min || x > window.max)
        return -1;
    return PlotRect.left() + int(double(uint64_t(x) - uint64_t(window.min)) / XUnitsPerPixel);
}
