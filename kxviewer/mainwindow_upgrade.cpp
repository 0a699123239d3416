// "Check for Updates" and the automatic check of the main window.
#include "kxviewer/mainwindow.h"
#include "kxviewer/mainwindowservices.h"
#include "kxviewer/upgrade.h"

void MainWindow::RunUpgrade() { Upgrade::CheckNow(); }

void MainWindowServices::StartUpdateCheck() { Upgrade::CheckAutomatically(); }
