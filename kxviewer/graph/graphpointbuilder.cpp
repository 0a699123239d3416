#include "kxviewer/graph/graphpointbuilder.h"

#include "kxviewer/graph/cgraphelement.h"

void GraphPointBuilder::Append(int32_t i, int64_t time, int64_t level, uint32_t connect, uint32_t row)
{
    points_[size_t(i)].push_back({time, level, connect, row});
    ++total_;
}

const std::vector<GraphPoint>& GraphPointBuilder::Points(int32_t i) const
{
    static const std::vector<GraphPoint> none;
    return i >= 0 && i < int32_t(points_.size()) ? points_[size_t(i)] : none;
}

bool GraphPointBuilder::Joined(int64_t before, int64_t after)
{
    // In 128 bits: times at both 64-bit ends do not overflow.
    const __int128 gap = __int128(after) - before;
    return gap <= MAX_FORWARD_GAP && -gap <= MAX_BACKWARD_GAP;
}

void GraphPointBuilder::Add(int64_t time, uint64_t tid, int32_t i, int64_t nest, bool leave, uint32_t row)
{
    if (i < 0 || i >= MAX_THREADS) {
        skippedTids_.insert(tid);
        ++skippedRecords_;
        return;
    }
    if (i >= int32_t(points_.size()))
        points_.resize(size_t(i) + 1);
    minTime_ = time < minTime_ ? time : minTime_;
    maxTime_ = time > maxTime_ ? time : maxTime_;
    maxNest_ = nest > maxNest_ ? nest : maxNest_;
    int64_t y = nest + 1;
    if (i != prevIndex_) {
        if (!points_[size_t(i)].empty()) {
            Append(i, time, y, CGraphElement::ALONE, row);
        } else {
            Append(i, time, 0, CGraphElement::STEP, row);
            Append(i, time, y, CGraphElement::RECORD, row);
        }
        if (prevIndex_ >= 0 && prevTime_ < time)
            Append(prevIndex_, time, lastLevel_, CGraphElement::STEP, row);
    } else {
        if (nest != lastNest_)
            Append(i, time, lastLevel_, CGraphElement::STEP, row);
        Append(i, time, y, CGraphElement::RECORD, row);
        if (leave) {
            Append(i, time, nest, CGraphElement::STEP, row);
            y = nest;
            nest -= 1;
        }
    }
    prevTime_ = time;
    lastLevel_ = y;
    lastNest_ = nest;
    prevIndex_ = i;
}
