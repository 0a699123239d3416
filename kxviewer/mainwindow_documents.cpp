// The main window's side of the documents: which document is current, the
// action states for it, and the commands handed on to it. A command finds
// no document while a system dock or nothing is current, and then does
// nothing.
#include <QAction>

#include "kxviewer/actiontable.h"
#include "kxviewer/mainwindow.h"
#include "kxviewer/scriptspanel.h"
#include "kxviewer/table/finddialog.h"
#include "kxviewer/table/tabbindings.h"
#include "kxviewer/table/tabtable.h"

namespace {

// A menu has no use for what a command answers (Save's success).
template <typename Result>
void Run(TabBase* tab, Result (TabBase::*command)())
{
    if (tab != nullptr)
        (tab->*command)();
}

// A stop-point jump by one condition alone.
void JumpBy(TabBase* tab, int32_t condition, bool forward)
{
    if (tab == nullptr)
        return;
    if (forward)
        tab->JumpToNextStopPosBy(condition);
    else
        tab->JumpToPrevStopPosBy(condition);
}

} // namespace

TabBase* MainWindow::CurrentTabBase() const
{
    if (CurrentDock == nullptr || IsSystemDockCurrent())
        return nullptr;
    return qobject_cast<TabBase*>(CurrentDock);
}

TabTable* MainWindow::CurrentTabTable() const { return qobject_cast<TabTable*>(CurrentTabBase()); }

void MainWindow::UpdateActions()
{
    const bool systemCurrent = IsSystemDockCurrent();
    TabBase* tab = CurrentTabBase();
    for (const ComActionBinding* binding = MainWindowBindings; binding->id >= 0; ++binding) {
        QAction* action = Actions[binding->id];
        if (action == nullptr)
            continue;
        const int32_t rule = ActionDescriptor(binding->id).enableRule;
        // Saving and exporting would find nothing to write.
        const bool writes = binding->id >= ACT_SAVE && binding->id <= ACT_EXPORT_TXT;
        action->setEnabled(rule == 0 || (!systemCurrent && rule == 1 && (tab != nullptr || !writes)));
    }
    if (scripts_)
        scripts_->UpdateActions();
    if (FindDialog* find = FindDialog::Existing())
        find->SetColorIcons(nullptr);
    if (tab == nullptr)
        return;
    const int32_t documentRule = tab->GraphState == TabBase::GRAPH_IS_GRAPH ? 3 : 2;
    for (const ComActionBinding* binding = TabBaseBindings; binding->id >= 0; ++binding) {
        const int32_t rule = ActionDescriptor(binding->id).enableRule;
        if (rule == 0)
            continue;
        const bool enabled = rule == 1 || rule == documentRule;
        if (QAction* own = tab->Actions[binding->id])
            own->setEnabled(enabled);
        if (QAction* twin = Actions[binding->id])
            twin->setEnabled(enabled);
    }
    tab->UpdateActions();
}

void MainWindow::Save() { Run(CurrentTabBase(), &TabBase::Save); }
void MainWindow::SaveAs() { Run(CurrentTabBase(), &TabBase::SaveAs); }
void MainWindow::Close() { Run(CurrentTabBase(), &TabBase::Close); }
void MainWindow::DockAttach() { Run(CurrentTabBase(), &TabBase::DockAttach); }
void MainWindow::FindNext() { Run(CurrentTabBase(), &TabBase::FindNext); }
void MainWindow::FindBack() { Run(CurrentTabBase(), &TabBase::FindBack); }
void MainWindow::SavePDFFile() { Run(CurrentTabBase(), &TabBase::SavePdfFile); }
void MainWindow::SaveCSVFile() { Run(CurrentTabBase(), &TabBase::SaveCSVFile); }
void MainWindow::SaveTXTFile() { Run(CurrentTabBase(), &TabBase::SaveTXTFile); }
void MainWindow::ToPrevStopPos() { Run(CurrentTabBase(), &TabBase::JumpToPrevStopPos); }
void MainWindow::ToNextStopPos() { Run(CurrentTabBase(), &TabBase::JumpToNextStopPos); }
void MainWindow::JumpToPrevPoint() { Run(CurrentTabBase(), &TabBase::Go1StepBack); }
void MainWindow::JumpToNextPoint() { Run(CurrentTabBase(), &TabBase::Go1StepForward); }
void MainWindow::JumpToHome() { Run(CurrentTabBase(), &TabBase::JumpToHome); }
void MainWindow::JumpToEnd() { Run(CurrentTabBase(), &TabBase::JumpToEnd); }
void MainWindow::SelectAll() { Run(CurrentTabBase(), &TabBase::SelectAll); }
void MainWindow::CreateFuncsDoc() { Run(CurrentTabTable(), &TabBase::CreateFuncsDoc); }

void MainWindow::OpenFindDialog()
{
    if (TabBase* tab = CurrentTabBase())
        tab->OpenFindDialog(QString());
}

void MainWindow::RowsPaste()
{
    if (Actions[ACT_PASTE]->isEnabled())
        Run(CurrentTabBase(), &TabBase::RowsPaste);
}

void MainWindow::RowsDelete()
{
    if (Actions[ACT_ERASE]->isEnabled())
        Run(CurrentTabBase(), &TabBase::RowsDelete);
}

void MainWindow::BookmarkOnOff()
{
    TabBase* tab = CurrentTabBase();
    if (tab == nullptr)
        return;
    if (QAction* bookmark = tab->Actions[ACT_BOOKMARK])
        bookmark->toggle();
    tab->BookmarkCurrentOnOff();
}

void MainWindow::PrevBookmarkOnly() { JumpBy(CurrentTabBase(), JUMP_BOOKMARKS, false); }
void MainWindow::NextBookmarkOnly() { JumpBy(CurrentTabBase(), JUMP_BOOKMARKS, true); }
void MainWindow::PrevSelectionOnly() { JumpBy(CurrentTabBase(), JUMP_SELECTIONS, false); }
void MainWindow::NextSelectionOnly() { JumpBy(CurrentTabBase(), JUMP_SELECTIONS, true); }
void MainWindow::PrevHighlightOnly() { JumpBy(CurrentTabBase(), JUMP_HIGHLIGHT, false); }
void MainWindow::NextHighlightOnly() { JumpBy(CurrentTabBase(), JUMP_HIGHLIGHT, true); }
void MainWindow::PrevErrorsOnly() { JumpBy(CurrentTabBase(), JUMP_DATA_ERRORS, false); }
void MainWindow::NextErrorsOnly() { JumpBy(CurrentTabBase(), JUMP_DATA_ERRORS, true); }
