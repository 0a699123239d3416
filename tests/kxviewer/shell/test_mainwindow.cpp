#include <thread>

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>

#include "kxviewer/actiontable.h"
#include "kxviewer/kxvchannels.h"
#include "kxviewer/kxviewersecondary.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/prefdialog.h"
#include "kxviewer/prefpagegeneral.h"
#include "kxviewer/table/tabshell.h"
#include "kxviewer/systemlogplaintext.h"
#include "shellfixture.h"
#include "tearoffwidget/tearofftabbar.h"
#include "tearoffwidget/tearofftabdock.h"
#include "tearoffwidget/tearofftabwidget.h"
#include "tests/widgetmetrics.h"

using namespace shelltest;

namespace {

// Texts of a menu's or toolbar's entries; "-" for a separator, hidden ones
// in brackets.
QStringList Texts(const QWidget* owner)
{
    QStringList texts;
    for (QAction* action : owner->actions()) {
        QString text = action->isSeparator() ? QStringLiteral("-") : action->text();
        if (!action->isSeparator() && !action->isVisible())
            text = "[" + text + "]";
        texts << text;
    }
    return texts;
}

QMenu* SubMenu(QWidget* owner, const QString& title)
{
    for (QAction* action : owner->actions())
        if (action->menu() != nullptr && action->text() == title)
            return action->menu();
    return nullptr;
}

} // namespace

using MainWindowMenus = MainWindowTest;

TEST_F(MainWindowMenus, MenuBarTree)
{
    QMenuBar* bar = window->menuBar();
    EXPECT_EQ(Texts(bar), (QStringList{"[]", "&File", "&Edit", "&Search", "&View", "&Tools", "&Help"}));
    EXPECT_EQ(Texts(bar->actions()[0]->menu()), QStringList{"&Bookmark"});

    EXPECT_EQ(Texts(SubMenu(bar, "&File")),
              (QStringList{"&New Blank Document", "&Open Document", "-", "&Close", "&Close All", "-", "&Save",
                           "&Save As...", "[&Save All]", "-", "&Import", "&Export", "-", "Recent &Files", "-",
                           "&Quit"}));
    EXPECT_EQ(Texts(SubMenu(SubMenu(bar, "&File"), "&Export")),
              (QStringList{"&Export to PDF", "[&Export to Excel]", "&Export to CSV", "&Export to TXT"}));
    EXPECT_EQ(Texts(SubMenu(bar, "&Edit")), (QStringList{"Copy", "Paste", "-", "Erase", "-", "Select All"}));
    EXPECT_EQ(Texts(SubMenu(bar, "&Search")),
              (QStringList{"&Find...", "Find &Next", "Find &Back", "-", "Previous Row/Point", "Next Row/Point",
                           "Previous Stop-point", "Next Stop-point", "Jump to start", "Jump to end",
                           "Previous Selection", "Next Selection", "Previous Bookmark", "Next Bookmark",
                           "Previous Highlight", "Next Highlight", "Previous Error", "Next Error"}));
    QMenu* view = SubMenu(bar, "&View");
    EXPECT_EQ(Texts(view), (QStringList{"Show Main Menu                    F10", "Show Main Toolbar", "&Toolbar",
                                        "&Panel's Toolbar", "[&Full Screen Mode]", "S&ystem Panels On/Off", "-",
                                        "&Move/Clone window"}));
    EXPECT_EQ(Texts(SubMenu(view, "&Panel's Toolbar")),
              (QStringList{"File", "Colorize", "Find", "Selection", "Navigate", "Copy", "View", "Reports",
                           "Informer"}));
    EXPECT_EQ(Texts(SubMenu(view, "&Move/Clone window")),
              (QStringList{"Dock Horizontally", "Dock Vertically", "Detach from Panel", "[Clone]",
                           "Attach to Main Panel", "-"}));
    EXPECT_EQ(Texts(SubMenu(view, "&Toolbar")),
              (QStringList{"Main", "File", "Edit", "Script", "View", "Reports", "Tools"}));
    EXPECT_EQ(Texts(SubMenu(bar, "&Tools")),
              (QStringList{"Function Chains", "Document Graph", "-", "&Import Formats", "&Preferences"}));
    const QStringList help = Texts(SubMenu(bar, "&Help"));
    ASSERT_EQ(help.size(), 6);
    EXPECT_EQ(help[0], "&Help");
    EXPECT_EQ(help[2], "-");
    EXPECT_EQ(help[3], "Check for Updates");
    EXPECT_EQ(help[5], "&About");
}

TEST_F(MainWindowMenus, SevenToolbars)
{
    const QStringList expected[MainWindow::MAIN_TOOLBAR_COUNT] = {
        {"&New Blank Document", "&Open Document", "[Online &Connection]", "[Database &Query]"},
        {"&Import", "&Export to CSV", "&Export to PDF", "[&Export to Excel]", "&Export to TXT", "-", "&Save",
         "&Save As...", "[&Save All]"},
        {"Copy", "Paste", "Erase"},
        {"Script On/Off", "Run script", "Stop script"},
        {"[&Full Screen Mode]", "S&ystem Panels On/Off", "Dock Horizontally", "Dock Vertically",
         "Detach from Panel", "Attach to Main Panel"},
        {"Function Chains", "Document Graph"},
        {"&Import Formats", "&Preferences", "-", "&About"},
    };
    for (int i = 0; i < MainWindow::MAIN_TOOLBAR_COUNT; ++i) {
        QToolBar* bar = window->MainToolbar(i);
        EXPECT_EQ(bar->windowTitle(), QString::fromLatin1(PrefGlobal::GlobalToolbarNames[i]));
        QStringList texts = Texts(bar);
        if (i == MainWindow::MAIN_TOOLBAR_COUNT - 1) {
            ASSERT_EQ(texts.size(), 5);
            texts.removeLast(); // Qt's What's-this action
        }
        EXPECT_EQ(texts, expected[i]) << i;
        EXPECT_TRUE(bar->isVisible()) << i;
    }
}

TEST_F(MainWindowMenus, ActionsOnlyForTheBoundIdsNotImplementedOnesHidden)
{
    for (int id : {1, 2, 5, 20, 30, 31, 37}) {
        ASSERT_NE(window->Actions[id], nullptr) << id;
        EXPECT_FALSE(window->Actions[id]->isVisible()) << id;
    }
    for (int id : {24, 35, 36, 66, 139})
        EXPECT_EQ(window->Actions[id], nullptr) << id;
    EXPECT_TRUE(window->Actions[ACT_FULL_SCREEN]->isCheckable());
    // The generic Linux key scheme has no full-screen key.
    EXPECT_TRUE(window->Actions[ACT_FULL_SCREEN]->shortcut().isEmpty());
    EXPECT_EQ(window->Actions[ACT_BOOKMARK]->shortcut(), QKeySequence(Qt::CTRL + Qt::Key_F2));
}

TEST_F(MainWindowMenus, EveryBindingNamesASlotOfTheWindow)
{
    const QMetaObject& meta = MainWindow::staticMetaObject;
    for (const ComActionBinding* b = MainWindowBindings; b->id >= 0; ++b) {
        const QByteArray slot = QMetaObject::normalizedSignature(b->slot + 1);
        EXPECT_GE(meta.indexOfSlot(slot.constData()), 0) << slot.constData();
    }
}

TEST_F(MainWindowMenus, BoundActionsReachTheirSlots)
{
    window->Actions[ACT_ABOUT]->trigger();
    window->Actions[1]->trigger();
    ASSERT_EQ(prompt.calls.size(), 2u);
    EXPECT_EQ(prompt.calls[0].title, "About KxViewer");
    EXPECT_TRUE(prompt.calls[0].text.startsWith("<P><b>KX Viewer</b> application for Linux x64\n</P><P>Version "));
    EXPECT_EQ(prompt.calls[1].title, "");
    EXPECT_EQ(prompt.calls[1].text, "NOT IMPLEMENTED!");
}

using MainWindowUpdate = MainWindowTest;

TEST_F(MainWindowUpdate, SystemDockCurrentAndNoDockCurrent)
{
    window->SetTabActive(MainWindow::SystemLogDock, false);
    ASSERT_TRUE(window->IsSystemDockCurrent());
    window->UpdateActions();
    EXPECT_TRUE(window->Actions[ACT_OPEN]->isEnabled());       // rule 0
    EXPECT_FALSE(window->Actions[ACT_SAVE]->isEnabled());      // rule 1
    EXPECT_FALSE(window->Actions[ACT_FIND]->isEnabled());      // rule 2
    EXPECT_TRUE(window->Actions[ACT_SCRIPT_PANEL]->isEnabled()); // rule 0
    EXPECT_FALSE(window->Actions[ACT_SCRIPT_RUN]->isEnabled()); // no script to run

    TearOffMain::CurrentDock = nullptr;
    EXPECT_FALSE(window->IsSystemDockCurrent());
    window->UpdateActions();
    EXPECT_TRUE(window->Actions[ACT_OPEN]->isEnabled());
    EXPECT_TRUE(window->Actions[ACT_CLOSE_ALL]->isEnabled());
    EXPECT_FALSE(window->Actions[ACT_SAVE]->isEnabled()); // nothing to save
    EXPECT_FALSE(window->Actions[ACT_FIND]->isEnabled());
    EXPECT_FALSE(window->Actions[ACT_COPY]->isEnabled());
}

TEST_F(MainWindowUpdate, ClosingTheLastDocumentDisablesItsCommands)
{
    window->NewBlankDocument();
    ASSERT_NE(window->CurrentTabBase(), nullptr);
    const int documentCommands[] = {ACT_FUNCTION_CHAINS, ACT_GRAPH, ACT_FIND, ACT_SAVE, ACT_SAVE_AS,
                                    ACT_EXPORT_PDF, ACT_EXPORT_CSV, ACT_EXPORT_TXT};
    for (int id : documentCommands)
        EXPECT_TRUE(window->Actions[id]->isEnabled()) << id;
    window->CloseAll();
    ASSERT_EQ(TearOffMain::CurrentDock, nullptr);
    int buttons = 0;
    for (int id : documentCommands) {
        EXPECT_FALSE(window->Actions[id]->isEnabled()) << id;
        // The toolbar buttons show the state.
        for (QToolBar* bar : window->findChildren<QToolBar*>())
            if (QWidget* button = bar->widgetForAction(window->Actions[id])) {
                EXPECT_FALSE(button->isEnabled()) << id;
                ++buttons;
            }
    }
    EXPECT_GE(buttons, 3);
    EXPECT_TRUE(window->Actions[ACT_OPEN]->isEnabled());
}

using MainWindowKeys = MainWindowTest;

TEST_F(MainWindowKeys, F10TogglesTheMenuBar)
{
    const bool saved = PrefGlobal::MainMenuShown;
    ASSERT_TRUE(window->menuBar()->isVisible());
    QTest::keyClick(window.get(), Qt::Key_F10);
    EXPECT_FALSE(window->menuBar()->isVisible());
    EXPECT_FALSE(PrefGlobal::MainMenuShown);
    EXPECT_FALSE(window->Actions[ACT_SHOW_MAIN_MENU]->isChecked());
    QTest::keyClick(window.get(), Qt::Key_F10);
    EXPECT_TRUE(window->menuBar()->isVisible());
    EXPECT_TRUE(PrefGlobal::MainMenuShown);
    EXPECT_TRUE(window->Actions[ACT_SHOW_MAIN_MENU]->isChecked());
    PrefGlobal::MainMenuShown = saved;
}

TEST_F(MainWindowKeys, MainToolbarsAllHiddenThenBackByTheirPreferences)
{
    const bool saved = PrefGlobal::GlobalToolbars[2];
    PrefGlobal::GlobalToolbars[2] = false;
    window->Actions[ACT_SHOW_MAIN_TOOLBAR]->trigger();
    for (int i = 0; i < MainWindow::MAIN_TOOLBAR_COUNT; ++i)
        EXPECT_TRUE(window->MainToolbar(i)->isHidden()) << i;
    EXPECT_FALSE(PrefGlobal::MainToolbarShown);
    window->Actions[ACT_SHOW_MAIN_TOOLBAR]->trigger();
    for (int i = 0; i < MainWindow::MAIN_TOOLBAR_COUNT; ++i)
        EXPECT_EQ(window->MainToolbar(i)->isHidden(), i == 2) << i;
    EXPECT_TRUE(PrefGlobal::MainToolbarShown);
    PrefGlobal::GlobalToolbars[2] = saved;
}

TEST_F(MainWindowKeys, PanelToolbarChoiceIsKept)
{
    const bool saved = PrefGlobal::BaseToolbars[0];
    QAction* file = window->PanelToolbarActions()[0];
    file->setChecked(!saved);
    EXPECT_EQ(PrefGlobal::BaseToolbars[0], !saved);
    file->setChecked(saved);
    EXPECT_EQ(PrefGlobal::BaseToolbars[0], saved);
}

using MainWindowMessages = MainWindowTest;

TEST_F(MainWindowMessages, InformationBoxAndItsRecord)
{
    EXPECT_EQ(MainWindow::Information("all done", true), int(QMessageBox::Ok));
    ASSERT_EQ(prompt.calls.size(), 1u);
    EXPECT_EQ(prompt.calls[0].icon, QMessageBox::Warning);
    EXPECT_EQ(prompt.calls[0].title, "Information");
    EXPECT_EQ(prompt.calls[0].text, "all done");
    EXPECT_EQ(prompt.calls[0].buttons, QMessageBox::Ok);
    EXPECT_EQ(prompt.calls[0].parent, window.get());
    EXPECT_EQ(LinesWith("Information: all done").size(), 1u);

    const int saved = KxvTearoffChannel.threshold;
    KxvTearoffChannel.threshold = 0;
    MainWindow::Information("quiet", false);
    KxvTearoffChannel.threshold = saved;
    ASSERT_EQ(prompt.calls.size(), 2u);
    EXPECT_EQ(prompt.calls[1].icon, QMessageBox::Information);
    EXPECT_TRUE(LinesWith("Information: quiet").empty());
}

TEST_F(MainWindowMessages, QuestionReturnsAndRecordsTheAnswer)
{
    prompt.answers.push_back(QMessageBox::No);
    EXPECT_EQ(MainWindow::Question("Sure?", QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes), 65536);
    ASSERT_EQ(prompt.calls.size(), 1u);
    EXPECT_EQ(prompt.calls[0].icon, QMessageBox::Question);
    EXPECT_EQ(prompt.calls[0].title, "Question");
    EXPECT_EQ(LinesWith("Question \"Sure?\". Answer: 65536").size(), 1u);
}

TEST_F(MainWindowMessages, StatusAlwaysRecorded)
{
    EXPECT_EQ(MainWindow::StatusBar->currentMessage(), "Ready");
    const int saved = KxvSyslogChannel.threshold;
    KxvSyslogChannel.threshold = -1;
    MainWindow::ShowStatus("Not found", false);
    KxvSyslogChannel.threshold = saved;
    EXPECT_EQ(MainWindow::StatusBar->currentMessage(), "Not found");
    EXPECT_EQ(LinesWith("status: Not found").size(), 1u);
    MainWindow::ShowReady();
    EXPECT_EQ(MainWindow::StatusBar->currentMessage(), "Ready");
    EXPECT_EQ(MainWindow::StatusBar->whatsThis(), "status");
}

TEST_F(MainWindowMessages, SystemLogEntriesAndTheirRecords)
{
    MainWindow::AddToSystemLog("first");
    MainWindow::AddToSystemLogNoTime("second");
    MainWindow::AddToSystemLogAndStatus("third");
    EXPECT_EQ(MainWindow::SystemLogView->toPlainText(), "first\nsecond\nthird");
    EXPECT_EQ(MainWindow::StatusBar->currentMessage(), "third");
    EXPECT_EQ(LinesWith("SYSLOG").size(), 4u);
    EXPECT_EQ(LinesWith("status: third").size(), 1u);
}

TEST_F(MainWindowMessages, ShellServicesArePluggedIn)
{
    EXPECT_EQ(KxvShell().MainWidget(), window.get());
    KxvShell().AddToSystemLog("from below", KxvShellServices::LOG_ICON_ARROW);
    KxvShell().ShowStatus("passing", false, 1000);
    EXPECT_EQ(KxvShell().Information("boxed", true), int(QMessageBox::Ok));
    EXPECT_EQ(MainWindow::SystemLogView->toPlainText(), "from below");
    EXPECT_EQ(MainWindow::StatusBar->currentMessage(), "passing");
    ASSERT_EQ(prompt.calls.size(), 1u);
    EXPECT_EQ(KxvTabShell().MainBindings(), MainWindowBindings);
    window.reset();
    EXPECT_EQ(KxvShell().MainWidget(), nullptr);
    EXPECT_EQ(KxvTabShell().MainBindings()[0].id, -1);
}

TEST_F(MainWindowMessages, DebugPanelTakesStreamLinesWhileShown)
{
    KX_NOTICE(KxvGuiChannel, "to the panel %d", 1);
    EXPECT_TRUE(MainWindow::DebugView->toPlainText().contains("to the panel 1"));
    MainWindow::DebugView->hide();
    KX_NOTICE(KxvGuiChannel, "to the panel %d", 2);
    MainWindow::DebugView->show();
    EXPECT_FALSE(MainWindow::DebugView->toPlainText().contains("to the panel 2"));
}

TEST_F(MainWindowMessages, FailureLinesShowTheErrorBox)
{
    KX_ERROR(KxvGuiChannel, "disk is %s", "full");
    ASSERT_EQ(prompt.calls.size(), 1u);
    EXPECT_EQ(prompt.calls[0].icon, QMessageBox::Critical);
    EXPECT_EQ(prompt.calls[0].title, "KxViewer Error");
    EXPECT_EQ(prompt.calls[0].parent, window.get());
    const QString text = prompt.calls[0].text;
    EXPECT_FALSE(text.startsWith("KX>>")) << qPrintable(text);
    EXPECT_TRUE(text.endsWith("]\ndisk is full")) << qPrintable(text);
}

TEST_F(MainWindowMessages, LinesFromOtherThreadsWaitForTheGuiThread)
{
    std::thread writer([] { KX_ERROR(KxvGuiChannel, "worker %s", "failed"); });
    writer.join();
    EXPECT_TRUE(prompt.calls.empty());
    EXPECT_FALSE(MainWindow::DebugView->toPlainText().contains("worker failed"));
    QCoreApplication::processEvents();
    ASSERT_EQ(prompt.calls.size(), 1u);
    EXPECT_TRUE(prompt.calls[0].text.endsWith("]\nworker failed")) << qPrintable(prompt.calls[0].text);
    EXPECT_TRUE(MainWindow::DebugView->toPlainText().contains("worker failed"));
}

TEST_F(MainWindowMessages, CopyOfAnEmptyPanelLeavesNoSelection)
{
    QApplication::clipboard()->setText("before");
    window->CopyDebug();
    EXPECT_EQ(QApplication::clipboard()->text(), "");
    EXPECT_FALSE(MainWindow::DebugView->textCursor().hasSelection());

    MainWindow::AddToSystemLog("one");
    MainWindow::AddToSystemLog("two");
    window->CopySystemLog();
    EXPECT_EQ(QApplication::clipboard()->text(), "one\ntwo");
    EXPECT_FALSE(MainWindow::SystemLogView->textCursor().hasSelection());
}

TEST_F(MainWindowMessages, SystemPanelsOffAndOn)
{
    QAction* panels = window->Actions[ACT_SYSTEM_PANELS];
    ASSERT_TRUE(panels->isChecked());
    panels->trigger();
    EXPECT_TRUE(MainWindow::SystemLogDock->isHidden());
    EXPECT_TRUE(MainWindow::DebugDock->isHidden());
    EXPECT_FALSE(panels->isChecked());
    panels->trigger();
    EXPECT_EQ(MainWindow::SystemLogDock->isHidden(), !PrefGlobal::PanelSystemLog);
    EXPECT_EQ(MainWindow::DebugDock->isHidden(), !PrefGlobal::PanelDebug);
    EXPECT_TRUE(panels->isChecked());
}

// Ok also drops the kept import-format editor, so that the next one is built
// with the new preferences.
TEST_F(MainWindowMessages, PreferencesShowAndHideTheSystemPanels)
{
    const struct {
        bool systemLog;
        bool debug;
    } cases[] = {{false, true}, {true, false}, {false, false}, {true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.systemLog << c.debug);
        prompt.onExec = nullptr;
        window->Actions[ACT_IMPORT_FORMATS]->trigger();
        ASSERT_NE(window->ImportEditor(), nullptr);
        prompt.dialogs.clear();
        prompt.onExec = [&c](QDialog* shown) {
            auto* dialog = qobject_cast<PrefDialog*>(shown);
            if (!dialog)
                return int(QDialog::Rejected);
            dialog->show();
            for (const auto& [box, wanted] : {std::make_pair(dialog->General->SystemLog, c.systemLog),
                                              std::make_pair(dialog->General->Debug, c.debug)}) {
                if (box->isChecked() != wanted)
                    QTest::mouseClick(box, Qt::LeftButton, {}, IndicatorCentre(box));
            }
            QTest::mouseClick(dialog->OkButton, Qt::LeftButton, {}, dialog->OkButton->rect().center());
            return int(QDialog::Accepted);
        };
        window->Actions[ACT_PREFERENCES]->trigger();
        EXPECT_EQ(prompt.dialogs, std::vector<QString>{QStringLiteral("Preferences")});
        EXPECT_EQ(PrefGlobal::PanelSystemLog, c.systemLog);
        EXPECT_EQ(PrefGlobal::PanelDebug, c.debug);
        EXPECT_EQ(MainWindow::SystemLogDock->isHidden(), !c.systemLog);
        EXPECT_EQ(MainWindow::DebugDock->isHidden(), !c.debug);
        EXPECT_EQ(window->ImportEditor(), nullptr);
    }
    prompt.onExec = nullptr;
}

TEST_F(MainWindowMessages, ClosingPanelTabsClearsTheCheckMarkWithTheLastOne)
{
    QAction* panels = window->Actions[ACT_SYSTEM_PANELS];
    TearOffTabWidget* group = MainWindow::SystemLogDock->TabWidget;
    ASSERT_NE(group, nullptr);
    ASSERT_EQ(group->count(), 2);
    group->TabBar->DoTabClose(group->indexOf(MainWindow::SystemLogDock), true);
    EXPECT_TRUE(MainWindow::SystemLogDock->isHidden());
    EXPECT_TRUE(panels->isChecked());
    group->TabBar->DoTabClose(group->indexOf(MainWindow::DebugDock), true);
    EXPECT_TRUE(MainWindow::DebugDock->isHidden());
    EXPECT_FALSE(panels->isChecked());
    panels->trigger();
    EXPECT_TRUE(panels->isChecked());
    EXPECT_FALSE(MainWindow::SystemLogDock->isHidden());
}

// "Detach from Panel" puts a panel into a window of the viewer's own
// secondary class; closing that window hands the panel back to the main
// window, hidden, where the System Log keeps taking entries and
// "S&ystem Panels On/Off" shows it again.
TEST_F(MainWindowMessages, DetachedPanelSurvivesItsWindowsClose)
{
    TearOffTabDock* log = MainWindow::SystemLogDock;
    window->SetTabActive(log, false);
    window->DockDetach();
    int secondary = 0;
    QPointer<QWidget> detached = log->GetTopWindow(&secondary);
    ASSERT_EQ(secondary, 1);
    EXPECT_NE(qobject_cast<KxViewerSecondary*>(detached.data()), nullptr);

    EXPECT_TRUE(detached->close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(detached.isNull());
    ASSERT_EQ(MainWindow::SystemLogDock, log);
    EXPECT_TRUE(window->Docks.contains(log));
    EXPECT_TRUE(log->isHidden());
    EXPECT_EQ(log->GetTopWindow(nullptr), window.get());
    MainWindow::AddToSystemLog("after the close");
    EXPECT_TRUE(MainWindow::SystemLogView->toPlainText().contains("after the close"));

    QAction* panels = window->Actions[ACT_SYSTEM_PANELS];
    if (panels->isChecked())
        panels->trigger();
    panels->trigger();
    EXPECT_FALSE(log->isHidden());
    EXPECT_EQ(log->GetTopWindow(nullptr), window.get());
}

TEST_F(MainWindowMessages, GraphNeedsATableDocument)
{
    window->SetTabActive(MainWindow::SystemLogDock, false);
    window->CreateGraph();
    ASSERT_EQ(prompt.calls.size(), 1u);
    EXPECT_EQ(prompt.calls[0].icon, QMessageBox::Warning);
    EXPECT_EQ(prompt.calls[0].text, "Current window is not a base table!");
}

TEST_F(MainWindowMessages, PanelContextMenus)
{
    window->SystemLogCustomMenuRequested(QPoint(5, 5));
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(Texts(menu), (QStringList{"Copy", "Clear contents"}));
    menu->close();

    window->DebugWidgetCustomMenuRequested(QPoint(5, 5));
    menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(Texts(menu), (QStringList{"Copy", "Clear contents", "-", "Open this in Table view"}));
    EXPECT_EQ(menu->actions()[3]->isEnabled(), PrefGlobal::CreateLogFile);
    menu->close();
}

TEST_F(MainWindowMessages, AfterTheCloseNothingIsWrittenToTheGoneWidgets)
{
    EXPECT_TRUE(window->close());
    EXPECT_EQ(MainWindow::SystemLogDock, nullptr);
    EXPECT_EQ(MainWindow::SystemLogView, nullptr);
    EXPECT_EQ(MainWindow::DebugView, nullptr);
    EXPECT_EQ(MainWindow::StatusBar, nullptr);
    Lines().clear();
    MainWindow::AddToSystemLog("late");
    MainWindow::ShowStatus("late status", false);
    EXPECT_EQ(LinesWith("late").size(), 2u);
}

TEST(SystemLogWithoutWindow, OnlyTheRecord)
{
    PrepareProcess();
    ASSERT_EQ(MainWindow::Instance(), nullptr);
    Lines().clear();
    MainWindow::AddToSystemLog("no window yet");
    EXPECT_EQ(LinesWith("no window yet").size(), 1u);
}
