// Points and pixels of widgets for the widget tests, taken from the widgets'
// own styles and from the grabbed images' device pixel ratio, so that they
// hold with any font, resolution and scale.
#pragma once

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QImage>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>

// The centre of a check box's or radio button's indicator, where a click
// toggles it whatever its text and width.
inline QPoint IndicatorCentre(const QAbstractButton* button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    option.icon = button->icon();
    option.iconSize = button->iconSize();
    const bool radio = qobject_cast<const QRadioButton*>(button) != nullptr;
    return button->style()
        ->subElementRect(radio ? QStyle::SE_RadioButtonIndicator : QStyle::SE_CheckBoxIndicator, &option, button)
        .center();
}

// The device pixel that covers the middle of a logical pixel of a grabbed
// image.
inline QPoint DevicePixel(const QImage& image, QPoint logical)
{
    const qreal ratio = image.devicePixelRatio();
    return QPoint(int((logical.x() + 0.5) * ratio), int((logical.y() + 0.5) * ratio));
}

// The colour of a logical pixel of a grabbed image.
inline QRgb LogicalPixel(const QImage& image, QPoint logical) { return image.pixel(DevicePixel(image, logical)); }
inline QRgb LogicalPixel(const QImage& image, int x, int y) { return LogicalPixel(image, QPoint(x, y)); }

// A logical rectangle of a grabbed image, at one pixel per logical pixel.
inline QImage LogicalCopy(const QImage& image, const QRect& logical)
{
    QImage copy(logical.size(), QImage::Format_ARGB32);
    for (int y = 0; y < logical.height(); ++y)
        for (int x = 0; x < logical.width(); ++x)
            copy.setPixel(x, y, LogicalPixel(image, logical.topLeft() + QPoint(x, y)));
    return copy;
}

// The size of the icons an item view's delegate is given.
inline QSize DecorationSize(const QAbstractItemView* view)
{
    if (view->iconSize().isValid())
        return view->iconSize();
    const int side = view->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, view);
    return QSize(side, side);
}
