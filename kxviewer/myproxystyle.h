// The application style: the platform's style with the cancel button of
// every progress dialog centred.
#pragma once

#include <QProxyStyle>

class MyProxyStyle : public QProxyStyle {
    Q_OBJECT

public:
    MyProxyStyle() = default;
    int styleHint(StyleHint hint, const QStyleOption* option = nullptr, const QWidget* widget = nullptr,
                  QStyleHintReturn* returnData = nullptr) const override;
};
