#include "kxviewer/table/outlinedelegate.h"

#include <algorithm>

#include <QPainter>

#include "kxviewer/prefdata.h"
#include "kxviewer/table/guiicons.h"
#include "kxviewer/table/outlineroles.h"
#include "kxviewer/table/rowdelegatelook.h"
#include "kxviewer/table/tabbase.h"

namespace {
constexpr int ICON_BOX = 20;
constexpr int NUMBER_SHIFT = 21;
constexpr int TEXT_DROP = 2;

const QPixmap& LevelIcon(int severity)
{
    const int last = PIX_TYPE6_FUNCE - PIX_TYPE4_VERIFY;
    return SharedPixmap(SharedPixmapId(PIX_TYPE4_VERIFY + std::clamp(severity, 0, last)));
}

QColor RoleColor(const QModelIndex& index, int role)
{
    return index.data(role).value<QColor>();
}
} // namespace

OutlineDelegate::OutlineDelegate(TabBase* tab) : QStyledItemDelegate(tab), tab_(tab) {}

void OutlineDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QRect& cell = option.rect;
    painter->save();
    RowDelegateLook::FillBackground(painter, cell, index, option.palette.base());
    const int column = index.column();
    QFont font = option.font;
    if (column == 0) {
        painter->setPen(RowDelegateLook::GridColor());
        painter->drawLine(cell.topRight(), cell.bottomRight());
        font = PrefGlobal::Fonts[FONT_LINE_NUMBERS];
    }
    const QString text = index.data(Qt::DisplayRole).toString();
    const int alignment = index.data(Qt::TextAlignmentRole).toInt();
    if (option.state & QStyle::State_Selected)
        RowDelegateLook::PaintSelectionFrame(painter, cell, column);
    const int flags = index.data(OUTLINE_ROLE_FLAGS).toInt();
    painter->setPen(option.palette.color(QPalette::Text));
    painter->setFont(font);
    if (column == 0) {
        if (flags)
            PaintIcons(painter, option, index, flags);
        painter->drawText(cell.adjusted(-NUMBER_SHIFT, TEXT_DROP, -NUMBER_SHIFT, TEXT_DROP), alignment, text);
    } else if (flags) {
        PaintHighlighted(painter, option, index, text, alignment, flags);
    }
    painter->restore();
}

void OutlineDelegate::PaintIcons(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index,
                                 int flags) const
{
    const QRect& cell = option.rect;
    const QRect box(cell.adjusted(cell.width() - ICON_BOX, 2, 0, 2).topLeft(), option.decorationSize);
    if (flags & OUTLINE_VIEW_ERROR)
        painter->drawPixmap(box, SharedPixmap(PIX_LINE0_EXCLAMATION));
    else if (flags & (OUTLINE_DATA_WARNING | OUTLINE_DATA_ERROR))
        painter->drawPixmap(box, LevelIcon(index.data(OUTLINE_ROLE_SEVERITY).toInt()));
    if ((flags & OUTLINE_BOOKMARK) && tab_)
        painter->drawPixmap(box, tab_->TabPixmap);
}

void OutlineDelegate::PaintHighlighted(QPainter* painter, const QStyleOptionViewItem& option,
                                       const QModelIndex& index, const QString& text, int alignment,
                                       int flags) const
{
    const QRect& cell = option.rect;
    const QRect textRect = cell.adjusted(RowDelegateLook::TEXT_MARGIN, TEXT_DROP, RowDelegateLook::TEXT_MARGIN,
                                         TEXT_DROP);
    if (!(flags & OUTLINE_HIGHLIGHT)) {
        painter->drawText(textRect, alignment, text);
        return;
    }
    const QFont& highlightFont = PrefGlobal::Fonts[FONT_TABLE_VIEW];
    const QFontMetrics highlightMetrics(highlightFont);
    const int start = index.data(OUTLINE_ROLE_HIGHLIGHT_START).toInt();
    const int end = index.data(OUTLINE_ROLE_HIGHLIGHT_END).toInt();
    const QString prefix = text.left(start);
    const QString rest = text.mid(start);
    const int offset = QFontMetrics(option.font).horizontalAdvance(prefix) + RowDelegateLook::TEXT_MARGIN;
    const QRect span =
        highlightMetrics.boundingRect(cell.adjusted(offset, 0, offset, 0), alignment, text.mid(start, end - start));
    const int blank = (flags & OUTLINE_SECOND_HIGHLIGHT) ? highlightMetrics.horizontalAdvance(QLatin1Char(' ')) : 0;
    painter->fillRect(span.adjusted(0, 2, -blank, 2), RoleColor(index, OUTLINE_ROLE_HIGHLIGHT_COLOR));
    if (flags & OUTLINE_SECOND_HIGHLIGHT) {
        const int moreStart = index.data(OUTLINE_ROLE_MORE_START).toInt();
        const int moreEnd = index.data(OUTLINE_ROLE_MORE_END).toInt();
        // The " more..." part lies after whatever the highlight font drew
        // before it.
        const int moreOffset = offset + highlightMetrics.horizontalAdvance(text.mid(start, moreStart - start));
        const QRect more = highlightMetrics.boundingRect(cell.adjusted(moreOffset, 0, moreOffset, 0), alignment,
                                                         text.mid(moreStart, moreEnd - moreStart));
        painter->fillRect(more.adjusted(0, 2, 0, 2), RoleColor(index, OUTLINE_ROLE_MORE_COLOR));
    }
    painter->drawText(textRect, alignment, prefix);
    painter->setFont(highlightFont);
    painter->drawText(cell.adjusted(offset, TEXT_DROP, offset, TEXT_DROP), alignment, rest);
}
