// The document operations whose work lies in the table and graph documents:
// the base document has nothing to show them on.
#include "kxviewer/table/tabbase.h"

void TabBase::SetCurrentPosition(int) {}
void TabBase::ResetViewModel() {}
void TabBase::UpdateRowNumberWidth() {}
void TabBase::SyncGraphToCurrent() {}
void TabBase::RepaintGraph() {}
void TabBase::CloseGraph() {}
void TabBase::UpdateGraphInformer() {}
void TabBase::CreateGraph() {}
void TabBase::PrefColorize() {}
void TabBase::SavePdfFile() {}
void TabBase::SaveCSVFile() {}
void TabBase::SaveTXTFile() {}
void TabBase::SelectAll() {}
void TabBase::ClearSelection() {}
void TabBase::ClearHighlight() {}
void TabBase::SetBackColor() {}
void TabBase::GridOnOff() {}
void TabBase::StartGraphSelect() {}
void TabBase::EndGraphSelect() {}
void TabBase::GraphZoomIn() {}
void TabBase::GraphZoomOut() {}
void TabBase::FilterSelected() {}
void TabBase::JumpBack() {}
void TabBase::PrefTime0Here() {}
void TabBase::SelectByFuncContext() {}
void TabBase::CustomFind() {}
void TabBase::LoadCurrentToFind() {}
void TabBase::CopyOneCell() {}
void TabBase::SelectTIDsInTree() {}
void TabBase::SetRMaxRange() {}
void TabBase::GotoCurrentPos() {}
void TabBase::AddBookmarkAtCurrent() {}
void TabBase::RowsPasteToBottom() {}
void TabBase::PrintErrorsToLog() {}
void TabBase::PrintLineInfoToLog() {}
void TabBase::CompareTabs() {}
void TabBase::CopyRangesToTxt() {}
void TabBase::CopyRangesToRtf() {}
void TabBase::CompareTwoRanges() {}
void TabBase::JumpsTriggered() {}
void TabBase::OutlineTriggered() {}
void TabBase::CreateFuncsDoc() {}
void TabBase::UpdateBase() {}
void TabBase::UpdateTimeColumnWidth() {}
void TabBase::JumpToHome() {}
void TabBase::JumpToEnd() {}
void TabBase::MarkThreadsOnGraph(const std::vector<std::pair<int32_t, int32_t>>&) {}
void TabBase::ShiftGraphTime(int64_t) {}
void TabBase::DetachGraph() {}
