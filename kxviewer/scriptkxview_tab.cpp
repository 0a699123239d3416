// The view functions on one table tab: they go through the tab's own
// commands, so its view, counters, Outline, History and status follow.
#include <algorithm>

#include <QAction>
#include <QComboBox>
#include <QDockWidget>

#include "kxlib/table/kxsearchexpr.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/mainwindow.h"
#include "kxviewer/scriptkxview.h"
#include "kxviewer/table/outlineview.h"
#include "kxviewer/table/tabactionids.h"
#include "kxviewer/table/tabtable.h"
#include "script/scriptbase/codeparser.h"
#include "script/scriptbasegui/scriptkxtable.h"
#include "utils/common/kxexcept.h"

namespace {

constexpr int NO_LINE = -999;

[[noreturn]] void Fail(const char* message, const char* argument = nullptr)
{
    CodeParser::ThrowError(message, argument, NO_LINE);
}

const char* Text(const ScriptArgList& args, uint32_t i) { return args.Arg(i).text ? args.Arg(i).text : ""; }

int64_t OptionalInt(const ScriptArgList& args, uint32_t i, int line)
{
    return args.count > i ? CodeParser::GetArgInt(int(i), args, line) : 0;
}

// A one-based row number of a script checked against the table's rows;
// the zero-based row.
int32_t CheckedRow(const KxTable& table, int64_t n, int line)
{
    if (n < 1 || n > table.RowCount()) {
        const std::string text =
            "Row " + std::to_string(n) + " out of range, the table has " + std::to_string(table.RowCount()) + " rows";
        CodeParser::ThrowError(text.c_str(), " line ", line);
    }
    return int32_t(n - 1);
}

// A one-based row for a command that clamps to the rows itself: values
// beyond 32 bits stay beyond the rows instead of wrapping into them.
int32_t ClampedRow(int64_t n) { return int32_t(std::clamp<int64_t>(n, INT32_MIN + 1LL, INT32_MAX) - 1); }

// The flag word of set_expression: bit 0 match case; 4 complex, else 2
// simple, else automatic.
uint32_t ModeOfFlags(int64_t flags) { return (flags & 4) ? 1u : (flags & 2) ? 0u : 3u; }

void FailUnlessFilterAllowed(const TabBase& tab)
{
    if (tab.Table->FilterOn)
        Fail("Filter is already set");
    if (tab.GraphState == TabBase::GRAPH_OPEN)
        Fail("Can't set filter while graph is open");
}

// A table fault thrown inside a command ends the script with its text.
template <typename Command>
void Guarded(Command command)
{
    try {
        command();
    } catch (const ZmLib::KxExcept& fault) {
        Fail(fault.text ? fault.text : "Table error");
    }
}

int64_t Filter(TabTable* tab)
{
    KxTable& table = *tab->Table;
    if (table.FilterOn)
        Fail("Filter is already set");
    if (table.SearchMode() == -2 || table.SearchMode() == -1)
        Fail("Search expression in not ready");
    if (tab->GraphState == TabBase::GRAPH_OPEN)
        Fail("Can't set filter while graph is open");
    int32_t matched = 0;
    Guarded([&] {
        if (table.NumSelected)
            table.ClearSelections();
        const int32_t rows = table.RowCount();
        matched = table.SearchFilterOn();
        if (matched >= 0) {
            const UpdatesOff quiet = tab->FilterApplied(matched, rows);
            tab->TableChanged();
        }
    });
    return matched;
}

int64_t OutlineFilter(TabTable* tab)
{
    FailUnlessFilterAllowed(*tab);
    if (!tab->Prefs.outline[0] && tab->Table->NumSelected)
        Guarded([tab] { tab->Table->ClearSelections(); });
    if (!TabBase::ImmediateRefresh) {
        TabBase::ImmediateRefresh = 1;
        tab->RefreshOutlineTable();
    }
    if (!tab->OutlineTable || tab->OutlineTable->LineCount() == 0)
        Fail("Outline is empty. Filter is not set");
    int64_t rows = 0;
    Guarded([&] { rows = tab->ManualFilterSelected(); });
    return rows;
}

// Jumps 20..27 after the table library found the row: the view follows.
int64_t ShowJump(TabTable* tab, int32_t row)
{
    QString text = QStringLiteral("No jump");
    if (row >= 0) {
        text = QStringLiteral(" at row %1").arg(row + 1);
        tab->SetCurrentPosition(row);
    }
    tab->UpdateBase();
    MainWindow::ShowStatus(text, false);
    return row;
}

int64_t PinPhrase(TabTable* tab, const ScriptArgList& args, int line)
{
    if (!tab->FindCombo || tab->FindCombo->currentText().isEmpty())
        Fail("Current search expression is empty");
    if (tab->IsFixedHighlight())
        return 2;
    const uint32_t color = uint32_t(OptionalInt(args, 1, line));
    const uint32_t saved = tab->Prefs.ColorHighlight;
    if (color != 0)
        tab->Prefs.ColorHighlight = color & 0xFFFFFF;
    tab->PinPhrase(1);
    tab->Prefs.ColorHighlight = saved;
    return 1;
}

int64_t SetConditions(TabTable* tab, const ScriptArgList& args, int line, bool outline)
{
    for (int32_t i = 0; i < JUMP_Nums; ++i) {
        const bool on = CodeParser::GetArgInt(i + 1, args, line) > 0;
        QAction* action = outline ? tab->OutlineActions[i] : tab->JumpActions[i];
        if (!action || !action->isEnabled())
            continue;
        if (outline)
            tab->SetOutlineCondition(i, on);
        else
            tab->SetJumpCondition(i, on);
    }
    return 0;
}

int64_t PasteToRow(TabTable* tab, int64_t n, int line)
{
    KxTable& table = *tab->Table;
    // Rows pasted into a filtered table or under an open graph would land
    // between rows the user does not see.
    if (table.FilterOn)
        Fail("Can't paste rows while filter is set");
    if (tab->GraphState == TabBase::GRAPH_OPEN)
        Fail("Can't paste rows while graph is open");
    const int32_t row = CheckedRow(table, n, line);
    table.Prefs().editable = 1;
    tab->SetCurrentPosition(row);
    tab->RowsPaste();
    return 1;
}

int64_t PinExpressionSet(TabTable* tab, const ScriptArgList& args, int line)
{
    const char* text = Text(args, 2);
    const int64_t flags = OptionalInt(args, 3, line);
    uint32_t mode = ModeOfFlags(flags);
    KxTable& table = *tab->Table;
    ScriptKxTable::CheckExpression(table, table.SearchSetExpression(text, uint8_t(flags & 1), mode), text, line);
    KxSearchExpression* expression = table.SearchExpression();
    if (!expression)
        Fail("Search expression error: ", text);
    expression->AddRef();
    const uint32_t color = uint32_t(CodeParser::GetArgInt(1, args, line));
    const QColor shown(QRgb(color != 0 ? color : tab->Prefs.ColorHighlight));
    const QString key = QString::fromLocal8Bit(text);
    TabBase::FixedHighlight* highlight = nullptr;
    for (TabBase::FixedHighlight* entry : tab->FixedHighlights)
        if (entry->text == key)
            highlight = entry;
    if (!highlight) {
        highlight = new TabBase::FixedHighlight;
        highlight->text = key;
        tab->FixedHighlights.append(highlight);
    }
    // The highlight holds one reference: to the expression it shows now.
    if (highlight->expression)
        highlight->expression->Release();
    highlight->expression = expression;
    highlight->color = shown;
    highlight->mode = uint32_t(table.SearchMode());
    highlight->matchCase = expression->matchCase;
    return 1;
}

int64_t PinExpressionShowAll(TabTable* tab)
{
    for (const TabBase::FixedHighlight* highlight : tab->FixedHighlights)
        tab->SetSearchExpression(highlight->text, highlight->matchCase, highlight->mode);
    tab->RebuildFixedHighlightMenu();
    tab->RefreshOutlineTable();
    tab->UpdateBase();
    return 0;
}

// The current row shown and the counters brought up to date.
void Show(TabTable* tab)
{
    tab->UpdateInformer();
    tab->UpdateBase();
    tab->SetCurrentPosition(tab->Table->CurRow());
}

} // namespace

int64_t ScriptKxView::RunOnTab(TabTable* tab, ScriptValue& result, int function, int line, ScriptArgList& args)
{
    KxTable& table = *tab->Table;
    switch (function) {
    case F_SIZE: return table.RowCount();
    case F_NAME: result.text = table.Name(); return 0;
    case F_SELECT: {
        const int64_t first = CodeParser::GetArgInt(1, args, line);
        const int64_t last = CodeParser::GetArgInt(2, args, line);
        const uint32_t color = uint32_t(OptionalInt(args, 3, line));
        Guarded([&] {
            tab->SelRangeSet(ClampedRow(first), ClampedRow(last), true, color ? color : tab->Prefs.ColorSelect);
        });
        return 0;
    }
    case F_FILTER: return Filter(tab);
    case F_CLEAR_FILTER:
        if (table.FilterOn)
            Guarded([&] {
                table.ClearFilter();
                tab->TableChanged();
            });
        return 0;
    case F_CLEAR_BOOKMARK:
    case F_BOOKMARK: {
        const int32_t row = table.CurRow();
        if (row < 0 || row >= table.RowCount())
            return 0;
        const bool marked = table.GetRecord(row)->bookmark != nullptr;
        if (marked != (function == F_CLEAR_BOOKMARK))
            return 0;
        tab->BookmarkCurrentOnOff();
        return 1;
    }
    case F_CLEAR_SELECT:
        Guarded([&] { table.ClearSelections(); });
        tab->ShowSelectedCount(0);
        return 0;
    case F_SELECTED_COUNT: return table.NumSelected;
    case F_FILTERED_COUNT: return table.FilterOn ? table.RowCount() : 0;
    case F_SET_EXPRESSION: {
        const int64_t flags = OptionalInt(args, 2, line);
        const bool accepted = tab->SetSearchExpression(QString::fromLocal8Bit(Text(args, 1)), uint8_t(flags & 1),
                                                       ModeOfFlags(flags));
        ScriptKxTable::CheckExpression(table, accepted, Text(args, 1), line);
        return 1;
    }
    case F_FIND_NEXT: tab->FindNext(); return table.CurRow();
    case F_FIND_PREV: tab->FindBack(); return table.CurRow();
    case F_CURRENT_ROW: return table.CurRow();
    case F_SET_CURRENT_REC:
        tab->SetCurrentPosition(CheckedRow(table, CodeParser::GetArgInt(1, args, line), line));
        return table.CurRow();
    case F_GET_CUR_RECORD:
    case F_GET_RECORD: return OnTable(tab, result, function, line, args);
    case F_JUMP_NEXT: tab->JumpToNextStopPosBy(-1); return table.CurRow();
    case F_JUMP_PREV: tab->JumpToPrevStopPosBy(-1); return table.CurRow();
    case F_SET_OUTLINE_FILTER: return OutlineFilter(tab);
    case F_PIN_PHRASE: return PinPhrase(tab, args, line);
    case F_UNPIN_PHRASE:
        CodeParser::GetArgInt(1, args, line);
        if (!tab->IsFixedHighlight())
            return 0;
        tab->PinPhrase(0);
        return 1;
    case F_SET_OUTLINE_CONDITIONS: return SetConditions(tab, args, line, true);
    case F_SET_JUMP_CONDITIONS: return SetConditions(tab, args, line, false);
    case F_SHOW_IN_TABLE: Show(tab); return 0;
    case F_COPY: tab->RowsCopy(); return 1;
    case F_PASTE: tab->RowsPasteToBottom(); return 1;
    case F_COPY_ALL: tab->RowsCopyAll(); return 1;
    case F_PASTE_TO_ROW: return PasteToRow(tab, CodeParser::GetArgInt(1, args, line), line);
    case F_OPEN_GRAPH: Show(tab); tab->CreateGraph(); return 0;
    case F_SET_ACTIVE:
        Show(tab);
        if (TearOffMain::Me && TearOffMain::Me->CurrentDock != tab)
            TearOffMain::Me->SetTabActive(tab, false);
        return 0;
    case F_SHOW_INFO_PANEL:
    case F_SHOW_OUTLINE_PANEL: {
        QDockWidget* pane = function == F_SHOW_INFO_PANEL ? tab->InfoDock : tab->OutlineDock;
        if (pane) {
            pane->show();
            pane->raise();
        }
        return 0;
    }
    case F_PIN_EXPRESSION_SET: return PinExpressionSet(tab, args, line);
    case F_PIN_EXPRESSION_SHOW_ALL: return PinExpressionShowAll(tab);
    default: return ShowJump(tab, int32_t(OnTable(tab, result, function, line, args)));
    }
}
