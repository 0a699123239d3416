// Commands that act on the rows matching the search expression (select,
// bookmark, filter), the manual filter from the Outline, single-row and
// range selection, bookmarks, and the aux-tree item's expression.
#include <algorithm>
#include <vector>

#include <QAction>
#include <QMessageBox>
#include <QModelIndex>
#include <QPointer>

#include "kxlib/fields.h"
#include "kxlib/table/kxsearchexpr.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/shellservices.h"
#include "kxviewer/table/auxtreemodel.h"
#include "kxviewer/table/historyactions.h"
#include "kxviewer/table/outlineroles.h"
#include "kxviewer/table/outlineview.h"
#include "kxviewer/table/tabactionids.h"
#include "kxviewer/table/guihelpers.h"
#include "kxviewer/table/tabbase.h"
#include "tearoffwidget/tearoffmain.h"
#include "tearoffwidget/tearoffprompt.h"
#include "utils/common/kxexcept.h"

namespace {
// The texts number rows from 1, as the row header does.
void ShowStatus(const QString& text, bool beep = false)
{
    KxvShell().ShowStatus(text, beep);
}

// What a command did to the table, in the System Log and on the status line.
void TellOfTable(const char* name, const QString& what)
{
    const QString text = QStringLiteral("Table '%1': %2").arg(QString::fromLocal8Bit(name), what);
    KxvShell().AddToSystemLog(text);
    ShowStatus(text);
}

// The table found its own data inconsistent: the command stops, the
// program goes on.
void ReportTableFault(const ZmLib::KxExcept& fault)
{
    const QString text = QString::fromLocal8Bit(fault.text ? fault.text : "");
    KxvShell().AddToSystemLog(text);
    KxvShell().Information(text, true);
}

// The value of an aux-tree item is the text of its second column.
QString FieldCondition(int32_t field, const QModelIndex& item)
{
    return QuotedCondition(FieldKey(field), "==", item.siblingAtColumn(1).data().toString());
}
} // namespace

void TabBase::SelectByCond()
{
    QAction* action = Actions[TACT_SELECT];
    int32_t count = 0;
    const bool select = !action || action->isChecked();
    if (select) {
        if (!CommitFindText() || !CheckSearchExpression()) {
            if (action)
                action->setChecked(false);
            return;
        }
        try {
            count = Table->SearchSelectionOn(Prefs.ColorSelect);
        } catch (const ZmLib::KxExcept& fault) {
            ReportTableFault(fault);
            count = int32_t(Table->NumSelected);
        }
        const KxSearchExpression* expression = Table->SearchExpression();
        if (count > 0 && expression) {
            const QString text = QString::fromLocal8Bit(expression->text);
            AddHistoryItem(HISTORY_SELECT_BY_EXPRESSION, &text, Table->SearchMode(), expression->matchCase,
                           Prefs.ColorSelect);
        }
    } else {
        Table->ClearSelections();
        AddHistoryItem(HISTORY_CLEAR_SELECTIONS, nullptr, 0, 0, 0);
    }
    ShowStatus(QStringLiteral("Selected %1 rows").arg(count));
    if (select)
        ReportSearchLimit();
    UpdateInformer();
    UpdateBase();
}

void TabBase::BookmarkByCond()
{
    if (!CheckSearchExpression())
        return;
    const int32_t count = Table->SearchBookmarksOn();
    if (const KxSearchExpression* expression = Table->SearchExpression()) {
        const QString text = QString::fromLocal8Bit(expression->text);
        AddHistoryItem(HISTORY_BOOKMARK_BY_EXPRESSION, &text, Table->SearchMode(), expression->matchCase, 0);
    }
    ShowStatus(QStringLiteral("%1 bookmarks is set").arg(count));
    ReportSearchLimit();
    UpdateInformer();
    UpdateBase();
}

void TabBase::FilterByCond()
{
    QAction* action = Actions[TACT_FILTER];
    const Hold hold(this);
    if (!action || action->isChecked()) {
        if (!CommitFindText() || !PrepareFilter(false)) {
            if (action && !hold.Gone())
                action->setChecked(false);
            return;
        }
        const int32_t records = Table->RecordCount();
        const int32_t matched = Table->SearchFilterOn();
        if (matched < 0) {
            // No expression, a filter already on or rows still selected.
            if (action)
                action->setChecked(false);
            ShowStatus(QStringLiteral("Filter is not set"), true);
            UpdateActions();
            return;
        }
        const UpdatesOff quiet = FilterApplied(matched, records);
        ReportSearchLimit();
        const KxSearchExpression* expression = Table->SearchExpression();
        if (Table->FilterOn && expression) {
            const QString text = QString::fromLocal8Bit(expression->text);
            AddHistoryItem(HISTORY_FILTER, &text, Table->SearchMode(), expression->matchCase, 0);
        }
        if (action && !Table->FilterOn)
            action->setChecked(false);
        TableChanged();
        return;
    }
    if (!GraphAllows("set filter")) {
        if (!hold.Gone())
            UpdateActions();
        return;
    }
    if (Table->FilterOn) {
        try {
            Table->ClearFilter();
            // The status line said what the filter kept.
            TellOfTable(Table->Name(), QStringLiteral("Filter removed"));
        } catch (const ZmLib::KxExcept& fault) {
            ReportTableFault(fault);
        }
    }
    if (hold.Gone())
        return;
    AddHistoryItem(HISTORY_CLEAR_FILTER, nullptr, 0, 0, 0);
    TableChanged();
}

void TabBase::ClearFilter()
{
    QAction* action = Actions[TACT_FILTER];
    if (!action || !action->isChecked())
        return;
    UpdateActions();
    action->setChecked(false);
    FilterByCond();
}

bool TabBase::PrepareFilter(bool noCheck)
{
    if (!noCheck && !CheckSearchExpression()) {
        UpdateActions();
        return false;
    }
    const Hold hold(this);
    if (!GraphAllows("set filter")) {
        if (!hold.Gone())
            UpdateActions();
        return false;
    }
    if (Table->NumSelected && !noCheck) {
        const QMessageBox::StandardButton answer = TearOffMain::Prompt().Question(
            TearOffMain::Me, QStringLiteral("Question"), QStringLiteral("Setting filter removes selections. Set filter?"),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
        if (hold.Gone())
            return false;
        if (answer == QMessageBox::No) {
            UpdateActions();
            return false;
        }
        Table->ClearSelections();
        UpdateActions();
    }
    return true;
}

UpdatesOff TabBase::FilterApplied(int32_t matched, int32_t rows)
{
    UpdatesOff quiet(TearOffMain::Me);
    if (matched == rows || matched == 0) {
        if (Table->FilterOn) {
            try {
                Table->ClearFilter();
            } catch (const ZmLib::KxExcept& fault) {
                ReportTableFault(fault);
            }
        }
        UpdateActions();
        // The reason stays on the status line: it says why no filter is set.
        ShowStatus(matched == 0 ? QStringLiteral("No matched rows found")
                                : QStringLiteral("Filter matches the whole table, cannot be set"),
                   true);
        return quiet;
    }
    TellOfTable(Table->Name(), QStringLiteral("Filtered %1 rows").arg(matched));
    return quiet;
}

int32_t TabBase::ManualFilterSelected()
{
    // The Outline may be out of step with the table.
    RefreshOutlineTable();
    if (!OutlineTable || Table->FilterOn) {
        ShowStatus(QStringLiteral("Filter is not set"), true);
        return 0;
    }
    const int32_t records = Table->RecordCount();
    std::vector<uint32_t> rows;
    // Each listed selection range with its start once the filter is on.
    std::vector<std::pair<SelRange*, int32_t>> moved;
    int32_t last = -1;
    int32_t skipped = 0;
    for (const OutlineLine& line : OutlineTable->Lines()) {
        const int32_t first = line.row;
        // Lines inside a listed range (a bookmark, a warning) add no rows.
        if (first <= last)
            continue;
        if (line.flags & OUTLINE_SELECTION_RANGE) {
            SelRange* range = nullptr;
            if (Table->SelRangeFind(first, &range) != 0 || range->first != first) {
                ++skipped;
                continue;
            }
            moved.emplace_back(range, int32_t(rows.size()));
            for (int32_t row = first; row < first + range->count; ++row)
                rows.push_back(uint32_t(row));
            last = first + range->count - 1;
        } else if (first < records) {
            rows.push_back(uint32_t(first));
            last = first;
        }
    }
    if (skipped)
        KxvShell().AddToSystemLog(
            QStringLiteral("Manual filter: %1 selection ranges of the outline no longer exist and are skipped")
                .arg(skipped));
    if (rows.empty()) {
        ShowStatus(QStringLiteral("Filter is not set"), true);
        return 0;
    }
    // Ranges left out would point at rows of the unfiltered table.
    std::vector<std::pair<int32_t, int32_t>> dropped;
    for (SelRange* range = Table->FirstRange(); range; range = range->NextEntry()) {
        const bool kept = std::any_of(moved.begin(), moved.end(), [range](const auto& m) { return m.first == range; });
        if (!kept)
            dropped.emplace_back(range->first, range->first + range->count - 1);
    }
    int32_t matched = 0;
    try {
        for (const auto& span : dropped)
            Table->SelRangeSet(span.first, span.second, false, 0);
        Table->ManualFilterPrepare(uint32_t(rows.size()), false);
        for (uint32_t row : rows)
            Table->Filtered[Table->NumMannualFiltered++] = row;
        for (const auto& m : moved)
            m.first->first = m.second;
        matched = Table->ManualFilter();
    } catch (const ZmLib::KxExcept& fault) {
        ReportTableFault(fault);
        return 0;
    }
    AddHistoryItem(HISTORY_MANUAL_FILTER, nullptr, 0, 0, 0);
    // Painted once, with the new rows and panes in place.
    const UpdatesOff quiet = FilterApplied(matched, records);
    // Resetting the view turns the event loop, which may close the tab.
    const QPointer<TabBase> self(this);
    ResetViewModel();
    if (!StillOpen(self))
        return 0;
    SetCurrentPosition(std::min(Table->CurRow(), Table->RowCount() - 1));
    UpdateInformer();
    UpdatePanes();
    return Table->FilterOn ? matched : 0;
}

void TabBase::HighlightByCond()
{
    QAction* action = Actions[TACT_HIGHLIGHT];
    if (!action)
        return;
    if (action->isChecked()) {
        SetJumpCondition(JUMP_HIGHLIGHT, (action->data().toInt() & 1) != 0);
        // The paint that follows tells what fails in the highlights.
        StartHighlightRound();
    } else {
        action->setData(int(Prefs.jumps[JUMP_HIGHLIGHT]));
        SetJumpCondition(JUMP_HIGHLIGHT, false);
    }
    SetCurrentPosition(Table->CurRow());
    UpdateActions();
}

void TabBase::RecordSelect(int32_t row, KxdRecord* record, bool select)
{
    if (row < 0 || row >= Table->RowCount())
        return;
    if (!record)
        record = Table->GetRecord(row);
    try {
        if (select) {
            Table->RecordSelect(row, record, Prefs.ColorSelect);
            AddHistoryItem(HISTORY_SELECT, nullptr, row, row, Prefs.ColorSelect);
        } else {
            Table->RecordDeselectHelper(row, record);
            AddHistoryItem(HISTORY_DESELECT, nullptr, row, row, 0);
        }
        ShowStatus(QStringLiteral("%1 row %2").arg(select ? QStringLiteral("Selected") : QStringLiteral("Deselected"))
                       .arg(row + 1));
    } catch (const ZmLib::KxExcept& fault) {
        ReportTableFault(fault);
    }
    UpdateInformer();
    UpdateBase();
}

void TabBase::SelRangeSet(int32_t first, int32_t last, bool select, uint32_t color)
{
    // A range found or stepped backwards arrives with its ends swapped.
    if (first > last)
        std::swap(first, last);
    first = std::max(first, 0);
    last = std::min(last, Table->RowCount() - 1);
    if (first > last)
        return;
    if (color == 0)
        color = Prefs.ColorSelect;
    try {
        Table->SelRangeSet(first, last, select, color);
        AddHistoryItem(select ? HISTORY_SELECT : HISTORY_DESELECT, nullptr, first, last, select ? color : 0);
        ShowStatus(QStringLiteral("%1 range from %2 to %3")
                       .arg(select ? QStringLiteral("Selected") : QStringLiteral("Deselected"))
                       .arg(first + 1)
                       .arg(last + 1));
    } catch (const ZmLib::KxExcept& fault) {
        ReportTableFault(fault);
    }
    UpdateInformer();
    UpdateBase();
}

void TabBase::BookmarkSet(int32_t row, bool on)
{
    if (row < 0 || row >= Table->RowCount())
        return;
    Table->BookmarkSet(row, on);
    AddHistoryItem(on ? HISTORY_BOOKMARK : HISTORY_CLEAR_BOOKMARK, nullptr, row, 0, 0);
    ShowStatus(QStringLiteral("Bookmark %1 at row %2").arg(on ? QStringLiteral("added") : QStringLiteral("removed")).arg(row + 1));
}

void TabBase::BookmarkCurrentOnOff()
{
    const int32_t row = Table->CurRow();
    if (row < 0 || row >= Table->RowCount())
        return;
    BookmarkSet(row, Table->GetRecord(row)->bookmark == nullptr);
    UpdateInformer();
    UpdateBase();
}

void TabBase::ClearBookmarks()
{
    QAction* action = Actions[TACT_BOOKMARK];
    if (action && action->isChecked())
        action->setChecked(false);
    Table->ClearBookmarks();
    AddHistoryItem(HISTORY_CLEAR_ALL_BOOKMARKS, nullptr, 0, 0, 0);
    UpdateInformer();
    UpdateBase();
}

void TabBase::ShowSelectedCount(int32_t count)
{
    ShowStatus(QStringLiteral("Selected %1 rows").arg(count));
    UpdateInformer();
    UpdateBase();
}

QString TabBase::AuxItemExpression(const QModelIndex& item)
{
    if (!item.isValid())
        return QString();
    const PrefKxTable& prefs = Table->Prefs();
    // In the pane's list of rows a child's row lies below its node's.
    const auto* model = qobject_cast<const AuxTreeModel*>(item.model());
    const QModelIndex parent = !model                                ? item.parent()
                               : AuxTreeModel::Place(item).second >= 0 ? model->NodeOf(item)
                                                                      : QModelIndex();
    if (!parent.isValid())
        return FieldCondition(prefs.TreeLevel1Field, item);
    const QString head = FieldCondition(prefs.TreeLevel1Field, parent);
    if (head.isEmpty())
        return head;
    const QString tail = FieldCondition(prefs.TreeLevel2Field, item);
    if (tail.isEmpty())
        return tail;
    return head + QLatin1String(" && ") + tail;
}
