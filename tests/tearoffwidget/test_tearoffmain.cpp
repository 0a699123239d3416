// The tear-off main window: closing with questions, panels, the current
// dock, splitting, secondary windows, the active-tab borders and the trace.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QImage>
#include <QLineEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QTabBar>
#include <QTest>
#include <QTextEdit>
#include <gtest/gtest.h>

#include "kxviewer/shellservices.h"
#include "scriptedprompt.h"
#include "tearoffstubs.h"
#include "tearoffwidget/tearoffdockwidget.h"
#include "tearoffwidget/tearofftabbar.h"
#include "tearoffwidget/tearofftabwidget.h"
#include "tests/utils/kx/kx_channel_capture.h"

namespace {


const QString Changed = QStringLiteral("Table \"%1\" was changed.\nDo you want to save it?");

class TearOffMainTest : public MainWithPanelsTest {
protected:
    ScriptedPrompt prompt;
    PromptGuard guard{&prompt};
};

// Closing all documents of the main window, or only saving them. Per
// document: 'm' modified, 'f' modified and its save fails, '.' unmodified,
// 'r' refuses to close. Outcome: 's' saved and closed, 'd' discarded and
// closed, 'c' closed silently, 'o' open and untouched, 'S' saved and 'D'
// discarded but kept open, 'F' save failed and kept open.
TEST_F(TearOffMainTest, CloseDocksAsksAboutModifiedDocuments)
{
    using B = QMessageBox;
    const B::StandardButtons three = B::Yes | B::No | B::Cancel;
    const B::StandardButtons five = B::Yes | B::YesToAll | B::No | B::NoToAll | B::Cancel;
    const struct {
        const char* docs;
        QList<B::StandardButton> answers;
        bool saveOnly, keepRest, result;
        int asked;
        B::StandardButtons buttons;
        const char* outcome;
    } cases[] = {
        // One question about the first; close-all keeps the permanent panels.
        {"mmm", {B::YesToAll}, false, true, true, 1, five, "sss"},
        {"mmm", {B::NoToAll}, false, true, true, 1, five, "ddd"},
        // A failed save under "Yes to all" stops the close-all there, before
        // anything closes.
        {"mfm", {B::YesToAll}, false, false, false, 1, five, "SFo"},
        {".m", {B::Yes}, false, true, true, 1, three, "cs"},
        // Every question comes before anything is saved or closed: a cancel
        // or a refusal at any of them leaves every document as it was.
        {".m.", {B::Cancel}, false, false, false, 1, three, "ooo"},
        {"mmm", {B::Yes, B::No, B::Cancel}, false, false, false, 3, five, "ooo"},
        {"mmm", {B::Yes, B::No, B::Cancel}, false, true, false, 3, five, "ooo"},
        {"mr", {B::No}, false, false, false, 1, three, "oo"},
        {"mmm", {B::No, B::No, B::No}, false, true, true, 3, five, "ddd"},
        // A failed save stops there; the later answers are not carried out
        // and the documents saved before it stay open.
        {"mfm", {B::Yes, B::Yes, B::No}, false, false, false, 3, five, "SFo"},
        // A document let go before a failed save stays open as it was.
        {"mfm", {B::No, B::Yes, B::Yes}, false, false, false, 3, five, "oFo"},
        {"r", {}, false, false, false, 0, {}, "o"},
        {"mm", {B::Yes, B::No}, true, false, true, 2, five, "SD"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.docs);
        TearDown(); // a fresh window for each case
        SetUp();
        QList<StubDoc*> docs = AddDocuments(int(strlen(c.docs)), false);
        QString firstModified;
        for (int i = 0; i < docs.size(); ++i) {
            const char kind = c.docs[i];
            docs[i]->modified = kind == 'm' || kind == 'f';
            docs[i]->saveSucceeds = kind != 'f';
            docs[i]->silent = docs[i]->mayClose = kind != 'r';
            if (docs[i]->modified && firstModified.isEmpty())
                firstModified = docs[i]->windowTitle();
        }
        prompt.asked.clear();
        prompt.answers.clear();
        for (B::StandardButton answer : c.answers)
            prompt.answers.enqueue(answer);

        EXPECT_EQ(main->CloseDocks(main.get(), c.saveOnly, c.keepRest), c.result);

        ASSERT_EQ(prompt.asked.size(), c.asked);
        if (c.asked) {
            EXPECT_EQ(prompt.asked[0].parent, main.get());
            EXPECT_EQ(prompt.asked[0].title, "Close confirmation");
            EXPECT_EQ(prompt.asked[0].text, Changed.arg(firstModified));
            EXPECT_EQ(prompt.asked[0].buttons, c.buttons);
            EXPECT_EQ(prompt.asked[0].defaultButton, B::NoButton);
        }
        QList<TearOffTabDock*> open = {panels[0], panels[1]};
        for (int i = 0; i < docs.size(); ++i) {
            const char o = c.outcome[i];
            SCOPED_TRACE(i);
            EXPECT_EQ(docs[i]->saves, strchr("sSF", o) ? 1 : 0);
            EXPECT_EQ(docs[i]->discards, strchr("dD", o) ? 1 : 0);
            EXPECT_EQ(docs[i]->removed, strchr("sdc", o) ? 1 : 0);
            if (!strchr("sdc", o))
                open.append(docs[i]);
        }
        EXPECT_EQ(main->Docks, open);
    }
}

// Cancel keeps the window and the last layout written; once the question is
// answered the layout is written after the save, while every dock is still
// there, and the panels close too.
TEST_F(TearOffMainTest, WindowCloseClosesThePanelsUnlessCancelled)
{
    QList<StubDoc*> docs = AddDocuments(1, true);
    prompt.answers.enqueue(QMessageBox::Cancel);
    EXPECT_FALSE(main->close());
    EXPECT_TRUE(main->isVisible());
    EXPECT_EQ(main->closeAccepted, 0);
    EXPECT_EQ(main->saveDocks, 0);

    QPointer<StubDoc> panel = panels[0];
    int savesAtLayout = -1;
    int docksAtLayout = -1;
    main->onSaveDocks = [&] {
        savesAtLayout = docs[0]->saves;
        docksAtLayout = main->Docks.size();
    };
    prompt.answers.enqueue(QMessageBox::Yes);
    EXPECT_TRUE(main->close());
    EXPECT_EQ(main->saveDocks, 1);
    EXPECT_EQ(savesAtLayout, 1);
    EXPECT_EQ(docksAtLayout, 3);
    EXPECT_EQ(main->closeAccepted, 1);
    EXPECT_TRUE(main->Docks.isEmpty());
    FlushDeletes();
    EXPECT_TRUE(panel.isNull());
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

TEST_F(TearOffMainTest, PanelsHideAndShowAgain)
{
    StubDoc* panel = panels[1];
    TearOffTabWidget* tabs = panel->TabWidget;
    QSignalSpy spy(panel, &TearOffTabDock::CallShowOrHide);
    // The close button only hides.
    emit tabs->TabBar->tabCloseRequested(tabs->TabBar->currentIndex());
    EXPECT_TRUE(panel->isHidden());
    EXPECT_TRUE(main->Docks.contains(panel));
    panel->ShowOrHide(true, false);

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

    QList<bool> shown;
    for (const QList<QVariant>& call : spy)
        shown.append(call[0].toBool());
    EXPECT_EQ(shown, (QList<bool>{false, true, false, true, true}));
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

// A tab closed by another road while its own close asks about saving is
// done with: the answer closes no other tab in its place.
TEST_F(TearOffMainTest, ATabClosedWhileItsCloseAsksClosesNoOther)
{
    QList<StubDoc*> docs = AddDocuments(2, true);
    TearOffTabBar* bar = docs[0]->TabWidget->TabBar;
    const QPointer<StubDoc> first(docs[0]);
    prompt.inTheTurn = [&] {
        bar->DoTabClose(bar->TabWidget->indexOf(first), false);
        FlushDeletes();
    };
    prompt.answers.enqueue(QMessageBox::No);
    bar->DoTabClose(bar->TabWidget->indexOf(docs[0]), true);
    EXPECT_TRUE(first.isNull());
    EXPECT_TRUE(main->Docks.contains(docs[1]));
    EXPECT_EQ(docs[1]->discards, 0);
    EXPECT_EQ(bar->TabWidget->indexOf(docs[1]), 0);
}

TEST_F(TearOffMainTest, ClosingAGroupMakesTheOtherCurrentAndTheLastShowsThePlaceholder)
{
    StubDoc* first = AddDocuments(1, false)[0];
    StubDoc* second = AddDocuments(1, false)[0];
    EXPECT_EQ(TearOffMain::CurrentDock, second);
    second->TabWidget->TabBar->DoTabClose(0, false);
    EXPECT_EQ(TearOffMain::CurrentDock, first);
    EXPECT_FALSE(main->Placeholder->isVisibleTo(main.get()));
    first->TabWidget->TabBar->DoTabClose(0, true);
    EXPECT_TRUE(main->Placeholder->isVisibleTo(main.get()));
    EXPECT_EQ(TearOffMain::CurrentDock, nullptr);
    EXPECT_EQ(first->removed, 1);
}

TEST_F(TearOffMainTest, ActivationCallsTheHooksOfOtherGroupsOnly)
{
    QList<StubDoc*> first = AddDocuments(2, false);
    StubDoc* second = AddDocuments(1, false)[0];
    // Activating the current dock does nothing.
    const int updates = main->updateActions;
    const int activated = second->activated;
    main->SetTabActive(second, false);
    EXPECT_EQ(main->updateActions, updates);
    EXPECT_EQ(second->activated, activated);

    const int before = first[0]->deactivated;
    main->SetTabActive(first[1], false);
    EXPECT_EQ(TearOffMain::CurrentDock, first[1]);
    EXPECT_EQ(first[1]->TabWidget->currentWidget(), first[1]);
    EXPECT_EQ(second->deactivated, 1);
    // The other tab of the active group gets no call.
    EXPECT_EQ(first[0]->deactivated, before);
}

TEST_F(TearOffMainTest, SplittingMovesTheDockIntoANewGroupUnlessItIsTheOnlyTab)
{
    QList<StubDoc*> docs = AddDocuments(2, false);
    TearOffTabWidget* old = docs[1]->TabWidget;
    main->SplitOneTearOffDock(docs[1], Qt::Vertical);
    EXPECT_NE(docs[1]->TabWidget, old);
    EXPECT_EQ(old->count(), 1);
    EXPECT_EQ(docs[1]->TabWidget->count(), 1);
    EXPECT_EQ(TearOffMain::CurrentDock, docs[1]);
    const int groups = main->DockWidgets.size();
    main->SplitOneTearOffDock(docs[1], Qt::Horizontal);
    EXPECT_EQ(main->DockWidgets.size(), groups);
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
    AddDocuments(1, false);
    auto* edit = new QLineEdit(first[0]);
    first[0]->setCentralWidget(edit);
    main->activateWindow();
    edit->setFocus();
    main->onFocusChanged(nullptr, edit);
    EXPECT_EQ(TearOffMain::CurrentDock, first[0]);
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

// The colour of the selected tab's top border, 1 pixel below its top.
QColor SelectedTopBorder(TearOffTabWidget* tabs)
{
    QTabBar* bar = tabs->tabBar();
    const QRect tab = bar->tabRect(bar->currentIndex());
    return bar->grab().toImage().pixelColor(tab.center().x(), tab.top() + 1);
}

TEST_F(TearOffMainTest, ActiveGroupCarriesTheOrangeBorderOthersGrey)
{
    StubDoc* panel = panels[0];
    StubDoc* first = AddDocuments(1, false)[0];
    StubDoc* second = AddDocuments(1, false)[0];
    EXPECT_EQ(SelectedTopBorder(second->TabWidget), QColor("#f4a460"));
    EXPECT_EQ(SelectedTopBorder(first->TabWidget), QColor("#d7d7d7"));
    EXPECT_EQ(SelectedTopBorder(panel->TabWidget), QColor("#d7d7d7"));

    main->SetTabActive(panel, false);
    EXPECT_EQ(SelectedTopBorder(panel->TabWidget), QColor("#cccc00"));
    EXPECT_EQ(SelectedTopBorder(second->TabWidget), QColor("#d7d7d7"));
}

TEST_F(TearOffMainTest, StyleSheetsOfTheThreeLooks)
{
    const QString active = TearOffTabWidget::StyleSheet(TearOffTabWidget::Look::Active);
    EXPECT_EQ(active, "#TearOffTabBar::tab:selected {background: #d7d7d7; border-left: 1px solid #e1e1e1; "
                      "border-top: 4px solid #f4a460; padding: 4} #TearOffTabBar::tab:!selected  {background: "
                      "#f3f3f3; border-left: 1px solid #e1e1e1;border-top: 4px solid #f3f3f3; padding: 4} "
                      "QTabWidget::pane {border:3px solid #d7d7d7}");
    EXPECT_EQ(TearOffTabWidget::StyleSheet(TearOffTabWidget::Look::ActivePanel),
              QString(active).replace("#f4a460", "#cccc00"));
    EXPECT_EQ(TearOffTabWidget::StyleSheet(TearOffTabWidget::Look::Inactive),
              QString(active).replace("#f4a460", "#d7d7d7"));
}

// Docks record their construction and destruction; operations trace their
// entry, their exit and the new current dock.
TEST_F(TearOffMainTest, DocksAndOperationsWriteTheTraceChannel)
{
    kxtest::ChannelCapture capture({&KxvTearoffChannel}, ZmLib::KX_LEVEL_DEBUG);
    auto* doc = new StubDoc;
    const uint64_t key = doc->Key;
    EXPECT_EQ(key, uint64_t(reinterpret_cast<uintptr_t>(doc)));
    main->AddTearOffDock(Qt::TopDockWidgetArea, doc, 0);
    const std::string name = doc->objectName().toStdString();
    delete doc;
    main->Docks.removeAll(doc);

    char hex[32];
    snprintf(hex, sizeof hex, "%llX", static_cast<unsigned long long>(key));
    std::vector<std::string> lines;
    for (const kxtest::ChannelEvent& e : kxtest::ChannelEvents()) {
        if (e.flags & (ZmLib::KXF_NEW_INSTANCE | ZmLib::KXF_DEL_INSTANCE)) {
            EXPECT_EQ(e.key, key);
            EXPECT_EQ(e.flags, (e.text.rfind("NEW", 0) == 0 ? ZmLib::KXF_NEW_INSTANCE : ZmLib::KXF_DEL_INSTANCE) |
                                   ZmLib::KXF_TEXT)
                << e.text;
        }
        lines.push_back((e.flags & ZmLib::KXF_FUNC_ENTER ? "enter " : e.flags & ZmLib::KXF_FUNC_LEAVE ? "leave " : "")
                        + e.function + (e.function.empty() || e.text.empty() ? "" : ": ") + e.text);
    }
    const std::vector<std::string> expected = {
        // The name is taken before the constructor sets it.
        "NEW INSTANCE: , KEY=" + std::string(hex),
        "enter TearOffMain::AddTearOffDock",
        "enter TearOffMain::CheckCentralWidgetVisibility",
        "leave TearOffMain::CheckCentralWidgetVisibility",
        "enter TearOffMain::SetTabActive",
        "SetTabActive: Set TearOffMain::CurrentDock = " + name,
        "leave TearOffMain::SetTabActive",
        "leave TearOffMain::AddTearOffDock",
        "DEL INSTANCE: , KEY=" + std::string(hex),
    };
    EXPECT_EQ(lines, expected);
}

} // namespace
