// Times building the graph's points from a loaded document and the
// per-column levels of every thread at full range, measures the memory the
// graph keeps per record, and times painting the timeline offscreen at
// 1280 x 800: full range, 1/1000 of it, the maximum resolution, a cursor
// blink, a wheel step, and full range over 1,024 threads. The document is the generated
// trace of 3 processes of 4 threads with calls up to 5 deep.
// Then the same trace is opened as a document of the main window and its
// graph as the user opens it (the "Document Graph" action): the time until
// the graph first paints, the longest wait for the event loop on the way,
// the longest the bar stood still while the side panes were built, and each
// value the progress dialog showed. The platform is offscreen
// unless QT_QPA_PLATFORM names another.
// Usage: bench_graph [records]   (default 1,000,000)
#include <cstdio>
#include <cstdlib>
#include <string>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include "bench/benchargs.h"
#include "bench/benchfiles.h"
#include "bench/benchloop.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/graph/cgraphelement.h"
#include "kxviewer/graph/graphmodel.h"
#include "kxviewer/graph/qsimplegraph.h"
#include "kxviewer/kxvstartup.h"
#include "kxviewer/mainwindow.h"
#include "kxviewer/table/tabactionids.h"
#include "kxviewer/table/tabtable.h"

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

// Notes the first paint of any timeline.
class GraphPaintWatch : public QObject {
public:
    GraphPaintWatch() { qApp->installEventFilter(this); }
    ~GraphPaintWatch() override { qApp->removeEventFilter(this); }
    bool painted = false;

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && qobject_cast<QSimpleGraph*>(object))
            painted = true;
        return false;
    }
};

// The trace opened in the main window and its graph opened from the table
// tab as a click on "Document Graph" does; false when either failed.
bool OpenAsUser(MainWindow& window, const QTemporaryDir& home, const KxFileGen::Options& options)
{
    const std::string path = home.path().toStdString() + "/graph.kx";
    if (!KxFileGen::WriteTrace(path.c_str(), options)) {
        fprintf(stderr, "cannot write %s\n", path.c_str());
        return false;
    }
    TabTable* tab = window.OpenFile(QFile::decodeName(path.c_str()), TearOffMain::MainHost, -1,
                                    MainWindow::OPEN_PATTERNS_ONLY);
    if (tab == nullptr) {
        fprintf(stderr, "the file did not open\n");
        return false;
    }
    QCoreApplication::processEvents();
    if (!tab->Table->TimeNormalised())
        tab->Actions[TACT_RELATIVE_TIME]->trigger();
    QCoreApplication::processEvents();

    GraphPaintWatch watch;
    Bench::LoopWatch loop;
    const Clock::time_point start = Clock::now();
    tab->Actions[TACT_CREATE_GRAPH]->trigger();
    const double returned = Seconds(start);
    while (!watch.painted)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    const double painted = Seconds(start);
    loop.Stop();
    if (tab->GraphTab == nullptr) {
        fprintf(stderr, "the graph did not open\n");
        return false;
    }
    printf("graph opened as the user does, %d records\n", tab->Table->RowCount());
    printf("command returned %9.2f s\n", returned);
    printf("first graph paint %8.2f s after the click\n", painted);
    printf("longest wait for the event loop: %lld ms; progress dialog shown: %s, last value %d %%\n",
           static_cast<long long>(loop.LongestGapMs()), loop.ProgressSeen() ? "yes" : "no", loop.LastValue());
    printf("longest the bar stood still while building the side panes: %lld ms\n",
           static_cast<long long>(loop.LongestStillMs(QStringLiteral("building the side panes"))));
    loop.PrintProgress();
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const uint32_t records = Bench::RecordCountArg(argc, argv, 1000000, 20000000);
    QTemporaryDir home;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("HOME", qPrintable(home.path()), 1);
    setenv("XDG_CONFIG_HOME", qPrintable(home.path() + "/.config"), 1);
    KxvStartup process(argc, argv);
    MainWindow* window = process.Window();
    window->resize(1600, 1000);
    QCoreApplication::processEvents();

    KxFileGen::Options options;
    options.records = records;
    KxTable* table = LoadTrace(options);
    if (!table)
        return 1;
    const double loaded = table->RecordCount();
    const double scale = loaded / 1000000.0;

    GraphModel model;
    Clock::time_point start = Clock::now();
    model.Build(*table, nullptr, nullptr);
    const double build = Seconds(start);
    const double bytes = double(model.Bytes()) / loaded;
    printf("%.0f records, %d threads, %zu points\n", loaded, model.ElementCount(), model.Index().size());
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

    KxFileGen::Options many = options;
    many.processes = 64;
    many.threadsPerProcess = 16;
    table = LoadTrace(many);
    if (!table)
        return 1;
    GraphModel threads;
    threads.Build(*table, nullptr, nullptr);
    graph.SetModel(&threads);
    printf("%d threads\n", threads.ElementCount());
    PrintPaint("paint, full", PaintMs(graph, threads.TimeRange().min, threads.TimeRange().max, false),
               MANY_THREADS_PAINT_MS);
    graph.SetModel(nullptr);
    graph.hide();
    table->Release();

    return OpenAsUser(*window, home, options) ? 0 : 1;
}
