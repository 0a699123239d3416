// The table tab's copies also put the rows on the clipboard for other
// programs: RTF with plain text for small copies, plain text for larger
// ones, nothing from the row limit on.
#include <algorithm>

#include <QApplication>
#include <QClipboard>
#include <QMimeData>

#include "kxlib/table/kxtable.h"
#include "kxviewer/kxvglobals.h"
#include "kxviewer/shellservices.h"
#include "kxviewer/table/clipboardwriter.h"
#include "kxviewer/table/tabtable.h"

namespace {
// Copies of fewer rows go as RTF too; from the limit on, not at all.
constexpr int64_t RTF_ROW_LIMIT = 10000;
constexpr int64_t CLIPBOARD_ROW_LIMIT = 100000;

void LogAndStatus(const QString& text)
{
    KxvShell().AddToSystemLog(text);
    KxvShell().ShowStatus(text);
}
} // namespace

void TabTable::RowsCopy()
{
    if (RememberCopy(KxvCopyInformation::SELECTED))
        CopyToClipboard(CLIP_COPY);
}

void TabTable::RowsCopyAll()
{
    if (RememberCopy(KxvCopyInformation::ALL_ROWS))
        CopyToClipboard(CLIP_COPY);
}

void TabTable::RowsCopyByColors()
{
    if (RememberCopy(KxvCopyInformation::BY_COLORS))
        CopyToClipboard(CLIP_COPY);
    for (ColorGroup& group : ColorGroups)
        group.copy = group.chosen;
}

void TabTable::CopyRangesToTxt() { CopyToClipboard(CLIP_RANGES_TEXT); }

void TabTable::CopyRangesToRtf() { CopyToClipboard(CLIP_RANGES_RTF); }

std::vector<std::pair<int32_t, int32_t>> TabTable::ClipboardSpans(int32_t mode) const
{
    std::vector<std::pair<int32_t, int32_t>> spans;
    const int32_t rows = Table->RowCount();
    if (mode == CLIP_COPY) {
        const KxvCopyInformation& copy = KxvGlobals::CopyInformation;
        if (copy.source != Table)
            return spans;
        if (copy.mode == KxvCopyInformation::ALL_ROWS && rows > 0)
            spans.emplace_back(0, rows - 1);
        else
            for (const KxCopyRun& run : copy.runs)
                spans.emplace_back(run.first, run.first + run.count - 1);
        return spans;
    }
    // The Outline's lines may lag behind the rows: only rows of the table.
    for (const OutlineEntry& entry : OutlineRanges) {
        const int32_t first = std::max(entry.first, 0);
        const int32_t last = std::min(entry.last, rows - 1);
        if (first <= last)
            spans.emplace_back(first, last);
    }
    return spans;
}

void TabTable::CopyToClipboard(int32_t mode)
{
    const std::vector<std::pair<int32_t, int32_t>> spans = ClipboardSpans(mode);
    int64_t count = 0;
    for (const auto& span : spans)
        count += span.second - span.first + 1;
    if (count == 0)
        return;
    const QString name = QString::fromLocal8Bit(Table->Name());
    if (count >= CLIPBOARD_ROW_LIMIT) {
        // The clipboard keeps what it had; Paste still takes the rows.
        QString text = QStringLiteral("Document \"%1\": %2 rows are too many for the clipboard (at most %3)")
                           .arg(name)
                           .arg(count)
                           .arg(CLIPBOARD_ROW_LIMIT - 1);
        if (mode == CLIP_COPY)
            text += QStringLiteral("; Paste into another document takes them");
        LogAndStatus(text);
        return;
    }
    auto* data = new QMimeData;
    QString report;
    if (count < RTF_ROW_LIMIT && mode != CLIP_RANGES_TEXT) {
        std::string rtf;
        QString text;
        ClipboardWriter(*this).Write(spans, &rtf, &text);
        const QByteArray bytes(rtf.data(), int(rtf.size()));
        data->setData(QStringLiteral("text/rtf"), bytes);
        data->setData(QStringLiteral("application/rtf"), bytes);
        data->setText(text);
        report = QStringLiteral("%1 rows copied to RTF clipboard ").arg(count);
    } else {
        data->setText(ClipboardWriter::ExportText(*this, spans));
    }
    report += QStringLiteral("%1 rows copied to TXT clipboard").arg(count);
    QApplication::clipboard()->setMimeData(data);
    LogAndStatus(QStringLiteral("Document \"%1\": %2").arg(name, report));
}
