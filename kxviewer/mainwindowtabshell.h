// What documents take from the main window: its binding list, so that a
// tab's actions leave the shortcuts to the main window's twins, and the
// recent-file list that a saved document joins, and the column drags of the
// window a table lives in.
#pragma once

#include "kxviewer/table/tabshell.h"

class MainWindowTabShell : public TabShell {
public:
    const ComActionBinding* MainBindings() override;
    void AddRecentFile(const QString& path) override;
    bool StartColumnDrag(const QPoint& pos, QHeaderView* header, TabTableView* view) override;
};
