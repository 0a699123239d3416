#include "kxviewer/mainwindowservices.h"

#include <QApplication>
#include <QStatusBar>

#include "kxviewer/docloader.h"
#include "kxviewer/helpassistant.h"
#include "kxviewer/mainwindow.h"

void MainWindowServices::AddToSystemLog(const QString& text, LogIcon icon)
{
    if (icon == LOG_ICON_NONE)
        MainWindow::AddToSystemLogNoTime(text);
    else
        MainWindow::AddToSystemLog(text);
}

void MainWindowServices::ShowStatus(const QString& text, bool beep, int timeoutMs)
{
    if (timeoutMs == 0) {
        MainWindow::ShowStatus(text, beep);
        return;
    }
    // A passing message: the same record, but the text goes after timeoutMs.
    KxvShellServices::ShowStatus(text, false, timeoutMs);
    if (MainWindow::StatusBar != nullptr)
        MainWindow::StatusBar->showMessage(text, timeoutMs);
    if (beep)
        QApplication::beep();
}

int MainWindowServices::Information(const QString& text, bool warning)
{
    return MainWindow::Information(text, warning);
}

bool MainWindowServices::Ask(const QString& text)
{
    return MainWindow::Question(text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

QWidget* MainWindowServices::MainWidget() const { return window_; }

QString MainWindowServices::OpenFileName() { return window_->GetOpenFileName(true); }

void MainWindowServices::ShowHelpPage(const QString& page) { window_->Assistant().ShowPage(page); }

void MainWindowServices::ForgetImportEditor() { window_->ForgetImportEditor(); }

std::unique_ptr<DocLoader> MainWindowServices::ImportFile(const QString& path, int32_t maxRecords, int32_t mode)
{
    // A try of a format opens no document: the load is never reported as one.
    return window_->ImportFile(path, maxRecords, mode, true);
}
