#include "kxviewer/graph/cgraphrange.h"

bool CGraphRange::SetRange(int64_t xMin, int64_t xMax, int64_t yMin, int64_t yMax, bool, bool setLimits)
{
    visibleX_ = {xMin, xMax};
    visibleY_ = {yMin, yMax};
    if (setLimits) {
        fullX_ = visibleX_;
        fullY_ = visibleY_;
        zoomed_ = 0;
    }
    return true;
}
