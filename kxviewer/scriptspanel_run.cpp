// Running a script from the panel: start, pause, resume, stop and the end
// of a run. A run is nested in the event loop (the interpreter processes
// events), so it starts from a queued call: no button's press handler
// stays on the stack below it.
// The front end's C headers come before Qt's, whose emit macro they use
// as a member name.
#include "script/scriptbase/mainparser.h"

#include <exception>
#include <string>

#include <QAction>
#include <QDateTime>
#include <QDockWidget>
#include <QFile>
#include <QLocale>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include "kxviewer/actiontable.h"
#include "kxviewer/mainwindow.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/scriptlibraries.h"
#include "kxviewer/scriptspanel.h"
#include "kxviewer/shelltext.h"
#include "kxviewer/table/guiicons.h"
#include "script/scriptbase/codeparser.h"

namespace {

void Report(const QString& format, const QString& name, const QString& extra = QString())
{
    QString text = format.arg(name);
    if (!extra.isNull())
        text = text.arg(extra);
    MainWindow::AddToSystemLogAndStatus(text.toLocal8Bit().constData());
}

} // namespace

int32_t ScriptsPanel::ChosenIndex(QObject* sender)
{
    if (auto* button = qobject_cast<QPushButton*>(sender)) {
        bool ok = false;
        const int32_t index = button->property("Script_index").toInt(&ok);
        if (!ok || index < 0 || index >= RowCount())
            return -1;
        current_ = index;
        return index;
    }
    return current_ >= 0 && current_ < RowCount() ? current_ : -1;
}

void ScriptsPanel::UpdateActions()
{
    Action(ACT_SCRIPT_STOP)->setEnabled(running_ != nullptr);
    // Shown: on, and not away in a document that is not in front.
    const bool shown = shown_ && dock_ && dock_->isVisibleTo(dock_->window());
    Action(ACT_SCRIPT_RUN)->setEnabled(running_ != nullptr || (shown && current_ >= 0 && current_ < RowCount()));
}

void ScriptsPanel::SetShown(bool shown)
{
    shown_ = shown;
    UpdateActions();
}

void ScriptsPanel::SetRunIcon(Row& row, const char* icon)
{
    QAction* run = Action(ACT_SCRIPT_RUN);
    run->setIcon(LoadIconResource(icon, ".ico"));
    if (row.runButton)
        row.runButton->setIcon(run->icon());
}

void ScriptsPanel::Run(QObject* sender)
{
    const int32_t index = ChosenIndex(sender);
    // One script runs at a time: while it does, Run pauses and resumes it,
    // whichever row is current.
    if (running_) {
        TogglePause(*running_);
        return;
    }
    if (index >= 0)
        Start(rows_[size_t(index)].get());
}

void ScriptsPanel::TogglePause(Row& row)
{
    const bool pausing = row.runState == RUN_ACTIVE;
    SetRunIcon(row, pausing ? "pause" : "play");
    row.runState = pausing ? RUN_PAUSED : RUN_ACTIVE;
    Report(pausing ? QStringLiteral("Script \"%1\" paused") : QStringLiteral("Script \"%1\" restarted"), row.name);
    // The interpreter takes the flag back when it starts waiting: a flag
    // still set was not taken yet, and clearing it cancels the pause.
    if (row.parser)
        row.parser->pause = row.parser->pause ? 0 : 1;
}

void ScriptsPanel::Start(Row* row)
{
    ScriptEntry& entry = PrefGlobal::Scripts[size_t(IndexOf(row))];
    const QDateTime now = QDateTime::currentDateTime();
    ++entry.counter;
    entry.dateTime = now.toString(QLocale().dateTimeFormat(QLocale::ShortFormat)).toLocal8Bit().toStdString();
    entry.status = STATUS_RUNNING;
    if (tree_) {
        row->item->setData(2, Qt::DisplayRole, entry.counter);
        SetLine(*row, L_RUN_COUNT, LineText(L_RUN_COUNT, QString::number(entry.counter)));
        SetLine(*row, L_LAST_START, LineText(L_LAST_START, LastStartText(now)));
        SetLine(*row, L_STATUS, LineText(L_STATUS, StatusText(STATUS_RUNNING)));
        for (int32_t line = L_RUN_COUNT; line < LINES; ++line)
            row->lines[line]->setHidden(false);
        tree_->sortItems(2, Qt::DescendingOrder);
    }
    running_ = row;
    stopBeforeStart_ = false;
    SetRunIcon(*row, "pause");
    row->runState = RUN_ACTIVE;
    UpdateActions();
    if (row->stopButton)
        row->stopButton->setEnabled(true);
    for (const std::unique_ptr<Row>& other : rows_)
        if (other.get() != row && other->runButton)
            other->runButton->setEnabled(false);
    QMetaObject::invokeMethod(this, [this, row] { Execute(row); }, Qt::QueuedConnection);
}

void ScriptsPanel::Execute(Row* row)
{
    const QString path = EntryPath(PrefGlobal::Scripts[size_t(IndexOf(row))]);
    std::string compileError;
    CodeParser* parser = MainParser::PrepareFileParser(QFile::encodeName(path).constData(), &compileError);
    clock_.start();
    if (!parser) {
        const QString error = QString::fromLocal8Bit(compileError.c_str());
        Finish(row, 0, &error, 0);
        return;
    }
    Report(QStringLiteral("Script \"%1\" started"), row->name);
    row->parser = parser;
    if (row->runState == RUN_PAUSED)
        parser->pause = 1;
    if (stopBeforeStart_)
        parser->Stop();
    int32_t exitCode = CodeParser::EXIT_SCRIPT;
    QString error;
    bool failed = false;
    try {
        parser->Run();
    } catch (CodeParser::ExitCode code) {
        exitCode = code;
    } catch (const std::exception& e) {
        // Where, as a compile error says it.
        error = QStringLiteral("%1(%2) : %3").arg(path).arg(parser->CurrentLine()).arg(QString::fromLocal8Bit(e.what()));
        failed = true;
    }
    Finish(row, exitCode, failed ? &error : nullptr, clock_.nsecsElapsed() / 1000);
}

void ScriptsPanel::Finish(Row* row, int32_t exitCode, const QString* error, int64_t elapsed)
{
    ScriptEntry& entry = PrefGlobal::Scripts[size_t(IndexOf(row))];
    if (error) {
        entry.status = STATUS_FAILED;
    } else if (exitCode == CodeParser::EXIT_SCRIPT) {
        entry.status = STATUS_COMPLETED;
        entry.execTime = elapsed;
    } else {
        entry.status = STATUS_INTERRUPTED;
        entry.execTime = 0;
    }
    // The row tells how the run ended before a box waits for the user.
    if (tree_) {
        SetLine(*row, L_EXEC_TIME, LineText(L_EXEC_TIME, FormatMicroseconds(entry.execTime)));
        SetLine(*row, L_STATUS, LineText(L_STATUS, StatusText(entry.status)));
        row->lines[L_STATUS]->setHidden(false);
    }
    if (error) {
        MainWindow::AddToSystemLog(*error);
        MainWindow::Information(*error, true);
        Report(QStringLiteral("Script \"%1\" finished with error: \"%2\""), row->name, *error);
    } else if (exitCode == CodeParser::EXIT_SCRIPT) {
        Report(QStringLiteral("Script \"%1\" finished"), row->name);
    } else {
        Report(QStringLiteral("Script \"%1\" stopped by user"), row->name);
    }
    SetRunIcon(*row, "play");
    row->runState = RUN_IDLE;
    if (row->stopButton)
        row->stopButton->setEnabled(false);
    for (const std::unique_ptr<Row>& other : rows_)
        if (other->runButton)
            other->runButton->setEnabled(true);
    if (row->parser) {
        row->parser->Free();
        delete row->parser;
        row->parser = nullptr;
    }
    running_ = nullptr;
    UpdateActions();
    const std::string failures = window_->Libraries()->RunEnded();
    if (!failures.empty())
        MainWindow::AddToSystemLog(QString::fromLocal8Bit(failures.c_str()));
    EnsureBuilt();
    if (closeAfterRun_) {
        closeAfterRun_ = false;
        QTimer::singleShot(0, window_, &QWidget::close);
    }
}

void ScriptsPanel::Stop(QObject* sender)
{
    // The action stops the running script; a row's button only its own.
    Row* row = running_;
    if (qobject_cast<QPushButton*>(sender)) {
        const int32_t index = ChosenIndex(sender);
        row = index >= 0 ? rows_[size_t(index)].get() : nullptr;
    }
    if (!row || row != running_)
        return;
    MainWindow::AddToSystemLog(QStringLiteral("Script \"%1\" stopped").arg(row->name));
    if (row->parser)
        row->parser->Stop();
    else
        stopBeforeStart_ = true;
}

bool ScriptsPanel::StopForClose()
{
    if (!running_)
        return false;
    closeAfterRun_ = true;
    Stop(nullptr);
    return true;
}
