// The base of the application's main window: the docking machinery in which
// every document and permanent panel lives as a closable tab. There is one
// TearOffMain per process, reached through Me.
#pragma once

#include <cstdint>

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QRect>

class QApplication;
class QCloseEvent;
class QTextEdit;
class ScreenCoverWidget;
class TabCoverWidget;
class TearOffDockWidget;
class TearOffPrompt;
class TearOffTabBar;
class TearOffTabDock;
class TearOffTabWidget;

class TearOffMain : public QMainWindow {
    Q_OBJECT

public:
    explicit TearOffMain(QApplication* app);
    ~TearOffMain() override;

    // The one main window; null until constructed and after destruction.
    static TearOffMain* Me;
    // The dock whose tab is active; null when there is none.
    static TearOffTabDock* CurrentDock;
    // The inner host window "LRTabWin0" that holds the main window's docks.
    static QMainWindow* MainHost;

    // The modal-interaction seam; never null (the real dialogs until a
    // prompt is installed).
    static TearOffPrompt& Prompt();
    // Installs a prompt (null restores the real dialogs); returns the
    // previous one, null when it was the default. The caller keeps ownership.
    static TearOffPrompt* SetPrompt(TearOffPrompt* prompt);

    // Docks a dock in a new tab group of the main host.
    void AddTearOffDock(Qt::DockWidgetArea area, TearOffTabDock* dock, uint32_t mode);
    // Docks a dock in a new secondary window and shows it; returns the
    // window, null when the dock failed to open and was dropped.
    QMainWindow* AddSecondaryTearOffDock(Qt::DockWidgetArea area, TearOffTabDock* dock, uint32_t mode);
    // Adds a dock as a further tab of the group of an existing dock.
    void TabifyTearOffDock(TearOffTabDock* existing, TearOffTabDock* dock);
    // Moves a dock out of its group into a new group beside it.
    void SplitOneTearOffDock(TearOffTabDock* dock, Qt::Orientation orientation);
    // Makes a dock current (null: only refreshes the other groups).
    void SetTabActive(TearOffTabDock* dock, bool keep);
    // Makes the dock current whose shown page holds widget (a click or the
    // focus landing in it); nothing for a widget outside every page.
    void SetTabActiveAt(QWidget* widget);
    // Shows the placeholder when no document is docked in the main host.
    void CheckCentralWidgetVisibility();
    // Closes the docks of one window, asking about unsaved changes first
    // and saving or closing nothing before every answer is in, and closing
    // nothing before every save is done; false when the user cancelled, a
    // dock refused or a save failed. saveLayout: SaveDocks runs between the
    // saves and the closes, so that the layout names the files saved to.
    bool CloseDocks(QWidget* window, bool saveOnly, bool keepRest, bool saveLayout = false);
    // Asks, over parent, whether to save a modified dock before it closes;
    // many: one of several, with the "to all" answers. Returns the button.
    static int AskCloseOne(QWidget* parent, TearOffTabDock* dock, bool many);

    // A tab marked with Ctrl and a click: its dock, its rectangle in this
    // window's coordinates and the mark laid over it.
    struct DragSelectionEntry {
        QPointer<TearOffTabDock> dock;
        QRect rect;
        QPointer<TabCoverWidget> mark;
    };
    // Marks the tab at index of bar (once per dock) and activates the window.
    void MarkTab(TearOffTabBar* bar, int32_t index);
    // Removes one mark and its entry.
    void UnmarkTab(TabCoverWidget* mark);
    // Removes every mark.
    void ClearDragSelection();
    // The marked docks still open, in the order they were marked.
    QList<TearOffTabDock*> MarkedDocks() const;

    // Moves every dock whose group lies in host into a hidden group of the
    // main host (a panel is never lost with the window that showed it);
    // the groups of host go.
    void KeepDocksOf(QMainWindow* host);
    // Takes an emptied tab group out of the dock-widget list and deletes it
    // later; a group that still holds a tab stays.
    void DropEmptyGroup(TearOffTabWidget* tabs);
    // After the current dock's group went or was hidden: the newest visible
    // document becomes current, or none.
    void ChooseNextCurrent();

    // The new window of a drop or a detach; a TearOffSecondary by default.
    virtual QMainWindow* CreateSecondary();
    // Saves the dock layout; first thing when the window closes.
    virtual void SaveDocks() = 0;
    // After every dock closed on the window's close.
    virtual void OnCloseAccepted() = 0;
    // After the current dock changed.
    virtual void UpdateActions() = 0;

    // The marked tabs, in the order they were marked.
    QList<DragSelectionEntry> DragSelection;
    // Every dock widget of all hosts, in order of creation.
    QList<TearOffDockWidget*> DockWidgets;
    // Every dock in order of construction; 0 and 1 are the permanent panels.
    QList<TearOffTabDock*> Docks;
    // Height of the last tab bar SetTabActive visited.
    int32_t TabBarHeight = 0;
    // The style's title-bar height less 4.
    int32_t TitleBarHeight = 0;
    // Number of the next dock ("LRTabBase" + number).
    int32_t DockCounter = 0;
    // Number of the next secondary window.
    int32_t WindowCounter = 1;
    // The disabled, empty central widget of the main host.
    QTextEdit* Placeholder = nullptr;
    // The drop engine's cover over all screens, shared by every drag.
    ScreenCoverWidget* Cover = nullptr;

public slots:
    void onFocusChanged(QWidget* old, QWidget* now);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Drops a dock that failed to open; true when it was dropped.
    bool DropFailedDock(TearOffTabDock* dock, bool print);
};
