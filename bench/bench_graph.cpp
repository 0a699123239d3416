// Times building the graph's points from a loaded document and the
// per-column levels of every thread at full range, measures the memory the
// graph keeps per record, and times painting the timeline offscreen at
// 1280 x 800: full range, 1/1000 of it, the maximum resolution, a cursor
// blink, a wheel step, and full range over 1,024 threads. The document is the generated
// trace of 3 processes of 4 threads with calls up to 5 deep.
// Usage: bench_graph [records]   (default 1,000,000)
#include <cstdio>
#include <cstdlib>
#include <string>

#include <QApplication>

#include "bench/benchargs.h"
#include "bench/benchfiles.h"
#include "kxviewer/graph/cgraphelement.h"
#include "kxviewer/graph/graphmodel.h"
#include "kxviewer/graph/qsimplegraph.h"

namespace {

using Bench::Clock;
using Bench::Seconds;

// Budgets on a million records.
constexpr double BUILD_SECONDS = 1.0;
constexpr double BYTES_PER_RECORD = 200.0;
constexpr int32_t COLUMNS = 1280;
constexpr double PAINT_MS = 16.0;
constexpr double MANY_THREADS_PAINT_MS = 50.0;
constexpr double TICK_MS = 2.0;
constexpr int PAINTS = 20;

const char* Over(bool over) { return over ? "   OVER THE LIMIT" : ""; }

KxTable* LoadTrace(const KxFileGen::Options& options)
{
    const std::string path = Bench::WriteScratchTrace("bench_graph", options);
    if (path.empty())
        return nullptr;
    KxLoadResult result;
    KxTable* table = Bench::LoadRawKx(path, 0, &result);
    Bench::RemoveScratch(path);
    if (!table || table->RecordCount() != int32_t(options.records)) {
        fprintf(stderr, "cannot load %u records\n", options.records);
        return nullptr;
    }
    return table;
}

// Mean milliseconds of a paint of the window [from, to]; with tick the plot
// stays cached and only the cursor blinks.
double PaintMs(QSimpleGraph& graph, int64_t from, int64_t to, bool tick)
{
    const GraphPair levels = graph.VisibleY();
    graph.SetRange(from, to, levels.min, levels.max, true, false);
    graph.SetCursor(0, from + int64_t((uint64_t(to) - uint64_t(from)) / 2));
    graph.repaint();
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < PAINTS; ++i) {
        if (tick) {
            graph.tick();
        } else {
            graph.SetRange(from, to, levels.min, levels.max, true, false);
            graph.repaint();
        }
    }
    return Seconds(start) * 1000 / PAINTS;
}

// Mean milliseconds of a wheel notch and its paint, from the full range in
// and out again.
double WheelMs(QSimpleGraph& graph)
{
    graph.SetRange(graph.FullX().min, graph.FullX().max, graph.FullY().min, graph.FullY().max, true, false);
    graph.repaint();
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < PAINTS; ++i) {
        if (i % 2 == 0)
            graph.GraphZoomOut();
        else
            graph.GraphZoomIn();
        graph.repaint();
    }
    return Seconds(start) * 1000 / PAINTS;
}

void PrintPaint(const char* name, double ms, double limit)
{
    printf("%-16s %9.3f ms%s\n", name, ms, Over(ms > limit));
}

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    KxFileGen::Options options;
    options.records = Bench::RecordCountArg(argc, argv, 1000000, 20000000);
    KxTable* table = LoadTrace(options);
    if (!table)
        return 1;
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

    QSimpleGraph graph;
    graph.resize(1280, 800);
    graph.SetModel(&model);
    graph.show();
    QApplication::processEvents();
    const uint64_t thousandth = full.Span() / 1000;
    const int64_t middle = int64_t(uint64_t(full.min) + full.Span() / 2);
    PrintPaint("paint, full", PaintMs(graph, full.min, full.max, false), PAINT_MS);
    PrintPaint("paint, 1/1000", PaintMs(graph, middle, int64_t(uint64_t(middle) + thousandth), false), PAINT_MS);
    PrintPaint("paint, maximum", PaintMs(graph, middle, middle + graph.MinimumXSpan(), false), PAINT_MS);
    PrintPaint("tick", PaintMs(graph, full.min, full.max, true), TICK_MS);
    PrintPaint("wheel step", WheelMs(graph), PAINT_MS);
    graph.SetModel(nullptr);
    table->Release();

    options.processes = 64;
    options.threadsPerProcess = 16;
    table = LoadTrace(options);
    if (!table)
        return 1;
    GraphModel many;
    many.Build(*table, nullptr, nullptr);
    graph.SetModel(&many);
    printf("%d threads\n", many.ElementCount());
    PrintPaint("paint, full", PaintMs(graph, many.TimeRange().min, many.TimeRange().max, false), MANY_THREADS_PAINT_MS);
    graph.SetModel(nullptr);
    table->Release();
    return 0;
}
