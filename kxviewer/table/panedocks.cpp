#include "kxviewer/table/panedocks.h"

#include <algorithm>

#include <QAction>
#include <QHeaderView>
#include <QItemSelection>
#include <QLabel>
#include <QMenu>
#include <QSet>
#include <QTimer>
#include <QTreeView>

#include "kxlib/fields.h"
#include "kxlib/table/kxsearchexpr.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/shellservices.h"
#include "kxviewer/table/auxtreemodel.h"
#include "kxviewer/table/docktitlebar.h"
#include "kxviewer/table/guihelpers.h"
#include "kxviewer/table/historyactions.h"
#include "kxviewer/table/panestyles.h"
#include "kxviewer/table/tabactionids.h"
#include "kxviewer/table/tabbase.h"
#include "kxviewer/table/tabbindings.h"

namespace {
constexpr int ACT_QUICK_FILTER = 89;
constexpr int ACT_QUICK_SELECTION = 90;
constexpr int ACT_HIDE_ON_GRAPH = 101;
constexpr int ACT_REMOVE_FILTER = 102;
constexpr int ACT_REMOVE_SELECTION = 103;
constexpr int ACT_SHOW_ALL_ON_GRAPH = 104;
constexpr int ACT_CUSTOM_FIND = 86;
constexpr int ACT_COLLAPSE_ON_REDRAW = 98;

const char DockStyle[] = "QDockWidget::title{background:#fafafa; padding-left:5px; padding-top:2px}";

// First-level items expanded, or forgotten as expanded, at one turn of the
// event loop.
constexpr int EXPAND_SLICE = 50000;

// The pane's tree view. Its layout can be held back while many items are
// expanded: each is then only noted, and the rows are laid out once, when
// it is let go (laid out after every slice, the rows would cost more than
// the slices). Painted over a tree that changed behind the pane's back (by
// another tab of the same table), it has the pane show the tree afresh.
class PaneTreeView : public QTreeView {
public:
    explicit PaneTreeView(PaneDocks* pane) : QTreeView(pane), pane_(pane) {}

    // Held, the rows are laid out afresh once let go; meanwhile neither a
    // paint nor the view's own timer lays them out.
    void HoldLayout(bool hold)
    {
        if (hold)
            scheduleDelayedItemsLayout();
        if (hold == holding_)
            return;
        holding_ = hold;
        setUpdatesEnabled(!hold);
    }

protected:
    void timerEvent(QTimerEvent* event) override
    {
        if (!holding_)
            QTreeView::timerEvent(event);
    }
    void paintEvent(QPaintEvent* event) override
    {
        if (pane_->Model->Stale())
            QMetaObject::invokeMethod(pane_, &PaneDocks::Refresh, Qt::QueuedConnection);
        QTreeView::paintEvent(event);
    }

private:
    PaneDocks* pane_;
    bool holding_ = false;
};

QString FromBytes(const char* text)
{
    return QString::fromLocal8Bit(text);
}

void AddEnabled(QMenu& menu, QAction* action, bool enabled)
{
    if (!action)
        return;
    action->setEnabled(enabled);
    menu.addAction(action);
}

// A checkable remove command is ticked while there is something to remove;
// left alone its tick would stay from the last use.
void AddRemove(QMenu& menu, QAction* action, bool something)
{
    AddEnabled(menu, action, something);
    if (action)
        action->setChecked(something);
}
} // namespace

PaneDocks::PaneDocks(const QString& title, TabBase* tab)
    : QDockWidget(title, tab), Table(tab->Table), Tab(tab), Model(new AuxTreeModel(this)), Tree(new PaneTreeView(this)),
      expandTimer_(new QTimer(this))
{
    expandTimer_->setSingleShot(true);
    connect(expandTimer_, &QTimer::timeout, this, &PaneDocks::ExpandSlice);
    CreateActions(this, PaneDocksBindings, nullptr);
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
    setStyleSheet(QString::fromLatin1(DockStyle));
    Tree->setModel(Model);
    // Rows are laid out without asking each one for its size.
    Tree->setUniformRowHeights(true);
    Tree->setHeaderHidden(true);
    Tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    Tree->setFont(PrefGlobal::Fonts[FONT_SIDE_PANELS]);
    Tree->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Tree->setStyleSheet(QString::fromLatin1(PaneTreeStyle));
    Tree->header()->setStretchLastSection(true);
    Tree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Tree, &QTreeView::customContextMenuRequested, this, &PaneDocks::customMenuRequested);
    setWidget(Tree);
}

PaneDocks::~PaneDocks()
{
    DeleteActions();
}

void PaneDocks::BuildTree()
{
    const KxAuxTree& aux = Table->AuxTree();
    QString title = QStringLiteral("    Tree: ") + QString::fromLatin1(FieldTitle(aux.Level1()));
    if (aux.Level2() >= 0)
        title += QLatin1Char('/') + QString::fromLatin1(FieldTitle(aux.Level2()));
    if (auto* bar = qobject_cast<DockTitlebar*>(titleBarWidget()))
        bar->Title->setText(title);
    setWindowTitle(QStringLiteral("Outline"));

    StopExpanding();
    Model->Show(&aux);
    Tree->scrollToTop();
    // Fitted while every item is collapsed, as a freshly filled tree is.
    Tree->resizeColumnToContents(0);
    QAction* expand = Tab->Actions[ACT_COLLAPSE_ON_REDRAW];
    if (expand && expand->isChecked())
        ExpandAll();
    else
        CollapseAll();
}

void PaneDocks::ExpandAll()
{
    StopExpanding();
    expandFrom_ = 0;
    ExpandSlice();
}

void PaneDocks::ExpandSlice()
{
    auto* view = static_cast<PaneTreeView*>(Tree);
    // The rows are laid out at the next turn of the event loop (or when the
    // pane is first shown), not once per item.
    view->HoldLayout(true);
    const int end = std::min(expandFrom_ + EXPAND_SLICE, Model->rowCount());
    for (int node = expandFrom_; node < end; ++node)
        Tree->expand(Model->index(node, 0));
    expandFrom_ = end;
    if (end < Model->rowCount())
        expandTimer_->start(0);
    else
        view->HoldLayout(false);
}

void PaneDocks::StopExpanding()
{
    expandTimer_->stop();
    static_cast<PaneTreeView*>(Tree)->HoldLayout(false);
}

void PaneDocks::CollapseAll()
{
    StopExpanding();
    Tree->collapseAll();
}

void PaneDocks::Refresh()
{
    if (Model->Stale())
        BuildTree();
}

void PaneDocks::Clear(const std::function<void()>& turn)
{
    StopExpanding();
    auto* view = static_cast<PaneTreeView*>(Tree);
    // With the layout held back, collapsing an item only forgets it.
    view->HoldLayout(true);
    const int count = Model->rowCount();
    for (int from = 0; from < count; from += EXPAND_SLICE) {
        const int end = std::min(from + EXPAND_SLICE, count);
        for (int node = from; node < end; ++node)
            Tree->collapse(Model->index(node, 0));
        turn();
    }
    Model->Show(nullptr);
    view->HoldLayout(false);
}

QString PaneDocks::SelectionExpression(const QModelIndexList& items)
{
    QString expression;
    for (const QModelIndex& item : items) {
        const QString one = Tab->AuxItemExpression(item);
        if (one.isEmpty())
            return QString();
        if (!expression.isEmpty())
            expression += QLatin1String(" || ");
        expression += one;
    }
    // A cut expression would match other values than the chosen ones.
    return TabBase::FitsSearchExpression(expression) ? expression : QString();
}

QModelIndexList PaneDocks::SelectedItems() const
{
    QModelIndexList items;
    QSet<QPair<int32_t, int32_t>> seen;
    for (const QModelIndex& index : Tree->selectionModel()->selectedIndexes()) {
        const std::pair<int32_t, int32_t> place = AuxTreeModel::Place(index);
        if (!seen.contains(qMakePair(place.first, place.second))) {
            seen.insert(qMakePair(place.first, place.second));
            items.append(index.siblingAtColumn(0));
        }
    }
    return items;
}

QModelIndexList PaneDocks::ChosenItems() const
{
    QModelIndexList items = SelectedItems();
    if (items.isEmpty() && Tree->currentIndex().isValid())
        items.append(Tree->currentIndex().siblingAtColumn(0));
    return items;
}

void PaneDocks::SelectItems(const std::function<bool(int32_t node, int32_t child)>& chosen)
{
    QItemSelection selection;
    // The chosen rows below parent (below the root: the childless
    // first-level items), neighbours as one range; whether there were any.
    auto select = [this, &chosen, &selection](const QModelIndex& parent) {
        const int32_t node = parent.row();
        const int count = Model->rowCount(parent);
        bool any = false;
        int first = -1;
        for (int row = 0; row <= count; ++row) {
            const bool on = row < count && (parent.isValid() ? chosen(node, row)
                                                             : !Model->hasChildren(Model->index(row, 0)) && chosen(row, -1));
            if (on && first < 0)
                first = row;
            if (!on && first >= 0) {
                selection.append(QItemSelectionRange(Model->index(first, 0, parent), Model->index(row - 1, 1, parent)));
                first = -1;
                any = true;
            }
        }
        return any;
    };
    select(QModelIndex());
    QModelIndexList expand;
    for (int node = 0; node < Model->rowCount(); ++node) {
        const QModelIndex top = Model->index(node, 0);
        if (Model->hasChildren(top) && select(top))
            expand.append(top);
    }
    Tree->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    // Laid out once for all the parents.
    auto* view = static_cast<PaneTreeView*>(Tree);
    view->HoldLayout(true);
    for (const QModelIndex& top : expand)
        Tree->expand(top);
    if (!expandTimer_->isActive())
        view->HoldLayout(false);
}

bool PaneDocks::SearchSelected()
{
    const QModelIndexList items = SelectedItems();
    if (items.isEmpty())
        return false;
    const QString expression = SelectionExpression(items);
    return !expression.isEmpty() && Tab->SetSearchExpression(expression, 1, SEARCH_MODE_COMPLEX);
}

void PaneDocks::QuickFilter()
{
    if (!SearchSelected() || !Tab->PrepareFilter(false))
        return;
    const int32_t records = Table->RecordCount();
    const int32_t matched = Table->SearchFilterOn();
    if (matched < 0) {
        KxvShell().ShowStatus(QStringLiteral("Filter is not set"), true);
        Tab->UpdateActions();
        return;
    }
    Tab->FilterApplied(matched, records);
    // The filter command and Clear Filter follow the table's filter.
    if (QAction* filter = Tab->Actions[TACT_FILTER])
        filter->setChecked(Table->FilterOn);
    Tab->TableChanged();
    const KxSearchExpression* expression = Table->SearchExpression();
    if (Table->FilterOn && expression) {
        const QString text = FromBytes(expression->text);
        Tab->AddHistoryItem(HISTORY_FILTER, &text, Table->SearchMode(), expression->matchCase, 0);
    }
    Tab->UpdateInformer();
}

void PaneDocks::QuickSelection()
{
    if (!SearchSelected())
        return;
    const int32_t count = Table->SearchSelectionOn(Tab->Prefs.ColorSelect);
    Tab->ShowSelectedCount(count < 0 ? 0 : count);
}

void PaneDocks::RemovePanesFilter()
{
    Tree->clearSelection();
    if (Tab->PrepareFilter(true))
        Tab->ClearFilter();
}

void PaneDocks::RemovePanesSelection()
{
    Tree->clearSelection();
    Tab->ClearSelection();
}

void PaneDocks::HideOnGraph()
{
    if (Tab->GraphState == TabBase::GRAPH_NONE)
        return;
    QModelIndexList items = SelectedItems();
    const QModelIndex current = items.isEmpty() ? Tree->currentIndex() : QModelIndex();
    const QItemSelectionModel::SelectionFlags row = QItemSelectionModel::Rows;
    if (current.isValid()) {
        Tree->selectionModel()->select(current, QItemSelectionModel::Select | row);
        items.append(current);
    }
    std::vector<std::pair<int32_t, int32_t>> places;
    for (const QModelIndex& item : items)
        places.push_back(AuxTreeModel::Place(item));
    Tab->MarkThreadsOnGraph(places);
    if (current.isValid())
        Tree->selectionModel()->select(current, QItemSelectionModel::Deselect | row);
}

void PaneDocks::ShowAllOnGraph()
{
    if (Tab->GraphState != TabBase::GRAPH_NONE)
        Tab->MarkThreadsOnGraph({});
}

void PaneDocks::customMenuRequested(const QPoint& pos)
{
    const QModelIndex index = Tree->indexAt(pos);
    if (!index.isValid())
        return;
    MenuIndex = index;
    const QString expression = SelectionExpression(ChosenItems());
    if (expression.isEmpty())
        return;
    QMenu menu(this);
    if (QAction* find = Tab->Actions[ACT_CUSTOM_FIND]) {
        find->setText(QStringLiteral("Find: ") + ElideText(expression));
        find->setData(expression);
        menu.addAction(find);
    }
    menu.addSeparator();
    AddEnabled(menu, Actions[ACT_QUICK_FILTER], !Table->FilterOn);
    if (QAction* selection = Actions[ACT_QUICK_SELECTION])
        menu.addAction(selection);
    menu.addSeparator();
    AddRemove(menu, Actions[ACT_REMOVE_FILTER], Table->FilterOn);
    AddRemove(menu, Actions[ACT_REMOVE_SELECTION], Table->NumSelected > 0);
    menu.addSeparator();
    // The threads on the graph: only while one is open.
    const bool graph = Tab->GraphState != TabBase::GRAPH_NONE;
    AddEnabled(menu, Actions[ACT_HIDE_ON_GRAPH], graph);
    AddEnabled(menu, Actions[ACT_SHOW_ALL_ON_GRAPH], graph);
    menu.addSeparator();
    if (QAction* collapse = Tab->Actions[ACT_COLLAPSE_ON_REDRAW])
        menu.addAction(collapse);
    menu.exec(Tree->viewport()->mapToGlobal(pos));
}

void PaneDocks::SetPanesPosition()
{
    const int32_t row = Table->CurRow();
    Tab->LastPanesRow = row;
    if (row < 0 || row >= Table->RowCount())
        return;
    KxdRecord* record = Table->GetRecord(row);
    CollapseAll();
    const KxAuxTree& aux = Table->AuxTree();
    const KxAuxNode1* node = aux.FindNode(record);
    if (!node)
        return;
    if (Model->Stale()) {
        // The pane no longer shows the table's tree: rebuild it; the
        // record is found at the next move.
        KX_WARNING(KxvTearoffChannel, "PaneDocks::SetPanesPosition: aux tree of table %s out of step, rebuilt",
                   Table->Name());
        BuildTree();
        return;
    }
    QModelIndex item = Model->IndexOf(node->index, -1);
    if (aux.Level2() >= 0) {
        Tree->expand(item);
        if (const KxAuxNode2* child = KxAuxTree::FindChild(node, record->Text(aux.Level2())))
            item = Model->IndexOf(node->index, child->index);
    }
    Tree->setCurrentIndex(item);
}
