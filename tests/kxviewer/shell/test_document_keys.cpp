// A document's keys from its table: every key that a tool tip or a menu
// shows fires its command, and a click into a document makes it the
// current one for the commands again.
#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>

#include "kxlib/table/kxtable.h"
#include "kxviewer/actiontable.h"
#include "kxviewer/table/tabtable.h"
#include "kxviewer/table/tabtableview.h"
#include "openfixture.h"
#include "tearoffwidget/tearofftabbar.h"
#include "tearoffwidget/tearofftabwidget.h"

using namespace shelltest;

namespace {

// The actions of a menu and of its submenus.
void CollectMenuActions(const QWidget* menu, std::vector<QAction*>& into)
{
    for (QAction* action : menu->actions()) {
        if (action->menu() != nullptr)
            CollectMenuActions(action->menu(), into);
        else if (!action->isSeparator())
            into.push_back(action);
    }
}

// The key an action shows: in its tool tip after a tab, else in its menu
// text after a run of blanks ("Show Main Menu    F10"), else its shortcut.
QString ShownKey(const QAction* action)
{
    QString key = action->toolTip().section(QLatin1Char('\t'), 1);
    if (key.isEmpty())
        key = action->text().section(QRegularExpression(QStringLiteral("\\s{2,}")), 1);
    if (key.isEmpty())
        key = action->shortcut().toString(QKeySequence::NativeText);
    return key;
}

} // namespace

using DocumentKeys = OpenTest;

// Each key shown fires exactly one of the actions that show it, from the
// table of a document. The commands themselves are tested on their own; here
// their receivers are cut off, so that F1, Ctrl+Q and the dialogs stay
// quiet. The F10 of the menu text has no action of its own: the menu bar
// shows or hides.
TEST_F(DocumentKeys, EveryKeyShownFiresItsCommand)
{
    TabTable* tab = OpenRaw("keys.kx", 20);
    ASSERT_NE(tab, nullptr);
    std::vector<QAction*> actions;
    for (QAction* const* owned : {window->Actions, tab->Actions})
        for (int id = 0; id < ComActionCount; ++id)
            if (owned[id] != nullptr)
                actions.push_back(owned[id]);
    CollectMenuActions(window->menuBar(), actions);

    // key text -> the visible actions that show it
    std::map<QString, std::vector<QAction*>> shown;
    for (QAction* action : actions) {
        const QString key = ShownKey(action);
        if (key.isEmpty() || !action->isVisible())
            continue;
        auto& owners = shown[key];
        if (std::find(owners.begin(), owners.end(), action) == owners.end())
            owners.push_back(action);
    }
    std::map<QAction*, std::unique_ptr<QSignalSpy>> spies;
    for (const auto& [key, owners] : shown)
        for (QAction* action : owners) {
            QObject::disconnect(action, &QAction::triggered, nullptr, nullptr);
            spies[action] = std::make_unique<QSignalSpy>(action, &QAction::triggered);
        }
    const QString menuKey = window->Actions[ACT_SHOW_MAIN_MENU]->text().simplified().section(' ', -1);
    // The keys the fault reports named stand among them.
    for (const QString& key : {QStringLiteral("Alt+Left"), QStringLiteral("Ctrl+Shift+A"), QStringLiteral("Ctrl+W"),
                               QStringLiteral("Shift+F1"), menuKey})
        EXPECT_EQ(shown.count(key), 1u) << key.toStdString();

    const bool menuShown = window->menuBar()->isVisible();
    for (const auto& [key, owners] : shown) {
        SCOPED_TRACE(key.toStdString());
        FocusTable(tab);
        for (auto& [action, spy] : spies)
            spy->clear();
        const bool barBefore = window->menuBar()->isVisible();
        QTest::keySequence(tab->View, QKeySequence::fromString(key, QKeySequence::NativeText));
        int fired = 0;
        for (auto& [action, spy] : spies) {
            fired += spy->count();
            const bool showsIt = std::find(owners.begin(), owners.end(), action) != owners.end();
            EXPECT_TRUE(spy->isEmpty() || showsIt) << action->text().toStdString();
        }
        if (key == menuKey) {
            EXPECT_EQ(fired, 0);
            EXPECT_NE(window->menuBar()->isVisible(), barBefore);
        } else {
            EXPECT_EQ(fired, 1);
        }
    }
    if (window->menuBar()->isVisible() != menuShown)
        window->MainMenuShowHide();
}

// Alt+Left goes back to where the current row was before the jump, and
// Ctrl+Shift+A drops the selection, from the table of the current document.
TEST_F(DocumentKeys, NavigateBackAndClearSelectionFromTheTable)
{
    TabTable* tab = OpenRaw("back.kx", 30);
    ASSERT_NE(tab, nullptr);
    ASSERT_NO_FATAL_FAILURE(FocusTable(tab));
    tab->SetCurrentPosition(7);
    QTest::keyClick(tab->View, Qt::Key_End, Qt::ControlModifier);
    ASSERT_EQ(tab->Table->CurRow(), 29);
    QTest::keyClick(tab->View, Qt::Key_Left, Qt::AltModifier);
    EXPECT_EQ(tab->Table->CurRow(), 7);

    QTest::keyClick(tab->View, Qt::Key_A, Qt::ControlModifier);
    ASSERT_EQ(tab->Table->NumSelected, 30u);
    QTest::keyClick(tab->View, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(tab->Table->NumSelected, 0u);
}

// After a click on the System Log's or the Debug panel's tab, a click into
// the document (a row of its table, its Info pane) makes it current again,
// though the keyboard focus never left it: its commands are enabled and
// Ctrl+P exports it.
TEST_F(DocumentKeys, AClickIntoTheDocumentAfterAPanelTabMakesItCurrent)
{
    TabTable* tab = OpenRaw("panel.kx", 30);
    ASSERT_NE(tab, nullptr);
    const auto row = [tab] {
        return std::make_pair<QWidget*, QPoint>(tab->View->viewport(), tab->View->visualRect(tab->View->model()->index(3, 1)).center());
    };
    const auto info = [tab] {
        return std::make_pair<QWidget*, QPoint>(tab->InfoTable->viewport(),
                                                tab->InfoTable->visualItemRect(tab->InfoTable->item(0, 1)).center());
    };
    const struct {
        const char* what;
        TearOffTabDock* panel;
        std::function<std::pair<QWidget*, QPoint>()> target;
    } cases[] = {
        {"System Log, a row", MainWindow::SystemLogDock, row},
        {"Debug, a row", MainWindow::DebugDock, row},
        {"System Log, the Info pane", MainWindow::SystemLogDock, info},
    };
    const int commands[] = {ACT_SAVE, ACT_EXPORT_PDF, ACT_EXPORT_CSV, ACT_EXPORT_TXT, ACT_COPY};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto [widget, at] = c.target();
        ASSERT_NO_FATAL_FAILURE(FocusTable(tab));
        widget->setFocus();
        TearOffTabBar* bar = c.panel->TabWidget->TabBar;
        QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->tabRect(c.panel->TabWidget->indexOf(c.panel)).center());
        ASSERT_EQ(TearOffMain::CurrentDock, c.panel);
        ASSERT_FALSE(window->Actions[ACT_SAVE]->isEnabled());

        QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, at);
        EXPECT_EQ(TearOffMain::CurrentDock, tab);
        for (int id : commands)
            EXPECT_TRUE(window->Actions[id]->isEnabled()) << id;
        files.saveCalls.clear();
        QTest::keyClick(widget, Qt::Key_P, Qt::ControlModifier);
        EXPECT_EQ(files.saveCalls.size(), 1u);
    }
}
