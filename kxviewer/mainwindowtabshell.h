// What documents take from the main window: its binding list, so that a
// tab's actions leave the shortcuts to the main window's twins, the
// recent-file list that a saved document joins, and the graph view.
#pragma once

#include "kxviewer/table/tabshell.h"

class MainWindowTabShell : public TabShell {
public:
    const ComActionBinding* MainBindings() override;
    void AddRecentFile(const QString& path) override;
    TabBase* OpenGraph(TabTable& owner) override;
};
