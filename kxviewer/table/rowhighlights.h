// The highlight phrases that match one record: the live search (while
// "&Highlight Matches" is on and no pinned phrase is current) and every
// pinned phrase. The delegate prepares it once per row and paints each
// cell's hits from it.
#pragma once

#include <cstdint>
#include <vector>

#include <QColor>
#include <QString>

#include "kxlib/fields.h"

class QFont;
class QPainter;
class QRect;
class KxSearchExpression;
class TabTable;
struct KxdRecord;

class RowHighlights {
public:
    // One field's outcome of the entry's match, kept beyond the scratch
    // buffer the expression wrote it to.
    struct FieldMatch {
        bool set = false;
        bool substring = false;
        QString text;
    };
    struct Entry {
        QColor color;
        bool matchCase = true;
        FieldMatch fields[FIELD_Nums];
    };

    explicit RowHighlights(TabTable* tab) : tab_(tab) {}

    void Prepare(int32_t row, KxdRecord* record);
    void Clear() { entries_.clear(); }
    bool IsEmpty() const { return entries_.empty(); }
    const std::vector<Entry>& Entries() const { return entries_; }

    void PaintCell(const QString& text, QPainter* painter, int32_t field, const QRect& rect, int alignment) const;

private:
    // Adds an entry when the expression matches the record of the row.
    void AddIfMatches(KxSearchExpression* expression, int32_t row, KxdRecord* record, const QColor& color,
                      bool matchCase);

    TabTable* tab_;
    std::vector<Entry> entries_;
};
