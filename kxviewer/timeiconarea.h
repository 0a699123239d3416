// The gutter of the System Log view; the view paints it.
#pragma once

#include <QWidget>

class SystemLogPlainText;

class TimeIconArea : public QWidget {
    Q_OBJECT

public:
    explicit TimeIconArea(SystemLogPlainText* view);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    SystemLogPlainText* view_;
};
