// Opens generated raw record files through MainWindow::OpenFile on the
// offscreen platform and times what the user waits for: the table painted
// for the first time, and one screen of rows painted at the top, the middle
// and the end. From the open to the first paint, a 10 ms timer measures how
// long the event loop went without a turn, and what the progress dialog
// showed when. Then the document's aux-tree pane is built anew and timed
// until it is painted, and the longest waits of its Expand All, Collapse
// All and a row click after Expand All are taken. The first file is the
// usual trace of a few processes and threads; the second has process,
// thread and KX names and texts of words that rarely repeat (about 640,000
// distinct thread names in a million records), so that the default tree has
// hundreds of thousands of first-level items. After the first, a document
// of five records joins the same tab group, and clicks on the tab bar
// switch between the two: the time until the switched-to document is
// painted. The third file is a ".kxl" document of the first file's records
// with three pinned phrases, whose Outline matches them over every row.
// For every file: whether the progress dialog showed, the longest wait of
// the open, the last value of the bar and how long it stood, and the longest
// wait of closing the document. The platform is offscreen unless
// QT_QPA_PLATFORM names another (xcb under Xvfb).
// Usage: bench_open [records [file]]   (default 1,000,000; a file given is
// opened in place of the generated ones, as its suffix says)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTabBar>
#include <QTest>

#include "bench/benchargs.h"
#include "bench/benchfiles.h"
#include "bench/benchloop.h"
#include "kxlib/reader/filekxl.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/docloader.h"
#include "kxviewer/kxvstartup.h"
#include "kxviewer/mainwindow.h"
#include "kxviewer/preftable.h"
#include "kxviewer/table/tabtable.h"
#include "kxviewer/table/tabtableview.h"
#include "tearoffwidget/tearofftabwidget.h"
#include "tests/kxlib/kxfilegen.h"
#include "utils/common/inifile.h"
#include "utils/common/textio.h"

namespace {

using Bench::Clock;
using Bench::Seconds;

using Bench::LoopWatch;
using Bench::PaintWatch;

// Milliseconds of one synchronous repaint of the view with row in it, the
// best of five.
double PaintMs(TabTable& tab, int row)
{
    tab.SetCurrentPosition(row);
    QCoreApplication::processEvents();
    double best = 1e9;
    for (int i = 0; i < 5; ++i) {
        const Clock::time_point start = Clock::now();
        tab.View->viewport()->repaint();
        best = std::min(best, Seconds(start) * 1000.0);
    }
    return best;
}

// Milliseconds from a click on the tab of index until the document there
// has painted its rows.
double SwitchMs(TearOffTabWidget& tabs, int index)
{
    auto* tab = qobject_cast<TabTable*>(tabs.widget(index));
    PaintWatch watch(tab->View->viewport());
    QTabBar* bar = tabs.tabBar();
    const Clock::time_point start = Clock::now();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
    while (!watch.painted)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return Seconds(start) * 1000.0;
}

// What the user waited for with one file.
struct Waits {
    bool progress = false;
    qint64 openMs = -1;
    qint64 closeMs = -1;
};

// Opens the file and docks its document; prints when it was first painted,
// the longest wait of the event loop until then, the progress dialog's
// values, the painting of a screen of rows and the aux-tree pane's build.
// Null when the file did not open.
TabTable* OpenAndTime(MainWindow& window, const std::string& path, Waits& summary)
{
    LoopWatch loop;
    Bench::FirstPaints paints;
    const Clock::time_point start = Clock::now();
    TabTable* tab = window.OpenFile(QFile::decodeName(path.c_str()), TearOffMain::MainHost, -1,
                                    MainWindow::OPEN_PATTERNS_ONLY);
    const double loaded = Seconds(start);
    if (tab == nullptr) {
        loop.Stop();
        fprintf(stderr, "the file did not open\n");
        return nullptr;
    }
    const double painted = paints.Of(tab->View->viewport(), start);
    loop.Stop();
    QCoreApplication::processEvents();

    printf("rows in the table: %d\n", tab->Table->RowCount());
    printf("OpenFile (load and tab): %.2f s\n", loaded);
    printf("first painted table: %.2f s after the open began\n", painted);
    printf("longest wait for the event loop from the open to the first paint: %lld ms; progress dialog shown: %s\n",
           static_cast<long long>(loop.LongestGapMs()), loop.ProgressSeen() ? "yes" : "no");
    if (loop.ProgressSeen())
        printf("last value of the bar: %d %%, on show %lld ms\n", loop.LastValue(),
               static_cast<long long>(loop.LastValueMs()));
    loop.PrintProgress();
    summary = {loop.ProgressSeen(), loop.LongestGapMs(), -1};
    // A text log's import: the load, then the table view until it shows.
    const double view = loop.SecondsAtLabel(QStringLiteral("building the table view"));
    if (view >= 0)
        printf("stages: loading %.2f s, building the table view until the first paint %.2f s\n", view, painted - view);
    const int last = tab->Table->RowCount() - 1;
    printf("one screen painted: top %.2f ms, middle %.2f ms, end %.2f ms\n", PaintMs(*tab, 0),
           PaintMs(*tab, last / 2), PaintMs(*tab, last));
    Bench::PrintPaneBuild(*tab);
    Bench::PrintPaneCommands(*tab);
    return tab;
}

// A ".kxl" document at path of the records of the raw file source, with
// three pinned phrases that the Outline shows.
bool WritePinnedDocument(const std::string& source, const std::string& path)
{
    KxTable* table = DocLoader::LoadKxFileSilent(source.c_str(), false);
    if (table == nullptr)
        return false;
    PrefTabTable prefs = PrefTabTable::Default();
    prefs.outline[JUMP_HIGHLIGHT] = 1;
    const PinnedPhrase pinned[] = {{"message 7", 0xFFFF00, 0, 1}, {"enter", 0x00FF00, 0, 1}, {"TID=", 0x00FFFF, 0, 1}};
    ZmLib::IniBase ini;
    PrefTable::Save(false, ini, prefs, PrefKxTable::Default(), pinned, int32_t(std::size(pinned)));
    ZmLib::TextBuf text;
    const std::string block = ini.WriteToBuf(text) && text.Buffer ? text.Buffer->c_str() : "";
    const bool written = !block.empty() && FileKxl(path.c_str()).CreateFile(*table, block.data(), block.size());
    table->Release();
    return written;
}

// Clicks between the tabs of a large and a small document.
bool TimeTabSwitches(MainWindow& window, TabTable* tab, const std::string& smallPath)
{
    KxFileGen::Options few;
    few.records = 5;
    TabTable* small = KxFileGen::WriteTrace(smallPath.c_str(), few)
                          ? window.OpenFile(QFile::decodeName(smallPath.c_str()), TearOffMain::MainHost, -1,
                                            MainWindow::OPEN_PATTERNS_ONLY)
                          : nullptr;
    if (small == nullptr) {
        fprintf(stderr, "the small file did not open\n");
        return false;
    }
    QCoreApplication::processEvents();
    TearOffTabWidget* tabs = tab->TabWidget;
    if (tabs == nullptr || tabs != small->TabWidget) {
        fprintf(stderr, "the two documents are not tabs of one group\n");
        return false;
    }
    double best = 1e9, worst = 0;
    for (int i = 0; i < 10; ++i) {
        const double ms = SwitchMs(*tabs, tabs->indexOf(i % 2 == 0 ? tab : small));
        best = std::min(best, ms);
        worst = std::max(worst, ms);
    }
    printf("tab switch between %d and 5 records, 10 clicks: best %.1f ms, worst %.1f ms\n", tab->Table->RowCount(),
           best, worst);
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
    setenv("TMPDIR", qPrintable(home.path()), 1);

    // A file given is copied in: the next run's session must not find it.
    const QString given = argc > 2 ? QFile::decodeName(argv[2]) : QString();
    std::vector<Bench::HeadedFile> files;
    if (!given.isEmpty()) {
        const std::string path = QFile::encodeName(home.filePath(QFileInfo(given).fileName())).toStdString();
        if (!QFile::copy(given, QFile::decodeName(path.c_str()))) {
            fprintf(stderr, "cannot copy %s\n", argv[2]);
            return 1;
        }
        char heading[1200];
        snprintf(heading, sizeof heading, "file: %s, %.1f MB", argv[2], double(QFileInfo(given).size()) / 1e6);
        files.push_back({heading, path});
    } else {
        files = Bench::WriteWindowTraces(home.path().toStdString(), records);
        if (files.empty())
            return 1;
        const std::string path = home.path().toStdString() + "/pinned.kxl";
        if (!WritePinnedDocument(files[0].path, path)) {
            fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
        char heading[160];
        snprintf(heading, sizeof heading, "document of the generated trace with three pinned phrases: %.1f MB",
                 double(QFileInfo(QString::fromStdString(path)).size()) / 1e6);
        files.push_back({heading, path});
    }

    KxvStartup process(argc, argv);
    MainWindow* window = process.Window();
    window->resize(1600, 1000);
    QCoreApplication::processEvents();
    std::vector<Waits> waits(files.size());
    for (size_t k = 0; k < files.size(); ++k) {
        printf("== %s\n", files[k].heading.c_str());
        TabTable* tab = OpenAndTime(*window, files[k].path, waits[k]);
        if (tab == nullptr)
            return 1;
        if (k == 0 && !TimeTabSwitches(*window, tab, home.path().toStdString() + "/small.kx"))
            return 1;
        // Closed as the tab's close button does, without a question: the
        // bench's clicks are let go first. The records go meanwhile.
        tab->DiscardChanges();
        waits[k].closeMs = Bench::LongestWaitMs([tab] { tab->Close(); });
        printf("closing the document: longest wait %lld ms\n", static_cast<long long>(waits[k].closeMs));
    }
    printf("== summary\n");
    for (size_t k = 0; k < files.size(); ++k)
        printf("%s: progress shown %s, longest wait of the open %lld ms, of the close %lld ms\n",
               files[k].heading.c_str(), waits[k].progress ? "yes" : "no", static_cast<long long>(waits[k].openMs),
               static_cast<long long>(waits[k].closeMs));
    return 0;
}
