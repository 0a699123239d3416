#include "kxviewer/table/backgrounddelegate.h"

#include <QIcon>
#include <QPainter>

#include "kxviewer/table/rowdelegatelook.h"

namespace {
constexpr int ICON_LEFT = 3;
constexpr int ICON_TOP = 2;
constexpr int ICON_GAP = 9;
} // namespace

BackgroundDelegate::BackgroundDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

void BackgroundDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QRect& cell = option.rect;
    painter->save();
    RowDelegateLook::FillBackground(painter, cell, index, option.palette.base());
    painter->setPen(RowDelegateLook::GridColor());
    painter->drawLine(cell.topRight(), cell.bottomRight());
    painter->restore();
    if (!(option.state & QStyle::State_Selected)) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    painter->save();
    RowDelegateLook::PaintSelectionFrame(painter, cell, index.column());
    painter->setPen(option.palette.color(QPalette::Text));
    const QString text = index.data(Qt::DisplayRole).toString();
    const int alignment = index.data(Qt::TextAlignmentRole).toInt();
    const QVariant decoration = index.data(Qt::DecorationRole);
    if (decoration.canConvert<QIcon>() && !decoration.value<QIcon>().isNull()) {
        const QPixmap picture = decoration.value<QIcon>().pixmap(option.decorationSize);
        painter->drawPixmap(cell.adjusted(ICON_LEFT, ICON_TOP, 0, 0).topLeft(), picture);
        painter->drawText(cell.adjusted(picture.width() + ICON_GAP, 0, 0, 0), alignment, text);
    } else {
        painter->drawText((alignment & Qt::AlignLeft) ? cell.adjusted(ICON_LEFT, 0, 0, 0) : cell, alignment, text);
    }
    painter->restore();
}
