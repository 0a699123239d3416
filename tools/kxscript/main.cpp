// kxscript: parses and runs a script file with the libraries that need no
// viewer: math, csv, and kxtable/kxrow on the tables that kxtable.open_ll
// loads (raw record files, documents, and text files that a built-in import
// format claims). The text of print() and debug() goes to standard output,
// one line per statement; errors (with their line), the diagnostics of the
// debug stream (as messages behind the tool's name) and what the loader
// writes to the System Log go to standard error. Ctrl-C stops the script as
// the viewer's stop button does.
//
//   kxscript [-d LEVEL] FILE
//
// LEVEL is the debug stream's threshold: 0 (the default) lets warnings and
// errors through, 1 notices as well (the colour table among them), 3 all.
//
// Exit status: 0 when the script ends normally or by exit, 1 when it stops
// with an error or is stopped or a file it wrote could not be written
// whole, 2 when it cannot be read or parsed, or on bad usage.
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "script/scriptbase/antlrsupport.h"

#include "kxlib/kxchannels.h"
#include "kxlib/table/kxtable.h"
#include "script/scriptbase/codeparser.h"
#include "script/scriptbase/mainparser.h"
#include "script/scriptbase/scriptchannels.h"
#include "script/scriptbasegui/scriptexport.h"
#include "script/scriptbasegui/scriptkxtable.h"
#include "script/scriptbasegui/scriptmath.h"
#include "script/scriptlogicalexp/scriptlogicalexpparser.h"
#include "tools/stderrmessages.h"
#include "tools/stderrshell.h"
#include "utils/kx/kx.h"
#include "utils/kx/kxsinks.h"
#include "utils/kx/pkx.h"

namespace {

// Stands in for the viewer's "gui.print": the text on a line of its own.
class RunnerOutput : public ScriptLibRun {
public:
    bool Run(ScriptValue&, int function, int*, int, ScriptArgList& args) override
    {
        if (function != 0)
            return false;
        const char* text = args.count > 0 && args.Arg(0).type == SCRIPT_STRING ? args.Arg(0).text : nullptr;
        std::printf("%s\n", text ? text : "");
        // Line by line, so that a script driving the runner through a pipe
        // sees each line when it is printed.
        std::fflush(stdout);
        return true;
    }
};

const ScriptLibFunc kOutputFunctions[] = {{"gui.print", 0, SCRIPT_INTEGER, 1, {SCRIPT_STRING}}};

std::atomic<CodeParser*> g_running{nullptr};

// Stop only sets the interpreter's lock-free flag: safe in a signal handler.
void StopRunning(int)
{
    if (CodeParser* code = g_running.load())
        code->Stop();
}

void ToStderr(const char* text)
{
    std::fprintf(stderr, "%s\n", text);
}

int Usage()
{
    std::fprintf(stderr, "usage: kxscript [-d LEVEL] FILE\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    int level = ZmLib::KX_LEVEL_WARNING;
    const char* path = nullptr;
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "-d") == 0 && i + 1 < argc) {
            char* end = nullptr;
            level = int(std::strtol(argv[++i], &end, 10));
            if (!end || *end)
                return Usage();
        } else if (!path && argv[i][0] != '-') {
            path = argv[i];
        } else {
            return Usage();
        }
    }
    if (!path)
        return Usage();

    ZmLib::KxvSetDebugOutputHook(&ToStderr);
    ZmLib::PKX::Init(nullptr);
    // Reports read as messages: no time, thread or source place of the
    // program, which only a developer's log wants.
    ZmLib::PKX::UseStd(new StderrMessages("kxscript"));
    ZmLib::KX::Init(level, false, nullptr, ZmLib::KX_OUT_STD, false);
    for (ZmLib::KX* channel : {&KxScriptChannel, &KxAntlrChannel, &KxTableChannel, &KxReaderChannel,
                               &KxvTearoffChannel, &KxvSyslogChannel})
        ZmLib::KX::Register(channel, ZmLib::KX_OUT_STD);
    ZmLib::KX::SetLevelAll(level);

    StderrShell shell("kxscript");
    KxvSetShell(&shell);
    ScriptLibRegistry scripts;
    ScriptLibRegistry search;
    ScriptLibRegistry::script = &scripts;
    ScriptLibRegistry::search = &search;
    ScriptMath math;
    math.Init(&scripts, &search);
    ScriptExport csv;
    csv.Init(&scripts);
    ScriptLogicalExpParser::Register();
    ScriptKxTable table;
    table.Init(&scripts);
    RunnerOutput output;
    scripts.Add(&output, kOutputFunctions, 1);

    int status = 0;
    std::string compileError;
    CodeParser* code = MainParser::PrepareFileParser(path, &compileError);
    if (!code) {
        std::fprintf(stderr, "%s\n", compileError.c_str());
        status = 2;
    } else {
        g_running = code;
        struct sigaction stop = {};
        stop.sa_handler = &StopRunning;
        sigemptyset(&stop.sa_mask);
        struct sigaction previous = {};
        sigaction(SIGINT, &stop, &previous);
        try {
            code->Run();
        } catch (CodeParser::ExitCode exit) {
            if (exit == CodeParser::EXIT_STOP) {
                std::fflush(stdout);
                std::fprintf(stderr, "Script \"%s\" stopped by user\n", path);
                status = 1;
            }
        } catch (const ScriptError& error) {
            std::fflush(stdout);
            std::fprintf(stderr, "%s\n", error.what());
            status = 1;
        }
        sigaction(SIGINT, &previous, nullptr);
        g_running = nullptr;
        // Closes the files the script left open, whatever ended it.
        const std::string problems = scripts.RunEnded();
        if (!problems.empty()) {
            std::fflush(stdout);
            std::fprintf(stderr, "%s\n", problems.c_str());
            if (status == 0)
                status = 1;
        }
        delete code;
    }
    std::fflush(stdout);
    KxTable::SetSearchExpressionFactory(nullptr);
    ScriptLibRegistry::script = nullptr;
    ScriptLibRegistry::search = nullptr;
    KxvSetShell(nullptr);
    ZmLib::KX::Done();
    ZmLib::PKX::Done();
    return status;
}
