#include "kxviewer/table/rowdelegatelook.h"

#include <QModelIndex>
#include <QPainter>
#include <QRect>

namespace RowDelegateLook {

const QColor& GridColor()
{
    static const QColor grid(200, 200, 200, 220);
    return grid;
}

QPen SelectionPen()
{
    return QPen(QBrush(Qt::black), 1, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
}

void FillBackground(QPainter* painter, const QRect& cell, const QModelIndex& index, const QBrush& base)
{
    const QVariant background = index.data(Qt::BackgroundRole);
    painter->fillRect(cell, background.canConvert<QBrush>() ? background.value<QBrush>() : base);
}

void PaintSelectionFrame(QPainter* painter, const QRect& cell, int column)
{
    const int x = cell.x();
    const int y = cell.y();
    const int w = cell.width();
    const int h = cell.height();
    painter->save();
    painter->setPen(SelectionPen());
    painter->drawLine(x, y, x + w, y);
    painter->drawLine(x, y + h - 1, x + w, y + h - 1);
    const int upright = column == 0 ? x + 1 : x + w - 1;
    painter->drawLine(upright, y, upright, y + h - 1);
    painter->restore();
}

} // namespace RowDelegateLook
