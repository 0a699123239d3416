// The table script library over a whole table: kxtable.get_record and
// kxrow.get_value(r, TNAME) for every row of a generated trace (1,000,000
// records unless told otherwise), timed apart from the load by open_ll.
//
//   bench_scripttable [records]
#include <cstdio>
#include <string>
#include <vector>

// The parser runtime's header comes before Qt's "emit" macro.
#include "script/scriptbase/antlrsupport.h"

#include "bench/benchargs.h"
#include "bench/benchfiles.h"
#include "script/scriptbase/codeparser.h"
#include "script/scriptbase/mainparser.h"
#include "script/scriptbasegui/scriptkxtable.h"

namespace {

// Notes when each line is printed, so that the load and the loop are timed
// apart.
class Output : public ScriptLibRun {
public:
    std::vector<std::string> lines;
    std::vector<Bench::Clock::time_point> times;
    bool Run(ScriptValue&, int, int*, int, ScriptArgList& args) override
    {
        times.push_back(Bench::Clock::now());
        lines.emplace_back(args.Arg(0).text);
        return true;
    }
};

std::string Script(const std::string& path)
{
    return "var h = kxtable.open_ll(\"" + path + "\", 0);\n" + R"(
var n = kxtable.size(h);
print(n);
var i = 1;
var r = kxtable.get_record(h, 1);
var name = "";
var named = 0;
while (i <= n) {
    r = kxtable.get_record(h, i);
    name = kxrow.get_value(r, TNAME);
    if (name != "") { named++; }
    i++;
}
print(i - 1, " ", named);
)";
}

} // namespace

int main(int argc, char** argv)
{
    const uint32_t records = Bench::RecordCountArg(argc, argv, 1000000, 20000000);
    const std::string path = Bench::WriteScratchTrace("bench_scripttable", records);
    if (path.empty())
        return 1;

    ScriptLibRegistry registry;
    ScriptLibRegistry::script = &registry;
    Output output;
    const ScriptLibFunc print[] = {{"gui.print", 0, SCRIPT_INTEGER, 1, {SCRIPT_STRING}}};
    registry.Add(&output, print, 1);
    ScriptKxTable tables;
    tables.Init(&registry);

    int status = 0;
    // The parsed script points into its text.
    const std::string script = Script(path);
    CodeParser code;
    const auto start = Bench::Clock::now();
    if (code.PrepareInputParser(MainParser::PrepareStringParser(script.c_str())) != 0) {
        std::fprintf(stderr, "parse failed\n");
        status = 1;
    } else {
        try {
            code.Run();
        } catch (const ScriptError& error) {
            std::fprintf(stderr, "%s\n", error.what());
            status = 1;
        }
    }
    registry.RunEnded();
    ScriptLibRegistry::script = nullptr;
    Bench::RemoveScratch(path);
    if (status != 0)
        return status;
    if (output.lines.size() != 2 || output.lines[1].compare(0, output.lines[0].size() + 1, output.lines[0] + " ")) {
        std::fprintf(stderr, "the loop did not visit every row\n");
        return 1;
    }
    const double load = std::chrono::duration<double>(output.times[0] - start).count();
    const double loop = std::chrono::duration<double>(output.times[1] - output.times[0]).count();
    std::printf("open_ll: %s records in %.3f s\n", output.lines[0].c_str(), load);
    std::printf("get_record + get_value(TNAME) over every row: %.3f s, %.0f rows per second (%s named)\n", loop,
                double(records) / loop, output.lines[1].substr(output.lines[0].size() + 1).c_str());
    return 0;
}
