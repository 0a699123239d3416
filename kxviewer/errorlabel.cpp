#include "kxviewer/errorlabel.h"

#include <QPalette>

ErrorLabel::ErrorLabel(int timeoutMs, QWidget* parent)
    : QLabel(parent, Qt::ToolTip | Qt::BypassGraphicsProxyWidget), timeoutMs_(timeoutMs)
{
    setAlignment(Qt::AlignCenter);
    setAutoFillBackground(true);
    QPalette colours = palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        colours.setColor(group, QPalette::Window, Qt::red);
        colours.setColor(group, QPalette::WindowText, Qt::white);
    }
    setPalette(colours);
}

void ErrorLabel::ShowMessage(const QString& text, const QPoint& point)
{
    setText(text);
    startTimer(timeoutMs_);
    show();
    const QSize natural = sizeHint();
    setGeometry(point.x(), point.y(), natural.width() + 10, natural.height() + 5);
}

void ErrorLabel::timerEvent(QTimerEvent*)
{
    close();
    deleteLater();
}
