#include "kxviewer/table/findlineedit.h"

#include <algorithm>

#include <QAction>
#include <QFontMetrics>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

#include "kxviewer/table/tabactionids.h"
#include "kxviewer/table/tabbase.h"

namespace {
// QLineEdit's own margin between its contents rectangle and the text.
constexpr int TEXT_MARGIN = 2;
} // namespace

QString LineEdit::LastPaintedText;

LineEdit::LineEdit(TabBase* owner, QWidget* parent) : QLineEdit(parent), Owner(owner) {}

void LineEdit::paintEvent(QPaintEvent* event)
{
    QLineEdit::paintEvent(event);
    const QString shown = text();
    LastPaintedText = shown;
    if (CursorMoved || !Owner)
        return;
    QAction* pin = Owner->Actions[TACT_PIN];
    const TabBase::FixedHighlight* found = nullptr;
    for (const TabBase::FixedHighlight* highlight : Owner->FixedHighlights) {
        if (highlight->text == shown) {
            found = highlight;
            break;
        }
    }
    if (pin)
        pin->setChecked(found != nullptr);
    if (!found)
        return;
    QStyleOptionFrame option;
    initStyleOption(&option);
    QRect area = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
    // Where the line edit itself lays out its text: inside the text margins
    // and its fixed horizontal margin. The font's minimum left bearing is
    // no guide: a single glyph of a large font moves it by a whole letter.
    const QFontMetrics metrics(font());
    area.setLeft(area.left() + textMargins().left() + TEXT_MARGIN);
    area.setWidth(std::min(metrics.horizontalAdvance(shown) + TEXT_MARGIN,
                           area.width() - textMargins().right() - TEXT_MARGIN));
    QPainter painter(this);
    painter.fillRect(area, found->color);
    painter.setPen(palette().color(QPalette::Text));
    painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter, metrics.elidedText(shown, Qt::ElideRight, area.width()));
}
