// Paints the rows of the colour-scheme table: a selected row keeps its
// colour under a black frame, an unselected one is the standard look over
// the filled background.
#pragma once

#include <QStyledItemDelegate>

class BackgroundDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    explicit BackgroundDelegate(QObject* parent);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
