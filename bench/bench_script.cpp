// Interpreter speed: a script loop of 10,000,000 simple statements
// (assignments of arithmetic and of a comparison, and an increment), with
// the event poll in place, reported as statements per second so that later
// changes can be compared; then a loop of 1,000,000 string iterations
// (concatenation, a regular-expression match with a group, a comparison),
// as iterations per second; then 1,000,000 csv.add_line calls of three
// values each into a temporary file, as lines per second.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/benchargs.h"
#include "script/scriptbase/codeparser.h"
#include "script/scriptbase/mainparser.h"
#include "script/scriptbasegui/scriptexport.h"

namespace {

constexpr long kIterations = 2500000;
constexpr long kStatementsPerIteration = 4;
constexpr long kStringIterations = 1000000;
constexpr long kCsvLines = 1000000;

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

const char* const kStringScript = R"(
var names = {"bob", "alice", "carol", "dave"};
var i;
var found = 0;
var s;
for (i = 0; i < 1000000; i++) {
    s = "user " + names[i % 4] + " end";
    if (s =~ "user (\w+) end") {
        if ($1 == "dave") { found++; }
    }
}
print(found);
)";

const char* const kCsvScript = R"(
var f = csv.open("PATH", 3);
var i = 0;
while (i < 1000000) {
    csv.add_line(f, i, 2.5, "text");
    i++;
}
csv.close(f);
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

long g_polls = 0;

// Stands in for the viewer's event processing, which has nothing to do.
void CountPoll()
{
    g_polls++;
}

// Seconds the script ran, negative when it failed.
double RunScript(const std::string& text)
{
    CodeParser code;
    if (code.PrepareInputParser(MainParser::PrepareStringParser(text.c_str())) != 0) {
        std::fprintf(stderr, "parse failed\n");
        return -1;
    }
    const auto start = Bench::Clock::now();
    try {
        code.Run();
    } catch (const ScriptError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return -1;
    }
    return Bench::Seconds(start);
}

} // namespace

int main()
{
    ScriptLibRegistry registry;
    ScriptLibRegistry::script = &registry;
    Output output;
    const ScriptLibFunc print[] = {{"gui.print", 0, SCRIPT_INTEGER, 1, {SCRIPT_STRING}}};
    registry.Add(&output, print, 1);
    ScriptExport csv;
    csv.Init(&registry);
    ProcessEventsCallback = &CountPoll;

    const double seconds = RunScript(kScript);
    if (seconds < 0)
        return 1;
    // 3 * (0 + 1 + ... + 2499999), whose last three digits make y -7.
    if (output.text != "9374996250000 0") {
        std::fprintf(stderr, "wrong result: %s\n", output.text.c_str());
        return 1;
    }
    const long statements = kIterations * kStatementsPerIteration;
    std::printf("script loop: %ld statements in %.3f s, %.0f statements per second (%ld polls)\n", statements,
                seconds, double(statements) / seconds, g_polls);

    const double stringSeconds = RunScript(kStringScript);
    if (stringSeconds < 0)
        return 1;
    if (output.text != "250000") {
        std::fprintf(stderr, "wrong string result: %s\n", output.text.c_str());
        return 1;
    }
    std::printf("string loop: %ld iterations in %.3f s, %.0f iterations per second\n", kStringIterations,
                stringSeconds, double(kStringIterations) / stringSeconds);

    char dir[] = "/tmp/kxbenchXXXXXX";
    if (!mkdtemp(dir))
        return 1;
    const std::string path = std::string(dir) + "/lines.csv";
    std::string script = kCsvScript;
    script.replace(script.find("PATH"), 4, path);
    const double csvSeconds = RunScript(script);
    registry.RunEnded();
    std::remove(path.c_str());
    rmdir(dir);
    ScriptLibRegistry::script = nullptr;
    ProcessEventsCallback = nullptr;
    if (csvSeconds < 0)
        return 1;
    std::printf("csv.add_line: %ld lines of 3 values in %.3f s, %.0f lines per second\n", kCsvLines, csvSeconds,
                double(kCsvLines) / csvSeconds);
    return 0;
}
