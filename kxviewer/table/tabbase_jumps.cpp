// The stop-point jumps: the six jump and outline conditions of the tab and
// the commands that move the current row to the next or previous stop.
#include <algorithm>

#include <QAction>
#include <QComboBox>
#include <QGuiApplication>

#include "kxlib/table/kxsearchexpr.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/shellservices.h"
#include "kxviewer/table/stoppoints.h"
#include "kxviewer/table/tabactionids.h"
#include "kxviewer/table/tabbase.h"
#include "utils/common/kxexcept.h"

namespace {
void SetCondition(QAction* action, uint8_t& flag, uint8_t& defaultFlag, bool on)
{
    if (action)
        action->setChecked(on);
    flag = defaultFlag = on ? 1 : 0;
}

// A selection list the table found inconsistent: the user hears of it, the
// program goes on.
void ReportTableFault(const ZmLib::KxExcept& fault)
{
    const QString text = QString::fromLocal8Bit(fault.text ? fault.text : "");
    KxvShell().AddToSystemLog(text);
    KxvShell().Information(text, true);
}
} // namespace

void TabBase::SetJumpCondition(int32_t index, bool on)
{
    if (index >= 0 && index < JUMP_Nums)
        SetCondition(JumpActions[index], Prefs.jumps[index], PrefTabTable::Default().jumps[index], on);
}

void TabBase::SetOutlineCondition(int32_t index, bool on)
{
    if (index >= 0 && index < JUMP_Nums)
        SetCondition(OutlineActions[index], Prefs.outline[index], PrefTabTable::Default().outline[index], on);
}

void TabBase::JumpToNextStopPos()
{
    JumpToNextStopPosBy(-1);
}

void TabBase::JumpToPrevStopPos()
{
    JumpToPrevStopPosBy(-1);
}

void TabBase::JumpToNextStopPosBy(int32_t mode)
{
    JumpToStopPos(mode, true, true);
}

void TabBase::JumpToPrevStopPosBy(int32_t mode)
{
    // A direct call (the main window's commands, a script) never selects.
    JumpToStopPos(mode, false, sender() != nullptr);
}

void TabBase::JumpToStopPos(int32_t mode, bool forward, bool shiftSelects)
{
    const QAction* highlightAction = Actions[TACT_HIGHLIGHT];
    const bool highlightOn = highlightAction && highlightAction->isChecked();
    if (mode == JUMP_HIGHLIGHT && (!highlightOn || FixedHighlights.isEmpty())) {
        KxvShell().ShowStatus(QStringLiteral("No highlight to jump"));
        return;
    }
    const StopConditions conditions = StopConditionsFor(mode, Prefs.jumps, highlightOn);
    if (mode == -1 && !conditions.Any()) {
        KxvShell().Information(QStringLiteral("Please check on one of jump conditions"), true);
        return;
    }

    // The scan is a round of its own for the highlight expressions.
    if (conditions.highlight)
        StartHighlightRound();
    const int32_t from = Table->CurRow();
    StopPoint stop;
    try {
        stop = FindStopPoint(*Table, conditions, forward,
                             [this](int32_t row, KxdRecord* record, QString* name) {
                                 return HighlightShown(row, record, name);
                             });
        if (stop.row >= 0) {
            SetCurrentPosition(stop.row);
            // The rows passed over, from the start up to the stop itself;
            // none when the jump stayed on its row.
            const bool passed = forward ? stop.row > from : stop.row < from;
            if (passed && from >= 0 && shiftSelects && (QGuiApplication::keyboardModifiers() & Qt::ShiftModifier)) {
                const int32_t last = forward ? stop.row - 1 : stop.row + 1;
                SelRangeSet(std::min(from, last), std::max(from, last), true, 0);
            }
        }
    } catch (const ZmLib::KxExcept& fault) {
        ReportTableFault(fault);
        return;
    }
    KxvShell().ShowStatus(stop.message);
    // Each jump is a command of its own: why the find line highlights
    // nothing is told after the jump's message, whether or not the scan
    // reached a row to test.
    if (conditions.highlight)
        TellUnusableFindHighlight();
}

bool TabBase::HighlightShown(int32_t row, KxdRecord* record, QString* name)
{
    const int32_t mode = Table->SearchMode();
    KxSearchExpression* live = Table->SearchExpression();
    if (CurFixedHighlight < 0 && (mode == SEARCH_MODE_SIMPLE || mode == SEARCH_MODE_COMPLEX) && live &&
        HighlightMatches(*live, row, record)) {
        *name = FindCombo ? FindCombo->currentText() : QString();
        return true;
    }
    for (const FixedHighlight* highlight : FixedHighlights) {
        if (highlight->expression && HighlightMatches(*highlight->expression, row, record)) {
            *name = highlight->text;
            return true;
        }
    }
    return false;
}
