// The message, status and System Log helpers, and the commands of the two
// system panels.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStatusBar>

#include "kxviewer/actiontable.h"
#include "kxviewer/kxvchannels.h"
#include "kxviewer/mainwindow.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/prefdialog.h"
#include "kxviewer/shelltext.h"
#include "kxviewer/systemlogplaintext.h"
#include "kxviewer/table/tabtable.h"
#include "tearoffwidget/resources.h"
#include "tearoffwidget/tearoffprompt.h"
#include "tearoffwidget/tearofftabdock.h"

namespace {

int InformationBox(const QString& text, bool warning)
{
    return TearOffMain::Prompt().Message(TearOffMain::Me, warning ? QMessageBox::Warning : QMessageBox::Information,
                                         QStringLiteral("Information"), text, QMessageBox::Ok,
                                         QMessageBox::NoButton);
}

} // namespace

int MainWindow::Information(const QString& text, bool warning)
{
    KX_PRINT(KxvTearoffChannel, ZmLib::KX_LEVEL_NOTICE, "Information: %s", text.toLocal8Bit().constData());
    return InformationBox(text, warning);
}

int MainWindow::Question(const QString& text, QMessageBox::StandardButtons buttons,
                         QMessageBox::StandardButton defaultButton)
{
    const int answer =
        TearOffMain::Prompt().Question(TearOffMain::Me, QStringLiteral("Question"), text, buttons, defaultButton);
    KX_PRINT(KxvTearoffChannel, ZmLib::KX_LEVEL_NOTICE, "Question \"%s\". Answer: %d", text.toLocal8Bit().constData(),
             answer);
    return answer;
}

void MainWindow::ShowStatus(const QString& text, bool beep)
{
    if (StatusBar != nullptr)
        StatusBar->showMessage(text);
    KxvSyslogChannel.Notice(0, "status: %s", text.toLocal8Bit().constData());
    if (beep)
        QApplication::beep();
}

void MainWindow::ShowReady()
{
    if (StatusBar == nullptr)
        return;
    StatusBar->showMessage(QStringLiteral("Ready"));
    StatusBar->setWhatsThis(QStringLiteral("status"));
}

void MainWindow::AddToSystemLog(const QString& text)
{
    if (SystemLogDock != nullptr && SystemLogView != nullptr) {
        const QIcon icon(QString::fromLatin1(Resources::GetActionIconPath(ACT_NEXT_POINT)));
        SystemLogView->AddEntry(TimeOfDayNow(), icon, text);
    }
    KxvSyslogChannel.NoticeText(0, text.toLocal8Bit().constData());
}

void MainWindow::AddToSystemLogAndStatus(const char* text)
{
    const QString message = QString::fromLocal8Bit(text);
    AddToSystemLog(message);
    ShowStatus(message, false);
}

void MainWindow::ShowHeldMessages()
{
    // Their records went to the debug stream when they came.
    const std::vector<KxvHeldMessage> held = KxvTakeHeldMessages();
    if (SystemLogView != nullptr) {
        const QIcon arrow(QString::fromLatin1(Resources::GetActionIconPath(ACT_NEXT_POINT)));
        for (const KxvHeldMessage& message : held) {
            if (message.box)
                continue;
            if (message.icon == KxvShellServices::LOG_ICON_NONE)
                SystemLogView->AddEntry(QString(), QIcon(), message.text);
            else
                SystemLogView->AddEntry(TimeOfDayText(message.micros), arrow, message.text);
        }
    }
    for (const KxvHeldMessage& message : held)
        if (message.box)
            InformationBox(message.text, message.warning);
}

void MainWindow::AddToSystemLogNoTime(const QString& text)
{
    if (SystemLogDock != nullptr && SystemLogView != nullptr)
        SystemLogView->AddEntry(QString(), QIcon(), text);
    KxvSyslogChannel.NoticeText(0, text.toLocal8Bit().constData());
}

void MainWindow::OnSignalInformation(const char* text)
{
    const bool blocked = blockSignals(true);
    TearOffMain::Prompt().Message(this, QMessageBox::Information, QStringLiteral("Information"),
                                  QString::fromLocal8Bit(text), QMessageBox::Ok, QMessageBox::NoButton);
    blockSignals(blocked);
}

void MainWindow::AddStringToDebugPanel(const char* new_str)
{
    if (DebugDock == nullptr || DebugView == nullptr || DebugView->isHidden())
        return;
    DebugView->appendPlainText(QString::fromLocal8Bit(new_str));
    DebugView->verticalScrollBar()->setValue(DebugView->verticalScrollBar()->maximum());
}

void MainWindow::CopyPanel(QPlainTextEdit* view)
{
    if (view == nullptr)
        return;
    QTextCursor cursor = view->textCursor();
    if (cursor.hasSelection()) {
        view->copy();
        return;
    }
    view->selectAll();
    // An empty view has nothing to select; the clipboard still gets its text.
    QApplication::clipboard()->setText(view->textCursor().selectedText().replace(QChar::ParagraphSeparator, '\n'));
    cursor.movePosition(QTextCursor::End);
    view->setTextCursor(cursor);
}

void MainWindow::CopySystemLog() { CopyPanel(SystemLogView); }

void MainWindow::CopyDebug() { CopyPanel(DebugView); }

void MainWindow::ClearSystemLog()
{
    if (SystemLogView != nullptr)
        SystemLogView->Clear();
}

void MainWindow::ClearDebug()
{
    if (DebugView != nullptr)
        DebugView->clear();
}

void MainWindow::PopupPanelMenu(const QPoint& global, const char* copySlot, const char* clearSlot, QAction* extra)
{
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* copy = menu->addAction(QIcon(QString::fromLatin1(Resources::GetIconPath("Copy", Resources::IconExt))),
                                    QStringLiteral("Copy"));
    Connect(copy, SIGNAL(triggered()), this, copySlot);
    QAction* clear = menu->addAction(
        QIcon(QString::fromLatin1(Resources::GetIconPath("Erase", Resources::IconExt))), QStringLiteral("Clear contents"));
    Connect(clear, SIGNAL(triggered()), this, clearSlot);
    if (extra != nullptr) {
        menu->addSeparator();
        menu->addAction(extra);
    }
    menu->popup(global);
}

void MainWindow::SystemLogCustomMenuRequested(const QPoint& pos)
{
    if (SystemLogDock == nullptr)
        return;
    PopupPanelMenu(SystemLogDock->mapToGlobal(pos), SLOT(CopySystemLog()), SLOT(ClearSystemLog()), nullptr);
}

void MainWindow::DebugWidgetCustomMenuRequested(const QPoint& pos)
{
    if (DebugView == nullptr)
        return;
    QAction* openLog = Actions[ACT_OPEN_DEBUG_LOG];
    openLog->setEnabled(PrefGlobal::CreateLogFile);
    PopupPanelMenu(DebugView->mapToGlobal(pos), SLOT(CopyDebug()), SLOT(ClearDebug()), openLog);
}

void MainWindow::SysPanelsOnOff()
{
    if (SystemLogDock == nullptr || DebugDock == nullptr)
        return;
    const bool on = Actions[ACT_SYSTEM_PANELS]->isChecked();
    SystemLogDock->ShowOrHide(on && PrefGlobal::PanelSystemLog, false);
    DebugDock->ShowOrHide(on && PrefGlobal::PanelDebug, false);
}

void MainWindow::PreferencesDialog()
{
    PrefDialog dialog(this);
    Prompt().Exec(&dialog);
}

void MainWindow::RowsCopy()
{
    if (CurrentDock == nullptr)
        return;
    if (CurrentDock == SystemLogDock) {
        if (SystemLogView != nullptr)
            SystemLogView->copy();
    } else if (CurrentDock == DebugDock) {
        if (DebugView != nullptr)
            DebugView->copy();
    } else if (TabBase* tab = CurrentTabBase()) {
        tab->RowsCopy();
    }
}

void MainWindow::CreateGraph()
{
    if (CurrentDock == nullptr)
        return;
    if (TabTable* table = CurrentTabTable())
        table->CreateGraph();
    else
        Information(QStringLiteral("Current window is not a base table!"), true);
}

void MainWindow::CloseAll() { CloseDocks(this, false, true); }

void MainWindow::DockHorizontally()
{
    if (CurrentDock != nullptr)
        SplitOneTearOffDock(CurrentDock, Qt::Horizontal);
}

void MainWindow::DockVertically()
{
    if (CurrentDock != nullptr)
        SplitOneTearOffDock(CurrentDock, Qt::Vertical);
}
