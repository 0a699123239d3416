// The table view's vertical scroll bar: over the standard bar it marks where
// the selection ranges, the bookmarks (in the document's bookmark colour) and
// the current row lie in the whole table.
#pragma once

#include <QScrollBar>

class KxTable;
struct PrefTabTable;

class ScrollBar : public QScrollBar {
    Q_OBJECT

public:
    ScrollBar(KxTable* table, const PrefTabTable& prefs, QWidget* parent);

    // The y of a row's mark for a bar of the given height and range, or -1
    // when the range is empty (nothing to mark).
    static int MarkY(int height, int minimum, int maximum, int pageStep, int64_t row);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    KxTable* table_;
    const PrefTabTable& prefs_;
};
