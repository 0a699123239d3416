#include "kxviewer/table/updatesoff.h"

#include <QCoreApplication>
#include <QEvent>

UpdatesOff::UpdatesOff(QWidget* widget)
{
    if (widget && widget->updatesEnabled()) {
        widget->setUpdatesEnabled(false);
        widget_ = widget;
    }
}

UpdatesOff::UpdatesOff(UpdatesOff&& other) noexcept : widget_(other.widget_) { other.widget_.clear(); }

UpdatesOff::~UpdatesOff()
{
    if (!widget_)
        return;
    widget_->setUpdatesEnabled(true);
    // A turn of the event loop while updates were off synced the window's
    // backing store without painting: Qt keeps the widgets marked then as
    // dirty but asks for no further sync, and the update() calls that follow
    // wait for one that never comes (until the window is exposed again).
    // Ask for it.
    QCoreApplication::postEvent(widget_->window(), new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
}
