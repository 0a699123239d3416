// The table tab: building the view, the current row and the rows visited,
// column widths, Time0, the function context, the functions document, the
// three context menus and column editing.
#include <algorithm>
#include <cmath>
#include <cstring>

#include <QAction>
#include <QClipboard>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableWidget>
#include <QTimer>
#include <QWindow>

#include "kxlib/kxdrecord.h"
#include "kxviewer/kxvglobals.h"
#include "kxviewer/table/columnwidths.h"
#include "kxviewer/table/dragheaderview.h"
#include "kxviewer/table/fieldsdialog.h"
#include "kxviewer/table/guihelpers.h"
#include "kxviewer/table/tabtabledelegate.h"
#include "kxviewer/table/tabtablemodel.h"
#include "rowcopyenv.h"
#include "tabletabenv.h"
#include "tests/pinnedscreen.h"
#include "tests/widgetmetrics.h"

namespace {

using tabtest::Contains;

class TabTableTest : public tabletest::TableTabTest {};

// Counts the warnings of the "TEAROFF" channel while alive.
class TearoffWarnings {
public:
    TearoffWarnings() : saved_(KxvTearoffChannel.output) { KxvTearoffChannel.output = &Count; Warnings() = 0; }
    ~TearoffWarnings() { KxvTearoffChannel.output = saved_; }
    static int& Warnings()
    {
        static int count = 0;
        return count;
    }

private:
    static int Count(ZmLib::KXEVENT* event, ZmLib::KX*)
    {
        Warnings() += event->level == ZmLib::KX_LEVEL_WARNING;
        return 0;
    }
    ZmLib::KxOutputFn saved_;
};

QList<int> Back(TabTable* tab)
{
    return tab->BackList;
}

TEST_F(TabTableTest, InitBuildsTheViewOverTheTable)
{
    TabTable* tab = OpenGenerated(100);
    ASSERT_NE(tab, nullptr);
    EXPECT_EQ(tab->View->objectName(), tab->objectName().replace("LRTabBase", "TabView"));
    EXPECT_TRUE(tab->View->objectName().startsWith("TabView"));
    EXPECT_EQ(tab->centralWidget(), tab->View);
    EXPECT_EQ(tab->View->selectionMode(), QAbstractItemView::NoSelection);
    EXPECT_EQ(tab->Model->rowCount(), 100);
    EXPECT_EQ(tab->Model->columnCount(), 7);
    EXPECT_EQ(tab->View->horizontalHeader()->objectName(), "LRHorizontalHeader");
    QHeaderView* rows = tab->View->verticalHeader();
    EXPECT_EQ(rows->objectName(), "LRVerticalHeader");
    // The usual row height, unless a font's lines need more.
    EXPECT_EQ(rows->defaultSectionSize(), std::max({TabTable::ROW_HEIGHT, QFontMetrics(tab->View->font()).lineSpacing() + 1,
                                                    QFontMetrics(rows->font()).lineSpacing() + 1}));
    EXPECT_EQ(rows->sectionResizeMode(0), QHeaderView::Fixed);
    // Three digits of rows still take the room of five.
    EXPECT_EQ(rows->width(), CharactersWidth(rows->font(), 5) + 60);
    EXPECT_EQ(tab->RowHeaderColumn, 0);
    EXPECT_EQ(tab->Table->CurRow(), 0);
}

TEST_F(TabTableTest, GoingPastTheEndLandsOnTheLastRow)
{
    TabTable* tab = OpenGenerated(100);
    ASSERT_NE(tab, nullptr);
    // The counters show the rows as soon as the tab is built.
    ASSERT_NE(tab->CountersLabel, nullptr);
    EXPECT_EQ(tab->CountersLabel->text(), "<b>100 Rows</b>  ");
    tab->SetCurrentPosition(9999);
    EXPECT_EQ(tab->Table->CurRow(), 99);
    EXPECT_EQ(tab->View->currentIndex().row(), 99);
    ASSERT_NE(tab->GoToEdit, nullptr);
    EXPECT_EQ(tab->GoToEdit->text(), "100");
    tab->SetCurrentPosition(-3);
    EXPECT_EQ(tab->Table->CurRow(), 99);
    tab->JumpToHome();
    EXPECT_EQ(tab->Table->CurRow(), 0);
    tab->JumpToEnd();
    EXPECT_EQ(tab->Table->CurRow(), 99);
}

TEST_F(TabTableTest, BackListKeepsTenDistinctRowsNewestLast)
{
    TabTable* tab = OpenGenerated(100);
    ASSERT_NE(tab, nullptr);
    tab->BackList.clear();
    tab->SetCurrentPosition(5);
    tab->SetCurrentPosition(9);
    tab->SetCurrentPosition(5);
    EXPECT_EQ(Back(tab), (QList<int>{9, 5}));
    tab->JumpBack();
    EXPECT_EQ(tab->Table->CurRow(), 9);
    EXPECT_EQ(Back(tab), (QList<int>{9}));
    tab->JumpBack();
    EXPECT_TRUE(Back(tab).isEmpty());
    tab->JumpBack();

    for (int row = 10; row <= 20; ++row)
        tab->SetCurrentPosition(row);
    EXPECT_EQ(Back(tab), (QList<int>{11, 12, 13, 14, 15, 16, 17, 18, 19, 20}));
}

TEST_F(TabTableTest, ColumnWidthsFollowTheCharacterTable)
{
    TabTable* tab = OpenGenerated(20);
    ASSERT_NE(tab, nullptr);
    const QFont& font = tab->View->font();
    const bool relative = tab->Table->TimeNormalised();
    // Every column but LEVEL holds its title and values in its characters.
    for (int c = 0; c < tab->Prefs.columnCount; ++c)
        if (tab->Prefs.columns[c] != FIELD_LEVEL) {
            EXPECT_EQ(tab->View->columnWidth(c),
                      std::max(CharactersWidth(font, ColumnChars(tab->Prefs.columns[c], relative)),
                               TabTable::MIN_COLUMN_WIDTH))
                << "column " << c;
        }
    // LEVEL is 3 characters, never narrower than 40 pixels, and as wide as
    // its title "Level" with the cell's margins.
    ASSERT_EQ(tab->Prefs.columns[4], FIELD_LEVEL);
    const int title = int(std::ceil(QFontMetricsF(tab->View->horizontalHeader()->font()).horizontalAdvance("Level")));
    EXPECT_EQ(tab->View->columnWidth(4),
              std::max({CharactersWidth(font, 3), 40, title + 2 * TabTableDelegate::TEXT_MARGIN}));

    tab->View->setColumnWidth(0, 5);
    tab->UpdateTimeColumnWidth();
    EXPECT_EQ(tab->View->columnWidth(0), std::max(CharactersWidth(font, ColumnChars(FIELD_TIME, relative)), 40));
}

TEST_F(TabTableTest, AFixedFontTextOneCharacterShorterThanItsColumnFitsWhole)
{
    // Such a font's advance is fractional (8.4 pixels at 10 points here):
    // "systemd[956]" must fit the 13 characters of KX Name with the margins.
    // Full hinting rounds it to whole pixels, here up (10 for 9.6 at 12
    // points), and the columns widen with it.
    const struct {
        int points;
        QFont::HintingPreference hinting;
    } cases[] = {{10, QFont::PreferDefaultHinting}, {10, QFont::PreferFullHinting}, {12, QFont::PreferFullHinting}};
    for (const auto& f : cases) {
        SCOPED_TRACE(std::to_string(f.points) + " points, hinting " + std::to_string(f.hinting));
        QFont font(QStringLiteral("DejaVu Sans Mono"), f.points);
        font.setHintingPreference(f.hinting);
        PrefGlobal::Fonts[FONT_TABLE_VIEW] = font;
        ASSERT_TRUE(FontInstalled(PrefGlobal::Fonts[FONT_TABLE_VIEW].family()));
        TabTable* tab = OpenGenerated(20);
        ASSERT_NE(tab, nullptr);
        ASSERT_EQ(tab->View->font().hintingPreference(), f.hinting);
        const QFontMetricsF metrics(tab->View->font());
        ASSERT_TRUE(QFontInfo(tab->View->font()).fixedPitch());
        for (int c = 0; c < tab->Prefs.columnCount; ++c) {
            const int chars = ColumnChars(tab->Prefs.columns[c], tab->Table->TimeNormalised());
            EXPECT_LE(metrics.horizontalAdvance(QString(chars - 1, 'W')) + 2 * TabTableDelegate::TEXT_MARGIN,
                      tab->View->columnWidth(c))
                << "column " << c;
        }
        delete tab;
    }
}

class TableFonts : public rowcopytest::RowCopyTest {};

// Rows and columns follow the table font: a row is as tall as the font's
// lines, every column holds its title and the values on screen whole (a
// dated Time in the relative column of 18 characters and the absolute one
// of 30 included), and a font set while the document is open, as the
// Preferences set it, lays the view out again.
TEST_F(TableFonts, RowsAndColumnsFitTheTableFont)
{
    const struct {
        int points;
        bool relative;
        bool setWhileOpen;
    } cases[] = {{10, true, false}, {10, false, false}, {14, true, false},
                 {14, false, true}, {14, true, true},   {8, true, true}};
    const std::vector<int32_t> fields{FIELD_TIME, FIELD_SEQ, FIELD_LEVEL, FIELD_KXNAME, FIELD_TEXT};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.points) + (c.relative ? " points, relative" : " points, absolute") +
                     (c.setWhileOpen ? ", set while open" : ""));
        const QFont font(QStringLiteral("DejaVu Sans Mono"), c.points);
        PrefGlobal::Fonts[FONT_TABLE_VIEW] = c.setWhileOpen ? QFont(QStringLiteral("DejaVu Sans Mono"), 10) : font;
        PrefTabTable prefs = PrefTabTable::Default();
        SetColumns(prefs, {FIELD_TIME, FIELD_SEQ, FIELD_LEVEL, FIELD_KXNAME, FIELD_TEXT});
        TabTable* tab = OpenDated(c.relative, prefs);
        if (c.setWhileOpen)
            tab->View->setFont(font);
        ASSERT_EQ(tab->View->font().pointSize(), c.points);
        const QFontMetricsF cells(font);
        QHeaderView* rows = tab->View->verticalHeader();
        EXPECT_GE(rows->defaultSectionSize(), QFontMetrics(font).lineSpacing() + 1);
        EXPECT_GE(rows->defaultSectionSize(), TabTable::ROW_HEIGHT);
        EXPECT_EQ(tab->View->rowHeight(2), rows->defaultSectionSize());
        EXPECT_EQ(tab->View->rowViewportPosition(2), 2 * rows->defaultSectionSize());
        const QFontMetricsF titles(tab->View->horizontalHeader()->font());
        for (int column = 0; column < int(fields.size()); ++column) {
            const int32_t field = fields[size_t(column)];
            const int width = tab->View->columnWidth(column);
            const int margins = 2 * TabTableDelegate::TEXT_MARGIN;
            EXPECT_GE(width, CharactersWidth(font, ColumnChars(field, c.relative))) << FieldKey(field);
            EXPECT_GE(width, titles.horizontalAdvance(FieldTitle(field)) + margins) << FieldKey(field);
            for (int32_t row = 0; row < 3 && field != FIELD_TEXT; ++row) {
                const QString value = QString::fromLatin1(tab->Table->GetRecord(row)->Text(field));
                EXPECT_GE(width, cells.horizontalAdvance(value) + margins) << FieldKey(field) << " " << value.toStdString();
            }
        }
        EXPECT_TRUE(QString::fromLatin1(tab->Table->GetRecord(0)->Text(FIELD_TIME)).startsWith("2024-12-0"));
        delete tab;
    }
}

// The row numbers stand in the line-number font the Preferences set, on a
// document opened before or after the choice, and whole beside the row
// marks however large: the header widens with the digits' own width, and
// keeps the usual width for the usual font.
TEST_F(TabTableTest, RowNumbersFitTheLineNumberFont)
{
    const QFont saved = PrefGlobal::Fonts[FONT_LINE_NUMBERS];
    const struct { int points, rows; bool chosenFirst; const char* widest; } cases[] = {
        {8, 100, true, "88888"},     {16, 100, false, "88888"},   {16, 100, true, "88888"},
        {24, 100, false, "88888"},   {16, 12000, true, "88888"},  {16, 123456, false, "888888"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.points) + " points, " + std::to_string(c.rows) + " rows" +
                     (c.chosenFirst ? ", chosen before opening" : ", chosen while open"));
        const QFont font(QStringLiteral("DejaVu Sans"), c.points);
        PrefGlobal::Fonts[FONT_LINE_NUMBERS] = c.chosenFirst ? font : saved;
        TabTable* tab = OpenGenerated(c.rows);
        ASSERT_NE(tab, nullptr);
        QHeaderView* rows = tab->View->verticalHeader();
        if (!c.chosenFirst)
            rows->setFont(font);
        EXPECT_EQ(rows->font().pointSize(), c.points);
        const QFontMetrics metrics(font);
        EXPECT_GE(rows->defaultSectionSize(), metrics.lineSpacing());
        EXPECT_GE(DragHeaderView::NumberWidth(rows->width()), metrics.horizontalAdvance(QLatin1String(c.widest)));
        EXPECT_GE(rows->width(), CharactersWidth(font, int(std::strlen(c.widest))) + 60);
        if (c.points == 8) {
            EXPECT_EQ(rows->width(), CharactersWidth(font, 5) + 60);
        }
        delete tab;
    }
    PrefGlobal::Fonts[FONT_LINE_NUMBERS] = saved;
}

TEST_F(TabTableTest, TimeZeroFromTheMainMenuUsesTheCurrentRow)
{
    TabTable* tab = OpenGenerated(30);
    ASSERT_NE(tab, nullptr);
    ASSERT_TRUE(tab->Table->TimeNormalised());
    tab->SetCurrentPosition(12);
    tab->PrefTime0Here();
    EXPECT_EQ(tab->Table->Prefs().Time0Index, 12);
    EXPECT_EQ(tab->Table->GetRecord(12)->prot.msg.TIME, 0u);

    // A cell menu that was opened and closed leaves no context row behind.
    QTimer::singleShot(0, [] {
        if (QWidget* menu = QApplication::activePopupWidget())
            menu->close();
    });
    tab->customMenuRequested(CellCentre(tab, 3, 2));
    EXPECT_FALSE(tab->ContextCell.isValid());
    tab->SetCurrentPosition(20);
    tab->PrefTime0Here();
    EXPECT_EQ(tab->Table->Prefs().Time0Index, 20);

    tab->Table->NormalizeTimeOff();
    shell.Clear();
    tab->PrefTime0Here();
    EXPECT_TRUE(Contains(shell.info, "To enable this feature you should switch time to relative mode"));
}

// A row without a time stands at the document's start: time 0 set on it
// is set on the first row with a time, and such rows keep showing 0.
TEST_F(TabTableTest, TimeZeroOnARowWithoutATimeStaysOnTheStart)
{
    constexpr uint64_t T = 1733572800237000;
    std::vector<RawRecord> records;
    for (uint64_t time : {uint64_t(0), T, uint64_t(0), T + 500}) {
        records.push_back(Record("r"));
        records.back().time = time;
    }
    TabTable* tab = OpenRecords(records);
    ASSERT_TRUE(tab->Table->TimeNormalised());
    for (int32_t row : {3, 2, 0}) {
        SCOPED_TRACE(row);
        tab->SetCurrentPosition(row);
        tab->PrefTime0Here();
        EXPECT_EQ(tab->Table->Prefs().Time0Index, row == 3 ? 3 : 1);
        EXPECT_EQ(tab->Table->Prefs().Time0, row == 3 ? T + 500 : T);
        EXPECT_STREQ(tab->Table->GetRecord(0)->Text(FIELD_TIME), "0:00:00.000000");
        EXPECT_STREQ(tab->Table->GetRecord(2)->Text(FIELD_TIME), "0:00:00.000000");
    }
    EXPECT_STREQ(tab->Table->GetRecord(3)->Text(FIELD_TIME), "0:00:00.000500");
    delete tab;
}

TEST_F(TabTableTest, FunctionContextSelectsTheEnclosingCallOfTheSameThread)
{
    const uint32_t enter = KXFLAGS_FUNC_ENTER;
    const uint32_t leave = KXFLAGS_FUNC_LEAVE;
    TabTable* tab = OpenRecords({
        Record("before", 7),             // 0
        Record("outer", 7, enter, "f"),  // 1
        Record("inner", 7, enter, "g"),  // 2
        Record("other thread", 8),       // 3
        Record("in g", 7),               // 4
        Record("g done", 7, leave, "g"), // 5
        Record("f done", 7, leave, "f"), // 6
        Record("after", 7),              // 7
    });
    ASSERT_NE(tab, nullptr);
    shell.Clear();
    tab->SetCurrentPosition(0);
    tab->SelectByFuncContext();
    EXPECT_TRUE(Contains(shell.info, "No embracing functions context found"));

    const int64_t nest = tab->Table->GetRecord(4)->Int64(FIELD_NEST);
    ASSERT_GE(nest, 1);
    tab->SetCurrentPosition(4);
    tab->SelectByFuncContext();
    auto selected = [&](int row) { return tab->Table->GetRecord(row)->selRange != nullptr; };
    EXPECT_TRUE(selected(2));
    EXPECT_TRUE(selected(5));
    EXPECT_FALSE(selected(3)) << "another thread's record";
    EXPECT_FALSE(selected(0));
    EXPECT_FALSE(selected(7));
    EXPECT_EQ(tab->Table->GetRecord(2)->selRange->tag, tab->Prefs.ColorSelect);
}

TEST_F(TabTableTest, ColorizeNumberOfAnUnknownRecordIsMinusOneWithOneWarning)
{
    TabTable* tab = OpenGenerated(20);
    ASSERT_NE(tab, nullptr);
    KxdRecord* record = tab->Table->GetRecord(5);
    const KxAuxNode1* node = tab->Table->AuxTree().FindNode(record);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(tab->GetColorizeColorNum(record), node->index);

    // The tree forgets every node: painting goes on in white.
    tab->Table->AuxTree().Reset(tab->Table->AuxTree().Level1(), tab->Table->AuxTree().Level2());
    TearoffWarnings warnings;
    EXPECT_EQ(tab->GetColorizeColorNum(record), -1);
    EXPECT_EQ(tab->GetColorizeColorNum(record), -1);
    tab->Prefs.Colorize = 1;
    const QImage image = Grab(tab->View->viewport());
    EXPECT_EQ(TearoffWarnings::Warnings(), 1);
    EXPECT_EQ(LogicalPixel(image, CellCorner(tab, 5, 3)) & 0xFFFFFF, 0xFFFFFFu);
}

TEST_F(TabTableTest, FunctionsDocumentShowsItsSixColumns)
{
    TabTable* tab = OpenGenerated(200);
    ASSERT_NE(tab, nullptr);
    const int docks = main->Docks.size();
    shell.Clear();
    tab->CreateFuncsDoc();
    ASSERT_EQ(main->Docks.size(), docks + 1);
    auto* funcs = qobject_cast<TabTable*>(main->Docks.last());
    ASSERT_NE(funcs, nullptr);
    EXPECT_EQ(funcs->SourceType, TabBase::SOURCE_BUILT);
    EXPECT_NE(funcs->FuncsDocument, 0);
    EXPECT_EQ(std::vector<int32_t>(funcs->Prefs.columns, funcs->Prefs.columns + funcs->Prefs.columnCount),
              (std::vector<int32_t>{FIELD_TIME, FIELD_ETIME, FIELD_PNAME, FIELD_TNAME, FIELD_TEXT, FIELD_COUNT}));
    EXPECT_EQ(funcs->Model->columnCount(), 6);
    EXPECT_GT(funcs->Table->RowCount(), 0);
    const std::string text = "Functions document \"" + std::string(funcs->Table->Name()) +
                             "\" opened: " + std::to_string(funcs->Table->RowCount()) + " rows";
    EXPECT_TRUE(Contains(shell.log, text));
    EXPECT_TRUE(Contains(shell.status, text));
}

TEST_F(TabTableTest, FindExpressionByFieldKind)
{
    EXPECT_EQ(TabTable::FindExpression(FIELD_LINE, "42"), "LINE==42");
    EXPECT_EQ(TabTable::FindExpression(FIELD_TID, "1234"), "TID==1234");
    EXPECT_EQ(TabTable::FindExpression(FIELD_TEXT, " timeout "), "TEXT~'timeout'");
    EXPECT_EQ(TabTable::FindExpression(FIELD_Nums, "x"), "INCORRECT VALUE==x");
    EXPECT_EQ(TabTable::FindExpression(-1, "x"), "None~'x'");
}

TEST_F(TabTableTest, FindWordIsTheWordUnderThePointer)
{
    TabTable* tab = OpenRecords({Record("alpha beta gamma")});
    ASSERT_NE(tab, nullptr);
    const QFontMetrics metrics(PrefGlobal::Fonts[FONT_TABLE_VIEW]);
    const int left = tab->View->columnViewportPosition(6);
    const QString text = "alpha beta gamma";
    EXPECT_EQ(tab->FindTextAt(text, FIELD_TEXT, 6, left + 1, 0), "alpha");
    EXPECT_EQ(tab->FindTextAt(text, FIELD_TEXT, 6, left + metrics.horizontalAdvance("alpha be"), 0), "beta");
    EXPECT_EQ(tab->FindTextAt(text, FIELD_TEXT, 6, left + metrics.horizontalAdvance("alpha beta gam"), 0), "gamma");
    // Other fields and single words give the whole text.
    EXPECT_EQ(tab->FindTextAt(text, FIELD_KXNAME, 5, left + 1, 0), text);
    EXPECT_EQ(tab->FindTextAt("single", FIELD_TEXT, 6, left + 1, 0), "single");
    // Indented by nesting: the words sit further right.
    const QString indented = tab->FindTextAt("x", FIELD_TEXT, 6, left, 2);
    EXPECT_TRUE(indented.startsWith("       x")) << indented.toStdString();
    EXPECT_EQ(indented.size(), 90);
}

QList<QAction*> Entries(QMenu& menu)
{
    QList<QAction*> entries;
    for (QAction* action : menu.actions())
        if (!action->isSeparator())
            entries.append(action);
    return entries;
}

TEST_F(TabTableTest, HeaderMenusHoldTheirOneEntry)
{
    TabTable* tab = OpenGenerated(10);
    ASSERT_NE(tab, nullptr);
    QMenu columns;
    tab->FillColumnMenu(&columns);
    ASSERT_EQ(Entries(columns).size(), 1);
    EXPECT_EQ(Entries(columns)[0]->text(), "Edit columns");
    QMenu rows;
    tab->FillRowMenu(&rows);
    EXPECT_EQ(Entries(rows), (QList<QAction*>{tab->Actions[TACT_SHOW_PRES_ERRORS]}));
}

// A right click opens each of the three menus where the pointer is: the
// headers' points are their own, not the cells'.
TEST_F(TabTableTest, ContextMenusOpenAtThePointer)
{
    TabTable* tab = OpenGenerated(10);
    ASSERT_NE(tab, nullptr);
    const struct {
        const char* name;
        QWidget* area;
        QPoint at;
    } cases[] = {
        {"column header", tab->View->horizontalHeader()->viewport(), QPoint(30, 6)},
        {"row header", tab->View->verticalHeader()->viewport(), QPoint(12, 40)},
        {"cell", tab->View->viewport(), CellCorner(tab, 1, 1)},
    };
    QWindow* window = tab->window()->windowHandle();
    ASSERT_NE(window, nullptr);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QRect shown;
        QTimer::singleShot(0, [&shown] {
            if (QWidget* menu = QApplication::activePopupWidget()) {
                shown = menu->geometry();
                menu->close();
            }
        });
        const QPoint inWindow = c.area->mapTo(tab->window(), c.at);
        QTest::mouseClick(window, Qt::RightButton, Qt::NoModifier, inWindow);
        const QPoint pointer = c.area->mapToGlobal(c.at);
        ASSERT_TRUE(shown.isValid());
        // A menu too large for the screen's room beyond the pointer is
        // moved back onto the screen, still touching the pointer.
        const QRect screen = window->screen()->availableGeometry();
        if (screen.contains(QRect(pointer, shown.size()))) {
            EXPECT_EQ(shown.topLeft(), pointer);
        } else {
            EXPECT_TRUE(screen.contains(shown)) << shown.x() << "," << shown.y();
            EXPECT_TRUE(shown.adjusted(-1, -1, 1, 1).contains(pointer)) << shown.x() << "," << shown.y();
        }
    }
}

TEST_F(TabTableTest, CellMenuOffersTheCellAndItsFindExpression)
{
    PrefTabTable prefs = PrefTabTable::Default();
    SetColumns(prefs, {FIELD_LINE, FIELD_TEXT});
    RawRecord raw = Record("alpha beta gamma");
    auto* table = new KxTable(nullptr, "lines", PrefKxTable::Default());
    ZmLib::KxdProt prot = raw.Build();
    prot.SetIntValue(FIELD_LINE, 42);
    table->AppendRecord(prot);
    TabTable* tab = Show(table, prefs, TabBase::SOURCE_BUILT);
    tab->Table->SelRangeSet(0, 0, true, 0x123456);
    tab->Table->NormalizeTimeOn(0);
    // No rows were copied: the action states say so.
    tab->Actions[TACT_ROWS_PASTE]->setEnabled(false);
    tab->Actions[TabTable::ACTION_RELATIVE_TIME]->setCheckable(true);

    QMenu menu;
    tab->FillCellMenu(&menu, CellCentre(tab, 0, 0));
    EXPECT_EQ(tab->ContextCell.row(), 0);
    QAction** a = tab->Actions;
    using T = TabTable;
    EXPECT_EQ(Entries(menu),
              (QList<QAction*>{a[TACT_ROWS_COPY], a[T::ACTION_COPY_CELL], a[TACT_ROWS_DELETE], a[T::ACTION_TIME0_HERE],
                               a[T::ACTION_FUNC_CONTEXT], a[T::ACTION_CUSTOM_FIND], a[T::ACTION_LOAD_TO_FIND],
                               a[T::ACTION_REPLACE_SEL_COLOR], a[T::ACTION_RELATIVE_TIME], a[T::ACTION_INSERT_FUNC],
                               a[T::ACTION_INDENT_TEXT]}));
    EXPECT_EQ(a[T::ACTION_COPY_CELL]->text(), "Copy cell: 42");
    EXPECT_EQ(a[T::ACTION_COPY_CELL]->data().toString(), "42");
    EXPECT_EQ(a[T::ACTION_CUSTOM_FIND]->text(), "Find: LINE==42");
    EXPECT_EQ(a[T::ACTION_CUSTOM_FIND]->data().toString(), "LINE==42");
    EXPECT_TRUE(a[T::ACTION_RELATIVE_TIME]->isChecked());
    ASSERT_EQ(tab->OutlineRanges.size(), 1u);
    EXPECT_EQ(tab->OutlineRanges[0].first, 0);
    EXPECT_EQ(tab->OutlineRanges[0].last, 0);

    const QFontMetrics metrics(PrefGlobal::Fonts[FONT_TABLE_VIEW]);
    QPoint onBeta = CellCentre(tab, 0, 1);
    onBeta.setX(tab->View->columnViewportPosition(1) + metrics.horizontalAdvance("alpha be"));
    QMenu text;
    tab->FillCellMenu(&text, onBeta);
    EXPECT_EQ(a[T::ACTION_CUSTOM_FIND]->data().toString(), "TEXT~'beta'");
    EXPECT_EQ(a[T::ACTION_COPY_CELL]->text(), "Copy cell: alpha beta gamma");

    // Copy Cell takes the cell's text once.
    tab->CopyOneCell();
    EXPECT_EQ(QApplication::clipboard()->text(), "alpha beta gamma");
    EXPECT_FALSE(a[T::ACTION_COPY_CELL]->data().isValid());
    EXPECT_TRUE(Contains(shell.status, "Data saved in clipboard"));
}

TEST_F(TabTableTest, CellMenuOfAnEmptyTableHoldsOnlyTheViewToggles)
{
    TabTable* tab = Show(new KxTable(nullptr, "empty", PrefKxTable::Default()), PrefTabTable::Default(),
                         TabBase::SOURCE_BUILT);
    QAction** a = tab->Actions;
    a[TACT_ROWS_PASTE]->setEnabled(false);
    QMenu menu;
    tab->FillCellMenu(&menu, QPoint(10, 10));
    EXPECT_EQ(Entries(menu), (QList<QAction*>{a[TabTable::ACTION_RELATIVE_TIME], a[TabTable::ACTION_INSERT_FUNC],
                                              a[TabTable::ACTION_INDENT_TEXT]}));
    EXPECT_FALSE(tab->ContextCell.isValid());

    // With rows to paste (an editable table without a filter).
    a[TACT_ROWS_PASTE]->setEnabled(true);
    QMenu paste;
    tab->FillCellMenu(&paste, QPoint(10, 10));
    EXPECT_EQ(Entries(paste), (QList<QAction*>{a[TACT_ROWS_PASTE], a[TACT_ROWS_PASTE_TO_END],
                                               a[TabTable::ACTION_RELATIVE_TIME], a[TabTable::ACTION_INSERT_FUNC],
                                               a[TabTable::ACTION_INDENT_TEXT]}));
}

// Answers the column chooser with a fixed result.
class ChooserAnswer : public ScriptedPrompt {
public:
    int Exec(QDialog* dialog) override
    {
        shown = qobject_cast<FieldsDialog*>(dialog) != nullptr;
        return result;
    }
    int result = 0;
    bool shown = false;
};

TEST_F(TabTableTest, EditColumnsRefreshesDataOnlyWhenFormatsChanged)
{
    ChooserAnswer chooser;
    PromptGuard answer(&chooser);
    TabTable* tab = OpenGenerated(20);
    ASSERT_NE(tab, nullptr);
    const std::string refreshing =
        "Document \"" + std::string(tab->Table->Name()) + "\": refreshing data due to format change";

    TabTableModel* model = tab->Model;
    tab->onEditColumns();
    EXPECT_TRUE(chooser.shown);
    EXPECT_EQ(tab->Model, model) << "nothing changed";

    chooser.result = FieldsDialog::COLUMNS_CHANGED;
    tab->Prefs.columnCount = 3;
    tab->onEditColumns();
    EXPECT_NE(tab->Model, model);
    EXPECT_EQ(tab->Model->columnCount(), 3);
    EXPECT_FALSE(Contains(shell.log, refreshing));

    chooser.result = FieldsDialog::FORMATS_CHANGED;
    tab->onEditColumns();
    EXPECT_TRUE(Contains(shell.log, refreshing));
    EXPECT_TRUE(Contains(shell.status, refreshing));
}

// Answers the column chooser as a user does: Space unchecks the current
// column, then a click on "Ok".
class ChooserClicksOk : public ScriptedPrompt {
public:
    int Exec(QDialog* dialog) override
    {
        dialog->show();
        QTest::keyClick(dialog->findChild<QTableWidget*>(), Qt::Key_Space);
        for (QPushButton* button : dialog->findChildren<QPushButton*>())
            if (button->text() == QLatin1String("Ok"))
                QTest::mouseClick(button, Qt::LeftButton);
        return dialog->result();
    }
};

// New columns keep the current row (here the last), its marker and the view
// on it.
TEST_F(TabTableTest, EditColumnsKeepsTheCurrentRowShown)
{
    ChooserClicksOk chooser;
    PromptGuard answer(&chooser);
    TabTable* tab = OpenGenerated(300);
    ASSERT_NE(tab, nullptr);
    tab->GoToEdit->selectAll();
    QTest::keyClicks(tab->GoToEdit, QStringLiteral("300"));
    ASSERT_EQ(tab->Table->CurRow(), 299);
    tab->onEditColumns();
    // The focus comes back to the view as the dialog closes.
    QApplication::setActiveWindow(main.get());
    tab->View->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(tab->Table->CurRow(), 299);
    EXPECT_EQ(tab->View->currentIndex().row(), 299);
    EXPECT_EQ(tab->GoToEdit->text(), "300");
    const QRect shown = tab->View->visualRect(tab->Model->index(299, 0));
    EXPECT_TRUE(tab->View->viewport()->rect().intersects(shown));
}

TEST_F(TabTableTest, ColorizeNeedsAnInfoTree)
{
    TabTable* tab = OpenGenerated(20);
    ASSERT_NE(tab, nullptr);
    tab->PrefColorize();
    EXPECT_EQ(tab->Prefs.Colorize, 1);
    tab->PrefColorize();
    EXPECT_EQ(tab->Prefs.Colorize, 0);

    tab->Table->AuxTree().Reset(-1, -1);
    shell.Clear();
    tab->PrefColorize();
    EXPECT_EQ(tab->Prefs.Colorize, 0);
    EXPECT_TRUE(Contains(shell.info, "Colorize do not work without Info trees"));
}

TEST_F(TabTableTest, PasteToEndAppendsTheCopiedRows)
{
    TabTable* source = OpenGenerated(30, "source.kx");
    TabTable* target = OpenRecords({Record("mine")});
    ASSERT_NE(source, nullptr);
    source->Table->SelRangeSet(3, 6, true, 0xFF);
    source->RowsCopy();
    shell.Clear();
    target->RowsPasteToBottom();
    EXPECT_EQ(target->Table->RowCount(), 5);
    EXPECT_STREQ(target->Table->GetRecord(0)->Text(FIELD_TEXT), "mine");
    EXPECT_TRUE(Contains(shell.log, "Document \"memory\" : 4 records added"));

    source->RowsCopyAll();
    target->RowsPasteToBottom();
    EXPECT_EQ(target->Table->RowCount(), 35);
    EXPECT_EQ(target->Model->rowCount(), 35);
    EXPECT_TRUE(Contains(shell.status, "Document \"memory\" : 30 records added"));

    shell.Clear();
    source->RowsPasteToBottom();
    EXPECT_EQ(source->Table->RowCount(), 30);
    EXPECT_TRUE(Contains(shell.info, "Cannot paste to oneself. Please paste to other document."));
    KxvGlobals::CopyInformation.Clear();
}

TEST_F(TabTableTest, SelectAllAndClearCountTheRows)
{
    TabTable* tab = OpenGenerated(25);
    ASSERT_NE(tab, nullptr);
    tab->SelectAll();
    EXPECT_EQ(tab->Table->NumSelected, 25u);
    EXPECT_EQ(tab->Selected, 25);
    tab->ClearSelection();
    EXPECT_EQ(tab->Table->NumSelected, 0u);
    EXPECT_EQ(tab->Selected, 0);
}

} // namespace
