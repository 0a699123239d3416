#include "kxviewer/table/stoppoints.h"

#include "kxlib/kxdrecord.h"
#include "kxlib/table/kxtable.h"

StopConditions StopConditionsFor(int32_t mode, const uint8_t flags[JUMP_Nums], bool highlightOn)
{
    auto on = [&](int32_t index) { return mode == index || (mode == -1 && flags[index] != 0); };
    StopConditions conditions;
    conditions.selections = on(JUMP_SELECTIONS);
    conditions.bookmarks = on(JUMP_BOOKMARKS);
    conditions.highlight = highlightOn && on(JUMP_HIGHLIGHT);
    conditions.warnings = on(JUMP_DATA_WARNINGS);
    conditions.dataErrors = on(JUMP_DATA_ERRORS);
    conditions.presErrors = mode == -1 && flags[JUMP_VIEW_ERRORS] != 0;
    return conditions;
}

namespace {
// What row r shows of the scanned conditions; an empty text when nothing.
QString RowStop(KxTable& table, int32_t row, const StopConditions& conditions, const HighlightTest& highlight)
{
    KxdRecord* record = table.GetRecord(row);
    const int32_t level = record->prot.msg.LEVEL;
    if (conditions.warnings && level == 0)
        return QStringLiteral("Jumped to warning");
    if ((conditions.presErrors && record->errorKind != KXERR_NoErrors) || (conditions.dataErrors && level < 0)) {
        const int32_t kind = record->errorKind < KXERR_Nums ? int32_t(record->errorKind) : int32_t(KXERR_Nums);
        return QStringLiteral("Jumped to error '%1'").arg(QString::fromLatin1(KxdErrorKindName(kind)));
    }
    QString name;
    if (conditions.highlight && highlight && highlight(row, record, &name))
        return QStringLiteral("Jumped to highlight on condition '%1'").arg(name);
    return QString();
}
} // namespace

StopPoint FindStopPoint(KxTable& table, const StopConditions& conditions, bool forward,
                        const HighlightTest& highlight)
{
    const int32_t current = table.CurRow();
    int32_t candidate = -1;
    QString message = forward ? QStringLiteral("Jumped to selected region") : QStringLiteral("Jumped to selection region");
    if (conditions.selections)
        candidate = forward ? table.SelRangeGetNextBoundary() : table.SelRangeGetPrevBoundary();
    if (conditions.bookmarks) {
        const KxBkmarkEntry* entry = table.BookmarkGetHelper(current, forward);
        const int32_t bookmark = entry ? entry->index : -1;
        // A bookmark wins a tie with a selection boundary.
        const bool nearer = bookmark != -1 && (forward ? bookmark <= candidate : bookmark >= candidate);
        if (candidate == -1 || nearer) {
            candidate = bookmark;
            message = QStringLiteral("Jumped to bookmark");
        }
    }

    int32_t target = candidate;
    if (conditions.ScansRows()) {
        const int32_t step = forward ? 1 : -1;
        for (int32_t row = current + step; row >= 0 && row < table.RowCount() && row != candidate; row += step) {
            const QString found = RowStop(table, row, conditions, highlight);
            if (!found.isEmpty()) {
                target = row;
                message = found;
                break;
            }
        }
    }

    StopPoint stop;
    stop.row = target < 0 ? -1 : target;
    stop.message = target < 0 ? QStringLiteral("No jump") : message + QStringLiteral(" at row %1").arg(target + 1);
    return stop;
}
