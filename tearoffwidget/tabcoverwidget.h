// The mark over a tab chosen with Ctrl and a click: a picture of the tab on
// a light yellow ground, laid over the tab in the main window. Commands that
// act on two documents read the marked tabs from the main window.
#pragma once

#include <cstdint>

#include <QPixmap>
#include <QPointer>
#include <QWidget>

class TearOffTabBar;

class TabCoverWidget : public QWidget {
    Q_OBJECT

public:
    // The mark's ground.
    static constexpr QRgb MarkColor = 0xfff29d;

    // A mark of the tab at index of owner, a child of parent.
    TabCoverWidget(TearOffTabBar* owner, int32_t index, QWidget* parent);

    QPixmap Pixmap;
    QPointer<TearOffTabBar> Owner;
    int32_t TabIndex;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
};
