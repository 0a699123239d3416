// The visible window and the full range (limits) of a graph on two axes,
// signed 64-bit each: X in microseconds of record time, Y in nesting levels.
// Base of the graph widget and of the graph slider.
#pragma once

#include <cstdint>

struct GraphPair {
    int64_t min = 0;
    int64_t max = 0;
    // Width of the pair without overflow, whatever the values.
    uint64_t Span() const { return max >= min ? uint64_t(max) - uint64_t(min) : 0; }
};

class CGraphRange {
public:
    virtual ~CGraphRange() = default;

    // Stores the visible window; with setLimits the full range too, and the
    // zoomed flag clears. update is the owner's (a repaint).
    virtual bool SetRange(int64_t xMin, int64_t xMax, int64_t yMin, int64_t yMax, bool update, bool setLimits);

    GraphPair VisibleY() const { return visibleY_; }
    GraphPair VisibleX() const { return visibleX_; }
    GraphPair FullY() const { return fullY_; }
    GraphPair FullX() const { return fullX_; }
    bool Zoomed() const { return zoomed_ != 0; }
    void SetZoomed(bool zoomed) { zoomed_ = zoomed ? 1 : 0; }

private:
    GraphPair visibleY_;
    GraphPair visibleX_;
    GraphPair fullY_;
    GraphPair fullX_;
    uint8_t zoomed_ = 0;
};
