#include "kxviewer/table/tabtable.h"

#include <algorithm>
#include <cmath>

#include <QAction>
#include <QFontMetrics>
#include <QHeaderView>
#include <QIntValidator>
#include <QLineEdit>
#include <QPointer>
#include <QSignalBlocker>
#include <QTimer>

#include "kxlib/kxdrecord.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/shellservices.h"
#include "kxviewer/table/columnwidths.h"
#include "kxviewer/table/dragheaderview.h"
#include "kxviewer/table/guihelpers.h"
#include "kxviewer/table/panedocks.h"
#include "kxviewer/table/scrollbar.h"
#include "kxviewer/table/tabtabledelegate.h"
#include "kxviewer/table/tabtablemodel.h"
#include "kxviewer/table/tabtableview.h"

namespace {
// The row header: digits at least and pixels for the marks.
constexpr int ROW_HEADER_MIN_DIGITS = 5;
constexpr int ROW_HEADER_MARKS = 60;
constexpr int GOTO_MIN_DIGITS = 3;
// Rows whose values a column's width fits, at least: about a screen.
constexpr int32_t MEASURED_ROWS = 60;

const char CornerStyle[] =
    "QTableCornerButton::section {border:1px outset rgba(200,200,200,220); background:rgb(250,250,250)}";

int DecimalDigits(int32_t value)
{
    int digits = 1;
    for (; value >= 10; value /= 10)
        ++digits;
    return digits;
}

// A glyph's descent ends on the row's last pixel: the cell text stands one
// pixel down.
int RowHeightFor(const QFont& cells, const QFont& numbers)
{
    return std::max(
        {TabTable::ROW_HEIGHT, QFontMetrics(cells).lineSpacing() + 1, QFontMetrics(numbers).lineSpacing() + 1});
}
} // namespace

TabTable::TabTable(KxTable* table, const PrefTabTable& prefs, QWidget* parent, OutlineFill outline)
    : TabBase(table, prefs, parent, outline)
{
}

TabTable::TabTable(const char* name, QWidget* parent) : TabBase(name, parent) {}

TabTable::~TabTable()
{
    DisconnectParts();
    // A graph never outlives the table tab it was made from. Its tab group
    // may be going too (the window closing): not through the framework.
    if (TabBase* graph = TakeGraph())
        graph->deleteLater();
    // The view and its model read the table, which the base releases.
    delete View;
    View = nullptr;
    delete Model;
    Model = nullptr;
}

void TabTable::Init(QTimer* idleTimer)
{
    idleTimer_ = idleTimer;
    View = new TabTableView(this);
    View->setObjectName(objectName().replace(QStringLiteral("LRTabBase"), QStringLiteral("TabView")));
    View->setSelectionMode(QAbstractItemView::NoSelection);
    View->setFont(PrefGlobal::Fonts[FONT_TABLE_VIEW]);
    Model = new TabTableModel(this, Table, this);
    View->setItemDelegate(new TabTableDelegate(Table, this, View));
    setCentralWidget(View);
    SetupView();
    if (idleTimer)
        connect(idleTimer, &QTimer::timeout, this, &TabTable::idleProcess);
    // The counters show the document's rows from the start, not only after
    // the first command that changes them.
    UpdateInformer();
}

void TabTable::SetupView()
{
    setMouseTracking(true);
    setWhatsThis(QStringLiteral("filedialog.html"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    View->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    View->setShowGrid(false);
    View->setSelectionBehavior(QAbstractItemView::SelectRows);
    View->setVerticalScrollBar(new ScrollBar(Table, Prefs, View));
    View->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    View->setStyleSheet(QString::fromLatin1(CornerStyle));

    auto* columns = new DragHeaderView(Qt::Horizontal, View);
    columns->setObjectName(QStringLiteral("LRHorizontalHeader"));
    columns->setSectionsMovable(false);
    columns->setHighlightSections(false);
    View->setHorizontalHeader(columns);

    // Size, mode and font are set before the header meets the model's rows:
    // changed afterwards, each would visit every row.
    auto* rows = new DragHeaderView(Qt::Vertical, View);
    rows->setObjectName(QStringLiteral("LRVerticalHeader"));
    // The line-number font as chosen (8 points unless the user changed it),
    // as the Preferences set it on the documents already open.
    rows->setFont(PrefGlobal::Fonts[FONT_LINE_NUMBERS]);
    rows->setDefaultSectionSize(RowHeightFor(View->font(), rows->font()));
    rows->setDefaultAlignment(Qt::AlignRight | Qt::AlignVCenter);
    rows->setSectionResizeMode(QHeaderView::Fixed);
    View->setVerticalHeader(rows);

    columns->setContextMenuPolicy(Qt::CustomContextMenu);
    rows->setContextMenuPolicy(Qt::CustomContextMenu);
    View->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(columns, &QWidget::customContextMenuRequested, this, &TabTable::customHorizontalMenu);
    connect(rows, &QWidget::customContextMenuRequested, this, &TabTable::customVerticalMenu);
    connect(View, &QWidget::customContextMenuRequested, this, &TabTable::customMenuRequested);

    // The rows meet the headers once everything that styles them is set.
    View->setModel(Model);
    UpdateRowNumberWidth();
    SetColumnWidths();
    if (Table->RowCount() > 0)
        SetCurrentPosition(std::max(0, Table->CurRow()));
    connect(columns, &QHeaderView::sectionResized, View, &TabTableView::updateSectionWidth);
    connect(View->selectionModel(), &QItemSelectionModel::currentChanged, View, &TabTableView::onCurrentChanged);
}

int TabTable::RowHeight() const
{
    return RowHeightFor(View->font(), View->verticalHeader()->font());
}

void TabTable::ApplyFonts()
{
    QHeaderView* rows = View->verticalHeader();
    const int height = RowHeight();
    if (rows->defaultSectionSize() != height) {
        // The header would signal a resize for every row.
        const QSignalBlocker quiet(rows);
        rows->setDefaultSectionSize(height);
    }
    UpdateRowNumberWidth();
    SetColumnWidths();
    View->doItemsLayout();
    View->RepaintAll();
}

int TabTable::WidestShownValue(int32_t field) const
{
    const int32_t rows = Table->RowCount();
    const int height = std::max(1, View->verticalHeader()->defaultSectionSize());
    const int32_t first = std::max(0, View->rowAt(0));
    // Before the view is laid out its viewport is small: measure a page.
    const int32_t shown = std::max(View->viewport()->height() / height + 2, MEASURED_ROWS);
    const QFontMetricsF metrics(View->font());
    qreal widest = 0;
    for (int32_t row = first; row < rows && row < first + shown; ++row)
        if (const KxdRecord* record = Table->FindRecord(row))
            widest = std::max(widest, metrics.horizontalAdvance(QString::fromLocal8Bit(record->Text(field))));
    return int(std::ceil(widest)) + 2 * TabTableDelegate::TEXT_MARGIN;
}

int TabTable::ColumnWidth(int c) const
{
    const int32_t field = Prefs.columns[c];
    int width = std::max(CharactersWidth(View->font(), ColumnChars(field, Table->TimeNormalised())), MIN_COLUMN_WIDTH);
    // The header centres its title in the whole section: the cells'
    // margins keep it off the grid lines.
    const QString title = Model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    const qreal titleWidth = QFontMetricsF(View->horizontalHeader()->font()).horizontalAdvance(title);
    width = std::max(width, int(std::ceil(titleWidth)) + 2 * TabTableDelegate::TEXT_MARGIN);
    // TEXT runs on past its column; the delegate cuts it at the edge.
    if (field >= 0 && field < FIELD_Nums && field != FIELD_TEXT)
        width = std::max(width, WidestShownValue(field));
    return width;
}

void TabTable::SetColumnWidths()
{
    for (int32_t c = 0; c < Prefs.columnCount && c < FIELD_Nums; ++c)
        View->setColumnWidth(c, ColumnWidth(c));
    RowHeaderColumn = 0;
}

void TabTable::UpdateTimeColumnWidth()
{
    for (int32_t c = 0; c < Prefs.columnCount && c < FIELD_Nums; ++c)
        if (Prefs.columns[c] == FIELD_TIME)
            View->setColumnWidth(c, ColumnWidth(c));
}

void TabTable::UpdateRowNumberWidth()
{
    const int digits = DecimalDigits(Table->RowCount());
    QHeaderView* rows = View->verticalHeader();
    const int shown = std::max(ROW_HEADER_MIN_DIGITS, digits);
    // Digits are wider than the average character: in a large font the
    // usual room beside the marks no longer holds them.
    rows->setFixedWidth(std::max(CharactersWidth(rows->font(), shown) + ROW_HEADER_MARKS,
                                 DragHeaderView::WidthForDigits(rows->font(), shown)));
    if (!GoToEdit)
        return;
    const QFontMetrics table(PrefGlobal::Fonts[FONT_TABLE_VIEW]);
    GoToEdit->setFixedWidth((std::max(GOTO_MIN_DIGITS, digits) + 1) * table.maxWidth());
    // The line keeps one validator, whose range follows the rows.
    auto* validator = qobject_cast<QIntValidator*>(const_cast<QValidator*>(GoToEdit->validator()));
    if (validator)
        validator->setRange(1, Table->RowCount());
    else
        GoToEdit->setValidator(new QIntValidator(1, Table->RowCount(), GoToEdit));
}

void TabTable::SetCurrentPosition(int row)
{
    const int32_t rows = Table->RowCount();
    if (row < 0 || rows == 0)
        return;
    row = std::min(row, rows - 1);
    View->selectRow(row);
    Table->SetCurRow(row);
    UpdateCurrentPosition();
    View->RepaintAll();
    const int at = BackList.indexOf(row);
    if (at >= 0)
        BackList.removeAt(at);
    else if (BackList.size() >= BACK_LIST_MAX)
        BackList.removeFirst();
    BackList.append(row);
}

void TabTable::JumpBack()
{
    if (BackList.isEmpty())
        return;
    BackList.removeLast();
    if (!BackList.isEmpty() && BackList.last() >= 0 && BackList.last() < Table->RowCount())
        SetCurrentPosition(BackList.last());
}

void TabTable::JumpToHome()
{
    if (Table->RowCount() > 0)
        SetCurrentPosition(0);
}

void TabTable::JumpToEnd()
{
    if (Table->RowCount() > 0)
        SetCurrentPosition(Table->RowCount() - 1);
}

void TabTable::ResetViewModel()
{
    TabTableModel* old = Model;
    QItemSelectionModel* oldSelection = View->selectionModel();
    Model = new TabTableModel(this, Table, this);
    View->setModel(Model);
    connect(View->selectionModel(), &QItemSelectionModel::currentChanged, View, &TabTableView::onCurrentChanged);
    // A new model has no current index: the view would make its first row
    // current when it next gets the focus, wherever it is scrolled.
    const int32_t current = std::min(Table->CurRow(), Table->RowCount() - 1);
    if (current >= 0)
        View->selectRow(current);
    // The view no longer refers to them; posted events may still.
    oldSelection->deleteLater();
    old->deleteLater();
    // The turn may close the tab (TabBase::TableChanged's rule): nothing of
    // it is touched once it is closed.
    const QPointer<TabBase> self(this);
    KxvShell().ProcessEvents();
    if (!StillOpen(self))
        return;
    SetColumnWidths();
    UpdateRowNumberWidth();
    if (current >= 0)
        View->scrollTo(Model->index(current, 0));
}

void TabTable::idleProcess()
{
    if (Table->NumSelected != LastNumSelected || Table->Bookmarks().Length() != LastNumBookmarks)
        RefreshOutlineTable();
    if (AuxTreeDock && Prefs.SyncToCurRow && Table->CurRow() != LastPanesRow)
        AuxTreeDock->SetPanesPosition();
}

int32_t TabTable::GetColorizeColorNum(const KxdRecord* record)
{
    const KxAuxNode1* node = Table->AuxTree().FindNode(record);
    if (node)
        return node->index;
    if (!colorizeWarned_) {
        colorizeWarned_ = true;
        KX_WARNING(KxvTearoffChannel, "TabTable::GetColorizeColorNum: no aux-tree node for a record of table %s",
                   Table->Name());
    }
    return -1;
}

void TabTable::SetTabDockFocus()
{
    View->setFocus();
}

void TabTable::UpdateBase()
{
    View->RepaintAll();
}

void TabTable::RefreshFromFindDialog(QWidget* focus)
{
    setFocus();
    if (!TableChanged())
        return;
    if (focus)
        focus->setFocus();
}
