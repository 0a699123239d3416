// Times the document's search commands on a generated raw record file, shown
// as a table tab on the offscreen platform: each command through the tab, up
// to the repainted table. Find the one match near the end from the top,
// select and bookmark every match, and filter by a plain word and by LEVEL.
// Usage: bench_find [records]   (default 1,000,000)
#include <clocale>
#include <cstdio>
#include <string>

#include <QAction>
#include <QApplication>
#include <QFileInfo>

#include "bench/benchargs.h"
#include "bench/benchgui.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/docloader.h"
#include "kxviewer/table/tabactionids.h"
#include "kxviewer/table/tabtable.h"
#include "kxviewer/table/tabtableview.h"
#include "script/scriptlogicalexp/scriptlogicalexpparser.h"

namespace {

using Bench::Clock;
using Bench::Seconds;

// Milliseconds of one command up to the table painted again.
template <typename Command>
double CommandMs(TabTable* tab, Command command)
{
    const Clock::time_point start = Clock::now();
    command();
    QApplication::processEvents();
    tab->View->viewport()->repaint();
    return Seconds(start) * 1000;
}

void Report(const char* what, double ms, TabTable* tab)
{
    printf("%-34s %9.1f ms   rows %d, current %d, selected %u, bookmarks %d\n", what, ms, tab->Table->RowCount(),
           tab->Table->CurRow(), tab->Table->NumSelected, int(tab->Table->Bookmarks().Length()));
}

} // namespace

int main(int argc, char** argv)
{
    const uint32_t records = Bench::RecordCountArg(argc, argv, 1000000, 20000000);
    Bench::OffscreenTraceApp session(argc, argv, records);
    ScriptLogicalExpParser::Register();
    const std::string& path = session.trace;
    if (path.empty())
        return 1;

    // The search commands' toggles are checkable.
    Bench::BenchActions actions({TACT_MATCH_CASE, TACT_SELECT, TACT_HIGHLIGHT, TACT_FILTER, TACT_PIN});
    {
        Bench::ShownWindow shown(&session.app);
        Bench::BenchMain& window = shown.window;

        DocLoader loader(QFileInfo(QString::fromStdString(path)), TabBase::SOURCE_KX);
        KxTable* table = loader.Load(-1);
        if (!table) {
            fprintf(stderr, "load failed\n");
            return 1;
        }
        auto* tab = new TabTable(table, loader.TabPrefs(), nullptr);
        tab->SourceType = TabBase::SOURCE_KX;
        tab->Init(nullptr);
        window.AddTearOffDock(Qt::TopDockWidgetArea, tab, 0);
        QApplication::processEvents();
        printf("%u records\n", records);

        QAction* select = tab->Actions[TACT_SELECT];
        QAction* filter = tab->Actions[TACT_FILTER];
        // One record near the end: the search crosses the table.
        const QString rare = QStringLiteral("SEQ == %1").arg(table->RecordCount() - 10);
        tab->SetSearchExpression(rare, 1, 3);
        tab->SetCurrentPosition(0);
        Report("find next (SEQ near the end)", CommandMs(tab, [tab] { tab->FindNext(); }), tab);

        const auto byExpression = [&](const char* text) {
            tab->SetSearchExpression(QString::fromLatin1(text), 1, 3);
            tab->SetCurrentPosition(0);
            int32_t matches = 0;
            for (int32_t row = 0; row < table->RowCount(); ++row)
                matches += table->SearchMatch(table->GetRecord(row)) ? 1 : 0;
            printf("\"%s\" matches %d rows\n", text, matches);
            const std::string name = std::string("select all \"") + text + "\"";
            Report(name.c_str(), CommandMs(tab, [&] {
                       select->setChecked(true);
                       tab->SelectByCond();
                   }),
                   tab);
            select->setChecked(false);
            tab->SelectByCond();
            Report((std::string("bookmark all \"") + text + "\"").c_str(),
                   CommandMs(tab, [tab] { tab->BookmarkByCond(); }), tab);
            tab->ClearBookmarks();
            Report((std::string("filter \"") + text + "\"").c_str(), CommandMs(tab, [&] {
                       filter->setChecked(true);
                       tab->FilterByCond();
                   }),
                   tab);
            Report("clear filter", CommandMs(tab, [tab] { tab->ClearFilter(); }), tab);
        };
        byExpression("message");
        byExpression("LEVEL < 0");
    }
    FreeSharedPixmaps();
    return 0;
}
