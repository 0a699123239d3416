#include <gtest/gtest.h>

#include <QApplication>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>

#include "kxviewer/systemlogplaintext.h"
#include "kxviewer/timeiconarea.h"
#include "tests/widgetmetrics.h"

namespace {

QIcon Filled(QColor colour)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(colour);
    return QIcon(pixmap);
}

struct Row {
    bool hasTime; // dark text pixels in the time column
    QColor icon;  // the colour in the middle of the icon cell
};

class SystemLogTest : public testing::Test {
protected:
    void SetUp() override
    {
        view.resize(400, 300);
        view.show();
        QApplication::processEvents();
    }

    // The gutter beside text block n, as painted.
    Row GutterRow(int n)
    {
        QTextCursor cursor(view.document()->findBlockByNumber(n));
        const int top = view.cursorRect(cursor).top();
        const QImage image = view.Gutter()->grab().toImage();
        const int middle = SystemLogPlainText::ICON_SIZE / 2;
        Row row{false, QColor(LogicalPixel(image, QPoint(SystemLogPlainText::ICON_X + middle, top + middle)))};
        const int lineHeight = view.fontMetrics().height();
        for (int y = top; y < top + lineHeight; ++y)
            for (int x = 0; x < SystemLogPlainText::TIME_WIDTH; ++x)
                if (qGray(LogicalPixel(image, QPoint(x, y))) < 128)
                    row.hasTime = true;
        return row;
    }

    static const QColor Background() { return QColor::fromRgba(SystemLogPlainText::GUTTER_BACKGROUND); }

    SystemLogPlainText view;
};

} // namespace

TEST_F(SystemLogTest, EntriesStartOnLinesOfTheirOwn)
{
    view.AddEntry("10:00:00", Filled(Qt::red), "first");
    EXPECT_EQ(view.toPlainText(), "first");
    view.AddEntry("10:00:01", Filled(Qt::red), "second");
    EXPECT_EQ(view.toPlainText(), "first\nsecond");
    EXPECT_EQ(view.Gutter()->sizeHint(), QSize(SystemLogPlainText::GUTTER_WIDTH, 0));
    EXPECT_EQ(view.Gutter()->width(), SystemLogPlainText::GUTTER_WIDTH);
}

TEST_F(SystemLogTest, EmptyMessagesStillGetALineEach)
{
    view.AddEntry("10:00:00", Filled(Qt::red), "");
    view.AddEntry("10:00:01", Filled(Qt::blue), "");
    EXPECT_EQ(view.document()->blockCount(), 2);
    EXPECT_EQ(GutterRow(0).icon, QColor(Qt::red));
    EXPECT_EQ(GutterRow(1).icon, QColor(Qt::blue));
}

TEST_F(SystemLogTest, AMessageOfSeveralLinesKeepsLaterTimesInPlace)
{
    view.AddEntry(" 9:00:00", Filled(Qt::red), "one\ntwo\rthree");
    view.AddEntry(" 9:00:01", Filled(Qt::blue), "four");
    view.AddEntry("", QIcon(), "five");
    ASSERT_EQ(view.document()->blockCount(), 5);

    const Row first = GutterRow(0);
    EXPECT_TRUE(first.hasTime);
    EXPECT_EQ(first.icon, QColor(Qt::red));
    for (int continuation : {1, 2}) {
        const Row row = GutterRow(continuation);
        EXPECT_FALSE(row.hasTime) << continuation;
        EXPECT_EQ(row.icon, Background()) << continuation;
    }
    const Row fourth = GutterRow(3);
    EXPECT_TRUE(fourth.hasTime);
    EXPECT_EQ(fourth.icon, QColor(Qt::blue));
    const Row fifth = GutterRow(4);
    EXPECT_FALSE(fifth.hasTime);
    EXPECT_EQ(fifth.icon, Background());
}

TEST_F(SystemLogTest, ClearLeavesOnlyTheBackground)
{
    view.AddEntry("10:00:00", Filled(Qt::red), "gone");
    view.Clear();
    EXPECT_EQ(view.toPlainText(), "");
    const QImage image = view.Gutter()->grab().toImage();
    for (int y = 0; y < view.Gutter()->height(); y += 3)
        for (int x = 0; x < view.Gutter()->width(); x += 3)
            ASSERT_EQ(QColor(LogicalPixel(image, QPoint(x, y))), Background()) << x << "," << y;
    view.AddEntry("10:00:01", Filled(Qt::blue), "again");
    EXPECT_EQ(view.toPlainText(), "again");
    EXPECT_EQ(GutterRow(0).icon, QColor(Qt::blue));
}

TEST_F(SystemLogTest, TheNewestLineStaysInViewUnlessTheUserScrolledUp)
{
    view.setReadOnly(true); // as in the main window: Home and End scroll
    const QColor colours[] = {Qt::red, Qt::blue};
    int added = 0;
    auto add = [&](int count) {
        for (int i = 0; i < count; ++i, ++added)
            view.AddEntry("10:00:00", Filled(colours[added % 2]), QString("entry %1").arg(added));
    };
    // Shown whole: the view is at its end, not only near it.
    auto newestShown = [&] {
        QTextCursor last(view.document()->lastBlock());
        return view.viewport()->rect().contains(view.cursorRect(last)) &&
               view.verticalScrollBar()->value() == view.verticalScrollBar()->maximum() &&
               GutterRow(added - 1).icon == colours[(added - 1) % 2];
    };

    struct Step {
        int key;   // a key the user presses first, 0 for none
        bool wide; // first an entry wider than the panel, whose horizontal scroll bar shortens the view
        int count; // entries added then
        bool shown;
    };
    const Step steps[] = {{0, false, 60, true},           {0, true, 1, true},   {0, false, 1, true},
                          {0, false, 60, true},           {Qt::Key_Home, false, 60, false},
                          {0, true, 1, false},            {0, false, 60, false}, {Qt::Key_End, false, 60, true},
                          {0, false, 1, true}};
    for (const Step& step : steps) {
        if (step.key != 0)
            QTest::keyClick(&view, Qt::Key(step.key));
        if (step.wide) {
            view.AddEntry("10:00:00", Filled(colours[added % 2]), QString(300, QLatin1Char('w')));
            ++added;
            QApplication::processEvents();
        }
        add(step.count);
        QApplication::processEvents();
        EXPECT_EQ(newestShown(), step.shown) << added;
    }

    // A smaller panel still shows the newest line.
    view.resize(400, 120);
    QApplication::processEvents();
    EXPECT_TRUE(newestShown());
}

// A line wider than the panel brings the horizontal scroll bar, which
// shortens the view: the entries after it still scroll the view to its end.
TEST_F(SystemLogTest, AWideEntryKeepsTheNewestLineInView)
{
    view.setReadOnly(true);
    // before: entries added one by one first; after: entries added behind the wide one
    const struct { int height; int before; int after; } cases[] = {
        {100, 10, 1}, {100, 10, 3}, {100, 2, 4}, {300, 60, 1}, {300, 14, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.height << " " << c.before << " " << c.after);
        view.Clear();
        view.resize(400, c.height);
        QApplication::processEvents();
        auto add = [&](const QString& text) {
            view.AddEntry("10:00:00", Filled(Qt::red), text);
            QApplication::processEvents();
        };
        for (int i = 0; i < c.before; ++i)
            add(QString("entry %1").arg(i));
        add(QString(300, QLatin1Char('w')));
        for (int i = 0; i < c.after; ++i)
            add(QString("after %1").arg(i));
        EXPECT_TRUE(view.horizontalScrollBar()->isVisible());
        EXPECT_EQ(view.verticalScrollBar()->value(), view.verticalScrollBar()->maximum());
        EXPECT_TRUE(view.viewport()->rect().contains(view.cursorRect(QTextCursor(view.document()->lastBlock()))));
    }
}
