// The find dialog driven with real clicks and keys: filtering, the Basic
// page's buttons and history menu, the By Fields rows written as an
// expression and filled back from one.
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTextEdit>
#include <QTimer>

#include "kxlib/table/kxsearchexpr.h"
#include "kxviewer/table/finddialog.h"
#include "kxviewer/table/finddialogtabbyfields.h"
#include "kxviewer/table/finddialogtabexpression.h"
#include "kxviewer/table/tabactionids.h"
#include "kxviewer/table/tabtablemodel.h"
#include "script/scriptlogicalexp/scriptlogicalexpparser.h"
#include "utils/common/convert.h"
#include "tabletabenv.h"
#include "paintcount.h"
#include "tests/widgetmetrics.h"

namespace {

const bool registered = (ScriptLogicalExpParser::Register(), true);

class FindDialogTest : public tabletest::TableTabTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(registered);
        TableTabTest::SetUp();
        PrefGlobal::SearchHistory.clear();
        for (int id : {TACT_MATCH_CASE, TACT_SELECT, TACT_FILTER, TACT_PIN})
            actions.Entry(id).checkable = 1;
    }
    void TearDown() override
    {
        TableTabTest::TearDown();
        PrefGlobal::SearchHistory.clear();
    }

    // Seven rows of three columns: TEXT, PID and LEVEL.
    TabTable* OpenSample(std::initializer_list<int32_t> columns = {FIELD_TEXT, FIELD_PID, FIELD_LEVEL})
    {
        PrefTabTable prefs = PrefTabTable::Default();
        SetColumns(prefs, columns);
        const char* texts[] = {"alpha", "beta", "alpha two", "it's", "gamma", "failed", "gamma two"};
        auto* table = new KxTable(nullptr, "memory", PrefKxTable::Default());
        int level = 0;
        for (const char* text : texts)
            table->AppendRecord(Record(text).Build())->prot.msg.LEVEL = int8_t(level++ % 3);
        return Show(table, prefs, TabBase::SOURCE_BUILT);
    }

    FindDialog* Open(TabTable* tab)
    {
        tab->OpenFindDialog(QString());
        return FindDialog::Existing();
    }

    static void Type(FindDialog* dialog, const char* text, bool complex)
    {
        dialog->Basic->Editor->clear();
        QTest::keyClicks(dialog->Basic->Editor, QString::fromLatin1(text));
        if (dialog->Basic->Complex->isChecked() != complex)
            QTest::mouseClick(dialog->Basic->Complex, Qt::LeftButton, {}, IndicatorCentre(dialog->Basic->Complex));
    }

    static void Click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
    static void ClickPage(FindDialog* dialog, int page)
    {
        QTest::mouseClick(dialog->Tabs->tabBar(), Qt::LeftButton, {}, dialog->Tabs->tabBar()->tabRect(page).center());
    }

    static QString SearchText(TabTable* tab)
    {
        const KxSearchExpression* expression = tab->Table->SearchExpression();
        return expression ? QString::fromLocal8Bit(expression->text) : QString();
    }

    static FindDialogTabByFields::Row Row(FindDialog* dialog, int32_t field)
    {
        for (const FindDialogTabByFields::Row& row : dialog->ByFields->Rows())
            if (row.field == field)
                return row;
        ADD_FAILURE() << "no row for field " << field;
        return {};
    }

    // The texts of the pop-up menu that the history button opens.
    static QStringList HistoryMenu(FindDialog* dialog, std::vector<bool>* enabled)
    {
        QStringList texts;
        QTimer::singleShot(0, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu)
                return;
            for (QAction* action : menu->actions()) {
                texts << action->text();
                enabled->push_back(action->isEnabled());
            }
            menu->close();
        });
        Click(dialog->findChild<QPushButton*>(QStringLiteral("MenuDown")));
        return texts;
    }
};

// Every example of the Basic page's help text, typed as a complex
// expression and filtered, finds some of the rows of a small table, not all.
TEST_F(FindDialogTest, HelpTextExamplesFindRows)
{
    // Each example with what it says of Relative time after it.
    QStringList examples, notes;
    for (const QString& line : QString::fromLatin1(FindDialogTabExpression::HelpText).split('\n'))
        if (line.startsWith(QLatin1String("+ "))) {
            examples << line.mid(2).section(QStringLiteral("    "), 0, 0);
            notes << line.section(QStringLiteral("    "), 1);
        }
    // The TEXT of the rows each example finds, in order.
    const char* const found[] = {
        "connected|reached the end|my_print called|",
        "reached the end|my_print called|THE END|",
        "reached the end|",
        "reached the end|timeout after 30 s|",
        "timeout after 30 s|not the end yet|",
        "my_print called|timeout after 30 s|",
    };
    ASSERT_EQ(examples.size(), int(std::size(found)));

    constexpr uint64_t START = 1733572800000000; // 2024-12-07, one row a second
    const struct {
        const char *ip, *file, *text;
        uint64_t tid;
        int level, line;
    } rows[] = {
        {"1.2.3.4", "main.cpp", "connected", 7, 2, 100},
        {"10.0.0.1", "main.cpp", "reached the end", 600, 1, 201},
        {"1.2.3.9", "print.cpp", "my_print called", 600, 3, 205},
        {"10.0.0.2", "net.c", "timeout after 30 s", 8, 2, 300},
        {"1.2.30.4", "net.c", "not the end yet", 9, 3, 202},
        {"10.0.0.3", "main.cpp", "THE END", 10, 0, 209},
        {"10.0.0.4", "idle.cpp", "idle", 11, 3, 20},
    };
    auto* table = new KxTable(nullptr, "memory", PrefKxTable::Default());
    for (size_t k = 0; k < std::size(rows); ++k) {
        RawRecord raw = Record(rows[k].text, rows[k].tid);
        raw.file = rows[k].file;
        raw.time = START + k * 1000000;
        ZmLib::KxdProt prot = raw.Build();
        prot.SetIntValue(FIELD_IP, ZmLib::Str2IP(rows[k].ip));
        prot.SetIntValue(FIELD_LEVEL, uint64_t(int64_t(rows[k].level)));
        prot.SetIntValue(FIELD_LINE, uint64_t(rows[k].line));
        table->AppendRecord(prot);
    }
    ASSERT_TRUE(table->NormalizeTimeOn(0));
    PrefTabTable prefs = PrefTabTable::Default();
    SetColumns(prefs, {FIELD_TIME, FIELD_IP, FIELD_TID, FIELD_LEVEL, FIELD_FILE, FIELD_LINE, FIELD_TEXT});
    TabTable* tab = Show(table, prefs, TabBase::SOURCE_BUILT);
    FindDialog* dialog = Open(tab);
    ASSERT_NE(dialog, nullptr);
    const int32_t all = int32_t(std::size(rows));
    // Texts compare by case, as the dialog starts.
    ASSERT_TRUE(dialog->MatchCase());
    for (int k = 0; k < examples.size(); ++k) {
        SCOPED_TRACE(examples[k].toStdString());
        const bool absolute = notes[k].contains(QLatin1String("Relative time off"));
        if (absolute)
            tab->Table->NormalizeTimeOff();
        Type(dialog, examples[k].toLatin1().constData(), true);
        Click(dialog->FilterButton);
        std::string texts;
        for (int32_t row = 0; row < tab->Table->RowCount(); ++row)
            texts += std::string(tab->Table->GetRecord(row)->Text(FIELD_TEXT)) + "|";
        EXPECT_EQ(texts, found[k]);
        Type(dialog, "", false);
        Click(dialog->FilterButton);
        ASSERT_EQ(tab->Table->RowCount(), all);
        if (absolute) {
            ASSERT_TRUE(tab->Table->NormalizeTimeOn(0));
        }
    }
}

// Filter sets, replaces and removes the filter; an expression that cannot
// be used, or a No to the question about selections, keeps the old one.
TEST_F(FindDialogTest, FilterKeepsTheOldFilterUntilTheNewOneIsSure)
{
    TabTable* tab = OpenSample();
    FindDialog* dialog = Open(tab);
    ASSERT_NE(dialog, nullptr);
    // selectFirst: row 0 selected and a No to the question about it; press 1 checks an unchecked button,
    // 2 presses it on a filtered table with the button left unchecked.
    const struct {
        const char* text; bool complex, selectFirst; int press, rows; bool checked; const char* message;
    } steps[] = {
        {"TEXT~'alpha'", true, false, 1, 2, true, "Table 'memory': Filtered 2 rows"},
        {"", false, false, 1, 7, false, "Table 'memory': Filter removed"},
        {"gamma", false, false, 1, 2, true, "Table 'memory': Filtered 2 rows"},
        {"TEXT~'alpha' ||", true, false, 2, 2, true,
         "Incorrect search expression: unexpected end of expression at line 1, column 16"},
        {"", true, false, 2, 2, true, "Search expression is empty"},
        {"beta", false, true, 2, 2, true, nullptr},
        {"TEXT~'ta'", true, false, 2, 1, true, "Table 'memory': Filtered 1 rows"},
        {"", true, false, 1, 7, false, "Table 'memory': Filter removed"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.text);
        Type(dialog, step.text, step.complex);
        if (step.selectFirst) {
            tab->SelRangeSet(0, 0, true, 0);
            prompt.answers.enqueue(QMessageBox::No);
        }
        shell.status.clear();
        if (step.press == 2) {
            ASSERT_TRUE(tab->Table->FilterOn);
            dialog->FilterButton->setChecked(false);
        }
        Click(dialog->FilterButton);
        EXPECT_EQ(tab->Table->RowCount(), step.rows);
        EXPECT_EQ(dialog->FilterButton->isChecked(), step.checked);
        if (step.message) {
            EXPECT_TRUE(tabtest::Contains(shell.status, step.message)) << shell.Last();
        }
        EXPECT_TRUE(prompt.answers.isEmpty());
        if (step.selectFirst)
            tab->Table->ClearSelections();
    }
}

// A Filter from the dialog that matches no row or every row sets no filter
// and says why; with the dialog still open, the window goes on painting the
// rows clicked beside it, as after a filter that is set.
TEST_F(FindDialogTest, TheWindowPaintsAfterTheDialogsFilter)
{
    TabTable* tab = OpenSample();
    FindDialog* dialog = Open(tab);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(main.get()));
    const struct { const char* text; bool complex; const char* status; int rows; } cases[] = {
        {"zzzz", false, "No matched rows found", 7},
        {"LEVEL<100", true, "Filter matches the whole table, cannot be set", 7},
        {"TEXT~'a'", true, "Table 'memory': Filtered 6 rows", 6},
        {"zzzz", false, "No matched rows found", 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Type(dialog, c.text, c.complex);
        if (dialog->FilterButton->isChecked())
            Click(dialog->FilterButton);
        Click(dialog->FilterButton);
        EXPECT_EQ(shell.Last(), c.status);
        ASSERT_EQ(tab->Table->RowCount(), c.rows);
        EXPECT_TRUE(main->updatesEnabled());
        QWidget* rows = tab->View->viewport();
        PaintCount counter(rows);
        QTest::mouseClick(rows, Qt::LeftButton, {}, tab->View->visualRect(tab->Model->index(2, 0)).center());
        EXPECT_EQ(tab->Table->CurRow(), 2);
        rows->update();
        EXPECT_TRUE(QTest::qWaitFor([&] { return counter.paints > 0; }, 2000));
    }
}

// The Basic page: the empty history's menu, the history entries cut to 40
// characters, the "&&" button, the Complex switch and Load Current.
TEST_F(FindDialogTest, BasicPageButtonsAndHistoryMenu)
{
    TabTable* tab = OpenSample();
    FindDialog* dialog = Open(tab);
    ASSERT_NE(dialog, nullptr);

    std::vector<bool> enabled;
    EXPECT_EQ(HistoryMenu(dialog, &enabled), QStringList{QStringLiteral("empty")});
    EXPECT_EQ(enabled, std::vector<bool>{false});

    const std::string longText(45, 'x');
    PrefGlobal::SearchHistory = {{1, true, "TEXT~'beta'"}, {0, false, ""}, {0, false, longText}};
    enabled.clear();
    EXPECT_EQ(HistoryMenu(dialog, &enabled),
              (QStringList{QStringLiteral("TEXT~'beta'"), QString(40, QLatin1Char('x')) + QStringLiteral("...")}));

    const QList<QPushButton*> inner = dialog->Basic->findChildren<QPushButton*>(QStringLiteral("FindInnerButton"));
    ASSERT_EQ(inner.size(), 3 + 10);
    EXPECT_EQ(inner[0]->text(), QStringLiteral("TEXT"));
    for (const bool complex : {false, true}) { // the buttons are enabled in Complex mode only
        Type(dialog, "", complex);
        int count = 0;
        for (QPushButton* button : inner)
            count += button->isEnabled();
        EXPECT_EQ(count, complex ? 13 : 0);
    }
    QPushButton* andButton = nullptr;
    for (QPushButton* button : inner)
        if (button->text() == QLatin1String("&&&&"))
            andButton = button;
    ASSERT_NE(andButton, nullptr);
    Click(inner[1]);
    Click(andButton);
    EXPECT_EQ(dialog->Basic->Editor->toPlainText(), QStringLiteral("PID&&"));

    tab->Table->Prefs().TreeLevel1Field = FIELD_TID;
    tab->Table->Prefs().TreeLevel2Field = FIELD_TEXT;
    tab->SetCurrentPosition(4);
    // The levels are joined as the Compare mode says.
    const std::pair<bool, const char*> joins[] = {{false, "TID==7 && TEXT~'gamma'"}, {true, "TID==7 || TEXT~'gamma'"}};
    for (const auto& [orMode, expected] : joins) {
        (orMode ? dialog->OrButton : dialog->AndButton)->setChecked(true);
        Type(dialog, "beta", false);
        Click(dialog->LoadCurrentButton);
        EXPECT_TRUE(dialog->Basic->Complex->isChecked());
        EXPECT_EQ(dialog->Basic->Editor->toPlainText(), QString::fromLatin1(expected));
    }
}

// The By Fields rows as an expression: the join, the quotes, a number field
// compared as a number, skipped rows, a value no quote can hold; each row
// keeps its own field when another tab with other columns is current.
TEST_F(FindDialogTest, ByFieldsRowsMakeTheExpression)
{
    TabTable* tab = OpenSample();
    FindDialog* dialog = Open(tab);
    ASSERT_NE(dialog, nullptr);
    dialog->Tabs->setCurrentIndex(FindDialog::PAGE_FIELDS);
    const struct {
        const char *text, *pid, *level;
        bool uncheckLevel, orMode;
        const char* expression;
        bool applied;
        const char* status;
    } cases[] = {
        {"abc", "12", "", false, false, "TEXT~'abc' && PID==12", true, nullptr},
        {"abc", "12", "", false, true, "TEXT~'abc' || PID==12", true, nullptr},
        {"it's", "", "2", false, false, "TEXT~\"it's\" && LEVEL==2", true, nullptr},
        {" a b ", "x1", "2", true, false, "TEXT~'a b' && PID=='x1'", true, nullptr},
        {"", "", "", false, false, "", false, "Search expression is empty"},
        {"say \"it's\"", "", "", false, false, "", false,
         "Value say \"it's\" holds both quote characters and cannot be searched for: item skipped"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expression);
        Click(dialog->ByFields->findChild<QPushButton*>(QStringLiteral("ClearPage")));
        const std::pair<int32_t, const char*> values[] = {
            {FIELD_TEXT, c.text}, {FIELD_PID, c.pid}, {FIELD_LEVEL, c.level}};
        for (const auto& [field, value] : values)
            QTest::keyClicks(Row(dialog, field).value, QString::fromLatin1(value));
        if (c.uncheckLevel)
            QTest::mouseClick(Row(dialog, FIELD_LEVEL).check, Qt::LeftButton, {}, IndicatorCentre(Row(dialog, FIELD_LEVEL).check));
        (c.orMode ? dialog->OrButton : dialog->AndButton)->setChecked(true);
        bool ok = false;
        EXPECT_EQ(dialog->ByFields->MakeFindStringFromFileds(&ok), QString::fromLatin1(c.expression));
        shell.status.clear();
        EXPECT_EQ(dialog->ApplyExpression(tab), c.applied);
        if (c.applied) {
            EXPECT_EQ(SearchText(tab), QString::fromLatin1(c.expression));
        }
        if (c.status) {
            EXPECT_TRUE(tabtest::Contains(shell.status, c.status)) << shell.Last();
        }
    }

    dialog->AndButton->setChecked(true);
    Click(dialog->ByFields->findChild<QPushButton*>(QStringLiteral("ClearPage")));
    QTest::keyClicks(Row(dialog, FIELD_TEXT).value, QStringLiteral("abc"));
    QTest::keyClicks(Row(dialog, FIELD_PID).value, QStringLiteral("12"));
    TabTable* other = OpenSample({FIELD_PID, FIELD_LEVEL});
    ASSERT_EQ(FindDialog::CurrentTab(), other);
    EXPECT_EQ(dialog->ByFields->MakeFindStringFromFileds(), QStringLiteral("TEXT~'abc' && PID==12"));
    Click(dialog->FindNextButton);
    EXPECT_EQ(SearchText(other), QStringLiteral("TEXT~'abc' && PID==12"));
}

// The editor's expression into the rows and back: AND and OR chains come
// back as they were, with the join they had; any other form leaves the rows
// empty and the editor's text as it was.
TEST_F(FindDialogTest, ExpressionsRoundTripThroughTheRows)
{
    TabTable* tab = OpenSample();
    FindDialog* dialog = Open(tab);
    ASSERT_NE(dialog, nullptr);
    const struct { const char *text, *rows; bool orMode; } cases[] = { // rows: "TEXT op value|..." of the checked
        {"TEXT~'abc' && PID==12", "TEXT ~ abc|PID == 12", false},
        {"TEXT=~'a.c' || PID>=3 || LEVEL!=1", "TEXT =~ a.c|PID >= 3|LEVEL != 1", true},
        {"TEXT~\"it's\" && LEVEL<2", "TEXT ~ it's|LEVEL < 2", false},
        {"PID<=7", "PID <= 7", false},
        {"TEXT~'a' && TEXT~'b'", "", false},
        {"LEVEL==1 || TEXT~'x' && PID==2", "", false},
        {"TID==7 && TEXT~'a'", "", false},
        {"PID==int(2)", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        dialog->Tabs->setCurrentIndex(FindDialog::PAGE_BASIC);
        // Rows left from the case before must not come back.
        dialog->ByFields->ClearDataConnect();
        dialog->AndButton->setChecked(!c.orMode);
        dialog->OrButton->setChecked(c.orMode);
        Type(dialog, c.text, true);
        ClickPage(dialog, FindDialog::PAGE_FIELDS);
        ASSERT_EQ(dialog->Tabs->currentIndex(), FindDialog::PAGE_FIELDS);
        QStringList rows;
        for (const FindDialogTabByFields::Row& row : dialog->ByFields->Rows())
            if (row.check->isChecked())
                rows << QString::fromLatin1(FieldKey(row.field)) + QLatin1Char(' ') + row.op->currentText() +
                            QLatin1Char(' ') + row.value->text();
        EXPECT_EQ(rows.join(QLatin1Char('|')), QString::fromLatin1(c.rows));
        EXPECT_EQ(dialog->OrButton->isChecked(), c.orMode);
        ClickPage(dialog, FindDialog::PAGE_BASIC);
        EXPECT_EQ(dialog->Basic->Editor->toPlainText(), QString::fromLatin1(c.text));
    }
}

// Going to "By Fields" with a plain text in the editor searches that text as
// it is, and the rows start empty; an empty editor leaves the tab's search.
TEST_F(FindDialogTest, APlainTextGoesToTheTabOnTheWayToTheRows)
{
    TabTable* tab = OpenSample();
    FindDialog* dialog = Open(tab);
    ASSERT_NE(dialog, nullptr);
    // search: the tab's expression afterwards, in simple mode
    const struct { const char* text; const char* search; } cases[] = {
        {"gamma", "gamma"},
        {"TEXT~'beta' && PID==1", "TEXT~'beta' && PID==1"},
        {"  two  ", "two"},
        {"", "two"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ClickPage(dialog, FindDialog::PAGE_BASIC);
        // Rows left from before must go.
        QTest::keyClicks(Row(dialog, FIELD_PID).value, QStringLiteral("3"));
        Type(dialog, c.text, false);
        ClickPage(dialog, FindDialog::PAGE_FIELDS);
        ASSERT_EQ(dialog->Tabs->currentIndex(), FindDialog::PAGE_FIELDS);
        EXPECT_EQ(SearchText(tab).toStdString(), c.search);
        EXPECT_EQ(tab->Table->SearchMode(), SEARCH_MODE_SIMPLE);
        for (const FindDialogTabByFields::Row& row : dialog->ByFields->Rows()) {
            EXPECT_FALSE(row.check->isChecked());
            EXPECT_TRUE(row.value->text().isEmpty());
        }
        ClickPage(dialog, FindDialog::PAGE_BASIC);
        EXPECT_EQ(dialog->Basic->Editor->toPlainText(), QString::fromLatin1(c.text));
    }
    Type(dialog, "gamma", false);
    ClickPage(dialog, FindDialog::PAGE_FIELDS);
    tab->SetCurrentPosition(0);
    tab->SearchNext();
    EXPECT_EQ(shell.Last(), "Found row #5");
}

// Every Find request of the window reaches its one dialog: a given text is
// preset as an expression on "Basic", none takes over the tab's search; the
// dialog's Match case is the tab's from then on.
TEST_F(FindDialogTest, OpeningPresetsOrTakesOverTheTabsSearch)
{
    TabTable* tab = OpenSample();
    ASSERT_TRUE(tab->SetSearchExpression(QStringLiteral("beta"), 0, SEARCH_MODE_SIMPLE));
    const struct { const char* preset; int pageBefore; const char* editor; bool complex, matchCase; } cases[] = {
        {nullptr, FindDialog::PAGE_BASIC, "beta", false, false},
        {"TEXT~'gamma'", FindDialog::PAGE_FIELDS, "TEXT~'gamma'", true, true},
        {nullptr, FindDialog::PAGE_BASIC, "beta", false, false},
    };
    FindDialog* first = nullptr;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.editor);
        if (first)
            first->Tabs->setCurrentIndex(c.pageBefore);
        tab->MatchCase = 1;
        tab->OpenFindDialog(c.preset ? QString::fromLatin1(c.preset) : QString());
        FindDialog* dialog = FindDialog::Existing();
        ASSERT_NE(dialog, nullptr);
        if (!first)
            first = dialog;
        EXPECT_EQ(dialog, first);
        EXPECT_EQ(dialog->Basic->Editor->toPlainText(), QString::fromLatin1(c.editor));
        EXPECT_EQ(dialog->Basic->Complex->isChecked(), c.complex);
        EXPECT_EQ(dialog->MatchCaseBox->isChecked(), c.matchCase);
        EXPECT_EQ(dialog->Tabs->currentIndex(), FindDialog::PAGE_BASIC);
    }
    ASSERT_FALSE(first->MatchCaseBox->isChecked());
    QTest::mouseClick(first->MatchCaseBox, Qt::LeftButton, {}, IndicatorCentre(first->MatchCaseBox));
    EXPECT_EQ(tab->MatchCase, 1);
}

// Each action button applies the page's expression to the current table
// tab first; a broken one stops it, and without a table tab nothing acts.
TEST_F(FindDialogTest, ButtonsActOnTheCurrentTableTab)
{
    TabTable* tab = OpenSample();
    FindDialog* dialog = Open(tab);
    ASSERT_NE(dialog, nullptr);
    using F = FindDialog;
    const struct {
        QPushButton* FindDialog::*button; const char* text; bool tableTab; const char* status; int pinned;
    } cases[] = {
        {&F::FindNextButton, "TEXT~'gamma'", true, "Found row #5", 0},
        {&F::FindNextButton, "TEXT~'gamma'", true, "Found row #7", 0},
        {&F::FindBackButton, "TEXT~'gamma'", true, "Found row #5", 0},
        {&F::SelectButton, "TEXT~'alpha'", true, "Selected 2 rows", 0},
        {&F::BookmarkButton, "TEXT~'two'", true, "2 bookmarks is set", 0},
        {&F::FindNextButton, "TEXT~'alpha' &&", true,
         "Incorrect search expression: unexpected end of expression at line 1, column 16", 0},
        {&F::PinPhraseButton, "TEXT~'beta'", true, nullptr, 1},
        {&F::PinPhraseButton, "TEXT~'beta'", true, nullptr, 1},
        {&F::FindNextButton, "TEXT~'gamma'", false, nullptr, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        main->SetTabActive(c.tableTab ? static_cast<TearOffTabDock*>(tab) : main->Docks[0], false);
        Type(dialog, c.text, true);
        shell.status.clear();
        Click(dialog->*c.button);
        if (c.status) {
            EXPECT_EQ(shell.Last(), c.status);
        } else if (!c.tableTab) {
            EXPECT_TRUE(shell.status.empty()) << shell.Last();
        }
        EXPECT_EQ(tab->FixedHighlights.size(), c.pinned);
    }
}

// While the dialog stands open behind the window, an Outline rebuild of the
// tab brings its colour swatches and its Filter button up to date.
TEST_F(FindDialogTest, SwatchesAndFilterFollowAnOutlineRebuild)
{
    TabTable* tab = OpenSample();
    FindDialog* dialog = Open(tab);
    ASSERT_NE(dialog, nullptr);
    QAction* filter = tab->Actions[TACT_FILTER];
    ASSERT_NE(filter, nullptr);
    const auto swatch = [](QPushButton* button) { return button->icon().pixmap(20, 10).toImage().pixelColor(10, 5); };
    // filter: the tab's own Filter command is given, on or off
    const struct { QRgb highlight, select; bool filter; int rows; } steps[] = {
        {0x00FF00, 0x0000FF, true, 2},
        {0xFF0000, 0x00FFFF, false, 7},
        {0x808000, 0x008080, true, 2},
    };
    ASSERT_TRUE(tab->SetSearchExpression(QStringLiteral("alpha"), 0, SEARCH_MODE_SIMPLE));
    for (const auto& step : steps) {
        SCOPED_TRACE(step.rows);
        QApplication::setActiveWindow(main.get());
        ASSERT_FALSE(dialog->isActiveWindow());
        tab->Prefs.ColorHighlight = step.highlight;
        tab->Prefs.ColorSelect = step.select;
        filter->setChecked(step.filter);
        tab->FilterByCond();
        ASSERT_EQ(tab->Table->RowCount(), step.rows);
        EXPECT_EQ(swatch(dialog->HighlightButton), QColor(step.highlight));
        EXPECT_EQ(swatch(dialog->SelectedButton), QColor(step.select));
        EXPECT_EQ(dialog->FilterButton->isChecked(), step.filter);
    }
}

// A broken expression is told over the dialog, where the user types it,
// with the parser's reason and the place it stopped; the status line and
// the System Log say it too.
TEST_F(FindDialogTest, ABrokenExpressionIsToldOverTheDialogWithItsPlace)
{
    TabTable* tab = OpenSample();
    FindDialog* dialog = Open(tab);
    ASSERT_NE(dialog, nullptr);
    // lines: the editor's text, one line each, typed with Return between; reason: what follows the first line
    const struct { std::vector<const char*> lines; const char* reason; } cases[] = {
        {{"TEXT~'alpha' &&"}, "unexpected end of expression at line 1, column 16"},
        {{"LEVEL==2 PID==5"}, "Unexpected \"PID\" after the end of the expression, line 1, column 10"},
        {{"(TEXT~'a'"}, "unexpected end of expression at line 1, column 10, expected ')'"},
        {{"TEXT~'a' ||", "", "&& PID==1"}, "unexpected '&&' at line 3, column 1"},
        {{"TEXT ~"}, "unexpected end of expression at line 1, column 7"},
        {{"AND"}, "nothing is compared: a complex expression needs a comparison, as in TEXT ~ \"word\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines[0]);
        Type(dialog, "", true);
        for (size_t i = 0; i < c.lines.size(); ++i) {
            if (i > 0)
                QTest::keyClick(dialog->Basic->Editor, Qt::Key_Return);
            QTest::keyClicks(dialog->Basic->Editor, QString::fromLatin1(c.lines[i]));
        }
        prompt.asked.clear();
        shell.status.clear();
        Click(dialog->FindNextButton);
        ASSERT_EQ(prompt.asked.size(), 1);
        EXPECT_EQ(prompt.asked[0].parent, dialog);
        EXPECT_EQ(prompt.asked[0].text.toStdString(), std::string("Incorrect search expression\n") + c.reason);
        EXPECT_EQ(shell.Last(), std::string("Incorrect search expression: ") + c.reason);
        EXPECT_EQ(std::count(shell.log.begin(), shell.log.end(), shell.Last()), 1);
    }
    // A pattern with an unbalanced bracket, and a function that no library
    // has, which fails on every row and is told once.
    const std::string pattern = "'[' without a closing ']' in the regular expression '[a-' at line 1, column 8";
    const struct { const char* text; QPushButton* FindDialog::*button; int boxes; std::string status; } more[] = {
        {"TEXT=~'[a-'", &FindDialog::FilterButton, 1, "Incorrect search expression: " + pattern},
        {"TEXT=~'[a-'", &FindDialog::FindNextButton, 1, "Incorrect search expression: " + pattern},
        {"nosuch(TEXT)==1", &FindDialog::FilterButton, 0,
         "search expression failed at row 1: unknown function \"nosuch\" at line 1, column 1; rows where it fails "
         "are searched for its text"},
    };
    for (const auto& c : more) {
        SCOPED_TRACE(c.text);
        Type(dialog, c.text, true);
        prompt.asked.clear();
        shell.status.clear();
        shell.log.clear();
        Click(dialog->*c.button);
        ASSERT_EQ(prompt.asked.size(), c.boxes);
        if (c.boxes) {
            EXPECT_EQ(prompt.asked[0].text.toStdString(), "Incorrect search expression\n" + pattern);
        }
        EXPECT_EQ(shell.Last(), c.status);
        EXPECT_EQ(std::count(shell.log.begin(), shell.log.end(), c.status), 1);
        EXPECT_FALSE(tab->Table->FilterOn);
    }
    // A good expression afterwards is taken without a word.
    Type(dialog, "TEXT~'gamma'", true);
    prompt.asked.clear();
    Click(dialog->FindNextButton);
    EXPECT_TRUE(prompt.asked.isEmpty());
    EXPECT_EQ(tab->Table->SearchError(), "");
}

} // namespace
