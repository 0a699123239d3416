// The aux-tree pane of a document's Info pane: the distinct values of the
// table's first tree field with, below each, those of the second, from
// which the user quick-filters or quick-selects records, marks threads on
// the graph, and sees the current record's place.
#pragma once

#include <QDockWidget>
#include <QList>
#include <QModelIndex>
#include <QString>

#include "kxviewer/table/comactionbase.h"

class KxTable;
class QTreeWidget;
class QTreeWidgetItem;
class TabBase;

class PaneDocks : public QDockWidget, public ComActionBase<ComActionCount> {
    Q_OBJECT

public:
    PaneDocks(const QString& title, TabBase* tab);
    ~PaneDocks() override;

    // Clears the tree and refills it from the table's aux tree; the title
    // bar names the levels.
    void BuildTree();
    // The item expressions of items joined with " || ", whole. Empty (the
    // user told) when an item cannot be written or the text is longer than
    // a search expression takes.
    QString SelectionExpression(const QList<QTreeWidgetItem*>& items);
    // The tree's current item moved to the table's current record.
    void SetPanesPosition();

    KxTable* Table;
    TabBase* Tab;
    // The item under the last context menu.
    QModelIndex MenuIndex;
    QTreeWidget* Tree;

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
    QList<QTreeWidgetItem*> ChosenItems();
    // The selection expression made the tab's search expression; false
    // when nothing is selected or it was refused.
    bool SearchSelected();
};
