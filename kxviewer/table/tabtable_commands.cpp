// The table tab's commands that act on rows through the view: selection,
// colourise, Time0, function context, filter to the selection, the cell
// menu's find and copy entries, and the functions document.
#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QClipboard>

#include "kxlib/kxdrecord.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/shellservices.h"
#include "kxviewer/table/tabtable.h"
#include "kxviewer/table/tabtableview.h"
#include "tearoffwidget/tearoffmain.h"

namespace {
// History actions of these commands.
constexpr int32_t HISTORY_SELECT_ALL = 3;
constexpr int32_t HISTORY_CLEAR_SELECTIONS = 4;
constexpr int32_t HISTORY_FILTER_SELECTED = 8;

void Inform(const char* text)
{
    KxvShell().Information(QString::fromLatin1(text), false);
}

void LogAndStatus(const QString& text)
{
    KxvShell().AddToSystemLog(text);
    KxvShell().ShowStatus(text);
}
} // namespace

int32_t TabTable::ContextRow() const
{
    const int32_t rows = Table->RowCount();
    if (rows == 0)
        return -1;
    if (ContextCell.isValid() && ContextCell.row() < rows)
        return ContextCell.row();
    return std::clamp(Table->CurRow(), 0, rows - 1);
}

void TabTable::PrefColorize()
{
    if (!Prefs.Colorize && Table->AuxTree().Level1() < 0) {
        if (QAction* colorize = Actions[TACT_COLORIZE])
            colorize->setChecked(false);
        Inform("Colorize do not work without Info trees");
        return;
    }
    Prefs.Colorize = !Prefs.Colorize;
    View->RepaintAll();
}

void TabTable::SelectAll()
{
    Table->SelectAll(Prefs.ColorSelect);
    AddHistoryItem(HISTORY_SELECT_ALL, nullptr, 0, Table->RowCount() - 1, Prefs.ColorSelect);
    UpdateInformer();
    View->RepaintAll();
}

void TabTable::ClearSelection()
{
    Table->ClearSelections();
    AddHistoryItem(HISTORY_CLEAR_SELECTIONS, nullptr, 0, 0, 0);
    UpdateInformer();
    View->RepaintAll();
}

void TabTable::ClearHighlight()
{
    if (QAction* highlight = Actions[TACT_HIGHLIGHT])
        highlight->setChecked(false);
    UpdateActions();
    View->RepaintAll();
}

void TabTable::FilterSelected()
{
    if (Table->NumSelected == 0 || !PrepareFilter(true))
        return;
    const int32_t rows = Table->RowCount();
    const int32_t matched = Table->Selected2Filter();
    AddHistoryItem(HISTORY_FILTER_SELECTED, nullptr, 0, 0, 0);
    const UpdatesOff quiet = FilterApplied(matched, rows);
    setFocus();
    TableChanged();
}

void TabTable::PrefTime0Here()
{
    if (!Table->TimeNormalised()) {
        Inform("To enable this feature you should switch time to relative mode");
        return;
    }
    const int32_t row = ContextRow();
    if (row < 0)
        return;
    // The graph moves as far as the origin did; a row without a time
    // leaves it on the first row with one.
    const uint64_t before = Table->AbsoluteBase();
    Table->NormalizeTimeOn(row);
    if (GraphTab) {
        GraphTab->ShiftGraphTime(int64_t(Table->AbsoluteBase() - before));
        RepaintGraph();
    }
    UpdateTimeColumnWidth();
    UpdateBase();
}

void TabTable::SelectContextWalk(int32_t row, int64_t nest, uint64_t tid, bool forward)
{
    const uint32_t bound = forward ? KXFLAGS_FUNC_LEAVE : KXFLAGS_FUNC_ENTER;
    const int32_t step = forward ? 1 : -1;
    for (int32_t r = row + step; r >= 0 && r < Table->RowCount(); r += step) {
        KxdRecord* record = Table->GetRecord(r);
        if (uint64_t(record->Int64(FIELD_TID)) != tid)
            continue;
        const int64_t n = record->Int64(FIELD_NEST);
        if (n < nest)
            return;
        Table->RecordSelect(r, record, Prefs.ColorSelect);
        if ((record->Flags() & bound) && n <= nest)
            return;
    }
}

void TabTable::SelectByFuncContext()
{
    const int32_t row = ContextRow();
    if (row < 0)
        return;
    KxdRecord* record = Table->GetRecord(row);
    const int64_t nest = record->Int64(FIELD_NEST);
    if (nest <= 0) {
        Inform("No embracing functions context found");
        return;
    }
    const uint64_t tid = uint64_t(record->Int64(FIELD_TID));
    SelectContextWalk(row, nest, tid, false);
    SelectContextWalk(row, nest, tid, true);
    RecordSelect(row, record, true);
    View->RepaintAll();
}

void TabTable::CustomFind()
{
    if (QAction* find = Actions[ACTION_CUSTOM_FIND])
        OpenFindDialog(find->data().toString());
}

void TabTable::LoadCurrentToFind()
{
    if (QAction* load = Actions[ACTION_LOAD_TO_FIND])
        OpenFindDialog(load->data().toString());
}

void TabTable::RowsPasteToBottom()
{
    if (PasteCopy(-1, "Cannot paste to oneself. Please paste to other document.") >= 0)
        setFocus();
}

void TabTable::CopyOneCell()
{
    QAction* copy = Actions[ACTION_COPY_CELL];
    if (!copy)
        return;
    QApplication::clipboard()->setText(copy->data().toString());
    copy->setData(QVariant());
    KxvShell().ShowStatus(QStringLiteral("Data saved in clipboard"));
}

void TabTable::JumpsTriggered()
{
    for (int32_t i = 0; i < JUMP_Nums; ++i)
        if (JumpActions[i])
            Prefs.jumps[i] = PrefTabTable::Default().jumps[i] = JumpActions[i]->isChecked() ? 1 : 0;
}

void TabTable::OutlineTriggered()
{
    for (int32_t i = 0; i < JUMP_Nums; ++i)
        if (OutlineActions[i])
            Prefs.outline[i] = PrefTabTable::Default().outline[i] = OutlineActions[i]->isChecked() ? 1 : 0;
    RefreshOutlineTable();
}

void TabTable::CreateFuncsDoc()
{
    KxTable* funcs = Table->CreateFuncTable();
    if (!funcs)
        return;
    PrefTabTable prefs = PrefTabTable::Default();
    prefs.ClearColumns();
    for (int32_t field : {FIELD_TIME, FIELD_ETIME, FIELD_PNAME, FIELD_TNAME, FIELD_TEXT, FIELD_COUNT})
        prefs.AddColumn(field);
    QWidget* host = TearOffMain::MainHost ? static_cast<QWidget*>(TearOffMain::MainHost) : parentWidget();
    auto* doc = new TabTable(funcs, prefs, host);
    doc->SourceType = SOURCE_BUILT;
    doc->Init(idleTimer_);
    if (TearOffMain::Me)
        TearOffMain::Me->TabifyTearOffDock(this, doc);
    doc->FuncsDocument = 1;
    doc->UpdateInformer();
    LogAndStatus(QStringLiteral("Functions document \"%1\" opened: %2 rows")
                     .arg(QString::fromLocal8Bit(funcs->Name()))
                     .arg(funcs->RowCount()));
}
