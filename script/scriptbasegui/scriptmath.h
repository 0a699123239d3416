// The "math." script functions: the C library's floating-point functions.
#pragma once

#include "script/scriptbase/scriptlib.h"

class ScriptMath : public ScriptLibRun {
public:
    static constexpr int FUNCTION_COUNT = 15;

    // Enters the library into both registries (either may be null).
    void Init(ScriptLibRegistry* scriptRegistry, ScriptLibRegistry* searchRegistry);
    bool Run(ScriptValue& result, int function, int* library, int line, ScriptArgList& args) override;
};
