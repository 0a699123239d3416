// The side panes of a document: the frame of the Info, Outline and History
// docks, the Info pane's rows and commands, and the group switch.
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QDockWidget>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabBar>
#include <QTableWidget>
#include <QTextCodec>
#include <QTimer>
#include <QToolButton>

#include "kxlib/fields.h"
#include "kxviewer/table/docktitlebar.h"
#include "kxviewer/table/tabactionids.h"
#include "kxviewer/table/tabtablemodel.h"
#include "tabletabenv.h"
#include "tearoffwidget/tearofftabwidget.h"
#include "tests/widgetmetrics.h"

namespace {

class SidePanesTest : public tabletest::TableTabTest {
protected:
    void SetUp() override
    {
        TableTabTest::SetUp();
        // As in the program: the filter command shows whether a filter is on.
        actions.Entry(TACT_FILTER).checkable = 1;
        savedCodec = QTextCodec::codecForLocale();
        // Names are cut by their local bytes; UTF-8 as on a usual desktop.
        QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
    }
    void TearDown() override
    {
        QTextCodec::setCodecForLocale(savedCodec);
        TableTabTest::TearDown();
    }

    TabTable* OpenThree() { return OpenRecords({Record("first", 7), Record("second", 8), Record("third", 7)}); }

    // The tab bar of the three stacked panes.
    static QTabBar* PaneBar(TabBase* tab)
    {
        for (QTabBar* bar : tab->findChildren<QTabBar*>())
            if (bar->count() == 3)
                return bar;
        return nullptr;
    }

    static QString FrontPane(TabBase* tab)
    {
        QTabBar* bar = PaneBar(tab);
        return bar ? bar->tabText(bar->currentIndex()) : QString();
    }

    static void ClickPaneTab(TabBase* tab, const QString& title)
    {
        QTabBar* bar = PaneBar(tab);
        ASSERT_NE(bar, nullptr);
        for (int i = 0; i < bar->count(); ++i)
            if (bar->tabText(i) == title)
                QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->tabRect(i).center());
        QApplication::processEvents();
    }

    // "V" for each of Info, Outline and History that is open, "-" else.
    static std::string OpenPanes(TabBase* tab)
    {
        std::string text;
        for (QDockWidget* dock : {tab->InfoDock, tab->OutlineDock, tab->HistoryDock})
            text += dock->isHidden() ? "-" : "V";
        return text;
    }

    static QString Cell(TabBase* tab, int row, int column)
    {
        QTableWidgetItem* item = tab->InfoTable->item(row, column);
        return item ? item->text() : QStringLiteral("<none>");
    }

    QTextCodec* savedCodec = nullptr;
};

// The Info pane's labels read whole in the font in use: its first column
// is 120 pixels or what the longest label needs.
TEST_F(SidePanesTest, InfoRowsAndTheirLabelsReadWhole)
{
    TabTable* tab = OpenThree();
    EXPECT_EQ(FrontPane(tab), "Info");
    const char* labels[] = {"Name", "Source", "Creation time", "Relative time", "Editable", "Presentation errors",
                            "Version"};
    ASSERT_EQ(tab->InfoTable->rowCount(), 7);
    for (int row = 0; row < 7; ++row)
        EXPECT_EQ(Cell(tab, row, 0).toStdString(), labels[row]);
    const int needed = tab->InfoTable->fontMetrics().horizontalAdvance("Presentation errors") + 12;
    EXPECT_EQ(tab->InfoTable->columnWidth(0), std::max(120, needed));
    EXPECT_EQ(tab->InfoTable->parentWidget()->height(), 7 * TabBase::PaneRowHeight());
}

TEST_F(SidePanesTest, TheStartUpFrontPaneStaysWhileTheSavedOneFollowsTheUser)
{
    const struct { int32_t atStart; const char *front, *clicked; int32_t saved; } cases[] = {
        {2, "History", "Outline", 1}, {1, "Outline", "Info", 0}, {0, "Info", "History", 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.front);
        PrefGlobal::PanesStartDockAtStart = PrefGlobal::PanesStartDock = c.atStart;
        TabTable* first = OpenThree();
        EXPECT_EQ(FrontPane(first), c.front);
        ClickPaneTab(first, c.clicked);
        EXPECT_EQ(FrontPane(first), c.clicked);
        EXPECT_EQ(PrefGlobal::PanesStartDock, c.saved);
        TabTable* next = OpenThree();
        EXPECT_EQ(FrontPane(next), c.front);
        delete next;
        delete first;
    }
}

TEST_F(SidePanesTest, EditingTheNameRenamesTabAndTable)
{
    const QString long60 = QString(60, QLatin1Char('n'));
    // 48 bytes, then two-byte characters: byte 49 is the first half of one.
    const QString accents = QString(48, QLatin1Char('a')) + QStringLiteral("\u00e9\u00e9");
    const struct { QString typed, title, table; const char* status; } cases[] = {
        {"renamed", "renamed", "renamed", ""},
        {long60, long60, QString(49, QLatin1Char('n')), ""},
        {accents, accents, QString(48, QLatin1Char('a')), ""},
        {"   ", "memory", "memory", "A document name cannot be blank"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        TabTable* tab = OpenThree();
        shell.status.clear();
        QTableWidget* info = tab->InfoTable;
        info->setFocus();
        info->setCurrentCell(0, 1);
        QTest::keyClick(info, Qt::Key_F2);
        auto* editor = info->viewport()->findChild<QLineEdit*>();
        ASSERT_NE(editor, nullptr);
        editor->selectAll();
        // One key per character, accented ones included.
        for (QChar ch : c.typed)
            QTest::sendKeyEvent(QTest::Click, editor, Qt::Key_unknown, QString(ch), Qt::NoModifier);
        QTest::keyClick(editor, Qt::Key_Return);
        QApplication::processEvents();
        EXPECT_EQ(tab->windowTitle().toStdString(), c.title.toStdString());
        EXPECT_EQ(tab->TabWidget->tabText(tab->TabWidget->indexOf(tab)).toStdString(), c.title.toStdString());
        EXPECT_EQ(tab->Table->Name(), c.table.toStdString());
        EXPECT_EQ(Cell(tab, 0, 1).toStdString(), c.title.toStdString());
        EXPECT_EQ(shell.Last(), c.status);
        delete tab;
    }
}

TEST_F(SidePanesTest, RelativeTimeFollowsClicksOnItsMarkOnly)
{
    TabTable* tab = OpenThree();
    const bool before = tab->Table->TimeNormalised();
    const struct { int column; bool normalised; } clicks[] = {{0, before}, {1, !before}, {0, !before}, {1, before}};
    for (const auto& c : clicks) {
        const QRect cell = tab->InfoTable->visualItemRect(tab->InfoTable->item(3, c.column));
        QTest::mouseClick(tab->InfoTable->viewport(), Qt::LeftButton, Qt::NoModifier, cell.topLeft() + QPoint(8, 4));
        EXPECT_EQ(tab->Table->TimeNormalised(), c.normalised) << c.column;
        EXPECT_EQ(tab->InfoTable->item(3, 1)->checkState() == Qt::Checked, c.normalised);
    }
}

// A first row without a time (a header line) does not make the document's
// creation time 1970: the first row with a time gives it, in relative and
// in absolute time alike.
TEST_F(SidePanesTest, CreationTimeIsTheFirstTimedRowsTime)
{
    RawRecord header = Record("time,host,text");
    header.time = 0;
    RawRecord first = Record("first");
    first.time = 1733572800237000; // 2024-12-07 12:00:00.237 UTC
    RawRecord second = Record("second");
    second.time = first.time + 1000;
    TabTable* tab = OpenRecords({header, first, second});
    ASSERT_TRUE(tab->Table->TimeNormalised());
    const QString created = Cell(tab, 2, 1);
    EXPECT_TRUE(created.startsWith(QStringLiteral("2024-12-07 "))) << created.toStdString();
    EXPECT_TRUE(created.contains(QStringLiteral(":00:00.237"))) << created.toStdString();
    const QRect mark = tab->InfoTable->visualItemRect(tab->InfoTable->item(3, 1));
    QTest::mouseClick(tab->InfoTable->viewport(), Qt::LeftButton, Qt::NoModifier, mark.topLeft() + QPoint(8, 4));
    ASSERT_FALSE(tab->Table->TimeNormalised());
    EXPECT_EQ(Cell(tab, 2, 1), created);
}

TEST_F(SidePanesTest, CopyAllInfoAndCopyOneValue)
{
    TabTable* tab = OpenThree();
    tab->Actions[117]->trigger();
    const std::string time = tab->InfoTable->item(2, 1)->text().toStdString();
    ASSERT_FALSE(time.empty());
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "Name:memory\nSource:\nCreation time:" + time + "\nVersion:\n");

    QTimer::singleShot(0, [] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            menu->actions().value(0)->trigger();
            menu->close();
        }
    });
    const QRect name = tab->InfoTable->visualItemRect(tab->InfoTable->item(0, 0));
    emit tab->InfoTable->customContextMenuRequested(name.center());
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "memory");
}

// A pane's title-bar menu gives the keys back to the table when it closes:
// Down moves the current row, and Space does not reach the pane's close
// button.
TEST_F(SidePanesTest, ThePaneMenuGivesTheKeysBackToTheTable)
{
    TabTable* tab = OpenThree();
    QApplication::setActiveWindow(tab->window());
    const struct { const char* title; QDockWidget* dock; } panes[] = {
        {"Info", tab->InfoDock}, {"Outline", tab->OutlineDock}, {"History", tab->HistoryDock}};
    for (const auto& pane : panes) {
        SCOPED_TRACE(pane.title);
        ClickPaneTab(tab, pane.title);
        auto* bar = qobject_cast<DockTitlebar*>(pane.dock->titleBarWidget());
        ASSERT_NE(bar, nullptr);
        tab->View->setCurrentIndex(tab->View->model()->index(0, 0));
        // The menu is closed by Escape once it is up.
        bool menuShown = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                poll.stop();
                menuShown = true;
                QTest::keyClick(menu, Qt::Key_Escape);
            }
        });
        poll.start(10);
        QTest::mouseClick(bar->MenuButton, Qt::LeftButton);
        poll.stop();
        EXPECT_TRUE(menuShown);
        // The window is active again once the menu has gone, as a window
        // manager makes it; the offscreen platform leaves that to us.
        QApplication::setActiveWindow(tab->window());
        QWidget* focus = QApplication::focusWidget();
        ASSERT_EQ(focus, tab->View);
        QTest::keyClick(focus, Qt::Key_Down);
        QTest::keyClick(focus, Qt::Key_Space);
        QApplication::processEvents();
        EXPECT_EQ(OpenPanes(tab), "VVV");
        EXPECT_EQ(tab->View->currentIndex().row(), 1);
    }
}

TEST_F(SidePanesTest, EditableBoxFollowsTheTableAndTheFilter)
{
    TabTable* tab = OpenThree();
    const struct { bool editable, filtered, checked, enabled; } cases[] = {
        {true, false, true, true}, {false, false, false, true}, {true, true, false, false}};
    for (const auto& c : cases) {
        tab->Table->Prefs().editable = c.editable;
        if (c.filtered) {
            tab->Table->SelRangeSet(0, 1, true, 0xFFFF00);
            ASSERT_EQ(tab->Table->Selected2Filter(), 2);
            tab->Actions[TACT_FILTER]->setChecked(true);
        }
        tab->UpdateActions();
        EXPECT_EQ(tab->EditableBox->isChecked(), c.checked) << c.editable << c.filtered;
        EXPECT_EQ(tab->EditableBox->isEnabled(), c.enabled);
        EXPECT_EQ(tab->InfoTable->item(4, 0)->foreground().color() == QColor(Qt::black), c.enabled);
    }
    tab->Table->ClearFilter();
    tab->Actions[TACT_FILTER]->setChecked(false);
    tab->Table->Prefs().editable = 0;
    tab->UpdateActions();
    QTest::mouseClick(tab->EditableBox, Qt::LeftButton, Qt::NoModifier, IndicatorCentre(tab->EditableBox));
    EXPECT_TRUE(tab->Table->IsEditable());
}

TEST_F(SidePanesTest, SidePanelsComeBackAsTheyWere)
{
    // closed: panes closed by their title bar, I, O, H.
    const struct { const char* closed; bool checkedAfterClosing; const char* afterOn; } cases[] = {
        {"", true, "VVV"}, {"IH", true, "-V-"}, {"O", true, "V-V"}, {"IOH", false, "VVV"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.closed);
        TabTable* tab = OpenThree();
        QToolButton* button = tab->ToolButtons[TabBase::BUTTON_SIDE_PANELS];
        QAction* action = tab->Actions[TACT_SIDE_PANELS];
        for (const char* p = c.closed; *p; ++p) {
            QDockWidget* dock = *p == 'I' ? tab->InfoDock : *p == 'O' ? tab->OutlineDock : tab->HistoryDock;
            dock->raise();
            QApplication::processEvents();
            QTest::mouseClick(qobject_cast<DockTitlebar*>(dock->titleBarWidget())->CloseButton, Qt::LeftButton);
        }
        EXPECT_EQ(action->isChecked(), c.checkedAfterClosing);
        if (c.checkedAfterClosing) {
            QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(4, button->height() / 2));
            EXPECT_FALSE(action->isChecked());
            EXPECT_EQ(OpenPanes(tab), "---");
        }
        QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(4, button->height() / 2));
        EXPECT_TRUE(action->isChecked());
        EXPECT_EQ(OpenPanes(tab), c.afterOn);
        delete tab;
    }
}

TEST_F(SidePanesTest, ADoubleClickedRowIsLoggedFieldByField)
{
    TabTable* tab = OpenThree();
    shell.Clear();
    QTest::mouseDClick(tab->View->viewport(), Qt::LeftButton, Qt::NoModifier, CellCentre(tab, 1, 0));
    ASSERT_EQ(shell.log.size(), 26u);
    EXPECT_EQ(shell.log[0], "Table: memory, Row #2:");
    for (int field = 0; field < FIELD_Nums; ++field) {
        const std::string title = FieldTitle(field);
        EXPECT_EQ(shell.log[field + 1].substr(0, 19), std::string(17 - title.size(), ' ') + title + ": ") << field;
    }
    EXPECT_EQ(shell.log[1 + FIELD_TEXT], std::string(17 - 4, ' ') + "Text: second");
}

} // namespace
