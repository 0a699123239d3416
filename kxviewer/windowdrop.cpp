#include "kxviewer/windowdrop.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMimeData>
#include <QTimer>

#include "kxviewer/mainwindow.h"
#include "kxviewer/table/guiicons.h"
#include "kxviewer/table/tabtableview.h"

namespace {

const char COLUMN_MIME[] = "application/x-hotspot";
// A press this close to a section's edge is left to the header's resizing.
constexpr int BORDER_GRIP = 3;
constexpr int FILES_DRAG_DELAY_MS = 10;

// The window in which the last column drag started.
QPointer<QWidget> DragSourceWindow;

} // namespace

WindowDrop::WindowDrop(QWidget* window) : QObject(window), window_(window)
{
    window->setAcceptDrops(true);
    window->installEventFilter(this);
}

WindowDrop* WindowDrop::Of(QWidget* widget)
{
    for (; widget != nullptr; widget = widget->parentWidget())
        if (auto* drop = widget->findChild<WindowDrop*>(QString(), Qt::FindDirectChildrenOnly))
            return drop;
    return nullptr;
}

bool WindowDrop::StartColumnDrag(const QPoint& pos, QHeaderView* header, TabTableView* view)
{
    header_ = header;
    view_ = view;
    DragSourceWindow = window_;

    const int column = header->logicalIndexAt(pos);
    if (column < 0)
        return false;
    view->DraggedColumn = column;
    const int x = header->sectionViewportPosition(column);
    const int y = header->rect().top();
    const int w = header->sectionSize(column);
    const int h = header->height();
    headerRect_ = header->rect();
    sectionRect_ = QRect(x, y, w, h);
    if (pos.y() >= y && pos.y() <= y + h &&
        (std::abs(pos.x() - x) <= BORDER_GRIP || std::abs(pos.x() - (x + w)) <= BORDER_GRIP))
        return false;

    QLabel label(window_);
    label.setText(header->model()->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString());
    label.setAlignment(Qt::AlignCenter);
    label.setStyleSheet(QStringLiteral("QLabel{background-color:rgb(220,220,220); color:black; border:1px solid gray}"));
    label.resize(w, h);
    const QPixmap pixmap = label.grab();

    const QPoint hotSpot(pos.x() - x, pos.y() - y);
    auto* mime = new QMimeData;
    mime->setData(QLatin1String(COLUMN_MIME), QByteArray::number(hotSpot.x()) + ' ' + QByteArray::number(hotSpot.y()));
    drag_ = new QDrag(window_);
    drag_->setMimeData(mime);
    drag_->setPixmap(pixmap);
    drag_->setHotSpot(hotSpot);
    drag_->setProperty("ColumnDrag", 1);
    RunDrag(drag_);
    delete drag_;
    drag_ = nullptr;
    return true;
}

void WindowDrop::RunDrag(QDrag* drag) { drag->exec(Qt::CopyAction, Qt::CopyAction); }

bool WindowDrop::eventFilter(QObject* object, QEvent* event)
{
    if (object != window_)
        return false;
    switch (event->type()) {
    case QEvent::DragEnter:
        DragEnter(static_cast<QDragEnterEvent*>(event));
        return true;
    case QEvent::DragMove:
        DragMove(static_cast<QDragMoveEvent*>(event));
        return true;
    case QEvent::Drop:
        Drop(static_cast<QDropEvent*>(event));
        return true;
    default:
        return false;
    }
}

void WindowDrop::DragEnter(QDragEnterEvent* event)
{
    event->setDropAction(Qt::CopyAction);
    if (drag_ == nullptr && event->mimeData()->hasUrls())
        event->accept();
    else if (drag_ != nullptr && DragSourceWindow == window_)
        event->accept();
    else
        event->ignore();
}

void WindowDrop::DragMove(QDragMoveEvent* event)
{
    if (drag_ == nullptr || header_ == nullptr) {
        event->acceptProposedAction();
        return;
    }
    const QPoint at = header_->mapFrom(window_, event->pos());
    SharedPixmapId cursor = PIX_NAVIGATE_CROSS;
    dropMode_ = DROP_REMOVE;
    if (headerRect_.contains(at)) {
        const bool own = sectionRect_.contains(at);
        dropMode_ = own ? DROP_NONE : DROP_MOVE;
        cursor = own ? PIX_NAVIGATE_CHECK : PIX_NAVIGATE_CLOSE;
    }
    drag_->setDragCursor(SharedPixmap(cursor), Qt::CopyAction);
    event->acceptProposedAction();
}

void WindowDrop::Drop(QDropEvent* event)
{
    if (drag_ != nullptr) {
        if (view_ != nullptr && header_ != nullptr) {
            if (dropMode_ == DROP_REMOVE)
                view_->RemoveColumn();
            else if (dropMode_ == DROP_MOVE)
                view_->OnColumnMoved(header_->mapFrom(window_, event->pos()));
        }
        dropMode_ = DROP_NONE;
        event->acceptProposedAction();
        return;
    }
    MainWindow* main = MainWindow::Instance();
    if (main == nullptr || !event->mimeData()->hasUrls()) {
        event->ignore();
        return;
    }
    main->DroppedUrls = event->mimeData()->urls();
    event->acceptProposedAction();
    // The files open after the drop has returned to the dragging program.
    QTimer::singleShot(FILES_DRAG_DELAY_MS, window_, [] {
        if (MainWindow* window = MainWindow::Instance())
            window->CallFilesDrag();
    });
}
