// The document's toolbars and menu buttons, colour-bar icons, find combo,
// go-to line, counters, action state rules, copy-by-colours menu, and the
// stop-point jumps with their conditions kept in the preferences.
#include <filesystem>
#include <string>
#include <vector>

#include <QAction>
#include <QComboBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QToolBar>
#include <QToolButton>
#include <QWidgetAction>

#include "kxlib/kxdrecord.h"
#include "kxviewer/importformat.h"
#include "kxviewer/kxvglobals.h"
#include "kxviewer/table/findlineedit.h"
#include "kxviewer/table/guihelpers.h"
#include "kxviewer/table/tabactionids.h"
#include "kxviewer/table/tabtablemodel.h"
#include "tabletabenv.h"
#include "tearoffwidget/tearofftabwidget.h"
#include "utils/kx/pkx.h"

namespace {

using tabtest::Contains;

class TabToolbarTest : public tabletest::TableTabTest {
protected:
    // The real check marks, and the icons colour bars are painted on.
    void SetUp() override
    {
        tabletest::TableTabTest::SetUp();
        for (int id : {TACT_SIDE_PANELS, TACT_COLORIZE, TACT_MATCH_CASE, TACT_SHOW_PRES_ERRORS, TACT_SELECT,
                       TACT_HIGHLIGHT, TACT_FILTER, TACT_BOOKMARK, TACT_PIN})
            actions.Entry(id).checkable = 1;
        actions.Entry(TACT_SELECT).icon = "Select";
        actions.Entry(TACT_HIGHLIGHT).icon = "Highlight";
        actions.Entry(TACT_BOOKMARK).icon = "Bookmark";
    }
    void TearDown() override
    {
        KxvGlobals::CopyInformation.source = nullptr;
        tabletest::TableTabTest::TearDown();
    }

    // n plain rows (LEVEL 1); levels lists the rows that differ.
    TabTable* OpenRows(int n, std::initializer_list<std::pair<int, int8_t>> levels = {},
                       const PrefTabTable& prefs = PrefTabTable::Default())
    {
        auto* table = new KxTable(nullptr, "memory", PrefKxTable::Default());
        for (int i = 0; i < n; ++i)
            table->AppendRecord(Record("row").Build())->prot.msg.LEVEL = 1;
        for (const auto& [row, level] : levels)
            table->GetRecord(row)->prot.msg.LEVEL = level;
        return Show(table, prefs, TabBase::SOURCE_BUILT);
    }

    static void OnlyJumpCondition(TabBase* tab, int32_t index)
    {
        for (int32_t i = 0; i < JUMP_Nums; ++i)
            tab->SetJumpCondition(i, i == index);
    }

    static void Click(QToolButton* button, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        // Left of the arrow: the button part runs the default action.
        QTest::mouseClick(button, Qt::LeftButton, modifiers, QPoint(4, button->height() / 2));
    }

    // A toolbar's or menu's entries as short names: an action's id, "B" and
    // a menu button's index, "|" for a separator, or the embedded widget.
    static std::string Describe(TabBase* tab, const QList<QAction*>& actions, QToolBar* bar)
    {
        std::string text;
        for (QAction* action : actions) {
            QWidget* widget = bar ? bar->widgetForAction(action) : nullptr;
            std::string name = action->isSeparator() ? "|" : "?";
            for (int i = 0; i < TabBase::TOOL_BUTTON_COUNT; ++i)
                if (widget && widget == tab->ToolButtons[i])
                    name = "B" + std::to_string(i);
            for (int i = 0; i < JUMP_Nums; ++i)
                if (action == tab->JumpActions[i])
                    name = "J" + std::to_string(i);
            for (int id = 0; id < ComActionCount; ++id)
                if (action == tab->Actions[id])
                    name = std::to_string(id);
            if (widget == tab->FindCombo)
                name = "find";
            else if (widget == tab->GoToEdit)
                name = "goto";
            else if (widget == tab->CountersLabel)
                name = "counters";
            else if (widget && widget->sizePolicy().horizontalPolicy() == QSizePolicy::Expanding)
                name = "spacer";
            text += (text.empty() ? "" : " ") + name;
        }
        return text;
    }

    // Any pixel of the button within a few steps of the colour.
    static bool ShowsColour(QWidget* widget, QRgb colour)
    {
        const QImage image = Grab(widget);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QRgb pixel = image.pixel(x, y);
                if (std::abs(qRed(pixel) - qRed(colour)) <= 6 && std::abs(qGreen(pixel) - qGreen(colour)) <= 6 &&
                    std::abs(qBlue(pixel) - qBlue(colour)) <= 6)
                    return true;
            }
        return false;
    }
};

TEST_F(TabToolbarTest, NineToolbarsAndTenMenuButtons)
{
    TabTable* tab = OpenRows(12);
    struct Row {
        const char* name;
        const char* contents;
    };
    const Row toolbars[] = {
        {"File", "17 18 19 20 21 22"},
        {"Colorize", "36"},
        {"Find", "find 37 B0 B1 | 34 63 64"},
        {"Selection", "B2 B3 B4"},
        {"Navigate", "49 B5 51 goto 53 B6"},
        {"Copy", "B7 B8 70"},
        {"View", "B9 26 27 28 29"},
        {"Reports", "32 33"},
        {"Informer", "spacer counters"},
    };
    for (int i = 0; i < TabBase::TOOLBAR_COUNT; ++i) {
        QToolBar* bar = tab->Toolbars[i];
        ASSERT_NE(bar, nullptr);
        EXPECT_EQ(bar->windowTitle(), toolbars[i].name);
        EXPECT_EQ(Describe(tab, bar->actions(), bar), toolbars[i].contents) << toolbars[i].name;
        // Only "File" is hidden by default.
        EXPECT_EQ(bar->isVisibleTo(tab), i != 0) << toolbars[i].name;
    }
    const Row buttons[] = {
        {"83", "empty"}, {"75", "44 76"},           {"71", "43 72 74"}, {"77", "78 79"},
        {"80", "45 82 81"}, {"52", "J0 J1 J2 J3 J4 J5 | 42"}, {"54", "J0 J1 J2 J3 J4 J5 | 42"},
        {"65", "65 66 | | 67"}, {"68", "68 69"}, {"24", "? ? ? |"},
    };
    for (int i = 0; i < TabBase::TOOL_BUTTON_COUNT; ++i) {
        QToolButton* button = tab->ToolButtons[i];
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(Describe(tab, {button->defaultAction()}, nullptr), buttons[i].name);
        EXPECT_EQ(button->popupMode(), QToolButton::MenuButtonPopup);
        const QList<QAction*> menu = button->menu() ? button->menu()->actions() : QList<QAction*>();
        if (i == TabBase::BUTTON_PIN)
            EXPECT_EQ(menu.value(0)->text(), buttons[i].contents);
        else
            EXPECT_EQ(Describe(tab, menu, nullptr), buttons[i].contents) << i;
    }
    const char* outline[] = {"Selections",    "Bookmarks",   "Highlighted Substrings",
                             "Data Warnings", "Data Errors", "Presentation Errors"};
    for (int i = 0; i < JUMP_Nums; ++i) {
        EXPECT_EQ(tab->JumpActions[i]->text(), QStringLiteral("Jump on ") + outline[i]);
        EXPECT_EQ(tab->OutlineActions[i]->text(), outline[i]);
    }
    EXPECT_TRUE(tab->Actions[TACT_SHOW_PRES_ERRORS]->isChecked());
    EXPECT_TRUE(tab->Actions[TACT_SIDE_PANELS]->isChecked());

    // A click on the button part runs the default action.
    QSignalSpy triggered(tab->Actions[TACT_SELECT], &QAction::triggered);
    Click(tab->ToolButtons[TabBase::BUTTON_SELECT]);
    EXPECT_EQ(triggered.count(), 1);
}

TEST_F(TabToolbarTest, ColourButtonsShowTheTabColours)
{
    PrefTabTable prefs = PrefTabTable::Default();
    prefs.ColorSelect = 0x12AB34;
    prefs.ColorHighlight = 0xC81E96;
    prefs.ColorBookmark = 0x1E50DC;
    // Icons at their own size, not scaled down.
    PrefGlobal::LargeIcons = true;
    TabTable* tab = OpenRows(12, {}, prefs);
    EXPECT_TRUE(ShowsColour(tab->ToolButtons[TabBase::BUTTON_SELECT], 0xFF12AB34));
    EXPECT_TRUE(ShowsColour(tab->ToolButtons[TabBase::BUTTON_HIGHLIGHT], 0xFFC81E96));
    EXPECT_TRUE(ShowsColour(tab->ToolButtons[TabBase::BUTTON_BOOKMARK], 0xFF1E50DC));
    // The bar lies under the picture: the icon's bottom row is the colour.
    const QImage select = tab->Actions[TACT_SELECT]->icon().pixmap(QSize(32, 36)).toImage();
    ASSERT_FALSE(select.isNull());
    EXPECT_EQ(select.pixel(select.width() / 2, select.height() - 1), 0xFF12AB34u);
    EXPECT_NE(select.pixel(select.width() / 2, 0), 0xFF12AB34u);
    // Another colour is not painted on a button that does not use it.
    EXPECT_FALSE(ShowsColour(tab->ToolButtons[TabBase::BUTTON_FILTER], 0xFF12AB34));
}

// The find combo lists the history; the go-to line takes row numbers and is
// as wide as they are (a document's own width: a table tab sets its own).
TEST_F(TabToolbarTest, FindComboAndGoToLine)
{
    PrefGlobal::SearchHistory = {{0, true, "first"}, {1, false, "TEXT == 'x'"}};
    TabTable* table = OpenRows(12);
    PrefGlobal::SearchHistory.clear();
    QComboBox* combo = table->FindCombo;
    EXPECT_NE(qobject_cast<LineEdit*>(combo->lineEdit()), nullptr);
    ASSERT_EQ(combo->count(), 2);
    EXPECT_EQ(combo->itemText(1), "TEXT == 'x'");
    EXPECT_EQ(combo->minimumWidth(), 150);
    EXPECT_EQ(combo->maximumWidth(), 300);
    EXPECT_EQ(combo->view()->contextMenuPolicy(), Qt::CustomContextMenu);
    table->GoToEdit->selectAll();
    QTest::keyClicks(table->GoToEdit, "5");
    EXPECT_EQ(table->Table->CurRow(), 4);

    for (const auto& [rows, characters] : {std::pair{12, 6}, std::pair{1234, 7}}) {
        SCOPED_TRACE(rows);
        auto* kx = new KxTable(nullptr, "memory", PrefKxTable::Default());
        for (int i = 0; i < rows; ++i)
            kx->AppendRecord(Record("row").Build());
        auto* tab = new TabBase(kx, PrefTabTable::Default(), nullptr);
        Dock(tab);
        QLineEdit* go = tab->GoToEdit;
        ASSERT_NE(go, nullptr);
        EXPECT_EQ(go->width(), CharactersWidth(go->font(), characters));
        const auto* validator = qobject_cast<const QIntValidator*>(go->validator());
        ASSERT_NE(validator, nullptr);
        EXPECT_EQ(validator->bottom(), 1);
        EXPECT_EQ(validator->top(), rows);
        EXPECT_EQ(go->alignment(), Qt::AlignCenter);
    }
}

TEST_F(TabToolbarTest, CountersFollowSelectionAndFilter)
{
    TabTable* tab = OpenRows(12);
    tab->UpdateInformer();
    EXPECT_EQ(tab->CountersLabel->text(), "<b>12 Rows</b>  ");
    tab->SelRangeSet(2, 4, true, 0);
    tab->UpdateInformer();
    EXPECT_EQ(tab->CountersLabel->text(), "Selected 3 / <b>12 Rows</b>  ");
    ASSERT_EQ(tab->Table->Selected2Filter(), 3);
    tab->UpdateInformer();
    EXPECT_EQ(tab->Rows, 12);
    EXPECT_EQ(tab->Filtered, 3);
    EXPECT_EQ(tab->Selected, 3);
    EXPECT_EQ(tab->CountersLabel->text(), "Selected 3 / Filtered 3 / <b>12 Rows</b>  ");
    tab->Table->ClearFilter();
    tab->Table->ClearSelections();
    tab->UpdateInformer();
    EXPECT_EQ(tab->CountersLabel->text(), "<b>12 Rows</b>  ");
}

// The ruled actions' states: an action's id followed by "+" when enabled
// ("*" when checked, for the two that are checked by rule), "-" otherwise.
std::string RuledStates(TabBase* tab)
{
    std::string text;
    for (int id : {TACT_CLEAR_SELECTION, TACT_CLEAR_BOOKMARKS, TACT_CLEAR_HIGHLIGHT, TACT_CLEAR_FILTER,
                   TACT_FILTER_SELECTED, TACT_ROWS_COPY, TACT_CREATE_GRAPH, TACT_FUNCS_DOC, TACT_ROWS_PASTE,
                   TACT_ROWS_DELETE, TACT_DOCK_HORIZONTALLY, TACT_DOCK_VERTICALLY, TACT_DOCK_DETACH, TACT_DOCK_ATTACH})
        text += std::to_string(id) + (tab->Actions[id]->isEnabled() ? "+ " : "- ");
    for (int id : {TACT_SELECT, TACT_FILTER})
        text += std::to_string(id) + (tab->Actions[id]->isChecked() ? "*" : "-") + (id == TACT_FILTER ? "" : " ");
    return text;
}

TEST_F(TabToolbarTest, ActionStatesFollowTheRules)
{
    auto expect = [](TabBase* on, const char* state, const char* states) {
        on->UpdateActions();
        EXPECT_EQ(RuledStates(on), states) << state;
    };
    TabTable* tab = OpenRows(12);
    tab->Actions[TACT_HIGHLIGHT]->setChecked(false);
    expect(tab, "fresh, highlighting off", "74- 82- 76- 79- 78- 65+ 33+ 32+ 68- 70+ 26- 27- 28- 29- 71- 77-");
    tab->Actions[TACT_HIGHLIGHT]->setChecked(true);
    tab->SelRangeSet(2, 4, true, 0);
    tab->Table->BookmarkSet(7, true);
    KxvGlobals::CopyInformation.source = tab->Table;
    expect(tab, "selection, bookmark, highlight, rows copied",
           "74+ 82+ 76+ 79- 78+ 65+ 33+ 32+ 68+ 70+ 26- 27- 28- 29- 71* 77-");
    tab->Table->Selected2Filter();
    expect(tab, "filtered", "74+ 82- 76+ 79+ 78- 65+ 33+ 32+ 68- 70- 26- 27- 28- 29- 71* 77*");
    // The rule's letter: a disabled filter action shows checked.
    tab->Table->ClearFilter();
    tab->Actions[TACT_FILTER]->setEnabled(false);
    expect(tab, "filter action disabled", "74+ 82+ 76+ 79+ 78- 65+ 33+ 32+ 68+ 70+ 26- 27- 28- 29- 71* 77*");
    tab->GraphState = TabBase::GRAPH_OPEN;
    expect(tab, "graph open", "74+ 82+ 76+ 79+ 78- 65+ 33- 32+ 68+ 70+ 26- 27- 28- 29- 71* 77*");
    tab->GraphState = TabBase::GRAPH_NONE;
    tab->FuncsDocument = 1;
    expect(tab, "functions document", "74+ 82+ 76+ 79+ 78- 65+ 33- 32- 68+ 70+ 26- 27- 28- 29- 71* 77*");
    // Docked beside the others: two tabs in the group, nothing to copy.
    expect(OpenRows(0), "empty table", "74- 82- 76+ 79- 78- 65- 33- 32+ 68+ 70- 26+ 27+ 28+ 29- 71- 77-");
}

TEST_F(TabToolbarTest, CopyMenuGroupsRangesByColour)
{
    TabTable* tab = OpenRows(20);
    tab->Table->SelRangeSet(0, 9, true, 0x00FF00);
    tab->Table->SelRangeSet(11, 11, true, 0x0000FF);
    tab->Table->SelRangeSet(14, 15, true, 0x00FF00);
    tab->BuildCopyMenu();
    ASSERT_EQ(tab->ColorGroups.size(), 2);
    EXPECT_EQ(tab->ColorGroups[1].color, 0x0000FFu);
    QMenu* menu = tab->ToolButtons[TabBase::BUTTON_COPY]->menu();
    const QList<QAction*> entries = menu->actions();
    EXPECT_EQ(Describe(tab, entries, nullptr), "65 66 | ? ? | 67");
    EXPECT_FALSE(entries[6]->isEnabled());

    QList<QPushButton*> buttons[2];
    for (int i = 0; i < 2; ++i) {
        buttons[i] = qobject_cast<QWidgetAction*>(entries[3 + i])->defaultWidget()->findChildren<QPushButton*>();
        ASSERT_EQ(buttons[i].size(), 2);
        EXPECT_EQ(buttons[i][0]->objectName(), QString::number(i));
    }
    // Counts padded to the widest of all groups.
    EXPECT_EQ(buttons[0][1]->text(), " 2 Ranges 12 Rows");
    EXPECT_EQ(buttons[1][1]->text(), " 1 Ranges  1 Rows");

    menu->popup(QPoint(0, 0));
    QApplication::processEvents();
    QTest::mouseClick(buttons[1][0], Qt::LeftButton);
    EXPECT_TRUE(tab->ColorGroups[1].copy);
    EXPECT_FALSE(tab->ColorGroups[0].copy);
    EXPECT_TRUE(entries[6]->isEnabled());
    QTest::mouseClick(buttons[1][0], Qt::LeftButton);
    EXPECT_FALSE(tab->ColorGroups[1].copy);
    EXPECT_FALSE(entries[6]->isEnabled());
    menu->hide();
}

// With no condition the button asks for one; highlights alone need a pinned
// phrase; a fixed mode needs no flag. Data errors alone visit each error.
TEST_F(TabToolbarTest, JumpButtonsVisitTheChosenStops)
{
    TabTable* tab = OpenRows(12, {{2, -1}, {3, 0}, {6, -3}, {10, -1}});
    OnlyJumpCondition(tab, -1);
    tab->SetCurrentPosition(3);
    Click(tab->ToolButtons[TabBase::BUTTON_NEXT_JUMP]);
    ASSERT_EQ(shell.info.size(), 1u);
    EXPECT_EQ(shell.info[0], "Please check on one of jump conditions");
    EXPECT_TRUE(shell.warnings[0]);
    EXPECT_EQ(tab->Table->CurRow(), 3);
    tab->JumpToNextStopPosBy(JUMP_HIGHLIGHT);
    EXPECT_EQ(shell.Last(), "No highlight to jump");
    EXPECT_EQ(tab->Table->CurRow(), 3);
    tab->JumpToNextStopPosBy(JUMP_DATA_ERRORS);
    EXPECT_EQ(tab->Table->CurRow(), 6);

    OnlyJumpCondition(tab, JUMP_DATA_ERRORS);
    tab->SetCurrentPosition(0);
    std::vector<int> visited;
    for (int i = 0; i < 5; ++i) {
        Click(tab->ToolButtons[TabBase::BUTTON_NEXT_JUMP]);
        visited.push_back(tab->Table->CurRow());
    }
    EXPECT_EQ(visited, (std::vector<int>{2, 6, 10, 10, 10}));
    EXPECT_TRUE(Contains(shell.status, "Jumped to error 'NoErrors' at row 7"));
    EXPECT_EQ(shell.Last(), "No jump");
    Click(tab->ToolButtons[TabBase::BUTTON_PREV_JUMP]);
    EXPECT_EQ(tab->Table->CurRow(), 6);
    EXPECT_EQ(shell.Last(), "Jumped to error 'NoErrors' at row 7");
}

// Shift with a jump button selects the rows passed over, both ways; called
// directly (main-window commands, scripts) with Shift held only the forward
// jump selects; a jump that stays on its row selects nothing.
TEST_F(TabToolbarTest, ShiftJumpsSelectThePassedRowsBothWays)
{
    TabTable* tab = OpenRows(12, {{3, -1}, {9, -1}});
    OnlyJumpCondition(tab, JUMP_DATA_ERRORS);
    QToolButton* next = tab->ToolButtons[TabBase::BUTTON_NEXT_JUMP];
    QToolButton* prev = tab->ToolButtons[TabBase::BUTTON_PREV_JUMP];
    auto onlyRange = [&] {
        const SelRange* range = tab->Table->RangeCount() == 1 ? tab->Table->FirstRange() : nullptr;
        return range ? std::pair{range->first, range->count} : std::pair{-1, 0};
    };
    tab->SetCurrentPosition(3);
    Click(next, Qt::ShiftModifier);
    EXPECT_EQ(tab->Table->CurRow(), 9);
    EXPECT_EQ(onlyRange(), (std::pair{3, 6}));
    tab->Table->ClearSelections();
    Click(prev, Qt::ShiftModifier);
    EXPECT_EQ(tab->Table->CurRow(), 3);
    EXPECT_EQ(onlyRange(), (std::pair{4, 6}));
    EXPECT_TRUE(Contains(shell.status, "Selected range from 5 to 10"));

    tab->Table->ClearSelections();
    QTest::keyPress(tab, Qt::Key_Shift, Qt::ShiftModifier);
    tab->JumpToNextStopPosBy(JUMP_DATA_ERRORS);
    EXPECT_EQ(tab->Table->CurRow(), 9);
    EXPECT_EQ(tab->Table->NumSelected, 6u);
    tab->Table->ClearSelections();
    tab->JumpToPrevStopPosBy(JUMP_DATA_ERRORS);
    EXPECT_EQ(tab->Table->CurRow(), 3);
    EXPECT_EQ(tab->Table->NumSelected, 0u);
    QTest::keyRelease(tab, Qt::Key_Shift, Qt::NoModifier);
    Click(next);
    EXPECT_EQ(tab->Table->CurRow(), 9);
    EXPECT_EQ(tab->Table->NumSelected, 0u);

    OnlyJumpCondition(tab, JUMP_SELECTIONS);
    tab->SetCurrentPosition(11);
    Click(next, Qt::ShiftModifier);
    EXPECT_EQ(shell.Last(), "Jumped to selected region at row 12");
    tab->SetCurrentPosition(0);
    Click(prev, Qt::ShiftModifier);
    EXPECT_EQ(shell.Last(), "Jumped to selection region at row 1");
    EXPECT_EQ(tab->Table->NumSelected, 0u);
    Click(prev);
}

TEST_F(TabToolbarTest, InconsistentSelectionIsReportedNotFatal)
{
    TabTable* tab = OpenRows(12);
    OnlyJumpCondition(tab, JUMP_SELECTIONS);
    tab->Table->SelRangeSet(2, 4, true, 0xFFFF00);
    tab->SetCurrentPosition(3);
    KxdRecord* record = tab->Table->GetRecord(3);
    SelRange* link = record->selRange;
    record->selRange = nullptr;
    Click(tab->ToolButtons[TabBase::BUTTON_NEXT_JUMP]);
    record->selRange = link;
    EXPECT_EQ(tab->Table->CurRow(), 3);
    ASSERT_EQ(shell.info.size(), 1u);
    EXPECT_EQ(shell.info[0], "KxTable 'memory', Record #3: inconsistency in selection data");
    EXPECT_TRUE(Contains(shell.log, shell.info[0]));
}

TEST_F(TabToolbarTest, JumpConditionsSurviveARestartExceptHighlight)
{
    const std::string cwd = std::filesystem::current_path().string();
    const std::string program = PrefGlobal::ProgramDir;
    PrefGlobal::ProgramDir = Path("").toStdString();
    PrefGlobal::IniDir.clear();
    PrefGlobal::Load();

    TabTable* tab = OpenRows(12);
    EXPECT_FALSE(tab->JumpActions[JUMP_HIGHLIGHT]->isChecked());
    EXPECT_EQ(tab->Actions[TACT_HIGHLIGHT]->data().toInt(), 1);
    // Through the menu's actions, as the user switches them.
    tab->JumpActions[JUMP_SELECTIONS]->trigger();
    tab->JumpActions[JUMP_VIEW_ERRORS]->trigger();
    tab->JumpActions[JUMP_HIGHLIGHT]->trigger();
    tab->OutlineActions[JUMP_BOOKMARKS]->trigger();
    EXPECT_EQ(PrefTabTable::Default().jumps[JUMP_HIGHLIGHT], 1);
    PrefGlobal::Save();

    PrefTabTable::Default() = PrefTabTable();
    PrefGlobal::IniViewer.Close();
    PrefGlobal::IniFormats.Close();
    ImportFormats = DefaultImportTemplates();
    PrefGlobal::Load();
    const PrefTabTable& loaded = PrefTabTable::Default();
    EXPECT_EQ(loaded.jumps[JUMP_SELECTIONS], 0);
    EXPECT_EQ(loaded.jumps[JUMP_VIEW_ERRORS], 1);
    EXPECT_EQ(loaded.jumps[JUMP_HIGHLIGHT], 1);
    EXPECT_EQ(loaded.outline[JUMP_BOOKMARKS], 0);

    TabTable* reopened = OpenRows(12);
    const bool expected[JUMP_Nums] = {false, true, false, true, true, true};
    for (int i = 0; i < JUMP_Nums; ++i) {
        EXPECT_EQ(reopened->JumpActions[i]->isChecked(), expected[i]) << i;
        EXPECT_EQ(reopened->Prefs.jumps[i], expected[i] ? 1 : 0) << i;
    }
    EXPECT_EQ(PrefTabTable::Default().jumps[JUMP_HIGHLIGHT], 0);
    EXPECT_FALSE(reopened->OutlineActions[JUMP_BOOKMARKS]->isChecked());

    PrefGlobal::IniViewer.Close();
    PrefGlobal::IniFormats.Close();
    if (ZmLib::PKX::FindOutput(ZmLib::KX_OUT_FILE))
        ZmLib::PKX::Delete(ZmLib::PKX_ID_FILE);
    ZmLib::KX::SetLevelAll(1);
    ImportFormats = DefaultImportTemplates();
    PrefGlobal::ProgramDir = program;
    std::filesystem::current_path(cwd);
}

} // namespace
