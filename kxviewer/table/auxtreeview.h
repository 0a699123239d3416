// The view of the aux-tree pane: the model's rows as a list of one height,
// laid out a batch at a time between turns of the event loop, so that a
// tree of a million rows never holds the window; each node's row shows an
// arrow that expands or collapses it, the node's colour and its text, and
// the rows of its children below, indented. It answers the keys of a tree
// and shows itself to assistive tools as one.
#pragma once

#include <cstdint>

#include <QAccessible>
#include <QHash>
#include <QListView>
#include <QPersistentModelIndex>
#include <QTimer>

class AuxTreeModel;

class AuxTreeView : public QListView {
    Q_OBJECT

public:
    AuxTreeView(AuxTreeModel* model, QWidget* parent);
    ~AuxTreeView() override;

    // Puts the tree's accessibility factory in place (once). Qt keeps the
    // first interface it makes for a view for the view's life, and it may
    // make one as soon as the view takes its model: the factory must be
    // there before. The application calls this at its start; each view
    // calls it before it takes its model.
    static void InstallAccessibility();

    AuxTreeModel* TreeModel() const { return model_; }
    // Makes index current and scrolls to it once the rows up to it are laid
    // out.
    void ShowCurrent(const QModelIndex& index);
    // Where the arrow of a node's row is drawn.
    QRect ArrowRect(const QModelIndex& index) const;
    // The accessible item of first-level node node or, with child >= 0, of
    // its child; null outside the tree. Made when first asked for and kept
    // while the tree shown stays the same.
    QAccessibleInterface* AccessibleItem(int32_t node, int32_t child);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // Left and Right walk the tree: collapse or expand a node, go to a
    // child's node or into an expanded node's first child.
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    // Tell assistive tools of the item, not of the row number.
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;

private:
    // Whether pos is on the arrow of index's row, a node with children.
    bool OnArrow(const QModelIndex& index, const QPoint& pos) const;
    // Expands or collapses the node of index's row; false when it has no
    // children.
    bool Toggle(const QModelIndex& index);
    void ScrollWhenLaidOut();
    // Tells assistive tools that the node of row row was expanded or
    // collapsed.
    void NotifyExpansion(int row);
    void NotifyAccessible(const QModelIndex& index, QAccessible::Event event);
    void ForgetAccessibleItems();

    AuxTreeModel* model_;
    QPersistentModelIndex pending_;
    int scrollTries_ = 0;
    QTimer scrollTimer_;
    // The ids of the accessible items made, by place.
    QHash<quint64, QAccessible::Id> accessibleItems_;
};
