#include "kxviewer/graph/cgraphelement.h"

#include <cstdlib>

namespace {

QPen StartPen()
{
    QPen pen(QColor(0, 0, 0, 192), 1.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
    return pen;
}

template <typename T>
bool Grow(T*& array, int32_t n)
{
    void* grown = realloc(array, sizeof(T) * size_t(n));
    if (!grown)
        return false;
    array = static_cast<T*>(grown);
    return true;
}

} // namespace

CGraphElement::CGraphElement(uint64_t tid)
    : Tid(tid)
    , Pen(StartPen())
    , DashedPen(StartPen())
{
}

CGraphElement::~CGraphElement() { FreeArrays(); }

void CGraphElement::FreeArrays()
{
    free(X);
    free(Y);
    free(ConnectFlags);
    free(Rows);
    X = Y = nullptr;
    ConnectFlags = Rows = nullptr;
    Count = Capacity = 0;
}

int CGraphElement::Resize(int32_t n)
{
    if (n < 0) {
        FreeArrays();
        return -1;
    }
    if (n > Capacity) {
        if (!Grow(X, n) || !Grow(Y, n) || !Grow(ConnectFlags, n) || !Grow(Rows, n)) {
            FreeArrays();
            return -1;
        }
        Capacity = n;
    }
    Count = n;
    return 0;
}

void CGraphElement::SetColor(const QColor& colour)
{
    Pen.setColor(colour);
    Pen.setStyle(Qt::SolidLine);
    DashedPen.setColor(colour);
    DashedPen.setStyle(Qt::DashLine);
}

void CGraphElement::SetShown(bool shown)
{
    if (shown)
        Flags |= FLAG_SHOWN;
    else
        Flags &= ~FLAG_SHOWN;
}
