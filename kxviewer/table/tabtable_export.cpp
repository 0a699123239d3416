// The file exports of a table tab: the text export's lines, CSV and a PDF
// report. Each file replaces the chosen one only once it is whole.
#include <memory>

#include "kxlib/table/kxtable.h"
#include "kxviewer/shellservices.h"
#include "kxviewer/table/exportfile.h"
#include "kxviewer/table/savefile.h"
#include "kxviewer/table/tablepdfwriter.h"
#include "kxviewer/table/tabletextwriter.h"
#include "kxviewer/table/tabtable.h"

namespace {
// A finished export, or why it is not.
void Report(const ExportFile& file, bool written, int64_t records)
{
    const QString name = file.Path();
    if (!written) {
        const QString text = QStringLiteral("Can't write file: %1: %2").arg(name, file.Failure());
        KxvShell().AddToSystemLog(text);
        KxvShell().Information(text, true);
        return;
    }
    const QString text = QStringLiteral("File \"%1\" with %2 records created").arg(name).arg(records);
    KxvShell().AddToSystemLog(text);
    KxvShell().ShowStatus(text);
}
} // namespace

std::vector<int32_t> TabTable::ColumnFields() const
{
    const int32_t count = std::clamp<int32_t>(Prefs.columnCount, 0, FIELD_Nums);
    return std::vector<int32_t>(Prefs.columns, Prefs.columns + count);
}

bool TabTable::SaveText(const QString& name, bool rangesOnly, bool csv)
{
    const Hold hold(this);
    const std::unique_ptr<ExportFile> file(
        csv ? CreateSaveFile(name, QStringLiteral("Choose CSV file to save"), QStringLiteral("CSV Files (*.csv)"),
                             QStringLiteral("csv"))
            : CreateSaveFile(name, QStringLiteral("Choose TXT file to save"),
                             QStringLiteral("Text document (*.txt)"), QStringLiteral("txt")));
    if (!file || hold.Gone())
        return false;
    TableTextWriter::Spans spans;
    if (rangesOnly)
        spans = ClipboardSpans(CLIP_RANGES_TEXT);
    else if (Table->RowCount() > 0)
        spans.emplace_back(0, Table->RowCount() - 1);
    int64_t records = 0;
    for (const auto& span : spans)
        records += span.second - span.first + 1;
    const TableTextWriter writer(*this, csv ? TableTextWriter::CSV : TableTextWriter::TEXT);
    const bool written = writer.Write(*file, spans) && file->Finish();
    Report(*file, written, records);
    return written;
}

bool TabTable::SaveTxt(const QString& name, bool rangesOnly) { return SaveText(name, rangesOnly, false); }

bool TabTable::SaveCsv(const QString& name, bool rangesOnly) { return SaveText(name, rangesOnly, true); }

void TabTable::SaveTXTFile() { SaveTxt(QString(), false); }

void TabTable::SaveCSVFile() { SaveCsv(QString(), false); }

void TabTable::SavePdfFile()
{
    const Hold hold(this);
    const std::unique_ptr<ExportFile> file(CreateSaveFile(QString(), QStringLiteral("Choose PDF file to save"),
                                                          QStringLiteral("PDF Files (*.pdf)"), QStringLiteral("pdf")));
    if (!file || hold.Gone())
        return;
    // An aborted export keeps the pages painted so far, without a report.
    const int32_t rows = Table->RowCount();
    TablePdfWriter writer(*this);
    const bool whole = writer.Write(file.get());
    if (writer.DocumentClosed()) {
        // A close is not an Abort: the pages go with the file unfinished,
        // and a file at the path stays as it was. The tab may be deleted.
        KxvShell().AddToSystemLog(
            QStringLiteral("Export to file \"%1\" dropped: the document was closed during the export").arg(file->Path()));
        return;
    }
    const bool written = file->Finish();
    if (whole || !written)
        Report(*file, written, rows);
}
