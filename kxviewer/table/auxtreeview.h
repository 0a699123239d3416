// The view of the aux-tree pane: the model's rows as a list of one height,
// laid out a batch at a time between turns of the event loop, so that a
// tree of a million rows never holds the window; each node's row shows an
// arrow that expands or collapses it, the node's colour and its text, and
// the rows of its children below, indented.
#pragma once

#include <QListView>
#include <QPersistentModelIndex>
#include <QTimer>

class AuxTreeModel;

class AuxTreeView : public QListView {
    Q_OBJECT

public:
    AuxTreeView(AuxTreeModel* model, QWidget* parent);

    AuxTreeModel* TreeModel() const { return model_; }
    // Makes index current and scrolls to it once the rows up to it are laid
    // out.
    void ShowCurrent(const QModelIndex& index);
    // Where the arrow of a node's row is drawn.
    QRect ArrowRect(const QModelIndex& index) const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Expands or collapses the node of index's row; false when it has no
    // children.
    bool Toggle(const QModelIndex& index);
    void ScrollWhenLaidOut();

    AuxTreeModel* model_;
    QPersistentModelIndex pending_;
    int scrollTries_ = 0;
    QTimer scrollTimer_;
};
