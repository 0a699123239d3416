// The shell services as the main window provides them: the System Log, the
// status bar and the message boxes of the window.
#pragma once

#include "kxviewer/shellservices.h"

class MainWindow;

class MainWindowServices : public KxvShellServices {
public:
    explicit MainWindowServices(MainWindow* window) : window_(window) {}

    void AddToSystemLog(const QString& text, LogIcon icon) override;
    void ShowStatus(const QString& text, bool beep, int timeoutMs) override;
    int Information(const QString& text, bool warning) override;
    bool Ask(const QString& text) override;
    QWidget* MainWidget() const override;
    QString OpenFileName() override;
    std::unique_ptr<DocLoader> ImportFile(const QString& path, int32_t maxRecords, int32_t mode) override;
    void ShowHelpPage(const QString& page) override;
    void ForgetImportEditor() override;
    void StartUpdateCheck() override;

private:
    MainWindow* window_;
};
