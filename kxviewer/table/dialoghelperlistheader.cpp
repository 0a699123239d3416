#include "kxviewer/table/dialoghelperlistheader.h"

#include <QPainter>

DialogHelperListHeader::DialogHelperListHeader(Qt::Orientation orientation, QWidget* parent)
    : QHeaderView(orientation, parent)
{
}

void DialogHelperListHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const
{
    painter->save();
    QHeaderView::paintSection(painter, rect, logicalIndex);
    painter->restore();
    // One pixel of the base section stays at the right and the bottom as the
    // separator between sections.
    painter->fillRect(rect.adjusted(0, 0, -1, -1), QColor(SECTION_FILL));
    const QString text = model() ? model()->headerData(logicalIndex, orientation(), Qt::DisplayRole).toString()
                                 : QString();
    const Qt::Alignment alignment =
        orientation() == Qt::Horizontal ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter;
    painter->save();
    painter->setPen(Qt::black);
    painter->drawText(rect.adjusted(2, 0, -2, 0), int(alignment), text);
    painter->restore();
}
