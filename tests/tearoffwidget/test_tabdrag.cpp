// Dragging a tab out of its group and dropping it on the guides, between
// tabs or nowhere; the guides' zones.
#include <QImage>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPointer>
#include <QPainter>
#include <QScreen>
#include <QTest>
#include <QtTest/qtestspontaneevent.h>
#include <QWindow>
#include <gtest/gtest.h>

#include "tearoffstubs.h"
#include "tearoffwidget/screencoverwidget.h"
#include "tearoffwidget/tearoffdockwidget.h"
#include "tearoffwidget/tearoffsecondary.h"
#include "tearoffwidget/tearofftabbar.h"
#include "tearoffwidget/tearofftabwidget.h"

namespace {

using Cover = ScreenCoverWidget;

TEST(DropGuides, ZoneUnderTheCursor)
{
    const QPoint c(500, 400);
    const Cover::Edges all{true, true, true, true}, bottomOnly{false, false, false, true};
    const Cover::Edges topOnly{true, false, false, false};
    constexpr int32_t ONE = Cover::GUIDES_ONE, WINDOW = Cover::GUIDES_WINDOW, OTHER = Cover::GUIDES_OTHER_KIND;
    constexpr int32_t NONE = Cover::ZONE_NONE, LEFT = Cover::ZONE_LEFT, RIGHT = Cover::ZONE_RIGHT;
    constexpr int32_t TOP = Cover::ZONE_TOP, BOTTOM = Cover::ZONE_BOTTOM, CENTRE = Cover::ZONE_CENTRE;
    constexpr int32_t EDGE_LEFT = Cover::ZONE_EDGE_LEFT, EDGE_TOP = Cover::ZONE_EDGE_TOP;
    constexpr int32_t EDGE_RIGHT = Cover::ZONE_EDGE_RIGHT, EDGE_BOTTOM = Cover::ZONE_EDGE_BOTTOM;
    const struct { int dx, dy; Cover::Edges edges; int32_t mode; int32_t zone; } cases[] = {
        // Both corners of a guide belong to it; the pixel beyond does not.
        {-59, -18, all, ONE, LEFT}, {-23, 18, all, ONE, LEFT}, {-60, 0, all, ONE, NONE}, {-22, 0, all, ONE, NONE},
        {-41, 19, all, ONE, NONE}, {23, -18, all, ONE, RIGHT}, {59, 18, all, ONE, RIGHT}, {-18, -59, all, ONE, TOP},
        {18, -23, all, ONE, TOP}, {-18, 23, all, ONE, BOTTOM}, {18, 59, all, ONE, BOTTOM},
        {-18, -18, all, ONE, CENTRE}, {18, 18, all, ONE, CENTRE}, {-100, -18, all, ONE, EDGE_LEFT},
        {-64, 18, all, ONE, EDGE_LEFT}, {-101, 0, all, ONE, NONE}, {100, 18, all, ONE, EDGE_RIGHT},
        {0, -100, all, ONE, EDGE_TOP}, {-18, 64, all, ONE, EDGE_BOTTOM}, {18, 100, all, ONE, EDGE_BOTTOM},
        // A group in the top area takes only its bottom edge, one in the
        // bottom area only its top edge; the side guides stay.
        {-80, 0, bottomOnly, ONE, NONE}, {80, 0, bottomOnly, ONE, NONE}, {0, -80, bottomOnly, ONE, NONE},
        {0, 80, bottomOnly, ONE, EDGE_BOTTOM}, {0, -80, topOnly, ONE, EDGE_TOP}, {0, 80, topOnly, ONE, NONE},
        {-40, 0, bottomOnly, ONE, LEFT},
        // A whole window: the centre only.
        {0, 0, all, WINDOW, CENTRE}, {18, -18, all, WINDOW, CENTRE}, {-40, 0, all, WINDOW, NONE},
        {0, 80, all, WINDOW, NONE},
        // A group of another kind: everything but the centre.
        {0, 0, all, OTHER, NONE}, {40, 0, all, OTHER, RIGHT}, {0, 80, all, OTHER, EDGE_BOTTOM},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(testing::Message() << k.dx << "," << k.dy << " mode " << k.mode);
        const QPoint cursor = c + QPoint(k.dx, k.dy);
        EXPECT_EQ(Cover::GuideZone(c, cursor, k.edges, k.mode), k.zone);
        QImage image(1000, 800, QImage::Format_ARGB32);
        QPainter painter(&image);
        EXPECT_EQ(Cover::DrawDropGuides(painter, c, cursor, k.edges, k.mode), k.zone);
    }
}

// Where a torn-out tab lands, relative to the group it was dropped on.
enum class Lands { Left, Right, Above, Below, Inside, BottomEdge, FirstTab, OwnWindow };

class TabDragTest : public MainWithPanelsTest {
protected:
    void SetUp() override
    {
        MainWithPanelsTest::SetUp();
        main->move(0, 0);
        main->resize(780, 580);
        QApplication::processEvents();
    }

    // Presses on the dock's tab and moves far enough to tear it out; the
    // window that holds the tab gets the rest of the drag.
    void TearOut(TearOffTabDock* dock)
    {
        TearOffTabBar* bar = dock->TabWidget->TabBar;
        dragWindow_ = bar->window();
        const QPoint press = dragWindow_->mapFromGlobal(bar->mapToGlobal(bar->tabRect(dock->TabWidget->indexOf(dock)).center()));
        QWindow* window = dragWindow_->windowHandle();
        QTest::mousePress(window, Qt::LeftButton, Qt::NoModifier, press);
        QTest::mouseMove(window, press + QPoint(8, 0));
        QTest::mouseMove(window, press + QPoint(30, 4));
    }

    void DropAt(QPoint global)
    {
        QWindow* window = dragWindow_->windowHandle();
        QTest::mouseMove(window, dragWindow_->mapFromGlobal(global));
        // A window that carries the tab follows the pointer: the release
        // lands on the same global point only from where the window is now.
        QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, dragWindow_->mapFromGlobal(global));
        FlushDeletes();
        QApplication::processEvents();
        FlushDeletes();
    }

    // Nothing of the drag is left: no placeholder page, no empty group, no
    // empty host.
    void ExpectNoLeftovers()
    {
        for (TearOffTabWidget* tabs : main->findChildren<TearOffTabWidget*>())
            for (int i = 0; i < tabs->count(); ++i)
                EXPECT_NE(tabs->widget(i)->objectName(), "tmp_tfr");
        for (TearOffDockWidget* group : main->DockWidgets)
            EXPECT_GT(group->TabWidget->count(), 0);
        for (QMainWindow* host : main->findChildren<QMainWindow*>()) {
            bool used = host == TearOffMain::MainHost || !host->objectName().startsWith("LRTabWin");
            for (TearOffDockWidget* group : main->DockWidgets)
                used = used || group->Host == host;
            EXPECT_TRUE(used) << host->objectName().toStdString();
        }
        EXPECT_FALSE(main->Cover->isVisible());
    }

private:
    QWidget* dragWindow_ = nullptr;
};

// A document dragged out of a group of two (or out of a group of its own,
// beside the target) and dropped on each guide, on a tab or on nothing.
TEST_F(TabDragTest, TornOutTabLandsWhereItIsDropped)
{
    // Where the dragged tab comes from: a group of two, a group of its own,
    // the panels' group (a tab of another kind) or a window of its own.
    enum class From { Pair, OwnGroup, Panels, LoneWindow };
    // offset: from the target group's centre; tab: on its first tab
    struct Case { const char* name; QPoint offset; bool onTab; From from; Lands lands; };
    using F = From;
    using L = Lands;
    const Case cases[] = {
        {"left guide", {-40, 0}, false, F::Pair, L::Left}, {"right guide", {40, 0}, false, F::Pair, L::Right},
        {"top guide", {0, -40}, false, F::Pair, L::Above}, {"bottom guide", {0, 40}, false, F::Pair, L::Below},
        {"centre guide", {}, false, F::Pair, L::Inside}, {"centre guide, own group", {}, false, F::OwnGroup, L::Inside},
        {"centre guide, from a window of its own", {}, false, F::LoneWindow, L::Inside},
        {"bottom edge guide", {0, 80}, false, F::Pair, L::BottomEdge},
        {"top edge guide, not offered in the top area", {0, -80}, false, F::Pair, L::OwnWindow},
        {"first tab", {}, true, F::Pair, L::FirstTab}, {"first tab, own group", {}, true, F::OwnGroup, L::FirstTab},
        {"tab strip after the last tab", {}, true, F::Pair, L::Inside},
        {"no guide", {-150, 0}, false, F::Pair, L::OwnWindow},
        {"no guide, own group", {-150, 0}, false, F::OwnGroup, L::OwnWindow},
        {"no guide, from a window of its own", {-150, 0}, false, F::LoneWindow, L::OwnWindow},
        // A panel over a document group: no centre guide, no tab position.
        {"panel on the centre guide", {}, false, F::Panels, L::OwnWindow},
        {"panel on a document tab", {}, true, F::Panels, L::OwnWindow},
        {"panel on the left guide", {-40, 0}, false, F::Panels, L::Left},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown(), SetUp(); // a fresh main window for each case
        const QList<StubDoc*> docs = AddDocuments(2, false);
        StubDoc *target = docs[0], *moved = c.from == F::Panels ? panels[0] : docs[1];
        if (c.from == F::OwnGroup)
            main->SplitOneTearOffDock(moved, Qt::Horizontal);
        else if (c.from == F::LoneWindow)
            main->AddSecondaryTearOffDock(Qt::TopDockWidgetArea, moved, 0)->setGeometry(300, 250, 400, 300);
        QApplication::processEvents();
        TearOffDockWidget* targetGroup = target->TabWidget->DockWidget;

        TearOut(moved);
        ASSERT_TRUE(main->Cover->NewWindow);
        QPointer<QMainWindow> newWindow = main->Cover->NewWindow.data();
        EXPECT_EQ(moved->GetTopWindow(nullptr), newWindow.data());
        EXPECT_TRUE(main->Cover->isVisible());

        const QPoint centre = targetGroup->mapToGlobal(QPoint(targetGroup->width() / 2, targetGroup->height() / 2));
        TearOffTabBar* bar = target->TabWidget->TabBar;
        const QRect lastTab = bar->tabRect(bar->count() - 1);
        const QPoint onStrip = c.lands == L::Inside ? lastTab.center() + QPoint(lastTab.width(), 0)
                                                    : bar->tabRect(0).center();
        DropAt(c.onTab ? bar->mapToGlobal(onStrip) : centre + c.offset);

        ExpectNoLeftovers();
        int secondary = -1;
        QWidget* top = moved->GetTopWindow(&secondary);
        EXPECT_EQ(main->CurrentDock, moved);
        EXPECT_EQ(secondary, c.lands == L::OwnWindow ? 1 : 0);
        if (c.lands == L::OwnWindow) {
            EXPECT_EQ(top, newWindow.data());
            EXPECT_TRUE(top->isVisible());
            EXPECT_EQ(qobject_cast<TearOffSecondary*>(top)->Host, moved->TabWidget->DockWidget->Host);
            continue;
        }
        EXPECT_TRUE(newWindow.isNull()) << "the carrying window goes";
        TearOffDockWidget* movedGroup = moved->TabWidget->DockWidget;
        EXPECT_EQ(movedGroup->Host, TearOffMain::MainHost);
        EXPECT_EQ(movedGroup->TopWindow, main.get());
        const QRect t = targetGroup->geometry(), m = movedGroup->geometry();
        switch (c.lands) {
        case L::Left: EXPECT_LT(m.right(), t.left()); break;
        case L::Right: EXPECT_GT(m.left(), t.right()); break;
        case L::Above: EXPECT_LT(m.bottom(), t.top()); break;
        case L::Below: EXPECT_GT(m.top(), t.bottom()); break;
        case L::BottomEdge: EXPECT_EQ(main->MainHost->dockWidgetArea(movedGroup), Qt::BottomDockWidgetArea); break;
        case L::Inside:
        case L::FirstTab:
            EXPECT_EQ(moved->TabWidget, target->TabWidget);
            EXPECT_EQ(target->TabWidget->indexOf(moved), c.lands == L::FirstTab ? 0 : target->TabWidget->count() - 1);
            break;
        case L::OwnWindow: break;
        }
    }
}

// A window made by dragging a tab out of a group as wide as the screen opens
// wholly on the screen, and dragged to the screen's edge and dropped on
// nothing it stays wholly on it, under the pointer.
TEST_F(TabDragTest, TornOutWindowStaysWhollyOnTheScreen)
{
    // to: where the drag ends, as a share of the screen's width and height
    const struct { const char* name; bool panel; QPointF to; } cases[] = {
        {"panel to the right edge", true, {1, 0.8}}, {"panel to the left edge", true, {0, 0.8}},
        {"panel to the top edge", true, {0.8, 0}}, {"document to the right edge", false, {1, 0.3}},
        {"document to the top edge", false, {0.3, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown(), SetUp();
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        main->setGeometry(area);
        const QList<StubDoc*> docs = AddDocuments(2, false);
        QApplication::processEvents();
        TearOffTabDock* moved = c.panel ? panels[0] : docs[1];
        TearOffTabBar* bar = moved->TabWidget->TabBar;
        QWindow* top = bar->window()->windowHandle();
        const QPoint press = bar->mapToGlobal(bar->tabRect(bar->TabWidget->indexOf(moved)).center());
        const QPoint to =
            area.topLeft() + QPoint(qRound(c.to.x() * (area.width() - 1)), qRound(c.to.y() * (area.height() - 1)));
        const auto moveTo = [&](QPoint global) { QTest::mouseMove(top, global - top->position()); };
        QTest::mousePress(top, Qt::LeftButton, Qt::NoModifier, press - top->position());
        moveTo(press + QPoint(12, 0));
        QPointer<QMainWindow> window = main->Cover->NewWindow.data();
        ASSERT_TRUE(window);
        const auto expectOnScreen = [&](QPoint pointer) {
            const QRect frame = window->frameGeometry();
            EXPECT_TRUE(area.contains(frame)) << frame.x() << "," << frame.y() << " " << frame.width() << "x"
                                              << frame.height();
            EXPECT_TRUE(frame.contains(pointer));
        };
        expectOnScreen(press + QPoint(12, 0));
        // As a hand drags: in small steps.
        constexpr int STEPS = 20;
        for (int step = 1; step <= STEPS; ++step)
            moveTo(press + QPoint(12, 0) + (to - press - QPoint(12, 0)) * step / STEPS);
        QTest::mouseRelease(top, Qt::LeftButton, Qt::NoModifier, to - top->position());
        FlushDeletes();
        ASSERT_TRUE(window);
        EXPECT_EQ(moved->GetTopWindow(nullptr), window.data());
        expectOnScreen(to);
    }
}

// The one document of the main window stays where it is.
TEST_F(TabDragTest, LastDocumentOfTheMainWindowIsNotTornOut)
{
    StubDoc* doc = AddDocuments(1, false)[0];
    TearOffTabWidget* tabs = doc->TabWidget;
    const int windows = main->WindowCounter;
    TearOut(doc);
    DropAt(main->mapToGlobal(QPoint(50, 300)));
    EXPECT_EQ(doc->TabWidget, tabs);
    EXPECT_EQ(doc->GetTopWindow(nullptr), main.get());
    EXPECT_EQ(main->WindowCounter, windows);
    EXPECT_EQ(main->findChild<TearOffSecondary*>(), nullptr);
    ExpectNoLeftovers();
}

// The cover only paints: raising the window under the cursor and the event
// processing that goes with it belong to finding the target.
TEST_F(TabDragTest, PaintingTheCoverRaisesNothingAndProcessesNoEvents)
{
    AddDocuments(2, false);
    auto* doc = new StubDoc;
    auto* window = static_cast<TearOffSecondary*>(main->AddSecondaryTearOffDock(Qt::TopDockWidgetArea, doc, 0));
    window->setGeometry(100, 100, 400, 300);
    QApplication::processEvents();
    TearOffDockWidget* group = doc->TabWidget->DockWidget;
    const QPoint centre = group->mapToGlobal(group->rect().center());
    Cover* cover = main->Cover;
    cover->MovedDocks = {AddDocuments(1, false)[0]};
    cover->Host = TearOffMain::MainHost;
    cover->TargetRect = QRect(group->mapToGlobal(QPoint()), group->size());
    cover->TargetGroup = group, cover->TargetDock = doc, cover->Mode = Cover::GUIDES_ONE;
    cover->ScreenUnion = Cover::GetMinMaxScreen();
    cover->resize(cover->ScreenUnion.size());
    bool ran = false;
    QMetaObject::invokeMethod(qApp, [&ran] { ran = true; }, Qt::QueuedConnection);

    cover->grab();
    EXPECT_FALSE(ran);
    EXPECT_EQ(cover->Host, TearOffMain::MainHost);

    cover->UpdateDropTarget(centre);
    EXPECT_TRUE(ran);
    EXPECT_EQ(cover->Host, window->Host);
    EXPECT_EQ(cover->Zone, Cover::ZONE_CENTRE);
    cover->MovedDocks.clear();
}

// A secondary window moved by hand drags its documents along; the first
// move after it appeared, a move after a title double click, a maximised
// window and a move without the button are no drags.
TEST_F(TabDragTest, MovingASecondaryWindowDropsItsDocuments)
{
    // hinder: what keeps the move from being a drag; offset: of the cursor from the target group's centre
    enum class H { Nothing, FirstMove, DoubleClick, Maximised, ButtonUp };
    struct Case { const char* name; H hinder; int docs; QPoint offset; bool drags, drops; };
    const Case cases[] = {
        {"dragged", H::Nothing, 1, {}, true, true},
        // A window of several documents offers the centre guide only.
        {"two documents on the centre", H::Nothing, 2, {}, true, true},
        {"two documents on a side guide", H::Nothing, 2, {-40, 0}, true, false},
        {"first move", H::FirstMove, 1, {}, false, false}, {"title double click", H::DoubleClick, 1, {}, false, false},
        {"maximised", H::Maximised, 1, {}, false, false}, {"button up", H::ButtonUp, 1, {}, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown(), SetUp(); // a fresh main window for each case
        StubDoc* target = AddDocuments(1, false)[0];
        QList<StubDoc*> docs{new StubDoc};
        QPointer<ScriptedSecondary> window =
            static_cast<ScriptedSecondary*>(main->AddSecondaryTearOffDock(Qt::TopDockWidgetArea, docs[0], 0));
        while (docs.size() < c.docs) {
            docs.append(new StubDoc);
            window->AddTearOffDock(Qt::BottomDockWidgetArea, docs.last(), 0);
        }
        window->setGeometry(400, 300, 300, 200);
        QApplication::processEvents();
        QMouseEvent click(QEvent::NonClientAreaMouseButtonDblClick, QPointF(10, -5), Qt::LeftButton, Qt::LeftButton, {});
        if (c.hinder == H::DoubleClick)
            QApplication::sendEvent(window.data(), &click);
        if (c.hinder == H::Maximised)
            window->showMaximized();
        QApplication::processEvents();
        window->FirstMovePending = c.hinder == H::FirstMove;
        window->buttonDown = c.hinder != H::ButtonUp;
        TearOffDockWidget* targetGroup = target->TabWidget->DockWidget;
        QCursor::setPos(targetGroup->mapToGlobal(targetGroup->rect().center()) + c.offset);

        // As the window manager moves it: the window system reports the move.
        const QPoint from = window->pos();
        if (c.hinder != H::Maximised)
            window->move(from + QPoint(-200, -150));
        QMoveEvent moved(window->pos(), from);
        QSpontaneKeyEvent::setSpontaneous(&moved);
        qApp->notify(window.data(), &moved);
        QApplication::processEvents();
        EXPECT_EQ(window->Dragging, c.drags);
        EXPECT_EQ(main->Cover->isVisible(), c.drags);
        window->buttonDown = false;
        QTest::qWait(3 * TearOffSecondary::POLL_MS);
        FlushDeletes();

        EXPECT_EQ(window.isNull(), c.drops);
        for (StubDoc* doc : docs)
            EXPECT_EQ(doc->TabWidget == target->TabWidget, c.drops);
        EXPECT_FALSE(main->Cover->isVisible());
        ExpectNoLeftovers();
    }
}

} // namespace
