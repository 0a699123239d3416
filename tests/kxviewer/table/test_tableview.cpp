// The table view: the model's texts and titles, the delegate's painting
// (selection, grid, nesting indent, highlights), the row header's marks,
// the scroll bar's marks and the selection gestures of keys and mouse.
#include <QAction>
#include <QLabel>
#include <QPaintEngine>
#include <QPainter>
#include <QScrollBar>
#include <QStringList>

#include "kxlib/kxdrecord.h"
#include "kxlib/table/kxsearchexpr.h"
#include "kxviewer/table/dragheaderview.h"
#include "kxviewer/table/scrollbar.h"
#include "kxviewer/table/tabtabledelegate.h"
#include "kxviewer/table/tabtablelook.h"
#include "kxviewer/table/tabtablemodel.h"
#include "tabletabenv.h"
#include "tests/widgetmetrics.h"

namespace {

using tabtest::Contains;

class TableViewTest : public tabletest::TableTabTest {
protected:
    static bool IsSelected(TabTable* tab, int row) { return tab->Table->GetRecord(row)->selRange != nullptr; }
    static std::vector<int> SelectedRows(TabTable* tab)
    {
        std::vector<int> rows;
        for (int r = 0; r < tab->Table->RowCount(); ++r)
            if (IsSelected(tab, r))
                rows.push_back(r);
        return rows;
    }
    static void Key(TabTable* tab, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(tab->View, key, modifiers);
        QApplication::processEvents();
    }
    static void Click(TabTable* tab, int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::mouseClick(tab->View->viewport(), Qt::LeftButton, modifiers, CellCentre(tab, row, 1));
    }
    // A colour channel close to the expected one (antialiasing, blending).
    static bool Near(QRgb pixel, QRgb expected, int slack = 3)
    {
        return std::abs(qRed(pixel) - qRed(expected)) <= slack && std::abs(qGreen(pixel) - qGreen(expected)) <= slack &&
               std::abs(qBlue(pixel) - qBlue(expected)) <= slack;
    }
    // The grid colour over white.
    static QRgb GridOnWhite()
    {
        const QRgb grid = TabTableLook::GridLine;
        const int a = qAlpha(grid);
        auto mix = [&](int c) { return (c * a + 255 * (255 - a)) / 255; };
        return qRgb(mix(qRed(grid)), mix(qGreen(grid)), mix(qBlue(grid)));
    }
    // An opaque pixel of a pixmap: its position and colour.
    static bool OpaquePixel(const QPixmap& pixmap, QPoint* at, QRgb* color)
    {
        const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qAlpha(image.pixel(x, y)) == 255 && (image.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF) {
                    *at = QPoint(x, y);
                    *color = image.pixel(x, y);
                    return true;
                }
        return false;
    }
};

// Matches every record and reports a fixed text in one field.
class FixedMatch : public KxSearchExpression {
public:
    FixedMatch(int32_t field, const char* text) : field_(field), text_(text) { mode = SEARCH_MODE_SIMPLE; }
    bool Construct(const char*, bool, bool) override { return true; }
    int Parse() override { return 0; }
    bool Match(KxdRecord*) override
    {
        matchSlots[field_] = SearchMatchSlot{SEARCH_SLOT_SUBSTRING, text_, 1};
        return true;
    }
    bool Holds(const KxdRecord&) const override { return true; }

private:
    int32_t field_;
    const char* text_;
};

// A paint device that keeps the texts drawn on it, in order.
class TextRecorder : public QPaintDevice {
public:
    explicit TextRecorder(const QWidget* like) : like_(like) { engine_.texts = &texts; }
    QPaintEngine* paintEngine() const override { return &engine_; }

    QStringList texts;

protected:
    // The measures of the widget drawn, at one device pixel per pixel.
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmWidth:
            return like_->width();
        case PdmHeight:
            return like_->height();
        case PdmWidthMM:
            return like_->widthMM();
        case PdmHeightMM:
            return like_->heightMM();
        case PdmNumColors:
            return like_->colorCount();
        case PdmDepth:
            return like_->depth();
        case PdmDpiX:
            return like_->logicalDpiX();
        case PdmDpiY:
            return like_->logicalDpiY();
        case PdmPhysicalDpiX:
            return like_->physicalDpiX();
        case PdmPhysicalDpiY:
            return like_->physicalDpiY();
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(devicePixelRatioFScale());
        }
        return 0;
    }

private:
    class Engine : public QPaintEngine {
    public:
        Engine() : QPaintEngine(AllFeatures) {}
        bool begin(QPaintDevice*) override { return true; }
        bool end() override { return true; }
        void updateState(const QPaintEngineState&) override {}
        void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
        void drawPath(const QPainterPath&) override {}
        void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
        void drawTextItem(const QPointF&, const QTextItem& item) override { texts->append(item.text()); }
        Type type() const override { return User; }

        QStringList* texts = nullptr;
    };

    const QWidget* like_;
    mutable Engine engine_;
};

void Pin(TabTable* tab, KxSearchExpression* expression, QColor color)
{
    auto* pinned = new TabBase::FixedHighlight;
    pinned->color = color;
    pinned->expression = expression;
    tab->FixedHighlights.append(pinned);
}

TEST_F(TableViewTest, ModelHandsOutTheRecordTextsAndTitles)
{
    PrefTabTable prefs = PrefTabTable::Default();
    SetColumns(prefs, {FIELD_STIME, FIELD_TEXT, FIELD_TID});
    TabTable* tab = OpenRecords({Record("first"), Record("second", 1234)}, prefs);
    TabTableModel* model = tab->Model;
    EXPECT_EQ(model->rowCount(), 2);
    EXPECT_EQ(model->columnCount(), 3);
    EXPECT_EQ(model->data(model->index(1, 1), Qt::DisplayRole).toString(), "second");
    EXPECT_EQ(model->data(model->index(1, 2), Qt::DisplayRole).toString(),
              QString::fromLocal8Bit(tab->Table->GetRecord(1)->Text(FIELD_TID)));
    EXPECT_FALSE(model->data(model->index(1, 1), Qt::ToolTipRole).isValid());
    EXPECT_EQ(model->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), FieldTable[FIELD_STIME].title);
    EXPECT_EQ(model->headerData(1, Qt::Horizontal, Qt::ToolTipRole).toString(), FieldTable[FIELD_TEXT].title);
    EXPECT_EQ(model->headerData(1, Qt::Vertical, Qt::DisplayRole).toString(), "2");
    EXPECT_FALSE(model->headerData(1, Qt::Vertical, Qt::ToolTipRole).isValid());

    tab->Table->GetRecord(1)->errorKind = KXERR_TidTimeRollback;
    EXPECT_EQ(model->headerData(1, Qt::Vertical, Qt::ToolTipRole).toString(), "Error: TidTimeRollback");
    tab->Table->GetRecord(1)->errorKind = 9;
    EXPECT_EQ(model->headerData(1, Qt::Vertical, Qt::ToolTipRole).toString(), "Error: INCORRECT VALUE");

    tab->Prefs.columns[2] = FIELD_Nums;
    EXPECT_EQ(model->headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(), "INCORRECT VALUE");
    tab->Prefs.columns[2] = -1;
    EXPECT_EQ(model->headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(), "None");
}

TEST_F(TableViewTest, AnEmptyTablePaints)
{
    TabTable* tab = Show(new KxTable(nullptr, "empty", PrefKxTable::Default()), PrefTabTable::Default(),
                         TabBase::SOURCE_BUILT);
    EXPECT_EQ(tab->Model->rowCount(), 0);
    EXPECT_FALSE(Grab(tab).isNull());
    EXPECT_FALSE(Grab(tab->View->verticalScrollBar()).isNull());
    EXPECT_EQ(ScrollBar::MarkY(300, 0, 0, 0, 0), -1);

    auto* blank = new TabTable(nullptr, nullptr);
    blank->Init(nullptr);
    Dock(blank);
    EXPECT_TRUE(blank->windowTitle().startsWith("New"));
    EXPECT_EQ(blank->Model->rowCount(), 0);
    EXPECT_FALSE(Grab(blank).isNull());
    EXPECT_EQ(ScrollBar::MarkY(140, 0, 50, 50, 50), 70);
}

TEST_F(TableViewTest, SelectionFillAndGridLines)
{
    TabTable* tab = OpenGenerated(20);
    ASSERT_NE(tab, nullptr);
    tab->Table->SelRangeSet(3, 3, true, 0x00FF00);
    tab->Prefs.Grid = 3;
    QImage image = Grab(tab->View->viewport());
    const QRect cell = tab->View->visualRect(tab->Model->index(4, 2));
    EXPECT_EQ(LogicalPixel(image, CellCorner(tab, 3, 2)) & 0xFFFFFF, 0x00FF00u);
    EXPECT_EQ(LogicalPixel(image, CellCorner(tab, 4, 2)) & 0xFFFFFF, 0xFFFFFFu);
    const QPoint right(cell.right(), cell.center().y());
    const QPoint top(cell.left() + 2, cell.top());
    EXPECT_TRUE(Near(LogicalPixel(image, right), GridOnWhite()));
    EXPECT_EQ(LogicalPixel(image, top) & 0xFFFFFF, 0xFFFFFFu);

    tab->Prefs.Grid = 2;
    image = Grab(tab->View->viewport());
    EXPECT_EQ(LogicalPixel(image, right) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_TRUE(Near(LogicalPixel(image, top), GridOnWhite()));

    tab->Prefs.Grid = 0;
    image = Grab(tab->View->viewport());
    EXPECT_EQ(LogicalPixel(image, right) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(LogicalPixel(image, top) & 0xFFFFFF, 0xFFFFFFu);
}

TEST_F(TableViewTest, ARowPaintedAgainShowsItsNewSelection)
{
    TabTable* tab = OpenRecords({Record("only")});
    tab->Table->SelRangeSet(0, 0, true, 0x00FF00);
    const QPoint corner = CellCorner(tab, 0, 2);
    const QRgb selected = LogicalPixel(Grab(tab->View->viewport()), corner);
    EXPECT_GT(qGreen(selected), 150);
    EXPECT_LT(qRed(selected), 100);
    tab->Table->ClearSelections();
    const QRgb cleared = LogicalPixel(Grab(tab->View->viewport()), corner);
    EXPECT_GT(qRed(cleared), 150) << "the row kept its old selection colour";
}

TEST_F(TableViewTest, TextIsIndentedByNestingWithTheCallIcon)
{
    const uint32_t enter = KXFLAGS_FUNC_ENTER;
    TabTable* tab = OpenRecords({Record("f", 7, enter, "f"), Record("g", 7, enter, "g"), Record("h", 7, enter, "h"),
                                 Record("plain")});
    ASSERT_EQ(tab->Table->GetRecord(2)->Int64(FIELD_NEST), 3);
    const int icon = SharedPixmap(PIX_ARROW_OUT).width();
    ASSERT_GT(icon, 0);
    EXPECT_EQ(TabTableDelegate::Indent(icon, 3), 2 * icon + 10 + 4);

    const QImage image = Grab(tab->View->viewport());
    const QRect cell = tab->View->visualRect(tab->Model->index(2, 6));
    const int indent = TabTableDelegate::Indent(icon, 3);
    // Nothing but background before the icon.
    for (int x = cell.left() + 1; x < cell.left() + indent; ++x)
        EXPECT_EQ(LogicalPixel(image, x, cell.top() + 8) & 0xFFFFFF, 0xFFFFFFu) << "x " << x - cell.left();
    // The icon, drawn into the style's icon size as the delegate draws it.
    QPixmap drawnIcon(DecorationSize(tab->View));
    drawnIcon.fill(Qt::white);
    QPainter(&drawnIcon).drawPixmap(drawnIcon.rect(), SharedPixmap(PIX_ARROW_TURN_IN));
    QPoint at;
    QRgb color;
    ASSERT_TRUE(OpaquePixel(drawnIcon, &at, &color));
    EXPECT_TRUE(Near(LogicalPixel(image, cell.left() + indent + at.x(), cell.top() + at.y()), color));

    tab->Prefs.IndentText = 0;
    const QImage flat = Grab(tab->View->viewport());
    for (int x = cell.left() + 1; x < cell.left() + indent; ++x)
        EXPECT_EQ(LogicalPixel(flat, x, cell.top() + 1) & 0xFFFFFF, 0xFFFFFFu);
}

TEST_F(TableViewTest, PinnedPhrasesFillBehindTheirText)
{
    PrefTabTable prefs = PrefTabTable::Default();
    SetColumns(prefs, {FIELD_TEXT});
    TabTable* tab = OpenRecords({Record("alpha beta"), Record("alpha beta")}, prefs);
    // An empty phrase is skipped instead of matching at every position.
    Pin(tab, new FixedMatch(FIELD_TEXT, ""), Qt::blue);
    Pin(tab, new FixedMatch(FIELD_TEXT, "beta"), QColor(255, 0, 0));
    const QImage image = Grab(tab->View->viewport());
    const QRect cell = tab->View->visualRect(tab->Model->index(1, 0));
    const QFontMetrics metrics(tab->View->font());
    const QRect text = cell.adjusted(4, 1, -4, -3);
    const int height = metrics.boundingRect("alpha beta").height();
    const int top = text.top() + (text.height() - height) / 2;
    // Pure red pixels between the glyphs, in the text's band from one x to another.
    auto red = [&](int from, int to) {
        int count = 0;
        for (int y = top; y < top + height; ++y)
            for (int x = from; x < to; ++x)
                count += (LogicalPixel(image, x, y) & 0xFFFFFF) == 0xFF0000u;
        return count;
    };
    const int beta = text.left() + metrics.horizontalAdvance("alpha ");
    const int betaWidth = metrics.horizontalAdvance("beta");
    EXPECT_GT(red(beta, beta + betaWidth), betaWidth * height / 2);
    EXPECT_EQ(red(text.left(), beta - metrics.horizontalAdvance(' ')), 0);
}

TEST_F(TableViewTest, RowHeaderMarksCurrentRowBookmarkAndKind)
{
    TabTable* tab = OpenRecords({Record("a"), Record("b"), Record("c")});
    ASSERT_EQ(TearOffMain::CurrentDock, tab);
    QPixmap bookmark(16, 16);
    bookmark.fill(QColor(255, 0, 0));
    tab->TabPixmap = bookmark;
    tab->Table->BookmarkSet(1, true);
    tab->SetCurrentPosition(0);
    QHeaderView* header = tab->View->verticalHeader();
    const QImage image = Grab(header->viewport());
    const int width = header->width();

    QPoint at;
    QRgb color;
    ASSERT_TRUE(OpaquePixel(SharedPixmap(PIX_LINE_SELECTOR), &at, &color));
    EXPECT_TRUE(Near(LogicalPixel(image, at), color));
    const int y1 = header->sectionViewportPosition(1);
    EXPECT_EQ(LogicalPixel(image, width - 41 + 2, y1 + 2) & 0xFFFFFF, 0xFF0000u);
    // Level 0: the warning icon.
    EXPECT_EQ(DragHeaderView::KindIcon(0, 0), PIX_TYPE1_WARNING);
    ASSERT_TRUE(OpaquePixel(SharedPixmap(PIX_TYPE1_WARNING), &at, &color));
    EXPECT_TRUE(Near(LogicalPixel(image, width - 25 + at.x(), y1 + at.y()), color));
    EXPECT_TRUE(tab->Actions[TACT_BOOKMARK]->isChecked() == false);

    EXPECT_EQ(DragHeaderView::KindIcon(KXFLAGS_FUNC_ENTER, -1), PIX_TYPE5_FUNCS);
    EXPECT_EQ(DragHeaderView::KindIcon(KXFLAGS_FUNC_LEAVE, 3), PIX_TYPE6_FUNCE);
    EXPECT_EQ(DragHeaderView::KindIcon(0, 2), PIX_TYPE0_INFO);
    EXPECT_EQ(DragHeaderView::KindIcon(0, -5), PIX_TYPE4_VERIFY);
    EXPECT_EQ(DragHeaderView::KindIcon(0, -6), PIX_TYPE3_ASSERT);
    EXPECT_EQ(DragHeaderView::KindIcon(0, -1), PIX_TYPE2_ERROR);
}

TEST_F(TableViewTest, RowHeaderDrawsTheRowNumbersFromOne)
{
    TabTable* tab = OpenRecords({Record("a"), Record("b"), Record("c")});
    QWidget* rows = tab->View->verticalHeader()->viewport();
    TextRecorder drawn(rows);
    rows->render(&drawn);
    EXPECT_EQ(drawn.texts.join(' ').toStdString(), "1 2 3");
    EXPECT_EQ(tab->Model->headerData(0, Qt::Vertical, Qt::DisplayRole).toString(), "1");
}

TEST_F(TableViewTest, ABookmarkedRowShowsTheBookmarkInTheTabsColour)
{
    actions.Entry(TACT_BOOKMARK).icon = "Bookmark";
    TabTable* tab = OpenRecords({Record("a"), Record("b")});
    tab->Table->BookmarkSet(1, true);
    tab->SetCurrentPosition(0);
    QHeaderView* header = tab->View->verticalHeader();
    const QImage image = Grab(header->viewport());
    const int left = header->width() - 41;
    const QColor colour = QColor(QRgb(tab->Prefs.ColorBookmark & 0xFFFFFF));
    auto marked = [&](int row) {
        const int top = header->sectionViewportPosition(row);
        for (int y = top; y < top + 16; ++y)
            for (int x = left; x < left + 16; ++x)
                if (Near(LogicalPixel(image, x, y), colour.rgb(), 40))
                    return true;
        return false;
    };
    EXPECT_FALSE(marked(0));
    EXPECT_TRUE(marked(1));
}

TEST_F(TableViewTest, ScrollBarMarksSelectionsAndTheCurrentRow)
{
    TabTable* tab = OpenGenerated(400);
    ASSERT_NE(tab, nullptr);
    tab->Table->SelRangeSet(0, 49, true, 0x00FF00);
    tab->SetCurrentPosition(300);
    QScrollBar* bar = tab->View->verticalScrollBar();
    ASSERT_GT(bar->height(), 60);
    const QImage image = Grab(bar);
    auto y = [&](int row) { return ScrollBar::MarkY(bar->height(), bar->minimum(), bar->maximum(), bar->pageStep(), row); };
    EXPECT_EQ(LogicalPixel(image, 3, y(0) + 1) & 0xFFFFFF, 0x00FF00u);
    EXPECT_EQ(LogicalPixel(image, bar->width() / 2, y(300) + 1) & 0xFFFFFF, 0x0000FFu);
}

TEST_F(TableViewTest, ScrollBarMarksBookmarksInTheDocumentsColour)
{
    TabTable* tab = OpenGenerated(400);
    ASSERT_NE(tab, nullptr);
    tab->Table->BookmarkSet(200, true);
    QScrollBar* bar = tab->View->verticalScrollBar();
    ASSERT_GT(bar->height(), 60);
    const int y = ScrollBar::MarkY(bar->height(), bar->minimum(), bar->maximum(), bar->pageStep(), 200);
    // The default colour first, then the one chosen for this document alone.
    for (uint32_t colour : {PrefTabTable::Default().ColorBookmark & 0xFFFFFF, 0x123456u}) {
        tab->Prefs.ColorBookmark = colour;
        EXPECT_EQ(LogicalPixel(Grab(bar), bar->width() / 2, y + 3) & 0xFFFFFF, colour) << std::hex << colour;
    }
}

TEST_F(TableViewTest, ShiftDownSelectsTheRowsLeft)
{
    TabTable* tab = OpenGenerated(30);
    ASSERT_NE(tab, nullptr);
    tab->View->setFocus();
    for (int i = 0; i < 3; ++i)
        Key(tab, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(SelectedRows(tab), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(tab->Table->CurRow(), 3);
    ASSERT_NE(tab->CountersLabel, nullptr);
    EXPECT_TRUE(tab->CountersLabel->text().startsWith("Selected 3 / ")) << tab->CountersLabel->text().toStdString();
}

TEST_F(TableViewTest, SpaceTogglesAndInsertSelectsThenMovesDown)
{
    TabTable* tab = OpenGenerated(30);
    ASSERT_NE(tab, nullptr);
    tab->SetCurrentPosition(4);
    Key(tab, Qt::Key_Space);
    EXPECT_TRUE(IsSelected(tab, 4));
    Key(tab, Qt::Key_Space);
    EXPECT_FALSE(IsSelected(tab, 4));
    Key(tab, Qt::Key_Insert);
    EXPECT_TRUE(IsSelected(tab, 4));
    EXPECT_EQ(tab->Table->CurRow(), 5);
}

TEST_F(TableViewTest, ShiftClickSelectsFromTheAnchorAndKeepsTheClickedRow)
{
    TabTable* tab = OpenGenerated(30);
    ASSERT_NE(tab, nullptr);
    Click(tab, 2);
    EXPECT_EQ(tab->Table->CurRow(), 2);
    Click(tab, 6, Qt::ShiftModifier);
    EXPECT_EQ(SelectedRows(tab), (std::vector<int>{2, 3, 4, 5, 6}));
    Click(tab, 4, Qt::ShiftModifier);
    EXPECT_EQ(SelectedRows(tab), (std::vector<int>{2, 3, 4}));
    ASSERT_EQ(tab->Table->RangeCount(), 1u);
    EXPECT_EQ(tab->Table->FirstRange()->first, 2);
    EXPECT_EQ(tab->Table->FirstRange()->count, 3);
    EXPECT_EQ(tab->Table->FirstRange()->tag, tab->Prefs.ColorSelect);
}

TEST_F(TableViewTest, DraggingSelectsOrDeselectsEveryRowPassed)
{
    TabTable* tab = OpenGenerated(30);
    ASSERT_NE(tab, nullptr);
    QWidget* cells = tab->View->viewport();
    QTest::mousePress(cells, Qt::LeftButton, Qt::NoModifier, CellCentre(tab, 1, 1));
    for (int row = 2; row <= 5; ++row) {
        QMouseEvent move(QEvent::MouseMove, CellCentre(tab, row, 1), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(cells, &move);
    }
    QTest::mouseRelease(cells, Qt::LeftButton, Qt::NoModifier, CellCentre(tab, 5, 1));
    EXPECT_EQ(SelectedRows(tab), (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(tab->Table->CurRow(), 5);

    QTest::mousePress(cells, Qt::LeftButton, Qt::NoModifier, CellCentre(tab, 3, 1));
    QMouseEvent move(QEvent::MouseMove, CellCentre(tab, 4, 1), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(cells, &move);
    QTest::mouseRelease(cells, Qt::LeftButton, Qt::NoModifier, CellCentre(tab, 4, 1));
    EXPECT_EQ(SelectedRows(tab), (std::vector<int>{1, 2, 5}));
}

TEST_F(TableViewTest, HoveringWhereADeletedRowWasIsSafe)
{
    TabTable* tab = OpenGenerated(12);
    ASSERT_NE(tab, nullptr);
    const QPoint last = CellCentre(tab, 11, 1);
    Click(tab, 11);
    ASSERT_TRUE(tab->Table->DelRecord(11));
    tab->TableChanged();
    QWidget* cells = tab->View->viewport();
    QTest::mouseMove(cells, last);
    QTest::mouseMove(cells, CellCentre(tab, 10, 1));
    QTest::mouseMove(cells, last);
    Key(tab, Qt::Key_Space);
    EXPECT_FALSE(Grab(tab).isNull());
    EXPECT_EQ(tab->Table->CurRow(), 10);
}

TEST_F(TableViewTest, RowHeaderReleaseMakesTheRowCurrentInAnExistingColumn)
{
    PrefTabTable prefs = PrefTabTable::Default();
    SetColumns(prefs, {FIELD_TEXT});
    TabTable* tab = OpenRecords({Record("a"), Record("b"), Record("c"), Record("d")}, prefs);
    QHeaderView* header = tab->View->verticalHeader();
    const QPoint at(10, header->sectionViewportPosition(2) + 5);
    QTest::mouseRelease(header->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    EXPECT_EQ(tab->View->currentIndex(), tab->Model->index(2, 0));
    EXPECT_EQ(tab->Table->CurRow(), 2);
}

TEST_F(TableViewTest, ColumnsAreRemovedAndSwappedButNeverTheLast)
{
    PrefTabTable prefs = PrefTabTable::Default();
    SetColumns(prefs, {FIELD_TIME, FIELD_TID, FIELD_TEXT});
    TabTable* tab = OpenRecords({Record("a")}, prefs);
    tab->View->DraggedColumn = 2;
    const QHeaderView* header = tab->View->horizontalHeader();
    tab->View->OnColumnMoved(QPoint(header->sectionViewportPosition(0) + 3, 3));
    EXPECT_EQ(tab->Prefs.columns[0], FIELD_TEXT);
    EXPECT_EQ(tab->Prefs.columns[2], FIELD_TIME);
    EXPECT_EQ(tab->Model->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), FieldTable[FIELD_TEXT].title);

    tab->View->DraggedColumn = 1;
    tab->View->RemoveColumn();
    EXPECT_EQ(tab->Prefs.columnCount, 2);
    EXPECT_EQ(tab->Prefs.columns[1], FIELD_TIME);
    EXPECT_EQ(tab->Prefs.columns[2], -1);
    EXPECT_EQ(tab->Model->columnCount(), 2);
    tab->View->DraggedColumn = 0;
    tab->View->RemoveColumn();
    shell.Clear();
    tab->View->RemoveColumn();
    EXPECT_EQ(tab->Prefs.columnCount, 1);
    EXPECT_TRUE(Contains(shell.info, "Last column can`t be removed"));
}

} // namespace
