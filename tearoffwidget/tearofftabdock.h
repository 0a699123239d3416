// The window of one document or permanent panel, shown as a closable tab.
// The framework knows documents only through the virtual hooks below.
#pragma once

#include <cstdint>

#include <QByteArray>
#include <QMainWindow>
#include <QPoint>
#include <QString>

class TearOffTabWidget;

class TearOffTabDock : public QMainWindow {
    Q_OBJECT

public:
    // Mode bit of a permanent panel: closing its tab only hides it.
    static constexpr uint32_t ModePanel = 1;

    // Names itself "LRTabBase" + the main window's dock counter and joins
    // the main window's dock list.
    explicit TearOffTabDock(QWidget* parent);
    ~TearOffTabDock() override;

    QSize sizeHint() const override;

    // Hooks, with the framework's defaults.
    // Default: the central widget's customContextMenuRequested at the point.
    virtual void ShowTabMenu(QPoint globalPos);
    virtual bool IsModified();
    // The name the close question gives the dock. Default: its title.
    virtual QString DocumentName();
    virtual bool CanCloseSilently();
    virtual bool MayClose();
    // After the tab was removed, before the dock is deleted.
    virtual void TabRemoved();
    // Saves before a close; false keeps the dock open (the save failed or
    // was cancelled). Default: nothing to save, true.
    virtual bool SaveOnClose();
    virtual void DiscardChanges();
    virtual void SetTabDockFocus();
    virtual void ChangeActive(bool active);

    // Hides the dock (removing its tab) or shows it again; byProperty marks
    // an emptied secondary window with the property "HIDE" instead of hiding
    // it.
    void ShowOrHide(bool show, bool byProperty);
    // The top-level window that shows the dock; *isSecondary 0 for the main
    // window, 1 for a secondary window.
    QWidget* GetTopWindow(int* isSecondary) const;
    // The secondary window that would be left without a visible tab group
    // if this dock left it; null otherwise.
    QWidget* GetSecondaryIfLast() const;
    // True while the dock is a tab of a group (a hidden panel is none).
    bool IsShownAsTab() const;
    // The tool tip of the dock's tab, kept wherever the tab goes.
    void SetTabTip(const QString& tip);
    const QString& TabTip() const { return tabTip_; }

    // The tab widget whose page the dock is; null until first docked.
    TearOffTabWidget* TabWidget = nullptr;
    uint32_t Mode = 0;
    // The top-level window ShowOrHide remembered when it hid the dock.
    QWidget* SavedWindow = nullptr;
    // Set when the document failed to open; add operations drop the dock.
    uint8_t OpenErrorMode = 0;
    // The dock's address: the key of its trace and instance records.
    uint64_t Key = 0;
    // The Latin-1 object name taken when the constructor began.
    QByteArray Name;

signals:
    void CallShowOrHide(bool mode);

private:
    QString tabTip_;
};
