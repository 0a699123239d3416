// Closes large documents as Ctrl+W does, on the offscreen platform, and
// times what the user waits for: from the close command until the tab is
// gone and a little after, a 10 ms timer measures how long the event loop
// went without a turn. Each document is opened, shown, then closed; three
// rounds over each file. The files: the load benchmarks' trace, and one
// whose thread names rarely repeat (about 640,000 distinct names in a
// million records, so that its aux tree is large).
// Usage: bench_close [records [file]]   (default 1,000,000; a file given is
// closed in place of the generated ones)
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include <QApplication>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>

#include "bench/benchargs.h"
#include "bench/benchfiles.h"
#include "bench/benchgui.h"
#include "bench/benchloop.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/kxvstartup.h"
#include "kxviewer/mainwindow.h"
#include "kxviewer/table/tabtable.h"
#include "tests/kxlib/kxfilegen.h"

namespace {

using Bench::Clock;
using Bench::Seconds;

constexpr int ROUNDS = 3;
// The event loop is watched this long after the tab is gone.
constexpr int AFTER_MS = 300;

// Turns the event loop for ms milliseconds.
void Turn(int ms)
{
    const Clock::time_point start = Clock::now();
    while (Seconds(start) * 1000.0 < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Opens the file, shows its document, then closes it; prints the longest
// wait of the event loop from the close command on. False when the file
// did not open.
bool OpenAndClose(MainWindow& window, const std::string& path, std::vector<long long>& waits)
{
    TabTable* opened = window.OpenFile(QFile::decodeName(path.c_str()), TearOffMain::MainHost, -1,
                                       MainWindow::OPEN_PATTERNS_ONLY);
    if (opened == nullptr) {
        fprintf(stderr, "the file did not open\n");
        return false;
    }
    QPointer<TabTable> tab(opened);
    Turn(500);
    const int rows = tab->Table->RowCount();
    // Nothing to ask about on the way out.
    tab->DiscardChanges();
    Bench::LoopWatch loop;
    const Clock::time_point start = Clock::now();
    QTimer::singleShot(0, tab.data(), &TabBase::Close);
    while (tab)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const double gone = Seconds(start);
    Turn(AFTER_MS);
    loop.Stop();
    waits.push_back(loop.LongestGapMs());
    printf("%d rows: tab gone %.0f ms after the close command; longest wait for the event loop %lld ms\n", rows,
           gone * 1000.0, static_cast<long long>(loop.LongestGapMs()));
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const uint32_t records = Bench::RecordCountArg(argc, argv, 1000000, 20000000);
    QTemporaryDir home;
    Bench::OffscreenHome(home);
    setenv("TMPDIR", qPrintable(home.path()), 1);

    std::vector<Bench::HeadedFile> files;
    if (argc > 2)
        files.push_back({std::string("file: ") + argv[2], argv[2]});
    else
        files = Bench::WriteWindowTraces(home.path().toStdString(), records);
    if (files.empty())
        return 1;

    KxvStartup process(argc, argv);
    MainWindow* window = process.Window();
    window->resize(1600, 1000);
    QCoreApplication::processEvents();
    for (const Bench::HeadedFile& file : files) {
        printf("== %s\n", file.heading.c_str());
        std::vector<long long> waits;
        for (int round = 0; round < ROUNDS; ++round)
            if (!OpenAndClose(*window, file.path, waits))
                return 1;
        std::sort(waits.begin(), waits.end());
        printf("longest wait of closing the document: median %lld ms, worst %lld ms\n", waits[waits.size() / 2],
               waits.back());
    }
    return 0;
}
