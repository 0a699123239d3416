// A command that turns the event loop (the view's new model, a question, a
// dialog, a menu) may meet its document closed in that turn. It stops
// there: under AddressSanitizer a touch of the freed tab fails the test.
#include <functional>
#include <string>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QItemSelectionModel>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include "kxviewer/kxvglobals.h"
#include "kxviewer/table/auxtreeview.h"
#include "kxviewer/table/docktitlebar.h"
#include "kxviewer/table/fieldsdialog.h"
#include "kxviewer/table/finddialog.h"
#include "kxviewer/table/outlineview.h"
#include "kxviewer/table/panedocks.h"
#include "kxviewer/table/tabactionids.h"
#include "kxviewer/table/tabtablemodel.h"
#include "script/scriptlogicalexp/scriptlogicalexpparser.h"
#include "tabletabenv.h"

namespace {

const bool registered = (ScriptLogicalExpParser::Register(), true);

constexpr int ACT_QUICK_FILTER = 89;
constexpr uint32_t RANGE_COLOR = 0x00FF00;

// The document closed as a close handled inside a modal loop closes it:
// taken from its group and deleted before the loop returns.
void CloseAndDelete(TabTable* tab)
{
    tab->DiscardChanges();
    tab->Close();
    FlushDeletes();
}

class TurnCloseTest : public tabletest::TableTabTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(registered);
        actions.Entry(TACT_FILTER).checkable = 1;
        TableTabTest::SetUp();
    }
    void TearDown() override
    {
        KxvGlobals::CopyInformation.Clear();
        TableTabTest::TearDown();
    }

    static RawRecord Threaded(const char* tname, const char* text)
    {
        RawRecord raw = Record(text);
        raw.tname = tname;
        return raw;
    }

    TabTable* OpenThreads()
    {
        return OpenRecords({Threaded("p", "a"), Threaded("q", "b"), Threaded("p", "c"), Threaded("q", "d")});
    }

    // Rows 1-3 filtered, row 1 bookmarked and the Outline listing bookmarks.
    static void FilterAndBookmark(TabTable* tab)
    {
        tab->SelRangeSet(0, 2, true, RANGE_COLOR);
        tab->FilterSelected();
        ASSERT_TRUE(tab->Table->FilterOn);
        tab->BookmarkSet(0, true);
        for (int i = 0; i < JUMP_Nums; ++i)
            tab->SetOutlineCondition(i, i == JUMP_BOOKMARKS);
        tab->RefreshOutlineTable();
    }

    // A graph open, as far as the table tab's questions go.
    static TabTable* UnderGraph(TabTable* tab)
    {
        tab->GraphState = TabBase::GRAPH_OPEN;
        return tab;
    }
};

// Closes its document at the first question, box or dialog, and goes on as
// a user who agreed would.
class ClosingPrompt : public ScriptedPrompt {
public:
    QPointer<TabTable> closes;
    QString fileName;

    QMessageBox::StandardButton Message(QWidget*, QMessageBox::Icon, const QString&, const QString&,
                                        QMessageBox::StandardButtons, QMessageBox::StandardButton) override
    {
        return Turn(QMessageBox::Yes);
    }
    QString SaveFileName(QWidget*, const QString&, const QString&, const QString&, const QString&) override
    {
        return Turn(fileName);
    }
    QColor Color(const QColor&, QWidget*, const QString&) override { return Turn(QColor(Qt::red)); }
    int Exec(QDialog*) override { return Turn(int(FieldsDialog::COLUMNS_CHANGED)); }

private:
    template <typename Answer>
    Answer Turn(Answer answer)
    {
        if (closes)
            CloseAndDelete(closes);
        return answer;
    }
};

// How the document goes in the command's turn: closed by its tab (deleted at
// the next turn, which may be one of the same command), or closed and
// deleted at once, as that next turn of the command would.
enum class Close { NONE, CLOSED, DELETED };

TEST_F(TurnCloseTest, ACommandStopsWhereItsTurnClosedTheDocument)
{
    struct Command {
        const char* name;
        std::function<void(TabTable*)> prepare;
        std::function<void(TabTable*)> run;
        // What the System Log hears after the change when the document
        // stays; nothing of it once the document was closed.
        const char* logged;
    };
    const Command commands[] = {
        {"quick filter of the aux tree",
         [](TabTable* tab) {
             AuxTreeView* tree = tab->AuxTreeDock->Tree;
             tree->selectionModel()->select(tree->model()->index(0, 0),
                                            QItemSelectionModel::Select | QItemSelectionModel::Rows);
         },
         [](TabTable* tab) { tab->AuxTreeDock->Actions[ACT_QUICK_FILTER]->trigger(); }, nullptr},
        {"paste rows",
         [this](TabTable*) {
             TabTable* source = OpenRecords({Record("x"), Record("y")});
             ASSERT_TRUE(source->RememberCopy(KxvCopyInformation::ALL_ROWS));
         },
         [](TabTable* tab) { tab->RowsPaste(); }, "Document \"memory\" : 2 records added"},
        {"delete rows",
         [this](TabTable* tab) {
             tab->SetCurrentPosition(1);
             prompt.answers.enqueue(QMessageBox::Yes);
         },
         [](TabTable* tab) { tab->RowsDelete(); }, "Document \"memory\" : 1 records deleted"},
        {"filter by the Outline over a filter",
         [this](TabTable* tab) {
             FilterAndBookmark(tab);
             // Remove the previous filter; the selections go.
             prompt.answers << QMessageBox::Yes << QMessageBox::Yes;
         },
         [](TabTable* tab) { tab->SetFilterByOutline(); }, nullptr},
        {"filter selected", [](TabTable* tab) { tab->SelRangeSet(1, 2, true, RANGE_COLOR); },
         [](TabTable* tab) { tab->FilterSelected(); }, nullptr},
        {"refresh from the find dialog", nullptr, [](TabTable* tab) { tab->RefreshFromFindDialog(nullptr); },
         nullptr},
    };
    for (const Command& c : commands) {
        for (const Close close : {Close::NONE, Close::CLOSED, Close::DELETED}) {
            SCOPED_TRACE(testing::Message() << c.name << ", close " << int(close));
            TabTable* tab = OpenThreads();
            prompt.answers.clear();
            if (c.prepare)
                c.prepare(tab);
            shell.Clear();
            const QPointer<TabTable> watched(tab);
            const TabTableModel* before = tab->Model;
            const TabTableModel* closedWith = nullptr;
            if (close != Close::NONE)
                QTimer::singleShot(0, tab, [tab, close, &closedWith] {
                    closedWith = tab->Model;
                    tab->DiscardChanges();
                    tab->Close();
                    if (close == Close::DELETED)
                        FlushDeletes();
                });
            c.run(tab);
            // The close came in the new model's turn.
            if (close != Close::NONE) {
                EXPECT_TRUE(closedWith && closedWith != before);
            }
            if (c.logged) {
                EXPECT_EQ(tabtest::Contains(shell.log, c.logged), close == Close::NONE);
            }
            // A filter switched the window's updates off; they come back.
            EXPECT_TRUE(main->updatesEnabled());
            FlushDeletes();
            EXPECT_EQ(watched.isNull(), close != Close::NONE);
            // The document and the copy's source.
            while (main->Docks.size() > 2)
                delete main->Docks.last();
            FlushDeletes();
            KxvGlobals::CopyInformation.Clear();
        }
    }
}

TEST_F(TurnCloseTest, ACommandStopsWhereItsModalTurnClosedTheDocument)
{
    ClosingPrompt closing;
    const PromptGuard installed(&closing);
    closing.fileName = Path("saved");
    const struct {
        const char* name;
        std::function<void(TabTable*)> run;
    } commands[] = {
        {"the Find dialog's Filter over selected rows",
         [](TabTable* tab) {
             tab->SelRangeSet(0, 1, true, RANGE_COLOR);
             tab->OpenFindDialog(QStringLiteral("TEXT~'a'"));
             QTest::mouseClick(FindDialog::Existing()->FilterButton, Qt::LeftButton);
         }},
        {"the Delete key",
         [](TabTable* tab) {
             tab->SetCurrentPosition(1);
             QTest::keyClick(tab->View, Qt::Key_Delete);
         }},
        {"filter over selected rows",
         [](TabTable* tab) {
             tab->SelRangeSet(0, 1, true, RANGE_COLOR);
             tab->SetSearchExpression(QStringLiteral("TEXT~'a'"), 1, SEARCH_MODE_COMPLEX);
             tab->Actions[TACT_FILTER]->trigger();
         }},
        {"delete rows under the graph", [](TabTable* tab) { UnderGraph(tab)->RowsDelete(); }},
        {"clear the filter under the graph", [](TabTable* tab) { UnderGraph(tab)->FilterByCond(); }},
        {"relative time off under the graph", [](TabTable* tab) { UnderGraph(tab)->PrefRelativeTime(); }},
        {"filter by the Outline over a filter",
         [](TabTable* tab) {
             FilterAndBookmark(tab);
             tab->SetFilterByOutline();
         }},
        {"Save As", [](TabTable* tab) { tab->SaveAs(); }},
        {"CSV export", [](TabTable* tab) { tab->SaveCSVFile(); }},
        {"PDF export", [](TabTable* tab) { tab->SavePdfFile(); }},
        {"edit columns", [](TabTable* tab) { tab->onEditColumns(); }},
        {"bookmark colour", [](TabTable* tab) { tab->PrefChooseColor4Bookmark(); }},
        {"the Find dialog's selection colour",
         [](TabTable* tab) {
             tab->OpenFindDialog(QString());
             QTest::mouseClick(FindDialog::Existing()->SelectedButton, Qt::LeftButton);
         }},
        // The close comes in the menu.
        {"cell menu", [](TabTable* tab) { tab->customMenuRequested({2, 2}); }},
        {"tab menu", [](TabTable* tab) { tab->ShowTabMenu({2, 2}); }},
        {"Info pane's menu", [](TabTable* tab) { tab->InfoTableCustomMenuRequested({2, 2}); }},
        {"find list menu", [](TabTable* tab) { tab->FindListBox_context_menu({}); }},
        {"History menu",
         [](TabTable* tab) {
             tab->BookmarkSet(0, true);
             QTreeWidget* tree = tab->HistoryTree;
             tab->HistoryCustomMenuRequested(tree->visualItemRect(tree->topLevelItem(0)).center());
         }},
        {"Outline menu",
         [](TabTable* tab) {
             FilterAndBookmark(tab);
             tab->OutlineTable->selectRow(0);
             tab->OutlineTablesCustomMenuRequested({2, 2});
         }},
        {"aux tree menu",
         [](TabTable* tab) {
             AuxTreeView* tree = tab->AuxTreeDock->Tree;
             tree->setCurrentIndex(tree->model()->index(0, 0));
             tab->AuxTreeDock->customMenuRequested(tree->visualRect(tree->currentIndex()).center());
         }},
        {"Info pane's title menu",
         [](TabTable* tab) {
             auto* bar = qobject_cast<DockTitlebar*>(tab->InfoDock->titleBarWidget());
             QTest::mouseClick(bar->MenuButton, Qt::LeftButton);
         }},
    };
    // Once a menu is up, the document goes, and then the menu.
    QTimer menuUp;
    QObject::connect(&menuUp, &QTimer::timeout, [&closing] {
        const QPointer<QWidget> menu = QApplication::activePopupWidget();
        if (menu && closing.closes) {
            CloseAndDelete(closing.closes);
            if (menu)
                menu->close();
        }
    });
    menuUp.start(0);
    for (const auto& c : commands) {
        SCOPED_TRACE(c.name);
        closing.closes = OpenThreads();
        c.run(closing.closes);
        EXPECT_TRUE(closing.closes.isNull());
        EXPECT_TRUE(main->updatesEnabled());
    }
}

} // namespace
