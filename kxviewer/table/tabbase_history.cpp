// The History pane of a document: what the user did to its selections,
// pinned phrases, filter and bookmarks, newest first.
#include <QDockWidget>
#include <QHeaderView>
#include <QTreeWidget>

#include "kxviewer/prefdata.h"
#include "kxviewer/table/panestyles.h"
#include "kxviewer/table/tabbase.h"

void TabBase::CreateHistoryPane()
{
    HistoryDock = new QDockWidget(QStringLiteral("History"), this);
    HistoryDock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
    HistoryDock->setStyleSheet(QString::fromLatin1(PaneDockStyle));
    HistoryTree = new QTreeWidget(HistoryDock);
    HistoryTree->setFont(PrefGlobal::Fonts[FONT_SIDE_PANELS]);
    HistoryTree->setHeaderHidden(true);
    HistoryTree->setColumnCount(1);
    HistoryTree->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    HistoryTree->setStyleSheet(QString::fromLatin1(PaneTreeStyle));
    HistoryTree->header()->setStretchLastSection(true);
    HistoryTree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(HistoryTree, &QTreeWidget::customContextMenuRequested, this, &TabBase::HistoryCustomMenuRequested);
    HistoryDock->setWidget(HistoryTree);
}
