// The document's search commands driven through the find line with real key
// events, and the commands that select, bookmark and filter by expression.
#include <algorithm>
#include <atomic>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <QAction>
#include <QComboBox>
#include <QPointer>
#include <QTimer>
#include <QMenu>
#include <QPushButton>
#include <QTextCodec>
#include <QToolButton>
#include <QStandardItemModel>

#include "kxlib/table/kxsearchexpr.h"
#include "kxviewer/table/findlineedit.h"
#include "kxviewer/table/guihelpers.h"
#include "kxviewer/table/outlinebuilder.h"
#include "kxviewer/table/outlineroles.h"
#include "kxviewer/table/outlineview.h"
#include "kxviewer/table/tabactionids.h"
#include "kxviewer/table/tabtablemodel.h"
#include "script/scriptlogicalexp/scriptlogicalexpparser.h"
#include "tabletabenv.h"
#include "tests/script/scriptlogicalexp/patternlimit.h"

namespace {

const bool registered = (ScriptLogicalExpParser::Register(), true);

class TabSearchTest : public tabletest::TableTabTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(registered);
        TableTabTest::SetUp();
        PrefGlobal::SearchHistory.clear();
        LineEdit::LastPaintedText.clear();
        for (int id : {TACT_MATCH_CASE, TACT_SELECT, TACT_FILTER, TACT_PIN})
            actions.Entry(id).checkable = 1;
    }
    void TearDown() override
    {
        TableTabTest::TearDown();
        PrefGlobal::SearchHistory.clear();
    }

    // Seven rows: errors at 3 and 5, "gamma" at 4 and 6.
    TabTable* OpenSample(const PrefTabTable& prefs = PrefTabTable::Default())
    {
        const std::pair<const char*, int8_t> rows[] = {{"alpha", 0},  {"beta", 1},   {"alpha two", 0}, {"broken", -1},
                                                       {"gamma", 2},  {"failed", -3}, {"gamma two", 0}};
        auto* table = new KxTable(nullptr, "memory", PrefKxTable::Default());
        for (const auto& [text, level] : rows)
            table->AppendRecord(Record(text).Build())->prot.msg.LEVEL = level;
        return Show(table, prefs, TabBase::SOURCE_BUILT);
    }

    static LineEdit* FindLine(TabBase* tab)
    {
        return tab->FindCombo ? qobject_cast<LineEdit*>(tab->FindCombo->lineEdit()) : nullptr;
    }

    // Typed into the find line, then Enter; keys go to the combo box, which
    // holds the focus and hands them to its line.
    static void TypeAndEnter(TabBase* tab, const char* text, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        LineEdit* line = FindLine(tab);
        ASSERT_NE(line, nullptr);
        line->selectAll();
        QTest::keyClicks(tab->FindCombo, QString::fromLatin1(text));
        QTest::keyClick(tab->FindCombo, Qt::Key_Return, modifiers);
    }

    // A command that tests the rows against the search expression, with what
    // it needs first; the find types the expression into the find line.
    struct SearchCommand {
        const char* command;
        void (*prepare)(TabTable*);
        void (*run)(TabTable*);
    };
    static const std::vector<SearchCommand>& SearchCommands()
    {
        static const std::vector<SearchCommand> commands = {
            {"find", nullptr,
             [](TabTable* tab) {
                 TypeAndEnter(tab, tab->Table->SearchExpression()->text);
             }},
            {"select", nullptr, [](TabTable* tab) { tab->Actions[TACT_SELECT]->trigger(); }},
            {"bookmark", nullptr, [](TabTable* tab) { tab->Actions[TACT_BOOKMARK_BY_COND]->trigger(); }},
            {"filter", nullptr, [](TabTable* tab) { tab->Actions[TACT_FILTER]->trigger(); }},
            {"highlight", nullptr,
             [](TabTable* tab) {
                 tab->Actions[TACT_HIGHLIGHT]->trigger();
                 tab->View->grab();
             }},
            {"jump to a pinned highlight",
             [](TabTable* tab) {
                 tab->Actions[TACT_HIGHLIGHT]->setChecked(true);
                 tab->PinPhrase(1);
             },
             [](TabTable* tab) { tab->JumpToNextStopPosBy(JUMP_HIGHLIGHT); }},
        };
        return commands;
    }
    // The command run on the tab with the expression set; the System Log
    // keeps only what the command told.
    void RunSearchCommand(TabTable* tab, const char* expression, uint32_t mode, const SearchCommand& c)
    {
        // Painted highlights would test the rows first.
        tab->Actions[TACT_HIGHLIGHT]->setChecked(false);
        ASSERT_TRUE(tab->SetSearchExpression(QString::fromLatin1(expression), 1, mode));
        if (c.prepare)
            c.prepare(tab);
        // Reports of the painting that the events bring.
        for (int i = 0; i < 3; ++i)
            QApplication::processEvents();
        shell.log.clear();
        c.run(tab);
        QApplication::processEvents();
    }

    // Pixels of pure green, and the leftmost column with one (-1 for none).
    static int GreenPixels(QWidget* widget, int* firstColumn = nullptr)
    {
        const QImage image = widget->grab().toImage();
        int count = 0, first = -1;
        for (int x = 0; x < image.width(); ++x)
            for (int y = 0; y < image.height(); ++y)
                if (image.pixelColor(x, y) == QColor(0, 255, 0) && ++count == 1)
                    first = x;
        if (firstColumn)
            *firstColumn = first;
        return count;
    }

    // The view painted and the reports its paint queued delivered.
    static void Settle(TabTable* tab)
    {
        tab->View->grab();
        for (int i = 0; i < 3; ++i)
            QApplication::processEvents();
    }

    static std::vector<std::string> HistoryTexts()
    {
        std::vector<std::string> texts;
        for (const SearchHistoryItem& item : PrefGlobal::SearchHistory)
            texts.push_back(item.expression);
        return texts;
    }
};

// An expression settles on the logical mode (1), a word on text (0); Enter
// goes on to the next match, then reports none.
TEST_F(TabSearchTest, EnterVisitsTheMatchesInTheSettledMode)
{
    const struct {
        const char* text;
        int mode;
        int rows[3];
        const char* found;
    } cases[] = {{"LEVEL<0", 1, {3, 5, 5}, "Found row #4"}, {"gamma", 0, {4, 6, 6}, "Found row #5"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        PrefGlobal::SearchHistory.clear();
        TabTable* tab = OpenSample();
        ASSERT_NE(tab, nullptr);
        TypeAndEnter(tab, c.text);
        EXPECT_EQ(tab->Table->CurRow(), c.rows[0]);
        EXPECT_TRUE(tabtest::Contains(shell.status, c.found));
        EXPECT_EQ(tab->SearchMode, uint32_t(c.mode));
        ASSERT_EQ(HistoryTexts(), std::vector<std::string>{c.text});
        EXPECT_EQ(PrefGlobal::SearchHistory.front().mode, c.mode);
        for (int i = 1; i < 3; ++i) {
            QTest::keyClick(tab->FindCombo, Qt::Key_Return);
            EXPECT_EQ(tab->Table->CurRow(), c.rows[i]);
        }
        EXPECT_EQ(shell.Last(), "Not found");
    }
}

// Blank texts never enter the shared history and a blank entry is dropped;
// a text already listed moves to the top.
TEST_F(TabSearchTest, HistoryIsSharedWithoutDuplicatesOrBlanks)
{
    TabTable* first = OpenSample();
    TabTable* second = OpenSample();
    main->SetTabActive(first, false);
    PrefGlobal::SearchHistory.push_back(SearchHistoryItem());
    EXPECT_FALSE(first->SetSearchExpression(QStringLiteral("   "), 1, 3));
    EXPECT_EQ(PrefGlobal::SearchHistory.size(), 1u);
    EXPECT_TRUE(first->SetSearchExpression(QStringLiteral(" beta "), 0, 3));
    EXPECT_EQ(HistoryTexts(), std::vector<std::string>{"beta"});
    EXPECT_FALSE(PrefGlobal::SearchHistory.front().matchCase);
    TypeAndEnter(first, "gamma");
    TypeAndEnter(first, "beta");
    EXPECT_EQ(HistoryTexts(), (std::vector<std::string>{"beta", "gamma"}));
    ASSERT_EQ(second->FindCombo->count(), 2);
    EXPECT_EQ(second->FindCombo->itemText(0), QStringLiteral("beta"));
    EXPECT_EQ(second->FindCombo->itemText(1), QStringLiteral("gamma"));
    EXPECT_EQ(first->FindCombo->count(), 2);
}

// Deleting or picking in any tab's find list acts on the entry the list
// shows, and every tab's list follows the one history.
TEST_F(TabSearchTest, EveryFindListFollowsTheOneHistory)
{
    TabTable* tabs[] = {OpenSample(), OpenSample()};
    main->SetTabActive(tabs[0], false);
    ASSERT_TRUE(tabs[0]->SetSearchExpression(QStringLiteral("gamma"), 0, 3));
    ASSERT_TRUE(tabs[0]->SetSearchExpression(QStringLiteral("LEVEL<0"), 0, 3));
    ASSERT_TRUE(tabs[0]->SetSearchExpression(QStringLiteral("alpha"), 1, 3));
    // The row of a tab's list, highlighted in its open popup, then a key.
    auto onRow = [](TabBase* tab, int row, Qt::Key key) {
        QComboBox* combo = tab->FindCombo;
        combo->showPopup();
        combo->view()->setCurrentIndex(combo->model()->index(row, 0));
        QTest::keyClick(combo->view(), key);
        combo->hidePopup();
    };
    struct Step {
        int tab;
        Qt::Key key;
        int row;
        std::vector<std::string> history;
        const char* applied; // after picking: the table's expression
        int matchCase;
    };
    const Step steps[] = {
        {0, Qt::Key_Delete, 1, {"alpha", "gamma"}, nullptr, 0},
        {1, Qt::Key_Return, 1, {"alpha", "gamma"}, "gamma", 0},
        {1, Qt::Key_Return, 0, {"alpha", "gamma"}, "alpha", 1},
        {1, Qt::Key_Delete, 1, {"alpha"}, nullptr, 0},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(testing::Message() << "tab " << step.tab << " key " << step.key << " row " << step.row);
        TabTable* tab = tabs[step.tab];
        main->SetTabActive(tab, false);
        onRow(tab, step.row, step.key);
        EXPECT_EQ(HistoryTexts(), step.history);
        for (TabTable* each : tabs) {
            std::vector<std::string> listed;
            for (int i = 0; i < each->FindCombo->count(); ++i)
                listed.push_back(each->FindCombo->itemText(i).toStdString());
            EXPECT_EQ(listed, step.history);
        }
        if (!step.applied)
            continue;
        ASSERT_NE(tab->Table->SearchExpression(), nullptr);
        EXPECT_STREQ(tab->Table->SearchExpression()->text, step.applied);
        EXPECT_EQ(tab->Table->SearchExpression()->matchCase, step.matchCase);
        EXPECT_EQ(tab->Actions[TACT_MATCH_CASE]->isChecked(), step.matchCase != 0);
    }
}

// The find line takes up to 1,099 bytes of local text; a longer text is
// refused whole: nothing searched, nothing kept in the history.
TEST_F(TabSearchTest, FindLineRefusesTextsTooLongForTheTable)
{
    QTextCodec* saved = QTextCodec::codecForLocale();
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
    const QString e = QString(QChar(0xE9));
    const char* const refused = "Search expression longer than 1099 characters";
    const struct {
        const char* what;
        QString text;
        const char* status;
    } cases[] = {
        {"1,099 bytes", QString(1099, 'a'), "Not found"},
        {"1,100 bytes", QString(1100, 'a'), refused},
        {"1,099 characters ending in two bytes", QString(1098, 'a') + e, refused},
    };
    TabTable* tab = OpenSample();
    LineEdit* line = FindLine(tab);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<std::string> before = HistoryTexts();
        // The last character crosses the limit as it is typed.
        line->setText(c.text.chopped(1));
        const QString last = c.text.right(1);
        QTest::sendKeyEvent(QTest::Click, tab->FindCombo, last == e ? Qt::Key_Eacute : Qt::Key_A, last, Qt::NoModifier);
        ASSERT_EQ(line->text(), c.text);
        QTest::keyClick(tab->FindCombo, Qt::Key_Return);
        EXPECT_EQ(shell.Last(), c.status);
        if (c.status == refused) {
            EXPECT_EQ(tab->Table->SearchMode(), SEARCH_MODE_UNDECIDED);
            EXPECT_EQ(HistoryTexts(), before);
        } else {
            ASSERT_NE(tab->Table->SearchExpression(), nullptr);
            EXPECT_EQ(tab->Table->SearchExpression()->text, c.text.toStdString());
        }
    }
    QTextCodec::setCodecForLocale(saved);
}

// A pattern that runs out of its match limit leaves the command's rows
// incomplete; every command by expression says so, naming the row.
TEST_F(TabSearchTest, PatternOutOfStepsIsReported)
{
    actions.Entry(TACT_HIGHLIGHT).checkable = 1;
    const ScopedPatternLimit limit(300);
    const std::string fits = "ababababababababababc";
    const std::string runaway = QByteArray("ab").repeated(150).toStdString() + 'c';
    const char* const pattern = "TEXT =~ '(?:a|b)*c'";
    const char* const report = "pattern \"(?:a|b)*c\" exceeded its match limit at row 2; results are incomplete";
    for (const SearchCommand& c : SearchCommands()) {
        SCOPED_TRACE(c.command);
        TabTable* tab = OpenRecords({Record(fits.c_str()), Record(runaway.c_str()), Record(fits.c_str()), Record("zz")});
        RunSearchCommand(tab, pattern, 3, c);
        EXPECT_EQ(shell.Last(), report);
        EXPECT_EQ(std::count(shell.log.begin(), shell.log.end(), report), 1);
    }
}

// An expression that fails on the rows is told once by each command that
// tests them, with the first row and the reason; the rows are searched for
// the text instead.
TEST_F(TabSearchTest, AFailedEvaluationIsToldOnceByEveryCommand)
{
    actions.Entry(TACT_HIGHLIGHT).checkable = 1;
    const char* const expression = "nosuch(TEXT) == 1";
    const std::string reason = ": unknown function \"nosuch\" at line 1, column 1; rows where it fails are searched "
                               "for its text";
    // From 1, as told; the find and the jump start after the current row,
    // the first.
    const int rows[] = {2, 1, 1, 1, 1, 2};
    ASSERT_EQ(std::size(rows), SearchCommands().size());
    for (size_t k = 0; k < SearchCommands().size(); ++k) {
        const SearchCommand& c = SearchCommands()[k];
        SCOPED_TRACE(c.command);
        RunSearchCommand(OpenSample(), expression, SEARCH_MODE_COMPLEX, c);
        const std::string told = "search expression failed at row " + std::to_string(rows[k]) + reason;
        EXPECT_EQ(shell.Last(), told);
        EXPECT_EQ(std::count(shell.log.begin(), shell.log.end(), told), 1);
    }
}

// A character the expression skipped is told once by each command that
// runs the expression, as a warning with its place.
TEST_F(TabSearchTest, ASkippedCharacterIsToldOnceByEveryCommand)
{
    const std::string told = "Search expression: unexpected character ';' at line 1, column 12, skipped";
    for (const char* command : {"find", "select", "bookmark", "filter"}) {
        SCOPED_TRACE(command);
        const auto c = std::find_if(SearchCommands().begin(), SearchCommands().end(),
                                    [command](const SearchCommand& s) { return s.command == std::string(command); });
        RunSearchCommand(OpenSample(), "LEVEL == -1;", SEARCH_MODE_AUTO, *c);
        EXPECT_EQ(std::count(shell.log.begin(), shell.log.end(), told), 1);
    }
}

// A pattern with an unbalanced bracket, asked for as an expression, is
// refused; each command that needs the expression tells why and where.
TEST_F(TabSearchTest, ARefusedPatternIsToldByTheCommands)
{
    const char* const expression = "TEXT =~ \"((\"";
    const std::string told = "Incorrect search expression: '(' without a closing ')' in the regular expression "
                             "\"((\" at line 1, column 11";
    const struct {
        const char* command;
        void (*run)(TabTable*);
    } cases[] = {
        {"select", [](TabTable* tab) { tab->Actions[TACT_SELECT]->trigger(); }},
        {"bookmark", [](TabTable* tab) { tab->Actions[TACT_BOOKMARK_BY_COND]->trigger(); }},
        {"filter", [](TabTable* tab) { tab->Actions[TACT_FILTER]->trigger(); }},
        {"pin",
         [](TabTable* tab) {
             tab->SearchMode = SEARCH_MODE_COMPLEX;
             tab->Actions[TACT_PIN]->trigger();
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        TabTable* tab = OpenSample();
        EXPECT_FALSE(tab->SetSearchExpression(QString::fromLatin1(expression), 1, SEARCH_MODE_COMPLEX));
        tab->FindCombo->setEditText(QString::fromLatin1(expression));
        shell.log.clear();
        shell.status.clear();
        c.run(tab);
        EXPECT_EQ(shell.Last(), told);
        EXPECT_EQ(shell.log, std::vector<std::string>{told});
        EXPECT_FALSE(tab->Table->FilterOn);
        EXPECT_EQ(tab->Table->NumSelected, 0u);
        EXPECT_TRUE(tab->FixedHighlights.isEmpty());
    }
}

TEST_F(TabSearchTest, CheckNamesEmptyAndIncorrectExpressions)
{
    TabTable* tab = OpenSample();
    EXPECT_FALSE(tab->CheckSearchExpression());
    EXPECT_EQ(shell.Last(), "Search expression is empty");
    EXPECT_FALSE(tab->SetSearchExpression(QStringLiteral("LEVEL <"), 1, 1));
    tab->FindCombo->setEditText(QStringLiteral("LEVEL <"));
    EXPECT_FALSE(tab->CheckSearchExpression());
    const std::string told = "Incorrect search expression: unexpected end of expression at line 1, column 8";
    EXPECT_EQ(shell.Last(), told);
    EXPECT_EQ(std::count(shell.log.begin(), shell.log.end(), told), 1);
}

// Shift with a find selects the rows passed over, both ways; a direct call
// never selects.
TEST_F(TabSearchTest, ShiftFindSelectsRowsPassed)
{
    TabTable* tab = OpenSample();
    tab->SetCurrentPosition(1);
    TypeAndEnter(tab, "gamma", Qt::ShiftModifier);
    EXPECT_EQ(tab->Table->CurRow(), 4);
    EXPECT_EQ(tab->Table->NumSelected, 3u);
    EXPECT_EQ(shell.Last(), "Selected range from 2 to 4");
    // No further match: nothing new is selected.
    QTest::keyClick(tab->FindCombo, Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClick(tab->FindCombo, Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(tab->Table->CurRow(), 6);
    EXPECT_EQ(tab->Table->NumSelected, 5u);
    EXPECT_EQ(shell.Last(), "Not found");

    TypeAndEnter(tab, "alpha");
    tab->Table->ClearSelections();
    tab->SetCurrentPosition(5);
    QTest::keyPress(tab->FindCombo, Qt::Key_Shift, Qt::ShiftModifier);
    tab->Actions[TACT_FIND_BACK]->trigger();
    EXPECT_EQ(tab->Table->CurRow(), 2);
    EXPECT_EQ(shell.Last(), "Selected range from 4 to 6");
    EXPECT_EQ(tab->Table->NumSelected, 3u);
    tab->Table->ClearSelections();
    tab->FindBack();
    QTest::keyRelease(tab->FindCombo, Qt::Key_Shift);
    EXPECT_EQ(tab->Table->CurRow(), 0);
    EXPECT_EQ(tab->Table->NumSelected, 0u);
}

TEST_F(TabSearchTest, FilterRefusals)
{
    struct Case {
        const char* expression;
        const char* status;
    };
    const Case cases[] = {
        {"LEVEL<100", "Filter matches the whole table, cannot be set"},
        {"LEVEL>100", "No matched rows found"},
    };
    TabTable* tab = OpenSample();
    QAction* filter = tab->Actions[TACT_FILTER];
    for (const Case& each : cases) {
        SCOPED_TRACE(each.expression);
        ASSERT_TRUE(tab->SetSearchExpression(QString::fromLatin1(each.expression), 1, 3));
        filter->setChecked(true);
        tab->FilterByCond();
        // The reason stays on the status line.
        EXPECT_EQ(shell.Last(), each.status);
        EXPECT_FALSE(tab->Table->FilterOn);
        EXPECT_FALSE(filter->isChecked());
        EXPECT_EQ(tab->Table->RowCount(), 7);
        EXPECT_TRUE(main->updatesEnabled());
    }
}

// With rows selected the filter asks first; "No" refuses, any other answer
// clears the selection and filters.
TEST_F(TabSearchTest, FilterAsksAboutSelectionsThenSetsAndClears)
{
    TabTable* tab = OpenSample();
    ASSERT_TRUE(tab->SetSearchExpression(QStringLiteral("LEVEL<0"), 1, 3));
    tab->SelRangeSet(0, 1, true, 0);
    QAction* filter = tab->Actions[TACT_FILTER];
    prompt.answers.enqueue(QMessageBox::No);
    filter->setChecked(true);
    tab->FilterByCond();
    ASSERT_EQ(prompt.asked.size(), 1);
    EXPECT_EQ(prompt.asked[0].text, QStringLiteral("Setting filter removes selections. Set filter?"));
    EXPECT_EQ(prompt.asked[0].defaultButton, QMessageBox::Yes);
    EXPECT_FALSE(tab->Table->FilterOn);
    EXPECT_EQ(tab->Table->NumSelected, 2u);
    EXPECT_TRUE(main->updatesEnabled());

    prompt.answers.enqueue(QMessageBox::Cancel);
    filter->setChecked(true);
    tab->FilterByCond();
    EXPECT_TRUE(tab->Table->FilterOn);
    EXPECT_EQ(tab->Table->NumSelected, 0u);
    EXPECT_EQ(tab->Table->RowCount(), 2);
    EXPECT_EQ(shell.Last(), "Table 'memory': Filtered 2 rows");
    EXPECT_TRUE(tabtest::Contains(shell.log, "Table 'memory': Filtered 2 rows"));
    EXPECT_TRUE(main->updatesEnabled());
    tab->ClearFilter();
    EXPECT_FALSE(tab->Table->FilterOn);
    EXPECT_EQ(tab->Table->RowCount(), 7);
    EXPECT_TRUE(main->updatesEnabled());
}

TEST_F(TabSearchTest, SelectAndBookmarkByCondition)
{
    TabTable* tab = OpenSample();
    TypeAndEnter(tab, "gamma");
    QAction* select = tab->Actions[TACT_SELECT];
    select->setChecked(true);
    tab->SelectByCond();
    EXPECT_EQ(tab->Table->NumSelected, 2u);
    EXPECT_EQ(shell.Last(), "Selected 2 rows");
    select->setChecked(false);
    tab->SelectByCond();
    EXPECT_EQ(tab->Table->NumSelected, 0u);
    EXPECT_EQ(shell.Last(), "Selected 0 rows");
    tab->BookmarkByCond();
    EXPECT_EQ(shell.Last(), "2 bookmarks is set");
    tab->SetCurrentPosition(0);
    tab->BookmarkCurrentOnOff();
    EXPECT_EQ(shell.Last(), "Bookmark added at row 1");
    tab->BookmarkCurrentOnOff();
    EXPECT_EQ(shell.Last(), "Bookmark removed at row 1");
}

// Rows marked out of order stay sorted; a range over a record that lost its
// link is inconsistent data, reported and not fatal.
TEST_F(TabSearchTest, RowsMarkedOutOfOrderStaySortedAndFaultsAreReported)
{
    TabTable* tab = OpenSample();
    for (int32_t row : {5, 1, 3, 6})
        tab->RecordSelect(row, nullptr, true);
    EXPECT_TRUE(tabtest::Contains(shell.status, "Selected row 4"));
    std::vector<int32_t> firsts;
    for (SelRange* range = tab->Table->FirstRange(); range; range = range->NextEntry())
        firsts.push_back(range->first);
    EXPECT_EQ(firsts, (std::vector<int32_t>{1, 3, 5}));
    for (int32_t row : {4, 0, 2})
        tab->BookmarkSet(row, true);
    std::vector<int32_t> marks;
    for (KxBkmarkEntry* mark = tab->Table->Bookmarks().First(); mark; mark = mark->NextEntry())
        marks.push_back(mark->index);
    EXPECT_EQ(marks, (std::vector<int32_t>{0, 2, 4}));

    tab->Table->GetRecord(3)->selRange = nullptr;
    tab->RecordSelect(3, nullptr, true);
    ASSERT_EQ(shell.info.size(), 1u);
    EXPECT_EQ(shell.info[0], "KxTable 'memory', Record #3: inconsistency in selection data");
}

TEST_F(TabSearchTest, GoToLineClampsAndSteps)
{
    TabTable* tab = OpenSample();
    tab->GoToTextEdited(QStringLiteral("999"));
    EXPECT_EQ(tab->Table->CurRow(), 6);
    tab->Go1StepForward();
    EXPECT_EQ(tab->Table->CurRow(), 6);
    tab->Go1StepBack();
    EXPECT_EQ(tab->Table->CurRow(), 5);
    tab->GoToTextEdited(QStringLiteral("abc"));
    EXPECT_EQ(tab->Table->CurRow(), 0);
    tab->Go1StepBack();
    EXPECT_EQ(tab->Table->CurRow(), 0);
    ASSERT_NE(tab->GoToEdit, nullptr);
    tab->GoToEdit->setFocus();
    // The line shows the current row; typing replaces it.
    EXPECT_EQ(tab->GoToEdit->text(), "1");
    tab->GoToEdit->selectAll();
    QTest::keyClicks(tab->GoToEdit, QStringLiteral("4"));
    EXPECT_EQ(tab->Table->CurRow(), 3);
    QTest::keyClick(tab->GoToEdit, Qt::Key_Backspace);
    QTest::keyClicks(tab->GoToEdit, QStringLiteral("0"));
    EXPECT_EQ(tab->Table->CurRow(), 0);
}

// Pinning the same phrase again changes its entry in place and swaps the
// entry's expression reference; every way of unpinning gives it back.
TEST_F(TabSearchTest, RepinningChangesTheEntryInPlaceAndReferencesComeBack)
{
    PrefTabTable prefs = PrefTabTable::Default();
    prefs.ColorHighlight = 0xFF0000;
    TabTable* tab = OpenSample(prefs);
    TypeAndEnter(tab, "alpha");
    KxSearchExpression* expression = tab->Table->SearchExpression();
    ASSERT_NE(expression, nullptr);
    EXPECT_EQ(expression->RefCount(), 1u);
    tab->PinPhrase(1);
    ASSERT_EQ(tab->FixedHighlights.size(), 1);
    EXPECT_EQ(tab->FixedHighlights[0]->color, QColor(0xFF, 0, 0));
    EXPECT_NE(shell.Last().find(" highlighted rows fixed in outline"), std::string::npos);
    ASSERT_NE(tab->FixedHighlights[0]->expression, nullptr);
    EXPECT_EQ(tab->FixedHighlights[0]->expression->RefCount(), 2u);
    const size_t history = PrefGlobal::SearchHistory.size();
    tab->Prefs.ColorHighlight = 0x0000FF;
    tab->PinPhrase(1);
    ASSERT_EQ(tab->FixedHighlights.size(), 1);
    EXPECT_EQ(tab->FixedHighlights[0]->color, QColor(0, 0, 0xFF));
    EXPECT_EQ(tab->FixedHighlights[0]->expression->RefCount(), 2u);
    EXPECT_EQ(PrefGlobal::SearchHistory.size(), history);
    EXPECT_TRUE(tab->IsFixedHighlight());
    EXPECT_EQ(tab->CurFixedHighlight, 0);
    tab->PinPhrase(0);
    EXPECT_TRUE(tab->FixedHighlights.isEmpty());
    EXPECT_EQ(tab->CurFixedHighlight, -1);
    EXPECT_EQ(tab->Table->SearchExpression()->RefCount(), 1u);
    tab->PinPhrase(1);
    tab->RemoveFixedHighlight(0, false);
    EXPECT_EQ(tab->Table->SearchExpression()->RefCount(), 1u);
    tab->PinPhrase(1);
    tab->ClearPinned();
    EXPECT_EQ(tab->Table->SearchExpression()->RefCount(), 1u);
}

TEST_F(TabSearchTest, MenuListsPinnedPhrases)
{
    TabTable* tab = OpenSample();
    std::unique_ptr<QMenu> empty(tab->CreateFixedHighlightMenu());
    ASSERT_EQ(empty->actions().size(), 1);
    EXPECT_EQ(empty->actions()[0]->text(), QStringLiteral("empty"));
    EXPECT_FALSE(empty->actions()[0]->isEnabled());
    TypeAndEnter(tab, "beta");
    tab->PinPhrase(1);
    TypeAndEnter(tab, "gamma");
    tab->PinPhrase(1);
    std::unique_ptr<QMenu> menu(tab->CreateFixedHighlightMenu());
    // "Clear All", the separator, one row per phrase.
    ASSERT_EQ(menu->actions().size(), 4);
    QList<QPushButton*> buttons = menu->findChildren<QPushButton*>();
    ASSERT_EQ(buttons.size(), 4);
    EXPECT_EQ(buttons[1]->text(), QStringLiteral("beta   "));
    // Activating the first row makes its phrase the search.
    buttons[1]->click();
    EXPECT_EQ(tab->FindCombo->currentText(), QStringLiteral("beta"));
    buttons[0]->click();
    ASSERT_EQ(tab->FixedHighlights.size(), 1);
    EXPECT_EQ(tab->FixedHighlights[0]->text, QStringLiteral("gamma"));
}

TEST_F(TabSearchTest, FindLinePaintsThePinColour)
{
    PrefTabTable prefs = PrefTabTable::Default();
    prefs.ColorHighlight = 0x00FF00;
    TabTable* tab = OpenSample(prefs);
    TypeAndEnter(tab, "beta");
    tab->PinPhrase(1);
    LineEdit* line = FindLine(tab);
    tab->Actions[TACT_PIN]->setChecked(false);
    int first = -1;
    EXPECT_GT(GreenPixels(line, &first), 10);
    EXPECT_TRUE(tab->Actions[TACT_PIN]->isChecked());
    // The colour lies under the line's own text, from its first letter.
    EXPECT_GE(first, 0);
    EXPECT_LE(first, line->textMargins().left() + 4);
    // One more character: no longer the pinned phrase.
    QTest::keyClick(tab->FindCombo, Qt::Key_X);
    line->grab();
    EXPECT_FALSE(tab->Actions[TACT_PIN]->isChecked());
    QTest::keyClick(tab->FindCombo, Qt::Key_Backspace);
    line->grab();
    EXPECT_TRUE(tab->Actions[TACT_PIN]->isChecked());
    // Moving the cursor stops the painting until the text is applied.
    QTest::keyClick(tab->FindCombo, Qt::Key_Home);
    EXPECT_EQ(line->CursorMoved, 1);
    EXPECT_EQ(GreenPixels(line), 0);
    QTest::keyClick(tab->FindCombo, Qt::Key_Return);
    EXPECT_EQ(line->CursorMoved, 0);
}

TEST_F(TabSearchTest, StoredPinsAreAppliedWhenBuilt)
{
    PrefTabTable prefs = PrefTabTable::Default();
    prefs.ColorHighlight = 0x123456;
    prefs.pinnedCount = 3;
    prefs.pinned[0] = {"alpha", 0xFF0000, 0, 1};
    prefs.pinned[1] = {"LEVEL<0", 0x00FF00, 1, 0};
    // One the table no longer takes as an expression is left out, told.
    prefs.pinned[2] = {"TEXT =~ '(('", 0x0000FF, 1, 1};
    TabTable* tab = OpenSample(prefs);
    EXPECT_TRUE(tabtest::Contains(shell.log, "Incorrect search expression: '(' without a closing ')' in the regular "
                                             "expression '((' at line 1, column 11"));
    ASSERT_EQ(tab->FixedHighlights.size(), 2);
    EXPECT_EQ(tab->FixedHighlights[0]->text, QStringLiteral("alpha"));
    EXPECT_EQ(tab->FixedHighlights[0]->color, QColor(0xFF, 0, 0));
    EXPECT_EQ(tab->FixedHighlights[1]->mode, 1u);
    EXPECT_EQ(tab->FixedHighlights[1]->matchCase, 0);
    EXPECT_NE(tab->FixedHighlights[1]->expression, nullptr);
    EXPECT_EQ(tab->Prefs.ColorHighlight, 0x123456u);
}

// Stored pins are matched over the rows once, when the Outline is made: in
// the constructor, or only by the opener's aside build (never in the
// constructor). The build aside matches with copies of the pinned
// expressions, whose own state the paints use, and the tab keeps its
// matches: the next rebuild matches nothing again. Both give the same lines.
TEST_F(TabSearchTest, StoredPinsAreMatchedOnceWhereTheOutlineIsMade)
{
    PrefTabTable prefs = PrefTabTable::Default();
    prefs.outline[JUMP_HIGHLIGHT] = 1;
    prefs.pinnedCount = 2;
    prefs.pinned[0] = {"alpha", 0xFF0000, 0, 1};
    prefs.pinned[1] = {"LEVEL<0", 0x00FF00, 1, 0};
    const std::pair<const char*, int8_t> rows[] = {{"alpha", 0}, {"beta", 1}, {"alpha two", 0}, {"broken", -1}};
    // The rows with a pinned phrase's match, and the expressions' rounds.
    const auto highlighted = [](TabBase* tab) {
        std::vector<int32_t> found;
        for (const OutlineLine& line : tab->OutlineTable->Lines())
            if (line.flags & OUTLINE_HIGHLIGHT)
                found.push_back(line.row);
        return found;
    };
    const auto rounds = [](TabBase* tab) {
        std::vector<uint32_t> each;
        for (const TabBase::FixedHighlight* pinned : tab->FixedHighlights)
            each.push_back(pinned->expression->limitRound);
        return each;
    };
    for (const TabBase::OutlineFill fill : {TabBase::OutlineFill::NOW, TabBase::OutlineFill::LATER}) {
        const bool later = fill == TabBase::OutlineFill::LATER;
        SCOPED_TRACE(later ? "made by the opener" : "made by the constructor");
        auto* table = new KxTable(nullptr, "memory", PrefKxTable::Default());
        for (const auto& [text, level] : rows)
            table->AppendRecord(Record(text).Build())->prot.msg.LEVEL = level;
        auto* tab = new TabTable(table, prefs, nullptr, fill);
        ASSERT_EQ(tab->FixedHighlights.size(), 2);
        EXPECT_EQ(tab->OutlineLines.MatchRounds(), later ? 0 : 2);
        // Made aside after the constructor, and again once the matches
        // were forgotten.
        for (int aside = 1; later && aside <= 2; ++aside) {
            const std::vector<uint32_t> before = rounds(tab);
            std::atomic<int32_t> reported{0};
            tab->ShowOutlineLines(tab->MakeOutlineLinesAside(
                [] { return true; }, [&reported](int32_t done, int32_t) { reported = std::max(reported.load(), done); }));
            EXPECT_EQ(tab->OutlineLines.MatchRounds(), 2 * aside);
            EXPECT_EQ(reported, OutlineBuilder::BUILD_STEPS);
            EXPECT_EQ(rounds(tab), before);
            if (aside == 1)
                tab->OutlineLines.Forget();
        }
        EXPECT_EQ(highlighted(tab), (std::vector<int32_t>{0, 2, 3}));
        const int32_t made = tab->OutlineLines.MatchRounds();
        tab->RefreshOutlineTable();
        EXPECT_EQ(tab->OutlineLines.MatchRounds(), made);
        EXPECT_EQ(highlighted(tab), (std::vector<int32_t>{0, 2, 3}));
        delete tab;
    }
}

TEST_F(TabSearchTest, AuxItemQuotesTheValue)
{
    struct Case {
        const char* value;
        const char* expression;
    };
    const Case cases[] = {
        {"main", "TNAME=='main'"},
        {"it's", "TNAME==\"it's\""},
        {"say \"hi\"", "TNAME=='say \"hi\"'"},
        {"it's \"both\"", ""},
        {"o'n*", "!(TNAME!=\"o'n*\")"},
        {"o'n?", "!(TNAME!=\"o'n?\")"},
    };
    TabTable* tab = OpenSample();
    tab->Table->Prefs().TreeLevel1Field = FIELD_TNAME;
    tab->Table->Prefs().TreeLevel2Field = FIELD_KXNAME;
    // Items of two columns whose second holds the value, as in the pane.
    QStandardItemModel tree(0, 2);
    auto add = [&tree](QStandardItem* parent, const char* value) {
        const QList<QStandardItem*> row = {new QStandardItem, new QStandardItem(QString::fromLatin1(value))};
        parent ? parent->appendRow(row) : tree.appendRow(row);
        return row[0];
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(each.value);
        const QStandardItem* item = add(nullptr, each.value);
        EXPECT_EQ(tab->AuxItemExpression(item->index()).toStdString(), each.expression);
    }
    EXPECT_NE(shell.Last().find("holds both quote characters"), std::string::npos);
    const QStandardItem* child = add(add(nullptr, "main"), "net");
    EXPECT_EQ(tab->AuxItemExpression(child->index()), QStringLiteral("TNAME=='main' && KXNAME=='net'"));
}

// A value's condition takes exactly the rows holding that value, whatever
// quote, wildcard or backslash it holds; near misses of each stay out, with
// and without match case.
TEST(QuotedConditionTest, MatchesExactlyTheValue)
{
    const char* const values[] = {"o'n*", "o'nX", "o'n", "o'n**", "O'N*", "a?b'", "a_b'", "axb'", "*'",
                                  "x'", "'", "c:\\t'", "c:\\\\t'", "say \"hi\"", "say \"h*\"", "say \"hX\"",
                                  "ab*", "abc", "", "?", "x"};
    KxTable* table = new KxTable(nullptr, "quotes", PrefKxTable());
    for (const char* value : values) {
        RawRecord raw;
        raw.pname = value;
        table->AppendRecord(raw.Build());
    }
    for (const bool matchCase : {true, false})
        for (const char* value : values) {
            if (!*value)
                continue;
            SCOPED_TRACE(std::string(value) + (matchCase ? " (match case)" : ""));
            const QString condition = QuotedCondition("PNAME", "==", QString::fromLatin1(value));
            ScriptLogicalExpParser expression;
            ASSERT_TRUE(expression.Construct(condition.toLatin1().constData(), matchCase, false));
            ASSERT_EQ(expression.Parse(), 0);
            ASSERT_EQ(expression.mode, SEARCH_MODE_COMPLEX) << condition.toStdString();
            std::string matched, expected;
            for (int32_t row = 0; row < table->RowCount(); ++row) {
                KxdRecord* record = table->GetRecord(row);
                const QString pname = QString::fromLatin1(record->Text(FIELD_PNAME));
                if (expression.Match(record))
                    matched += pname.toStdString() + "|";
                if (pname.compare(QString::fromLatin1(value), matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive) == 0)
                    expected += pname.toStdString() + "|";
            }
            EXPECT_EQ(matched, expected) << condition.toStdString();
        }
    table->Release();
}

TEST_F(TabSearchTest, ManualFilterSkipsVanishedRangesAndKeepsListedOnes)
{
    TabTable* tab = OpenSample();
    tab->SelRangeSet(4, 5, true, 0);
    tab->SelRangeSet(0, 0, true, 0);
    OutlineView outline;
    auto line = [](int row, int last, int flags) {
        OutlineLine made;
        made.row = row;
        made.last = last;
        made.flags = flags;
        return made;
    };
    // The second line's range no longer starts at row 2.
    outline.SetLines({line(1, -1, 0), line(2, 3, OUTLINE_SELECTION_RANGE), line(4, 5, OUTLINE_SELECTION_RANGE),
                      line(6, -1, 0)},
                     QString());
    tab->OutlineTable = &outline;
    // As under a script that switched view updating off: the Outline is
    // not rebuilt and may be out of step with the table.
    TabBase::ImmediateRefresh = 0;
    const int32_t matched = tab->ManualFilterSelected();
    TabBase::ImmediateRefresh = 1;
    tab->OutlineTable = nullptr;
    EXPECT_EQ(matched, 4);
    ASSERT_TRUE(tab->Table->FilterOn);
    EXPECT_EQ(tab->Table->RowCount(), 4);
    EXPECT_EQ(tab->Table->OriginalIndex(1), 4);
    // The listed range moved with its rows; the one left out was cleared.
    EXPECT_EQ(tab->Table->NumSelected, 2u);
    ASSERT_NE(tab->Table->FirstRange(), nullptr);
    EXPECT_EQ(tab->Table->FirstRange()->first, 1);
    EXPECT_TRUE(tabtest::Contains(
        shell.log, "Manual filter: 1 selection ranges of the outline no longer exist and are skipped"));
    EXPECT_TRUE(main->updatesEnabled());
}

// The new view model turns the event loop; a document deleted in that turn
// is not touched again.
TEST_F(TabSearchTest, ManualFilterEndsWhenItsTurnDeletesTheDocument)
{
    TabTable* tab = OpenSample();
    OutlineView outline;
    OutlineLine first;
    first.row = 1;
    OutlineLine second;
    second.row = 3;
    outline.SetLines({first, second}, QString());
    tab->OutlineTable = &outline;
    TabBase::ImmediateRefresh = 0;
    const QPointer<TabTable> watched(tab);
    QTimer::singleShot(0, tab, [tab] { delete tab; });
    EXPECT_EQ(tab->ManualFilterSelected(), 0);
    TabBase::ImmediateRefresh = 1;
    EXPECT_TRUE(watched.isNull());
    // The filter switched the window's updates off; they come back.
    EXPECT_TRUE(main->updatesEnabled());
}

} // namespace

// With Highlight on, a failing expression in the find line is told once for
// one press: by the command, or by the highlight that the press switched
// on; the paints and the row changes after it tell nothing more. A pattern
// the commands refuse is refused by the highlight too.
TEST_F(TabSearchTest, HighlightTellsAFailingExpressionOncePerPress)
{
    actions.Entry(TACT_HIGHLIGHT).checkable = 1;
    const std::string refused = "Incorrect search expression: '(' without a closing ')' in the regular expression "
                                "\"y((\" at line 1, column 12";
    const std::string failed = ": unknown function \"nosuch\" at line 1, column 1; rows where it fails are searched "
                               "for its text";
    const struct {
        const char* expression;
        bool enter; // else Highlight switched on after the typing
        std::string told;
    } cases[] = {
        {"TEXT =~ \"y((\"", false, refused},
        {"TEXT =~ \"y((\"", true, refused},
        {"nosuch(TEXT) == 1", false, "search expression failed at row 1" + failed},
        // The find goes from the first row on; the paint told row 1 already.
        {"nosuch(TEXT) == 1", true, "search expression failed at row 2" + failed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.expression) + (c.enter ? " Enter" : " Highlight"));
        TabTable* tab = OpenSample();
        tab->Actions[TACT_HIGHLIGHT]->setChecked(c.enter);
        LineEdit* line = FindLine(tab);
        ASSERT_NE(line, nullptr);
        QApplication::setActiveWindow(tab->window());
        tab->FindCombo->setFocus();
        line->selectAll();
        Settle(tab);
        shell.log.clear();
        QTest::keyClicks(tab->FindCombo, QString::fromLatin1(c.expression));
        Settle(tab);
        // Typed with Highlight on, the highlight told it once already.
        if (c.enter) {
            const std::string typed = c.told == refused ? refused : "search expression failed at row 1" + failed;
            EXPECT_EQ(shell.log, std::vector<std::string>{typed});
        }
        shell.log.clear();
        shell.status.clear();
        if (c.enter)
            QTest::keyClick(tab->FindCombo, Qt::Key_Return);
        else
            tab->Actions[TACT_HIGHLIGHT]->trigger();
        Settle(tab);
        EXPECT_EQ(shell.Last(), c.told);
        EXPECT_EQ(shell.log, std::vector<std::string>{c.told});
        // The first click ends the edit of the find line, which sets its text
        // again.
        for (int row : {3, 5, 2}) {
            QTest::mouseClick(tab->View->viewport(), Qt::LeftButton, Qt::NoModifier, CellCentre(tab, row, 1));
            Settle(tab);
        }
        EXPECT_EQ(shell.log, std::vector<std::string>{c.told});
    }
}

// A jump on highlighted substrings tells a pattern the commands refuse at
// each press, as a new command, though the highlight or the last press told
// it already; no row matches it. A jump that stops on a warning before any
// row was tested for highlights tells it as well; the row clicks between the
// presses tell nothing.
TEST_F(TabSearchTest, AJumpOnHighlightsTellsARefusedPattern)
{
    actions.Entry(TACT_HIGHLIGHT).checkable = 1;
    const std::string told = "Incorrect search expression: '(' without a closing ')' in the regular expression "
                             "\"m((\" at line 1, column 12";
    // Warnings (level 0) at rows 0, 2 and 6. click: the jump starts from a
    // row clicked, else from one made current without a click.
    const struct {
        const char* name;
        TabBase::ToolButtonIndex button;
        bool warnings;
        int from;
        bool click;
        int lands;
    } cases[] = {
        {"next", TabBase::BUTTON_NEXT_JUMP, false, 0, false, 0},
        {"previous", TabBase::BUTTON_PREV_JUMP, false, 6, false, 6},
        {"next warning", TabBase::BUTTON_NEXT_JUMP, true, 1, false, 2},
        {"next after a click", TabBase::BUTTON_NEXT_JUMP, false, 0, true, 0},
        {"next warning after a click", TabBase::BUTTON_NEXT_JUMP, true, 1, true, 2},
        {"previous warning after a click", TabBase::BUTTON_PREV_JUMP, true, 3, true, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PrefGlobal::SearchHistory.clear();
        TabTable* tab = OpenSample();
        tab->Actions[TACT_HIGHLIGHT]->setChecked(true);
        for (int32_t i = 0; i < JUMP_Nums; ++i)
            tab->SetJumpCondition(i, i == JUMP_HIGHLIGHT || (c.warnings && i == JUMP_DATA_WARNINGS));
        // A click ends the edit of the find line, which applies its text
        // again.
        QApplication::setActiveWindow(tab->window());
        tab->FindCombo->setFocus();
        FindLine(tab)->selectAll();
        shell.log.clear();
        QTest::keyClicks(tab->FindCombo, QStringLiteral("TEXT =~ \"m((\""));
        Settle(tab);
        EXPECT_EQ(shell.log, std::vector<std::string>{told});
        for (int press = 0; press < 2; ++press) {
            shell.log.clear();
            if (c.click)
                QTest::mouseClick(tab->View->viewport(), Qt::LeftButton, Qt::NoModifier, CellCentre(tab, c.from, 1));
            else
                tab->SetCurrentPosition(c.from);
            Settle(tab);
            QToolButton* jump = tab->ToolButtons[c.button];
            QTest::mouseClick(jump, Qt::LeftButton, Qt::NoModifier, QPoint(4, jump->height() / 2));
            Settle(tab);
            EXPECT_EQ(tab->Table->CurRow(), c.lands);
            EXPECT_EQ(shell.Last(), told);
            EXPECT_EQ(shell.log, std::vector<std::string>{told});
        }
        delete tab;
    }
}
