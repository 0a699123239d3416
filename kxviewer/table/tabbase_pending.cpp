// Commands of the search, the side panes, the toolbars and jumps, the
// History and the tab preferences whose work is not built yet: each of them
// does nothing, and the ones that answer refuse.
#include "kxviewer/table/tabbase.h"

#include <QString>

void TabBase::OutlineAllNone() {}
void TabBase::OutlineCopyAll() {}
void TabBase::OutlineDeleteOnShortcut() {}
void TabBase::OutlineTablesCustomMenuRequested(QPoint) {}
void TabBase::onOutlineClicked(QTableWidgetItem*) {}
void TabBase::SetFilterByOutline() {}
void TabBase::delete_outline() {}
void TabBase::delete_outline_multiply(bool, bool) {}
void TabBase::HistoryCustomMenuRequested(QPoint) {}
void TabBase::CopyInHistory() {}
void TabBase::CopyAllInHistory() {}
void TabBase::ReplayInHistory() {}
void TabBase::CollapseExpandHistory() {}
void TabBase::DockAttach() {}
void TabBase::DockDetach() {}
void TabBase::AddHistoryItem(int32_t, const QString*, int32_t, int32_t, uint32_t) {}

int32_t TabBase::RefreshOutlineTable()
{
    return 0;
}
