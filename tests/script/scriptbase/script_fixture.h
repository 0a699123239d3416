// Runs script texts through the real front end and interpreter, with a test
// library that records what the script prints and offers handlers, records,
// failures and argument echoes.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "script/scriptbase/codeparser.h"
#include "script/scriptbase/mainparser.h"
#include "script/scriptbasegui/scriptmath.h"
#include "utils/common/strbase.h"

namespace scripttest {

class TestLibrary : public ScriptLibRun {
public:
    enum { PRINT, HANDLER, FAIL, RECORD, GET_VALUE, COUNT_ARGS, SET_ARG, TYPE_OF, ANY_ARGS, PAUSE, STOP, SCRATCH, FUNCTIONS };

    std::string printed;
    int object = 0;
    CodeParser* running = nullptr;

    static const ScriptLibFunc* Table()
    {
        static const ScriptLibFunc table[FUNCTIONS] = {
            {"gui.print", 0, SCRIPT_INTEGER, 1, {SCRIPT_STRING}},
            {"test.handler", 0, SCRIPT_HANDLER, 0, {0}},
            {"test.fail", 0, SCRIPT_INTEGER, 0, {0}},
            {"test.record", 0, SCRIPT_RECORD, 1, {SCRIPT_INTEGER}},
            {"kxrow.get_value", 0, SCRIPT_INTEGER, 2, {SCRIPT_RECORD, SCRIPT_INTEGER}},
            {"test.count", 1, SCRIPT_INTEGER, 0, {0}},
            {"test.set", 0, SCRIPT_INTEGER, 2, {SCRIPT_ANY, SCRIPT_INTEGER}},
            {"test.type", 1, SCRIPT_STRING, 1, {SCRIPT_ANY}},
            {"test.any", 0, SCRIPT_INTEGER, 1, {SCRIPT_DOUBLE, SCRIPT_ANY, SCRIPT_STRING}},
            {"test.pause", 0, SCRIPT_INTEGER, 0, {0}},
            {"test.stop", 0, SCRIPT_INTEGER, 0, {0}},
            {"test.scratch", 1, SCRIPT_STRING, 1, {SCRIPT_STRING}},
        };
        return table;
    }

    bool Run(ScriptValue& result, int function, int*, int, ScriptArgList& args) override
    {
        switch (function) {
        case PRINT: printed += std::string(args.Arg(0).text) + "\n"; return true;
        case HANDLER: result.object = &object; return true;
        case FAIL: result.type = SCRIPT_FAILED; return true;
        case RECORD: result.object = &object; result.SetInt(args.Arg(0).Int()); return true;
        case GET_VALUE: result.SetInt(args.Arg(0).Int() * 100 + args.Arg(1).Int()); return true;
        case COUNT_ARGS: result.SetInt(args.count); return true;
        case SET_ARG:
            // Writes back through the argument: only a variable changes.
            *args.args[0].current = ScriptValue::Integer(args.Arg(1).Int());
            result.SetInt(args.args[0].IsReference() ? 1 : 0);
            return true;
        case TYPE_OF: result.text = ScriptTypeName(args.Arg(0).type); return true;
        // As the Scripts panel does from inside event processing.
        case PAUSE: running->pause = 1; return true;
        case STOP: running->Stop(); return true;
        // As a library that formats its result in a scratch buffer.
        case SCRATCH:
            result.text = std::strcpy(ZmLib::StrBase::TempBuffer(), args.Arg(0).text);
            return true;
        default: return true;
        }
    }
};

// Parses and runs a script text: empty when it ended normally, else "ERROR
// <text>", "EXIT 0", "EXIT 1" or "PARSE".
inline std::string RunText(CodeParser& code, const std::string& text)
{
    if (code.PrepareInputParser(MainParser::PrepareStringParser(text.c_str())) != 0)
        return "PARSE";
    try {
        code.Run();
    } catch (CodeParser::ExitCode exit) {
        return "EXIT " + std::to_string(int(exit));
    } catch (const ScriptError& error) {
        return std::string("ERROR ") + error.what();
    }
    return std::string();
}

struct ScriptCase {
    const char* script;
    const char* expected;
};

// Each case's script through run, against its expected result.
template <size_t N, typename RunScript>
void ExpectRunsWith(const ScriptCase (&cases)[N], RunScript run)
{
    for (const ScriptCase& c : cases)
        EXPECT_EQ(c.expected, run(c.script)) << c.script;
}

// What a run gave: the printed lines, then "ERROR <text>", "EXIT 0",
// "EXIT 1" or "PARSE" when the run ended otherwise than normally.
class ScriptFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ScriptLibRegistry::script = &registry_;
        ScriptLibRegistry::search = nullptr;
        math_.Init(&registry_, nullptr);
        registry_.Add(&library_, TestLibrary::Table(), TestLibrary::FUNCTIONS);
    }
    void TearDown() override { ScriptLibRegistry::script = nullptr; }

    std::string Run(const std::string& text)
    {
        library_.printed.clear();
        CodeParser code;
        code_ = &code;
        library_.running = &code;
        const std::string tail = RunText(code, text);
        code_ = nullptr;
        library_.running = nullptr;
        return library_.printed + tail;
    }

    template <size_t N>
    void ExpectRuns(const ScriptCase (&cases)[N])
    {
        ExpectRunsWith(cases, [this](const char* script) { return Run(script); });
    }

    ScriptLibRegistry registry_;
    ScriptMath math_;
    TestLibrary library_;
    CodeParser* code_ = nullptr;
};

} // namespace scripttest
