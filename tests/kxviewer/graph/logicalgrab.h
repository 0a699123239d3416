// A widget's grab read in the widget's own coordinates. Under a scale
// factor the grab holds more device pixels than the widget has logical
// ones: each logical pixel is read at the device pixel nearest its centre,
// so that tests place their reads by the widget's metrics on any screen.
#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <QWidget>
#include <gtest/gtest.h>

class LogicalGrab {
public:
    explicit LogicalGrab(QWidget& widget) : image_(widget.grab().toImage()), rect_(QPoint(0, 0), widget.size()) {}

    QRect Rect() const { return rect_; }
    // A pixel outside the widget fails the test: a read there tells nothing.
    QColor At(int x, int y) const
    {
        if (!rect_.contains(x, y)) {
            ADD_FAILURE() << "pixel (" << x << ", " << y << ") lies outside the widget's " << rect_.width() << " x "
                          << rect_.height();
            return QColor();
        }
        const double ratio = image_.devicePixelRatio();
        return image_.pixelColor(int((x + 0.5) * ratio), int((y + 0.5) * ratio));
    }
    QColor At(const QPoint& at) const { return At(at.x(), at.y()); }
    // The pixels of an area that have the colour.
    int Count(const QRect& area, const QColor& colour) const
    {
        int n = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                n += At(x, y) == colour ? 1 : 0;
        return n;
    }

private:
    QImage image_;
    QRect rect_;
};
