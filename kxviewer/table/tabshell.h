// What a document needs of the application shell above it: the main
// window's binding list, the recent-file list and the Scripts panel. The
// shell installs its own when the main window is built; until then (and in
// tests) the defaults do nothing.
#pragma once

#include <QString>

#include "tearoffwidget/comaction.h"

class QDockWidget;
class QHeaderView;
class QPoint;
class TabBase;
class TabTable;
class TabTableView;

class TabShell {
public:
    TabShell() = default;
    virtual ~TabShell() = default;
    TabShell(const TabShell&) = delete;
    TabShell& operator=(const TabShell&) = delete;

    // The main window's binding list (the second list of a tab's actions).
    // Default: an empty list, so that no tab action takes a shortcut.
    virtual const ComActionBinding* MainBindings();
    // Puts a saved document at the head of the recent-file list.
    virtual void AddRecentFile(const QString& path);
    // The tab hosting the Scripts panel is going: the panel goes back to
    // the main window.
    virtual void ReturnScriptsPanel(TabBase* tab);
    // The last document is closing: the main window builds its Scripts
    // panel again.
    virtual void LastDocumentClosed();
    // The Scripts panel's dock while a tab hosts it; null by default.
    virtual QDockWidget* ScriptsDock();
    // Opens the graph document of a table tab beside it; null (the user
    // told) where the shell has no graph view.
    virtual TabBase* OpenGraph(TabTable& owner);

    // A left press at pos on a table's column header starts a column drag
    // in the window holding it; false (the default) leaves the press to the
    // header.
    virtual bool StartColumnDrag(const QPoint& pos, QHeaderView* header, TabTableView* view);
};

// The process-wide hooks; never null (the defaults until one is set).
TabShell& KxvTabShell();
// Installs hooks (null restores the defaults); returns the previous ones,
// null when they were the defaults. The caller keeps ownership.
TabShell* KxvSetTabShell(TabShell* shell);
