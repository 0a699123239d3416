#include "kxviewer/table/auxtreeaccessible.h"

#include <QItemSelectionModel>
#include <QWidget>
#include <QWindow>

#include "kxviewer/table/auxtreemodel.h"
#include "kxviewer/table/auxtreeview.h"

AuxTreeAccessible::AuxTreeAccessible(AuxTreeView* view) : QAccessibleWidget(view, QAccessible::Tree) {}

QAccessibleInterface* AuxTreeAccessible::Factory(const QString& className, QObject* object)
{
    auto* view = className == QLatin1String("AuxTreeView") ? qobject_cast<AuxTreeView*>(object) : nullptr;
    return view ? new AuxTreeAccessible(view) : nullptr;
}

AuxTreeView* AuxTreeAccessible::View() const { return static_cast<AuxTreeView*>(widget()); }

int AuxTreeAccessible::childCount() const
{
    const AuxTreeModel* model = View()->TreeModel();
    return model->Current() ? model->Nodes() : 0;
}

QAccessibleInterface* AuxTreeAccessible::child(int index) const
{
    return index >= 0 && index < childCount() ? View()->AccessibleItem(index, -1) : nullptr;
}

int AuxTreeAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    const auto* item = dynamic_cast<const AuxTreeItemAccessible*>(child);
    return item && item->View() == View() && item->Child() < 0 && item->isValid() ? item->Node() : -1;
}

QAccessibleInterface* AuxTreeAccessible::childAt(int x, int y) const
{
    AuxTreeView* view = View();
    const QModelIndex index = view->indexAt(view->viewport()->mapFromGlobal(QPoint(x, y)));
    if (!index.isValid())
        return nullptr;
    // The node's item holds its children's.
    return view->AccessibleItem(AuxTreeModel::Place(index).first, -1);
}

QAccessibleInterface* AuxTreeAccessible::focusChild() const
{
    AuxTreeView* view = View();
    const auto [node, child] = AuxTreeModel::Place(view->currentIndex());
    return view->hasFocus() && node >= 0 ? view->AccessibleItem(node, child) : nullptr;
}

AuxTreeItemAccessible::AuxTreeItemAccessible(AuxTreeView* view, int32_t node, int32_t child)
    : view_(view), node_(node), child_(child)
{
}

QModelIndex AuxTreeItemAccessible::Index() const
{
    return view_ ? view_->TreeModel()->IndexOf(node_, child_) : QModelIndex();
}

bool AuxTreeItemAccessible::isValid() const
{
    if (!view_)
        return false;
    const AuxTreeModel* model = view_->TreeModel();
    return model->Current() && node_ < model->Nodes() && child_ < model->Children(node_);
}

QWindow* AuxTreeItemAccessible::window() const
{
    return view_ ? view_->window()->windowHandle() : nullptr;
}

QAccessibleInterface* AuxTreeItemAccessible::parent() const
{
    if (!view_)
        return nullptr;
    return child_ < 0 ? QAccessible::queryAccessibleInterface(view_.data()) : view_->AccessibleItem(node_, -1);
}

int AuxTreeItemAccessible::childCount() const
{
    if (!view_ || child_ >= 0 || !isValid())
        return 0;
    const AuxTreeModel* model = view_->TreeModel();
    return model->IsExpanded(node_) ? model->Children(node_) : 0;
}

QAccessibleInterface* AuxTreeItemAccessible::child(int index) const
{
    return index >= 0 && index < childCount() ? view_->AccessibleItem(node_, index) : nullptr;
}

int AuxTreeItemAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    const auto* item = dynamic_cast<const AuxTreeItemAccessible*>(child);
    return item && item->View() == view_ && child_ < 0 && item->Node() == node_ && item->Child() < childCount()
               ? item->Child()
               : -1;
}

QAccessibleInterface* AuxTreeItemAccessible::childAt(int x, int y) const
{
    if (childCount() == 0)
        return nullptr;
    // The row under the point, not an item made for every child.
    const QModelIndex index = view_->indexAt(view_->viewport()->mapFromGlobal(QPoint(x, y)));
    const auto [node, child] = AuxTreeModel::Place(index);
    return index.isValid() && node == node_ && child >= 0 ? view_->AccessibleItem(node, child) : nullptr;
}

QString AuxTreeItemAccessible::text(QAccessible::Text t) const
{
    const QModelIndex index = Index();
    return t == QAccessible::Name && index.isValid() ? view_->TreeModel()->Text(index) : QString();
}

QRect AuxTreeItemAccessible::rect() const
{
    const QModelIndex index = Index();
    if (!index.isValid())
        return QRect();
    const QRect row = view_->visualRect(index);
    return QRect(view_->viewport()->mapToGlobal(row.topLeft()), row.size());
}

QAccessible::State AuxTreeItemAccessible::state() const
{
    QAccessible::State state;
    const QModelIndex index = Index();
    if (!index.isValid()) {
        state.invisible = true;
        return state;
    }
    const AuxTreeModel* model = view_->TreeModel();
    state.selectable = true;
    state.focusable = true;
    state.selected = view_->selectionModel()->isSelected(index);
    state.focused = view_->hasFocus() && view_->currentIndex().row() == index.row();
    state.expandable = child_ < 0 && model->Children(node_) > 0;
    state.expanded = state.expandable && model->IsExpanded(node_);
    state.collapsed = state.expandable && !state.expanded;
    state.offscreen = !view_->viewport()->rect().intersects(view_->visualRect(index));
    return state;
}
