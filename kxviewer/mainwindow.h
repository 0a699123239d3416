// The application's one top-level window: the tear-off main window with the
// actions of the action table, menus, the seven main toolbars, the status
// bar and the two system panels (System Log and Debug). It is also the one
// way every part of the program talks to the user (the static helpers).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <QList>
#include <QMessageBox>
#include <QString>
#include <QUrl>

#include "kxviewer/table/comactionbase.h"
#include "tearoffwidget/tearoffmain.h"

class QAction;
class QCloseEvent;
class QMenu;
class QMenuBar;
class QMouseEvent;
class QPlainTextEdit;
class QStatusBar;
class QTimer;
class QToolBar;
class DocLoader;
class HelpAssistant;
class ImportDialog;
class MainWindowServices;
class MainWindowTabShell;
class ScriptLibraries;
class ScriptsPanel;
class SystemLogPlainText;
class TabBase;
class TabTable;

class MainWindow : public TearOffMain, public ComActionBase<ComActionCount> {
    Q_OBJECT

public:
    static constexpr int MAIN_TOOLBAR_COUNT = 7;
    static constexpr int IDLE_INTERVAL_MS = 600;
    static constexpr int RECENT_FILES_MAX = 20;
    static constexpr int MAX_DROP_WITHOUT_QUESTION = 5;

    // How OpenFile and the worker ImportFile choose the reader when the
    // suffix names no file type.
    enum OpenMode : int32_t {
        OPEN_ASK = 0,             // the import dialog
        OPEN_PATTERNS_OR_ASK = 1, // the import formats' patterns, else the dialog
        OPEN_CHOSEN = 2,          // the format the import dialog chose, without showing it
        OPEN_PATTERNS_ONLY = 3,   // the patterns, else report and stop
    };

    explicit MainWindow(QApplication* app);
    ~MainWindow() override;

    // TearOffMain::Me as a MainWindow; null when there is none.
    static MainWindow* Instance();

    // Message, status and System Log helpers. Each checks the target it
    // needs and skips it while it does not exist; the record is written
    // anyway.
    static int Information(const QString& text, bool warning);
    static int Question(const QString& text, QMessageBox::StandardButtons buttons,
                        QMessageBox::StandardButton defaultButton);
    static void ShowStatus(const QString& text, bool beep);
    static void ShowReady();
    static void AddToSystemLog(const QString& text);
    static void AddToSystemLogAndStatus(const char* text);
    static void AddToSystemLogNoTime(const QString& text);
    // Shows what was reported before the window existed (KxvTakeHeldMessages):
    // the System Log entries with their own times, then each box in turn.
    void ShowHeldMessages();

    // Published for the whole run; null before construction and after the
    // window's close was accepted.
    static QStatusBar* StatusBar;
    static TearOffTabDock* SystemLogDock;
    static SystemLogPlainText* SystemLogView;
    static TearOffTabDock* DebugDock;
    static QPlainTextEdit* DebugView;
    // The 600 ms idle timer that documents connect their idle work to.
    static QTimer* IdleTimer;

    // The URLs of the last file drop on any window, waiting for
    // CallFilesDrag.
    QList<QUrl> DroppedUrls;

    // Set just before an OpenFile that must leave the recent-file list
    // alone; the next check clears it.
    static bool OpenWithoutRecent;

    // True when the current dock is the System Log or the Debug dock.
    bool IsSystemDockCurrent() const;
    // The current dock as a document; null when there is none, when it is a
    // system dock or of another class.
    TabBase* CurrentTabBase() const;
    TabTable* CurrentTabTable() const;

    // Opening files. GetOpenFileName: the chosen path, empty when cancelled.
    QString GetOpenFileName(bool importOnly);
    // The new document over the file; null when the file is missing or could
    // not be read. loaderArgument goes to DocLoader::Load. format: the name of
    // the import format to read it with, as the session or the recent-file
    // list kept it; when empty or gone, mode chooses. place: the document is
    // docked where a new one goes (SetNewDockPosition) before the progress
    // display is full and gone; without it the caller docks it.
    TabTable* OpenFile(const QString& path, QWidget* parent, int32_t loaderArgument, int32_t mode,
                       const std::string& format = std::string(), bool place = true);
    // Keeps the recent-file list; true when the file exists. An existing
    // file enters the list only when it opens for reading.
    bool CheckFileAndAddRecent(const QString& path);
    // Chooses the file kind and loads the file; null after reporting why.
    // reportLater: the load is not reported here; the caller makes a
    // document of the table and reports it once it has its name, or makes
    // none (a try of a format) and never reports it.
    std::unique_ptr<DocLoader> ImportFile(const QString& path, int32_t loaderArgument, int32_t mode,
                                          bool reportLater = false, const std::string& format = std::string());
    void UpdateRecentFileActions();
    // Docks a new document beside the current one and saves the layout.
    void SetNewDockPosition(TabBase* tab);

    // Start-up mode places the two system panels by the saved layout;
    // session mode reopens the saved documents in their docks and tabs.
    void RestoreDocks(bool startup);
    // After the window is shown: reports what the saved layout held wrong,
    // offers the last session's documents, brings the System Log to the
    // front and starts the automatic update check.
    void RestoreSession();
    // The last session is reopened only while "GlobalShowOnStartup" and
    // OpenInSavedWindows are both on.
    static bool ReopensSession();
    // The saved graph tabs of documents (by path) made again from the
    // documents reopened in this session.
    static void RestoreGraphs(const std::vector<std::string>& paths, const std::vector<TabTable*>& reopened);

    QMainWindow* CreateSecondary() override;
    void SaveDocks() override;
    void OnCloseAccepted() override;
    void UpdateActions() override;
    bool eventFilter(QObject* object, QEvent* event) override;

    QToolBar* MainToolbar(int index) const { return toolbars_[index]; }
    QMenu* ToolbarMenu() const { return toolbarMenu_; }
    QMenu* PanelToolbarMenu() const { return panelToolbarMenu_; }
    QMenu* RecentFilesMenu() const { return recentFilesMenu_; }
    ScriptsPanel* Scripts() const { return scripts_.get(); }
    ScriptLibraries* Libraries() const { return libraries_.get(); }
    HelpAssistant& Assistant() const { return *help_; }
    // The checkable entries of "&Panel's Toolbar", in preference order.
    const QList<QAction*>& PanelToolbarActions() const { return panelToolbarActions_; }

signals:
    void SignalAddStringToDebugPanel(const char* out_str);
    void SignalInformation(const char* out_str);

public slots:
    void NewBlankDocument();
    void NewDbConnect();
    void LoadFile(bool needask);
    void LoadFile();
    void ImportFile();
    void SaveAs();
    void Save();
    void Close();
    void CloseAll();
    void OpenRecentFile();
    void PreferencesDialog();
    void LocalToolBarToggled(bool status);
    void CustomMainMenuRequested(const QPoint& pos);
    void SystemLogCustomMenuRequested(const QPoint& pos);
    void DebugWidgetCustomMenuRequested(const QPoint& pos);
    void ClearSystemLog();
    void ClearDebug();
    void CopySystemLog();
    void CopyDebug();
    void MainMenuShowHide();
    void MainToolbarShowHide();
    void SysPanelsOnOff();
    void DockHorizontally();
    void DockVertically();
    void DockDetach();
    void DockAttach();
    void CreateGraph();
    void OnShowOrHide(bool mode);
    void OpenFindDialog();
    void FindNext();
    void FindBack();
    void RowsCopy();
    void RowsPaste();
    void RowsDelete();
    void BookmarkOnOff();
    void SavePDFFile();
    void SaveCSVFile();
    void SaveTXTFile();
    void JumpToPrevPoint();
    void JumpToNextPoint();
    void ToPrevStopPos();
    void ToNextStopPos();
    void PrevBookmarkOnly();
    void NextBookmarkOnly();
    void CreateFuncsDoc();
    // Runs the import-format editor (made on first use) with the file in its
    // test-file line.
    void ImportPrefDialog(const QString& FileToOpen);
    void ImportPrefDialog();
    // The editor kept between uses; null before its first use.
    ImportDialog* ImportEditor() const { return importDialog_; }
    // The kept editor goes; the next "&Import Formats" builds a new one.
    void ForgetImportEditor();
    void NextSelectionOnly();
    void NextHighlightOnly();
    void NextErrorsOnly();
    void PrevSelectionOnly();
    void PrevHighlightOnly();
    void PrevErrorsOnly();
    void JumpToHome();
    void JumpToEnd();
    void RunUpgrade();
    void CreateDocFromMyDbg();
    void SelectAll();
    void ScriptRun();
    void ScriptAdd();
    void ScriptDel();
    void ScriptCopy();
    void ScriptClearCounter();
    void ScriptStop();
    void AddStringToDebugPanel(const char* new_str);
    void OnSignalInformation(const char* text);
    void ScriptPannelOnOff();
    // Opens the dropped files and every file in the dropped folders; asks
    // first when there are more than MAX_DROP_WITHOUT_QUESTION.
    void CallFilesDrag();
    void notImplemented();
    void About();
    void Help();
    void ScriptExpand();
    void ScriptCollapse();

protected:
    // A running script is stopped first; the window closes when it has
    // unwound.
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateSystemDocks();
    // The keys of the document commands that have no twin in the window.
    void CreateDocumentKeys();
    void CreateMenus();
    void CreateToolbars();
    void CreatePanelToolbarMenu(QMenu* view);
    // True for a widget of this window or of a tab-group window below it.
    bool IsOwnWidget(const QObject* object) const;
    // Open and Import: the dialog, then the file in mode.
    void OpenFromDialog(int32_t mode);
    // No line of the file matched the format that claimed it by its suffix:
    // asks whether to choose another one in the import dialog.
    bool OfferAnotherFormat(const QString& path, int32_t claimedBy);
    // Shows each main toolbar by its own preference, or hides all seven.
    void ApplyMainToolbars(bool shown);
    // Copies a panel's selection, or all of it when nothing is selected.
    static void CopyPanel(QPlainTextEdit* view);
    // A context menu of the two panel commands, popped up at global.
    void PopupPanelMenu(const QPoint& global, const char* copySlot, const char* clearSlot, QAction* extra);
    // Connects and reports a failed connection once.
    static bool Connect(const QObject* sender, const char* signal, const QObject* receiver, const char* method);

    QMenu* recentFilesMenu_ = nullptr;
    QMenuBar* menuBar_ = nullptr;
    // Qt's What's-this action, one for the Help menu and the toolbar: two
    // would share Shift+F1 and neither would take it.
    QAction* whatsThis_ = nullptr;
    QToolBar* toolbars_[MAIN_TOOLBAR_COUNT] = {};
    QMenu* toolbarMenu_ = nullptr;
    QMenu* panelToolbarMenu_ = nullptr;
    QList<QAction*> panelToolbarActions_;
    // The entries of "Recent &Files"; replaced whole by each update.
    QList<QAction*> recentFileActions_;
    // A What's-this click on object: its help page or help keyword goes to
    // the help browser; false when object has no help text.
    bool ShowWhatsThisHelp(QObject* object);
    // A What's-this click on a menu entry (the menu shows its own popup
    // otherwise): the entry's help text, or its menu's, goes to the help
    // browser and the menus close; false when there is none.
    bool ShowMenuEntryHelp(QObject* object, const QMouseEvent& release);
    // A help page (text naming an ".html" file) or help keyword to the help
    // browser, then What's-this mode ends; false for an empty text.
    bool ShowHelpText(const QString& text);

    std::unique_ptr<HelpAssistant> help_;
    std::unique_ptr<MainWindowServices> services_;
    ImportDialog* importDialog_ = nullptr;
    std::unique_ptr<MainWindowTabShell> tabShell_;
    std::unique_ptr<ScriptLibraries> libraries_;
    std::unique_ptr<ScriptsPanel> scripts_;
};
