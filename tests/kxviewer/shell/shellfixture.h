// The debug stream as main prepares it, with every text line kept, and a
// main window built fresh for each test.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include <QApplication>

#include "kxviewer/mainwindow.h"
#include "scriptedprompt.h"

namespace shelltest {

// Every text line of the debug stream since the last Clear.
std::vector<std::string>& Lines();
// The kept lines that contain part.
std::vector<std::string> LinesWith(const std::string& part);

// Prepares the stream, the channels, the sinks and the action table once.
void PrepareProcess();

class MainWindowTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    ScriptedPrompt prompt;
    std::unique_ptr<MainWindow> window;
};

} // namespace shelltest
