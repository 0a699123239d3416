// File and column drag and drop of one top-level window (the main window or
// a secondary window): dropped files and folders are handed to the main
// window to open, and a table column whose header is dragged is moved within
// its header or removed when dropped outside it. A column drag is taken only
// by the window it started in.
#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>

class QDrag;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QHeaderView;
class QPoint;
class QWidget;
class TabTableView;

class WindowDrop : public QObject {
    Q_OBJECT

public:
    // What releasing a column drag does.
    enum DropMode : int { DROP_NONE = 0, DROP_REMOVE = 1, DROP_MOVE = 2 };

    // Becomes a child of window, watches its drag events and lets it accept
    // drops.
    explicit WindowDrop(QWidget* window);

    // The drop support of the nearest window above widget that has one; null
    // when there is none.
    static WindowDrop* Of(QWidget* widget);

    // A left press at pos on header: false when it was on a section border
    // (the header resizes), true after a drag has run.
    bool StartColumnDrag(const QPoint& pos, QHeaderView* header, TabTableView* view);

    int Mode() const { return dropMode_; }
    bool ColumnDragActive() const { return drag_ != nullptr; }

    bool eventFilter(QObject* object, QEvent* event) override;

protected:
    // Runs the drag until it is dropped or cancelled: the platform's own
    // event loop, which delivers the drag events to the windows.
    virtual void RunDrag(QDrag* drag);

private:
    void DragEnter(QDragEnterEvent* event);
    void DragMove(QDragMoveEvent* event);
    void Drop(QDropEvent* event);

    QWidget* window_;
    QDrag* drag_ = nullptr;
    int dropMode_ = DROP_NONE;
    QRect headerRect_;
    QRect sectionRect_;
    QPointer<QHeaderView> header_;
    QPointer<TabTableView> view_;
};
