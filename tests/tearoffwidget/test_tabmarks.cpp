// Tabs marked with Ctrl and a click: which clicks mark, unmark and clear, and
// how a mark looks.
#include <string>
#include <vector>

#include <QContextMenuEvent>
#include <QImage>
#include <QTest>
#include <gtest/gtest.h>

#include "tearoffstubs.h"
#include "tearoffwidget/tabcoverwidget.h"
#include "tearoffwidget/tearofftabbar.h"
#include "tearoffwidget/tearofftabwidget.h"

namespace {

class TabMarksTest : public MainWithPanelsTest {
protected:
    void SetUp() override
    {
        MainWithPanelsTest::SetUp();
        for (int i = 0; i < 3; ++i) {
            auto* doc = new StubDoc;
            doc->setWindowTitle(QStringLiteral("Document %1").arg(i));
            if (docs.isEmpty())
                main->AddTearOffDock(Qt::TopDockWidgetArea, doc, 0);
            else
                main->TabifyTearOffDock(docs.first(), doc);
            docs.append(doc);
        }
        QApplication::processEvents();
    }

    // A click on the tab of a document (PANEL: the first panel), landing on
    // the mark when the tab carries one.
    void Click(int doc, Qt::KeyboardModifiers modifiers)
    {
        TearOffTabDock* dock = doc == PANEL ? static_cast<TearOffTabDock*>(panels[0]) : docs[doc];
        TearOffTabBar* bar = dock->TabWidget->TabBar;
        const QPoint global = bar->mapToGlobal(bar->tabRect(dock->TabWidget->indexOf(dock)).center());
        QWidget* target = main->childAt(main->mapFromGlobal(global));
        ASSERT_NE(target, nullptr);
        QTest::mouseClick(target, Qt::LeftButton, modifiers, target->mapFromGlobal(global));
        FlushDeletes();
    }

    std::vector<int> Marked() const
    {
        std::vector<int> marked;
        for (TearOffTabDock* dock : main->MarkedDocks())
            marked.push_back(docs.indexOf(static_cast<StubDoc*>(dock)));
        return marked;
    }

    static constexpr int PANEL = 9;
    QList<StubDoc*> docs;
};

TEST_F(TabMarksTest, CtrlClicksMarkAndUnmarkOtherClicksClear)
{
    struct Step {
        int doc;
        bool ctrl;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        std::vector<int> marked;
        int current;
    };
    const Case cases[] = {
        {"two in order", {{0, true}, {1, true}}, {0, 1}, 2},
        {"two reversed", {{1, true}, {0, true}}, {1, 0}, 2},
        {"Ctrl on the mark unmarks", {{0, true}, {1, true}, {0, true}}, {1}, 2},
        {"the current tab is not marked", {{2, true}}, {}, 2},
        {"a panel is not marked", {{PANEL, true}}, {}, 2},
        {"a click on the mark makes its tab current", {{1, true}, {0, true}, {0, false}}, {}, 0},
        {"another tab made current clears", {{0, true}, {1, false}}, {}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        main->SetTabActive(docs[2], false);
        main->ClearDragSelection();
        FlushDeletes();
        for (const Step& step : c.steps)
            Click(step.doc, step.ctrl ? Qt::ControlModifier : Qt::NoModifier);
        EXPECT_EQ(Marked(), c.marked);
        EXPECT_EQ(TearOffMain::CurrentDock, docs[c.current]);
        EXPECT_EQ(main->findChildren<TabCoverWidget*>().size(), int(c.marked.size()));
    }
}

// Counts the context-menu requests that reach a widget.
class ContextMenuCounter : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override
    {
        count += event->type() == QEvent::ContextMenu;
        return false;
    }
    int count = 0;
};

// A right click on a mark opens the tab menu of its document, and nothing
// of the window beneath.
TEST_F(TabMarksTest, RightClickOnAMarkOpensOnlyTheTabMenu)
{
    ContextMenuCounter counter;
    main->installEventFilter(&counter);
    Click(0, Qt::ControlModifier);
    ASSERT_EQ(main->DragSelection.size(), 1);
    TabCoverWidget* mark = main->DragSelection[0].mark;
    const QPoint centre = mark->rect().center();
    const QPoint global = mark->mapToGlobal(centre);
    // The press, then the menu request the window system sends after it.
    QTest::mousePress(mark, Qt::RightButton, Qt::NoModifier, centre);
    QContextMenuEvent request(QContextMenuEvent::Mouse, centre, global);
    QApplication::sendEvent(mark, &request);
    QTest::mouseRelease(mark, Qt::RightButton, Qt::NoModifier, centre);
    FlushDeletes();
    ASSERT_EQ(docs[0]->menus.size(), 1);
    EXPECT_EQ(docs[0]->menus[0], global);
    EXPECT_EQ(counter.count, 0);
    EXPECT_TRUE(main->DragSelection.isEmpty());
    main->removeEventFilter(&counter);
}

// The mark lies over its tab and shows the tab's text on light yellow,
// whatever ground the style paints the tab on.
TEST_F(TabMarksTest, MarkIsYellowBehindTheTabText)
{
    const QString sheets[] = {
        TearOffTabWidget::StyleSheet(TearOffTabWidget::Look::Inactive),
        QStringLiteral("QTabBar::tab {background: #a0c0e0; padding: 6px}"),
    };
    for (const QString& sheet : sheets) {
        SCOPED_TRACE(sheet.toStdString());
        main->ClearDragSelection();
        FlushDeletes();
        docs[1]->TabWidget->setStyleSheet(sheet);
        QApplication::processEvents();
        Click(1, Qt::ControlModifier);
        ASSERT_EQ(main->DragSelection.size(), 1);
        TabCoverWidget* mark = main->DragSelection[0].mark;
        ASSERT_NE(mark, nullptr);
        TearOffTabBar* bar = docs[1]->TabWidget->TabBar;
        const QRect tab = bar->tabRect(1);
        EXPECT_EQ(mark->geometry(), QRect(main->mapFromGlobal(bar->mapToGlobal(tab.topLeft())), tab.size()));
        EXPECT_TRUE(mark->isVisible());

        const QImage image = mark->grab().toImage();
        int yellow = 0;
        int dark = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QRgb pixel = image.pixel(x, y) & 0xffffff;
                yellow += pixel == TabCoverWidget::MarkColor;
                dark += qGray(pixel) < 100;
            }
        }
        EXPECT_EQ(image.pixel(1, 1) & 0xffffff, TabCoverWidget::MarkColor);
        EXPECT_EQ(image.pixel(image.width() - 2, image.height() - 2) & 0xffffff, TabCoverWidget::MarkColor);
        EXPECT_GT(yellow, image.width() * image.height() / 2);
        // The title's letters.
        EXPECT_GT(dark, 20);
    }
}

} // namespace
