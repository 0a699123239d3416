// Commands whose work belongs to parts of the shell that are not built yet:
// self-upgrade and the Scripts
// panel. Their actions exist (menus and toolbars show them) and are
// connected.
#include "kxviewer/mainwindow.h"

void MainWindow::RunUpgrade() {}
void MainWindow::ScriptPannelOnOff() {}
void MainWindow::ScriptRun() {}
void MainWindow::ScriptAdd() {}
void MainWindow::ScriptDel() {}
void MainWindow::ScriptCopy() {}
void MainWindow::ScriptClearCounter() {}
void MainWindow::ScriptStop() {}
void MainWindow::ScriptExpand() {}
void MainWindow::ScriptCollapse() {}
