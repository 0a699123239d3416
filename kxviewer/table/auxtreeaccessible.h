// The aux-tree pane as assistive tools read it: a tree whose items are the
// first-level nodes, each holding the rows of its children while expanded,
// named by the node's text, with its level in the nesting of the items and
// whether it is expandable and expanded. The view's rows are flat; these
// interfaces give back the tree they draw.
#pragma once

#include <cstdint>

#include <QAccessibleInterface>
#include <QAccessibleWidget>
#include <QPointer>

class AuxTreeView;

class AuxTreeAccessible : public QAccessibleWidget {
public:
    explicit AuxTreeAccessible(AuxTreeView* view);

    // Made for every AuxTreeView that assistive tools ask about.
    static QAccessibleInterface* Factory(const QString& className, QObject* object);

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;

private:
    AuxTreeView* View() const;
};

// One node's row or one child's row of the view, by its place in the tree,
// so that it stays the same item while rows come and go above it.
class AuxTreeItemAccessible : public QAccessibleInterface {
public:
    AuxTreeItemAccessible(AuxTreeView* view, int32_t node, int32_t child);

    AuxTreeView* View() const { return view_; }
    int32_t Node() const { return node_; }
    int32_t Child() const { return child_; }
    // The row of the item now (invalid while not shown).
    QModelIndex Index() const;

    bool isValid() const override;
    QObject* object() const override { return nullptr; }
    QWindow* window() const override;
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int index) const override;
    int childCount() const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QString text(QAccessible::Text t) const override;
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override;
    QAccessible::Role role() const override { return QAccessible::TreeItem; }
    QAccessible::State state() const override;

private:
    QPointer<AuxTreeView> view_;
    int32_t node_;
    int32_t child_;
};
