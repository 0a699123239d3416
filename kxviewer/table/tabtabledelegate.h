// Paints every cell of a table tab: colourise and selection fills, the
// current-row frame, highlighted phrases, the nesting indent with its
// function icons, and the grid. A row's colours and highlights are prepared
// once and shared by its cells.
#pragma once

#include <QColor>
#include <QStyledItemDelegate>

#include "kxviewer/table/rowhighlights.h"

class KxTable;
class QTableView;
class TabTable;
struct KxdRecord;

class TabTableDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    // Pixels between a cell's text and its left and right edges.
    static constexpr int TEXT_MARGIN = 4;

    TabTableDelegate(KxTable* table, TabTable* tab, QTableView* view);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // Forgets the prepared row. The view calls it before every paint pass,
    // so a row's colours never outlive a change of rows or selections.
    void Invalidate() { preparedRow_ = -1; }

    // The left indent of a TEXT cell at the nesting level, in pixels.
    static int Indent(int iconWidth, int64_t nest);

private:
    // Takes the row's record, colours and highlights; false when the row is
    // no longer in the table.
    bool PrepareRow(int row) const;

    KxTable* table_;
    TabTable* tab_;
    QTableView* view_;
    mutable int preparedRow_ = -1;
    mutable KxdRecord* record_ = nullptr;
    mutable RowHighlights highlights_;
    mutable QColor colorize_;
    mutable QColor select_;
};
