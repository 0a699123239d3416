// Secondary windows: detaching a dock into one, adding groups to one, and
// closing one with its documents and panels.
#include <QPointer>
#include <QTextEdit>
#include <QTest>
#include <gtest/gtest.h>

#include "scriptedprompt.h"
#include "tearoffstubs.h"
#include "tearoffwidget/tearoffdockwidget.h"
#include "tearoffwidget/tearoffsecondary.h"
#include "tearoffwidget/tearofftabbar.h"
#include "tearoffwidget/tearofftabwidget.h"

namespace {

class SecondaryTest : public MainWithPanelsTest {
protected:
    static QMainWindow* HostOf(const TearOffTabDock* dock)
    {
        return dock->TabWidget && dock->TabWidget->DockWidget ? dock->TabWidget->DockWidget->Host : nullptr;
    }

    ScriptedPrompt prompt;
    PromptGuard guard{&prompt};
};

// Detaching one of a group's tabs, the only tab of a group, or a dock that
// was never docked: each lands alone in a new numbered window, and only the
// moved dock's tab leaves its group.
TEST_F(SecondaryTest, DetachedDockGetsANewWindowOfItsOwn)
{
    // Group size (0: a dock never docked) and the index in it of the dock detached.
    const struct { const char* name; int groupSize, moved; } cases[] = {
        {"not the current tab", 3, 2}, {"the current tab", 2, 0}, {"only tab", 1, 0}, {"never docked", 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown(), SetUp(); // a fresh main window for each case
        if (c.groupSize != 1)
            AddDocuments(1, false); // the main window keeps a document
        QList<StubDoc*> group = AddDocuments(c.groupSize, false);
        StubDoc* moved = c.groupSize ? group[c.moved] : new StubDoc;
        if (c.groupSize)
            main->SetTabActive(group[0], false);
        const int counter = main->WindowCounter;
        TearOffTabWidget* before = c.groupSize ? group[0]->TabWidget : nullptr;
        QPointer<TearOffDockWidget> beforeGroup = before ? before->DockWidget : nullptr;

        auto* window = qobject_cast<TearOffSecondary*>(main->AddSecondaryTearOffDock(Qt::TopDockWidgetArea, moved, 0));
        FlushDeletes();
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(window->objectName(), QStringLiteral("LRCtmWin%1").arg(counter));
        EXPECT_EQ(HostOf(moved)->objectName(), QStringLiteral("LRTabWin%1").arg(counter));
        EXPECT_EQ(window->Host, HostOf(moved));
        EXPECT_TRUE(window->isVisible());
        int secondary = 0;
        EXPECT_EQ(moved->GetTopWindow(&secondary), window);
        EXPECT_EQ(secondary, 1);
        EXPECT_EQ(moved->TabWidget->count(), 1);
        EXPECT_EQ(main->CurrentDock, moved);
        EXPECT_EQ(main->WindowCounter, counter + 1);
        // Without a document left the main window shows its placeholder.
        EXPECT_EQ(main->Placeholder->isVisibleTo(main.get()), c.groupSize == 1);
        for (int i = 0; i < c.groupSize; ++i)
            EXPECT_TRUE(i == c.moved || (group[i]->TabWidget == before && before->indexOf(group[i]) >= 0))
                << "tab " << i << " stays";
        // The emptied group goes, and no empty group is left in the list.
        EXPECT_EQ(beforeGroup.isNull(), c.groupSize <= 1);
        for (TearOffDockWidget* dockWidget : main->DockWidgets)
            EXPECT_GT(dockWidget->TabWidget->count(), 0);
    }
}

// A dock that fails to open gets no window and is dropped; one that opens
// joins a window as a new group.
TEST_F(SecondaryTest, AddTearOffDockPutsANewGroupIntoTheWindow)
{
    auto* doc = new StubDoc;
    doc->OpenErrorMode = 1;
    QPointer<StubDoc> watch(doc);
    EXPECT_EQ(main->AddSecondaryTearOffDock(Qt::TopDockWidgetArea, doc, 0), nullptr);
    FlushDeletes();
    EXPECT_TRUE(watch.isNull());
    EXPECT_EQ(main->findChild<TearOffSecondary*>(), nullptr);
    EXPECT_EQ(main->Docks.size(), 2);

    auto* first = new StubDoc;
    auto* window = static_cast<TearOffSecondary*>(main->AddSecondaryTearOffDock(Qt::TopDockWidgetArea, first, 0));
    auto* second = new StubDoc;
    window->AddTearOffDock(Qt::BottomDockWidgetArea, second, 0);
    EXPECT_EQ(HostOf(second), window->Host);
    EXPECT_NE(second->TabWidget, first->TabWidget);
    EXPECT_EQ(window->Host->dockWidgetArea(second->TabWidget->DockWidget), Qt::BottomDockWidgetArea);
    EXPECT_EQ(second->GetTopWindow(nullptr), window);
    EXPECT_EQ(main->CurrentDock, second);

    auto* failed = new StubDoc;
    failed->OpenErrorMode = 1;
    window->AddTearOffDock(Qt::TopDockWidgetArea, failed, 0);
    EXPECT_FALSE(main->Docks.contains(failed));
}

// Closing a secondary window closes its documents with the questions; a
// panel shown or hidden there goes back to the main window, hidden, and
// shows there again.
TEST_F(SecondaryTest, ClosingAWindowKeepsItsPanelsHiddenInTheMainWindow)
{
    const struct { const char* name; bool panelHiddenThere, modified; QMessageBox::StandardButton answer; } cases[] = {
        {"panel shown", false, false, QMessageBox::NoButton}, {"panel hidden there", true, false, QMessageBox::NoButton},
        {"modified, discarded", false, true, QMessageBox::No}, {"modified, cancelled", false, true, QMessageBox::Cancel}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const bool closes = c.answer != QMessageBox::Cancel;
        TearDown(), SetUp(); // a fresh main window for each case
        AddDocuments(1, false);
        auto* doc = new StubDoc;
        doc->modified = c.modified;
        QPointer<StubDoc> watchDoc(doc);
        QPointer<QMainWindow> window = main->AddSecondaryTearOffDock(Qt::TopDockWidgetArea, doc, 0);
        StubDoc* panel = panels[0];
        main->TabifyTearOffDock(doc, panel);
        panel->Mode = TearOffTabDock::ModePanel;
        if (c.panelHiddenThere)
            panel->TabWidget->TabBar->DoTabClose(panel->TabWidget->indexOf(panel), true);
        prompt.answers.clear();
        if (c.answer != QMessageBox::NoButton)
            prompt.answers.enqueue(c.answer);

        window->close();
        FlushDeletes();
        FlushDeletes();

        EXPECT_EQ(window.isNull(), closes);
        EXPECT_EQ(watchDoc.isNull(), closes);
        ASSERT_TRUE(main->Docks.contains(panel));
        if (!closes) {
            EXPECT_EQ(HostOf(panel), static_cast<TearOffSecondary*>(window.data())->Host);
            continue;
        }
        EXPECT_EQ(HostOf(panel), TearOffMain::MainHost);
        EXPECT_TRUE(panel->isHidden());
        EXPECT_FALSE(panel->IsShownAsTab());
        for (TearOffDockWidget* group : main->DockWidgets)
            EXPECT_EQ(group->Host, TearOffMain::MainHost);
        panel->ShowOrHide(true, false);
        EXPECT_TRUE(panel->IsShownAsTab());
        EXPECT_EQ(panel->GetTopWindow(nullptr), main.get());
        EXPECT_TRUE(panel->isVisibleTo(main.get()));
    }
}

} // namespace
