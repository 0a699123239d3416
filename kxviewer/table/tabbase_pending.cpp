// Commands of the search, the side panes, the toolbars and jumps, row copy
// and paste, the History and the tab preferences whose work is not built
// yet: each of them does nothing, and the ones that answer refuse.
#include "kxviewer/table/tabbase.h"

#include <QString>

void TabBase::RowsCopy() {}
void TabBase::RowsCopyAll() {}
void TabBase::RowsCopyByColors() {}
void TabBase::RowsPaste() {}
void TabBase::RowsDelete() {}
void TabBase::HistoryCustomMenuRequested(QPoint) {}
void TabBase::CopyInHistory() {}
void TabBase::CopyAllInHistory() {}
void TabBase::ReplayInHistory() {}
void TabBase::CollapseExpandHistory() {}
void TabBase::PrefChooseAuxTreeLevels() {}
void TabBase::DockAttach() {}
void TabBase::DockDetach() {}
void TabBase::AddHistoryItem(int32_t, const QString*, int32_t, int32_t, uint32_t) {}

QString TabBase::AuxTreeExpression(KxdRecord*)
{
    return QString();
}

int32_t TabBase::AuxTreeLevelIndex(int32_t)
{
    return -1;
}
