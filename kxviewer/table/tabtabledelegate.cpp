#include "kxviewer/table/tabtabledelegate.h"

#include <QPainter>
#include <QTableView>

#include "kxlib/kxdrecord.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/table/guiicons.h"
#include "kxviewer/table/tabtable.h"
#include "kxviewer/table/tabtablelook.h"

TabTableDelegate::TabTableDelegate(KxTable* table, TabTable* tab, QTableView* view)
    : QStyledItemDelegate(view), table_(table), tab_(tab), view_(view), highlights_(tab)
{
}

int TabTableDelegate::Indent(int iconWidth, int64_t nest)
{
    return int((iconWidth + 5) * (nest - 1) + 4);
}

bool TabTableDelegate::PrepareRow(int row) const
{
    preparedRow_ = -1;
    record_ = table_->FindRecord(row);
    if (!record_)
        return false;
    if (tab_->Prefs.Colorize)
        colorize_ = PrefGlobal::GetColor(tab_->GetColorizeColorNum(record_));
    if (record_->selRange)
        select_ = QColor(QRgb(record_->selRange->tag & 0xFFFFFF));
    highlights_.Prepare(row, record_);
    preparedRow_ = row;
    return true;
}

void TabTableDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const int row = index.row();
    if (row != preparedRow_ && !PrepareRow(row))
        return;
    const int column = index.column();
    const int32_t field = column < tab_->Prefs.columnCount ? tab_->Prefs.columns[column] : -1;
    const QRect cell = option.rect;

    painter->save();
    if (tab_->Prefs.Colorize)
        painter->fillRect(cell, colorize_);
    if (record_->selRange)
        painter->fillRect(cell, select_);
    if (row == view_->currentIndex().row()) {
        painter->setPen(QPen(QColor::fromRgba(TabTableLook::CurrentRowFrame), 1));
        painter->drawLine(cell.topLeft(), cell.topRight());
        painter->drawLine(cell.bottomLeft(), cell.bottomRight());
        painter->fillRect(cell, QColor::fromRgba(TabTableLook::CurrentRowFill));
    }

    QRect text = cell;
    if (field == FIELD_TEXT && tab_->Prefs.IndentText) {
        const int64_t nest = record_->Int64(FIELD_NEST);
        if (nest >= 1) {
            const int indent = Indent(SharedPixmap(PIX_ARROW_OUT).width(), nest);
            const QRect icon(QPoint(cell.left() + indent, cell.top()), option.decorationSize);
            text.setLeft(text.left() + indent + icon.width());
            const uint32_t flags = record_->Flags();
            if (flags & KXFLAGS_FUNC_ENTER)
                painter->drawPixmap(icon, SharedPixmap(nest == 1 ? PIX_ARROW_IN : PIX_ARROW_TURN_IN));
            else if (flags & KXFLAGS_FUNC_LEAVE)
                painter->drawPixmap(icon, SharedPixmap(nest == 1 ? PIX_ARROW_OUT : PIX_ARROW_TURN_OUT));
        }
    }

    const QString value = field >= 0 && field < FIELD_Nums ? QString::fromLocal8Bit(record_->Text(field)) : QString();
    if (!value.isEmpty()) {
        const int alignment = (FieldIsNumber(field) ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
        painter->setClipRect(cell);
        painter->setFont(view_->font());
        highlights_.PaintCell(value, painter, field, text.adjusted(TEXT_MARGIN, 1, -TEXT_MARGIN, -3), alignment);
        painter->setPen(option.palette.color(QPalette::Text));
        painter->drawText(text.adjusted(TEXT_MARGIN, 1, -TEXT_MARGIN, 1), alignment, value);
    }

    painter->setPen(QColor::fromRgba(TabTableLook::GridLine));
    switch (tab_->Prefs.Grid) {
    case 1:
        painter->drawLine(cell.topRight(), cell.bottomRight());
        painter->drawLine(cell.topLeft(), cell.topRight());
        break;
    case 2:
        painter->drawLine(cell.topLeft(), cell.topRight());
        break;
    case 3:
        painter->drawLine(cell.topRight(), cell.bottomRight());
        break;
    default:
        break;
    }
    painter->restore();
}
