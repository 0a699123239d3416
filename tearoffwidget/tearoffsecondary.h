// A floating window of torn-out documents: its central widget frames a host
// in which tab groups dock as in the main window. Dragged by its title bar
// it offers the drop guides; closing it closes its documents with the save
// questions.
#pragma once

#include <cstdint>

#include <QMainWindow>
#include <QPointer>
#include <QTimer>

class QCloseEvent;
class TearOffTabDock;

class TearOffSecondary : public QMainWindow {
    Q_OBJECT

public:
    explicit TearOffSecondary(QWidget* parent);

    // Docks a dock in a new tab group of this window's host.
    void AddTearOffDock(Qt::DockWidgetArea area, TearOffTabDock* dock, uint32_t mode);

    // The inner host "LRTabWin" + N; set by the builder of the window.
    QPointer<QMainWindow> Host;
    // The first spontaneous move after the window appeared is no drag.
    bool FirstMovePending = true;
    // A window drag is running.
    bool Dragging = false;
    // The next spontaneous move comes from maximising or restoring.
    bool TitleDoubleClicked = false;

    // How often a running window drag asks whether the button is still down.
    static constexpr int POLL_MS = 30;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* object, QEvent* event) override;
    // Whether the left button is down now. The window manager owns the
    // pointer while it moves a window, so the title bar's press and release
    // never arrive: the X server is asked instead.
    virtual bool LeftButtonDown() const;

private:
    void StartDrag();
    // Drops the docks where the drag ended.
    void EndDrag();
    // Follows the cursor while the button is down; drops on its release.
    void Poll();

    QTimer poll_;
};
