// Times the comparison of two documents of a generated raw record file shown
// as table tabs on the offscreen platform: both text files written into the
// work folder, then the diff program ("true") started on them.
// Usage: bench_compare [records]   (default 1,000,000)
#include <cstdio>
#include <string>

#include <QApplication>
#include <QFile>
#include <QFileInfo>

#include "bench/benchargs.h"
#include "bench/benchgui.h"
#include "bench/benchtab.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/docloader.h"
#include "kxviewer/table/tabtable.h"
#include "tearoffwidget/tearofftabwidget.h"

namespace {

TabTable* Open(Bench::BenchMain& window, const std::string& trace)
{
    DocLoader loader(QFileInfo(QString::fromStdString(trace)), TabBase::SOURCE_KX);
    KxTable* table = loader.Load(-1);
    return table ? Bench::ShowTab(window, table, loader.TabPrefs()) : nullptr;
}

} // namespace

int main(int argc, char** argv)
{
    const uint32_t records = Bench::RecordCountArg(argc, argv, 1000000, 20000000);
    Bench::OffscreenTraceApp session(argc, argv, records);
    if (session.trace.empty())
        return 1;
    Bench::BenchActions actions;
    int status = 0;
    {
        Bench::ShownWindow shown(&session.app);
        PrefGlobal::WorkDir = session.home.path().toStdString() + "/work/";
        PrefGlobal::CompareProgramm = "true";
        TabTable* left = Open(shown.window, session.trace);
        TabTable* right = Open(shown.window, session.trace);
        if (!left || !right) {
            fprintf(stderr, "load failed\n");
            return 1;
        }
        shown.window.MarkTab(left->TabWidget->TabBar, left->TabWidget->indexOf(left));
        const Bench::Clock::time_point start = Bench::Clock::now();
        right->CompareTabs();
        const double seconds = Bench::Seconds(start);
        const QString file = QString::fromStdString(PrefGlobal::WorkDir) + QStringLiteral("kxv-compare-bench.txt");
        const qint64 bytes = QFileInfo(file).size();
        printf("compare two documents of %d records: both files written in %.3f s (limit 2 s), %lld bytes each\n",
               left->Table->RowCount(), seconds, static_cast<long long>(bytes));
        status = bytes > 0 && QFileInfo(file.left(file.size() - 4) + QStringLiteral("-2.txt")).size() == bytes ? 0 : 1;
    }
    FreeSharedPixmaps();
    return status;
}
