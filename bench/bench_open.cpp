// Opens a generated raw record file through MainWindow::OpenFile on the
// offscreen platform and times what the user waits for: the table painted
// for the first time, and one screen of rows painted at the top, the middle
// and the end. While the file loads, a 10 ms timer measures how long the
// event loop went without a turn, and whether the progress dialog showed.
// Usage: bench_open [records]   (default 1,000,000)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTimer>

#include "bench/benchargs.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/kxvstartup.h"
#include "kxviewer/mainwindow.h"
#include "kxviewer/table/tabtable.h"
#include "kxviewer/table/tabtableview.h"
#include "tests/kxlib/kxfilegen.h"

namespace {

using Bench::Clock;
using Bench::Seconds;

// Notes when the watched widget starts to paint.
class PaintWatch : public QObject {
public:
    bool painted = false;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};

// Longest time between two turns of the event loop, and whether a progress
// dialog was seen, while it runs.
class LoopWatch {
public:
    LoopWatch()
    {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
        clock_.start();
        timer_.start();
    }
    void Stop() { timer_.stop(); }
    qint64 LongestGapMs() const { return longest_; }
    bool ProgressSeen() const { return progressSeen_; }

private:
    void Tick()
    {
        longest_ = std::max(longest_, clock_.restart());
        for (QWidget* widget : QApplication::allWidgets())
            if (qobject_cast<QProgressDialog*>(widget) != nullptr && widget->isVisible())
                progressSeen_ = true;
    }

    QTimer timer_;
    QElapsedTimer clock_;
    qint64 longest_ = 0;
    bool progressSeen_ = false;
};

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

} // namespace

int main(int argc, char** argv)
{
    const uint32_t records = Bench::RecordCountArg(argc, argv, 1000000, 20000000);
    QTemporaryDir home;
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("HOME", qPrintable(home.path()), 1);
    setenv("XDG_CONFIG_HOME", qPrintable(home.path() + "/.config"), 1);
    setenv("TMPDIR", qPrintable(home.path()), 1);

    const std::string path = home.path().toStdString() + "/bench.kx";
    KxFileGen::Options options;
    options.records = records;
    KxFileGen::Summary summary;
    if (!KxFileGen::WriteTrace(path.c_str(), options, &summary)) {
        fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }

    int code = 0;
    {
        KxvStartup process(argc, argv);
        MainWindow* window = process.Window();
        window->resize(1600, 1000);
        QCoreApplication::processEvents();

        printf("file: %u records, %.1f MB\n", summary.records, double(summary.bytes) / 1e6);
        LoopWatch loop;
        const Clock::time_point start = Clock::now();
        TabTable* tab = window->OpenFile(QFile::decodeName(path.c_str()), TearOffMain::MainHost, -1,
                                         MainWindow::OPEN_PATTERNS_ONLY);
        const double loaded = Seconds(start);
        loop.Stop();
        if (tab == nullptr) {
            fprintf(stderr, "the file did not open\n");
            code = 1;
        } else {
            PaintWatch watch;
            tab->View->viewport()->installEventFilter(&watch);
            window->SetNewDockPosition(tab);
            while (!watch.painted)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            QCoreApplication::processEvents();
            const double painted = Seconds(start);
            tab->View->viewport()->removeEventFilter(&watch);

            printf("rows in the table: %d\n", tab->Table->RowCount());
            printf("OpenFile (load and tab): %.2f s\n", loaded);
            printf("first painted table: %.2f s after the open began\n", painted);
            printf("longest wait for the event loop during the load: %lld ms; progress dialog shown: %s\n",
                   static_cast<long long>(loop.LongestGapMs()), loop.ProgressSeen() ? "yes" : "no");
            const int last = tab->Table->RowCount() - 1;
            printf("one screen painted: top %.2f ms, middle %.2f ms, end %.2f ms\n", PaintMs(*tab, 0),
                   PaintMs(*tab, last / 2), PaintMs(*tab, last));
        }
    }
    return code;
}
