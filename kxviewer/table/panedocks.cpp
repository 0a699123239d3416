#include "kxviewer/table/panedocks.h"

#include <algorithm>
#include <vector>

#include <QAction>
#include <QHeaderView>
#include <QItemSelection>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QSet>

#include "kxlib/fields.h"
#include "kxlib/table/kxsearchexpr.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/shellservices.h"
#include "kxviewer/table/auxtreemodel.h"
#include "kxviewer/table/auxtreeview.h"
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

const char DockStyle[] = "QDockWidget::title{background:#fafafa; padding-left:5px; padding-top:2px}";

// Nodes collapsed one by one (rows removed) when the tree is collapsed;
// with more expanded, the rows are shown afresh at once.
constexpr int FEW_EXPANDED = 16;

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
    : QDockWidget(title, tab), Table(tab->Table), Tab(tab), Model(new AuxTreeModel(this)),
      Tree(new AuxTreeView(Model, this))
{
    CreateActions(this, PaneDocksBindings, nullptr);
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
    setStyleSheet(QString::fromLatin1(DockStyle));
    Tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    Tree->setFont(PrefGlobal::Fonts[FONT_SIDE_PANELS]);
    Tree->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Tree->setStyleSheet(QString::fromLatin1(AuxTreeStyle));
    Tree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Tree, &QWidget::customContextMenuRequested, this, &PaneDocks::customMenuRequested);
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

    Model->Show(&aux);
    Tree->scrollToTop();
    // A pending move to the current record (of a table tab) collapses the
    // tree again.
    const bool syncPending = Tab->GraphState != TabBase::GRAPH_IS_GRAPH && Tab->Prefs.SyncToCurRow &&
                             Table->CurRow() != Tab->LastPanesRow;
    QAction* expand = Tab->Actions[TACT_EXPAND_TREE_ON_REDRAW];
    if (expand && expand->isChecked() && !syncPending)
        Model->SetAllExpanded(true);
}

bool PaneDocks::IsExpanded(const QModelIndex& item) const { return Model->IsExpanded(AuxTreeModel::Place(item).first); }

void PaneDocks::ExpandAll() { SetAllExpanded(true); }

void PaneDocks::CollapseAll()
{
    if (Model->ExpandedCount() > FEW_EXPANDED) {
        SetAllExpanded(false);
        return;
    }
    // A few nodes: their rows go, and the selection and current item with
    // the rest keep their places by themselves.
    for (int32_t node = 0; node < Model->Nodes() && Model->ExpandedCount() > 0; ++node)
        Model->SetExpanded(node, false);
}

void PaneDocks::SetAllExpanded(bool expanded)
{
    const std::pair<int32_t, int32_t> current = AuxTreeModel::Place(Tree->currentIndex());
    QSet<QPair<int32_t, int32_t>> selected;
    for (const QModelIndex& item : SelectedItems()) {
        const std::pair<int32_t, int32_t> place = AuxTreeModel::Place(item);
        selected.insert(qMakePair(place.first, place.second));
    }
    Model->SetAllExpanded(expanded);
    if (!selected.isEmpty())
        SelectRows([&selected](int32_t node, int32_t child) { return selected.contains(qMakePair(node, child)); });
    QModelIndex item = Model->IndexOf(current.first, current.second);
    // A child hidden: its node, as when the node alone is collapsed.
    if (!item.isValid())
        item = Model->IndexOf(current.first, -1);
    if (item.isValid())
        Tree->selectionModel()->setCurrentIndex(item, QItemSelectionModel::NoUpdate);
}

void PaneDocks::Refresh()
{
    if (Model->Stale())
        BuildTree();
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

void PaneDocks::SelectRows(const std::function<bool(int32_t node, int32_t child)>& chosen)
{
    QItemSelection selection;
    const int rows = Model->rowCount();
    int first = -1;
    int32_t node = -1;
    int32_t child = -1;
    for (int row = 0; row <= rows; ++row) {
        bool on = false;
        if (row < rows) {
            // The rows run through each node and then its shown children.
            if (child + 1 < Model->Children(node) && Model->IsExpanded(node))
                ++child;
            else
                ++node, child = -1;
            on = chosen(node, child);
        }
        if (on && first < 0)
            first = row;
        if (!on && first >= 0) {
            selection.append(QItemSelectionRange(Model->index(first, 0), Model->index(row - 1, 1)));
            first = -1;
        }
    }
    Tree->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

void PaneDocks::SelectItems(const std::function<bool(int32_t node, int32_t child)>& chosen)
{
    std::vector<int32_t> expand;
    for (int32_t node = 0; node < Model->Nodes(); ++node) {
        bool any = Model->IsExpanded(node);
        for (int32_t child = 0; !any && child < Model->Children(node); ++child)
            any = chosen(node, child);
        if (any)
            expand.push_back(node);
    }
    // Few parents are expanded one by one; many, with the rows shown afresh.
    if (expand.size() > size_t(FEW_EXPANDED))
        Model->ExpandOnly(expand);
    else
        for (int32_t node : expand)
            Model->SetExpanded(node, true);
    SelectRows([this, &chosen](int32_t node, int32_t child) {
        return child >= 0 ? chosen(node, child) : Model->Children(node) == 0 && chosen(node, -1);
    });
}

bool PaneDocks::SearchSelected()
{
    const QModelIndexList items = SelectedItems();
    if (items.isEmpty())
        return false;
    const QString expression = SelectionExpression(items);
    if (expression.isEmpty())
        return false;
    if (Tab->SetSearchExpression(expression, 1, SEARCH_MODE_COMPLEX))
        return true;
    Tab->ReportIncorrectExpression();
    return false;
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
    const UpdatesOff quiet = Tab->FilterApplied(matched, records);
    // The filter command and Clear Filter follow the table's filter.
    if (QAction* filter = Tab->Actions[TACT_FILTER])
        filter->setChecked(Table->FilterOn);
    if (!Tab->TableChanged())
        return;
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
    const QString expression = SelectionExpression(ChosenItems());
    if (expression.isEmpty())
        return;
    // The pane's, made anew: a close in the menu's turn deletes it with the
    // tab, as it would free a menu on the stack.
    QMenu& menu = *new QMenu(this);
    const QPointer<QMenu> held(&menu);
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
    if (QAction* expand = Tab->Actions[TACT_EXPAND_TREE_ON_REDRAW])
        menu.addAction(expand);
    menu.exec(Tree->viewport()->mapToGlobal(pos));
    delete held;
}

void PaneDocks::SetPanesPosition()
{
    const int32_t row = Table->CurRow();
    Tab->LastPanesRow = row;
    if (row < 0 || row >= Table->RowCount())
        return;
    KxdRecord* record = Table->GetRecord(row);
    if (Model->Stale()) {
        // The pane no longer shows the table's tree: rebuild it.
        KX_WARNING(KxvTearoffChannel, "PaneDocks::SetPanesPosition: aux tree of table %s out of step, rebuilt",
                   Table->Name());
        BuildTree();
    }
    CollapseAll();
    const KxAuxTree& aux = Table->AuxTree();
    const KxAuxNode1* node = aux.FindNode(record);
    if (!node)
        return;
    QModelIndex item = Model->IndexOf(node->index, -1);
    if (aux.Level2() >= 0) {
        Model->SetExpanded(node->index, true);
        if (const KxAuxNode2* child = KxAuxTree::FindChild(node, record->Text(aux.Level2())))
            item = Model->IndexOf(node->index, child->index);
    }
    Tree->ShowCurrent(item);
}
