// Times the Outline of a document whose records are one in ten a warning or
// an error: its rebuild alone, the pinning of two phrases (each matches
// every row once), and the rebuild with both pinned, which reuses their
// matches.
// Usage: bench_outline [records]   (default 1,000,000)
#include <cstdio>

#include <QApplication>
#include <QComboBox>
#include <QFileInfo>

#include "bench/benchargs.h"
#include "bench/benchgui.h"
#include "bench/benchlevels.h"
#include "kxviewer/docloader.h"
#include "kxviewer/table/outlineview.h"
#include "kxviewer/table/tabactionids.h"
#include "kxviewer/table/tabtable.h"
#include "script/scriptlogicalexp/scriptlogicalexpparser.h"

namespace {

using Bench::Clock;
using Bench::Seconds;

// The budget of one rebuild.
constexpr double LIMIT_MS = 500;

template <typename Command>
void Report(const char* what, TabTable* tab, Command command, bool budgeted)
{
    const Clock::time_point start = Clock::now();
    command();
    const double ms = Seconds(start) * 1000;
    printf("%-36s %9.1f ms   %d lines%s\n", what, ms, tab->OutlineTable->LineCount(),
           !budgeted ? "" : ms <= LIMIT_MS ? "   (within 500 ms)" : "   OVER 500 ms");
}

} // namespace

int main(int argc, char** argv)
{
    const uint32_t records = Bench::RecordCountArg(argc, argv, 1000000, 20000000);
    Bench::OffscreenTraceApp session(argc, argv, records);
    ScriptLogicalExpParser::Register();
    if (session.trace.empty())
        return 1;

    Bench::BenchActions actions({TACT_MATCH_CASE, TACT_SELECT, TACT_HIGHLIGHT, TACT_FILTER, TACT_PIN});
    {
        Bench::ShownWindow shown(&session.app);
        DocLoader loader(QFileInfo(QString::fromStdString(session.trace)), TabBase::SOURCE_KX);
        KxTable* table = loader.Load(-1);
        if (!table) {
            fprintf(stderr, "load failed\n");
            return 1;
        }
        const int32_t flagged = Bench::MarkWarningsAndErrors(*table);
        auto* tab = new TabTable(table, loader.TabPrefs(), nullptr);
        tab->SourceType = TabBase::SOURCE_KX;
        tab->Init(nullptr);
        shown.window.AddTearOffDock(Qt::TopDockWidgetArea, tab, 0);
        QApplication::processEvents();
        printf("%d records, %d warnings and errors\n", table->RecordCount(), flagged);
        for (int32_t i = 0; i < JUMP_Nums; ++i)
            tab->SetOutlineCondition(i, true);

        Report("outline rebuild", tab, [tab] { tab->RefreshOutlineTable(); }, true);
        Report("outline rebuild again", tab, [tab] { tab->RefreshOutlineTable(); }, true);
        for (const char* phrase : {"message 12", "message 345"}) {
            const std::string what = std::string("pin \"") + phrase + "\" (matches every row)";
            Report(what.c_str(), tab, [tab, phrase] {
                tab->FindCombo->setEditText(QString::fromLatin1(phrase));
                tab->PinPhrase(1);
            }, false);
        }
        Report("outline rebuild, two pinned phrases", tab, [tab] { tab->RefreshOutlineTable(); }, true);
        tab->SelRangeSet(1000, 2000, true, 0);
        Report("after a selection", tab, [tab] { tab->RefreshOutlineTable(); }, true);
    }
    FreeSharedPixmaps();
    return 0;
}
