// Times the document's search commands on a generated raw record file whose
// texts are 60 to 200 bytes long, shown as a table tab on the offscreen
// platform. For three plain words that 5 %, 30 % and 90 % of the rows hold,
// with and without match case: the count of kxfind --count (the table's
// marking of the matching rows) and the filter through the tab up to the
// repainted table, in rows per second, against `grep -c` (`-ci` without
// match case) over the same rows written out as text lines; the runs
// alternate and the medians are shown. Then find the one match near the end
// from the top, and select, bookmark and filter by LEVEL.
// Usage: bench_find [records]   (default 1,000,000)
#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QFileInfo>

#include "bench/benchargs.h"
#include "bench/benchgrep.h"
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

constexpr int RUNS = 5;

// Without match case "timeout" is in about one row of 20, "retry" in 3 of
// 10, "accepted" in 9 of 10; some of them are written in capitals.
const char* const kWords[] = {"timeout", "retry", "accepted"};

std::string RecordText(uint32_t i)
{
    static const char filler[] = " lorem ipsum dolor sit amet consectetur adipiscing elit sed do eiusmod tempor "
                                 "incididunt ut labore et dolore magna aliqua ut enim ad minim veniam quis nostrud "
                                 "exercitation ullamco laboris nisi";
    std::string text = (i % 30 == 0 ? "Retry of request " : "request ") + std::to_string(i);
    if (i % 20 == 0)
        text += i % 40 == 0 ? " TimeOut" : " timeout";
    if (i % 10 < 3)
        text += " then retry";
    if (i % 10 != 9)
        text += " accepted";
    const size_t length = 60 + (size_t(i) * 37) % 141;
    if (text.size() < length)
        text.append(filler, std::min(length - text.size(), sizeof(filler) - 1));
    // Every seventh text ends in the word of 5 %.
    if (i % 140 == 7)
        text += " timeout";
    return text;
}

// One error in 100 rows and one warning in 50, as a log mostly reads: each
// is a line of the Outline, which the filter builds again.
int Level(uint32_t i)
{
    if (i % 100 == 1)
        return -1;
    if (i % 50 == 2)
        return 0;
    return 1 + int(i % 3);
}

bool WriteRecords(const std::string& path, uint32_t records)
{
    std::string bytes;
    for (uint32_t i = 0; i < records; ++i) {
        ZmLib::KxdProt prot;
        memset(&prot, 0, sizeof(prot));
        prot.msg.magic = ZmLib::KxProt::MAGIC;
        prot.msg.LEVEL = int8_t(Level(i));
        prot.msg.TIME = 1561910811000000ull + uint64_t(i) * 250;
        prot.msg.PID = 4000 + i % 4;
        prot.msg.TID = 1200 + i % 64;
        prot.msg.SEQ = i;
        prot.msg.LINE = 100 + i % 400;
        const std::string text = RecordText(i);
        const char* strings[ZmLib::KxProt::STR_SLOTS] = {};
        strings[ZmLib::KxdProt::SLOT_TEXT] = text.c_str();
        strings[ZmLib::KxdProt::SLOT_FILE] = "server/requests.cpp";
        strings[ZmLib::KxdProt::SLOT_FUNC] = "HandleRequest";
        strings[ZmLib::KxdProt::SLOT_HOST] = "host-1";
        prot.SetStrings(strings, nullptr);
        KxFileGen::AppendRecord(bytes, prot, KxFileGen::Form::Kx, false);
    }
    return KxFileGen::WriteFile(path.c_str(), bytes);
}

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

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The plain words against grep; false when a count differs or grep failed.
bool CompareWords(TabTable* tab, const std::string& lines, const std::string& countPath)
{
    KxTable* table = tab->Table;
    const double rows = table->RowCount();
    QAction* filter = tab->Actions[TACT_FILTER];
    bool same = true;
    printf("%-9s %6s %-5s %11s %11s %11s %8s %8s\n", "word", "rows", "case", "count M/s", "filter M/s",
           "grep M/s", "count/g", "filter/g");
    for (const char* word : kWords) {
        for (const uint8_t matchCase : {uint8_t(1), uint8_t(0)}) {
            std::vector<double> count, filtered, grep;
            int32_t marked = 0;
            long grepCount = -1;
            std::vector<uint8_t> hits;
            for (int run = 0; run < RUNS; ++run) {
                tab->SetSearchExpression(QString::fromLatin1(word), matchCase, SEARCH_MODE_AUTO);
                Clock::time_point start = Clock::now();
                marked = table->SearchMarkRows(hits);
                count.push_back(Seconds(start));
                filtered.push_back(CommandMs(tab, [&] {
                                       filter->setChecked(true);
                                       tab->FilterByCond();
                                   }) /
                                   1000);
                same = same && table->RowCount() == marked;
                tab->ClearFilter();
                grep.push_back(Bench::TimeGrep(word, !matchCase, lines, countPath, grepCount));
            }
            same = same && grepCount == marked;
            const double c = Median(count), f = Median(filtered), g = Median(grep);
            printf("%-9s %5.1f%% %-5s %11.2f %11.2f %11.2f %8.2f %8.2f   %d rows, grep %ld\n", word,
                   100.0 * marked / rows, matchCase ? "on" : "off", rows / c / 1e6, rows / f / 1e6, rows / g / 1e6,
                   g / c, g / f, marked, grepCount);
        }
    }
    return same;
}

} // namespace

int main(int argc, char** argv)
{
    const uint32_t records = Bench::RecordCountArg(argc, argv, 1000000, 20000000);
    QTemporaryDir home;
    Bench::OffscreenHome(home);
    QApplication app(argc, argv);
    setlocale(LC_NUMERIC, "C");
    ScriptLogicalExpParser::Register();
    const std::string path = home.path().toStdString() + "/find.kx";
    if (!WriteRecords(path, records)) {
        fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }

    int status = 0;
    // The search commands' toggles are checkable.
    Bench::BenchActions actions({TACT_MATCH_CASE, TACT_SELECT, TACT_HIGHLIGHT, TACT_FILTER, TACT_PIN});
    {
        Bench::ShownWindow shown(&app);
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

        const std::string lines = home.path().toStdString() + "/rows.txt";
        if (!Bench::WriteLines(*table, lines)) {
            fprintf(stderr, "cannot write %s\n", lines.c_str());
            return 1;
        }
        if (!CompareWords(tab, lines, home.path().toStdString() + "/count.txt")) {
            fprintf(stderr, "a count differs from grep's, or grep did not run\n");
            status = 1;
        }
        std::error_code error;
        std::filesystem::remove(lines, error);

        // One record near the end: the search crosses the table.
        const QString rare = QStringLiteral("SEQ == %1").arg(table->RecordCount() - 10);
        tab->SetSearchExpression(rare, 1, SEARCH_MODE_AUTO);
        tab->SetCurrentPosition(0);
        Report("find next (SEQ near the end)", CommandMs(tab, [tab] { tab->FindNext(); }), tab);

        tab->SetSearchExpression(QStringLiteral("LEVEL < 0"), 1, SEARCH_MODE_AUTO);
        tab->SetCurrentPosition(0);
        QAction* select = tab->Actions[TACT_SELECT];
        Report("select all \"LEVEL < 0\"", CommandMs(tab, [&] {
                   select->setChecked(true);
                   tab->SelectByCond();
               }),
               tab);
        select->setChecked(false);
        tab->SelectByCond();
        Report("bookmark all \"LEVEL < 0\"", CommandMs(tab, [tab] { tab->BookmarkByCond(); }), tab);
        tab->ClearBookmarks();
        Report("filter \"LEVEL < 0\"", CommandMs(tab, [tab] {
                   tab->Actions[TACT_FILTER]->setChecked(true);
                   tab->FilterByCond();
               }),
               tab);
        Report("clear filter", CommandMs(tab, [tab] { tab->ClearFilter(); }), tab);
    }
    FreeSharedPixmaps();
    return status;
}
