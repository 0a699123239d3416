// Interpreter speed: a loop of arithmetic, string operators, array stores and
// script-function calls, timed per loop iteration.
#include <chrono>
#include <cstdio>

#include "script/scriptbase/codeparser.h"
#include "script/scriptbase/mainparser.h"
#include "script/scriptbasegui/scriptmath.h"

namespace {

const char* const kScript = R"(
function add(a, b) { return a + b; }
var total = 0;
var text;
var a[];
var i;
for (i = 0; i < 200000; i++) {
    total = add(total, i % 7) * 1;
    text = "row " + i;
    if (text ~ "99") { total += 1; }
    a[i % 100] = math.sqrt(i);
}
print(total);
)";

class Quiet : public ScriptLibRun {
public:
    bool Run(ScriptValue&, int, int*, int, ScriptArgList& args) override
    {
        std::printf("result %s\n", args.Arg(0).text);
        return true;
    }
};

} // namespace

int main()
{
    ScriptLibRegistry registry;
    ScriptLibRegistry::script = &registry;
    ScriptMath math;
    math.Init(&registry, nullptr);
    Quiet quiet;
    const ScriptLibFunc print[] = {{"gui.print", 0, SCRIPT_INTEGER, 1, {SCRIPT_STRING}}};
    registry.Add(&quiet, print, 1);

    CodeParser code;
    if (code.PrepareInputParser(MainParser::PrepareStringParser(kScript)) != 0) {
        std::fprintf(stderr, "parse failed\n");
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    try {
        code.Run();
    } catch (const ScriptError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("script loop: 200000 iterations in %.3f s, %.0f ns per iteration\n", seconds,
                seconds * 1e9 / 200000);
    ScriptLibRegistry::script = nullptr;
    return 0;
}
