// The Scripts panel: the user's list of script files with a Run and a Stop
// button and a few lines of facts per file, and the runs themselves. The
// list is PrefGlobal::Scripts; the panel keeps the widgets and run state of
// each entry beside it, in the same order. The main window owns the dock:
// a document tab may show it, but never takes it along when it goes.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <QDockWidget>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QPushButton>
#include <QTreeWidget>
#include <QString>

class CodeParser;
class QDateTime;
class MainWindow;
class QAction;
class QTreeWidgetItem;
class TabBase;
struct ScriptEntry;

class ScriptsPanel : public QObject {
    Q_OBJECT

public:
    static constexpr int NAME_LENGTH = 30;
    static constexpr int DESCRIPTION_LINES = 5;
    enum RunState : int32_t { RUN_IDLE = 0, RUN_ACTIVE = 1, RUN_PAUSED = 2 };
    enum Status : int32_t { STATUS_COMPLETED = 0, STATUS_RUNNING = 1, STATUS_INTERRUPTED = 2, STATUS_FAILED = 3 };
    // The child lines of a row, in order.
    enum Line : int32_t { L_DESCRIPTION, L_FILE, L_PATH, L_RUN_COUNT, L_LAST_START, L_EXEC_TIME, L_STATUS, LINES };

    // What the panel shows of one entry and the state of its run.
    struct Row {
        QString file;
        QString name;
        QString description;
        bool readable = false;
        QTreeWidgetItem* item = nullptr;
        QTreeWidgetItem* lines[LINES] = {};
        // A run holds the row's widgets weakly: the panel may lose them
        // while the script runs (the window closing).
        QPointer<QPushButton> runButton;
        QPointer<QPushButton> stopButton;
        CodeParser* parser = nullptr;
        int32_t runState = RUN_IDLE;
    };

    explicit ScriptsPanel(MainWindow* window);

    // Name and description from the file's leading comment lines.
    static void FillScriptData(const QString& path, Row& row);
    // The path of an entry as the user chose it.
    static QString EntryPath(const ScriptEntry& entry);
    // "Completed", "Running", ... by an entry's status.
    static QString StatusText(int32_t status);
    // A fact line's text: its label, ": " and the value.
    static QString LineText(int32_t line, const QString& value);
    static QString LastStartText(const QDateTime& time);

    QDockWidget* Dock() const { return dock_; }
    QTreeWidget* Tree() const { return tree_; }
    int32_t RowCount() const { return int32_t(rows_.size()); }
    const Row& RowAt(int32_t index) const { return *rows_[size_t(index)]; }
    int32_t CurrentIndex() const { return current_; }
    // True from a start until the run has ended.
    bool Running() const { return running_ != nullptr; }

    // Builds the dock again when it was lost and no run is under way.
    void EnsureBuilt();
    // A document that showed the dock goes: the dock comes back here.
    void TakeBack();
    // Asks the running script to stop; the window closes once it has.
    bool StopForClose();
    // The run and stop actions as the run state says; "Run script" only
    // while the panel is shown, or while a script runs (it pauses it).
    void UpdateActions();
    // The panel shown beside a document or put away.
    void SetShown(bool shown);

    void Run(QObject* sender);
    void Stop(QObject* sender);
    void Add();
    void Delete();
    void Copy();
    void ClearCounter();
    void ExpandAll();
    void CollapseAll();

private:
    void Build();
    void AddRow(int32_t index);
    void SetLine(Row& row, int32_t line, const QString& text);
    // The entry index a push button or the current selection names; -1
    // when none is valid.
    int32_t ChosenIndex(QObject* sender);
    QTreeWidgetItem* TopItem(QTreeWidgetItem* item) const;
    int32_t IndexOf(const Row* row) const;
    void TogglePause(Row& row);
    void Start(Row* row);
    void Execute(Row* row);
    void Finish(Row* row, int32_t exitCode, const QString* error, int64_t elapsed);
    void SetRunIcon(Row& row, const char* icon);
    // The context menu at a point of the tree's viewport.
    void ShowMenu(const QPoint& pos);
    // The menu of menuItem_, or of the whole list without one.
    void PopUpMenu(const QPoint& globalPos);
    void ItemChanged(QTreeWidgetItem* current);
    void ItemDoubleClicked(QTreeWidgetItem* item);
    QAction* Action(int32_t id) const;
    // The document the dock is shown beside; null while the window holds it.
    TabBase* Host() const;

    MainWindow* window_;
    QPointer<QDockWidget> dock_;
    QPointer<QTreeWidget> tree_;
    std::vector<std::unique_ptr<Row>> rows_;
    Row* running_ = nullptr;
    // Set between a Run press and the queued start of the run.
    bool stopBeforeStart_ = false;
    bool closeAfterRun_ = false;
    bool shown_ = false;
    int32_t current_ = -1;
    QTreeWidgetItem* menuItem_ = nullptr;
    QTreeWidgetItem* currentItem_ = nullptr;
    QElapsedTimer clock_;
};
