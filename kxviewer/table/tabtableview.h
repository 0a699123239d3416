// The table view of a table tab. Qt's own selection is off: keys and mouse
// gestures select rows in the record table's selection ranges, which the
// delegate paints. The view also removes and moves columns for the column
// drag of the main window.
#pragma once

#include <cstdint>

#include <QTableView>

class KxTable;
class TabTable;

class TabTableView : public QTableView {
    Q_OBJECT

public:
    explicit TabTableView(TabTable* tab);

    TabTable* Tab() const { return tab_; }

    // Repaints the cells, the row header and the scroll bar's marks.
    void RepaintAll();
    // The dragged column leaves the view (not the last one).
    void RemoveColumn();
    // The dragged column was dropped on the column header at pos (header
    // coordinates): it trades places with the column there.
    void OnColumnMoved(const QPoint& pos);

    bool eventFilter(QObject* object, QEvent* event) override;
    // Lays the rows and columns out again for the fonts of the cells and
    // the row numbers, once the view shows its tab's model.
    void FontsChanged();

    // The column a column drag started from.
    int32_t DraggedColumn = -1;

public slots:
    void updateSectionWidth(int logicalIndex, int oldSize, int newSize);
    void onCurrentChanged(const QModelIndex& current, const QModelIndex& previous);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool IsSelected(int32_t row) const;
    // Sets rows a..b (either order, clamped to the rows) in the tab's colour.
    void SetRows(int32_t a, int32_t b, bool select);
    void MakeCurrent(int32_t row);
    void KeyPress(const QKeyEvent* key, int32_t current);
    void KeyRelease(const QKeyEvent* key, int32_t current);
    void LeftPress(const QMouseEvent* mouse, int32_t row);
    void ShiftPress(int32_t row);
    void LeftMove(int32_t row);

    int32_t dragMode_ = -1; // -1 none, 0 deselect, 1 select
    int32_t lastDragRow_ = 0;
    int32_t prevEndRow_ = -1;
    bool anchorSelect_ = true;
    int32_t anchorRow_ = 0;
    int32_t anchorStartRow_ = 0;
    bool userResized_ = false;
    TabTable* tab_;
    KxTable* table_;
};
