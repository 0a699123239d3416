// The History pane of a document: its lines as commands add them, the ring
// of the last entries, the line menu with its replay rules, replay and copy.
#include <map>
#include <sstream>

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTimer>
#include <QTreeWidget>

#include "kxviewer/table/findlineedit.h"
#include "kxviewer/table/historyactions.h"
#include "kxviewer/table/tabactionids.h"
#include "kxviewer/table/tabtablemodel.h"
#include "script/scriptlogicalexp/scriptlogicalexpparser.h"
#include "tabletabenv.h"

namespace {

const bool parserRegistered = (ScriptLogicalExpParser::Register(), true);

constexpr int ACT_FIND_IN_HISTORY = 88;
constexpr int ACT_HISTORY_NEW_ITEM = 118;
constexpr int ACT_HISTORY_COPY = 121;
constexpr int ACT_HISTORY_COPY_ALL = 122;
constexpr int ACT_HISTORY_REPLAY = 123;

class HistoryTest : public tabletest::TableTabTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(parserRegistered);
        TableTabTest::SetUp();
        PrefGlobal::SearchHistory.clear();
        for (int id : {int(TACT_SELECT), int(TACT_FILTER), int(TACT_PIN), ACT_HISTORY_NEW_ITEM})
            actions.Entry(id).checkable = 1;
        // The History pane in front, so that its lines have places.
        PrefGlobal::PanesStartDockAtStart = PrefGlobal::PanesStartDock = 2;
    }
    void TearDown() override
    {
        TableTabTest::TearDown();
        PrefGlobal::SearchHistory.clear();
    }

    TabTable* OpenTen()
    {
        TabTable* tab = OpenRecords({Record("alpha"), Record("beta one"), Record("gamma"), Record("beta two"),
                                     Record("delta"), Record("epsilon"), Record("zeta"), Record("beta three"),
                                     Record("eta"), Record("theta")});
        tab->Prefs.ColorSelect = 0xff8000;
        tab->Prefs.ColorHighlight = 0x00c0ff;
        return tab;
    }

    // Typed into the find line, then Enter.
    static void Apply(TabTable* tab, const std::string& text)
    {
        auto* line = qobject_cast<LineEdit*>(tab->FindCombo->lineEdit());
        ASSERT_NE(line, nullptr);
        line->selectAll();
        QTest::keyClicks(tab->FindCombo, QString::fromStdString(text));
        QTest::keyClick(tab->FindCombo, Qt::Key_Return);
    }

    // Steps, blank separated: sN clicks row N (from 1) and presses Space;
    // b toggles the current row's bookmark; A selects all; C clears the
    // selections; S:X selects the rows matching X; p:X pins X, u:X unpins
    // it; f:X filters by X, F clears the filter, x filters the selected rows;
    // m:X bookmarks the rows matching X.
    static void Run(TabTable* tab, const std::string& steps)
    {
        std::istringstream in(steps);
        std::string step;
        // The command of each letter; typed: X is applied first; checked: set before, -1 left alone.
        struct Command { int action; bool typed; int checked; };
        const std::map<char, Command> commands = {
            {'b', {TACT_BOOKMARK, false, -1}}, {'A', {TACT_SELECT_ALL, false, -1}},
            {'C', {TACT_CLEAR_SELECTION, false, -1}}, {'F', {TACT_FILTER, false, -1}},
            {'x', {TACT_FILTER_SELECTED, false, -1}}, {'p', {TACT_PIN, true, 0}}, {'u', {TACT_PIN, true, 1}},
            {'f', {TACT_FILTER, true, -1}}, {'S', {TACT_SELECT, true, 0}}, {'m', {TACT_BOOKMARK_BY_COND, true, -1}}};
        while (in >> step) {
            const auto command = commands.find(step[0]);
            if (step[0] == 's') {
                const int row = std::stoi(step.substr(1)) - 1;
                QTest::mouseClick(tab->View->viewport(), Qt::LeftButton, Qt::NoModifier, CellCentre(tab, row, 0));
                QTest::keyClick(tab->View, Qt::Key_Space);
            } else if (command == commands.end()) {
                ADD_FAILURE() << "unknown step " << step;
            } else {
                const Command& c = command->second;
                if (c.typed)
                    Apply(tab, step.size() > 2 ? step.substr(2) : std::string());
                if (c.checked >= 0)
                    tab->Actions[c.action]->setChecked(c.checked != 0);
                tab->Actions[c.action]->trigger();
            }
            QApplication::processEvents();
        }
    }

    // A top-level line: its name and its children's copy texts, "|" apart.
    static std::string Line(TabBase* tab, int index)
    {
        QTreeWidgetItem* line = tab->HistoryTree->topLevelItem(index);
        if (!line)
            return "<none>";
        std::string text = line->text(0).toStdString();
        for (int i = 0; i < line->childCount(); ++i) {
            QWidget* widget = tab->HistoryTree->itemWidget(line->child(i), 0);
            text += "|" + (widget ? widget->property("Copy_Text").toString().toStdString() : "<no widget>");
        }
        return text;
    }

    static std::vector<std::string> Lines(TabBase* tab)
    {
        std::vector<std::string> lines;
        for (int i = 0; i < tab->HistoryTree->topLevelItemCount(); ++i)
            lines.push_back(Line(tab, i));
        return lines;
    }

    // Opens the menu of a line (child -1: the top-level line itself) by a
    // context-menu event, lists it and triggers the entry named choose.
    static std::string Menu(TabBase* tab, int index, int child = -1, const std::string& choose = std::string())
    {
        QTreeWidget* tree = tab->HistoryTree;
        QTreeWidgetItem* item = tree->topLevelItem(index);
        if (item && child >= 0)
            item = item->child(child);
        if (!item)
            return "<none>";
        const std::map<QAction*, std::string> names = {
            {tab->Actions[ACT_HISTORY_COPY], "copy"},
            {tab->Actions[ACT_FIND_IN_HISTORY], "find"},
            {tab->Actions[ACT_HISTORY_REPLAY], "replay"},
            {tab->Actions[ACT_HISTORY_COPY_ALL], "copyall"},
        };
        std::string listed;
        QTimer::singleShot(0, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu)
                return;
            QAction* chosen = nullptr;
            for (QAction* action : menu->actions()) {
                auto name = names.find(action);
                const std::string text = action->isSeparator() ? "|" : name != names.end() ? name->second : "?";
                listed += (listed.empty() ? "" : " ") + text + (action->isEnabled() ? "" : "(off)");
                if (text == choose)
                    chosen = action;
            }
            menu->close();
            if (chosen)
                chosen->trigger();
        });
        const QPoint pos = tree->visualItemRect(item).center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, pos, tree->viewport()->mapToGlobal(pos));
        QApplication::sendEvent(tree->viewport(), &event);
        QApplication::processEvents();
        return listed;
    }

    // Selected rows, filter, pinned phrases and bookmarks of the table.
    static std::string State(TabBase* tab)
    {
        std::string pins;
        for (const TabBase::FixedHighlight* pinned : tab->FixedHighlights)
            pins += pinned->text.toStdString() + ",";
        return "sel=" + std::to_string(tab->Table->NumSelected) + " filter=" + std::to_string(tab->Table->FilterOn) +
               " pins=" + pins + " marks=" + std::to_string(tab->Table->Bookmarks().Length());
    }
};

TEST_F(HistoryTest, CommandsAddLinesAndRowSelectionsMerge)
{
    const std::string sel5 = "Select|   Last row: 5|   Color: #FF8000";
    const std::string pin = "Pin|   Expression: beta|   Complex mode: No|   Match case: Yes|   Color: #00C0FF";
    const struct { const char* steps; std::vector<std::string> lines; } cases[] = { // lines: newest first
        {"s5 s6 s7", {"Select|   Last row: 7|   Color: #FF8000"}},
        {"s5 b s6", {"Select|   Last row: 6|   Color: #FF8000", "Bookmark|   Row: 5", sel5}},
        {"s5 s5", {"Deselect|   Last row: 5", sel5}},
        {"s5 p:beta s6", {"Select|   Last row: 6|   Color: #FF8000", pin, sel5}},
        {"b b p:beta u:beta",
         {"Unpin|   Expression: beta|   Complex mode: No|   Match case: Yes", pin, "Clear Bookmark|   Row: 1",
          "Bookmark|   Row: 1"}},
        {"A C", {"Clear Selections", "Select All|   Color: #FF8000"}},
        {"f:beta F", {"Clear Filter", "Filter|   Expression: beta|   Complex mode: No|   Match case: Yes"}},
        {"m:beta", {"Bookmark by expression|   Expression: beta|   Complex mode: No|   Match case: Yes"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.steps);
        TabTable* tab = OpenTen();
        Run(tab, c.steps);
        EXPECT_EQ(Lines(tab), c.lines);
        delete tab;
    }
}

TEST_F(HistoryTest, TheRingKeepsTheLastHundredAndMergesAcrossItsWrap)
{
    TabTable* tab = OpenTen();
    for (int32_t i = 0; i < 99; ++i)
        tab->AddHistoryItem(HISTORY_BOOKMARK, nullptr, i, 0, 0);
    // The 100th entry fills the last slot; the next selection merges into it.
    tab->AddHistoryItem(HISTORY_SELECT, nullptr, 0, 0, 0x112233);
    tab->AddHistoryItem(HISTORY_SELECT, nullptr, 1, 1, 0x445566);
    EXPECT_EQ(tab->HistoryTree->topLevelItemCount(), 100);
    tab->AddHistoryItem(HISTORY_BOOKMARK, nullptr, 500, 0, 0);
    EXPECT_EQ(tab->HistoryTree->topLevelItemCount(), 101);
    tab->AddHistoryItem(HISTORY_SELECT, nullptr, 2, 2, 0x778899);
    tab->AddHistoryItem(HISTORY_SELECT, nullptr, 3, 3, 0x778899);
    EXPECT_EQ(tab->HistoryTree->topLevelItemCount(), 102);
    const std::vector<std::string> newest = {
        "Select|   Last row: 4|   Color: #778899", "Bookmark|   Row: 501", "Select|   Last row: 2|   Color: #445566",
        "Bookmark|   Row: 99"};
    for (size_t i = 0; i < newest.size(); ++i)
        EXPECT_EQ(Line(tab, int(i)), newest[i]) << i;
    EXPECT_EQ(Line(tab, 101), "Bookmark|   Row: 1");
    // A number outside the list is told, not recorded.
    tab->AddHistoryItem(HISTORY_CLEAR_ALL_BOOKMARKS + 1, nullptr, 0, 0, 0);
    EXPECT_EQ(tab->HistoryTree->topLevelItemCount(), 102);
    EXPECT_TRUE(tabtest::Contains(shell.log, "History: unknown action 15 not recorded"));
}

TEST_F(HistoryTest, TheLineMenuOffersReplayByTheTableState)
{
    // found: the expression loaded for "Open in find dialog".
    const struct { const char* steps; int line, child; const char *menu, *found; } cases[] = {
        {"p:beta", 0, -1, "copy find replay(off) | copyall", "beta"},
        {"p:beta u:beta", 1, 2, "copy find replay | copyall", "beta"},
        {"p:beta u:beta p:beta", 1, -1, "copy find replay | copyall", "beta"},
        {"f:beta F", 1, 0, "copy find replay | copyall", "beta"},
        {"f:beta F", 0, -1, "copy replay(off) | copyall", ""},
        {"f:beta F s5", 1, -1, "copy replay | copyall", ""},
        {"m:beta", 0, -1, "copy find replay | copyall", "beta"},
        {"s5 b", 0, 0, "copy | copyall", ""},
        {"s5 s5", 0, -1, "copy | copyall", ""},
        {"A C", 0, -1, "copy replay(off) | copyall", ""},
        {"A C s3", 1, -1, "copy replay | copyall", ""},
        {"A", 0, -1, "copy replay | copyall", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.steps) + " line " + std::to_string(c.line));
        TabTable* tab = OpenTen();
        Run(tab, c.steps);
        Apply(tab, "eta");
        tab->HistoryExpression.clear();
        EXPECT_EQ(Menu(tab, c.line, c.child), c.menu);
        EXPECT_EQ(tab->HistoryExpression.toStdString(), c.found);
        delete tab;
    }
}

TEST_F(HistoryTest, ReplayRepeatsTheEntryOnTheTable)
{
    // top: the newest line after the replay.
    const struct { const char* steps; int line; const char *before, *after, *top, *status; } cases[] = {
        {"p:beta u:beta", 1, "sel=0 filter=0 pins= marks=0", "sel=0 filter=0 pins=beta, marks=0", "Pin", ""},
        {"p:beta u:beta p:beta", 1, "sel=0 filter=0 pins=beta, marks=0", "sel=0 filter=0 pins= marks=0", "Unpin",
         ""},
        {"f:beta F", 1, "sel=0 filter=0 pins= marks=0", "sel=0 filter=1 pins= marks=0", "Filter",
         "Table 'memory': Filtered 3 rows"},
        {"m:beta", 0, "sel=0 filter=0 pins= marks=3", "sel=0 filter=0 pins= marks=3", "Bookmark by expression",
         "3 bookmarks is set"},
        {"A C", 1, "sel=0 filter=0 pins= marks=0", "sel=10 filter=0 pins= marks=0", "Select All", ""},
        {"S:beta C", 1, "sel=0 filter=0 pins= marks=0", "sel=3 filter=0 pins= marks=0", "Select by expression",
         "Selected 3 rows"},
        {"s5 x F s6", 2, "sel=2 filter=0 pins= marks=0", "sel=2 filter=1 pins= marks=0", "Filter Selected", ""},
        {"A C s3", 1, "sel=1 filter=0 pins= marks=0", "sel=0 filter=0 pins= marks=0", "Clear Selections",
         "Selected 0 rows"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.steps);
        TabTable* tab = OpenTen();
        Run(tab, c.steps);
        // Replay brings back the entry's colours, not the current ones.
        tab->Prefs.ColorSelect = tab->Prefs.ColorHighlight = 0x0000ff;
        shell.status.clear();
        EXPECT_EQ(State(tab), c.before);
        const int lines = tab->HistoryTree->topLevelItemCount();
        Menu(tab, c.line, -1, "replay");
        EXPECT_EQ(State(tab), c.after);
        EXPECT_EQ(tab->HistoryTree->topLevelItemCount(), lines + 1);
        EXPECT_EQ(tab->HistoryTree->topLevelItem(0)->text(0).toStdString(), c.top);
        if (*c.status) {
            EXPECT_TRUE(tabtest::Contains(shell.status, c.status)) << shell.Last();
        }
        delete tab;
    }
    TabTable* tab = OpenTen();
    Run(tab, "S:beta C A C p:beta u:beta");
    tab->Prefs.ColorSelect = tab->Prefs.ColorHighlight = 0x0000ff;
    Menu(tab, 3, -1, "replay");
    EXPECT_EQ(tab->Prefs.ColorSelect, 0xff8000u);
    tab->Prefs.ColorSelect = 0x0000ff;
    Menu(tab, 6, -1, "replay");
    EXPECT_EQ(tab->Prefs.ColorSelect, 0xff8000u);
    ASSERT_EQ(Line(tab, 3).substr(0, 4), "Pin|");
    Menu(tab, 3, -1, "replay");
    ASSERT_EQ(tab->FixedHighlights.size(), 1);
    EXPECT_EQ(tab->FixedHighlights[0]->color, QColor(0x00c0ff));
}

TEST_F(HistoryTest, CopyGivesALineOrTheWholeTree)
{
    TabTable* tab = OpenTen();
    Run(tab, "s5 s6 b p:beta");
    const std::string pin =
        "Pin\n   Expression: beta\n   Complex mode: No\n   Match case: Yes\n   Color: #00C0FF\n";
    const struct { int line, child; const char* choose; std::string clipboard; } cases[] = {
        {0, -1, "copy", pin},
        {2, 0, "copy", "   Last row: 6"},
        {1, 0, "copyall", pin + "Bookmark\n   Row: 6\nSelect\n   Last row: 6\n   Color: #FF8000\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.clipboard);
        QApplication::clipboard()->clear();
        Menu(tab, c.line, c.child, c.choose);
        EXPECT_EQ(QApplication::clipboard()->text().toStdString(), c.clipboard);
    }
}

} // namespace
