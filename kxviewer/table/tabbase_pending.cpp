// Commands of the search, the side panes, the toolbars and jumps, row copy
// and paste and the tab preferences whose work is not built
// yet: each of them does nothing, and the ones that answer refuse.
#include "kxviewer/table/tabbase.h"

#include <QString>

void TabBase::RowsCopy() {}
void TabBase::RowsCopyAll() {}
void TabBase::RowsCopyByColors() {}
void TabBase::RowsPaste() {}
void TabBase::RowsDelete() {}
void TabBase::OutlineAllNone() {}
void TabBase::OutlineCopyAll() {}
void TabBase::OutlineDeleteOnShortcut() {}
void TabBase::OutlineTablesCustomMenuRequested(QPoint) {}
void TabBase::onOutlineClicked(QTableWidgetItem*) {}
void TabBase::SetFilterByOutline() {}
void TabBase::delete_outline() {}
void TabBase::delete_outline_multiply(bool, bool) {}
void TabBase::PrefChooseAuxTreeLevels() {}
void TabBase::DockAttach() {}
void TabBase::DockDetach() {}

int32_t TabBase::RefreshOutlineTable()
{
    return 0;
}

QString TabBase::AuxTreeExpression(KxdRecord*)
{
    return QString();
}

int32_t TabBase::AuxTreeLevelIndex(int32_t)
{
    return -1;
}
