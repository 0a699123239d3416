// Commands of the search, the side panes, the toolbars and jumps, the
// History and the tab preferences whose work is not built yet: each of them
// does nothing, and the ones that answer refuse.
#include "kxviewer/table/tabbase.h"

#include <QString>

void TabBase::CollapseAllPanes() {}
void TabBase::ExpandAllPanes() {}
void TabBase::CopyAuxTreeToClipboard() {}
void TabBase::UpdatePanes() {}
void TabBase::OutlineAllNone() {}
void TabBase::OutlineCopyAll() {}
void TabBase::OutlineDeleteOnShortcut() {}
void TabBase::OutlineTablesCustomMenuRequested(QPoint) {}
void TabBase::onOutlineClicked(QTableWidgetItem*) {}
void TabBase::SetFilterByOutline() {}
void TabBase::delete_outline() {}
void TabBase::delete_outline_multiply(bool, bool) {}
void TabBase::InfoDataEdited(QWidget*) {}
void TabBase::InfoPaneTimeNormalizeChanged(QTableWidgetItem*) {}
void TabBase::InfoTableCustomMenuRequested(QPoint) {}
void TabBase::CopyInfo() {}
void TabBase::CopyAllInfo() {}
void TabBase::SidePanelsOnOff() {}
void TabBase::checkedToVisible(bool) {}
void TabBase::checkedToggle(bool) {}
void TabBase::HistoryCustomMenuRequested(QPoint) {}
void TabBase::CopyInHistory() {}
void TabBase::CopyAllInHistory() {}
void TabBase::ReplayInHistory() {}
void TabBase::CollapseExpandHistory() {}
void TabBase::PrefChooseColor4Bookmark() {}
void TabBase::PrefChooseColor4Highlight() {}
void TabBase::PrefChooseColor4Selection() {}
void TabBase::PrefIndentText() {}
void TabBase::PrefInsertFunc() {}
void TabBase::PrefRelativeTime() {}
void TabBase::PrefShowPresenErrors() {}
void TabBase::PrefChooseAuxTreeLevels() {}
void TabBase::onOnOffSyncToCurRow() {}
void TabBase::change_color_info_select() {}
void TabBase::change_new_color_info_select() {}
void TabBase::DockAttach() {}
void TabBase::DockDetach() {}
void TabBase::DockHorizontally() {}
void TabBase::DockVertically() {}
void TabBase::CreateSidePanes() {}
void TabBase::UpdateEditableBox(bool) {}
void TabBase::RecordInfoText(int32_t) {}
void TabBase::AddHistoryItem(int32_t, const QString*, int32_t, int32_t, uint32_t) {}

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
