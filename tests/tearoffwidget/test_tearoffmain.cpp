#include <memory>

#include <QCoreApplication>
#include <QLineEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>
#include <QTextEdit>
#include <gtest/gtest.h>

#include "scriptedprompt.h"
#include "tearoffstubs.h"
#include "tearoffwidget/tearoffdockwidget.h"
#include "tearoffwidget/tearofftabbar.h"
#include "tearoffwidget/tearofftabwidget.h"

namespace {

void FlushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

const QString Changed = QStringLiteral("Table \"%1\" was changed.\nDo you want to save it?");

class TearOffMainTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        main = std::make_unique<TestMain>();
        main->resize(800, 600);
        main->show();
        for (StubDoc*& panel : panels) {
            panel = new StubDoc;
            main->AddTearOffDock(Qt::BottomDockWidgetArea, panel, TearOffTabDock::ModePanel);
        }
    }
    void TearDown() override
    {
        main.reset();
        FlushDeletes();
    }

    // Documents tabified into one group of the main host.
    QList<StubDoc*> AddDocuments(int count, bool modified)
    {
        QList<StubDoc*> docs;
        for (int i = 0; i < count; ++i) {
            auto* doc = new StubDoc;
            doc->modified = modified;
            if (docs.isEmpty())
                main->AddTearOffDock(Qt::TopDockWidgetArea, doc, 0);
            else
                main->TabifyTearOffDock(docs.first(), doc);
            docs.append(doc);
        }
        return docs;
    }

    std::unique_ptr<TestMain> main;
    StubDoc* panels[2] = {};
    ScriptedPrompt prompt;
    PromptGuard guard{&prompt};
};

TEST_F(TearOffMainTest, YesToAllOverThreeModifiedDocumentsAsksOnceAndSavesAll)
{
    const QList<StubDoc*> docs = AddDocuments(3, true);
    prompt.answers.enqueue(QMessageBox::YesToAll);

    EXPECT_TRUE(main->CloseDocks(main.get(), false, true));

    ASSERT_EQ(prompt.asked.size(), 1);
    EXPECT_EQ(prompt.asked[0].parent, main.get());
    EXPECT_EQ(prompt.asked[0].title, "Close confirmation");
    EXPECT_EQ(prompt.asked[0].text, Changed.arg(docs[0]->windowTitle()));
    EXPECT_EQ(prompt.asked[0].buttons, QMessageBox::Yes | QMessageBox::YesToAll | QMessageBox::No |
                                           QMessageBox::NoToAll | QMessageBox::Cancel);
    EXPECT_EQ(prompt.asked[0].defaultButton, QMessageBox::NoButton);
    for (StubDoc* doc : docs) {
        EXPECT_EQ(doc->saves, 1);
        EXPECT_EQ(doc->discards, 0);
        EXPECT_EQ(doc->removed, 1);
    }
    // Close-all keeps the permanent panels.
    ASSERT_EQ(main->Docks.size(), 2);
    EXPECT_EQ(main->Docks[0], panels[0]);
    FlushDeletes();
}

TEST_F(TearOffMainTest, FailedSaveUnderYesToAllStopsTheCloseAll)
{
    QList<StubDoc*> docs = AddDocuments(3, true);
    docs[1]->saveSucceeds = false;
    prompt.answers.enqueue(QMessageBox::YesToAll);
    EXPECT_FALSE(main->CloseDocks(main.get(), false, false));
    // The first was saved and closed; the one whose save failed and the
    // rest stay open.
    EXPECT_FALSE(main->Docks.contains(docs[0]));
    EXPECT_TRUE(main->Docks.contains(docs[1]));
    EXPECT_TRUE(main->Docks.contains(docs[2]));
    EXPECT_EQ(docs[1]->removed, 0);
    EXPECT_EQ(docs[2]->saves + docs[2]->discards, 0);
    FlushDeletes();
}

TEST_F(TearOffMainTest, FailedSaveAfterYesKeepsTheTab)
{
    QList<StubDoc*> docs = AddDocuments(1, true);
    docs[0]->saveSucceeds = false;
    prompt.answers.enqueue(QMessageBox::Yes);
    docs[0]->TabWidget->TabBar->DoTabClose(docs[0]->TabWidget->indexOf(docs[0]), true);
    EXPECT_EQ(docs[0]->saves, 1);
    EXPECT_EQ(docs[0]->removed, 0);
    EXPECT_TRUE(main->Docks.contains(docs[0]));
    EXPECT_GE(docs[0]->TabWidget->indexOf(docs[0]), 0);
}

TEST_F(TearOffMainTest, NoToAllDiscardsEveryModifiedDocument)
{
    const QList<StubDoc*> docs = AddDocuments(3, true);
    prompt.answers.enqueue(QMessageBox::NoToAll);
    EXPECT_TRUE(main->CloseDocks(main.get(), false, true));
    EXPECT_EQ(prompt.asked.size(), 1);
    for (StubDoc* doc : docs)
        EXPECT_EQ(doc->discards, 1);
}

TEST_F(TearOffMainTest, OneModifiedDocumentGetsThreeButtons)
{
    QList<StubDoc*> docs = AddDocuments(2, false);
    docs[1]->modified = true;
    prompt.answers.enqueue(QMessageBox::Yes);
    EXPECT_TRUE(main->CloseDocks(main.get(), false, true));
    ASSERT_EQ(prompt.asked.size(), 1);
    EXPECT_EQ(prompt.asked[0].buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    EXPECT_EQ(docs[0]->saves, 0); // not modified and closes silently
    EXPECT_EQ(docs[1]->saves, 1);
}

TEST_F(TearOffMainTest, CancelStopsTheCloseAndKeepsTheRest)
{
    QList<StubDoc*> docs = AddDocuments(3, false);
    docs[1]->modified = true;
    prompt.answers.enqueue(QMessageBox::Cancel);
    EXPECT_FALSE(main->CloseDocks(main.get(), false, false));
    // The first closed before the question; the others stay.
    EXPECT_EQ(main->Docks.size(), 4);
    EXPECT_FALSE(main->Docks.contains(docs[0]));
    EXPECT_EQ(docs[1]->saves + docs[1]->discards, 0);
}

TEST_F(TearOffMainTest, RefusingDocumentStopsTheClose)
{
    QList<StubDoc*> docs = AddDocuments(1, false);
    docs[0]->silent = false;
    docs[0]->mayClose = false;
    EXPECT_FALSE(main->CloseDocks(main.get(), false, false));
    EXPECT_TRUE(main->Docks.contains(docs[0]));
}

TEST_F(TearOffMainTest, SaveOnlyAsksButClosesNothing)
{
    QList<StubDoc*> docs = AddDocuments(2, true);
    prompt.answers.enqueue(QMessageBox::Yes);
    prompt.answers.enqueue(QMessageBox::No);
    EXPECT_TRUE(main->CloseDocks(main.get(), true, false));
    EXPECT_EQ(prompt.asked.size(), 2);
    EXPECT_EQ(docs[0]->saves, 1);
    EXPECT_EQ(docs[1]->discards, 1);
    EXPECT_EQ(main->Docks.size(), 4);
}

TEST_F(TearOffMainTest, ClosingTheWindowClosesThePanelsToo)
{
    QPointer<StubDoc> panel = panels[0];
    EXPECT_TRUE(main->close());
    EXPECT_EQ(main->saveDocks, 1);
    EXPECT_EQ(main->closeAccepted, 1);
    EXPECT_TRUE(main->Docks.isEmpty());
    FlushDeletes();
    EXPECT_TRUE(panel.isNull());
}

TEST_F(TearOffMainTest, CancelledWindowCloseKeepsTheWindow)
{
    AddDocuments(1, true);
    prompt.answers.enqueue(QMessageBox::Cancel);
    EXPECT_FALSE(main->close());
    EXPECT_TRUE(main->isVisible());
    EXPECT_EQ(main->closeAccepted, 0);
}

TEST_F(TearOffMainTest, PanelsHideAndShowAgain)
{
    StubDoc* panel = panels[1];
    TearOffTabWidget* tabs = panel->TabWidget;
    QSignalSpy spy(panel, &TearOffTabDock::CallShowOrHide);

    panel->ShowOrHide(false, false);
    EXPECT_TRUE(panel->isHidden());
    EXPECT_EQ(tabs->indexOf(panel), -1);
    EXPECT_EQ(panel->TabWidget, tabs); // keeps its tab widget
    EXPECT_EQ(panel->SavedWindow, main.get());

    panel->ShowOrHide(true, false);
    EXPECT_FALSE(panel->isHidden());
    EXPECT_GE(tabs->indexOf(panel), 0);
    EXPECT_TRUE(tabs->DockWidget->isVisible());
    EXPECT_EQ(panel->SavedWindow, nullptr);

    // Showing a dock that is shown does not add a second tab.
    panel->ShowOrHide(true, false);
    EXPECT_EQ(tabs->count(), 1);

    ASSERT_EQ(spy.count(), 3);
    EXPECT_FALSE(spy[0][0].toBool());
    EXPECT_TRUE(spy[1][0].toBool());
}

TEST_F(TearOffMainTest, PanelCloseButtonOnlyHides)
{
    StubDoc* panel = panels[0];
    QSignalSpy spy(panel, &TearOffTabDock::CallShowOrHide);
    TearOffTabBar* bar = panel->TabWidget->TabBar;
    emit bar->tabCloseRequested(bar->currentIndex());
    EXPECT_TRUE(panel->isHidden());
    EXPECT_TRUE(main->Docks.contains(panel));
    ASSERT_EQ(spy.count(), 1);
    EXPECT_FALSE(spy[0][0].toBool());
}

TEST_F(TearOffMainTest, ModifiedDocumentCloseButtonAsksWithThreeButtons)
{
    QList<StubDoc*> docs = AddDocuments(2, true);
    TearOffTabBar* bar = docs[0]->TabWidget->TabBar;
    prompt.answers.enqueue(QMessageBox::Cancel);
    emit bar->tabCloseRequested(0);
    ASSERT_EQ(prompt.asked.size(), 1);
    EXPECT_EQ(prompt.asked[0].parent, bar);
    EXPECT_EQ(prompt.asked[0].buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    EXPECT_EQ(bar->count(), 2);

    prompt.answers.enqueue(QMessageBox::No);
    emit bar->tabCloseRequested(0);
    EXPECT_EQ(docs[0]->discards, 1);
    EXPECT_EQ(bar->count(), 1);
    EXPECT_FALSE(main->Docks.contains(docs[0]));
}

TEST_F(TearOffMainTest, LastDocumentClosedShowsPlaceholderAndLeavesNoCurrentDock)
{
    QList<StubDoc*> docs = AddDocuments(1, false);
    EXPECT_FALSE(main->Placeholder->isVisibleTo(main.get()));
    EXPECT_EQ(TearOffMain::CurrentDock, docs[0]);
    docs[0]->TabWidget->TabBar->DoTabClose(0, true);
    EXPECT_TRUE(main->Placeholder->isVisibleTo(main.get()));
    EXPECT_EQ(TearOffMain::CurrentDock, nullptr);
    EXPECT_EQ(docs[0]->removed, 1);
}

TEST_F(TearOffMainTest, ClosingOneOfTwoGroupsMakesTheOtherCurrent)
{
    QList<StubDoc*> first = AddDocuments(1, false);
    QList<StubDoc*> second = AddDocuments(1, false);
    EXPECT_EQ(TearOffMain::CurrentDock, second[0]);
    second[0]->TabWidget->TabBar->DoTabClose(0, false);
    EXPECT_EQ(TearOffMain::CurrentDock, first[0]);
}

TEST_F(TearOffMainTest, SetTabActiveOnTheCurrentDockDoesNothing)
{
    QList<StubDoc*> docs = AddDocuments(1, false);
    const int updates = main->updateActions;
    const int activated = docs[0]->activated;
    main->SetTabActive(docs[0], false);
    EXPECT_EQ(main->updateActions, updates);
    EXPECT_EQ(docs[0]->activated, activated);
}

TEST_F(TearOffMainTest, ActivationCallsTheHooksOfOtherGroups)
{
    QList<StubDoc*> first = AddDocuments(2, false);
    QList<StubDoc*> second = AddDocuments(1, false);
    const int before = first[0]->deactivated;
    main->SetTabActive(first[1], false);
    EXPECT_EQ(TearOffMain::CurrentDock, first[1]);
    EXPECT_EQ(first[1]->TabWidget->currentWidget(), first[1]);
    EXPECT_EQ(second[0]->deactivated, 1);
    // The other tab of the active group gets no call.
    EXPECT_EQ(first[0]->deactivated, before);
}

TEST_F(TearOffMainTest, SplittingTheOnlyTabDoesNothing)
{
    QList<StubDoc*> docs = AddDocuments(1, false);
    const int groups = main->DockWidgets.size();
    main->SplitOneTearOffDock(docs[0], Qt::Horizontal);
    EXPECT_EQ(main->DockWidgets.size(), groups);
}

TEST_F(TearOffMainTest, SplittingMovesTheDockIntoANewGroup)
{
    QList<StubDoc*> docs = AddDocuments(2, false);
    TearOffTabWidget* old = docs[1]->TabWidget;
    main->SplitOneTearOffDock(docs[1], Qt::Vertical);
    EXPECT_NE(docs[1]->TabWidget, old);
    EXPECT_EQ(old->count(), 1);
    EXPECT_EQ(docs[1]->TabWidget->count(), 1);
    EXPECT_EQ(TearOffMain::CurrentDock, docs[1]);
}

TEST_F(TearOffMainTest, FailedDocumentIsDropped)
{
    auto* doc = new StubDoc;
    doc->OpenErrorMode = 1;
    QPointer<StubDoc> watch = doc;
    main->AddTearOffDock(Qt::TopDockWidgetArea, doc, 0);
    EXPECT_FALSE(main->Docks.contains(doc));
    FlushDeletes();
    EXPECT_TRUE(watch.isNull());
}

TEST_F(TearOffMainTest, FocusInsideADocumentMakesItCurrent)
{
    QList<StubDoc*> first = AddDocuments(1, false);
    QList<StubDoc*> second = AddDocuments(1, false);
    auto* edit = new QLineEdit(first[0]);
    first[0]->setCentralWidget(edit);
    main->activateWindow();
    edit->setFocus();
    main->onFocusChanged(nullptr, edit);
    EXPECT_EQ(TearOffMain::CurrentDock, first[0]);
    (void)second;
}

TEST_F(TearOffMainTest, DocksAreNamedByTheCounter)
{
    EXPECT_EQ(panels[0]->objectName(), "LRTabBase0");
    EXPECT_EQ(panels[1]->objectName(), "LRTabBase1");
    EXPECT_EQ(panels[1]->windowTitle(), "LRTabBase1");
    EXPECT_EQ(panels[0]->sizeHint().height(), 100);
    QList<StubDoc*> docs = AddDocuments(1, false);
    EXPECT_EQ(docs[0]->sizeHint().height(), 1000);
}

TEST_F(TearOffMainTest, TopWindowOfMainAndSecondaryHosts)
{
    QList<StubDoc*> docs = AddDocuments(1, false);
    int secondary = -1;
    EXPECT_EQ(docs[0]->GetTopWindow(&secondary), main.get());
    EXPECT_EQ(secondary, 0);
    EXPECT_EQ(docs[0]->GetSecondaryIfLast(), nullptr);

    // A secondary window as the drop engine builds it: a container with a
    // host inside.
    auto* container = new QMainWindow(main.get());
    container->setObjectName("LRCtmWin7");
    auto* host = new QMainWindow(container);
    host->setObjectName("LRTabWin7");
    container->setCentralWidget(host);
    auto* doc = new StubDoc;
    auto* group = new TearOffDockWidget(doc, host, container);
    main->DockWidgets.append(group);
    host->addDockWidget(Qt::TopDockWidgetArea, group);
    container->show();

    EXPECT_EQ(doc->GetTopWindow(&secondary), container);
    EXPECT_EQ(secondary, 1);
    EXPECT_EQ(doc->GetSecondaryIfLast(), container);

    // Closing its last tab hides the emptied window.
    group->TabWidget->TabBar->DoTabClose(0, true);
    EXPECT_TRUE(container->isHidden());
}

TEST_F(TearOffMainTest, ContextMenuGoesToTheDockUnderThePoint)
{
    QList<StubDoc*> docs = AddDocuments(2, false);
    TearOffTabBar* bar = docs[0]->TabWidget->TabBar;
    const QPoint onSecond = bar->tabRect(1).center();
    emit bar->customContextMenuRequested(onSecond);
    ASSERT_EQ(docs[1]->menus.size(), 1);
    EXPECT_EQ(docs[1]->menus[0], bar->mapToGlobal(onSecond));
    emit bar->customContextMenuRequested(QPoint(0, 0));
    emit bar->customContextMenuRequested(QPoint(5, bar->tabRect(0).bottom() + 40));
    EXPECT_EQ(docs[0]->menus.size() + docs[1]->menus.size(), 1);
}

TEST_F(TearOffMainTest, ClickingATabMakesItsDockCurrent)
{
    QList<StubDoc*> docs = AddDocuments(2, false);
    TearOffTabBar* bar = docs[0]->TabWidget->TabBar;
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->tabRect(0).center());
    EXPECT_EQ(TearOffMain::CurrentDock, docs[0]);
    EXPECT_EQ(docs[0]->TabWidget->currentIndex(), 0);
}

TEST_F(TearOffMainTest, SecondMainWindowIsRefused)
{
    EXPECT_DEATH({ TestMain second; }, "");
}

} // namespace
