// The dock layout: saved from one window and restored into a fresh one,
// the start-up switches that decide whether the last session reopens,
// saved rectangles and dock areas that cannot be used as they are, graph
// tabs, and the session that a quit's save questions leave.
#include <algorithm>
#include <tuple>

#include <QDebug>
#include <QScreen>
#include <QTest>

#include "kxlib/table/kxtable.h"
#include "kxviewer/actiontable.h"
#include "kxviewer/kxvglobals.h"
#include "kxviewer/systemlogplaintext.h"
#include "kxviewer/table/tabactionids.h"
#include "kxviewer/table/tabtable.h"
#include "openfixture.h"
#include "tearoffwidget/tearoffdockwidget.h"
#include "tearoffwidget/tearoffsecondary.h"
#include "tearoffwidget/tearofftabdock.h"
#include "tearoffwidget/tearofftabwidget.h"

using namespace shelltest;

namespace {

class LayoutTest : public OpenTest {
protected:
    // The settings the tests change, restored afterwards.
    static auto Prefs()
    {
        return std::tie(PrefGlobal::SystemDocks, PrefGlobal::SavedDocks, PrefGlobal::GlobalShowOnStartup,
                        PrefGlobal::OpenInSavedWindows, PrefGlobal::RDebugMode, PrefGlobal::PanelSystemLog);
    }
    void SetUp() override
    {
        saved = Prefs();
        OpenTest::SetUp();
    }
    void TearDown() override
    {
        OpenTest::TearDown();
        Prefs() = saved;
        PrefGlobal::DockLoadReports.clear();
        // The next test program in this folder reads the same ini file.
        PrefGlobal::IniViewer.Ini.DeleteNumberedSections("SaveDocks.Dock", 0);
        PrefGlobal::Save();
    }
    // A new main window in place of the old one, as at the next start.
    void Restart()
    {
        window.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        window = std::make_unique<MainWindow>(qApp);
        QCoreApplication::processEvents();
    }

    // Where each dock is: title, tab group (numbered in order of first
    // appearance), the group's area and the tab's place.
    QStringList Placements() const
    {
        QStringList placements;
        QList<const TearOffDockWidget*> groups;
        for (const TearOffDockWidget* group : window->DockWidgets)
            for (TearOffTabDock* dock : window->Docks)
                if (dock->TabWidget && dock->TabWidget->DockWidget == group && !groups.contains(group))
                    groups << group;
        for (TearOffTabDock* dock : window->Docks) {
            const TearOffDockWidget* group = dock->TabWidget ? dock->TabWidget->DockWidget : nullptr;
            if (group == nullptr)
                continue;
            const int area = group->Host->dockWidgetArea(const_cast<TearOffDockWidget*>(group));
            placements << QStringLiteral("%1 %2 g%3 a%4 t%5").arg(dock->windowTitle(), group->Host->objectName())
                              .arg(groups.indexOf(group)).arg(area).arg(dock->TabWidget->indexOf(dock));
        }
        placements.sort();
        return placements;
    }

    // Sets the start-up switches and starts again.
    void RestartWith(bool show, bool openInSaved, bool debug)
    {
        PrefGlobal::GlobalShowOnStartup = show, PrefGlobal::OpenInSavedWindows = openInSaved;
        PrefGlobal::RDebugMode = debug;
        Restart();
    }

    std::tuple<std::vector<DockEntry>, std::vector<DockEntry>, bool, bool, bool, bool> saved;
};

// Within a few pixels: the platform may move a window by its frame.
::testing::AssertionResult Near(const QRect& actual, const QRect& expected)
{
    const QPoint a = actual.topLeft() - expected.topLeft(), b = actual.bottomRight() - expected.bottomRight();
    if (std::max({std::abs(a.x()), std::abs(a.y()), std::abs(b.x()), std::abs(b.y())}) <= 6)
        return ::testing::AssertionSuccess();
    QString text;
    QDebug(&text).nospace() << "rectangle " << actual << ", not " << expected;
    return ::testing::AssertionFailure() << text.toStdString();
}

DockEntry Saved(const QString& path, int32_t tab)
{
    DockEntry entry;
    entry.name = QFile::encodeName(path).toStdString();
    entry.tabNumber = tab;
    entry.dockArea = DOCK_AREA_TOP;
    return entry;
}

} // namespace

// Documents as tabs of one group, two groups in a secondary window, the
// panels moved to the left and the windows' rectangles come back the same
// in a fresh main window.
TEST_F(LayoutTest, SavedLayoutComesBackInAFreshWindow)
{
    for (const char* name : {"a.kx", "b.kx", "c.kx", "d.kx"})
        Trigger(ACT_OPEN, RawFile(name, 30));
    // d goes to a window of its own, c joins it as a second group.
    window->DockDetach();
    auto* secondary = qobject_cast<TearOffSecondary*>(window->Docks.last()->TabWidget->DockWidget->TopWindow);
    ASSERT_NE(secondary, nullptr);
    secondary->AddTearOffDock(Qt::LeftDockWidgetArea, window->Docks[4], 0);
    // Rectangles on the screen, no smaller than the windows allow.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    secondary->setGeometry(QRect(screen.topLeft() + QPoint(40, 50),
                                 (screen.size() * 5 / 8).expandedTo(secondary->minimumSize())));
    TearOffMain::MainHost->addDockWidget(Qt::LeftDockWidgetArea, MainWindow::SystemLogDock->TabWidget->DockWidget);
    window->showNormal();
    const QRect wanted(screen.topLeft() + QPoint(20, 30), (screen.size() * 3 / 4).expandedTo(window->minimumSize()));
    if (!screen.contains(wanted))
        GTEST_SKIP() << "the main window's least size does not fit the screen";
    window->setGeometry(wanted);
    QCoreApplication::processEvents();
    const QRect rect = window->geometry();
    const QRect secondaryRect = secondary->geometry();
    const QStringList before = Placements();
    ASSERT_EQ(before, (QStringList{"Debug LRTabWin0 g0 a1 t1", "System Log LRTabWin0 g0 a1 t0", "a LRTabWin0 g1 a4 t0",
                                   "b LRTabWin0 g1 a4 t1", "c LRTabWin1 g3 a1 t0", "d LRTabWin1 g2 a4 t0"}));
    PrefGlobal::OpenInSavedWindows = true;
    window->SaveDocks();

    PrefGlobal::SavedDocks.clear();
    PrefGlobal::LoadDocks(PrefGlobal::IniViewer.Ini);
    RestartWith(true, true, true);
    window->RestoreSession();
    EXPECT_EQ(Placements(), before);
    EXPECT_TRUE(Near(window->geometry(), rect));
    const QList<TearOffSecondary*> secondaries = window->findChildren<TearOffSecondary*>();
    ASSERT_EQ(secondaries.size(), 1);
    EXPECT_TRUE(secondaries[0]->isVisible());
    EXPECT_TRUE(Near(secondaries[0]->geometry(), secondaryRect));
    EXPECT_TRUE(files.calls.empty());
}

// The last session reopens only while both switches are on: without
// "OpenInSavedWindows" the layout is no longer written and what is saved is
// stale. RDebugMode reopens without asking.
TEST_F(LayoutTest, StartupSwitchesDecideWhetherTheSessionReopens)
{
    // documentsSaved: 2: a and b; 0: only the panels; -2: two gone since
    struct Case { const char* name; bool show, openInSaved, debug; QMessageBox::StandardButton answer;
        int documentsSaved; bool asked; int reopened; };
    const Case cases[] = {
        {"both on, Yes", true, true, false, QMessageBox::Yes, 2, true, 2},
        {"both on, No", true, true, false, QMessageBox::No, 2, true, 0},
        {"both on, debug mode", true, true, true, QMessageBox::No, 2, false, 2},
        {"auto-open off: a stale session stays closed", true, false, true, QMessageBox::Yes, 2, false, 0},
        {"show on start-up off", false, true, true, QMessageBox::Yes, 2, false, 0},
        {"only the two panels saved", true, true, false, QMessageBox::Yes, 0, false, 0},
        {"saved documents gone since", true, true, false, QMessageBox::Yes, -2, false, 0},
    };
    const std::vector<DockEntry> present{Saved(RawFile("a.kx", 30), 0), Saved(RawFile("b.kx", 30), 1)};
    const std::vector<DockEntry> gone{Saved(Missing("gone1.kx"), 0), Saved(Missing("gone2.kx"), 1)};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PrefGlobal::SavedDocks = c.documentsSaved > 0 ? present : c.documentsSaved < 0 ? gone : decltype(gone){};
        RestartWith(c.show, c.openInSaved, c.debug);
        files.calls.clear();
        files.answers = {c.answer};
        window->RestoreSession();
        ASSERT_EQ(files.calls.size(), c.asked ? 1u : 0u);
        if (c.asked) {
            EXPECT_EQ(files.calls[0].text, "Open documents from the last session?");
        }
        EXPECT_EQ(int(Documents().size()), c.reopened);
        if (c.reopened > 0) {
            EXPECT_EQ(TearOffMain::CurrentDock, window->Docks.last());
        }
        EXPECT_EQ(MainWindow::SystemLogDock->TabWidget->currentWidget(), MainWindow::SystemLogDock);
    }
}

// A saved rectangle is used only when enough of it lies on a present
// screen, cut to the screen; a dock area other than left, right, top or
// bottom places the panels at the top. Reports of the loaded sections reach
// the System Log.
TEST_F(LayoutTest, UnusableRectanglesAndAreasAreMended)
{
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QSize fallback = screen.size() * 3 / 4;
    // expected invalid: the fallback size
    struct Case { const char* name; QRect saved, expected; int32_t area; Qt::DockWidgetArea expectedArea; };
    const Case cases[] = {
        {"on no screen", QRect(screen.right() + 500, 40, 300, 200), {}, DOCK_AREA_LEFT, Qt::LeftDockWidgetArea},
        {"no size", QRect(10, 10, 0, 200), {}, DOCK_AREA_RIGHT, Qt::RightDockWidgetArea},
        {"partly on the screen", QRect(-100, 10, 400, 300), QRect(-100, 10, 400, 300), 16, Qt::TopDockWidgetArea},
        {"larger than the screen", QRect(0, 0, 50000, 40000), {{0, 0}, screen.size()}, 0, Qt::TopDockWidgetArea},
        {"a corner of 10 pixels", QRect(screen.right() - 9, 10, 400, 300), {}, DOCK_AREA_BOTTOM,
         Qt::BottomDockWidgetArea},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (DockEntry& panel : PrefGlobal::SystemDocks)
            std::tie(panel.maximised, panel.x, panel.y, panel.width, panel.height, panel.dockArea) =
                std::make_tuple(false, c.saved.x(), c.saved.y(), c.saved.width(), c.saved.height(), c.area);
        Restart();
        // The window never gets smaller than its layout allows.
        const QSize least = window->minimumSize();
        if (c.expected.isValid())
            EXPECT_TRUE(Near(window->geometry(), QRect(c.expected.topLeft(), c.expected.size().expandedTo(least))));
        else
            EXPECT_EQ(window->size(), fallback.expandedTo(least));
        TearOffDockWidget* group = MainWindow::SystemLogDock->TabWidget->DockWidget;
        EXPECT_EQ(TearOffMain::MainHost->dockWidgetArea(group), c.expectedArea);
        EXPECT_EQ(MainWindow::DebugDock->TabWidget->DockWidget, group);
    }

    const char* report = "Saved layout: [SaveDocks.Dock2] has dock area 77, top used";
    PrefGlobal::DockLoadReports = {report};
    window->RestoreSession();
    EXPECT_TRUE(MainWindow::SystemLogView->toPlainText().contains(report));
    EXPECT_TRUE(PrefGlobal::DockLoadReports.empty());
}

// Secondary windows wait hidden until the session is restored; one whose
// only panel is switched off stays hidden, one saved maximised comes back
// maximised.
TEST_F(LayoutTest, SecondaryWindowsComeBackInTheirSavedState)
{
    // documentMaximised: a document saved maximised in a window of its own
    struct Case { const char* name; bool panelInSecondary, panelShown, documentMaximised, visible, maximised; };
    const Case cases[] = {
        {"the System Log's window with the panel on", true, true, false, true, false},
        {"the System Log's window with the panel off stays hidden", true, false, false, false, false},
        {"a document's window saved maximised", false, true, true, true, true},
    };
    DockEntry document = Saved(RawFile("a.kx", 30), 0);
    document.windowNumber = 2;
    document.maximised = true;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PrefGlobal::SystemDocks = std::get<0>(saved);
        PrefGlobal::SystemDocks[0].windowNumber = c.panelInSecondary ? 1 : 0;
        for (DockEntry& panel : PrefGlobal::SystemDocks)
            panel.maximised = false;
        PrefGlobal::PanelSystemLog = c.panelShown;
        PrefGlobal::SavedDocks = c.documentMaximised ? std::vector<DockEntry>{document} : std::vector<DockEntry>{};
        RestartWith(true, true, true);
        const QList<TearOffSecondary*> waiting = window->findChildren<TearOffSecondary*>();
        ASSERT_EQ(waiting.size(), c.panelInSecondary ? 1 : 0);
        for (TearOffSecondary* secondary : waiting)
            EXPECT_FALSE(secondary->isVisible()) << "hidden until the session is restored";
        window->RestoreSession();
        const QList<TearOffSecondary*> secondaries = window->findChildren<TearOffSecondary*>();
        ASSERT_EQ(secondaries.size(), 1);
        EXPECT_EQ(secondaries[0]->isVisible(), c.visible);
        EXPECT_EQ(secondaries[0]->isMaximized(), c.maximised);
    }
}

// A graph tab comes back as the graph of its reopened document, beside it,
// never as a second load of the file; without its document it stays closed.
TEST_F(LayoutTest, GraphTabComesBackAsTheGraphOfItsDocument)
{
    // titles: the documents after the restart.
    const struct { const char* name; bool documentSaved; QStringList titles; } cases[] = {
        {"with its document", true, {"a", "a:graph"}},
        {"its document not saved", false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Restart();
        Trigger(ACT_OPEN, RawFile("a.kx", 30));
        Trigger(ACT_OPEN, RawFile("b.kx", 30));
        auto* tab = qobject_cast<TabTable*>(Documents().at(0));
        ASSERT_NE(tab, nullptr);
        if (!tab->Table->TimeNormalised())
            tab->Actions[TACT_RELATIVE_TIME]->trigger();
        tab->Actions[TACT_CREATE_GRAPH]->trigger();
        ASSERT_NE(tab->GraphTab, nullptr);
        PrefGlobal::OpenInSavedWindows = true;
        window->SaveDocks();
        PrefGlobal::SavedDocks.clear();
        PrefGlobal::LoadDocks(PrefGlobal::IniViewer.Ini);
        auto& saved = PrefGlobal::SavedDocks;
        if (!c.documentSaved)
            saved.erase(std::remove_if(saved.begin(), saved.end(),
                                       [](const DockEntry& e) { return QString::fromStdString(e.name).endsWith("/a.kx"); }),
                        saved.end());
        RestartWith(true, true, true);
        window->RestoreSession();
        QStringList titles;
        for (TabBase* document : Documents())
            if (document->windowTitle() != QLatin1String("b"))
                titles << document->windowTitle();
        titles.sort();
        EXPECT_EQ(titles, c.titles);
        if (c.documentSaved) {
            auto* reopened = qobject_cast<TabTable*>(Documents().at(0));
            ASSERT_NE(reopened, nullptr);
            EXPECT_NE(reopened->GraphTab, nullptr);
        }
    }
}

// Documents imported with a format that their suffix does not name, or
// without a suffix, come back read with that format; layouts saved before
// the format was kept, and formats gone since, leave it to the suffix.
TEST_F(LayoutTest, ImportedDocumentsComeBackWithTheirFormat)
{
    const auto [pipe, log, bare] = ImportPipeFiles();
    ASSERT_EQ(Documents().size(), 2u);
    PrefGlobal::OpenInSavedWindows = true;
    window->SaveDocks();
    const auto restart = [&] {
        PrefGlobal::SavedDocks.clear();
        PrefGlobal::LoadDocks(PrefGlobal::IniViewer.Ini);
        RestartWith(true, true, true);
        window->RestoreSession();
    };

    restart();
    ASSERT_EQ(Documents().size(), 2u);
    for (TabBase* document : Documents())
        EXPECT_EQ(document->SourceType, pipe) << document->windowTitle().toStdString();
    EXPECT_EQ(Documents()[0]->Table->RowCount() + Documents()[1]->Table->RowCount(), 9);
    EXPECT_TRUE(files.execTitles.empty());

    // The layout as an older version wrote it, without the formats.
    std::vector<DockEntry> entries = PrefGlobal::SystemDocks;
    for (DockEntry entry : PrefGlobal::SavedDocks) {
        EXPECT_EQ(entry.format, "Pipe");
        entry.format.clear();
        entries.push_back(entry);
    }
    PrefGlobal::SaveDocks(PrefGlobal::IniViewer.Ini, entries);
    restart();
    ASSERT_EQ(Documents().size(), 1u);
    EXPECT_EQ(Documents()[0]->SourceType, 0);
    EXPECT_EQ(LinesWith("Import format for file '" + bare.toStdString() + "' not found").size(), 1u);

    // Saved again with the format, which is then renamed.
    Restart();
    ImportWith(pipe, {bare});
    window->SaveDocks();
    ImportFormats[size_t(pipe)].name = "Pipes";
    restart();
    EXPECT_TRUE(Documents().empty());
    EXPECT_EQ(LinesWith("Import format \"Pipe\" that file " + bare.toStdString() +
                        " was read with no longer exists; it is opened as its suffix says")
                  .size(),
              1u);
}

// The session written at quit names what the quit's questions left: a
// document saved through them comes back as the file it was saved to, with
// its bookmark; one let go unsaved as its source. A cancelled quit writes
// no layout.
TEST_F(LayoutTest, DocumentsSavedOnQuitComeBackAsSaved)
{
    const QString log = SysLogFile("auth.log", 6);
    const QString other = SysLogFile("kern.log", 4);
    const QString saved = dir.filePath("x.kxl");
    PrefGlobal::GlobalShowOnStartup = true, PrefGlobal::OpenInSavedWindows = true;
    PrefGlobal::RDebugMode = false;
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    for (const QString& path : {log, other}) {
        Trigger(ACT_OPEN, path);
        TabTable* tab = window->CurrentTabTable();
        ASSERT_NE(tab, nullptr);
        ASSERT_NO_FATAL_FAILURE(FocusTable(tab));
        QTest::keySequence(tab->View, window->Actions[ACT_BOOKMARK]->shortcut());
        ASSERT_EQ(tab->Table->Bookmarks().Length(), 1u);
    }
    PrefGlobal::IniViewer.Ini.DeleteNumberedSections("SaveDocks.Dock", 0);
    files.answers = {QMessageBox::Cancel};
    EXPECT_FALSE(window->close());
    EXPECT_EQ(PrefGlobal::IniViewer.Ini.FindSection("SaveDocks.Dock0"), nullptr);

    files.calls.clear();
    files.answers = {QMessageBox::Yes, QMessageBox::No};
    files.files = {saved};
    EXPECT_TRUE(window->close());
    ASSERT_EQ(files.calls.size(), 2u);
    PrefGlobal::SavedDocks.clear();
    PrefGlobal::LoadDocks(PrefGlobal::IniViewer.Ini);
    QStringList names;
    for (const DockEntry& entry : PrefGlobal::SavedDocks)
        names << QFile::decodeName(entry.name.c_str());
    names.sort();
    EXPECT_EQ(names, (QStringList{other, saved}));

    RestartWith(true, true, false);
    files.calls.clear();
    files.answers = {QMessageBox::Yes};
    window->RestoreSession();
    ASSERT_FALSE(files.calls.empty());
    EXPECT_EQ(files.calls[0].text, "Open documents from the last session?");
    ASSERT_EQ(Documents().size(), 2u);
    for (TabBase* document : Documents()) {
        const bool kxl = QFile::decodeName(document->Table->Path()) == saved;
        SCOPED_TRACE(document->windowTitle().toStdString());
        EXPECT_EQ(document->SourceType == TabBase::SOURCE_KXL, kxl);
        EXPECT_EQ(document->Table->Bookmarks().Length(), kxl ? 1u : 0u);
    }
}
