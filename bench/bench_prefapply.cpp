// Times the preferences dialog's Apply over ten open documents of generated
// raw records each, headless on the offscreen platform: grid, icon size and
// fonts change in every round, so each document is updated and repainted.
// The time should not grow with the record count.
// Usage: bench_prefapply [records per document]   (default 1,000,000)
#include <cstdio>
#include <string>

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QFileInfo>
#include <QRadioButton>

#include "bench/benchargs.h"
#include "bench/benchgui.h"
#include "bench/benchtab.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/docloader.h"
#include "kxviewer/prefdialog.h"
#include "kxviewer/prefpagegeneral.h"

namespace {

constexpr int DOCUMENTS = 10;
constexpr int ROUNDS = 6;

} // namespace

int main(int argc, char** argv)
{
    const uint32_t records = Bench::RecordCountArg(argc, argv, 1000000, 20000000);
    Bench::OffscreenTraceApp session(argc, argv, records);
    if (session.trace.empty())
        return 1;

    Bench::BenchActions actions;
    {
        Bench::ShownWindow shown(&session.app);
        const std::string iniDir = session.home.path().toStdString() + "/";
        PrefGlobal::ProgramDir = iniDir;
        PrefGlobal::IniDir = iniDir;
        PrefGlobal::IniInProgramDir = true;
        PrefGlobal::IniViewer.Open(iniDir.c_str(), "KxViewer", "ini");
        PrefGlobal::IniFormats.Open(iniDir.c_str(), "KxFormats", "ini");

        Bench::Clock::time_point start = Bench::Clock::now();
        for (int i = 0; i < DOCUMENTS; ++i) {
            DocLoader loader(QFileInfo(QString::fromStdString(session.trace)), -2);
            KxTable* table = loader.Load(-1);
            if (!table) {
                fprintf(stderr, "load failed\n");
                return 1;
            }
            Bench::ShowTab(shown.window, table, loader.TabPrefs());
        }
        const double loadS = Bench::Seconds(start);

        PrefDialog dialog(&shown.window);
        double best = 1e9;
        double total = 0;
        for (int round = 0; round < ROUNDS; ++round) {
            dialog.General->GridButtons->button(round % 4)->setChecked(true);
            (round % 2 ? dialog.General->LargeIcons : dialog.General->SmallIcons)->setChecked(true);
            start = Bench::Clock::now();
            dialog.Apply();
            QApplication::processEvents();
            const double ms = Bench::Seconds(start) * 1000;
            total += ms;
            if (ms < best)
                best = ms;
        }
        printf("documents: %d x %u records (loaded in %.2f s)\n", DOCUMENTS, records, loadS);
        printf("Apply with repaint: best %.2f ms, mean %.2f ms over %d rounds\n", best, total / ROUNDS, ROUNDS);
        PrefGlobal::IniViewer.Close();
        PrefGlobal::IniFormats.Close();
    }
    FreeSharedPixmaps();
    return 0;
}
