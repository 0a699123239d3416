// The "gui." script functions that talk to the user: gui.input, which asks
// for values in a dialog and writes them into the script's variables, and
// gui.message. Every box and dialog goes through the main window's prompt.
#pragma once

#include "script/scriptbase/scriptlib.h"

class QWidget;

class ScriptBaseGui : public ScriptLibRun {
public:
    static constexpr int FUNCTION_COUNT = 2;
    enum InputKind { DLG_INPUT_INTEGER = 0, DLG_INPUT_DOUBLE = 1, DLG_INPUT_STRING = 2 };
    enum Buttons { BUTTON_OK = 0, BUTTON_YES_NO = 1 };

    // Adds the constants and enters the library; the window is the input
    // dialog's parent.
    void Init(QWidget* mainWindow, ScriptLibRegistry* registry);
    bool Run(ScriptValue& result, int function, int* library, int line, ScriptArgList& args) override;

private:
    void Input(int line, ScriptArgList& args);
    static int64_t Message(int line, const ScriptArgList& args);

    QWidget* mainWindow_ = nullptr;
};
