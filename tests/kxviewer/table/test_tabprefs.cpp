// The tab's preference commands: colour choices and range recolouring, the
// display switches with the Info pane following them, presentation errors
// with their VIEW_ERRORS conditions and splitting a tab out of its group.
#include <string>
#include <vector>

#include <QAction>
#include <QCheckBox>
#include <QMenu>
#include <QPointer>
#include <QTableWidget>

#include "kxlib/kxdrecord.h"
#include "kxviewer/table/tabactionids.h"
#include "kxviewer/table/tabtablemodel.h"
#include "tabletabenv.h"
#include "tearoffwidget/tearoffdockwidget.h"
#include "tearoffwidget/tearoffsecondary.h"
#include "tearoffwidget/tearofftabwidget.h"
#include "tests/widgetmetrics.h"

namespace {

constexpr QRgb TAB_SELECT = 0xFFFF00;
// "Replace Selection Color to Current".
constexpr int REPLACE_TO_CURRENT = 91;

class TabPrefsTest : public tabletest::TableTabTest {
protected:
    void SetUp() override
    {
        tabletest::TableTabTest::SetUp();
        for (int id : {TACT_SELECT, TACT_HIGHLIGHT, TACT_BOOKMARK, TACT_INSERT_FUNC, TACT_INDENT_TEXT,
                       TACT_RELATIVE_TIME, TACT_SHOW_PRES_ERRORS})
            actions.Entry(id).checkable = 1;
        for (const auto& [id, icon] : {std::pair<int, const char*>{TACT_SELECT, "Select"},
                                       {TACT_HIGHLIGHT, "Highlight"}, {TACT_BOOKMARK, "Bookmark"}})
            actions.Entry(id).icon = icon;
        // Icons at their own size, so that the colour bar is whole.
        PrefGlobal::LargeIcons = true;
    }

    TabTable* OpenRows(int n)
    {
        auto* table = new KxTable(nullptr, "memory", PrefKxTable::Default());
        for (int i = 0; i < n; ++i) {
            RawRecord raw = Record("row");
            raw.time = 1000 + 100 * uint64_t(i);
            table->AppendRecord(raw.Build());
        }
        return Show(table, PrefTabTable::Default(), TabBase::SOURCE_BUILT);
    }

    // The tab shown with its Info pane in front; its presentation-errors
    // box.
    static QCheckBox* ShowInfoPane(TabBase* tab)
    {
        tab->window()->resize(1400, 900);
        tab->window()->show();
        tab->InfoDock->raise();
        QApplication::processEvents();
        return tab->PresErrorsBox;
    }

    // Whether any pixel of the picture is the colour.
    static bool Holds(const QPixmap& pixmap, QRgb colour)
    {
        const QImage image = pixmap.toImage();
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if ((image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF))
                    return true;
        return false;
    }

    // The ranges as "first-last:colour" in row order.
    static std::string Ranges(TabBase* tab)
    {
        std::string text;
        char part[40];
        for (const SelRange* range = tab->Table->FirstRange(); range; range = range->NextEntry()) {
            snprintf(part, sizeof part, "%s%d-%d:%06X", text.empty() ? "" : " ", range->first,
                     range->first + range->count - 1, range->tag);
            text += part;
        }
        return text;
    }
};

// A chosen colour becomes the tab's and its button's; a cancelled dialog
// changes neither. The dialog starts at the current colour. Black is kept
// apart from the colour word 0, which selections read as "the tab's".
TEST_F(TabPrefsTest, ColourChoicesChangeOnlyWhenChosen)
{
    TabTable* tab = OpenRows(12);
    // shown: the action whose icon shows the colour; answer invalid: cancelled.
    struct Case {
        int action, shown;
        uint32_t PrefTabTable::*colour;
        const char* title;
        QColor answer;
        uint32_t stored;
    };
    const Case cases[] = {
        {TACT_COLOR_SELECTION, TACT_SELECT, &PrefTabTable::ColorSelect, "Selection Color", QColor(), TAB_SELECT},
        {TACT_COLOR_SELECTION, TACT_SELECT, &PrefTabTable::ColorSelect, "Selection Color", QColor(0x12AB34), 0x12AB34},
        {TACT_COLOR_SELECTION, TACT_SELECT, &PrefTabTable::ColorSelect, "Selection Color", QColor(Qt::black), 0x000001},
        {TACT_COLOR_BOOKMARK, TACT_BOOKMARK, &PrefTabTable::ColorBookmark, "Bookmark Color", QColor(0x1E50DC),
         0x1E50DC},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.title) + " " + (c.answer.isValid() ? c.answer.name() : "cancelled").toStdString());
        const uint32_t before = tab->Prefs.*c.colour;
        auto icon = [&] { return tab->Actions[c.shown]->icon().pixmap(QSize(32, 36)); };
        const QImage was = icon().toImage();
        prompt.colorAsked.clear();
        if (c.answer.isValid())
            prompt.colors.enqueue(c.answer);
        tab->Actions[c.action]->trigger();
        ASSERT_EQ(prompt.colorAsked.size(), 1);
        EXPECT_EQ(prompt.colorAsked[0].first, QColor(QRgb(before)));
        EXPECT_EQ(prompt.colorAsked[0].second, c.title);
        EXPECT_EQ(tab->Prefs.*c.colour, c.stored);
        if (!c.answer.isValid()) {
            EXPECT_EQ(icon().toImage(), was);
        } else {
            EXPECT_TRUE(Holds(icon(), c.stored));
        }
        // The row header marks bookmarks with the small picture.
        if (c.shown == TACT_BOOKMARK) {
            EXPECT_TRUE(Holds(tab->TabPixmap, c.stored));
        }
    }
    // New selections take the chosen colour; the defaults keep theirs.
    tab->SelRangeSet(5, 6, true, 0);
    EXPECT_EQ(Ranges(tab), "5-6:000001");
    EXPECT_EQ(PrefTabTable::Default().ColorSelect, TAB_SELECT);
}

// "Replace Selection Color" from the cell menu recolours the range under
// the pointer in the chosen colour and leaves the tab's colour alone;
// "Replace Selection Color to Current" takes the tab's colour unasked.
TEST_F(TabPrefsTest, RangesTakeANewColourFromTheCellMenu)
{
    const struct { int action; QColor answer; const char* ranges; int asked; } cases[] = {
        {TabTable::ACTION_REPLACE_SEL_COLOR, QColor(), "2-4:00FF00 8-9:0000FF", 1},
        {TabTable::ACTION_REPLACE_SEL_COLOR, QColor(Qt::black), "2-4:000001 8-9:0000FF", 1},
        {REPLACE_TO_CURRENT, QColor(0xC81E96), "2-4:FFFF00 8-9:0000FF", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ranges);
        TabTable* tab = OpenRows(12);
        tab->Table->SelRangeSet(2, 4, true, 0x00FF00);
        tab->Table->SelRangeSet(8, 9, true, 0x0000FF);
        QMenu menu;
        tab->FillCellMenu(&menu, CellCentre(tab, 3, 0));
        prompt.colorAsked.clear();
        prompt.colors.clear();
        if (c.answer.isValid())
            prompt.colors.enqueue(c.answer);
        tab->Actions[c.action]->trigger();
        EXPECT_EQ(Ranges(tab), c.ranges);
        ASSERT_EQ(prompt.colorAsked.size(), c.asked);
        if (c.asked) {
            EXPECT_EQ(prompt.colorAsked[0].first, QColor(TAB_SELECT));
        }
        EXPECT_EQ(tab->Prefs.ColorSelect, TAB_SELECT);
    }
}

// Each switch takes its action's check mark. Relative time counts from row
// 0 and back, marks the document changed and the Info pane's check mark
// follows.
TEST_F(TabPrefsTest, SwitchesFollowTheirActions)
{
    TabTable* tab = OpenRows(3);
    ShowInfoPane(tab);
    // state: IndentText, InsertFunc, relative time, "*" title, Info check.
    const struct { int action; const char* state; } cases[] = {
        {TACT_INDENT_TEXT, "0 1 1 - 1"},   {TACT_INDENT_TEXT, "1 1 1 - 1"}, {TACT_INSERT_FUNC, "1 0 1 - 1"},
        {TACT_RELATIVE_TIME, "1 0 0 * 0"}, {TACT_INSERT_FUNC, "1 1 0 * 0"}, {TACT_RELATIVE_TIME, "1 1 1 * 1"},
    };
    auto state = [tab] {
        return std::to_string(tab->Prefs.IndentText) + " " + std::to_string(tab->Prefs.InsertFunc) + " " +
               (tab->Table->TimeNormalised() ? "1" : "0") + " " +
               (tab->windowTitle().endsWith(QLatin1Char('*')) ? "*" : "-") + " " +
               (tab->InfoTable->item(3, 1)->checkState() == Qt::Checked ? "1" : "0");
    };
    // The menu shows the states before the user flips one.
    tab->Actions[TACT_INDENT_TEXT]->setChecked(true);
    tab->Actions[TACT_INSERT_FUNC]->setChecked(true);
    for (const auto& c : cases) {
        tab->Actions[c.action]->trigger();
        EXPECT_EQ(state(), c.state) << c.action;
    }
    // Relative to row 0 again; back to absolute, the records' own times.
    EXPECT_EQ(tab->Table->GetRecord(2)->prot.msg.TIME, 200u);
    tab->Actions[TACT_RELATIVE_TIME]->trigger();
    EXPECT_EQ(tab->Table->GetRecord(2)->prot.msg.TIME, 1200u);
}

// Switching presentation errors off switches both VIEW_ERRORS conditions
// off and disables them; switching on enables them but leaves them off, in
// the tab and in the defaults. The Info pane's box and the action follow
// each other without looping.
TEST_F(TabPrefsTest, ViewErrorsStayOffAfterPresentationErrorsOffAndOn)
{
    TabTable* tab = OpenRows(3);
    QCheckBox* box = ShowInfoPane(tab);
    QAction* show = tab->Actions[TACT_SHOW_PRES_ERRORS];
    QAction* jump = tab->JumpActions[JUMP_VIEW_ERRORS];
    QAction* outline = tab->OutlineActions[JUMP_VIEW_ERRORS];
    // state: Show, box, jump checked/enabled, outline checked/enabled, tab's and default flags (jump, outline).
    const struct { const char *what, *state; } steps[] = {
        {"fresh", "1 1 j0+ o0+ 00 00"},
        {"check both", "1 1 j1+ o1+ 11 11"},
        {"action off", "0 0 j0- o0- 00 00"},
        {"action on", "1 1 j0+ o0+ 00 00"},
        {"check both", "1 1 j1+ o1+ 11 11"},
        {"box off", "0 0 j0- o0- 00 00"},
        {"box on", "1 1 j0+ o0+ 00 00"},
    };
    auto state = [&] {
        const PrefTabTable& defaults = PrefTabTable::Default();
        return std::string(show->isChecked() ? "1 " : "0 ") + (box->isChecked() ? "1 " : "0 ") + "j" +
               (jump->isChecked() ? "1" : "0") + (jump->isEnabled() ? "+ " : "- ") + "o" +
               (outline->isChecked() ? "1" : "0") + (outline->isEnabled() ? "+ " : "- ") +
               std::to_string(tab->Prefs.jumps[JUMP_VIEW_ERRORS]) + std::to_string(tab->Prefs.outline[JUMP_VIEW_ERRORS]) +
               " " + std::to_string(defaults.jumps[JUMP_VIEW_ERRORS]) +
               std::to_string(defaults.outline[JUMP_VIEW_ERRORS]);
    };
    for (const auto& step : steps) {
        const std::string what = step.what;
        if (what == "check both") {
            jump->trigger();
            outline->trigger();
        } else if (what == "action off" || what == "action on") {
            show->trigger();
        } else if (what != "fresh") {
            QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, IndicatorCentre(box));
        }
        EXPECT_EQ(state(), step.state) << step.what;
        EXPECT_EQ(tab->Prefs.ShowPresErrors, show->isChecked() ? 1 : 0) << step.what;
    }
}

// Dock Horizontally puts the tab in a group of its own beside its old
// group, Dock Vertically below it; a tab alone in its group stays.
TEST_F(TabPrefsTest, DockCommandsSplitTheTabOutOfItsGroup)
{
    TabTable* first = OpenRows(3);
    // Called directly, as a script does: the action itself is disabled.
    first->DockHorizontally();
    EXPECT_EQ(first->TabWidget->count(), 1);
    EXPECT_EQ(first->TabWidget->indexOf(first), 0);

    for (int action : {TACT_DOCK_HORIZONTALLY, TACT_DOCK_VERTICALLY}) {
        SCOPED_TRACE(action);
        TabTable* tab = OpenRows(3);
        TearOffDockWidget* old = tab->TabWidget->DockWidget;
        ASSERT_EQ(old, first->TabWidget->DockWidget);
        const int before = old->TabWidget->count();
        tab->UpdateActions();
        ASSERT_TRUE(tab->Actions[action]->isEnabled());
        tab->Actions[action]->trigger();
        QApplication::processEvents();
        TearOffDockWidget* group = tab->TabWidget->DockWidget;
        ASSERT_NE(group, old);
        EXPECT_EQ(group->TabWidget->count(), 1);
        EXPECT_EQ(old->TabWidget->count(), before - 1);
        const QRect was = old->geometry(), now = group->geometry();
        if (action == TACT_DOCK_HORIZONTALLY) {
            EXPECT_GE(now.left(), was.right());
            EXPECT_EQ(now.top(), was.top());
        } else {
            EXPECT_GE(now.top(), was.bottom());
            EXPECT_EQ(now.left(), was.left());
        }
        EXPECT_EQ(TearOffMain::CurrentDock, tab);
        // Alone in its group now: nothing more to split out.
        EXPECT_FALSE(tab->Actions[action]->isEnabled());
    }
}

// "Detach from Panel" moves the tab into a window of its own; "Attach to
// Main Panel" brings it back beside the main window's documents and closes
// the window it leaves empty, but not one that keeps a document.
TEST_F(TabPrefsTest, DetachAndAttachMoveTheTabBetweenWindows)
{
    for (const int alsoDetached : {0, 1}) { // documents detached into the same window first
        SCOPED_TRACE(alsoDetached ? "beside another document" : "alone in its window");
        TearDown();
        SetUp();
        TabTable* first = OpenRows(3);
        TabTable* tab = OpenRows(3);
        TearOffTabWidget* home = first->TabWidget;
        // Attach on a tab of the main window does nothing.
        tab->DockAttach();
        EXPECT_EQ(tab->TabWidget, home);

        tab->UpdateActions();
        ASSERT_TRUE(tab->Actions[TACT_DOCK_DETACH]->isEnabled());
        EXPECT_FALSE(tab->Actions[TACT_DOCK_ATTACH]->isEnabled());
        tab->Actions[TACT_DOCK_DETACH]->trigger();
        QApplication::processEvents();
        int secondary = 0;
        QPointer<QWidget> window = tab->GetTopWindow(&secondary);
        ASSERT_EQ(secondary, 1);
        EXPECT_TRUE(window->isVisible());
        EXPECT_EQ(home->indexOf(tab), -1);
        QList<TabTable*> others;
        for (int i = 0; i < alsoDetached; ++i) {
            others.append(OpenRows(3));
            static_cast<TearOffSecondary*>(window.data())->AddTearOffDock(Qt::TopDockWidgetArea, others.back(), 0);
        }

        tab->UpdateActions();
        ASSERT_TRUE(tab->Actions[TACT_DOCK_ATTACH]->isEnabled());
        tab->Actions[TACT_DOCK_ATTACH]->trigger();
        FlushDeletes();

        EXPECT_EQ(tab->TabWidget, home);
        EXPECT_EQ(tab->GetTopWindow(nullptr), main.get());
        EXPECT_EQ(TearOffMain::CurrentDock, tab);
        EXPECT_EQ(window.isNull(), others.isEmpty());
        for (TabTable* other : others)
            EXPECT_EQ(other->GetTopWindow(nullptr), window.data());
        for (TearOffDockWidget* group : main->DockWidgets)
            EXPECT_GT(group->TabWidget->count(), 0);
        tab->UpdateActions();
        EXPECT_FALSE(tab->Actions[TACT_DOCK_ATTACH]->isEnabled());
    }
}

} // namespace
