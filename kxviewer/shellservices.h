// What the settings and loading code needs of the application shell: the
// System Log, the status bar, information boxes, event processing and a
// progress dialog. The code below the windows reaches the shell only through
// the process-wide instance here; the main window installs its own when it is
// built, and tests install one that records the calls. Until then the
// defaults write the same records to the debug stream that the main window
// writes, and never block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include <QString>

#include "utils/kx/kx.h"

class DocLoader;
class QWidget;

// The viewer's channels that these services write to: "TEAROFF" for the
// message-box records and the loader, "SYSLOG" for the status and System Log
// records. Registered by main with the viewer's other channels.
extern ZmLib::KX KxvTearoffChannel;
extern ZmLib::KX KxvSyslogChannel;

// A progress display for a long job: range and label are set when it is
// made; it stays hidden until Show.
class KxvProgress {
public:
    virtual ~KxvProgress() = default;
    virtual void Show() = 0;
    virtual bool IsVisible() const = 0;
    virtual void SetValue(int value) = 0;
    // Names the stage that runs now.
    virtual void SetLabel(const QString&) {}
    // Makes the display, before it shows, wide enough for a label it will
    // be given.
    virtual void FitLabel(const QString&) {}
    // The window the display stands over and blocks, from the next Show
    // on: that of the document the job works for (by default the main
    // window's).
    virtual void SetWindow(QWidget*) {}
    // True once the user pressed the cancel button (or Cancel ran), or
    // the window the display stood over went.
    virtual bool WasCanceled() const = 0;
    // From now on the job runs to its end: the display offers no cancel,
    // and Escape and the window's close button leave it on show. A cancel
    // button held down at this moment cancels instead (WasCanceled).
    virtual void ForbidCancel() {}
    // Cancels and hides the display.
    virtual void Cancel() = 0;
    // Hides the display for good; it is not shown again.
    virtual void Close() = 0;
};

class KxvShellServices {
public:
    // System Log entry kinds: the time of day with the arrow icon
    // (AddToSystemLog), or neither time nor icon (AddToSystemLogNoTime).
    enum LogIcon : int { LOG_ICON_ARROW = 0, LOG_ICON_NONE = 1 };

    KxvShellServices() = default;
    virtual ~KxvShellServices() = default;
    KxvShellServices(const KxvShellServices&) = delete;
    KxvShellServices& operator=(const KxvShellServices&) = delete;

    // Default: a notice on "SYSLOG" with the text as it is.
    virtual void AddToSystemLog(const QString& text, LogIcon icon = LOG_ICON_ARROW);
    // timeoutMs 0: the text stays until the next one. Default: the notice
    // "status: %s" on "SYSLOG".
    virtual void ShowStatus(const QString& text, bool beep = false, int timeoutMs = 0);
    // A modal box titled "Information" (a warning box when warning is set);
    // returns the button pressed. Default: "Information: %s" at level 1 on
    // "TEAROFF", no box, returns QMessageBox::Ok.
    virtual int Information(const QString& text, bool warning = true);
    // A modal question with Yes and No, No the default; true for Yes.
    // Default: the text on "TEAROFF", no box, true (nothing is stopped
    // where nobody can answer).
    virtual bool Ask(const QString& text);
    // Handles pending GUI events once. Default: only when a Qt application
    // object exists.
    virtual void ProcessEvents();
    // The parent of modal dialogs; null before the main window exists.
    virtual QWidget* MainWidget() const;
    // Starts the check for a newer program version when none runs yet.
    // Default: nothing, as there is no update checker below the shell.
    virtual void StartUpdateCheck();
    // Opens a page of the help collection ("importformats.html"). Default:
    // nothing, as the help browser belongs to the shell.
    virtual void ShowHelpPage(const QString& page);
    // Drops the window's kept import-format editor, so that the next one is
    // built with the current preferences. Default: nothing.
    virtual void ForgetImportEditor();
    // A window-modal progress dialog over MainWidget with the label, the
    // cancel button text and the range. Without a widget application or a
    // main window, a display that is never shown and never cancelled.
    // The open dialog, only to pick a path; empty when cancelled. Default:
    // empty (no dialog without a window).
    virtual QString OpenFileName();
    // Loads a file to try a format on it, as the open road does (mode 0: ask
    // the import dialog, 1: patterns else ask, 2: the import dialog's chosen
    // format, 3: patterns only), at most maxRecords records (negative: all);
    // null after reporting why. No document is made, so the load is not
    // reported as one; the status line says "Ready" once the loader goes.
    // Default: the System Log says no format was found.
    virtual std::unique_ptr<DocLoader> ImportFile(const QString& path, int32_t maxRecords, int32_t mode);
    virtual std::unique_ptr<KxvProgress> CreateProgress(const QString& label, const QString& cancelText, int minimum,
                                                        int maximum);
};

// What the default services were asked to show while no window could: each
// System Log entry and information box, kept so that the window shows them
// once it exists.
struct KxvHeldMessage {
    QString text;
    // When it came, in microseconds since 1970 (the System Log's time).
    int64_t micros = 0;
    // An information box, else a System Log entry.
    bool box = false;
    bool warning = false;
    KxvShellServices::LogIcon icon = KxvShellServices::LOG_ICON_ARROW;
};
// Hands over the held messages, oldest first, and forgets them. At most
// KXV_HELD_MAX are held; later ones only reach the debug stream.
constexpr size_t KXV_HELD_MAX = 100;
std::vector<KxvHeldMessage> KxvTakeHeldMessages();

// The process-wide services; never null (the defaults until one is set).
KxvShellServices& KxvShell();
// Installs services (null restores the defaults); returns the previous ones,
// null when they were the defaults. The caller keeps ownership.
KxvShellServices* KxvSetShell(KxvShellServices* services);
