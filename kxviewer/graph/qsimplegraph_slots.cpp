#include "kxviewer/graph/qsimplegraph.h"

#include "kxviewer/graph/graphmodel.h"

QSimpleGraph::~QSimpleGraph() = default;
bool QSimpleGraph::SetRange(int64_t xMin, int64_t xMax, int64_t yMin, int64_t yMax, bool update, bool setLimits,
                            bool)
{
    return SetRange(xMin, xMax, yMin, yMax, update, setLimits);
}
void QSimpleGraph::ScrollBy(int64_t delta) { ScrollX(delta); }
void QSimpleGraph::Pan(int) {}
void QSimpleGraph::CenterOnPos(int64_t) {}
void QSimpleGraph::ShiftTime(int64_t) {}
void QSimpleGraph::MarkTids(const std::vector<uint64_t>& tids, bool shown)
{
    if (model_)
        model_->MarkTids(tids, shown);
    Invalidate();
}
void QSimpleGraph::ShowAllTids(bool shown)
{
    if (model_)
        model_->ShowAll(shown);
    Invalidate();
}
bool QSimpleGraph::SetMouseMode(int mode)
{
    if (mode < MODE_PAN || mode > MODE_SELECT)
        return false;
    mouseMode_ = mode;
    return true;
}
void QSimpleGraph::SetCurrentRow(int32_t, bool, bool) {}
void QSimpleGraph::SetCursorTime(int64_t, bool, bool) {}
std::vector<uint64_t> QSimpleGraph::FindInfoOnLine(int) const { return {}; }
int QSimpleGraph::FindIconsAtPoint(const QPoint&) { return 0; }
void QSimpleGraph::showAtCurrentPos(QPoint, bool) {}
void QSimpleGraph::tick() {}
void QSimpleGraph::Rupdate() {}
void QSimpleGraph::GridOnOff() {}
void QSimpleGraph::SetBackColor() {}
void QSimpleGraph::startGraphSelect() {}
void QSimpleGraph::endGraphSelect() {}
void QSimpleGraph::SetRMaxRange(bool, bool) {}
void QSimpleGraph::ClearSelection(int, int) {}
void QSimpleGraph::AddSelection(int, int, bool) {}
void QSimpleGraph::AddStrangeSelection(int, int) {}
void QSimpleGraph::DoBack() {}
void QSimpleGraph::GoToCursorPos() {}
void QSimpleGraph::AddBookmarkAtMouse() {}
void QSimpleGraph::AddBookmarkAtCurrent() {}
void QSimpleGraph::AddBookmark(qint64) {}
bool QSimpleGraph::CheckBookmark(qint64) { return false; }
void QSimpleGraph::SelectTIDsInTree() {}
void QSimpleGraph::SelectColorScheme() {}
bool QSimpleGraph::ifTimeInsideScreen(qint64) { return false; }
void QSimpleGraph::PrintErrorsToLog() {}
void QSimpleGraph::PrintLineInfoToLog() {}
void QSimpleGraph::GraphZoomIn() {}
void QSimpleGraph::GraphZoomOut() {}
bool QSimpleGraph::event(QEvent* e) { return QWidget::event(e); }
void QSimpleGraph::wheelEvent(QWheelEvent* e) { QWidget::wheelEvent(e); }
void QSimpleGraph::mousePressEvent(QMouseEvent* e) { QWidget::mousePressEvent(e); }
void QSimpleGraph::mouseMoveEvent(QMouseEvent* e) { QWidget::mouseMoveEvent(e); }
void QSimpleGraph::mouseReleaseEvent(QMouseEvent* e) { QWidget::mouseReleaseEvent(e); }
void QSimpleGraph::mouseDoubleClickEvent(QMouseEvent* e) { QWidget::mouseDoubleClickEvent(e); }
void QSimpleGraph::keyPressEvent(QKeyEvent* e) { QWidget::keyPressEvent(e); }
