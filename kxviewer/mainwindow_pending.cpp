// Commands whose work belongs to parts of the shell that are not built yet.
// Their actions exist (menus and toolbars show them) and are connected.
//
// Document commands forward to the current document tab. No document class
// exists yet, so no dock is ever a document and each of them finds none and
// does nothing, as they do with only the system panels open.
#include "kxviewer/mainwindow.h"

void MainWindow::SaveAs() {}
void MainWindow::Save() {}
void MainWindow::Close() {}
void MainWindow::DockAttach() {}
void MainWindow::OpenFindDialog() {}
void MainWindow::FindNext() {}
void MainWindow::FindBack() {}
void MainWindow::RowsPaste() {}
void MainWindow::RowsDelete() {}
void MainWindow::BookmarkOnOff() {}
void MainWindow::SavePDFFile() {}
void MainWindow::SaveCSVFile() {}
void MainWindow::SaveTXTFile() {}
void MainWindow::JumpToPrevPoint() {}
void MainWindow::JumpToNextPoint() {}
void MainWindow::ToPrevStopPos() {}
void MainWindow::ToNextStopPos() {}
void MainWindow::PrevBookmarkOnly() {}
void MainWindow::NextBookmarkOnly() {}
void MainWindow::CreateFuncsDoc() {}
void MainWindow::NextSelectionOnly() {}
void MainWindow::NextHighlightOnly() {}
void MainWindow::NextErrorsOnly() {}
void MainWindow::PrevSelectionOnly() {}
void MainWindow::PrevHighlightOnly() {}
void MainWindow::PrevErrorsOnly() {}
void MainWindow::JumpToHome() {}
void MainWindow::JumpToEnd() {}
void MainWindow::SelectAll() {}

// Opening and importing files, the preferences and import-format dialogs,
// the dock layout, self-upgrade, help and the Scripts panel.
void MainWindow::NewBlankDocument() {}
void MainWindow::LoadFile(bool) {}
void MainWindow::LoadFile() { LoadFile(false); }
void MainWindow::ImportFile() {}
void MainWindow::PreferencesDialog() {}
void MainWindow::ImportPrefDialog(const QString&) {}
void MainWindow::ImportPrefDialog() { ImportPrefDialog(QString()); }
void MainWindow::CreateDocFromMyDbg() {}
void MainWindow::DockDetach() {}
void MainWindow::SaveDocks() {}
void MainWindow::RunUpgrade() {}
void MainWindow::Help() {}
void MainWindow::ScriptPannelOnOff() {}
void MainWindow::ScriptRun() {}
void MainWindow::ScriptAdd() {}
void MainWindow::ScriptDel() {}
void MainWindow::ScriptCopy() {}
void MainWindow::ScriptClearCounter() {}
void MainWindow::ScriptStop() {}
void MainWindow::ScriptExpand() {}
void MainWindow::ScriptCollapse() {}
