// Commands of the side panes and docking whose work is not built yet:
// each of them does nothing.
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
void TabBase::DockAttach() {}
void TabBase::DockDetach() {}

int32_t TabBase::RefreshOutlineTable()
{
    return 0;
}
