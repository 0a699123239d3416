// Times "Select Levels": the aux tree of an open document rebuilt with two
// new level fields, for pairs from a few values per level to nearly one per
// record. For each pair: the tree built in memory alone, then the command
// as the user meets it (after its dialog) on the offscreen platform, until
// the aux-tree pane shows the new tree, with the longest wait of the event
// loop meanwhile (until the view has laid the tree out), and the pane built
// once more on its own until painted; after the last pair (a first-level
// item a record) the longest waits of the pane's Expand All, Collapse All
// and a row click after Expand All. Two documents: the load benchmarks'
// trace, in which one record in ten is a warning or an error, and a trace
// whose process, thread and KX names and texts are words that rarely repeat
// (about 640,000 distinct thread names in a million records).
// Usage: bench_auxlevels [records]   (default 1,000,000)
#include <cstdio>
#include <string>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include "bench/benchargs.h"
#include "bench/benchfiles.h"
#include "bench/benchgui.h"
#include "bench/benchlevels.h"
#include "bench/benchloop.h"
#include "kxlib/kxauxtree.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/kxvstartup.h"
#include "kxviewer/mainwindow.h"
#include "kxviewer/table/tabtable.h"

namespace {

using Bench::Clock;
using Bench::Seconds;

// The tree's budget on a million records.
constexpr double LIMIT_SECONDS = 1.0;

const char* Key(int32_t field)
{
    return field < 0 ? "-" : FieldKey(field);
}

// Every pair of levels in turn on the open document.
void TimeLevels(TabTable& tab, uint32_t records)
{
    // First level, second level (-1: none).
    const int32_t pairs[][2] = {
        {FIELD_TNAME, FIELD_KXNAME}, {FIELD_PNAME, FIELD_TNAME}, {FIELD_LEVEL, FIELD_FUNC},
        {FIELD_FILE, FIELD_LINE},    {FIELD_TID, FIELD_TEXT},    {FIELD_TEXT, -1},
        {FIELD_PNAME, FIELD_KXNAME}, {FIELD_SEQ, FIELD_TIME},
    };
    printf("levels          tree    command  painted     pane  longest wait   nodes\n");
    for (const auto& pair : pairs) {
        KxAuxTree aside(pair[0], pair[1]);
        Clock::time_point start = Clock::now();
        tab.Table->FillAuxTree(aside, nullptr);
        const double tree = Seconds(start) * 1000;

        double command = 0, painted = 0;
        const qint64 longest = Bench::LongestWaitMs([&] {
            Bench::PaneWatch watch(tab);
            start = Clock::now();
            tab.SetAuxTreeLevels(pair[0], pair[1]);
            command = Seconds(start) * 1000;
            painted = Bench::UntilPainted(watch, start) * 1000;
        });
        const double pane = Bench::PaneBuildMs(tab);
        const bool slow = tree > LIMIT_SECONDS * 1000 * records / 1000000.0;
        printf("%-6s %-6s %7.1f ms %7.1f ms %7.1f ms %7.1f ms %6lld ms   %s%s\n", Key(pair[0]), Key(pair[1]), tree,
               command, painted, pane, static_cast<long long>(longest),
               qPrintable(Bench::NodeCounts(tab.Table->AuxTree())), slow ? "   TREE OVER THE LIMIT" : "");
    }
}

} // namespace

int main(int argc, char** argv)
{
    const uint32_t records = Bench::RecordCountArg(argc, argv, 1000000, 20000000);
    QTemporaryDir home;
    Bench::OffscreenHome(home);
    setenv("TMPDIR", qPrintable(home.path()), 1);

    KxFileGen::Options rare;
    rare.records = records;
    rare.rareWords = true;
    const struct {
        const char* heading;
        std::string path;
    } files[] = {
        {"the load benchmarks' trace", Bench::WriteScratchTrace("bench_auxlevels", records)},
        {"names that rarely repeat", Bench::WriteScratchTrace("bench_auxlevels", rare)},
    };
    for (const auto& file : files)
        if (file.path.empty())
            return 1;

    KxvStartup process(argc, argv);
    MainWindow* window = process.Window();
    window->resize(1600, 1000);
    QCoreApplication::processEvents();
    for (const auto& file : files) {
        TabTable* tab = window->OpenFile(QFile::decodeName(file.path.c_str()), TearOffMain::MainHost, -1,
                                         MainWindow::OPEN_PATTERNS_ONLY);
        Bench::RemoveScratch(file.path);
        if (!tab || tab->Table->RecordCount() != int32_t(records)) {
            fprintf(stderr, "cannot open %u records\n", records);
            return 1;
        }
        const int32_t flagged = Bench::MarkWarningsAndErrors(*tab->Table);
        Bench::ShowPane(*tab);
        printf("== %s: %d records, %d warnings and errors\n", file.heading, tab->Table->RecordCount(), flagged);
        TimeLevels(*tab, records);
        // The last pair, Seq#/Time, has a first-level item a record.
        Bench::PrintPaneCommands(*tab);
    }
    return 0;
}
