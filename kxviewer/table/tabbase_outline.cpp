// The Outline pane of a document: the records that stand out, one line each.
#include <algorithm>

#include <QDockWidget>
#include <QHeaderView>
#include <QShortcut>
#include <QTableWidget>

#include "kxlib/table/kxtable.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/table/guihelpers.h"
#include "kxviewer/table/panestyles.h"
#include "kxviewer/table/tabbase.h"

namespace {
constexpr int OUTLINE_MIN_DIGITS = 5;
constexpr int OUTLINE_NUMBER_PADDING = 24;
constexpr int OUTLINE_TEXT_WIDTH = 182;
} // namespace

void TabBase::CreateOutlinePane()
{
    OutlineDock = new QDockWidget(QStringLiteral("Outline"), this);
    OutlineDock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
    OutlineDock->setStyleSheet(QString::fromLatin1(PaneDockStyle));
    OutlineTable = new QTableWidget(0, 2, OutlineDock);
    OutlineTable->setFont(PrefGlobal::Fonts[FONT_SIDE_PANELS]);
    OutlineTable->setShowGrid(false);
    OutlineTable->horizontalHeader()->hide();
    OutlineTable->verticalHeader()->hide();
    OutlineTable->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    OutlineTable->verticalHeader()->setMinimumSectionSize(PaneRowHeight());
    OutlineTable->verticalHeader()->setDefaultSectionSize(PaneRowHeight());
    OutlineTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    OutlineTable->setSelectionMode(QAbstractItemView::ExtendedSelection);
    OutlineDock->setWidget(OutlineTable);
    RefreshOutlineTable();

    const int digits = std::max(OUTLINE_MIN_DIGITS, int(QString::number(Table->RowCount()).size()));
    OutlineTable->setColumnWidth(0, CharactersWidth(OutlineTable->font(), digits) + OUTLINE_NUMBER_PADDING);
    OutlineTable->setColumnWidth(1, OUTLINE_TEXT_WIDTH);
    OutlineTable->horizontalHeader()->setStretchLastSection(true);
    OutlineTable->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(OutlineTable, &QTableWidget::customContextMenuRequested, this, &TabBase::OutlineTablesCustomMenuRequested);
    connect(OutlineTable, &QTableWidget::itemClicked, this, &TabBase::onOutlineClicked);
    connect(OutlineTable, &QTableWidget::itemActivated, this, &TabBase::onOutlineClicked);
    auto* erase = new QShortcut(QKeySequence(Qt::Key_Delete), OutlineTable, nullptr, nullptr, Qt::WidgetShortcut);
    connect(erase, &QShortcut::activated, this, &TabBase::OutlineDeleteOnShortcut);
    OutlineTable->setCurrentCell(0, 0);
}
