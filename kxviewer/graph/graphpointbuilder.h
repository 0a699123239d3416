// Turns records, in table row order, into the points of one line per
// thread: a thread's first record rises from level 0, nesting changes step
// horizontally, a leave drops back at the same time, and a thread switch
// carries the previous thread to the switch time at its last level.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_set>
#include <vector>

struct GraphPoint {
    int64_t time;
    int64_t level;
    uint32_t connect;
    uint32_t row;
};

class GraphPointBuilder {
public:
    // Records of threads past the table's thread list have no line.
    static constexpr int32_t MAX_THREADS = 1024;
    // Points further apart than this in time are not joined by a line.
    static constexpr int64_t MAX_FORWARD_GAP = 10000;
    static constexpr int64_t MAX_BACKWARD_GAP = 100;

    // threadIndex: the record's thread's place in the thread list, -1 when
    // it has none.
    void Add(int64_t time, uint64_t tid, int32_t threadIndex, int64_t nest, bool leave, uint32_t row);
    // Whether point j of a line joins point j - 1 by time alone.
    static bool Joined(int64_t before, int64_t after);

    // Points of the thread at place i (in building order, connect flags not
    // yet cut by time gaps); empty past the last thread seen.
    const std::vector<GraphPoint>& Points(int32_t i) const;
    int32_t ThreadSlots() const { return int32_t(points_.size()); }
    size_t TotalPoints() const { return total_; }
    bool Empty() const { return total_ == 0; }
    int64_t MinTime() const { return minTime_; }
    int64_t MaxTime() const { return maxTime_; }
    int64_t MaxNest() const { return maxNest_; }
    // Threads, and their records, that had no place in the list.
    size_t SkippedThreads() const { return skippedTids_.size(); }
    uint64_t SkippedRecords() const { return skippedRecords_; }

private:
    void Append(int32_t i, int64_t time, int64_t level, uint32_t connect, uint32_t row);

    std::vector<std::vector<GraphPoint>> points_;
    size_t total_ = 0;
    // The largest time starts at the smallest value so that a log whose
    // times are all negative keeps its own end.
    int64_t minTime_ = INT64_MAX;
    int64_t maxTime_ = INT64_MIN;
    int64_t maxNest_ = 0;
    int32_t prevIndex_ = -1;
    int64_t prevTime_ = 0;
    int64_t lastLevel_ = 0;
    int64_t lastNest_ = -1;
    std::unordered_set<uint64_t> skippedTids_;
    uint64_t skippedRecords_ = 0;
};
