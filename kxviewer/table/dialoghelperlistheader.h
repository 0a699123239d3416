// The header of the table dialogs' lists: a flat light-grey section with the
// header text in black, whatever the style paints for a header.
#pragma once

#include <QHeaderView>

class DialogHelperListHeader : public QHeaderView {
    Q_OBJECT

public:
    static constexpr QRgb SECTION_FILL = 0xF1F1F1;

    DialogHelperListHeader(Qt::Orientation orientation, QWidget* parent);

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
};
