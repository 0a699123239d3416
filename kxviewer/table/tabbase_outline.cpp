// The Outline pane of a document: the records that stand out, one line each.
#include <algorithm>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDockWidget>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QShortcut>

#include "kxlib/table/kxtable.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/shellservices.h"
#include "kxviewer/table/clearoutlinedialog.h"
#include "kxviewer/table/finddialog.h"
#include "kxviewer/table/guihelpers.h"
#include "kxviewer/table/historyactions.h"
#include "kxviewer/table/outlinedelegate.h"
#include "kxviewer/table/outlineroles.h"
#include "kxviewer/table/outlineview.h"
#include "kxviewer/table/panestyles.h"
#include "kxviewer/table/tabactionids.h"
#include "kxviewer/table/tabbase.h"
#include "tearoffwidget/tearoffmain.h"
#include "tearoffwidget/tearoffprompt.h"
#include "utils/common/kxexcept.h"

namespace {
constexpr int OUTLINE_MIN_DIGITS = 5;
constexpr int OUTLINE_NUMBER_PADDING = 24;
constexpr int OUTLINE_TEXT_WIDTH = 182;
} // namespace

void TabBase::CreateOutlinePane()
{
    OutlineDock = new QDockWidget(QStringLiteral("Outline"), this);
    OutlineDock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
    OutlineDock->setStyleSheet(QString::fromLatin1(PaneDockStyle));
    OutlineTable = new OutlineView(OutlineDock);
    OutlineTable->setFont(PrefGlobal::Fonts[FONT_SIDE_PANELS]);
    OutlineTable->setShowGrid(false);
    OutlineTable->horizontalHeader()->hide();
    OutlineTable->verticalHeader()->hide();
    OutlineTable->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    OutlineTable->verticalHeader()->setMinimumSectionSize(PaneRowHeight());
    OutlineTable->verticalHeader()->setDefaultSectionSize(PaneRowHeight());
    OutlineTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    OutlineTable->setSelectionMode(QAbstractItemView::ExtendedSelection);
    OutlineTable->setItemDelegate(new OutlineDelegate(this));
    OutlineTable->SetRowText([this](int32_t row) {
        return row >= 0 && row < Table->RowCount() ? QString::fromLocal8Bit(Table->GetRecord(row)->Text(FIELD_TEXT))
                                                    : QString();
    });
    OutlineDock->setWidget(OutlineTable);

    const int digits = std::max(OUTLINE_MIN_DIGITS, int(QString::number(Table->RowCount()).size()));
    OutlineTable->setColumnWidth(0, CharactersWidth(OutlineTable->font(), digits) + OUTLINE_NUMBER_PADDING);
    OutlineTable->setColumnWidth(1, OUTLINE_TEXT_WIDTH);
    OutlineTable->horizontalHeader()->setStretchLastSection(true);
    OutlineTable->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(OutlineTable, &QWidget::customContextMenuRequested, this, &TabBase::OutlineTablesCustomMenuRequested);
    connect(OutlineTable, &QAbstractItemView::clicked, this, &TabBase::onOutlineClicked);
    connect(OutlineTable, &QAbstractItemView::activated, this, &TabBase::onOutlineClicked);
    auto* erase = new QShortcut(QKeySequence(Qt::Key_Delete), OutlineTable, nullptr, nullptr, Qt::WidgetShortcut);
    connect(erase, &QShortcut::activated, this, &TabBase::OutlineDeleteOnShortcut);
}

namespace {
// Actions of the Outline's context menu.
constexpr int ACT_NEW_RANGE_COLOR = 92;
constexpr int ACT_RANGES_TO_TXT = 93;
constexpr int ACT_RANGES_TO_RTF = 94;
constexpr int ACT_COMPARE_RANGES = 95;
constexpr int ACT_DELETE_OUTLINE = 96;

constexpr int NUMBER_FONT_PIXELS = 9;

// What the last Outline command collected: 0 only ranges, 1 only
// bookmarks, 2 both. delete_outline reads it when run from the menu.
enum DeleteMode : int32_t { DELETE_RANGES, DELETE_BOOKMARKS, DELETE_BOTH };
DeleteMode OutlineDeleteMode = DELETE_RANGES;

// The chosen lines (the current one when none is selected) into the tab's
// two lists; a line of a selection range stands for the whole range.
void CollectLines(TabBase& tab)
{
    tab.OutlineEntries.clear();
    tab.OutlineRanges.clear();
    const OutlineView* table = tab.OutlineTable;
    std::vector<int> lines = table->SelectedLines();
    if (lines.empty() && table->CurrentLine() >= 0)
        lines.push_back(table->CurrentLine());
    for (int line : lines) {
        const OutlineLine& shown = table->Line(line);
        const TabBase::OutlineEntry entry{shown.row, shown.last, line, shown.flags};
        tab.OutlineEntries.push_back(entry);
        if (!(entry.flags & OUTLINE_SELECTION_RANGE) || entry.first < 0 || entry.first >= tab.Table->RowCount())
            continue;
        const SelRange* range = tab.Table->GetRecord(entry.first)->selRange;
        if (!range)
            continue;
        const int32_t last = range->first + range->count - 1;
        const bool listed = std::any_of(tab.OutlineRanges.begin(), tab.OutlineRanges.end(),
                                        [range](const TabBase::OutlineEntry& each) { return each.first == range->first; });
        if (!listed)
            tab.OutlineRanges.push_back({range->first, last, line, entry.flags});
    }
}

// Collects the chosen lines and sets the deletion mode from what they
// hold; false when they hold no range and no bookmark.
bool ChooseForDelete(TabBase& tab, bool* ranges)
{
    if (!tab.OutlineTable || tab.OutlineTable->LineCount() == 0)
        return false;
    CollectLines(tab);
    const auto holds = [&tab](int32_t flag) {
        return std::any_of(tab.OutlineEntries.begin(), tab.OutlineEntries.end(),
                           [flag](const TabBase::OutlineEntry& entry) { return (entry.flags & flag) != 0; });
    };
    const bool range = holds(OUTLINE_SELECTION_RANGE);
    const bool bookmark = holds(OUTLINE_BOOKMARK);
    if (ranges)
        *ranges = range;
    if (!range && !bookmark)
        return false;
    OutlineDeleteMode = !bookmark ? DELETE_RANGES : !range ? DELETE_BOOKMARKS : DELETE_BOTH;
    return true;
}

bool Ask(const QString& text)
{
    return TearOffMain::Prompt().Question(TearOffMain::Me, QStringLiteral("Question"), text,
                                          QMessageBox::Yes | QMessageBox::No,
                                          QMessageBox::Yes) == QMessageBox::Yes;
}

void AddAction(QMenu& menu, QAction* action)
{
    if (action)
        menu.addAction(action);
}
} // namespace

uint8_t TabBase::ImmediateRefresh = 1;

int32_t TabBase::RefreshOutlineTable() { return ShowOutlineLines(MakeOutlineLines()); }

bool TabBase::OutlineRefreshes() const { return OutlineTable && ImmediateRefresh; }

std::vector<OutlineLine> TabBase::MakeOutlineLines(const OutlineBuilder::Progress& progress)
{
    if (!OutlineRefreshes())
        return {};
    std::vector<OutlineBuilder::Phrase> phrases;
    for (const FixedHighlight* pinned : FixedHighlights)
        if (pinned->expression)
            phrases.push_back({pinned->expression, pinned->color});
    return OutlineLines.Build(*Table, Prefs.outline, phrases,
                              [this](KxSearchExpression& expression, int32_t row, KxdRecord* record) {
                                  return HighlightMatches(expression, row, record);
                              },
                              progress);
}

int32_t TabBase::ShowOutlineLines(std::vector<OutlineLine> lines)
{
    if (!OutlineRefreshes())
        return 0;
    // The dialog may stand open without focus, so no activation brings it
    // up to date.
    if (FindDialog* find = FindDialog::Existing())
        find->SetColorIcons(nullptr);
    LastNumSelected = Table->NumSelected;
    LastNumBookmarks = Table->Bookmarks().Length();
    QFont numberFont = PrefGlobal::Fonts[FONT_TABLE_VIEW];
    numberFont.setPixelSize(NUMBER_FONT_PIXELS);
    OutlineTable->SetNumberFont(numberFont);
    const int32_t highlighted = int32_t(std::count_if(
        lines.begin(), lines.end(), [](const OutlineLine& line) { return (line.flags & OUTLINE_HIGHLIGHT) != 0; }));
    const QString header = QStringLiteral("Outline %1 rows %2").arg(Table->NumSelected).arg(lines.size());
    {
        const QSignalBlocker blocker(OutlineTable);
        OutlineTable->SetLines(std::move(lines), header);
    }
    BuildCopyMenu();
    return highlighted;
}

// The go-to line shows the current row, counted from 1; the Outline follows
// unless the user is moving in it.
void TabBase::UpdateCurrentPosition()
{
    const int32_t current = Table->CurRow();
    if (GoToEdit && current >= 0)
        GoToEdit->setText(QString::number(current + 1));
    if (OutlineTable && !OutlineTable->hasFocus()) {
        int32_t wanted = current;
        if (current >= 0 && current < Table->RowCount()) {
            const KxdRecord* record = Table->GetRecord(current);
            if (record->selRange && !record->bookmark)
                wanted = record->selRange->first;
        }
        const int line = OutlineTable->FindLine(wanted);
        const QSignalBlocker blocker(OutlineTable);
        if (line >= 0)
            OutlineTable->SetCurrentLine(line);
        else
            OutlineTable->clearSelection();
    }
    if (TearOffMain::CurrentDock == this)
        SyncGraphToCurrent();
}

void TabBase::onOutlineClicked(const QModelIndex& index)
{
    if (index.isValid() && OutlineTable && index.row() < OutlineTable->LineCount())
        SetCurrentPosition(OutlineTable->Line(index.row()).row);
}

void TabBase::OutlineAllNone()
{
    auto* box = qobject_cast<QCheckBox*>(sender());
    if (!box)
        return;
    for (int32_t i = 0; i < JUMP_Nums; ++i) {
        if (!OutlineActions[i] || !OutlineActions[i]->isEnabled())
            continue;
        const Qt::CheckState state = box->checkState();
        SetOutlineCondition(i, state == Qt::PartiallyChecked ? PrefTabTable::Default().outline[i] != 0
                                                             : state == Qt::Checked);
    }
    RefreshOutlineTable();
}

void TabBase::OutlineCopyAll()
{
    if (!OutlineTable)
        return;
    QString text;
    for (const OutlineLine& line : OutlineTable->Lines()) {
        const int32_t flags = line.flags;
        if (!(flags & (OUTLINE_DATA_WARNING | OUTLINE_DATA_ERROR)))
            continue;
        const QString lineText = OutlineTable->Text(line);
        text += QStringLiteral("%1: ").arg(QLatin1String((flags & OUTLINE_DATA_WARNING) ? "WARNING" : "ERROR"), -7);
        text += lineText;
        if (!lineText.endsWith(QLatin1Char('\n')))
            text += QLatin1Char('\n');
    }
    QApplication::clipboard()->setText(text);
}

void TabBase::OutlineDeleteOnShortcut()
{
    if (ChooseForDelete(*this, nullptr))
        delete_outline();
}

void TabBase::OutlineTablesCustomMenuRequested(QPoint pos)
{
    bool ranges = false;
    if (!ChooseForDelete(*this, &ranges))
        return;
    // No child of the tab, which a close in the menu's turn deletes.
    QMenu menu;
    AddAction(menu, Actions[ACT_DELETE_OUTLINE]);
    if (ranges) {
        AddAction(menu, Actions[ACT_RANGES_TO_TXT]);
        AddAction(menu, Actions[ACT_RANGES_TO_RTF]);
        menu.addSeparator();
        AddAction(menu, Actions[ACT_NEW_RANGE_COLOR]);
    }
    if (OutlineRanges.size() == 2) {
        menu.addSeparator();
        AddAction(menu, Actions[ACT_COMPARE_RANGES]);
    }
    menu.exec(OutlineTable->viewport()->mapToGlobal(pos));
}

void TabBase::delete_outline()
{
    if (!OutlineTable)
        return;
    if (OutlineDeleteMode == DELETE_BOTH) {
        ClearOutlineDialog dialog(*this, TearOffMain::Me);
        TearOffMain::Prompt().Exec(&dialog);
        return;
    }
    delete_outline_multiply(OutlineDeleteMode == DELETE_RANGES, OutlineDeleteMode == DELETE_BOOKMARKS);
}

void TabBase::delete_outline_multiply(bool select_clear, bool bookmark_clear)
{
    if (!OutlineTable)
        return;
    const int line = OutlineTable->CurrentLine();
    // Copies: the commands below refill nothing, but record History.
    const std::vector<OutlineEntry> ranges = OutlineRanges;
    const std::vector<OutlineEntry> entries = OutlineEntries;
    if (select_clear)
        for (const OutlineEntry& range : ranges)
            SelRangeSet(range.first, range.last, false, 0);
    if (bookmark_clear)
        for (const OutlineEntry& entry : entries)
            if (entry.flags & OUTLINE_BOOKMARK)
                BookmarkSet(entry.first, false);
    UpdateInformer();
    RefreshOutlineTable();
    UpdateBase();
    const int lines = OutlineTable->LineCount();
    if (lines > 0)
        OutlineTable->selectRow(std::min(std::max(line, 0), lines - 1));
}

void TabBase::SetFilterByOutline()
{
    if (!OutlineTable || OutlineTable->LineCount() == 0) {
        KxvShell().ShowStatus(QStringLiteral("Outline is empty: filter is not set"), true);
        return;
    }
    if (!GraphAllows("set filter"))
        return;
    const Hold hold(this);
    if (Table->FilterOn) {
        if (!Ask(QStringLiteral("Remove previous filter")) || hold.Gone())
            return;
        // Whatever set the filter (an expression, the selection, the
        // Outline): it goes, and the Outline is rebuilt over all rows.
        if (QAction* filter = Actions[TACT_FILTER])
            filter->setChecked(false);
        try {
            Table->ClearFilter();
        } catch (const ZmLib::KxExcept& fault) {
            KxvShell().AddToSystemLog(QString::fromLocal8Bit(fault.text ? fault.text : ""));
            KxvShell().ShowStatus(QStringLiteral("Filter is not removed"), true);
            return;
        }
        AddHistoryItem(HISTORY_CLEAR_FILTER, nullptr, 0, 0, 0);
        if (!TableChanged())
            return;
    }
    if (!Prefs.outline[JUMP_SELECTIONS] && Table->NumSelected) {
        if (!Ask(QStringLiteral("Setting filter removes selections. Set filter?")) || hold.Gone())
            return;
        Table->ClearSelections();
    }
    ManualFilterSelected();
}
