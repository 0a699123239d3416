// The header of a table view in either direction. The column header paints
// the field titles and starts column drags; the row header paints row
// numbers with the current-row, error, bookmark and record-kind marks and
// selects rows by pressing and dragging along it.
#pragma once

#include <QEvent>
#include <QHeaderView>

class QMouseEvent;
class TabTableView;

class DragHeaderView : public QHeaderView {
    Q_OBJECT

public:
    DragHeaderView(Qt::Orientation orientation, TabTableView* view);
    ~DragHeaderView() override;

    // The record-kind icon of a record with these FLAGS and LEVEL, as a
    // shared pixmap index.
    static int KindIcon(uint32_t flags, int32_t level);
    // The room a row header of this width leaves for the row number.
    static int NumberWidth(int headerWidth);
    // The narrowest row header that shows any number of this many digits
    // whole in this font.
    static int WidthForDigits(const QFont& font, int digits);

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void enterEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void PaintTitle(QPainter* painter, const QRect& rect, int column) const;
    void PaintRowNumber(QPainter* painter, const QRect& rect, int row) const;
    // Makes a row current in the given column, clamped to the columns.
    void MakeCurrent(int row, int column);
    // Posts a left-button event to the view's cells at x 0 and the
    // pointer's height, where the view's selection gestures take it.
    void PostToView(QEvent::Type type, const QMouseEvent* event);

    TabTableView* view_;
    bool cursorOverridden_ = false;
};
