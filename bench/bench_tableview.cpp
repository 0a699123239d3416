// Opens a generated raw record file as a table tab, headless on the
// offscreen platform, and times what the user waits for: the load, the tab
// up to its first painted screen, and then one screen's paint at the top,
// the middle and the end, the jumps there, select all and a model reset.
// Usage: bench_tableview [records]   (default 1,000,000)
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <QApplication>
#include <QFileInfo>
#include <QScrollBar>
#include <QTemporaryDir>

#include "bench/benchargs.h"
#include "bench/benchgui.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/docloader.h"
#include "kxviewer/table/tabtable.h"
#include "kxviewer/table/tabtableview.h"

namespace {

using Bench::Clock;
using Bench::Seconds;

// Milliseconds of one full paint of the cells, best of a few.
double PaintMs(TabTable* tab)
{
    double best = 1e9;
    for (int i = 0; i < 5; ++i) {
        const Clock::time_point start = Clock::now();
        const QPixmap pixmap = tab->View->viewport()->grab();
        const double ms = Seconds(start) * 1000;
        if (!pixmap.isNull() && ms < best)
            best = ms;
    }
    return best;
}

double JumpMs(TabTable* tab, int row)
{
    const Clock::time_point start = Clock::now();
    tab->SetCurrentPosition(row);
    QApplication::processEvents();
    return Seconds(start) * 1000;
}

} // namespace

int main(int argc, char** argv)
{
    const uint32_t records = Bench::RecordCountArg(argc, argv, 1000000, 20000000);
    Bench::OffscreenTraceApp session(argc, argv, records);
    const std::string& path = session.trace;
    if (path.empty())
        return 1;

    Bench::BenchActions actions;
    {
        Bench::ShownWindow shown(&session.app);
        Bench::BenchMain& window = shown.window;

        Clock::time_point start = Clock::now();
        DocLoader loader(QFileInfo(QString::fromStdString(path)), -2);
        KxTable* table = loader.Load(-1);
        if (!table) {
            fprintf(stderr, "load failed\n");
            return 1;
        }
        const double loadMs = Seconds(start) * 1000;

        start = Clock::now();
        auto* tab = new TabTable(table, loader.TabPrefs(), nullptr);
        tab->SourceType = -2;
        tab->Init(nullptr);
        window.AddTearOffDock(Qt::TopDockWidgetArea, tab, 0);
        QApplication::processEvents();
        tab->View->viewport()->repaint();
        const double firstMs = Seconds(start) * 1000;

        const int rows = table->RowCount();
        printf("records            %d\n", rows);
        printf("load (DocLoader)   %9.1f ms\n", loadMs);
        printf("tab to first paint %9.1f ms\n", firstMs);
        printf("screen at top      %9.2f ms paint\n", PaintMs(tab));
        printf("jump to middle     %9.2f ms, ", JumpMs(tab, rows / 2));
        printf("screen %9.2f ms paint\n", PaintMs(tab));
        printf("jump to end        %9.2f ms, ", JumpMs(tab, rows - 1));
        printf("screen %9.2f ms paint\n", PaintMs(tab));

        start = Clock::now();
        QScrollBar* bar = tab->View->verticalScrollBar();
        for (int step = 0; step < 50; ++step) {
            bar->setValue(bar->maximum() / 50 * step);
            tab->View->viewport()->repaint();
        }
        printf("scroll 50 screens  %9.2f ms each\n", Seconds(start) * 1000 / 50);

        start = Clock::now();
        tab->SelectAll();
        const double selectMs = Seconds(start) * 1000;
        printf("select all         %9.1f ms, screen %9.2f ms paint\n", selectMs, PaintMs(tab));

        start = Clock::now();
        tab->ResetViewModel();
        printf("model reset        %9.1f ms\n", Seconds(start) * 1000);
    }
    FreeSharedPixmaps();
    return 0;
}
