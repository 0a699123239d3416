// What documents take from the main window: its binding list, so that a
// tab's actions leave the shortcuts to the main window's twins, the
// recent-file list that a saved document joins, the Scripts panel a
// document may show, the graph view, and the column drags of the window a
// table lives in.
#pragma once

#include "kxviewer/table/tabshell.h"

class MainWindowTabShell : public TabShell {
public:
    const ComActionBinding* MainBindings() override;
    void AddRecentFile(const QString& path) override;
    void ReturnScriptsPanel(TabBase* tab) override;
    void LastDocumentClosed() override;
    QDockWidget* ScriptsDock() override;
    TabBase* OpenGraph(TabTable& owner) override;
    bool StartColumnDrag(const QPoint& pos, QHeaderView* header, TabTableView* view) override;
};
