// The interpreter's life cycle and debug output: pause, resume and stop,
// named constants, the print and debug pieces, the tree trace, one parsed
// script run twice, the table limits and a thousand runs that keep no memory.
#include <malloc.h>
#include <pthread.h>

#include <cstddef>
#include <string>
#include <vector>

#include "script/scriptbase/scriptchannels.h"
#include "utils/common/strbase.h"
#include "tests/script/scriptbase/script_fixture.h"
#include "tests/utils/kx/kx_channel_capture.h"

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer runtime's counter (GCC ships no header for it).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

using scripttest::ScriptCase;
using scripttest::ScriptFixture;
using Lines = std::vector<std::string>;

namespace {

class RunCycle : public ScriptFixture {
protected:
    void TearDown() override
    {
        ProcessEventsCallback = nullptr;
        ScriptConstantTable::Global().Clear();
        ScriptFixture::TearDown();
    }
    // Pause from a library call; the event loop resumes or stops the script.
    std::string RunPolled(const char* script, int resumeAt, int stopAt)
    {
        self_ = this;
        polls_ = 0;
        resumeAt_ = resumeAt;
        stopAt_ = stopAt;
        ProcessEventsCallback = &Poll;
        return Run(script);
    }
    static void Poll()
    {
        if (++self_->polls_ == self_->stopAt_)
            self_->code_->Stop();
        if (self_->polls_ == self_->resumeAt_)
            self_->code_->pause = 1;
    }

    static inline RunCycle* self_ = nullptr;
    int polls_ = 0;
    int resumeAt_ = 0;
    int stopAt_ = 0;
};

TEST_F(RunCycle, EventLoopResumesOrStopsAPausedScript)
{
    const struct {
        const char* script;
        int resumeAt, stopAt;
        const char* expected;
        int polls;
    } cases[] = {
        {"print(1); test.pause(); print(2);", 3, 0, "1\n2\n", 3},
        // A stop ends the script at its next step.
        {"print(1); test.pause(); print(2);", 0, 2, "1\nEXIT 1", 2},
        // A stop while paused in a loop clears the pause.
        {"var i = 0; while (1) { i++; if (i == 2) { test.pause(); } }", 0, 1, "EXIT 1", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        EXPECT_EQ(c.expected, RunPolled(c.script, c.resumeAt, c.stopAt));
        EXPECT_EQ(c.polls, polls_);
    }
}

// Stop only raises the flag and returns; the interpreter ends the run in its
// own frames after the library call that asked for it.
TEST_F(RunCycle, RunEndings)
{
    const ScriptCase cases[] = {
        {"test.stop(); print(1);", "EXIT 1"},
        {"print(1); test.stop();", "1\nEXIT 1"},
        {"var i = 0; while (1) { i++; if (i == 3) { test.stop(); } }", "EXIT 1"},
        {"var i = 0; L: i++; if (i == 5) { test.stop(); } goto L;", "EXIT 1"},
        {"function f() { test.stop(); return 1; } var x = f() + 1; print(x);", "EXIT 1"},
        {"var a = {1, 2}; { var b = a; test.stop(); } print(a);", "EXIT 1"},
        // Without an event loop a pause goes on.
        {"print(1); test.pause(); print(2);", "1\n2\n"},
        // A syntax error leaves no tree.
        {"var = ;", "PARSE"},
        // Errors carry the line of the failing node.
        {"print(1);\n\nprint(nope);\n", "1\nERROR Error: Unknown variable nope, Line: 3"},
        {"var a = 1;\nvar b = a /\n0;", "ERROR Error: Divide by zero, Line: 3"},
    };
    ExpectRuns(cases);
}

TEST_F(RunCycle, ConstantsReadOnly)
{
    ScriptConstantTable::Global().AddInt("BUTTON_OK", 7);
    const char* const refused = "ERROR Error: You can not assign value to constant  BUTTON_OK, Line: 1";
    const ScriptCase cases[] = {
        {"print(BUTTON_OK);", "7\n"},
        {"BUTTON_OK = 1;", refused},
        {"var BUTTON_OK = 1;", refused},
        {"BUTTON_OK++;", refused},
        {"undef BUTTON_OK;", refused},
        {"function f(OUT r) { r = 1; } f(BUTTON_OK);", "ERROR Error: Parameter r must be a variable, Line: 1"},
        {"print(test.set(BUTTON_OK, 5), BUTTON_OK);", "07\n"},
        {"var x = 1;\nBUTTON_OK += x;", "ERROR Error: You can not assign value to constant  BUTTON_OK, Line: 2"},
    };
    ExpectRuns(cases);
}

TEST_F(RunCycle, ConstantTableHoldsTwoHundred)
{
    for (int i = 0; i < ScriptConstantTable::MAX_CONSTANTS; i++)
        EXPECT_TRUE(ScriptConstantTable::Global().AddInt("C", i));
    EXPECT_FALSE(ScriptConstantTable::Global().AddInt("D", 1));
    EXPECT_EQ(nullptr, ScriptConstantTable::Global().Find("D"));
    EXPECT_EQ(0, ScriptConstantTable::Global().Find("C")->Int());
}

TEST_F(RunCycle, PrintAndDebugPiecesGoToTheScriptChannel)
{
    kxtest::ChannelCapture capture({&KxScriptChannel}, ZmLib::KX_LEVEL_INFO);
    EXPECT_EQ("a1\nx= 3\n", Run("print(\"a\", 1); var x = 3; debug(x);"));
    EXPECT_EQ((Lines{"a", "1", "x= 3"}), capture.Texts());
    kxtest::ChannelEvents().clear();
    EXPECT_EQ("+ x 1= 4, 'q'= q\n", Run("var x = 3; debug(x + 1, 'q');"));
    EXPECT_EQ((Lines{"+ x 1= 4, ", "'q'= q"}), capture.Texts());
    // Without gui.print the pieces are still written.
    ScriptLibRegistry empty;
    ScriptLibRegistry::script = &empty;
    kxtest::ChannelEvents().clear();
    EXPECT_EQ("", Run("print(\"a\", 2.5);"));
    EXPECT_EQ((Lines{"a", "2.500000"}), capture.Texts());
}

TEST_F(RunCycle, LongPrintIsCutAtTheScratchCapacity)
{
    const std::string script = "var s = \"" + std::string(1000, 'a') + "\"; print(s, s);";
    EXPECT_EQ(ZmLib::TEMP_STR_CAPACITY + 1, Run(script).size());
}

TEST_F(RunCycle, PreparationPassTracesEveryNode)
{
    kxtest::ChannelCapture capture({&ZmLib::KxSys}, ZmLib::KX_LEVEL_INFO);
    Run("print(1);");
    EXPECT_EQ((Lines{"     Type: 79 Line: 1 Index: 0 Text: STMT_PRINT",
                     "         Type: 46 Line: 1 Index: 0 Text: 1"}),
              capture.Texts());
}

// A stop before the run ends that run only; the same tree then runs alike
// each time, and after Free a run does nothing.
TEST_F(RunCycle, ParsedScriptRunsAgainAlike)
{
    CodeParser code;
    library_.running = &code;
    ASSERT_EQ(0, code.PrepareInputParser(MainParser::PrepareStringParser(
                     "function f(a) { return a + 1; } var s = fix(\"x\"); L: var m = s =~ \"(x)\"; print(f(1), m, $1);")));
    code.pause = 1;
    code.Stop();
    EXPECT_THROW(code.Run(), CodeParser::ExitCode);
    EXPECT_EQ("", library_.printed);
    EXPECT_EQ(0, code.pause);
    code.Run();
    code.Run();
    EXPECT_EQ("21x\n21x\n", library_.printed);
    code.Free();
    code.Run();
    EXPECT_EQ("21x\n21x\n", library_.printed);
    library_.running = nullptr;
}

// The piece with every '#' replaced by its index, count times.
std::string Repeat(const std::string& piece, int count)
{
    std::string out;
    for (int i = 0; i < count; i++) {
        std::string p = piece;
        for (size_t at; (at = p.find('#')) != std::string::npos;)
            p.replace(at, 1, std::to_string(i));
        out += p;
    }
    return out;
}

TEST_F(RunCycle, TablesRefuseEntriesBeyondTheirLimits)
{
    const std::string overflow = "ERROR Error: Allocation overflow, Line: 1";
    const struct {
        std::string script;
        std::string expected;
    } cases[] = {
        {Repeat("var v#;", 200) + "print(1);", "1\n"},
        {Repeat("var v#;", 201), overflow},
        {Repeat("goto L;", 20) + "L: print(2);", "2\n"},
        {Repeat("goto L;", 21) + "L: print(2);", overflow},
        {Repeat("L#: ", 20) + "print(3);", "3\n"},
        {Repeat("L#: ", 21), overflow},
        {Repeat("var s# = fix(\"a\");", 200) + "free(s0); s0 = fix(\"b\"); print(s0);", "b\n"},
        {Repeat("var s# = fix(\"a\");", 201), overflow},
        {"var m;" + Repeat("m = \"a\" =~ \"a\";", 200) + "print(m);", "1\n"},
        {"var m;" + Repeat("m = \"a\" =~ \"a\";", 201), overflow},
        {"print(1" + Repeat(", 1", 199) + ");", std::string(200, '1') + "\n"},
        {"print(1" + Repeat(", 1", 200) + ");", overflow},
        // One goto and label list per function besides the program's: 199 functions.
        {Repeat("function f#() { }", 199) + "print(4);", "4\n"},
        {Repeat("function f#() { }", 200), overflow},
        {"function f() { }" + Repeat("f();", 200) + "print(5);", "5\n"},
        {"function f() { }" + Repeat("f();", 201), overflow},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, Run(c.script)) << c.script.substr(0, 60);
}

size_t HeapInUse()
{
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
#endif
}

// glibc counts the blocks a thread's cache keeps for reuse as in use, and that
// cache changes with every allocation; a thread hands its cache back when it
// ends. pthread_create takes nothing from the caller's heap once a finished
// thread's stack is cached (std::thread would allocate its state here).
template <typename Work>
void RunOnItsOwnThread(Work& work)
{
    pthread_t thread;
    const auto entry = [](void* w) -> void* {
        (*static_cast<Work*>(w))();
        return nullptr;
    };
    ASSERT_EQ(0, pthread_create(&thread, nullptr, entry, &work));
    ASSERT_EQ(0, pthread_join(thread, nullptr));
}

// Runs that end every way a script can end (normally, by exit, by an error
// deep inside calls and blocks, by a stop) keep no heap memory: LeakSanitizer
// finds unreachable blocks at exit, the counter what is still referenced.
TEST_F(ScriptFixture, ThousandRunsLeakNothing)
{
    const char* const scripts[] = {
        "var a = {1, 2, {3}}; var b = a; b[5] = a; print(array_size(b));",
        "function f(a, ...) { var c = {a, args_list}; return c; } var r = f({1}, 2, 3); print(array_size(r));",
        "function f(n) { var a = {n, n}; if (n > 0) { return f(n - 1); } return a[9]; } f(2);",
        "var a = {1}; { var b = {a, a}; { var c = b; goto Out; } } Out: undef a; print(1);",
        "var i = 0; var a[]; L: a[i] = {i}; i++; if (i < 20) { goto L; } print(array_size(a));",
        "var s = fix(\"kept\"); var t = fix(s); free(s); var m = t =~ \"(k)(e+)pt\"; print($2);",
        "var m = \"abc\" =~ \"a(.\"; var h = test.handler(); var h2 = test.handler(); print(h);",
        "var a = {1, 2}; function f(OUT x) { x = {7}; } f(a); test.fail();",
        "var a = {1}; var i = 0; while (1) { var b = a; i++; if (i == 50) { test.stop(); } }",
        "var a = {\"x\"}; print(a[0] + 1); exit;",
        "var a = {1}; a = 2;",
        "var = ;",
    };
    // The first round fills what lives as long as the process (scratch ring,
    // the string the test library prints into).
    auto firstRound = [&] {
        for (const char* script : scripts)
            Run(script);
    };
    auto thousandRuns = [&] {
        for (int i = 0; i < 1000; i++)
            Run(scripts[size_t(i) % std::size(scripts)]);
    };
    RunOnItsOwnThread(firstRound);
    const size_t before = HeapInUse();
    RunOnItsOwnThread(thousandRuns);
    EXPECT_EQ(before, HeapInUse());
}

TEST(ScriptMathLibrary, EntersBothRegistriesWithFifteenFunctions)
{
    ScriptLibRegistry scripts;
    ScriptLibRegistry search;
    ScriptMath math;
    math.Init(&scripts, &search);
    for (const ScriptLibRegistry* registry : {&scripts, &search}) {
        ASSERT_EQ(1, registry->Count());
        EXPECT_EQ(15, registry->At(0).count);
        int library = -1;
        EXPECT_EQ(14, registry->FindFunction("math.fmod", library));
    }
    ScriptValue result;
    ScriptArgList args;
    int library = 0;
    EXPECT_FALSE(math.Run(result, ScriptMath::FUNCTION_COUNT, &library, 1, args));
}

} // namespace
