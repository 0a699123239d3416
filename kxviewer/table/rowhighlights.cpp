#include "kxviewer/table/rowhighlights.h"

#include <QAction>
#include <QFontMetrics>
#include <QPainter>

#include "kxlib/table/kxsearchexpr.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/table/tabtable.h"

void RowHighlights::AddIfMatches(KxSearchExpression* expression, int32_t row, KxdRecord* record,
                                 const QColor& color, bool matchCase)
{
    if (!expression || !tab_->HighlightMatches(*expression, row, record))
        return;
    Entry entry;
    entry.color = color;
    entry.matchCase = matchCase;
    // The matched texts live in scratch buffers: copy them now.
    for (int f = 0; f < FIELD_Nums; ++f) {
        const SearchMatchSlot& slot = expression->matchSlots[f];
        if (!slot.set)
            continue;
        entry.fields[f].set = true;
        entry.fields[f].substring = slot.kind == SEARCH_SLOT_SUBSTRING;
        entry.fields[f].text = QString::fromLocal8Bit(slot.text ? slot.text : "");
    }
    entries_.push_back(std::move(entry));
}

void RowHighlights::Prepare(int32_t row, KxdRecord* record)
{
    entries_.clear();
    QAction* highlight = tab_->Actions[TACT_HIGHLIGHT];
    KxSearchExpression* live = tab_->Table->SearchExpression();
    if (highlight && highlight->isChecked() && tab_->CurFixedHighlight == -1 && live &&
        (live->mode == SEARCH_MODE_SIMPLE || live->mode == SEARCH_MODE_COMPLEX))
        AddIfMatches(live, row, record, QColor(QRgb(tab_->Prefs.ColorHighlight & 0xFFFFFF)), tab_->MatchCase != 0);
    for (const TabBase::FixedHighlight* pinned : tab_->FixedHighlights)
        AddIfMatches(pinned->expression, row, record, pinned->color, pinned->matchCase != 0);
}

void RowHighlights::PaintCell(const QString& text, QPainter* painter, int32_t field, const QRect& rect,
                              int alignment) const
{
    if (text.isEmpty() || field < 0 || field >= FIELD_Nums)
        return;
    const QFontMetrics metrics(painter->font());
    const int height = metrics.boundingRect(text).height();
    const int top = rect.top() + (rect.height() - height) / 2;
    const bool right = (alignment & Qt::AlignRight) != 0;
    // The span [from, to) of the text as painted in the rectangle.
    auto fill = [&](int from, int to, const QColor& color) {
        int left;
        int width;
        if (right) {
            const int after = metrics.horizontalAdvance(text.mid(to));
            width = metrics.horizontalAdvance(text.mid(from)) - after;
            left = rect.right() + 1 - after - width;
        } else {
            left = rect.left() + metrics.horizontalAdvance(text.left(from));
            width = metrics.horizontalAdvance(text.left(to)) - (left - rect.left());
        }
        painter->fillRect(QRect(left, top, width, height), color);
    };
    for (const Entry& entry : entries_) {
        const FieldMatch& match = entry.fields[field];
        if (!match.set)
            continue;
        if (!match.substring) {
            fill(0, text.size(), entry.color);
            continue;
        }
        // An empty phrase would be found at every position without moving on.
        if (match.text.isEmpty())
            continue;
        const Qt::CaseSensitivity cs = entry.matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive;
        for (int hit = text.indexOf(match.text, 0, cs); hit >= 0;
             hit = text.indexOf(match.text, hit + match.text.size(), cs))
            fill(hit, hit + match.text.size(), entry.color);
    }
}
