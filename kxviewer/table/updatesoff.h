// A window's screen updates switched off for the life of one object, so
// that a command that changes many widgets is painted once, with every
// change in place, whichever way it leaves.
#pragma once

#include <QPointer>
#include <QWidget>

class UpdatesOff {
public:
    // Switches widget's updates off; does nothing for a null widget or one
    // whose updates are already off (their owner switches them back on).
    explicit UpdatesOff(QWidget* widget);
    // Switches them back on and has the window painted at its next turn.
    ~UpdatesOff();

    // The updates are switched back on once, by the object moved to.
    UpdatesOff(UpdatesOff&& other) noexcept;
    UpdatesOff(const UpdatesOff&) = delete;
    UpdatesOff& operator=(const UpdatesOff&) = delete;
    UpdatesOff& operator=(UpdatesOff&&) = delete;

private:
    QPointer<QWidget> widget_;
};
