// The Outline pane of a document: its lines over a small trace, the
// commands on them (copy, delete, filter, following the current row) and
// the painting of its lines and of the colour-scheme rows.
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <QAction>
#include <QCheckBox>
#include <QPainter>
#include <QDockWidget>
#include <QClipboard>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>

#include "kxlib/fields.h"
#include "kxlib/table/kxsearchexpr.h"
#include "kxviewer/table/backgrounddelegate.h"
#include "kxviewer/table/clearoutlinedialog.h"
#include "kxviewer/table/outlinedelegate.h"
#include "kxviewer/table/outlineroles.h"
#include "kxviewer/table/outlineview.h"
#include "kxviewer/table/tabactionids.h"
#include "kxviewer/table/tabtablemodel.h"
#include "tabletabenv.h"
#include "tests/widgetmetrics.h"

namespace {

// Matches the records whose TEXT holds the phrase and reports the phrase.
class PhraseMatch : public KxSearchExpression {
public:
    explicit PhraseMatch(const char* phrase) : phrase_(phrase)
    {
        mode = SEARCH_MODE_SIMPLE;
        std::strncpy(text, phrase, sizeof(text) - 1);
    }
    bool Construct(const char*, bool, bool) override { return true; }
    int Parse() override { return 0; }
    bool Match(KxdRecord* record) override
    {
        ++matches;
        std::memset(matchSlots, 0, sizeof(matchSlots));
        if (!std::strstr(record->Text(FIELD_TEXT), phrase_))
            return false;
        matchSlots[FIELD_TEXT] = SearchMatchSlot{SEARCH_SLOT_SUBSTRING, phrase_, 1};
        return true;
    }
    bool Holds(const KxdRecord& record) const override { return std::strstr(record.Text(FIELD_TEXT), phrase_); }
    int matches = 0;

private:
    const char* phrase_;
};

constexpr uint32_t RANGE_COLOR = 0x40C0FF;
constexpr int FIXTURE_ROWS = 60;

// Flags as the rows' names say.
constexpr int B = OUTLINE_BOOKMARK;
constexpr int W = OUTLINE_DATA_WARNING;
constexpr int E = OUTLINE_DATA_ERROR;
constexpr int V = OUTLINE_VIEW_ERROR;
constexpr int H = OUTLINE_HIGHLIGHT;
constexpr int H2 = OUTLINE_SECOND_HIGHLIGHT;
constexpr int R = OUTLINE_SELECTION_RANGE;

struct Line {
    int row, flags;
    std::string text;
    bool operator==(const Line& o) const { return row == o.row && flags == o.flags && text == o.text; }
};

void PrintTo(const Line& line, std::ostream* out)
{
    *out << "{" << line.row << ", " << line.flags << ", \"" << line.text << "\"}";
}

class OutlineTest : public tabletest::TableTabTest {
protected:
    // Sixty records of two threads: warnings at 5, 12, 30 and 45, errors at
    // 8, 20 and 50, nested calls, and at 40 a leave without its enter; plain
    // records after them up to rows.
    TabTable* OpenFixture(int rows = FIXTURE_ROWS)
    {
        auto* table = new KxTable(nullptr, "fixture", PrefKxTable::Default());
        for (int row = 0; row < rows; ++row) {
            RawRecord raw;
            raw.tid = row % 2 ? 8 : 7;
            raw.time = 1000 + uint64_t(row);
            const bool warning = row == 5 || row == 12 || row == 30 || row == 45;
            const bool error = row == 8 || row == 20 || row == 50;
            std::string text = (warning ? "warning " : error ? "error " : "record ") + std::to_string(row);
            if (row == 33)
                text = "connection refused by remote host 10.0.0.1";
            if (row == 2 || row == 3 || row == 6 || row == 7) {
                raw.flags = row < 5 ? KXFLAGS_FUNC_ENTER : KXFLAGS_FUNC_LEAVE;
                raw.func = "work";
            } else if (row == 40) {
                raw.tid = 8;
                raw.flags = KXFLAGS_FUNC_LEAVE;
                raw.func = "stray";
            }
            raw.text = text.c_str();
            ZmLib::KxdProt prot = raw.Build();
            prot.msg.LEVEL = int8_t(warning ? 0 : error ? -1 : 1);
            table->AppendRecord(prot);
        }
        return Show(table, PrefTabTable::Default(), TabBase::SOURCE_BUILT);
    }

    static void SetConditions(TabBase* tab, std::initializer_list<int> on)
    {
        for (int i = 0; i < JUMP_Nums; ++i)
            tab->SetOutlineCondition(i, std::find(on.begin(), on.end(), i) != on.end());
        tab->RefreshOutlineTable();
    }

    static void Pin(TabBase* tab, const char* phrase, QColor color)
    {
        auto* pinned = new TabBase::FixedHighlight;
        pinned->text = QString::fromLatin1(phrase);
        pinned->color = color;
        pinned->expression = new PhraseMatch(phrase);
        tab->FixedHighlights.append(pinned);
    }

    static std::vector<Line> Lines(TabBase* tab)
    {
        std::vector<Line> lines;
        const QAbstractItemModel* outline = tab->OutlineTable->model();
        for (int i = 0; i < outline->rowCount(); ++i) {
            const QModelIndex text = outline->index(i, 1);
            lines.push_back({text.data(OUTLINE_ROLE_ROW).toInt(), text.data(OUTLINE_ROLE_FLAGS).toInt(),
                             text.data().toString().toStdString()});
            EXPECT_EQ(outline->index(i, 0).data().toInt(), lines.back().row + 1);
            EXPECT_EQ(outline->index(i, 0).data(OUTLINE_ROLE_FLAGS).toInt(), lines.back().flags);
        }
        return lines;
    }

    static QRect LineRect(TabBase* tab, int line, int column)
    {
        return tab->OutlineTable->visualRect(tab->OutlineTable->model()->index(line, column));
    }

    // Selects the lines with Ctrl-clicks on their number cells.
    static void ClickLines(TabBase* tab, std::initializer_list<int> lines)
    {
        QWidget* viewport = tab->OutlineTable->viewport();
        for (int line : lines)
            QTest::mouseClick(viewport, Qt::LeftButton, Qt::ControlModifier, LineRect(tab, line, 0).center());
    }
};

// Rows inside a selection range make no line of their own: thousands of
// them between the lines leave the lines in row order, none lost and none
// doubled, the warnings showing their rows' texts.
TEST_F(OutlineTest, LinesAcrossLongRanges)
{
    TabTable* tab = OpenFixture(6000);
    tab->SelRangeSet(100, 4999, true, RANGE_COLOR);
    tab->SelRangeSet(5500, 5510, true, RANGE_COLOR);
    SetConditions(tab, {JUMP_DATA_WARNINGS, JUMP_DATA_ERRORS, JUMP_SELECTIONS});
    const std::vector<Line> expected = {{5, W, "warning 5"},   {8, E, "error 8"},     {12, W, "warning 12"},
                                        {20, E, "error 20"},   {30, W, "warning 30"}, {45, W, "warning 45"},
                                        {50, E, "error 50"},   {100, R, "4900 rows"}, {5500, R, "11 rows"}};
    EXPECT_EQ(Lines(tab), expected);
    delete tab;
}

TEST_F(OutlineTest, LinesOverTheFixture)
{
    const struct { // copied: what "Copy All" puts on the clipboard
        const char* name; std::initializer_list<int> conditions; std::function<void(TabTable*)> setUp;
        std::vector<Line> lines; const char* copied;
    } cases[] = {
        {"a bookmark on a range's first row joins the range's line", {JUMP_SELECTIONS, JUMP_BOOKMARKS},
         [](TabTable* tab) {
             tab->SelRangeSet(10, 14, true, RANGE_COLOR);
             for (int row : {3, 10, 12, 55})
                 tab->BookmarkSet(row, true);
         },
         {{3, B, "Bookmark"}, {10, B | R, "Range amount: 5"}, {12, B | R, "Bookmark"}, {55, B, "Bookmark"}}, ""},
        {"a warning inside a range has its own line", {JUMP_SELECTIONS, JUMP_DATA_WARNINGS},
         [](TabTable* tab) { tab->SelRangeSet(10, 14, true, RANGE_COLOR); },
         {{5, W, "warning 5"}, {10, R, "5 rows"}, {12, W | R, "warning 12"}, {30, W, "warning 30"},
          {45, W, "warning 45"}},
         "WARNING: warning 5\nWARNING: warning 12\nWARNING: warning 30\nWARNING: warning 45\n"},
        {"errors, warnings and the presentation error", {JUMP_DATA_ERRORS, JUMP_VIEW_ERRORS, JUMP_BOOKMARKS},
         [](TabTable* tab) { tab->BookmarkSet(8, true); },
         {{8, B | E, "error 8"}, {20, E, "error 20"}, {40, V, "View error \"FuncLeaveUnexpected\""},
          {50, E, "error 50"}},
         "ERROR  : error 8\nERROR  : error 20\nERROR  : error 50\n"},
        {"two pinned phrases on one record", {JUMP_HIGHLIGHT, JUMP_SELECTIONS},
         [](TabTable* tab) {
             Pin(tab, "connection refused by remote host", Qt::yellow);
             Pin(tab, "10.0.0.1", Qt::green);
             Pin(tab, "error 2", Qt::cyan);
             tab->SelRangeSet(20, 22, true, RANGE_COLOR);
         },
         {{20, R | H, "3 rows error 2"}, {33, H | H2, "connection refused b more..."}}, ""},
        {"copy all of bookmarks alone copies nothing", {JUMP_BOOKMARKS},
         [](TabTable* tab) { tab->BookmarkSet(3, true); }, {{3, B, "Bookmark"}}, ""},
    };
    // So many rows that the Outline looks for its lines on several threads.
    for (const int rows : {FIXTURE_ROWS, 40000}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << c.name << ", " << rows << " rows");
            TabTable* tab = OpenFixture(rows);
            QApplication::clipboard()->setText(QStringLiteral("before"));
            c.setUp(tab);
            SetConditions(tab, c.conditions);
            EXPECT_EQ(Lines(tab), c.lines);
            tab->OutlineCopyAll();
            EXPECT_EQ(QApplication::clipboard()->text().toStdString(), c.copied);
            delete tab;
        }
    }
}

// So many lines that threads make them in runs: every line comes once, in
// row order, with the flags of its record, across the runs' seams.
TEST_F(OutlineTest, ManyLinesKeepRowOrderAndFlags)
{
    constexpr int ROWS = 40000;
    constexpr int RANGE_FIRST = 15000;
    constexpr int RANGE_LAST = 15100;
    TabTable* tab = OpenFixture(ROWS);
    Pin(tab, "record 1", Qt::yellow);
    Pin(tab, "record 19", Qt::green);
    tab->SelRangeSet(RANGE_FIRST, RANGE_LAST, true, RANGE_COLOR);
    SetConditions(tab, {JUMP_HIGHLIGHT, JUMP_DATA_WARNINGS, JUMP_SELECTIONS});
    std::vector<std::pair<int, int>> expected;
    for (int row = 0; row < ROWS; ++row) {
        const bool warning = row == 5 || row == 12 || row == 30 || row == 45;
        const bool plain = !warning && row != 8 && row != 20 && row != 50 && row != 33;
        const std::string text = plain ? "record " + std::to_string(row) : std::string();
        const bool inRange = row >= RANGE_FIRST && row <= RANGE_LAST;
        int flags = row == RANGE_FIRST ? R : 0;
        if (warning)
            flags |= W;
        if (text.find("record 1") != std::string::npos)
            flags |= H | (text.find("record 19") != std::string::npos ? H2 : 0);
        if (flags && inRange)
            flags |= R;
        if (flags)
            expected.emplace_back(row, flags);
    }
    std::vector<std::pair<int, int>> shown;
    for (const OutlineLine& line : tab->OutlineTable->Lines())
        shown.emplace_back(line.row, line.flags);
    EXPECT_EQ(shown, expected);
    delete tab;
}

// Each phrase is matched once; rebuilds reuse its matches until it is
// unpinned or the filter or the rows change.
TEST_F(OutlineTest, PinnedMatchesAreKeptUntilPinsOrFilterChange)
{
    TabTable* tab = OpenFixture();
    Pin(tab, "record 1", Qt::yellow);
    auto* phrase = static_cast<PhraseMatch*>(tab->FixedHighlights[0]->expression);
    SetConditions(tab, {JUMP_HIGHLIGHT});
    // rounds: phrases matched over the rows; firstMatched: the first phrase among them.
    const struct {
        const char* name; std::function<void()> change; int rounds; bool firstMatched; size_t lines;
    } cases[] = {
        {"selection", [tab] { tab->SelRangeSet(1, 2, true, 0); }, 0, false, 10},
        {"bookmark", [tab] { tab->BookmarkSet(4, true); }, 0, false, 10},
        {"another pin", [tab] { Pin(tab, "record 3", Qt::green); }, 1, false, 18},
        {"unpinned", [tab] { tab->RemoveFixedHighlight(1, false); }, 0, false, 10},
        {"filter", [tab] { tab->FilterSelected(); }, 1, true, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const int before = phrase->matches;
        const int rounds = tab->OutlineLines.MatchRounds();
        c.change();
        tab->RefreshOutlineTable();
        EXPECT_EQ(tab->OutlineLines.MatchRounds() - rounds, c.rounds);
        EXPECT_EQ(phrase->matches > before, c.firstMatched);
        EXPECT_EQ(size_t(tab->OutlineTable->LineCount()), c.lines);
    }
    delete tab;
}

// The Delete key on the chosen lines; with ranges and bookmarks chosen
// "Choose clear" decides. The line at the same place, or the last, is
// chosen again.
TEST_F(OutlineTest, DeleteKeyClearsTheChosenLines)
{
    // uncheck: in "Choose clear", null: no dialog expected; ranges: left in the table; current: the
    // Outline line chosen afterwards.
    const struct {
        const char* name; std::initializer_list<int> lines; const char* uncheck; const char* button;
        size_t ranges; std::vector<int> bookmarks; int current;
    } cases[] = {
        {"the last line", {2}, nullptr, nullptr, 1, {3}, 1},
        {"range and bookmark, Selection unchecked", {0, 1}, "Selection", "Ok", 1, {55}, 1},
        {"range and bookmark, Bookmark unchecked", {1, 2}, "Bookmark", "Ok", 0, {3, 55}, 1},
        {"range and bookmark, cancelled", {0, 1}, "Selection", "Cancel", 1, {3, 55}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TabTable* tab = OpenFixture();
        tab->SelRangeSet(10, 14, true, RANGE_COLOR);
        tab->BookmarkSet(3, true);
        tab->BookmarkSet(55, true);
        SetConditions(tab, {JUMP_SELECTIONS, JUMP_BOOKMARKS});
        ASSERT_EQ(tab->OutlineTable->LineCount(), 3);
        // The Delete shortcut needs the Outline to hold the focus.
        QApplication::setActiveWindow(tab->OutlineTable->window());
        tab->OutlineTable->clearSelection();
        ClickLines(tab, c.lines);
        QString title;
        if (c.uncheck) {
            QTimer::singleShot(0, [&] {
                QWidget* dialog = QApplication::activeModalWidget();
                ASSERT_NE(dialog, nullptr);
                title = dialog->windowTitle();
                ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
                for (QCheckBox* box : dialog->findChildren<QCheckBox*>())
                    if (box->text() == QLatin1String(c.uncheck))
                        QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, IndicatorCentre(box));
                for (QPushButton* button : dialog->findChildren<QPushButton*>())
                    if (button->text() == QLatin1String(c.button))
                        QTest::mouseClick(button, Qt::LeftButton);
            });
        }
        QTest::keyClick(tab->OutlineTable, Qt::Key_Delete);
        EXPECT_EQ(title.toStdString(), c.uncheck ? "Choose clear" : "");
        EXPECT_EQ(tab->Table->RangeCount(), c.ranges);
        std::vector<int> bookmarks;
        for (const KxBkmarkEntry* entry = tab->Table->Bookmarks().First(); entry; entry = entry->NextEntry())
            bookmarks.push_back(entry->index);
        EXPECT_EQ(bookmarks, c.bookmarks);
        EXPECT_EQ(tab->OutlineTable->CurrentLine(), c.current);
        EXPECT_TRUE(tab->OutlineTable->selectionModel()->isRowSelected(c.current, QModelIndex()));
        delete tab;
    }
}

// A document closed while "Choose clear" is open: its Ok only closes it.
TEST_F(OutlineTest, ChooseClearOutlivesItsDocument)
{
    TabTable* tab = OpenFixture();
    ClearOutlineDialog dialog(*tab, nullptr);
    delete tab;
    for (QPushButton* button : dialog.findChildren<QPushButton*>())
        if (button->text() == QLatin1String("Ok"))
            QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

// "Filter" of the Outline: a Yes to "Remove previous filter" removes any
// filter and rebuilds the Outline over all rows first; lines inside a
// listed range (a bookmark, a warning) add nothing and are no vanished range.
TEST_F(OutlineTest, FilterByOutlineShowsTheListedRows)
{
    // filteredBefore: rows 0-9, by Filter Selected; rows: original rows shown.
    const struct { bool filteredBefore; std::initializer_list<int> conditions; std::vector<int> rows; } cases[] = {
        {true, {JUMP_BOOKMARKS}, {3, 13, 55}},
        {false, {JUMP_SELECTIONS, JUMP_BOOKMARKS}, {3, 10, 11, 12, 13, 14, 55}},
        {false, {JUMP_SELECTIONS, JUMP_BOOKMARKS, JUMP_DATA_WARNINGS}, {3, 5, 10, 11, 12, 13, 14, 30, 45, 55}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rows.size());
        TabTable* tab = OpenFixture();
        for (int row : {3, 13, 55})
            tab->BookmarkSet(row, true);
        if (c.filteredBefore) {
            tab->SelRangeSet(0, 9, true, RANGE_COLOR);
            tab->FilterSelected();
            ASSERT_EQ(tab->Table->RowCount(), 10);
            prompt.answers << QMessageBox::Yes << QMessageBox::Yes;
        } else {
            tab->SelRangeSet(10, 14, true, RANGE_COLOR);
        }
        SetConditions(tab, c.conditions);
        shell.log.clear();
        tab->SetFilterByOutline();
        std::vector<int> rows;
        for (int32_t row = 0; row < tab->Table->RowCount(); ++row)
            rows.push_back(tab->Table->OriginalIndex(row));
        EXPECT_EQ(rows, c.rows);
        for (const std::string& line : shell.log)
            EXPECT_EQ(line.find("no longer exist"), std::string::npos) << line;
        delete tab;
    }
}

// A click on a line moves the table there; a cursor move in the table
// chooses the line of its record, or of its range.
TEST_F(OutlineTest, OutlineAndCurrentRowFollowEachOther)
{
    TabTable* tab = OpenFixture();
    tab->SelRangeSet(10, 14, true, RANGE_COLOR);
    tab->BookmarkSet(12, true);
    SetConditions(tab, {JUMP_SELECTIONS, JUMP_BOOKMARKS, JUMP_DATA_WARNINGS});
    // Lines: warning 5, range 10, bookmark and warning 12, warnings 30 and 45.
    QTest::mouseClick(tab->OutlineTable->viewport(), Qt::LeftButton, Qt::NoModifier, LineRect(tab, 3, 1).center());
    EXPECT_EQ(tab->Table->CurRow(), 30);
    tab->View->setFocus();
    const struct { int row, line; } cases[] = {{5, 0}, {11, 1}, {12, 2}, {14, 1}, {20, -1}, {45, 4}}; // -1: none
    for (const auto& c : cases) {
        SCOPED_TRACE(c.row);
        tab->SetCurrentPosition(c.row);
        if (c.line >= 0) {
            EXPECT_EQ(tab->OutlineTable->CurrentLine(), c.line);
        }
        EXPECT_EQ(tab->OutlineTable->selectionModel()->selectedRows().size(), c.line >= 0 ? 1 : 0);
    }
    delete tab;
}

// The "All/None" box: a click moves it on from its state; checked switches
// every enabled condition on, unchecked off, partly checked back to the
// defaults. A disabled condition keeps its state.
TEST_F(OutlineTest, AllNoneBoxSetsTheEnabledConditions)
{
    const struct { Qt::CheckState before; std::vector<uint8_t> expected; } cases[] = { // flags after the click
        {Qt::PartiallyChecked, {1, 1, 1, 1, 1, 1}},
        {Qt::Checked, {0, 0, 0, 0, 0, 1}},
        {Qt::Unchecked, {1, 0, 1, 0, 1, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.before);
        TabTable* tab = OpenFixture();
        tab->BookmarkSet(3, true);
        SetConditions(tab, {JUMP_VIEW_ERRORS});
        // Another document left these defaults.
        std::copy_n(std::vector<uint8_t>{1, 0, 1, 0, 1, 0}.begin(), JUMP_Nums, PrefTabTable::Default().outline);
        tab->OutlineActions[JUMP_VIEW_ERRORS]->setEnabled(false);
        QCheckBox box;
        box.setTristate(true);
        box.setCheckState(c.before);
        QObject::connect(&box, &QCheckBox::clicked, tab, &TabBase::OutlineAllNone);
        box.show();
        QTest::mouseClick(&box, Qt::LeftButton, Qt::NoModifier, IndicatorCentre(&box));
        std::vector<uint8_t> flags(tab->Prefs.outline, tab->Prefs.outline + JUMP_Nums);
        EXPECT_EQ(flags, c.expected);
        for (int i = 0; i < JUMP_Nums; ++i)
            EXPECT_EQ(tab->OutlineActions[i]->isChecked(), c.expected[size_t(i)] != 0) << i;
        // The Outline follows at once.
        EXPECT_EQ(tab->OutlineTable->LineCount() > 1, c.expected[JUMP_DATA_ERRORS] != 0);
        delete tab;
    }
}

// Selected lines keep their colour under a black frame; the icon box shows
// the error icon with the bookmark over it.
TEST_F(OutlineTest, DelegatesPaintFillFrameAndIcons)
{
    TabTable* tab = OpenFixture();
    // The bookmark picture: a red block over the icon's top-left quarter.
    QImage picture(16, 16, QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    QPainter(&picture).fillRect(0, 0, 8, 8, Qt::red);
    tab->TabPixmap = QPixmap::fromImage(picture);
    tab->SelRangeSet(10, 14, true, RANGE_COLOR);
    tab->BookmarkSet(8, true);
    tab->BookmarkSet(3, true);
    SetConditions(tab, {JUMP_SELECTIONS, JUMP_BOOKMARKS, JUMP_DATA_ERRORS});
    // Lines: 3 bookmark, 8 bookmark + error, 10 range, 20 error, 50 error.
    ASSERT_EQ(tab->OutlineTable->LineCount(), 5);
    OutlineView* outline = tab->OutlineTable;
    tab->OutlineDock->raise();
    outline->resize(300, 200);
    outline->clearSelection();
    outline->selectionModel()->select(QItemSelection(outline->model()->index(1, 0), outline->model()->index(2, 1)),
                                      QItemSelectionModel::Select);
    QApplication::processEvents();
    const QImage image = Grab(outline->viewport());
    const QColor fill{QRgb(RANGE_COLOR)};
    const QRect range = LineRect(tab, 2, 1);
    auto colour = [](const QImage& grabbed, int x, int y) { return QColor(LogicalPixel(grabbed, QPoint(x, y))); };
    EXPECT_EQ(colour(image, range.center().x(), range.center().y()), fill);
    EXPECT_EQ(colour(image, range.center().x(), range.top()), QColor(Qt::black));
    EXPECT_EQ(colour(image, range.center().x(), range.bottom()), QColor(Qt::black));
    // A selected line without a colour stays on the base colour: the frame
    // alone marks it.
    const QRect uncoloured = LineRect(tab, 1, 1);
    EXPECT_EQ(colour(image, uncoloured.right() - 4, uncoloured.center().y()).rgb(),
              outline->palette().color(QPalette::Base).rgb());
    EXPECT_EQ(colour(image, uncoloured.right() - 4, uncoloured.top()), QColor(Qt::black));
    outline->clearSelection();
    QApplication::processEvents();
    const QImage plain = Grab(outline->viewport());
    EXPECT_EQ(colour(plain, range.center().x(), range.top()), fill);

    // The icon boxes, of the style's small icons: the bookmark's picture
    // lies over the error icon.
    // A large icon reaches the cell's borders, which differ from line to
    // line: only its part inside them is compared.
    const QSize icon = DecorationSize(outline);
    const QRect firstCell = LineRect(tab, 0, 0);
    const QSize shown = icon.boundedTo(QSize(19, firstCell.height() - 3));
    auto box = [&](int line) {
        const QRect cell = LineRect(tab, line, 0);
        return LogicalCopy(plain, QRect(QPoint(cell.right() - 19, cell.top() + 2), shown));
    };
    const QImage bookmark = box(0), both = box(1), error = box(3);
    const QColor ground = box(2).pixelColor(0, 0);
    const QImage scaledPicture = picture.scaled(icon);
    int pictureMarks = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            pictureMarks += qAlpha(scaledPicture.pixel(x, y)) != 0;
    int bookmarkPixels = 0;
    for (int y = 0; y < shown.height(); ++y) {
        for (int x = 0; x < shown.width(); ++x) {
            const bool marked = bookmark.pixelColor(x, y) != ground;
            bookmarkPixels += marked;
            EXPECT_EQ(both.pixelColor(x, y), (marked ? bookmark : error).pixelColor(x, y)) << x << "," << y;
        }
    }
    EXPECT_EQ(bookmarkPixels, pictureMarks);
    EXPECT_NE(both, error);
    EXPECT_NE(error, box(2));
    delete tab;
}

TEST_F(OutlineTest, BackgroundDelegateKeepsTheColourOfSelectedRows)
{
    QTableWidget table(3, 2);
    table.setItemDelegate(new BackgroundDelegate(&table));
    table.setSelectionBehavior(QAbstractItemView::SelectRows);
    const QColor base = table.palette().color(QPalette::Base);
    // The last row has no colour of its own.
    const QColor colors[] = {QColor(200, 40, 40), QColor(40, 200, 40), QColor()};
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 2; ++column) {
            table.setItem(row, column, new QTableWidgetItem(QString()));
            if (colors[row].isValid())
                table.item(row, column)->setBackground(colors[row]);
        }
    }
    table.resize(300, 200);
    table.show();
    table.setRangeSelected(QTableWidgetSelectionRange(1, 0, 2, 1), true);
    QApplication::processEvents();
    const QImage image = Grab(table.viewport());
    for (int row = 0; row < 3; ++row) { // rows 1 and 2 are selected, so framed
        SCOPED_TRACE(row);
        const QRect cell = table.visualItemRect(table.item(row, 1));
        const QColor fill = colors[row].isValid() ? colors[row] : base;
        EXPECT_EQ(LogicalPixel(image, cell.center()), fill.rgb());
        EXPECT_EQ(LogicalPixel(image, QPoint(cell.center().x(), cell.top())), (row ? QColor(Qt::black) : fill).rgb());
        if (row) {
            EXPECT_EQ(LogicalPixel(image, QPoint(cell.right(), cell.center().y())), QColor(Qt::black).rgb());
        }
    }
}

} // namespace
