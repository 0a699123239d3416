// Rows copied, pasted and erased between table tabs through the copy record.
#include <algorithm>
#include <cinttypes>
#include <functional>

#include <QAction>
#include <QMessageBox>

#include "rowcopyenv.h"
#include "tests/kxlib/table_fixtures.h"

namespace {

using tabtest::Contains;

class RowCopy : public rowcopytest::RowCopyTest {
protected:
    // Moves the cursor n rows down by key.
    static void Down(TabTable* tab, int n)
    {
        for (int k = 0; k < n; ++k)
            QTest::keyClick(tab->View, Qt::Key_Down);
    }
    // Makes a row current by key from row 0 and toggles its selection.
    static void SpaceAt(TabTable* tab, int row)
    {
        QTest::keyClick(tab->View, Qt::Key_Home, Qt::ControlModifier);
        tab->SetCurrentPosition(0);
        Down(tab, row);
        QTest::keyClick(tab->View, Qt::Key_Space);
    }
};

TEST_F(RowCopy, PasteTakesTheRowsTheCopyTook)
{
    const std::string changed =
        "Cannot paste: the rows of document \"A\" changed after the copy. Please copy them again.";
    struct Case {
        const char* name;
        int copyAction;
        std::function<void(TabTable*)> before;
        std::function<void(TabTable*)> after;
        std::vector<std::string> arrive; // empty: refused
    };
    const Case cases[] = {
        {"current row, then the cursor moves", TACT_ROWS_COPY, [](TabTable* a) { Down(a, 4); },
         [](TabTable* a) { Down(a, 3); }, {"row 4", "mine"}},
        {"a selection, then another row selected", TACT_ROWS_COPY,
         [](TabTable* a) {
             SpaceAt(a, 2);
             SpaceAt(a, 3);
         },
         [](TabTable* a) { SpaceAt(a, 10); }, {"row 2", "row 3", "mine"}},
        {"copy by colours, then the colour's other rows", TACT_ROWS_COPY_BY_COLORS,
         [](TabTable* a) {
             a->SelRangeSet(5, 6, true, 0x00FF00);
             a->SelRangeSet(8, 8, true, 0x0000FF);
             a->BuildCopyMenu();
             a->ColorGroups[0].copy = 1;
         },
         [](TabTable* a) { a->SelRangeSet(12, 12, true, 0x00FF00); }, {"row 5", "row 6", "mine"}},
        {"rows erased after the copy", TACT_ROWS_COPY, [](TabTable* a) { SpaceAt(a, 2); },
         [this](TabTable* a) {
             prompt.answers.enqueue(QMessageBox::Yes);
             a->RowsDelete();
         },
         {}},
        {"filter switched after the copy", TACT_ROWS_COPY, [](TabTable* a) { SpaceAt(a, 2); },
         [](TabTable* a) { a->FilterSelected(); }, {}},
        {"rows pasted into the source after the copy", TACT_ROWS_COPY, [](TabTable*) {},
         [](TabTable* a) { a->Table->CopyRuns(*a->Table, {{0, 1, 0, false}}, 0); }, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TabTable* a = OpenFixture("A");
        TabTable* b = OpenRecords({Record("mine")});
        c.before(a);
        a->Actions[c.copyAction]->trigger();
        c.after(a);
        shell.Clear();
        b->RowsPaste();
        if (c.arrive.empty()) {
            EXPECT_EQ(Texts(b), std::vector<std::string>{"mine"});
            EXPECT_TRUE(Contains(shell.info, changed));
        } else {
            EXPECT_EQ(Texts(b), c.arrive);
            EXPECT_TRUE(Contains(shell.log, "Document \"memory\" : " + std::to_string(c.arrive.size() - 1) +
                                                " records added"));
        }
        KxvGlobals::CopyInformation.Clear();
        delete a;
        delete b;
    }
}

// Copy All keeps no rows of its own: whatever the source went through
// after the copy, a paste takes its rows as they are then.
TEST_F(RowCopy, CopyAllPastesTheSourceRowsAsTheyAreAtThePaste)
{
    struct Case {
        const char* name;
        std::function<void(TabTable*)> after;
        size_t rows;
    };
    const Case cases[] = {
        {"filtered to a selection", [](TabTable* a) {
             SpaceAt(a, 2);
             SpaceAt(a, 5);
             a->FilterSelected();
         }, 2},
        {"selected rows erased", [this](TabTable* a) {
             SpaceAt(a, 2);
             SpaceAt(a, 3);
             prompt.answers.enqueue(QMessageBox::Yes);
             a->RowsDelete();
         }, 58},
        {"rows pasted into the source", [](TabTable* a) { a->Table->CopyRuns(*a->Table, {{0, 3, 0, false}}, 0); },
         63},
        {"every row erased", [this](TabTable* a) {
             a->SelectAll();
             prompt.answers.enqueue(QMessageBox::Yes);
             a->RowsDelete();
         }, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TabTable* a = OpenFixture("A");
        TabTable* b = OpenRecords({Record("mine")});
        a->Actions[TACT_ROWS_COPY_ALL]->trigger();
        c.after(a);
        std::vector<std::string> expect = Texts(a);
        ASSERT_EQ(expect.size(), c.rows);
        expect.push_back("mine");
        shell.Clear();
        b->RowsPaste();
        EXPECT_EQ(Texts(b), expect);
        EXPECT_TRUE(shell.info.empty());
        EXPECT_TRUE(Contains(shell.log, "Document \"memory\" : " + std::to_string(c.rows) + " records added"));
        KxvGlobals::CopyInformation.Clear();
        delete a;
        delete b;
    }
}

TEST_F(RowCopy, CopyAllPastesEveryRowAtTheCurrentRow)
{
    TabTable* a = OpenFixture("A");
    TabTable* b = OpenRecords({Record("first"), Record("last")});
    b->SetCurrentPosition(1);
    SpaceAt(a, 7);
    a->Actions[TACT_ROWS_COPY_ALL]->trigger();
    b->RowsPaste();
    std::vector<std::string> expect{"first"};
    for (const std::string& text : Texts(a))
        expect.push_back(text);
    expect.push_back("last");
    EXPECT_EQ(Texts(b), expect);
}

TEST_F(RowCopy, TheCopyOutlivesItsDocumentUntilTheNextCopy)
{
    Reports reports;
    TabTable* a = OpenFixture("A");
    TabTable* b = OpenRecords({Record("mine")});
    const uint64_t key = a->Table->Key();
    SpaceAt(a, 1);
    a->Actions[TACT_ROWS_COPY]->trigger();
    delete a;
    FlushDeletes();
    b->RowsPaste();
    EXPECT_EQ(Texts(b), (std::vector<std::string>{"row 1", "mine"}));
    char gone[64];
    snprintf(gone, sizeof(gone), "DEL INSTANCE: KxTable, KEY=%" PRIX64, key);
    auto freed = [&] {
        for (const Reports::Report& report : Reports::All())
            if (report.text.find(gone) != std::string::npos)
                return true;
        return false;
    };
    EXPECT_FALSE(freed());
    b->Actions[TACT_ROWS_COPY]->trigger();
    EXPECT_TRUE(freed());
    EXPECT_EQ(KxvGlobals::CopyInformation.source, b->Table);
}

TEST_F(RowCopy, PasteIntoAnEmptyDocumentMakesTheFirstRowCurrent)
{
    TabTable* a = OpenFixture("A");
    auto* empty = new TabTable("empty", nullptr);
    empty->Init(nullptr);
    Dock(empty);
    SpaceAt(a, 3);
    SpaceAt(a, 4);
    a->Actions[TACT_ROWS_COPY]->trigger();
    EXPECT_EQ(empty->Table->CurRow(), -1);
    empty->RowsPaste();
    EXPECT_EQ(Texts(empty), (std::vector<std::string>{"row 3", "row 4"}));
    EXPECT_EQ(empty->Table->CurRow(), 0);
}

// Scripts and the main window call the commands whatever the actions
// show: a filtered or read-only table refuses them without aborting.
TEST_F(RowCopy, RowChangesOfAFilteredOrReadOnlyTableAreRefused)
{
    struct Case {
        bool filtered;
        void (TabTable::*command)();
        const char* message;
    };
    const char* const pasteFiltered = "Cannot paste rows: the document is filtered; clear the filter first.";
    const char* const pasteReadOnly = "Cannot paste rows: the document is not editable.";
    const Case cases[] = {
        {true, &TabTable::RowsPaste, pasteFiltered},
        {true, &TabTable::RowsPasteToBottom, pasteFiltered},
        {true, &TabTable::RowsDelete, "Cannot delete rows: the document is filtered; clear the filter first."},
        {false, &TabTable::RowsPaste, pasteReadOnly},
        {false, &TabTable::RowsPasteToBottom, pasteReadOnly},
        {false, &TabTable::RowsDelete, "Cannot delete rows: the document is not editable."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        TabTable* source = OpenFixture("A");
        TabTable* target = OpenFixture("B");
        source->Actions[TACT_ROWS_COPY_ALL]->trigger();
        target->SelRangeSet(2, 5, true, 0xFFFF00);
        if (c.filtered)
            target->FilterSelected();
        else
            target->Table->Prefs().editable = 0;
        const int32_t rows = target->Table->RowCount();
        shell.Clear();
        (target->*c.command)();
        EXPECT_EQ(target->Table->RowCount(), rows);
        EXPECT_TRUE(Contains(shell.info, c.message));
        EXPECT_TRUE(prompt.asked.isEmpty());
        KxvGlobals::CopyInformation.Clear();
        delete source;
        delete target;
    }
}

TEST_F(RowCopy, EraseAsksAndDeletesOnYesOnly)
{
    struct Case {
        const char* name;
        std::vector<int> selected;
        int current;
        QMessageBox::StandardButton answer;
        const char* question;
        int rowsLeft;
    };
    const Case cases[] = {
        {"current row, Yes", {}, 4, QMessageBox::Yes, "Are you sure to delete row #5", 59},
        {"current row, Escape", {}, 4, QMessageBox::Escape, "Are you sure to delete row #5", 60},
        {"selection, Yes", {2, 3, 4, 10}, 7, QMessageBox::Yes, "Are you sure to delete 4 selected rows?", 56},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TabTable* tab = OpenFixture();
        for (int row : c.selected)
            SpaceAt(tab, row);
        tab->SetCurrentPosition(c.current);
        tab->UpdateActions();
        prompt.asked.clear();
        prompt.answers.enqueue(c.answer);
        shell.Clear();
        QTest::keyClick(tab->View, Qt::Key_Delete);
        ASSERT_EQ(prompt.asked.size(), 1);
        EXPECT_EQ(prompt.asked[0].text, c.question);
        EXPECT_EQ(tab->Table->RowCount(), c.rowsLeft);
        EXPECT_EQ(tab->Model->rowCount(), c.rowsLeft);
        const std::string report = "Document \"fixture\" : " + std::to_string(60 - c.rowsLeft) + " records deleted";
        EXPECT_EQ(Contains(shell.log, report), c.rowsLeft < 60);
        const std::vector<std::string> left = Texts(tab);
        for (int row : c.selected)
            EXPECT_EQ(std::count(left.begin(), left.end(), "row " + std::to_string(row)), c.rowsLeft < 60 ? 0 : 1);
        delete tab;
    }
}

} // namespace
