// Paints the Outline's lines: the row number with the icons of the line's
// kinds, and the text with the pinned phrases' matches on their colours.
#pragma once

#include <QStyledItemDelegate>

class TabBase;

class OutlineDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    // The tab gives the bookmark picture.
    explicit OutlineDelegate(TabBase* tab);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    // The icons of column 0 in the box at the cell's right end.
    void PaintIcons(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index,
                    int flags) const;
    // Column 1's text with the highlighted spans.
    void PaintHighlighted(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index,
                          const QString& text, int alignment, int flags) const;

    TabBase* tab_;
};
