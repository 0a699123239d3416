// The document's search: the find line and the process-wide search history,
// the table's search expression, finding the next or previous match, go-to
// row and one-row steps, and the way into the find dialog.
#include <algorithm>
#include <string>
#include <vector>

#include <QAbstractItemView>
#include <QAction>
#include <QBrush>
#include <QComboBox>
#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QPalette>
#include <QSignalBlocker>

#include "kxlib/table/kxsearchexpr.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/shellservices.h"
#include "kxviewer/table/finddialog.h"
#include "kxviewer/table/findlineedit.h"
#include "kxviewer/table/tabactionids.h"
#include "kxviewer/table/tabbase.h"
#include "tearoffwidget/tearoffmain.h"

namespace {
QString FromBytes(const std::string& text)
{
    return QString::fromLocal8Bit(text.c_str(), int(text.size()));
}

std::vector<SearchHistoryItem>::iterator HistoryEntryOf(const QString& text)
{
    std::vector<SearchHistoryItem>& history = PrefGlobal::SearchHistory;
    const std::string bytes = text.toLocal8Bit().toStdString();
    return std::find_if(history.begin(), history.end(),
                        [&bytes](const SearchHistoryItem& item) { return item.expression == bytes; });
}

void FillFromHistory(QComboBox* combo)
{
    combo->clear();
    for (const SearchHistoryItem& item : PrefGlobal::SearchHistory)
        combo->addItem(FromBytes(item.expression));
}

LineEdit* FindLineOf(QComboBox* combo)
{
    return combo ? qobject_cast<LineEdit*>(combo->lineEdit()) : nullptr;
}

void SetChecked(QAction* action, bool on)
{
    if (action)
        action->setChecked(on);
}

void SetEnabled(QAction* action, bool on)
{
    if (action)
        action->setEnabled(on);
}

// The expression object holds at most TEXT_SIZE - 1 bytes. A longer text is
// refused whole, as the table refuses it: a cut one may mean something else.
bool TooLongForTable(const QString& text)
{
    return text.toLocal8Bit().size() >= KxSearchExpression::TEXT_SIZE;
}

// "Incorrect search expression" and why; several reports of the parser, one
// a line, make one line here.
QString IncorrectExpressionText(const std::string& reason)
{
    QString text = QStringLiteral("Incorrect search expression");
    if (!reason.empty())
        text += QStringLiteral(": ") + FromBytes(reason).replace(QLatin1Char('\n'), QStringLiteral("; "));
    return text;
}

// What names a failure of an expression for telling it once.
std::string FailureKey(const std::string& expression, const char* kind, const std::string& what)
{
    return expression + '\n' + kind + '\n' + what;
}

void ReportTooLong()
{
    KxvShell().ShowStatus(
        QStringLiteral("Search expression longer than %1 characters").arg(KxSearchExpression::TEXT_SIZE - 1), true);
}
} // namespace

bool TabBase::FitsSearchExpression(const QString& text)
{
    if (!TooLongForTable(text))
        return true;
    ReportTooLong();
    return false;
}

bool TabBase::SetSearchExpression(const QString& text, uint8_t matchCase, uint32_t mode)
{
    const QString trimmed = text.trimmed();
    if (!ApplySearchExpression(trimmed, matchCase, &mode))
        return false;
    std::vector<SearchHistoryItem>& history = PrefGlobal::SearchHistory;
    const QSignalBlocker blocker(FindCombo);
    if (!trimmed.isEmpty()) {
        auto found = HistoryEntryOf(trimmed);
        if (found != history.end()) {
            found->mode = int32_t(mode);
            found->matchCase = matchCase != 0;
            std::rotate(history.begin(), found, found + 1);
            if (FindCombo)
                FillFromHistory(FindCombo);
        } else {
            SearchHistoryItem item;
            item.mode = int32_t(mode);
            item.matchCase = matchCase != 0;
            item.expression = trimmed.toLocal8Bit().toStdString();
            history.insert(history.begin(), item);
            if (FindCombo)
                FindCombo->insertItem(0, trimmed);
        }
    }
    if (history.size() > 1) {
        const auto empty = std::remove_if(history.begin(), history.end(),
                                          [](const SearchHistoryItem& item) { return item.expression.empty(); });
        if (empty != history.end()) {
            history.erase(empty, history.end());
            if (FindCombo)
                FillFromHistory(FindCombo);
        }
    }
    if (FindCombo) {
        FindCombo->setCurrentIndex(0);
        ColorFindEntries();
    }
    if (!history.empty()) {
        SearchMode = uint32_t(history.front().mode);
        MatchCase = history.front().matchCase ? 1 : 0;
        SetChecked(Actions[TACT_MATCH_CASE], MatchCase != 0);
    }
    SyncFindCombos();
    if (LineEdit* line = FindLineOf(FindCombo))
        line->CursorMoved = 0;
    FindTextPending = false;
    return true;
}

bool TabBase::ApplySearchExpression(const QString& text, uint8_t matchCase, uint32_t* mode)
{
    const QByteArray bytes = text.toLocal8Bit();
    // Another text is told afresh what it fails on, even where an earlier
    // one failed the same way; the same text set again is not.
    const KxSearchExpression* before = Table->SearchExpression();
    if (!before || bytes != before->text)
        toldSearchFailure_.clear();
    // The table gets a text too long as well: it refuses it and then
    // searches nothing.
    const bool accepted = Table->SearchSetExpression(bytes.constData(), matchCase, *mode);
    if (TooLongForTable(text))
        ReportTooLong();
    const bool any = !text.isEmpty();
    SetEnabled(Actions[TACT_FIND_NEXT], any);
    SetEnabled(Actions[TACT_FIND_BACK], any);
    SetEnabled(Actions[TACT_PIN], any);
    SetEnabled(Actions[TACT_BOOKMARK_BY_COND], any);
    SetCurrentPosition(Table->CurRow());
    QAction* highlight = Actions[TACT_HIGHLIGHT];
    if (accepted && highlight && highlight->isChecked())
        UpdateBase();
    return accepted;
}

bool TabBase::CheckSearchExpression()
{
    const int32_t state = Table->SearchMode();
    // A table that never had an expression reports the parse failure's
    // state too; with nothing in the find line it is simply empty.
    const bool blankLine = !FindCombo || FindCombo->currentText().trimmed().isEmpty();
    if (state == SEARCH_MODE_UNDECIDED && !blankLine && TooLongForTable(FindCombo->currentText().trimmed())) {
        ReportTooLong();
        return false;
    }
    if (state == SEARCH_MODE_UNDECIDED || (state == SEARCH_MODE_NONE && blankLine)) {
        KxvShell().ShowStatus(QStringLiteral("Search expression is empty"), true);
        return false;
    }
    if (state == SEARCH_MODE_NONE) {
        ReportIncorrectExpression();
        return false;
    }
    return true;
}

void TabBase::ReportIncorrectExpression()
{
    // A blank text or one too long was never taken as an expression (and
    // the one too long was named as it was refused).
    if (Table->SearchMode() != SEARCH_MODE_NONE)
        return;
    const QString text = IncorrectExpressionText(Table->SearchError());
    KxvShell().AddToSystemLog(text);
    KxvShell().ShowStatus(text, true);
}

bool TabBase::CommitFindText()
{
    if (!FindTextPending || !FindCombo || SetSearchExpression(FindCombo->currentText(), MatchCase, SearchMode))
        return true;
    // A text too long was named as it was refused.
    if (!TooLongForTable(FindCombo->currentText().trimmed()))
        CheckSearchExpression();
    return false;
}

void TabBase::TellSearchFailure(const QString& text, const std::string& key, bool byHighlight)
{
    if (byHighlight && key == toldSearchFailure_)
        return;
    toldSearchFailure_ = key;
    KxvShell().AddToSystemLog(text);
    KxvShell().ShowStatus(text, true);
}

void TabBase::TellRefusedPattern(const std::string& expression, const std::string& problem, bool byHighlight)
{
    TellSearchFailure(IncorrectExpressionText(problem), FailureKey(expression, "refused", problem), byHighlight);
}

void TabBase::TellUnusableFindHighlight()
{
    if (Table->SearchMode() == SEARCH_MODE_NONE) {
        if (FindCombo && !FindCombo->currentText().trimmed().isEmpty())
            ReportIncorrectExpression();
        return;
    }
    KxSearchExpression* live = Table->SearchExpression();
    if (!live || CurFixedHighlight >= 0 || live->patternProblem.empty())
        return;
    // The rows of this round need not tell it again.
    live->patternProblemTold = true;
    TellRefusedPattern(live->text, live->patternProblem, false);
}

void TabBase::ReportMatchLimit(const std::string& expression, const std::string& pattern, int32_t row,
                               bool byHighlight)
{
    const QString text = QStringLiteral("pattern \"%1\" exceeded its match limit at row %2; results are incomplete")
                             .arg(FromBytes(pattern))
                             .arg(row + 1);
    TellSearchFailure(text, FailureKey(expression, "limit", pattern), byHighlight);
}

void TabBase::ReportEvalError(const std::string& expression, const std::string& error, int32_t row, bool byHighlight)
{
    const QString text =
        QStringLiteral("search expression failed at row %1: %2; rows where it fails are searched for its text")
            .arg(row + 1)
            .arg(FromBytes(error));
    TellSearchFailure(text, FailureKey(expression, "eval", error), byHighlight);
}

bool TabBase::HighlightMatches(KxSearchExpression& expression, int32_t row, KxdRecord* record)
{
    // Refused as the commands refuse it, rather than highlighting what the
    // lenient reading happens to match.
    if (!expression.patternProblem.empty()) {
        if (!expression.patternProblemTold) {
            expression.patternProblemTold = true;
            const std::string text = expression.text;
            const std::string problem = expression.patternProblem;
            QMetaObject::invokeMethod(
                this, [this, text, problem] { TellRefusedPattern(text, problem, true); }, Qt::QueuedConnection);
        }
        return false;
    }
    const bool exhausted = expression.matchLimitExceeded;
    const bool failed = !expression.evalError.empty();
    const bool matched = expression.Match(record);
    // The pattern sits out the rest of the expression's round, and a
    // failure is kept for the round: each told once.
    if (!exhausted && expression.matchLimitExceeded) {
        const std::string text = expression.text;
        const std::string pattern = expression.limitPattern;
        QMetaObject::invokeMethod(
            this, [this, text, pattern, row] { ReportMatchLimit(text, pattern, row, true); }, Qt::QueuedConnection);
    }
    if (!failed && !expression.evalError.empty()) {
        const std::string text = expression.text;
        const std::string error = expression.evalError;
        QMetaObject::invokeMethod(
            this, [this, text, error, row] { ReportEvalError(text, error, row, true); }, Qt::QueuedConnection);
    }
    return matched;
}

void TabBase::ReportSearchLimit()
{
    const KxSearchExpression* expression = Table->SearchExpression();
    if (!expression)
        return;
    // What the expression ran without: a warning, once a command.
    if (!expression->skipped.empty())
        KxvShell().AddToSystemLog(QStringLiteral("Search expression: ") +
                                  FromBytes(expression->skipped).replace(QLatin1Char('\n'), QStringLiteral("; ")));
    if (Table->SearchErrorRow() >= 0)
        ReportEvalError(expression->text, expression->evalError, Table->SearchErrorRow());
    if (Table->SearchLimitRow() >= 0)
        ReportMatchLimit(expression->text, expression->limitPattern, Table->SearchLimitRow());
}

void TabBase::StartHighlightRound()
{
    if (KxSearchExpression* live = Table->SearchExpression())
        live->StartRound();
    for (FixedHighlight* highlight : FixedHighlights)
        if (highlight->expression)
            highlight->expression->StartRound();
    toldSearchFailure_.clear();
}

int32_t TabBase::SearchStep(bool forward)
{
    const int32_t row = forward ? Table->SearchNext() : Table->SearchPrev();
    if (row < 0) {
        KxvShell().ShowStatus(QStringLiteral("Not found"), true);
    } else {
        KxvShell().ShowStatus(QStringLiteral("Found row #%1").arg(row + 1));
        SetCurrentPosition(row);
    }
    ReportSearchLimit();
    return row;
}

void TabBase::FindStep(bool forward, bool shiftSelects)
{
    const int32_t from = Table->CurRow();
    if (!CommitFindText())
        return;
    const int32_t row = SearchStep(forward);
    if (row < 0 || from < 0 || !shiftSelects || !(QGuiApplication::keyboardModifiers() & Qt::ShiftModifier))
        return;
    // The rows passed over, up to the match itself.
    if (forward)
        SelRangeSet(from, row - 1, true, 0);
    else
        SelRangeSet(row + 1, from, true, 0);
}

void TabBase::FindNext()
{
    FindStep(true, true);
}

void TabBase::FindBack()
{
    // A direct call (a script, the History) never selects.
    FindStep(false, sender() != nullptr);
}

void TabBase::SearchNext()
{
    SearchStep(true);
}

void TabBase::SearchBack()
{
    SearchStep(false);
}

void TabBase::FindTextEdited(const QString& text)
{
    if (FindCombo && FindCombo->currentText().isEmpty())
        SetChecked(Actions[TACT_MATCH_CASE], Prefs.SearchMatchCase != 0);
    SearchMode = SEARCH_MODE_AUTO;
    ApplySearchExpression(text, MatchCase, &SearchMode);
    if (LineEdit* line = FindLineOf(FindCombo)) {
        line->setModified(false);
        // Typing applies the text to the table: its pinned colour shows again.
        line->CursorMoved = 0;
    }
    FindTextPending = true;
}

void TabBase::EditingFindFinished()
{
    if (FindCombo)
        SetSearchExpression(FindCombo->currentText(), MatchCase, SearchMode);
}

void TabBase::FindCursorPositionChanged(int, int)
{
    LineEdit* line = FindLineOf(FindCombo);
    // Typing moves the cursor too; only a move over the painted text counts.
    if (line && line->text() == LineEdit::LastPaintedText)
        line->CursorMoved = 1;
}

void TabBase::SearchHistoryCurIndexChanged(int index)
{
    if (LineEdit* line = FindLineOf(FindCombo))
        line->CursorMoved = 0;
    if (!FindCombo)
        return;
    // The mode and match case of the entry the list shows.
    const QString text = index >= 0 && index < FindCombo->count() ? FindCombo->itemText(index)
                                                                   : FindCombo->currentText();
    uint32_t mode = SEARCH_MODE_AUTO;
    uint8_t matchCase = Prefs.SearchMatchCase;
    const auto found = text.isEmpty() ? PrefGlobal::SearchHistory.end() : HistoryEntryOf(text);
    if (found != PrefGlobal::SearchHistory.end()) {
        mode = uint32_t(found->mode);
        matchCase = found->matchCase ? 1 : 0;
    }
    SetChecked(Actions[TACT_MATCH_CASE], matchCase != 0);
    ApplySearchExpression(text, matchCase, &mode);
    ColorFindEntries();
}

void TabBase::DeleteInQuickSearch()
{
    if (!FindCombo)
        return;
    const QModelIndex highlighted = FindCombo->view()->currentIndex();
    const int index = highlighted.isValid() ? highlighted.row() : FindCombo->currentIndex();
    if (index < 0 || index >= FindCombo->count())
        return;
    // The entry the list shows, wherever it stands in the history.
    const auto found = HistoryEntryOf(FindCombo->itemText(index));
    if (found != PrefGlobal::SearchHistory.end())
        PrefGlobal::SearchHistory.erase(found);
    FindCombo->removeItem(index);
    SyncFindCombos();
}

void TabBase::FindListBox_context_menu(QPoint)
{
    QAction* remove = Actions[TACT_DELETE_IN_HISTORY];
    if (!remove)
        return;
    // No child of the tab, which a close in the menu's turn deletes.
    QMenu menu;
    menu.addAction(remove);
    menu.exec(QCursor::pos());
}

void TabBase::PrefMatchCase()
{
    QAction* action = Actions[TACT_MATCH_CASE];
    const uint8_t on = action && action->isChecked() ? 1 : 0;
    Prefs.SearchMatchCase = on;
    if (FindCombo && !FindCombo->currentText().isEmpty()) {
        MatchCase = on;
        SetSearchExpression(FindCombo->currentText(), MatchCase, SearchMode);
    }
}

void TabBase::ColorFindEntries()
{
    CurFixedHighlight = -1;
    if (!FindCombo)
        return;
    QPalette palette = FindCombo->palette();
    palette.setColor(QPalette::Base, Qt::white);
    FindCombo->setPalette(palette);
    const int current = FindCombo->currentIndex();
    for (int i = 0; i < FindCombo->count(); ++i) {
        QColor color(Qt::white);
        const QString text = FindCombo->itemText(i);
        for (int k = 0; k < FixedHighlights.size(); ++k) {
            if (FixedHighlights[k]->text == text) {
                color = FixedHighlights[k]->color;
                if (i == current)
                    CurFixedHighlight = k;
                break;
            }
        }
        FindCombo->setItemData(i, QBrush(color), Qt::BackgroundRole);
    }
}

void TabBase::SyncFindCombos()
{
    TearOffMain* main = TearOffMain::Me;
    if (!main)
        return;
    for (TearOffTabDock* dock : main->Docks) {
        auto* other = qobject_cast<TabBase*>(dock);
        if (!other || other == this || !other->FindCombo)
            continue;
        QComboBox* combo = other->FindCombo;
        const QString text = combo->currentText();
        const QSignalBlocker blocker(combo);
        FillFromHistory(combo);
        const int found = combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (found >= 0) {
            combo->setCurrentIndex(found);
        } else {
            // The other tab keeps showing the text its table searches for.
            combo->setCurrentIndex(-1);
            combo->setEditText(text);
        }
    }
}

void TabBase::Go1StepBack()
{
    const int32_t row = Table->CurRow();
    if (row > 0)
        SetCurrentPosition(row - 1);
}

void TabBase::Go1StepForward()
{
    const int32_t row = Table->CurRow();
    if (row < Table->RowCount() - 1)
        SetCurrentPosition(row + 1);
}

void TabBase::GoToTextEdited(const QString& text)
{
    const int32_t rows = Table->RowCount();
    if (text.isEmpty() || rows <= 0)
        return;
    // The validator lets through intermediate text beyond the last row.
    const int32_t number = text.toInt();
    SetCurrentPosition(std::min(std::max(number, 1), rows) - 1);
}

void TabBase::OpenFindDialog(QString str)
{
    TearOffMain* main = TearOffMain::Me;
    if (!main)
        return;
    main->SetTabActive(this, false);
    FindDialog* dialog = FindDialog::Instance();
    if (str.isEmpty())
        dialog->InitFromCurrentTab();
    else
        dialog->Preset(str, MatchCase);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

void TabBase::FindInHistory()
{
    SetSearchExpression(HistoryExpression, HistoryMatchCase, HistoryMode);
    OpenFindDialog(QString());
}
