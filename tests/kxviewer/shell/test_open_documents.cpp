// The main window with documents open: action states for the current dock,
// Ctrl+G, F10 and the menu keys from the table, the commands handed on to
// the current document, and saving one that was loaded only in part.
#include <algorithm>
#include <cerrno>
#include <cstring>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QDockWidget>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QSignalSpy>
#include <QMessageBox>
#include <QProgressDialog>
#include <QStatusBar>
#include <QTabBar>
#include <QTableWidget>
#include <QTest>
#include <QToolBar>

#include "kxlib/reader/filekxl.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/actiontable.h"
#include "kxviewer/docloader.h"
#include "kxviewer/kxvglobals.h"
#include "kxviewer/preftable.h"
#include "kxviewer/systemlogplaintext.h"
#include "kxviewer/mainwindowservices.h"
#include "kxviewer/table/tabactionids.h"
#include "kxviewer/table/tabtable.h"
#include "kxviewer/table/tabtableview.h"
#include "openfixture.h"
#include "tearoffwidget/tearofftabwidget.h"
#include "utils/common/inifile.h"
#include "utils/common/textio.h"

using namespace shelltest;

// Document actions under enable rules 2 and 3.
constexpr int COLORIZE = 36, GRID_ON_OFF = 125;

using DocumentCommands = OpenTest;

TEST_F(DocumentCommands, ActionStatesFollowTheCurrentDock)
{
    TabTable* tab = OpenRaw("states.kx", 50);
    ASSERT_NE(tab, nullptr);
    EXPECT_TRUE(window->Actions[ACT_SAVE]->isEnabled()); // rule 1
    EXPECT_TRUE(window->Actions[ACT_FIND]->isEnabled()); // rule 2
    EXPECT_TRUE(window->Actions[ACT_OPEN]->isEnabled()); // rule 0
    EXPECT_TRUE(tab->Actions[COLORIZE]->isEnabled());
    EXPECT_FALSE(tab->Actions[GRID_ON_OFF]->isEnabled());

    tab->GraphState = TabBase::GRAPH_IS_GRAPH;
    window->UpdateActions();
    EXPECT_TRUE(window->Actions[ACT_SAVE]->isEnabled());
    EXPECT_FALSE(window->Actions[ACT_FIND]->isEnabled());
    EXPECT_FALSE(tab->Actions[COLORIZE]->isEnabled());
    EXPECT_TRUE(tab->Actions[GRID_ON_OFF]->isEnabled());
    tab->GraphState = TabBase::GRAPH_NONE;

    window->SetTabActive(MainWindow::SystemLogDock, false);
    EXPECT_FALSE(window->Actions[ACT_SAVE]->isEnabled());
    EXPECT_FALSE(window->Actions[ACT_FIND]->isEnabled());
    EXPECT_TRUE(window->Actions[ACT_NEW_BLANK]->isEnabled());
}

// A click on the tab of another document of the same group makes it current
// and leaves the style of every widget alone: a switch that set the
// group's look again polished all widgets of all its tabs.
TEST_F(DocumentCommands, TabSwitchKeepsEveryWidgetsStyle)
{
    TabTable* first = OpenRaw("first.kx", 30);
    TabTable* second = OpenRaw("second.kx", 5);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    TearOffTabWidget* tabs = first->TabWidget;
    ASSERT_NE(tabs, nullptr);
    ASSERT_EQ(second->TabWidget, tabs);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));

    struct StyleWatch : QObject {
        int changes = 0;
        bool eventFilter(QObject*, QEvent* event) override
        {
            changes += event->type() == QEvent::StyleChange;
            return false;
        }
    } watch;
    for (TabTable* tab : {first, second})
        for (QWidget* widget : tab->findChildren<QWidget*>())
            widget->installEventFilter(&watch);
    QTabBar* bar = tabs->tabBar();
    for (TabTable* tab : {first, second, first}) {
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(tabs->indexOf(tab)).center());
        QCoreApplication::processEvents();
        EXPECT_EQ(window->CurrentDock, tab);
    }
    EXPECT_EQ(watch.changes, 0);
}

// Ctrl+G (to the row-number field) and F10 (the menu bar) reach the main
// window from the table, also when the document's group floats in a window
// of its own; each acts once. G alone, or Ctrl+G while the System Log is
// current, does nothing.
TEST_F(DocumentCommands, CtrlGAndF10FromTheTable)
{
    const bool savedMenu = PrefGlobal::MainMenuShown;
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        bool floating, logCurrent, acts;
        // Ctrl is let go before the key, as a quick hand does.
        bool modifierUpFirst;
    } cases[] = {
        {Qt::Key_G, Qt::ControlModifier, false, false, true, false},
        {Qt::Key_G, Qt::ControlModifier, false, false, true, true},
        {Qt::Key_G, Qt::NoModifier, false, false, false, false},
        {Qt::Key_G, Qt::ControlModifier, false, true, false, false},
        {Qt::Key_F10, Qt::NoModifier, false, false, true, false},
        {Qt::Key_G, Qt::ControlModifier, true, false, true, false},
        {Qt::Key_F10, Qt::NoModifier, true, false, true, false},
    };
    window->resize(1600, 1000); // wide enough for the toolbar that holds the field
    TabTable* tab = OpenRaw("keys.kx", 10);
    ASSERT_NE(tab, nullptr);
    auto* group = qobject_cast<QDockWidget*>(tab->TabWidget->parentWidget());
    ASSERT_NE(group, nullptr);
    for (const auto& c : cases) {
        SCOPED_TRACE(QKeySequence(int(c.key) | int(c.modifiers)).toString().toStdString());
        SCOPED_TRACE(c.floating ? "floating" : "docked");
        group->setFloating(c.floating);
        FocusTable(tab);
        if (c.logCurrent)
            window->SetTabActive(MainWindow::SystemLogDock, false);
        const bool menuShown = window->menuBar()->isVisible();
        if (c.modifierUpFirst) {
            QTest::keyPress(tab->View, c.key, c.modifiers);
            QTest::keyRelease(tab->View, Qt::Key_Control, Qt::NoModifier);
            QTest::keyRelease(QApplication::focusWidget(), c.key, Qt::NoModifier);
        } else {
            QTest::keyClick(tab->View, c.key, c.modifiers);
        }
        const bool toGoTo = c.acts && c.key == Qt::Key_G;
        const bool menuToggled = c.acts && c.key == Qt::Key_F10;
        EXPECT_EQ(tab->GoToEdit->hasFocus(), toGoTo);
        EXPECT_EQ(window->menuBar()->isVisible(), menuShown != menuToggled);
        EXPECT_EQ(PrefGlobal::MainMenuShown, menuShown != menuToggled);
    }
    PrefGlobal::MainMenuShown = savedMenu;
}

TEST_F(DocumentCommands, SaveAsAndSaveReachTheCurrentDocument)
{
    TabTable* tab = OpenRaw("source.kx", 30);
    ASSERT_NE(tab, nullptr);
    const QString target = dir.filePath("copy.kxl");
    Trigger(ACT_SAVE_AS, target);
    ASSERT_EQ(files.saveCalls.size(), 1u);
    EXPECT_EQ(files.saveCalls[0].caption, "Choose KXL file to save");
    ASSERT_TRUE(QFileInfo::exists(target));
    EXPECT_EQ(tab->SourceType, TabBase::SOURCE_KXL);
    EXPECT_EQ(tab->windowTitle(), "copy");
    EXPECT_EQ(Recent(), (QStringList{target, dir.filePath("source.kx")})); // the saved file heads the list

    // A document file saves in place without asking.
    const QDateTime written = QFileInfo(target).lastModified();
    tab->Table->SetModified(true);
    window->Actions[ACT_SAVE]->trigger();
    EXPECT_EQ(files.saveCalls.size(), 1u);
    EXPECT_GE(QFileInfo(target).lastModified(), written);
    EXPECT_FALSE(tab->Table->Modified());

    // The saved file opens again as a document file.
    Trigger(ACT_OPEN, target);
    ASSERT_EQ(Documents().size(), 2u);
    EXPECT_EQ(Documents()[1]->SourceType, TabBase::SOURCE_KXL);
    EXPECT_EQ(Documents()[1]->Table->RowCount(), 30);
}

// A save or an export that cannot create its file says why in one box, as
// the system words it, and shows no error box with a source line.
TEST_F(DocumentCommands, FailedSavesAndExportsSayWhy)
{
    TabTable* tab = OpenRaw("source.kx", 30);
    ASSERT_NE(tab, nullptr);
    QFile blocker(dir.filePath("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    const QString folder = dir.filePath("file") + "/";
    const QString notDirectory = QString::fromLocal8Bit(strerror(ENOTDIR));
    // lines: the System Log and the box, and for a save the status line,
    // which said "Saving document" before.
    const struct {
        int action;
        QString target, text;
        size_t lines;
    } cases[] = {
        {ACT_SAVE_AS, folder + "doc.kxl", "File " + folder + "doc.kxl not saved: " + notDirectory, 3},
        {ACT_EXPORT_CSV, folder + "rows.csv", "Can't create file: " + folder + "rows.csv: " + notDirectory, 2},
        {ACT_EXPORT_TXT, folder + "rows.txt", "Can't create file: " + folder + "rows.txt: " + notDirectory, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        files.calls.clear();
        Trigger(c.action, c.target);
        ASSERT_EQ(files.calls.size(), 1u);
        EXPECT_EQ(files.calls[0].icon, QMessageBox::Warning);
        EXPECT_EQ(files.calls[0].text, c.text);
        EXPECT_EQ(LinesWith(c.text.toStdString()).size(), c.lines);
    }
    EXPECT_EQ(tab->SourceType, TabBase::SOURCE_KX);
}

// Closing asks only after a change that a save would keep, and names the
// document without the title's change mark. A ".kxl" document changes with
// its rows, selections and bookmarks; a raw file with its rows, and with
// selections and bookmarks that only a ".kxl" document would keep. The keys
// are the user's.
TEST_F(DocumentCommands, CloseAsksOnlyAfterAChange)
{
    enum class Act { Nothing, MoveDown, SelectAll, Bookmark, EraseRow, SelectAllAndSave };
    const struct {
        const char* name;
        bool document; // the ".kxl" document, else the raw file it was saved from
        Act act;
        bool asks;
    } cases[] = {
        // The saved document comes last: its selection stays in the file.
        {"document untouched", true, Act::Nothing, false},
        {"document, current row moved", true, Act::MoveDown, false},
        {"document, rows selected", true, Act::SelectAll, true},
        {"document, bookmark set", true, Act::Bookmark, true},
        {"document, a row erased", true, Act::EraseRow, true},
        {"document, rows selected and saved", true, Act::SelectAllAndSave, false},
        {"raw file untouched", false, Act::Nothing, false},
        {"raw file, current row moved", false, Act::MoveDown, false},
        {"raw file, rows selected", false, Act::SelectAll, true},
        {"raw file, bookmark set", false, Act::Bookmark, true},
        {"raw file, a row erased", false, Act::EraseRow, true},
    };
    const QString raw = RawFile("small.kx", 20);
    const QString document = dir.filePath("small.kxl");
    const auto closeCurrent = [this] {
        files.calls.clear();
        files.answers = {QMessageBox::No};
        TabTable* tab = window->CurrentTabTable();
        QTest::keySequence(tab->View, window->Actions[ACT_CLOSE]->shortcut());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        files.answers.clear();
        EXPECT_TRUE(Documents().empty());
    };
    // Saved as a document: that is no change either.
    Trigger(ACT_OPEN, raw);
    Trigger(ACT_SAVE_AS, document);
    closeCurrent();
    EXPECT_TRUE(files.calls.empty());

    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Trigger(ACT_OPEN, c.document ? document : raw);
        TabTable* tab = window->CurrentTabTable();
        ASSERT_NE(tab, nullptr);
        FocusTable(tab);
        const auto press = [&](int id) { QTest::keySequence(tab->View, window->Actions[id]->shortcut()); };
        switch (c.act) {
        case Act::Nothing: break;
        case Act::MoveDown: QTest::keyClick(tab->View, Qt::Key_Down); break;
        case Act::SelectAll: press(ACT_SELECT_ALL); break;
        case Act::Bookmark: press(ACT_BOOKMARK); break;
        case Act::EraseRow:
            tab->EditableBox->click();
            files.answers = {QMessageBox::Yes};
            window->Actions[ACT_ERASE]->trigger(); // it has no key
            ASSERT_EQ(tab->Table->RowCount(), 19);
            EXPECT_EQ(tab->windowTitle(), "small*");
            break;
        case Act::SelectAllAndSave:
            press(ACT_SELECT_ALL);
            press(ACT_SAVE);
            EXPECT_EQ(files.saveCalls.size(), 1u);
            break;
        }
        closeCurrent();
        if (!c.asks) {
            EXPECT_TRUE(files.calls.empty());
            continue;
        }
        ASSERT_EQ(files.calls.size(), 1u);
        EXPECT_EQ(files.calls[0].title, "Close confirmation");
        EXPECT_EQ(files.calls[0].text, "Table \"small\" was changed.\nDo you want to save it?");
    }
}

// Work that only a ".kxl" document keeps (bookmarks, selections, pinned
// highlights) on a raw or imported file is never lost without a question,
// whether the document is closed with Ctrl+W, with its tab's close button or
// with the window: Yes saves it as a ".kxl" document, No closes it unsaved,
// Cancel (or a cancelled file dialog) keeps it open.
TEST_F(DocumentCommands, WorkOnARawOrImportedFileIsNeverLostWithoutAQuestion)
{
    enum class Work { Bookmark, SelectAll, Pin, BookmarkOnAndOff, RelativeTime };
    enum class Close { Keys, TabButton, Window };
    const QString raw = RawFile("trace.kx", 20);
    const QString log = SysLogFile("auth.log", 6);
    const QString saved = dir.filePath("work.kxl");
    const struct {
        const char* name;
        bool imported;
        Work work;
        Close close;
        QMessageBox::StandardButton answer; // NoButton: no question
        QString file;                       // for the Save As dialog after Yes
        bool closed;
    } cases[] = {
        {"raw, bookmark, Ctrl+W, No", false, Work::Bookmark, Close::Keys, QMessageBox::No, {}, true},
        {"raw, selection, tab button, Cancel", false, Work::SelectAll, Close::TabButton, QMessageBox::Cancel, {},
         false},
        {"imported, bookmark, Ctrl+W, Yes", true, Work::Bookmark, Close::Keys, QMessageBox::Yes, saved, true},
        {"imported, pinned, Ctrl+W, Yes, dialog cancelled", true, Work::Pin, Close::Keys, QMessageBox::Yes, {},
         false},
        {"imported, bookmark set and taken off", true, Work::BookmarkOnAndOff, Close::Keys, QMessageBox::NoButton,
         {}, true},
        {"imported, relative time switched, No", true, Work::RelativeTime, Close::Keys, QMessageBox::No, {}, true},
        {"raw, bookmark, window, Cancel", false, Work::Bookmark, Close::Window, QMessageBox::Cancel, {}, false},
        // Last: the window's close is accepted.
        {"raw, bookmark, window, No", false, Work::Bookmark, Close::Window, QMessageBox::No, {}, true},
    };
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Trigger(ACT_OPEN, c.imported ? log : raw);
        TabTable* tab = window->CurrentTabTable();
        ASSERT_NE(tab, nullptr);
        ASSERT_EQ(tab->SourceType, c.imported ? 0 : TabBase::SOURCE_KX);
        ASSERT_NO_FATAL_FAILURE(FocusTable(tab));
        const auto press = [&](int id) { QTest::keySequence(tab->View, window->Actions[id]->shortcut()); };
        switch (c.work) {
        case Work::Bookmark: press(ACT_BOOKMARK); break;
        case Work::SelectAll: press(ACT_SELECT_ALL); break;
        case Work::Pin:
            ASSERT_TRUE(tab->SetSearchExpression(QStringLiteral("Accepted"), 1, 3));
            tab->PinPhrase(1);
            ASSERT_EQ(tab->FixedHighlights.size(), 1);
            break;
        case Work::BookmarkOnAndOff: press(ACT_BOOKMARK), press(ACT_BOOKMARK); break;
        case Work::RelativeTime: tab->Actions[TACT_RELATIVE_TIME]->trigger(); break;
        }
        files.calls.clear();
        files.answers = {c.answer};
        if (!c.file.isEmpty())
            files.files.push_back(c.file);
        const size_t dialogs = files.saveCalls.size();
        switch (c.close) {
        case Close::Keys: press(ACT_CLOSE); break;
        case Close::TabButton: {
            QTabBar* bar = tab->TabWidget->tabBar();
            QTest::mouseClick(bar->tabButton(bar->currentIndex(), QTabBar::RightSide), Qt::LeftButton);
            break;
        }
        case Close::Window: EXPECT_EQ(window->close(), c.closed); break;
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        files.answers.clear();
        if (c.answer == QMessageBox::NoButton) {
            EXPECT_TRUE(files.calls.empty());
        } else {
            ASSERT_EQ(files.calls.size(), 1u);
            EXPECT_EQ(files.calls[0].text, QStringLiteral("Table \"%1\" was changed.\nDo you want to save it?")
                                               .arg(c.imported ? "auth" : "trace"));
        }
        EXPECT_EQ(files.saveCalls.size(), dialogs + (c.answer == QMessageBox::Yes ? 1 : 0));
        if (files.saveCalls.size() > dialogs) {
            EXPECT_EQ(files.saveCalls.back().caption, "Choose KXL file to save");
        }
        EXPECT_EQ(Documents().empty(), c.closed);
        if (!c.closed) {
            // Out of the way of the next case, with nothing to ask.
            tab->DiscardChanges();
            window->Actions[ACT_CLOSE]->trigger();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            ASSERT_TRUE(Documents().empty());
        }
        if (c.file == saved) {
            // The work is in the document.
            Trigger(ACT_OPEN, saved);
            ASSERT_EQ(Documents().size(), 1u);
            EXPECT_EQ(Documents()[0]->Table->Bookmarks().Length(), 1u);
            window->Actions[ACT_CLOSE]->trigger();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            ASSERT_TRUE(Documents().empty());
        }
    }
}

// A row copied from one raw file and pasted into another document keeps its
// absolute time and its own process and thread names, shown and saved: the
// saved document reads back with the same time and its own creation time.
TEST_F(DocumentCommands, PastedRowsKeepTheirTimeThroughASave)
{
    constexpr int64_t SOURCE_START = 1733572800237000; // 2024-12-07
    constexpr int64_t TARGET_START = 1561910811000000; // 2019-06-30
    const auto write = [this](const char* name, int64_t start, uint32_t seed) {
        KxFileGen::Options options;
        options.records = 40;
        options.startTime = start;
        options.seed = seed;
        const QString path = dir.filePath(name);
        EXPECT_TRUE(KxFileGen::WriteTrace(QFile::encodeName(path).constData(), options));
        return path;
    };
    const QString sourcePath = write("source.kx", SOURCE_START, 1);
    const QString targetPath = write("target.kx", TARGET_START, 2);
    const auto absolute = [](TabBase* tab, int32_t row) {
        KxTable& table = *tab->Table;
        return int64_t(table.GetRecord(row)->prot.msg.TIME + (table.TimeNormalised() ? table.Prefs().Time0 : 0));
    };
    const auto creation = [](TabBase* tab) { return tab->InfoTable->item(2, 1)->text(); };
    const struct {
        const char* name;
        bool blank;   // a new blank document, else the other raw file
        int32_t at;   // the target's current row at the paste
    } cases[] = {{"into a raw file", false, 3}, {"into a new blank document", true, -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Trigger(ACT_OPEN, sourcePath);
        TabTable* source = window->CurrentTabTable();
        ASSERT_NE(source, nullptr);
        TabTable* target = nullptr;
        if (c.blank) {
            window->NewBlankDocument();
            target = window->CurrentTabTable();
        } else {
            Trigger(ACT_OPEN, targetPath);
            target = window->CurrentTabTable();
            target->EditableBox->click();
        }
        ASSERT_NE(target, nullptr);
        ASSERT_NE(target, source);
        const QString targetCreation = creation(target);
        ASSERT_NO_FATAL_FAILURE(FocusTable(source));
        source->SetCurrentPosition(25);
        QTest::keySequence(source->View, window->Actions[ACT_COPY]->shortcut());
        ASSERT_NO_FATAL_FAILURE(FocusTable(target));
        if (c.at >= 0)
            target->SetCurrentPosition(c.at);
        QTest::keySequence(target->View, window->Actions[ACT_PASTE]->shortcut());
        const int32_t pasted = c.at >= 0 ? c.at : 0;
        const KxdRecord* from = source->Table->GetRecord(25);
        const KxdRecord* to = target->Table->GetRecord(pasted);
        ASSERT_EQ(target->Table->RowCount(), c.blank ? 1 : 41);
        EXPECT_EQ(absolute(target, pasted), absolute(source, 25));
        EXPECT_NE(to->Text(FIELD_TIME)[0], '-') << to->Text(FIELD_TIME);
        EXPECT_STREQ(to->Text(FIELD_PNAME), from->Text(FIELD_PNAME));
        EXPECT_STREQ(to->Text(FIELD_TNAME), from->Text(FIELD_TNAME));
        // A new document starts its time at its first row; another keeps its own.
        EXPECT_EQ(int64_t(target->Table->Prefs().Time0), c.blank ? absolute(source, 25) : TARGET_START);
        if (!c.blank) {
            EXPECT_EQ(creation(target), targetCreation);
        }
        const QString date = c.blank ? QStringLiteral("2024-12-07") : QStringLiteral("2019-06-30");
        EXPECT_TRUE(creation(target).startsWith(date)) << creation(target).toStdString();

        const QString saved = dir.filePath(c.blank ? "blank.kxl" : "target.kxl");
        Trigger(ACT_SAVE_AS, saved);
        ASSERT_TRUE(QFileInfo::exists(saved));
        const QString shown = creation(target);
        Trigger(ACT_OPEN, saved);
        TabTable* back = window->CurrentTabTable();
        ASSERT_NE(back, nullptr);
        ASSERT_NE(back, target);
        ASSERT_EQ(back->Table->RowCount(), target->Table->RowCount());
        EXPECT_EQ(absolute(back, pasted), absolute(source, 25));
        EXPECT_EQ(creation(back), shown);
        for (TabBase* tab : Documents())
            tab->Table->SetModified(false);
        window->CloseAll();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        KxvGlobals::CopyInformation.Clear();
    }
}

TEST_F(DocumentCommands, SelectAllAndJumpsReachTheCurrentDocumentOnly)
{
    TabTable* tab = OpenRaw("rows.kx", 40);
    ASSERT_NE(tab, nullptr);
    window->SetTabActive(MainWindow::DebugDock, false);
    window->SelectAll();
    window->JumpToEnd();
    window->Save();
    EXPECT_EQ(tab->Table->NumSelected, 0u);
    EXPECT_EQ(tab->Table->CurRow(), 0);
    EXPECT_TRUE(files.saveCalls.empty());

    window->SetTabActive(tab, false);
    window->Actions[ACT_SELECT_ALL]->trigger();
    EXPECT_EQ(tab->Table->NumSelected, 40u);
    window->Actions[ACT_JUMP_END]->trigger();
    EXPECT_EQ(tab->Table->CurRow(), 39);
    window->Actions[ACT_JUMP_HOME]->trigger();
    EXPECT_EQ(tab->Table->CurRow(), 0);
}

TEST_F(DocumentCommands, CloseAndCloseAllThroughTheMenu)
{
    OpenRaw("one.kx", 5);
    window->NewBlankDocument();
    window->NewBlankDocument();
    ASSERT_EQ(Documents().size(), 3u);
    window->Actions[ACT_CLOSE]->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(Documents().size(), 2u);
    EXPECT_EQ(Documents()[1]->windowTitle(), "New1");

    window->Actions[ACT_CLOSE_ALL]->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(Documents().empty());
    EXPECT_EQ(window->Docks.size(), 2);
}

TEST_F(DocumentCommands, GraphOnlyFromATableDocument)
{
    TearOffMain::CurrentDock = nullptr;
    window->CreateGraph();
    EXPECT_TRUE(files.calls.empty());
    window->SetTabActive(MainWindow::DebugDock, false);
    window->CreateGraph();
    ASSERT_EQ(files.calls.size(), 1u);
    EXPECT_EQ(files.calls[0].text, "Current window is not a base table!");

    // From a table document in relative time it opens beside it.
    TabTable* tab = OpenRaw("one.kx", 5);
    ASSERT_NE(tab, nullptr);
    if (!tab->Table->TimeNormalised())
        tab->PrefRelativeTime();
    window->CreateGraph();
    ASSERT_NE(tab->GraphTab, nullptr);
    EXPECT_EQ(TearOffMain::CurrentDock, tab->GraphTab);
    EXPECT_EQ(tab->GraphTab->windowTitle(), "one:graph");
    EXPECT_EQ(tab->GraphTab->TabWidget, tab->TabWidget);
}

TEST_F(DocumentCommands, PanelToolbarEntriesActOnTheCurrentDocumentOnly)
{
    constexpr int FIND_BAR = 2;
    const bool saved = PrefGlobal::BaseToolbars[FIND_BAR];
    PrefGlobal::BaseToolbars[FIND_BAR] = true;
    TabTable* first = OpenRaw("first.kx", 5);
    TabTable* second = OpenRaw("second.kx", 5);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    ASSERT_EQ(second->Toolbars[FIND_BAR]->windowTitle(), "Find");
    QAction* entry = window->PanelToolbarActions()[FIND_BAR];

    entry->setChecked(false);
    EXPECT_TRUE(second->Toolbars[FIND_BAR]->isHidden());
    EXPECT_FALSE(first->Toolbars[FIND_BAR]->isHidden());
    EXPECT_FALSE(PrefGlobal::BaseToolbars[FIND_BAR]);

    // The toolbar's own toggle keeps the menu entry in step.
    second->Toolbars[FIND_BAR]->toggleViewAction()->trigger();
    EXPECT_FALSE(second->Toolbars[FIND_BAR]->isHidden());
    EXPECT_TRUE(entry->isChecked());
    EXPECT_TRUE(PrefGlobal::BaseToolbars[FIND_BAR]);
    PrefGlobal::BaseToolbars[FIND_BAR] = saved;
}

TEST_F(DocumentCommands, FunctionChainsOpenAFunctionsDocumentBesideTheTable)
{
    TabTable* tab = OpenRaw("calls.kx", 300);
    ASSERT_NE(tab, nullptr);
    window->Actions[ACT_FUNCTION_CHAINS]->trigger();
    const std::vector<TabBase*> documents = Documents();
    ASSERT_EQ(documents.size(), 2u);
    EXPECT_EQ(documents[1]->FuncsDocument, 1);
    EXPECT_GT(documents[1]->Table->RowCount(), 0);
    EXPECT_EQ(documents[1]->TabWidget, tab->TabWidget);
}

// The menu commands' keys work from the table with the menu bar and the
// main toolbars hidden as well as shown, and each fires its command exactly
// once (two owners of one key would fire neither). The commands themselves
// are tested on their own; here their slots are cut off.
TEST_F(DocumentCommands, MenuKeysFromTheTableWithOrWithoutTheMenuBar)
{
    const bool savedMenu = PrefGlobal::MainMenuShown;
    const bool savedToolbars = PrefGlobal::MainToolbarShown;
    const int ids[] = {ACT_NEW_BLANK, ACT_OPEN, ACT_SAVE, ACT_EXPORT_PDF, ACT_CLOSE, ACT_HELP,
                       ACT_FIND, ACT_FIND_NEXT, ACT_FIND_BACK, ACT_COPY, ACT_SELECT_ALL, ACT_JUMP_HOME,
                       ACT_JUMP_END, ACT_NEXT_BOOKMARK, ACT_PREV_BOOKMARK, ACT_NEXT_ERROR, ACT_PREV_ERROR,
                       ACT_BOOKMARK};
    TabTable* tab = OpenRaw("menukeys.kx", 20);
    ASSERT_NE(tab, nullptr);
    for (QAction* action : window->Actions)
        if (action != nullptr)
            QObject::disconnect(action, SIGNAL(triggered()), window.get(), nullptr);

    for (bool barsShown : {true, false}) {
        SCOPED_TRACE(barsShown ? "menu bar shown" : "menu bar hidden");
        if (window->menuBar()->isVisible() != barsShown)
            window->MainMenuShowHide();
        if (PrefGlobal::MainToolbarShown != barsShown)
            window->MainToolbarShowHide();
        for (int id : ids) {
            QAction* action = window->Actions[id];
            SCOPED_TRACE(action->text().toStdString());
            ASSERT_FALSE(action->shortcut().isEmpty());
            FocusTable(tab);
            ASSERT_TRUE(action->isEnabled());
            QSignalSpy fired(action, &QAction::triggered);
            QTest::keySequence(tab->View, action->shortcut());
            EXPECT_EQ(fired.count(), 1);
        }
    }
    if (window->menuBar()->isVisible() != savedMenu)
        window->MainMenuShowHide();
    if (PrefGlobal::MainToolbarShown != savedToolbars)
        window->MainToolbarShowHide();
}

namespace {

// The window's own services, but a progress display whose Abort button is
// pressed once the loader has asked abortAt times.
class AbortingShell : public MainWindowServices {
public:
    AbortingShell(MainWindow* window, int abortAt)
        : MainWindowServices(window), previous_(KxvSetShell(this)), abortAt_(abortAt)
    {
    }
    ~AbortingShell() override { KxvSetShell(previous_); }
    std::unique_ptr<KxvProgress> CreateProgress(const QString&, const QString&, int, int) override
    {
        return std::make_unique<Progress>(abortAt_);
    }

private:
    struct Progress : KxvProgress {
        explicit Progress(int abortAt) : left(abortAt) {}
        void Show() override {}
        bool IsVisible() const override { return false; }
        void SetValue(int) override {}
        bool WasCanceled() const override { return --left <= 0; }
        void Cancel() override { left = 0; }
        void Close() override {}
        mutable int left;
    };

    KxvShellServices* previous_;
    int abortAt_;
};

// The window's own services and progress dialog, noting what the loader
// shows on it, whether the window held the new table tab yet, and whether
// each label fits in the dialog.
class ProgressRecordingShell : public MainWindowServices {
public:
    struct Step {
        std::string label; // empty for a value
        int value = -1;    // -1 for a label or the close
        bool tabBuilt = false;
        bool labelFits = true;
        bool tabShown = false;
    };

    explicit ProgressRecordingShell(MainWindow* window)
        : MainWindowServices(window), window_(window), previous_(KxvSetShell(this)),
          tabsBefore_(window->findChildren<TabTable*>())
    {
        clock.start();
        qApp->installEventFilter(&watch_);
    }
    ~ProgressRecordingShell() override
    {
        qApp->removeEventFilter(&watch_);
        KxvSetShell(previous_);
    }
    std::unique_ptr<KxvProgress> CreateProgress(const QString& label, const QString& cancel, int minimum,
                                                int maximum) override
    {
        steps.push_back({label.toStdString()});
        return std::make_unique<Progress>(*this, MainWindowServices::CreateProgress(label, cancel, minimum, maximum));
    }

    std::vector<Step> steps;
    bool closed = false;
    // Abort is pressed as the bar is set to this value (-1: never).
    int cancelAt = -1;
    // Each value the dialog painted, and when the display was closed, in
    // milliseconds of clock.
    std::vector<std::pair<int, qint64>> painted;
    qint64 closedMs = -1;
    QElapsedTimer clock;

private:
    struct PaintWatch : QObject {
        explicit PaintWatch(ProgressRecordingShell& s) : shell(s) {}
        bool eventFilter(QObject* object, QEvent* event) override
        {
            if (event->type() == QEvent::Paint)
                if (auto* dialog = qobject_cast<QProgressDialog*>(object); dialog != nullptr && dialog->isVisible())
                    shell.painted.emplace_back(dialog->value(), shell.clock.elapsed());
            return false;
        }
        ProgressRecordingShell& shell;
    };

    struct Progress : KxvProgress {
        Progress(ProgressRecordingShell& s, std::unique_ptr<KxvProgress> dialog) : shell(s), real(std::move(dialog))
        {
        }
        void Show() override
        {
            real->Show();
            shownWidth = Dialog() != nullptr ? Dialog()->width() : -1;
        }
        bool IsVisible() const override { return real->IsVisible(); }
        void SetValue(int value) override
        {
            const QList<TabTable*> tabs = shell.window_->findChildren<TabTable*>();
            const bool shown = std::any_of(tabs.begin(), tabs.end(), [this](TabTable* tab) {
                return tab->isVisible() && !shell.tabsBefore_.contains(tab);
            });
            shell.steps.push_back({"", value, tabs.size() > shell.tabsBefore_.size(), true, shown});
            real->SetValue(value);
            if (value == shell.cancelAt)
                real->Cancel();
        }
        void SetLabel(const QString& label) override
        {
            real->SetLabel(label);
            shell.steps.push_back({label.toStdString(), -1, false, LabelFits()});
        }
        void FitLabel(const QString& label) override { real->FitLabel(label); }
        bool WasCanceled() const override { return real->WasCanceled(); }
        void Cancel() override { real->Cancel(); }
        void Close() override
        {
            real->Close();
            shell.closed = true;
            shell.closedMs = shell.clock.elapsed();
        }
        const QProgressDialog* Dialog() const
        {
            for (const auto* dialog : shell.window_->findChildren<QProgressDialog*>())
                if (dialog->isVisible())
                    return dialog;
            return nullptr;
        }
        // The dialog's label shows its whole text, and the dialog did not
        // have to grow for it: a window system lays a shown window out again
        // only once it has answered, after the stage.
        bool LabelFits() const
        {
            const QProgressDialog* dialog = Dialog();
            const auto* label = dialog != nullptr ? dialog->findChild<QLabel*>() : nullptr;
            return label != nullptr && dialog->width() == shownWidth &&
                   label->contentsRect().width() >= label->fontMetrics().horizontalAdvance(label->text());
        }
        ProgressRecordingShell& shell;
        std::unique_ptr<KxvProgress> real;
        int shownWidth = -1;
    };

    MainWindow* window_;
    KxvShellServices* previous_;
    QList<TabTable*> tabsBefore_;
    PaintWatch watch_{*this};
};

} // namespace

// The progress of a large load, a raw file or a text file parsed on worker
// threads: reading fills the bar to 90 %, the table view is a stage of its
// own, and the bar is full, and the display gone, before the document's
// tab shows.
TEST_F(DocumentCommands, LoadProgressIsFullOnlyWhenTheDocumentShows)
{
    const struct {
        QString path;
        std::vector<std::string> labels;
    } cases[] = {
        {RawFile("large.kx", 140000), {"Opening file large", "Opening file large: building the table view"}},
        {SysLogFile("system.log", 160000), {"Opening file system", "Opening file system: building the table view"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        ASSERT_GT(QFileInfo(c.path).size(), 10100000) << "large enough for the progress display";
        ProgressRecordingShell recording(window.get());
        Trigger(ACT_OPEN, c.path);
        ASSERT_NE(window->CurrentTabTable(), nullptr);
        const std::vector<ProgressRecordingShell::Step>& steps = recording.steps;
        ASSERT_GE(steps.size(), 4u);
        std::vector<std::string> labels;
        std::vector<int> viewStage;
        int last = 0, readEnd = 0, full = 0;
        for (const auto& step : steps) {
            if (step.value < 0) {
                labels.push_back(step.label);
                EXPECT_TRUE(step.labelFits) << step.label;
                continue;
            }
            SCOPED_TRACE("value " + std::to_string(step.value));
            EXPECT_GE(step.value, last);
            last = step.value;
            if (labels.size() == 1) {
                readEnd = step.value;
                EXPECT_FALSE(step.tabBuilt);
            } else {
                viewStage.push_back(step.value);
                // The tab is built after the stage's first value.
                EXPECT_EQ(step.tabBuilt, viewStage.size() > 1);
            }
            full += step.value == 100;
            // The document shows only once the bar is full and gone.
            EXPECT_FALSE(step.tabShown);
        }
        EXPECT_EQ(labels, c.labels);
        EXPECT_GE(readEnd, 80);
        EXPECT_LE(readEnd, 90);
        // The bar moves while the table view is built, once more between
        // the Outline and the view, and is full once the document's tab is
        // ready.
        EXPECT_EQ(viewStage, (std::vector<int>{96, 97, 98, 99, 100}));
        EXPECT_EQ(full, 1);
        EXPECT_TRUE(recording.closed);
        QApplication::processEvents();
        EXPECT_TRUE(window->CurrentTabTable()->isVisible());
    }
}

// A document of which only the first half was read before Abort: the tab
// shows it, and Save asks for a name and refuses the source's own; a new
// name takes the rows read and makes the document whole.
TEST_F(DocumentCommands, PartlyLoadedDocumentNeverReplacesItsSource)
{
    constexpr int READ = 2999; // the 3000th question is answered with Abort
    const QString path = dir.filePath("big.kxl");
    {
        KxTable* table = DocLoader::LoadKxFileSilent(QFile::encodeName(RawFile("big.kx", 6000)).constData(), false);
        ASSERT_NE(table, nullptr);
        ASSERT_TRUE(FileKxl(QFile::encodeName(path).constData()).CreateFile(*table, "", 0));
        table->Release();
    }
    QFile source(path);
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const QByteArray original = source.readAll();
    source.close();
    const QString copy = dir.filePath("half.kxl");
    for (const QString& answer : {path, copy}) {
        SCOPED_TRACE(answer.toStdString());
        const bool saved = answer == copy;
        TabTable* tab = nullptr;
        {
            AbortingShell aborting(window.get(), READ + 1);
            Trigger(ACT_OPEN, path);
            tab = window->CurrentTabTable();
        }
        ASSERT_NE(tab, nullptr);
        EXPECT_EQ(tab->Table->RowCount(), READ);
        EXPECT_EQ(window->StatusBar->currentMessage().toStdString(),
                  "Document \"big\" opened: " + std::to_string(READ) +
                      " records read; the load was incomplete: Abort (partial)");
        auto tip = [tab] { return tab->TabWidget->tabToolTip(tab->TabWidget->indexOf(tab)); };
        EXPECT_EQ(tip(), path + ": the load was incomplete: Abort (partial)");

        const size_t asked = files.saveCalls.size();
        Trigger(ACT_SAVE, answer);
        source.open(QIODevice::ReadOnly);
        EXPECT_TRUE(source.readAll() == original);
        source.close();
        ASSERT_EQ(files.saveCalls.size(), asked + 1);
        EXPECT_EQ(QFileInfo(files.saveCalls.back().dir).fileName(), "big.kxl");
        EXPECT_EQ(QFile::exists(copy), saved);
        EXPECT_EQ(tip().isEmpty(), saved);
        for (size_t k = 0; k < Documents().size(); ++k)
            files.answers.push_back(QMessageBox::No);
        window->Actions[ACT_CLOSE_ALL]->trigger();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ASSERT_TRUE(Documents().empty());
    }
}

namespace {

// A ".kxl" document of a generated trace of records, with the phrases
// pinned, written into folder; its path.
QString DocumentFile(const QTemporaryDir& folder, const QString& name, uint32_t records,
                     const std::vector<const char*>& phrases)
{
    KxFileGen::Options options;
    options.records = records;
    const std::string raw = QFile::encodeName(folder.filePath(name + ".kx")).toStdString();
    EXPECT_TRUE(KxFileGen::WriteTrace(raw.c_str(), options));
    KxTable* table = DocLoader::LoadKxFileSilent(raw.c_str(), false);
    EXPECT_NE(table, nullptr);
    if (table == nullptr)
        return QString();
    std::vector<PinnedPhrase> pinned;
    for (const char* phrase : phrases)
        pinned.push_back({phrase, 0x00FF00, 0, 1});
    PrefTabTable prefs = PrefTabTable::Default();
    prefs.outline[JUMP_HIGHLIGHT] = 1;
    ZmLib::IniBase ini;
    PrefTable::Save(false, ini, prefs, PrefKxTable::Default(), pinned.data(), int32_t(pinned.size()));
    ZmLib::TextBuf text;
    const std::string block = ini.WriteToBuf(text) && text.Buffer ? text.Buffer->c_str() : "";
    EXPECT_FALSE(block.empty());
    const QString path = folder.filePath(name + ".kxl");
    EXPECT_TRUE(FileKxl(QFile::encodeName(path).constData()).CreateFile(*table, block.data(), block.size()));
    table->Release();
    return path;
}

} // namespace

// A document over 10 MB below ten million records shows its progress (its
// size in records does not decide it). Its three pinned phrases are matched
// once, aside: reading gets the bar's share that is left to them. The full
// bar is painted and stays up a moment before the document shows.
TEST_F(DocumentCommands, LargeDocumentWithPinnedPhrasesShowsItsProgressToTheFullBar)
{
    const QString path = DocumentFile(dir, "pinned", 21000, {"message 7", "enter", "TID="});
    ASSERT_GT(QFileInfo(path).size(), 10100000) << "large enough for the progress display";
    ProgressRecordingShell recording(window.get());
    Trigger(ACT_OPEN, path);
    TabTable* tab = window->CurrentTabTable();
    ASSERT_NE(tab, nullptr);
    EXPECT_EQ(tab->FixedHighlights.size(), 3);
    EXPECT_EQ(tab->OutlineLines.MatchRounds(), 3);
    std::vector<std::string> labels;
    std::vector<int> values;
    for (const auto& step : recording.steps) {
        if (step.value < 0) {
            labels.push_back(step.label);
            continue;
        }
        EXPECT_FALSE(step.tabShown) << step.value;
        if (!values.empty()) {
            EXPECT_GE(step.value, values.back());
        }
        values.push_back(step.value);
    }
    EXPECT_EQ(labels, (std::vector<std::string>{"Opening file pinned",
                                                "Opening file pinned: reading its filter, bookmarks and selections",
                                                "Opening file pinned: building the table view"}));
    ASSERT_GE(values.size(), 4u);
    // Reading, then its metadata, the view's stage with the tab, the Outline
    // up to 97, the view and the full bar.
    const auto metadata = std::find(values.begin(), values.end(), 37);
    ASSERT_LE(metadata + 3, values.end());
    EXPECT_EQ(std::vector<int>(metadata, metadata + 3), (std::vector<int>{37, 38, 39}));
    EXPECT_EQ(std::vector<int>(values.end() - 4, values.end()), (std::vector<int>{97, 98, 99, 100}));
    EXPECT_EQ(std::count(values.begin(), values.end(), 100), 1);
    const auto full = std::find_if(recording.painted.begin(), recording.painted.end(),
                                   [](const std::pair<int, qint64>& paint) { return paint.first == 100; });
    ASSERT_NE(full, recording.painted.end()) << "the full bar was painted";
    EXPECT_GE(recording.closedMs - full->second, DocLoader::FULL_SHOWN_MS);
    QApplication::processEvents();
    EXPECT_TRUE(tab->isVisible());
}

// Abort pressed once the records are read (while the document's metadata is
// applied or the table view is built, up to the full bar) stops the open:
// no document, the System Log and the status line say it was cancelled (and
// of the document, which the user never saw, nothing else), and nothing of
// the half-built document is left or touched.
TEST_F(DocumentCommands, AbortAfterTheReadingCancelsTheOpen)
{
    const QString raw = RawFile("large.kx", 140000);
    const QString document = DocumentFile(dir, "pinned", 21000, {"message 7", "enter", "TID="});
    const struct {
        QString path;
        int cancelAt;
    } cases[] = {
        {document, 37}, // the metadata's value after reading's 36
        {raw, 96}, {raw, 97}, {raw, 98}, {raw, 99}, {raw, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(QFileInfo(c.path).fileName().toStdString() + " at " + std::to_string(c.cancelAt));
        const size_t before = Documents().size();
        Lines().clear();
        MainWindow::SystemLogView->clear();
        {
            ProgressRecordingShell recording(window.get());
            recording.cancelAt = c.cancelAt;
            Trigger(ACT_OPEN, c.path);
            EXPECT_TRUE(recording.closed);
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(Documents().size(), before);
        EXPECT_TRUE(window->findChildren<TabTable*>().isEmpty());
        const QString cancelled = QStringLiteral("Opening file \"%1\" cancelled").arg(c.path);
        EXPECT_FALSE(LinesWith(cancelled.toStdString()).empty());
        EXPECT_EQ(window->StatusBar->currentMessage(), cancelled);
        EXPECT_TRUE(LinesWith("opened:").empty());
        const QString name = QFileInfo(c.path).completeBaseName();
        EXPECT_EQ(MainWindow::SystemLogView->toPlainText().split('\n').filter(name).join('|').toStdString(),
                  (QStringLiteral("Loading file: %1|").arg(c.path) + cancelled).toStdString());
    }
}
