// The document tab: naming, title mark, modified rule, counters, bindings,
// activation and closing.
#include <set>

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include "kxviewer/prefdata.h"
#include "kxviewer/table/tabbindings.h"
#include "tabtestenv.h"
#include "tearoffwidget/tearofftabwidget.h"

namespace {

using tabtest::Contains;

class TabBaseTest : public tabtest::TabTest {};

TEST_F(TabBaseTest, NewBlankDocumentsCountUpFromTheLargestNumber)
{
    auto* first = new TabBase(nullptr, nullptr);
    auto* second = new TabBase(nullptr, nullptr);
    EXPECT_EQ(first->windowTitle(), "New1");
    EXPECT_EQ(second->windowTitle(), "New2");
    EXPECT_STREQ(second->Table->Name(), "New2");
    EXPECT_EQ(second->SourceType, TabBase::SOURCE_BUILT);
    // A table made in memory has no path and is editable.
    EXPECT_STREQ(second->Table->Path(), "");
    EXPECT_TRUE(second->Table->IsEditable());

    first->setWindowTitle("New7");
    second->setWindowTitle("New3*");
    auto* third = new TabBase(nullptr, nullptr);
    EXPECT_EQ(third->windowTitle(), "New8");

    delete first;
    // A modified title still names its number.
    EXPECT_EQ(TabBase::NewDocumentName(), "New9");
    delete third;
    EXPECT_EQ(TabBase::NewDocumentName(), "New4");
    auto* named = new TabBase("Scratch", nullptr);
    EXPECT_EQ(named->windowTitle(), "Scratch");
    delete named;
    delete second;
}

TEST_F(TabBaseTest, AFileOpenTwiceIsNumberedWithoutCountingGraphs)
{
    const QString path = WriteKx("trace.kx");
    TabBase* first = Open(path, TabBase::SOURCE_KX);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->windowTitle(), "trace");

    TabBase* second = Open(path, TabBase::SOURCE_KX);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->windowTitle(), "trace(1)");
    EXPECT_STREQ(second->Table->Name(), "trace(1)");

    auto* graph = new TabBase(*first, nullptr);
    graph->GraphState = TabBase::GRAPH_IS_GRAPH;
    EXPECT_EQ(graph->windowTitle(), "trace");
    EXPECT_EQ(first->Table->RefCount(), 2u);

    TabBase* third = Open(path, TabBase::SOURCE_KX);
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(third->windowTitle(), "trace(2)");

    delete graph;
    EXPECT_EQ(first->Table->RefCount(), 1u);
}

TEST_F(TabBaseTest, ModifiedRule)
{
    struct Case {
        int32_t graphState;
        int32_t source;
        bool tableModified;
        bool modified;
    };
    const Case cases[] = {
        // A document as it was opened; whatever else of it changed is
        // caught by comparing with what it was opened with.
        {TabBase::GRAPH_NONE, TabBase::SOURCE_KXL, false, false},
        {TabBase::GRAPH_NONE, TabBase::SOURCE_KXL, true, true},
        {TabBase::GRAPH_NONE, TabBase::SOURCE_KX, false, false},
        {TabBase::GRAPH_NONE, TabBase::SOURCE_KX, true, true},
        {TabBase::GRAPH_NONE, TabBase::SOURCE_BUILT, true, true},
        {TabBase::GRAPH_NONE, 0, false, false},
        {TabBase::GRAPH_OPEN, TabBase::SOURCE_KXD, true, true},
        {TabBase::GRAPH_IS_GRAPH, TabBase::SOURCE_KXL, true, false},
    };
    auto* tab = new TabBase(nullptr, nullptr);
    for (const Case& c : cases) {
        tab->GraphState = c.graphState;
        tab->SourceType = c.source;
        tab->Table->SetModified(c.tableModified);
        EXPECT_EQ(tab->IsModified(), c.modified) << c.graphState << " " << c.source << " " << c.tableModified;
    }
    tab->DiscardChanges();
    EXPECT_FALSE(tab->Table->Modified());
    EXPECT_TRUE(tab->CanCloseSilently());
    EXPECT_TRUE(tab->MayClose());
    tab->GraphState = TabBase::GRAPH_NONE;
    delete tab;
}

TEST_F(TabBaseTest, CountersText)
{
    const struct {
        int32_t rows, filtered, selected;
        const char* text;
    } cases[] = {{0, 0, 0, ""},
                 {12, 0, 0, "<b>12 Rows</b>  "},
                 {12, 5, 3, "Selected 3 / Filtered 5 / <b>12 Rows</b>  "},
                 {12, 12, 0, "<b>12 Rows</b>  "},
                 {0, 0, 2, "Selected 2 / "}};
    for (const auto& c : cases)
        EXPECT_EQ(TabBase::CountersText(c.rows, c.filtered, c.selected), c.text);

    TabBase* tab = Open(WriteKx("count.kx", 30), TabBase::SOURCE_KX);
    ASSERT_NE(tab, nullptr);
    tab->CountersLabel = new QLabel(tab);
    tab->Table->SelRangeSet(2, 4, true, 0xFFFF00);
    tab->UpdateInformer();
    EXPECT_EQ(tab->CountersLabel->text(), "Selected 3 / <b>30 Rows</b>  ");
    tab->SetCounter("Filtered", 7);
    EXPECT_EQ(tab->CountersLabel->text(), "Selected 3 / Filtered 7 / <b>30 Rows</b>  ");
}

TEST_F(TabBaseTest, EveryBindingReachesASlotOnce)
{
    auto* tab = new TabBase(nullptr, nullptr);
    std::set<int32_t> ids;
    for (int i = 0; i < TabBaseBindingCount; ++i) {
        const ComActionBinding& binding = TabBaseBindings[i];
        const QByteArray slot = QMetaObject::normalizedSignature(binding.slot + 1);
        EXPECT_GE(tab->metaObject()->indexOfSlot(slot.constData()), 0) << binding.slot;
        EXPECT_TRUE(ids.insert(binding.id).second) << "bound twice: " << binding.id;
        ASSERT_NE(tab->Actions[binding.id], nullptr) << binding.id;
        // Without the main window's list no tab action takes a shortcut.
        EXPECT_EQ(binding.position, -1);
        EXPECT_TRUE(tab->Actions[binding.id]->shortcut().isEmpty());
    }
    EXPECT_EQ(TabBaseBindings[TabBaseBindingCount].id, -1);
    EXPECT_FALSE(tab->Actions[20]->isVisible());
    EXPECT_FALSE(tab->Actions[30]->isVisible());
    tab->Actions[30]->trigger();
    ASSERT_EQ(prompt.asked.size(), 1);
    EXPECT_EQ(prompt.asked[0].title, "");
    EXPECT_EQ(prompt.asked[0].text, "NOT IMPLEMENTED!");
    delete tab;
}

// A main window that mixes in the action array, as the application's does.
class MainWithActions : public TestMain, public ComActionBase<ComActionCount> {};

TEST_F(TabBaseTest, ActivationFollowsTheHostedScriptsPanel)
{
    main.reset();
    auto withActions = std::make_unique<MainWithActions>();
    QAction panel(withActions.get());
    QAction run(withActions.get());
    panel.setCheckable(true);
    withActions->Actions[25] = &panel;
    withActions->Actions[106] = &run;

    auto* tab = new TabBase(nullptr, nullptr);
    tab->ScriptsPanelHosted = 1;
    tab->ChangeActive(true);
    EXPECT_TRUE(panel.isChecked());
    EXPECT_TRUE(run.isEnabled());
    EXPECT_EQ(withActions->updateActions, 1);

    tab->ScriptsPanelHosted = 0;
    tab->ChangeActive(true);
    EXPECT_FALSE(panel.isChecked());
    EXPECT_FALSE(run.isEnabled());

    // Deactivation only refreshes the actions.
    tab->ScriptsPanelHosted = 1;
    tab->ChangeActive(false);
    EXPECT_FALSE(panel.isChecked());
    EXPECT_EQ(withActions->updateActions, 3);

    delete tab;
    withActions->Actions[25] = nullptr;
    withActions->Actions[106] = nullptr;
}

// The title carries one star while modified; closing a modified document
// asks, and "No" discards.
TEST_F(TabBaseTest, ModifiedTitleAndClosingAsksAndDiscards)
{
    auto* tab = new TabBase(nullptr, nullptr);
    Dock(tab);
    const int index = tab->TabWidget->indexOf(tab);
    QPointer<TabBase> alive(tab);
    for (bool modified : {true, false, true}) {
        tab->Table->SetModified(modified);
        tab->UpdateTitle();
        tab->UpdateTitle();
        EXPECT_EQ(tab->windowTitle(), modified ? "New1*" : "New1");
        EXPECT_EQ(tab->TabWidget->tabText(index), modified ? "New1*" : "New1");
    }

    prompt.answers.enqueue(QMessageBox::Cancel);
    tab->Actions[23]->trigger();
    FlushDeletes();
    ASSERT_TRUE(alive);
    ASSERT_EQ(prompt.asked.size(), 1);
    // The name without the title's change mark.
    EXPECT_EQ(prompt.asked[0].text, "Table \"New1\" was changed.\nDo you want to save it?");

    prompt.answers.enqueue(QMessageBox::No);
    tab->Close();
    FlushDeletes();
    EXPECT_FALSE(alive);
    EXPECT_TRUE(Contains(shell.log, "Document \"New1\" closed"));
    EXPECT_TRUE(Contains(shell.status, "Document \"New1\" closed"));
    EXPECT_EQ(hooks.lastClosed, 1);
    EXPECT_EQ(main->Docks.size(), 2);
}

// A graph closes itself, not the current tab, without asking; the closing
// messages name the kind.
TEST_F(TabBaseTest, CloseTakesThisTabEvenWhenAnotherIsCurrent)
{
    auto* table = new TabBase(nullptr, nullptr);
    Dock(table);
    auto* graph = new TabBase(*table, nullptr);
    graph->GraphState = TabBase::GRAPH_IS_GRAPH;
    Dock(graph);
    table->TabWidget->setCurrentWidget(table);
    QPointer<TabBase> graphAlive(graph);
    QPointer<TabBase> tableAlive(table);

    graph->CloseSatellites();
    FlushDeletes();
    EXPECT_FALSE(graphAlive);
    EXPECT_TRUE(tableAlive);
    EXPECT_TRUE(prompt.asked.isEmpty());
    EXPECT_TRUE(Contains(shell.log, "Graph \"New1\" closed"));
    EXPECT_EQ(hooks.lastClosed, 0);

    auto* functions = new TabBase("calls", nullptr);
    functions->FuncsDocument = 1;
    delete functions;
    EXPECT_TRUE(Contains(shell.log, "Functions document \"calls\" closed"));
}

TEST_F(TabBaseTest, RightClicksAreSwallowedAndDeleteDropsAHistoryEntry)
{
    auto* tab = new TabBase(nullptr, nullptr);
    Dock(tab);
    PrefGlobal::SearchHistory = {{0, 1, "alpha"}, {1, 0, "beta"}, {0, 0, "gamma"}};
    tab->FindCombo = new QComboBox(tab);
    tab->FindCombo->addItems({"alpha", "beta", "gamma"});
    tab->FindCombo->view()->installEventFilter(tab);
    tab->FindCombo->installEventFilter(tab);

    QMouseEvent right(QEvent::MouseButtonRelease, QPointF(2, 2), Qt::RightButton, Qt::NoButton, Qt::NoModifier);
    EXPECT_TRUE(tab->eventFilter(tab->FindCombo, &right));
    QMouseEvent left(QEvent::MouseButtonRelease, QPointF(2, 2), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    EXPECT_FALSE(tab->eventFilter(tab->FindCombo, &left));

    tab->FindCombo->view()->setCurrentIndex(tab->FindCombo->model()->index(1, 0));
    QTest::keyRelease(tab->FindCombo->view(), Qt::Key_Delete);
    ASSERT_EQ(PrefGlobal::SearchHistory.size(), 2u);
    EXPECT_EQ(PrefGlobal::SearchHistory[0].expression, "alpha");
    EXPECT_EQ(PrefGlobal::SearchHistory[1].expression, "gamma");
    EXPECT_EQ(tab->FindCombo->count(), 2);
    EXPECT_EQ(tab->FindCombo->itemText(1), "gamma");
    PrefGlobal::SearchHistory.clear();
}

TEST_F(TabBaseTest, TabMenuOffersDockingAndPresentationErrors)
{
    auto* tab = new TabBase(nullptr, nullptr);
    Dock(tab);
    QList<QAction*> shown;
    QTimer::singleShot(0, [&shown]() {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            // The separator goes with the menu: it is kept as null.
            for (QAction* action : menu->actions())
                shown.append(action->isSeparator() ? nullptr : action);
            menu->close();
        }
    });
    tab->ShowTabMenu(tab->mapToGlobal(QPoint(5, 5)));
    EXPECT_EQ(shown, (QList<QAction*>{tab->Actions[26], tab->Actions[27], tab->Actions[28], tab->Actions[29], nullptr,
                                      tab->Actions[42]}));
}

TEST_F(TabBaseTest, InfoTimeInTheTimeFormat)
{
    auto* tab = new TabBase(nullptr, nullptr);
    ASSERT_NE(tab->InfoTable, nullptr);
    tab->Table->Prefs().Time0 = 1234567;
    // A format the TIME field cannot take shows the plain number.
    const std::pair<int32_t, const char*> cases[] = {{1, "1234567"}, {2, "0x12D687"}, {0, "1234567"}, {99, "1234567"}};
    for (const auto& c : cases) {
        tab->Table->Prefs().formats[FIELD_TIME] = c.first;
        tab->UpdateInfoTime();
        EXPECT_EQ(tab->InfoTable->item(2, 1)->text(), c.second) << c.first;
    }
    delete tab;
}

} // namespace
