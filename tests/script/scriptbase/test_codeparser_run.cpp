// The interpreter's life cycle and its debug output: pause, resume and stop,
// named constants, the print and debug pieces, the tree trace, and running
// one parsed script twice.
#include <string>
#include <vector>

#include "script/scriptbase/scriptchannels.h"
#include "utils/common/strbase.h"
#include "tests/script/scriptbase/script_fixture.h"

using scripttest::ScriptFixture;

namespace {

std::vector<std::string> g_lines;

int Capture(ZmLib::KXEVENT* event, ZmLib::KX*)
{
    g_lines.push_back(event->text ? event->text : "");
    return 0;
}

// Routes a channel into g_lines at level 2 for one test.
class ChannelCapture {
public:
    explicit ChannelCapture(ZmLib::KX& channel)
        : channel_(channel), output_(channel.output), threshold_(channel.threshold)
    {
        g_lines.clear();
        channel.output = &Capture;
        channel.threshold = ZmLib::KX_LEVEL_INFO;
    }
    ~ChannelCapture()
    {
        channel_.output = output_;
        channel_.threshold = threshold_;
    }

private:
    ZmLib::KX& channel_;
    ZmLib::KxOutputFn output_;
    int32_t threshold_;
};

CodeParser* g_code = nullptr;
int g_polls = 0;
int g_resumeAt = 0;
int g_stopAt = 0;

void Poll()
{
    g_polls++;
    if (g_polls == g_stopAt)
        g_code->Stop();
    if (g_polls == g_resumeAt)
        g_code->pause = 1;
}

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
        g_polls = 0;
        g_resumeAt = resumeAt;
        g_stopAt = stopAt;
        ProcessEventsCallback = &Poll;
        library_.printed.clear();
        CodeParser code;
        g_code = &code;
        library_.running = &code;
        std::string tail;
        EXPECT_EQ(0, code.PrepareInputParser(MainParser::PrepareStringParser(script)));
        try {
            code.Run();
        } catch (CodeParser::ExitCode exit) {
            tail = "EXIT " + std::to_string(int(exit));
        }
        library_.running = nullptr;
        g_code = nullptr;
        return library_.printed + tail;
    }
};

TEST_F(RunCycle, PauseWaitsForTheEventLoopToResume)
{
    EXPECT_EQ("1\n2\n", RunPolled("print(1); test.pause(); print(2);", 3, 0));
    EXPECT_EQ(3, g_polls);
}

TEST_F(RunCycle, StopFromTheEventLoopEndsTheScriptAtItsNextStep)
{
    EXPECT_EQ("1\nEXIT 1", RunPolled("print(1); test.pause(); print(2);", 0, 2));
    EXPECT_EQ(2, g_polls);
}

TEST_F(RunCycle, StopInsideALibraryCallReturnsAndEndsTheLoop)
{
    EXPECT_EQ("EXIT 1", Run("var i = 0; while (1) { i++; if (i == 3) { test.stop(); } }"));
}

TEST_F(RunCycle, StopWhilePausedInALoopClearsThePause)
{
    EXPECT_EQ("EXIT 1", RunPolled("var i = 0; while (1) { i++; if (i == 2) { test.pause(); } }", 0, 1));
    EXPECT_EQ(1, g_polls);
}

// Stop only raises the flag and returns; the interpreter ends the run in its
// own frames after the library call that asked for it.
TEST_F(RunCycle, StopThroughTheFlagEndsTheRunAfterTheCall)
{
    const scripttest::ScriptCase cases[] = {
        {"test.stop(); print(1);", "EXIT 1"},
        {"print(1); test.stop();", "1\nEXIT 1"},
        {"var i = 0; L: i++; if (i == 5) { test.stop(); } goto L;", "EXIT 1"},
        {"function f() { test.stop(); return 1; } var x = f() + 1; print(x);", "EXIT 1"},
        {"var a = {1, 2}; { var b = a; test.stop(); } print(a);", "EXIT 1"},
    };
    ExpectRuns(cases);
}

TEST_F(RunCycle, StopBeforeRunEndsTheNextRunOnly)
{
    CodeParser code;
    library_.running = &code;
    ASSERT_EQ(0, code.PrepareInputParser(MainParser::PrepareStringParser("print(1);")));
    code.pause = 1;
    code.Stop();
    EXPECT_THROW(code.Run(), CodeParser::ExitCode);
    EXPECT_EQ("", library_.printed);
    EXPECT_EQ(0, code.pause);
    code.Run();
    EXPECT_EQ("1\n", library_.printed);
    library_.running = nullptr;
}

TEST_F(RunCycle, PauseWithoutAnEventLoopGoesOn)
{
    EXPECT_EQ("1\n2\n", Run("print(1); test.pause(); print(2);"));
}

TEST_F(RunCycle, ConstantsReadOnly)
{
    ScriptConstantTable::Global().AddInt("BUTTON_OK", 7);
    const scripttest::ScriptCase cases[] = {
        {"print(BUTTON_OK);", "7\n"},
        {"BUTTON_OK = 1;", "ERROR Error: You can not assign value to constant  BUTTON_OK, Line: 1"},
        {"var BUTTON_OK = 1;", "ERROR Error: You can not assign value to constant  BUTTON_OK, Line: 1"},
        {"BUTTON_OK++;", "ERROR Error: You can not assign value to constant  BUTTON_OK, Line: 1"},
        {"undef BUTTON_OK;", "ERROR Error: You can not assign value to constant  BUTTON_OK, Line: 1"},
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
    ChannelCapture capture(KxScriptChannel);
    EXPECT_EQ("a1\nx= 3\n", Run("print(\"a\", 1); var x = 3; debug(x);"));
    EXPECT_EQ((std::vector<std::string>{"a", "1", "x= 3"}), g_lines);
    g_lines.clear();
    EXPECT_EQ("+ x 1= 4, 'q'= q\n", Run("var x = 3; debug(x + 1, 'q');"));
    EXPECT_EQ((std::vector<std::string>{"+ x 1= 4, ", "'q'= q"}), g_lines);
}

TEST_F(RunCycle, PrintWithoutGuiPrintStillWritesPieces)
{
    ScriptLibRegistry empty;
    ScriptLibRegistry::script = &empty;
    ChannelCapture capture(KxScriptChannel);
    EXPECT_EQ("", Run("print(\"a\", 2.5);"));
    EXPECT_EQ((std::vector<std::string>{"a", "2.500000"}), g_lines);
}

TEST_F(RunCycle, LongPrintIsCutAtTheScratchCapacity)
{
    const std::string script = "var s = \"" + std::string(1000, 'a') + "\"; print(s, s);";
    const std::string out = Run(script);
    EXPECT_EQ(ZmLib::TEMP_STR_CAPACITY + 1, out.size());
}

TEST_F(RunCycle, PreparationPassTracesEveryNode)
{
    ChannelCapture capture(ZmLib::KxSys);
    Run("print(1);");
    ASSERT_EQ(2u, g_lines.size());
    EXPECT_EQ("     Type: 79 Line: 1 Index: 0 Text: STMT_PRINT", g_lines[0]);
    EXPECT_EQ("         Type: 46 Line: 1 Index: 0 Text: 1", g_lines[1]);
}

TEST_F(RunCycle, ParsedScriptRunsTwiceAlike)
{
    CodeParser code;
    library_.running = &code;
    ASSERT_EQ(0, code.PrepareInputParser(MainParser::PrepareStringParser(
                     "function f(a) { return a + 1; } var s = fix(\"x\"); L: var m = s =~ \"(x)\"; print(f(1), m, $1);")));
    code.Run();
    code.Run();
    EXPECT_EQ("21x\n21x\n", library_.printed);
    code.Free();
    code.Run();
    EXPECT_EQ("21x\n21x\n", library_.printed);
}

TEST_F(RunCycle, ASyntaxErrorLeavesNoTree)
{
    EXPECT_EQ("PARSE", Run("var = ;"));
}

TEST_F(RunCycle, ErrorsCarryTheLineOfTheFailingNode)
{
    EXPECT_EQ("1\nERROR Error: Unknown variable nope, Line: 3", Run("print(1);\n\nprint(nope);\n"));
    EXPECT_EQ("ERROR Error: Divide by zero, Line: 3", Run("var a = 1;\nvar b = a /\n0;"));
}

} // namespace

namespace {

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
    const struct {
        std::string script;
        const char* expected;
    } cases[] = {
        {Repeat("var v#;", 200) + "print(1);", "1\n"},
        {Repeat("var v#;", 201), "ERROR Error: Allocation overflow, Line: 1"},
        {Repeat("goto L;", 20) + "L: print(2);", "2\n"},
        {Repeat("goto L;", 21) + "L: print(2);", "ERROR Error: Allocation overflow, Line: 1"},
        {Repeat("L#: ", 20) + "print(3);", "3\n"},
        {Repeat("L#: ", 21), "ERROR Error: Allocation overflow, Line: 1"},
        {Repeat("var s# = fix(\"a\");", 200) + "free(s0); s0 = fix(\"b\"); print(s0);", "b\n"},
        {Repeat("var s# = fix(\"a\");", 201), "ERROR Error: Allocation overflow, Line: 1"},
        {"var m;" + Repeat("m = \"a\" =~ \"a\";", 200) + "print(m);", "1\n"},
        {"var m;" + Repeat("m = \"a\" =~ \"a\";", 201), "ERROR Error: Allocation overflow, Line: 1"},
        {"print(1" + Repeat(", 1", 199) + ");", "11111111111111111111111111111111111111111111111111"
                                                "11111111111111111111111111111111111111111111111111"
                                                "11111111111111111111111111111111111111111111111111"
                                                "11111111111111111111111111111111111111111111111111\n"},
        {"print(1" + Repeat(", 1", 200) + ");", "ERROR Error: Allocation overflow, Line: 1"},
        // One goto and label list per function besides the program's: 199 functions.
        {Repeat("function f#() { }", 199) + "print(4);", "4\n"},
        {Repeat("function f#() { }", 200), "ERROR Error: Allocation overflow, Line: 1"},
        {"function f() { }" + Repeat("f();", 200) + "print(5);", "5\n"},
        {"function f() { }" + Repeat("f();", 201), "ERROR Error: Allocation overflow, Line: 1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, Run(c.script)) << c.script.substr(0, 60);
}

} // namespace

namespace {

TEST(ScriptMathLibrary, EntersBothRegistriesWithFifteenFunctions)
{
    ScriptLibRegistry scripts;
    ScriptLibRegistry search;
    ScriptMath math;
    math.Init(&scripts, &search);
    for (const ScriptLibRegistry* registry : {&scripts, &search}) {
        ASSERT_EQ(1, registry->Count());
        EXPECT_EQ(ScriptMath::FUNCTION_COUNT, registry->At(0).count);
        int library = -1;
        EXPECT_EQ(14, registry->FindFunction("math.fmod", library));
    }
    ScriptValue result;
    ScriptArgList args;
    int library = 0;
    EXPECT_FALSE(math.Run(result, ScriptMath::FUNCTION_COUNT, &library, 1, args));
}

} // namespace
