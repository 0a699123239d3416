// Commands whose work belongs to parts of the shell that are not built yet:
// the dock layout and help. Their actions exist (menus and toolbars show
// them) and are connected.
#include "kxviewer/mainwindow.h"

void MainWindow::SaveDocks() {}
void MainWindow::Help() {}
