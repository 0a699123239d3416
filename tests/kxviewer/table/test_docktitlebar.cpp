// The side-pane docks' title bar: which buttons it has and what they do.
#include <QDockWidget>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "kxviewer/table/docktitlebar.h"
#include "kxviewer/table/tabtablemodel.h"
#include "tabletabenv.h"

namespace {

using DockTitlebarTest = tabletest::TableTabTest;

// A pane's bar has the sync button (from the tab's preferences) and the
// menu; a closable one the menu and a close button that closes its dock.
TEST_F(DockTitlebarTest, PaneBarsHaveSyncOrCloseButtons)
{
    PrefTabTable prefs = PrefTabTable::Default();
    TabTable* tab = nullptr;
    for (uint8_t sync : {uint8_t(0), uint8_t(1)}) {
        SCOPED_TRACE(int(sync));
        prefs.SyncToCurRow = sync;
        tab = OpenRecords({Record("one")}, prefs);
        auto* dock = new QDockWidget(QStringLiteral("Aux Tree"), tab);
        auto* bar = new DockTitlebar(dock, tab, false);
        dock->setTitleBarWidget(bar);
        EXPECT_EQ(bar->Title->text(), QStringLiteral("    Aux Tree"));
        EXPECT_EQ(bar->Title->height(), 21);
        ASSERT_NE(bar->SyncButton, nullptr);
        EXPECT_EQ(bar->SyncButton->isChecked(), sync != 0);
        EXPECT_EQ(bar->SyncButton->toolTip(), QStringLiteral("Sync table position On/Off"));
        EXPECT_EQ(bar->CloseButton, nullptr);
        auto* layout = static_cast<QHBoxLayout*>(bar->layout());
        ASSERT_EQ(layout->count(), 3);
        EXPECT_EQ(layout->itemAt(1)->widget(), bar->SyncButton);
        EXPECT_EQ(layout->itemAt(2)->widget(), bar->MenuButton);
        EXPECT_EQ(layout->contentsMargins(), QMargins(0, 0, 1, 0));
    }

    auto* dock = new QDockWidget(QStringLiteral("History"), tab);
    auto* bar = new DockTitlebar(dock, tab, true);
    dock->setTitleBarWidget(bar);
    tab->addDockWidget(Qt::RightDockWidgetArea, dock);
    dock->show();
    EXPECT_EQ(bar->SyncButton, nullptr);
    ASSERT_NE(bar->CloseButton, nullptr);
    auto* layout = static_cast<QHBoxLayout*>(bar->layout());
    ASSERT_EQ(layout->count(), 3);
    EXPECT_EQ(layout->itemAt(1)->widget(), bar->MenuButton);
    EXPECT_EQ(layout->itemAt(2)->widget(), bar->CloseButton);
    QTest::mouseClick(bar->CloseButton, Qt::LeftButton);
    EXPECT_FALSE(dock->isVisible());
}

TEST_F(DockTitlebarTest, OwnerWithoutTheSlotsIsReportedNotFatal)
{
    QWidget owner;
    QDockWidget dock(QStringLiteral("Scripts"));
    DockTitlebar bar(&dock, &owner, false);
    ASSERT_NE(bar.SyncButton, nullptr);
    EXPECT_FALSE(bar.SyncButton->isChecked());
    bar.SyncButton->click();
}

} // namespace
