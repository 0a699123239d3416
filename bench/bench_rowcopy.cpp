// Times row copy, paste and erase on a generated raw record file shown as a
// table tab on the offscreen platform, one tenth of its records turned into
// warnings and errors: the clipboard copies (RTF and text, text alone, and
// Copy All past the clipboard's limit), a paste of 100,000 rows at the
// current row, and the erasing of the warnings and errors selected.
// Usage: bench_rowcopy [records]   (default 1,000,000)
#include <cstdio>
#include <string>

#include <QApplication>
#include <QClipboard>
#include <QFileInfo>

#include "bench/benchargs.h"
#include "bench/benchgui.h"
#include "bench/benchtab.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/docloader.h"
#include "kxviewer/kxvglobals.h"
#include "kxviewer/table/tabtable.h"
#include "kxviewer/table/tabtableview.h"
#include "tearoffwidget/tearoffprompt.h"

namespace {

using Bench::Clock;
using Bench::Seconds;

// Every question is answered Yes.
class YesPrompt : public TearOffPrompt {
public:
    QMessageBox::StandardButton Message(QWidget*, QMessageBox::Icon, const QString&, const QString&,
                                        QMessageBox::StandardButtons, QMessageBox::StandardButton) override
    {
        return QMessageBox::Yes;
    }
};

template <typename Command>
void Time(const char* what, TabTable* tab, Command command)
{
    const Clock::time_point start = Clock::now();
    command();
    QApplication::processEvents();
    tab->View->viewport()->repaint();
    printf("%-44s %9.1f ms   rows %d, selected %u, clipboard %d characters\n", what, Seconds(start) * 1000,
           tab->Table->RowCount(), tab->Table->NumSelected, int(QApplication::clipboard()->text().size()));
}

} // namespace

int main(int argc, char** argv)
{
    const uint32_t records = Bench::RecordCountArg(argc, argv, 1000000, 20000000);
    Bench::OffscreenTraceApp session(argc, argv, records);
    if (session.trace.empty())
        return 1;
    Bench::BenchActions actions;
    YesPrompt prompt;
    TearOffMain::SetPrompt(&prompt);
    {
        Bench::ShownWindow shown(&session.app);
        DocLoader loader(QFileInfo(QString::fromStdString(session.trace)), TabBase::SOURCE_KX);
        KxTable* table = loader.Load(-1);
        if (!table) {
            fprintf(stderr, "load failed\n");
            return 1;
        }
        // Editable, as a document built in the program is.
        table->Prefs().editable = 1;
        // Every tenth record a warning or an error, the others information.
        for (int32_t row = 0; row < table->RowCount(); ++row)
            table->GetRecord(row)->prot.msg.LEVEL = row % 10 ? 1 : (row / 10) % 2 ? 0 : -1;
        TabTable* tab = Bench::ShowTab(shown.window, table, loader.TabPrefs());
        printf("%d records, %d warnings and errors\n", table->RowCount(), (table->RowCount() + 9) / 10);

        tab->SelRangeSet(0, 9998, true, 0xFFFF00);
        Time("copy 9,999 rows (RTF and text)", tab, [tab] { tab->RowsCopy(); });
        tab->SelRangeSet(0, 99998, true, 0xFFFF00);
        Time("copy 99,999 rows (text)", tab, [tab] { tab->RowsCopy(); });
        Time("copy all rows (past the clipboard's limit)", tab, [tab] { tab->RowsCopyAll(); });
        tab->ClearSelection();

        for (int32_t row = 0; row < tab->Table->RowCount(); ++row)
            if (tab->Table->GetRecord(row)->prot.msg.LEVEL <= 0)
                tab->Table->RecordSelect(row, tab->Table->GetRecord(row), 0xFFFF00);
        Time("erase the selected warnings and errors", tab, [tab] { tab->RowsDelete(); });

        auto* source = new TabTable("source", nullptr);
        source->Init(nullptr);
        shown.window.AddTearOffDock(Qt::TopDockWidgetArea, source, 0);
        table->CopyRuns(*source->Table, {{0, 100000, 0, false}}, -1);
        source->TableChanged();
        source->RowsCopyAll();
        tab->SetCurrentPosition(tab->Table->RowCount() / 2);
        Time("paste 100,000 rows at the current row", tab, [tab] { tab->RowsPaste(); });
        KxvGlobals::CopyInformation.Clear();
    }
    TearOffMain::SetPrompt(nullptr);
    FreeSharedPixmaps();
    return 0;
}
