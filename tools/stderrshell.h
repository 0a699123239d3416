// What the loader writes to the viewer's System Log, as lines on standard
// error behind the tool's name. Its message boxes and the status bar only
// repeat the log.
#pragma once

#include <cstdio>

#include "kxviewer/shellservices.h"

class StderrShell : public KxvShellServices {
public:
    explicit StderrShell(const char* tool) : tool_(tool) {}
    void AddToSystemLog(const QString& text, LogIcon) override
    {
        std::fprintf(stderr, "%s: %s\n", tool_, text.toLocal8Bit().constData());
    }
    void ShowStatus(const QString&, bool, int) override {}

private:
    const char* tool_;
};
