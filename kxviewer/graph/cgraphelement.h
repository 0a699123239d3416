// One thread's line of the graph: its points in table row order (time,
// level, how the point joins the previous one, table row), its pens and the
// level pyramid built once over its points. Kept in the model's element list
// in creation order; the list does not own it.
#pragma once

#include <cstdint>

#include <QPen>

#include "kxviewer/graph/graphlevels.h"
#include "utils/common/dlist.h"

class CGraphElement : public ZmLib::DListEntry<CGraphElement> {
public:
    // How a point joins the previous point of its line.
    enum Connect : uint32_t {
        ALONE = 0,  // no line from the previous point
        RECORD = 1, // the point of a record, joined by a line
        STEP = 2,   // a step point, joined by a line
    };
    static constexpr uint32_t FLAG_SHOWN = 1;

    explicit CGraphElement(uint64_t tid);
    CGraphElement(const CGraphElement&) = delete;
    CGraphElement& operator=(const CGraphElement&) = delete;
    virtual ~CGraphElement();

    // Grows the four arrays to at least n entries and sets the count to n;
    // never shrinks. A failed allocation frees the arrays, leaves no points
    // and returns -1; else 0.
    int Resize(int32_t n);
    // Both pens take the colour: the first solid, the second dashed (a
    // segment that goes back in time).
    void SetColor(const QColor& colour);
    void SetShown(bool shown);
    bool Shown() const { return (Flags & FLAG_SHOWN) != 0; }

    uint64_t Tid;
    uint32_t Flags = FLAG_SHOWN;
    int32_t Count = 0;
    int32_t Capacity = 0;
    int64_t* X = nullptr;
    int64_t* Y = nullptr;
    uint32_t* ConnectFlags = nullptr;
    uint32_t* Rows = nullptr;
    QPen Pen;
    QPen DashedPen;
    GraphLevels Levels;

private:
    void FreeArrays();
};
