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
#include <QTableWidget>

#include "kxlib/table/kxtable.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/shellservices.h"
#include "kxviewer/table/clearoutlinedialog.h"
#include "kxviewer/table/guihelpers.h"
#include "kxviewer/table/historyactions.h"
#include "kxviewer/table/outlinedelegate.h"
#include "kxviewer/table/outlineroles.h"
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
    OutlineTable = new QTableWidget(0, 2, OutlineDock);
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
    OutlineDock->setWidget(OutlineTable);
    RefreshOutlineTable();

    const int digits = std::max(OUTLINE_MIN_DIGITS, int(QString::number(Table->RowCount()).size()));
    OutlineTable->setColumnWidth(0, CharactersWidth(OutlineTable->font(), digits) + OUTLINE_NUMBER_PADDING);
    OutlineTable->setColumnWidth(1, OUTLINE_TEXT_WIDTH);
    OutlineTable->horizontalHeader()->setStretchLastSection(true);
    OutlineTable->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(OutlineTable, &QTableWidget::customContextMenuRequested, this, &TabBase::OutlineTablesCustomMenuRequested);
    connect(OutlineTable, &QTableWidget::itemClicked, this, &TabBase::onOutlineClicked);
    connect(OutlineTable, &QTableWidget::itemActivated, this, &TabBase::onOutlineClicked);
    auto* erase = new QShortcut(QKeySequence(Qt::Key_Delete), OutlineTable, nullptr, nullptr, Qt::WidgetShortcut);
    connect(erase, &QShortcut::activated, this, &TabBase::OutlineDeleteOnShortcut);
    OutlineTable->setCurrentCell(0, 0);
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

QTableWidgetItem* NumberItem(const OutlineLine& line, const QFont& font)
{
    auto* item = new QTableWidgetItem(QString::number(line.row + 1));
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    item->setFont(font);
    item->setData(OUTLINE_ROLE_FLAGS, line.flags);
    item->setData(OUTLINE_ROLE_SEVERITY, line.severity);
    return item;
}

QTableWidgetItem* TextItem(const OutlineLine& line)
{
    auto* item = new QTableWidgetItem(line.text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    item->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    if (line.color.isValid())
        item->setBackground(line.color);
    item->setData(OUTLINE_ROLE_ROW, line.row);
    item->setData(OUTLINE_ROLE_LAST_ROW, line.last);
    item->setData(OUTLINE_ROLE_FLAGS, line.flags);
    if (line.flags & OUTLINE_HIGHLIGHT) {
        item->setData(OUTLINE_ROLE_HIGHLIGHT_START, line.highlightStart);
        item->setData(OUTLINE_ROLE_HIGHLIGHT_END, line.highlightEnd);
        item->setData(OUTLINE_ROLE_HIGHLIGHT_COLOR, line.highlightColor);
    }
    if (line.flags & OUTLINE_SECOND_HIGHLIGHT) {
        item->setData(OUTLINE_ROLE_MORE_START, line.moreStart);
        item->setData(OUTLINE_ROLE_MORE_END, line.moreEnd);
        item->setData(OUTLINE_ROLE_MORE_COLOR, line.moreColor);
    }
    return item;
}

int32_t LineData(const QTableWidget* table, int line, int role)
{
    const QTableWidgetItem* item = table->item(line, 1);
    return item ? item->data(role).toInt() : -1;
}

// The first line whose record row is row; -1 when none. Lines come in row
// order.
int FindLine(const QTableWidget* table, int32_t row)
{
    int low = 0;
    int high = table->rowCount();
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (LineData(table, middle, OUTLINE_ROLE_ROW) < row)
            low = middle + 1;
        else
            high = middle;
    }
    return low < table->rowCount() && LineData(table, low, OUTLINE_ROLE_ROW) == row ? low : -1;
}

// The chosen lines (the current one when none is selected) into the tab's
// two lists; a line of a selection range stands for the whole range.
void CollectLines(TabBase& tab)
{
    tab.OutlineEntries.clear();
    tab.OutlineRanges.clear();
    QTableWidget* table = tab.OutlineTable;
    std::vector<int> lines;
    for (const QModelIndex& index : table->selectionModel()->selectedRows())
        lines.push_back(index.row());
    if (lines.empty() && table->currentRow() >= 0)
        lines.push_back(table->currentRow());
    std::sort(lines.begin(), lines.end());
    for (int line : lines) {
        const TabBase::OutlineEntry entry{LineData(table, line, OUTLINE_ROLE_ROW),
                                          LineData(table, line, OUTLINE_ROLE_LAST_ROW), line,
                                          LineData(table, line, OUTLINE_ROLE_FLAGS)};
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
    if (!tab.OutlineTable || tab.OutlineTable->rowCount() == 0)
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

int32_t TabBase::RefreshOutlineTable()
{
    if (!OutlineTable || !ImmediateRefresh)
        return 0;
    LastNumSelected = Table->NumSelected;
    LastNumBookmarks = Table->Bookmarks().Length();
    std::vector<OutlineBuilder::Phrase> phrases;
    for (const FixedHighlight* pinned : FixedHighlights)
        if (pinned->expression)
            phrases.push_back({pinned->expression, pinned->color});
    const std::vector<OutlineLine> lines =
        OutlineLines.Build(*Table, Prefs.outline, phrases, [this](KxSearchExpression& expression, int32_t row, KxdRecord* record) {
            return HighlightMatches(expression, row, record);
        });

    const QSignalBlocker blocker(OutlineTable);
    OutlineTable->setRowCount(0);
    OutlineTable->setRowCount(int(lines.size()));
    QFont numberFont = PrefGlobal::Fonts[FONT_TABLE_VIEW];
    numberFont.setPixelSize(NUMBER_FONT_PIXELS);
    int32_t highlighted = 0;
    {
        // The view hears of the new items once, not item by item.
        QAbstractItemModel* model = OutlineTable->model();
        const QSignalBlocker modelBlocker(model);
        for (size_t i = 0; i < lines.size(); ++i) {
            OutlineTable->setItem(int(i), 0, NumberItem(lines[i], numberFont));
            OutlineTable->setItem(int(i), 1, TextItem(lines[i]));
            highlighted += (lines[i].flags & OUTLINE_HIGHLIGHT) ? 1 : 0;
        }
    }
    if (!lines.empty())
        emit OutlineTable->model()->dataChanged(OutlineTable->model()->index(0, 0),
                                                OutlineTable->model()->index(int(lines.size()) - 1, 1));
    OutlineTable->setHorizontalHeaderItem(
        1, new QTableWidgetItem(QStringLiteral("Outline %1 rows %2").arg(Table->NumSelected).arg(lines.size())));
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
        const int line = FindLine(OutlineTable, wanted);
        const QSignalBlocker blocker(OutlineTable);
        if (line >= 0)
            OutlineTable->setCurrentCell(line, 0);
        else
            OutlineTable->clearSelection();
    }
    if (TearOffMain::CurrentDock == this)
        SyncGraphToCurrent();
}

void TabBase::onOutlineClicked(QTableWidgetItem* item)
{
    if (item && OutlineTable)
        SetCurrentPosition(LineData(OutlineTable, item->row(), OUTLINE_ROLE_ROW));
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
    for (int line = 0; line < OutlineTable->rowCount(); ++line) {
        const int32_t flags = LineData(OutlineTable, line, OUTLINE_ROLE_FLAGS);
        if (!(flags & (OUTLINE_DATA_WARNING | OUTLINE_DATA_ERROR)))
            continue;
        const QString lineText = OutlineTable->item(line, 1)->text();
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
    QMenu menu(this);
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
    const int line = OutlineTable->currentRow();
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
    const int lines = OutlineTable->rowCount();
    if (lines > 0)
        OutlineTable->selectRow(std::min(std::max(line, 0), lines - 1));
}

void TabBase::SetFilterByOutline()
{
    if (!OutlineTable || OutlineTable->rowCount() == 0) {
        KxvShell().ShowStatus(QStringLiteral("Outline is empty: filter is not set"), true);
        return;
    }
    if (!GraphAllows("set filter"))
        return;
    if (Table->FilterOn) {
        if (!Ask(QStringLiteral("Remove previous filter")))
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
        TableChanged();
    }
    if (!Prefs.outline[JUMP_SELECTIONS] && Table->NumSelected) {
        if (!Ask(QStringLiteral("Setting filter removes selections. Set filter?")))
            return;
        Table->ClearSelections();
    }
    ManualFilterSelected();
}
