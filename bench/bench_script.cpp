// Interpreter speed: a script loop of 10,000,000 simple statements
// (assignments of arithmetic and of a comparison, and an increment), reported
// as statements per second so that later changes can be compared.
#include <cstdio>
#include <string>

#include "bench/benchargs.h"
#include "script/scriptbase/codeparser.h"
#include "script/scriptbase/mainparser.h"

namespace {

constexpr long kIterations = 2500000;
constexpr long kStatementsPerIteration = 4;

const char* const kScript = R"(
var i = 0;
var x = 0;
var y = 0;
var big = 0;
while (i < 2500000) {
    x = x + i * 3;
    y = x % 1000 - 7;
    big = y > 500;
    i++;
}
print(x, " ", big);
)";

// Keeps what the script prints, to check that the loop ran to its end.
class Output : public ScriptLibRun {
public:
    std::string text;
    bool Run(ScriptValue&, int, int*, int, ScriptArgList& args) override
    {
        text = args.Arg(0).text;
        return true;
    }
};

} // namespace

int main()
{
    ScriptLibRegistry registry;
    ScriptLibRegistry::script = &registry;
    Output output;
    const ScriptLibFunc print[] = {{"gui.print", 0, SCRIPT_INTEGER, 1, {SCRIPT_STRING}}};
    registry.Add(&output, print, 1);

    CodeParser code;
    if (code.PrepareInputParser(MainParser::PrepareStringParser(kScript)) != 0) {
        std::fprintf(stderr, "parse failed\n");
        return 1;
    }
    const auto start = Bench::Clock::now();
    try {
        code.Run();
    } catch (const ScriptError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    const double seconds = Bench::Seconds(start);
    ScriptLibRegistry::script = nullptr;
    // 3 * (0 + 1 + ... + 2499999), whose last three digits make y -7.
    if (output.text != "9374996250000 0") {
        std::fprintf(stderr, "wrong result: %s\n", output.text.c_str());
        return 1;
    }
    const long statements = kIterations * kStatementsPerIteration;
    std::printf("script loop: %ld statements in %.3f s, %.0f statements per second\n", statements, seconds,
                double(statements) / seconds);
    return 0;
}
