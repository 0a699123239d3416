#include "kxviewer/table/scrollbar.h"

#include <algorithm>

#include <QPainter>

#include "kxlib/table/kxtable.h"
#include "kxviewer/preftabtable.h"
#include "kxviewer/table/tabtablelook.h"

ScrollBar::ScrollBar(KxTable* table, const PrefTabTable& prefs, QWidget* parent)
    : QScrollBar(Qt::Vertical, parent), table_(table), prefs_(prefs)
{
}

int ScrollBar::MarkY(int height, int minimum, int maximum, int pageStep, int64_t row)
{
    // An empty table leaves the range and the page step at 0.
    const int64_t span = int64_t(maximum) - minimum + pageStep;
    if (span <= 0)
        return -1;
    return int(int64_t(height - 40) * row / span + 20);
}

void ScrollBar::paintEvent(QPaintEvent* event)
{
    QScrollBar::paintEvent(event);
    const int h = height();
    auto y = [&](int64_t row) { return MarkY(h, minimum(), maximum(), pageStep(), row); };
    if (y(0) < 0)
        return;

    QPainter painter(this);
    for (SelRange* r = table_->FirstRange(); r; r = r->NextEntry()) {
        const int top = y(r->first);
        const int bottom = y(int64_t(r->first) + r->count - 1);
        painter.fillRect(1, top, 5, std::max(bottom - top, 3), QColor(QRgb(r->tag & 0xFFFFFF)));
    }
    const QColor bookmark(QRgb(prefs_.ColorBookmark & 0xFFFFFF));
    const int centre = width() / 2;
    for (KxBkmarkEntry* b = table_->Bookmarks().First(); b; b = b->NextEntry())
        painter.fillRect(centre - 3, y(b->index), 6, 6, bookmark);
    const int current = table_->CurRow();
    if (current >= 0)
        painter.fillRect(1, y(current), width() - 1, 3, QColor::fromRgba(TabTableLook::ScrollBarCurrentRow));
}
