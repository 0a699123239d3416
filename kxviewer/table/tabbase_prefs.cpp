// The tab's own preference commands: the selection, highlight and bookmark
// colours, recolouring the ranges chosen in the Outline, the display
// switches, the side panes' sync button, and splitting the tab out of its
// group.
#include <algorithm>
#include <vector>

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QString>
#include <QSignalBlocker>
#include <QTableWidget>

#include "kxlib/table/kxtable.h"
#include "kxviewer/shellservices.h"
#include "kxviewer/table/guiicons.h"
#include "kxviewer/table/tabactionids.h"
#include "kxviewer/table/inforows.h"
#include "kxviewer/table/outlineview.h"
#include "kxviewer/table/tabbase.h"
#include "tearoffwidget/resources.h"
#include "tearoffwidget/tearoffmain.h"
#include "tearoffwidget/tearoffprompt.h"

namespace {
// Selections and the History read the colour word 0 as "the tab's selection
// colour": a chosen black is kept one step off it.
constexpr uint32_t BLACK_WORD = 0x000001;

QColor RgbColor(uint32_t rgb)
{
    return QColor(QRgb(rgb & 0xFFFFFF));
}

// The user's colour for the tab, starting from the current one; false when
// cancelled or when the tab was closed in the dialog's turn.
bool ChooseColor(TabBase& tab, uint32_t current, const char* title, uint32_t* chosen)
{
    const TabBase::Hold hold(&tab);
    const QColor color = TearOffMain::Prompt().Color(RgbColor(current), TearOffMain::Me, QString::fromLatin1(title));
    if (!color.isValid() || hold.Gone())
        return false;
    const uint32_t word = uint32_t(color.rgb()) & 0xFFFFFF;
    *chosen = word ? word : BLACK_WORD;
    return true;
}

// A preference colour the user chose, shown as a bar under the icon of
// action id; false when cancelled or the tab was closed.
bool ChooseBarColor(TabBase& tab, uint32_t& colour, const char* title, int32_t id)
{
    if (!ChooseColor(tab, colour, title, &colour))
        return false;
    if (QAction* action = tab.Actions[id])
        action->setIcon(MakeColorBarIcon(RgbColor(colour), QString::fromLatin1(Resources::GetActionIconPath(id))));
    return true;
}

// Every range collected from the Outline (or the cell menu) selected again
// in the colour; then the Outline and the view are rebuilt, and the Outline
// line that was current is made current again.
void RecolorRanges(TabBase& tab, uint32_t color)
{
    if (tab.OutlineRanges.empty())
        return;
    const int line = tab.OutlineTable ? tab.OutlineTable->CurrentLine() : -1;
    // A copy: the commands below must not find the list changing under them.
    const std::vector<TabBase::OutlineEntry> ranges = tab.OutlineRanges;
    for (const TabBase::OutlineEntry& range : ranges)
        tab.SelRangeSet(range.first, range.last, true, color);
    tab.RefreshOutlineTable();
    tab.UpdateBase();
    if (tab.OutlineTable && line >= 0 && tab.OutlineTable->LineCount() > 0)
        tab.OutlineTable->selectRow(std::min(line, tab.OutlineTable->LineCount() - 1));
}

bool IsChecked(const QAction* action, uint8_t fallback)
{
    return action ? action->isChecked() : fallback != 0;
}
} // namespace

void TabBase::PrefChooseColor4Bookmark()
{
    uint32_t color = 0;
    if (!ChooseColor(*this, Prefs.ColorBookmark, "Bookmark Color", &color))
        return;
    Prefs.ColorBookmark = color;
    // The recoloured 16 x 16 picture is the row header's bookmark mark too.
    if (QAction* bookmark = Actions[TACT_BOOKMARK])
        bookmark->setIcon(MakeColoredIcon(RgbColor(color), TabPixmap));
    RefreshOutlineTable();
    UpdateBase();
}

void TabBase::PrefChooseColor4Highlight()
{
    if (!ChooseBarColor(*this, Prefs.ColorHighlight, "Highlight Color", TACT_HIGHLIGHT))
        return;
    RefreshOutlineTable();
    // The find line's matches are painted in this colour.
    UpdateBase();
}

void TabBase::PrefChooseColor4Selection()
{
    if (ChooseBarColor(*this, Prefs.ColorSelect, "Selection Color", TACT_SELECT))
        RefreshOutlineTable();
}

void TabBase::change_new_color_info_select()
{
    uint32_t color = 0;
    if (!OutlineRanges.empty() && ChooseColor(*this, Prefs.ColorSelect, "Selection Color", &color))
        RecolorRanges(*this, color);
}

void TabBase::change_color_info_select()
{
    RecolorRanges(*this, Prefs.ColorSelect);
}

void TabBase::PrefIndentText()
{
    Prefs.IndentText = IsChecked(Actions[TACT_INDENT_TEXT], Prefs.IndentText) ? 1 : 0;
    UpdateBase();
}

void TabBase::PrefInsertFunc()
{
    Prefs.InsertFunc = IsChecked(Actions[TACT_INSERT_FUNC], Prefs.InsertFunc) ? 1 : 0;
    UpdateBase();
}

void TabBase::PrefRelativeTime()
{
    // Off moves every record off the graph's time axis: the graph goes
    // first, or the time stays relative (and its switches say so below).
    if (Table->TimeNormalised()) {
        const Hold hold(this);
        if (GraphAllows("switch relative time off"))
            Table->NormalizeTimeOff();
        else if (hold.Gone())
            return;
    } else if (!Table->NormalizeTimeOn(0))
        KxvShell().ShowStatus(QStringLiteral("Relative time needs a row to count from"), true);
    const bool relative = Table->TimeNormalised();
    if (QAction* action = Actions[TACT_RELATIVE_TIME])
        action->setChecked(relative);
    UpdateTimeColumnWidth();
    UpdateBase();
    if (QTableWidgetItem* item = InfoTable ? InfoTable->item(INFO_RELATIVE, 1) : nullptr)
        item->setCheckState(relative ? Qt::Checked : Qt::Unchecked);
    // Time0 moved, and every TIME with it: the document is changed.
    UpdateInfoTime();
    UpdateTitle();
}

void TabBase::PrefShowPresenErrors()
{
    const bool on = IsChecked(Actions[TACT_SHOW_PRES_ERRORS], Prefs.ShowPresErrors);
    Prefs.ShowPresErrors = on ? 1 : 0;
    if (PresErrorsBox) {
        // The box's own signal would run this command again.
        const QSignalBlocker quiet(PresErrorsBox);
        PresErrorsBox->setChecked(on);
    }
    // Switched off, the condition is off in the defaults too: switching on
    // again finds it off until it is checked again.
    const PrefTabTable& defaults = PrefTabTable::Default();
    SetJumpCondition(JUMP_VIEW_ERRORS, on && defaults.jumps[JUMP_VIEW_ERRORS] != 0);
    SetOutlineCondition(JUMP_VIEW_ERRORS, on && defaults.outline[JUMP_VIEW_ERRORS] != 0);
    for (QAction* condition : {JumpActions[JUMP_VIEW_ERRORS], OutlineActions[JUMP_VIEW_ERRORS]})
        if (condition)
            condition->setEnabled(on);
    // A graph is painted before the table under it; a table with its graph
    // open is painted before the graph.
    if (GraphState == GRAPH_IS_GRAPH) {
        RepaintGraph();
        UpdateBase();
    } else if (GraphState == GRAPH_OPEN) {
        UpdateBase();
        RepaintGraph();
    } else {
        UpdateBase();
    }
    RefreshOutlineTable();
}

void TabBase::onOnOffSyncToCurRow()
{
    auto* button = qobject_cast<QAbstractButton*>(sender());
    if (!button)
        return;
    const bool on = button->isChecked();
    // The next idle pass moves the panes to the current row.
    LastPanesRow = -1;
    Prefs.SyncToCurRow = PrefTabTable::Default().SyncToCurRow = on ? 1 : 0;
    button->setIcon(LoadIconResource(on ? "Sync2left" : "Sync2leftOff", ".png"));
}

void TabBase::DockHorizontally()
{
    if (TearOffMain::Me)
        TearOffMain::Me->SplitOneTearOffDock(this, Qt::Horizontal);
}

void TabBase::DockVertically()
{
    if (TearOffMain::Me)
        TearOffMain::Me->SplitOneTearOffDock(this, Qt::Vertical);
}
