#include "kxviewer/timeiconarea.h"

#include "kxviewer/systemlogplaintext.h"

TimeIconArea::TimeIconArea(SystemLogPlainText* view) : QWidget(view), view_(view) {}

QSize TimeIconArea::sizeHint() const { return QSize(SystemLogPlainText::GUTTER_WIDTH, 0); }

void TimeIconArea::paintEvent(QPaintEvent* event) { view_->timeIconAreaPaintEvent(event); }
