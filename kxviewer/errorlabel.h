// A short-lived red message shown over the import-format editor at the place
// of the problem; it closes itself after its timeout and is deleted.
#pragma once

#include <QLabel>

class ErrorLabel : public QLabel {
    Q_OBJECT
public:
    ErrorLabel(int timeoutMs, QWidget* parent);

    // Shows text with the label's top-left corner at point (global
    // coordinates), a little larger than the text needs.
    void ShowMessage(const QString& text, const QPoint& point);

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    int timeoutMs_;
};
