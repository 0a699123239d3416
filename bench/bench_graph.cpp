// Times building the graph's points from a loaded document and the
// per-column levels of every thread at full range, and measures the memory
// the graph keeps per record. The document is the generated trace of 3
// processes of 4 threads with calls up to 5 deep.
// Usage: bench_graph [records]   (default 1,000,000)
#include <cstdio>
#include <string>

#include "bench/benchargs.h"
#include "bench/benchfiles.h"
#include "kxviewer/graph/cgraphelement.h"
#include "kxviewer/graph/graphmodel.h"

namespace {

using Bench::Clock;
using Bench::Seconds;

// Budgets on a million records.
constexpr double BUILD_SECONDS = 1.0;
constexpr double BYTES_PER_RECORD = 200.0;
constexpr int32_t COLUMNS = 1280;

const char* Over(bool over) { return over ? "   OVER THE LIMIT" : ""; }

} // namespace

int main(int argc, char** argv)
{
    KxFileGen::Options options;
    options.records = Bench::RecordCountArg(argc, argv, 1000000, 20000000);
    const std::string path = Bench::WriteScratchTrace("bench_graph", options);
    if (path.empty())
        return 1;
    KxLoadResult result;
    KxTable* table = Bench::LoadRawKx(path, 0, &result);
    Bench::RemoveScratch(path);
    if (!table || table->RecordCount() != int32_t(options.records)) {
        fprintf(stderr, "cannot load %u records\n", options.records);
        return 1;
    }
    const double records = table->RecordCount();
    const double scale = records / 1000000.0;

    GraphModel model;
    Clock::time_point start = Clock::now();
    model.Build(*table, nullptr, nullptr);
    const double build = Seconds(start);
    const double bytes = double(model.Bytes()) / records;
    printf("%.0f records, %d threads, %zu points\n", records, model.ElementCount(), model.Index().size());
    printf("build            %9.1f ms%s\n", build * 1000, Over(build > BUILD_SECONDS * scale));
    printf("memory           %9.1f bytes per record%s\n", bytes, Over(bytes > BYTES_PER_RECORD));

    const GraphPair full = model.TimeRange();
    GraphColumns columns;
    size_t spans = 0;
    start = Clock::now();
    for (const CGraphElement* e = model.First(); e; e = e->NextEntry()) {
        e->Levels.Columns(e->X, e->Y, full.min, full.max, COLUMNS, columns);
        spans += columns.spans.size() + columns.points.size();
    }
    printf("columns, full    %9.3f ms for %d columns (%zu spans and points)\n", Seconds(start) * 1000, COLUMNS, spans);
    table->Release();
    return 0;
}
