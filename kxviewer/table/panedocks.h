// The aux-tree pane of a document's Info pane: the distinct values of the
// table's first tree field with, below each, those of the second, from
// which the user quick-filters or quick-selects records, marks threads on
// the graph, and sees the current record's place.
#pragma once

#include <cstdint>
#include <functional>

#include <QDockWidget>
#include <QModelIndexList>
#include <QString>

#include "kxviewer/table/comactionbase.h"

class AuxTreeModel;
class AuxTreeView;
class KxTable;
class TabBase;

class PaneDocks : public QDockWidget, public ComActionBase<ComActionCount> {
    Q_OBJECT

public:
    PaneDocks(const QString& title, TabBase* tab);
    ~PaneDocks() override;

    // Shows the table's aux tree afresh; the title bar names the levels.
    void BuildTree();
    // Builds the tree again when the table's aux tree changed since.
    void Refresh();
    // The item expressions of items joined with " || ", whole. Empty (the
    // user told) when an item cannot be written or the text is longer than
    // a search expression takes.
    QString SelectionExpression(const QModelIndexList& items);
    // The tree's current item moved to the table's current record.
    void SetPanesPosition();
    // The items of the tree, one a row, that are selected, in the order
    // they were.
    QModelIndexList SelectedItems() const;
    // Selects exactly the items chosen(node, child) names (child -1: a
    // first-level item without children), expanding the parents of chosen
    // children.
    void SelectItems(const std::function<bool(int32_t node, int32_t child)>& chosen);
    // Expands or collapses every item; the selected items that stay in
    // view stay selected, the current one current. The model's rows change
    // at once; the view lays them out a batch at a time.
    void ExpandAll();
    void CollapseAll();
    // Whether the node of an item's row is expanded.
    bool IsExpanded(const QModelIndex& item) const;

    KxTable* Table;
    TabBase* Tab;
    AuxTreeModel* Model;
    AuxTreeView* Tree;

public slots:
    void QuickFilter();
    void QuickSelection();
    void HideOnGraph();
    void RemovePanesFilter();
    void RemovePanesSelection();
    void ShowAllOnGraph();
    void customMenuRequested(const QPoint& pos);

private:
    // The selected items, or the current one when none is selected.
    QModelIndexList ChosenItems() const;
    // The selection expression made the tab's search expression; false
    // when nothing is selected or it was refused (the user told why).
    bool SearchSelected();
    // Selects the rows in view whose places chosen names.
    void SelectRows(const std::function<bool(int32_t node, int32_t child)>& chosen);
    // Every item expanded or collapsed, the selection and current item kept.
    void SetAllExpanded(bool expanded);
};
