// Opens a generated raw record file through MainWindow::OpenFile on the
// offscreen platform and times what the user waits for: the table painted
// for the first time, and one screen of rows painted at the top, the middle
// and the end. While the file loads, a 10 ms timer measures how long the
// event loop went without a turn, and what the progress dialog showed when.
// Then a document of five records joins the same tab group, and clicks on
// the tab bar switch between the two: the time until the switched-to
// document is painted. The platform is offscreen unless QT_QPA_PLATFORM
// names another (xcb under Xvfb).
// Usage: bench_open [records [file]]   (default 1,000,000; a file given is
// opened in place of the generated one, as its suffix says)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTabBar>
#include <QTest>
#include <QTimer>

#include "bench/benchargs.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/kxvstartup.h"
#include "kxviewer/mainwindow.h"
#include "kxviewer/table/tabtable.h"
#include "kxviewer/table/tabtableview.h"
#include "tearoffwidget/tearofftabwidget.h"
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
    bool ProgressSeen() const { return !shown_.empty(); }
    // Each value the dialog showed, with the time it was first seen at and
    // its label; -1 once it was gone.
    void PrintProgress() const
    {
        for (const Shown& shown : shown_)
            printf("  %6.2f s: %3d %%  %s\n", double(shown.ms) / 1000.0, shown.value, qPrintable(shown.label));
    }

private:
    struct Shown {
        qint64 ms;
        int value;
        QString label;
    };

    void Tick()
    {
        longest_ = std::max(longest_, clock_.restart());
        int value = -1;
        QString label;
        for (QWidget* widget : QApplication::allWidgets())
            if (auto* dialog = qobject_cast<QProgressDialog*>(widget); dialog != nullptr && dialog->isVisible()) {
                value = dialog->value();
                label = dialog->labelText();
            }
        if ((shown_.empty() && value >= 0) || (!shown_.empty() && shown_.back().value != value))
            shown_.push_back({since_.elapsed(), value, label});
    }

    QTimer timer_;
    QElapsedTimer clock_;
    QElapsedTimer since_ = [] {
        QElapsedTimer timer;
        timer.start();
        return timer;
    }();
    qint64 longest_ = 0;
    std::vector<Shown> shown_;
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

// Milliseconds from a click on the tab of index until the document there
// has painted its rows.
double SwitchMs(TearOffTabWidget& tabs, int index)
{
    auto* tab = qobject_cast<TabTable*>(tabs.widget(index));
    PaintWatch watch;
    tab->View->viewport()->installEventFilter(&watch);
    QTabBar* bar = tabs.tabBar();
    const Clock::time_point start = Clock::now();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
    while (!watch.painted)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const double ms = Seconds(start) * 1000.0;
    tab->View->viewport()->removeEventFilter(&watch);
    return ms;
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
    const std::string path =
        QFile::encodeName(home.filePath(given.isEmpty() ? QStringLiteral("bench.kx") : QFileInfo(given).fileName()))
            .toStdString();
    KxFileGen::Options options;
    options.records = records;
    KxFileGen::Summary summary;
    if (given.isEmpty() ? !KxFileGen::WriteTrace(path.c_str(), options, &summary)
                        : !QFile::copy(given, QFile::decodeName(path.c_str()))) {
        fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }

    int code = 0;
    {
        KxvStartup process(argc, argv);
        MainWindow* window = process.Window();
        window->resize(1600, 1000);
        QCoreApplication::processEvents();

        if (given.isEmpty())
            printf("file: %u records, %.1f MB\n", summary.records, double(summary.bytes) / 1e6);
        else
            printf("file: %s, %.1f MB\n", argv[2], double(QFileInfo(given).size()) / 1e6);
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
            loop.PrintProgress();
            const int last = tab->Table->RowCount() - 1;
            printf("one screen painted: top %.2f ms, middle %.2f ms, end %.2f ms\n", PaintMs(*tab, 0),
                   PaintMs(*tab, last / 2), PaintMs(*tab, last));

            const std::string smallPath = home.path().toStdString() + "/small.kx";
            KxFileGen::Options few;
            few.records = 5;
            TabTable* small = KxFileGen::WriteTrace(smallPath.c_str(), few)
                                  ? window->OpenFile(QFile::decodeName(smallPath.c_str()), TearOffMain::MainHost, -1,
                                                     MainWindow::OPEN_PATTERNS_ONLY)
                                  : nullptr;
            if (small == nullptr) {
                fprintf(stderr, "the small file did not open\n");
                return 1;
            }
            window->SetNewDockPosition(small);
            QCoreApplication::processEvents();
            TearOffTabWidget* tabs = tab->TabWidget;
            if (tabs == nullptr || tabs != small->TabWidget) {
                fprintf(stderr, "the two documents are not tabs of one group\n");
                return 1;
            }
            double best = 1e9, worst = 0;
            for (int i = 0; i < 10; ++i) {
                const double ms = SwitchMs(*tabs, tabs->indexOf(i % 2 == 0 ? tab : small));
                best = std::min(best, ms);
                worst = std::max(worst, ms);
            }
            printf("tab switch between %d and 5 records, 10 clicks: best %.1f ms, worst %.1f ms\n",
                   tab->Table->RowCount(), best, worst);
        }
    }
    return code;
}
