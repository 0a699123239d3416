// Shell services for tests: the System Log lines and the information boxes
// are recorded as 8-bit texts; nothing is shown.
#pragma once

#include <string>
#include <vector>

#include <QMessageBox>
#include <QString>

#include "kxviewer/shellservices.h"

namespace kxtest {

class ShellRecorder : public KxvShellServices {
public:
    ShellRecorder() : previous_(KxvSetShell(this)) {}
    ~ShellRecorder() override { KxvSetShell(previous_); }

    void AddToSystemLog(const QString& text, LogIcon) override { log.push_back(text.toLocal8Bit().toStdString()); }
    int Information(const QString& text, bool warning) override
    {
        info.push_back(text.toLocal8Bit().toStdString());
        warnings.push_back(warning);
        return QMessageBox::Ok;
    }
    void Clear()
    {
        log.clear();
        info.clear();
        warnings.clear();
    }

    std::vector<std::string> log;
    std::vector<std::string> info;
    std::vector<bool> warnings;

private:
    KxvShellServices* previous_;
};

} // namespace kxtest
