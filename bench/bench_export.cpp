// Times the file exports of a table tab on a generated raw record file shown
// on the offscreen platform: the text export and CSV of every row, each with
// the growth of the process's peak memory while it ran, and the PDF report
// of the first rows, with its size per page.
// Usage: bench_export [records] [pdf rows]   (default 1,000,000 and 20,000)
#include <cstdio>
#include <cstring>
#include <string>

#include <QApplication>
#include <QFileInfo>

#include "bench/benchargs.h"
#include "bench/benchgui.h"
#include "bench/benchtab.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/docloader.h"
#include "kxviewer/table/tablepdfwriter.h"
#include "kxviewer/table/tabtable.h"
#include "tearoffwidget/tearoffprompt.h"

namespace {

using Bench::Clock;
using Bench::Seconds;

// The save dialog answers with the next file name.
class NamePrompt : public TearOffPrompt {
public:
    QString SaveFileName(QWidget*, const QString&, const QString&, const QString&, const QString&) override
    {
        return next;
    }
    QString next;
};

// The process's peak resident memory in kB (VmHWM).
long PeakKb()
{
    FILE* status = fopen("/proc/self/status", "r");
    if (!status)
        return 0;
    char line[256];
    long kb = 0;
    while (fgets(line, sizeof line, status))
        if (strncmp(line, "VmHWM:", 6) == 0)
            kb = strtol(line + 6, nullptr, 10);
    fclose(status);
    return kb;
}

// Peak memory can only grow: the growth during a command is what the command
// needed beyond anything the process held before.
void ResetPeak()
{
    if (FILE* clear = fopen("/proc/self/clear_refs", "w")) {
        fputs("5", clear);
        fclose(clear);
    }
}

template <typename Command>
void Time(const char* what, const QString& path, int32_t rows, Command command)
{
    ResetPeak();
    const long before = PeakKb();
    const Clock::time_point start = Clock::now();
    command();
    const double seconds = Seconds(start);
    const long bytes = long(QFileInfo(path).size());
    printf("%-14s %9d rows %8.3f s %10.0f rows/s %9.1f MB file, peak memory +%ld kB\n", what, rows, seconds,
           rows / seconds, bytes / 1e6, PeakKb() - before);
}

} // namespace

int main(int argc, char** argv)
{
    const uint32_t records = Bench::RecordCountArg(argc, argv, 1000000, 20000000);
    const int32_t pdfRows = argc > 2 ? int32_t(Bench::RecordCountArg(argc - 1, argv + 1, 20000, 1000000)) : 20000;
    Bench::OffscreenTraceApp session(argc, argv, records);
    if (session.trace.empty())
        return 1;
    Bench::BenchActions actions;
    NamePrompt prompt;
    TearOffMain::SetPrompt(&prompt);
    {
        Bench::ShownWindow shown(&session.app);
        const QString trace = QString::fromStdString(session.trace);
        DocLoader loader(QFileInfo(trace), TabBase::SOURCE_KX);
        KxTable* table = loader.Load(-1);
        DocLoader firstRows(QFileInfo(trace), TabBase::SOURCE_KX);
        KxTable* pdfTable = firstRows.Load(pdfRows);
        if (!table || !pdfTable) {
            fprintf(stderr, "load failed\n");
            return 1;
        }
        TabTable* tab = Bench::ShowTab(shown.window, table, loader.TabPrefs());
        TabTable* pdfTab = Bench::ShowTab(shown.window, pdfTable, firstRows.TabPrefs());
        const QString folder = session.home.path() + QLatin1Char('/');
        const int32_t rows = table->RowCount();
        Time("text export", folder + "all.txt", rows, [&] { tab->SaveTxt(folder + "all.txt", false); });
        Time("CSV", folder + "all.csv", rows, [&] { tab->SaveCsv(folder + "all.csv", false); });
        for (int32_t part : {pdfTable->RowCount() / 2, pdfTable->RowCount()}) {
            // Fewer rows: the first rows again, as a document of their own.
            DocLoader again(QFileInfo(trace), TabBase::SOURCE_KX);
            KxTable* partTable = part == pdfTable->RowCount() ? nullptr : again.Load(part);
            TabTable* target = partTable ? Bench::ShowTab(shown.window, partTable, again.TabPrefs()) : pdfTab;
            const QString path = folder + QString("rows%1.pdf").arg(part);
            prompt.next = path;
            Time("PDF", path, part, [&] { target->SavePdfFile(); });
            const int pages = (part + TablePdfWriter::ROWS_PER_PAGE - 1) / TablePdfWriter::ROWS_PER_PAGE;
            printf("%-14s %9d pages, %.1f kB per page\n", "", pages, QFileInfo(path).size() / 1e3 / pages);
        }
    }
    TearOffMain::SetPrompt(nullptr);
    FreeSharedPixmaps();
    return 0;
}
