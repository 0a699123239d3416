// The main window's side of scripts: the Scripts panel's commands, its
// place beside a document, and a close that waits for the running script
// to unwind.
#include <QAction>
#include <QCloseEvent>
#include <QDockWidget>

#include "kxviewer/actiontable.h"
#include "kxviewer/mainwindow.h"
#include "kxviewer/scriptspanel.h"
#include "kxviewer/table/tabbase.h"

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (scripts_ && scripts_->StopForClose()) {
        event->ignore();
        return;
    }
    TearOffMain::closeEvent(event);
}

void MainWindow::ScriptRun() { scripts_->Run(sender()); }
void MainWindow::ScriptStop() { scripts_->Stop(sender()); }
void MainWindow::ScriptAdd() { scripts_->Add(); }
void MainWindow::ScriptDel() { scripts_->Delete(); }
void MainWindow::ScriptCopy() { scripts_->Copy(); }
void MainWindow::ScriptClearCounter() { scripts_->ClearCounter(); }
void MainWindow::ScriptExpand() { scripts_->ExpandAll(); }
void MainWindow::ScriptCollapse() { scripts_->CollapseAll(); }

void MainWindow::ScriptPannelOnOff()
{
    QAction* action = Actions[ACT_SCRIPT_PANEL];
    scripts_->EnsureBuilt();
    QDockWidget* dock = scripts_->Dock();
    TabBase* tab = CurrentTabBase();
    if (!tab || !dock) {
        action->setChecked(!action->isChecked());
        // A running script keeps the action for its pause and resume.
        if (!scripts_->Running())
            Actions[ACT_SCRIPT_RUN]->setEnabled(false);
        return;
    }
    const bool shown = action->isChecked();
    for (TearOffTabDock* other : Docks)
        if (auto* document = qobject_cast<TabBase*>(other))
            document->ScriptsPanelHosted = 0;
    tab->ScriptsPanelHosted = shown ? 1 : 0;
    if (shown) {
        // The dock goes into the document's own window, beside its panes.
        tab->addDockWidget(Qt::LeftDockWidgetArea, dock);
        if (tab->InfoDock)
            tab->tabifyDockWidget(tab->InfoDock, dock);
        dock->show();
        dock->raise();
    } else {
        dock->hide();
    }
    tab->checkedToggle(shown);
    scripts_->SetShown(shown);
}
