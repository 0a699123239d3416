// Closing a document: the records of a large one are freed off the GUI
// thread, and a document deleted outright runs no slot of its own on the way
// out.
#include <memory>

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QSignalSpy>

#include "kxlib/table/kxblockmem.h"
#include "kxlib/table/kxdisposer.h"
#include "kxviewer/table/outlinemodel.h"
#include "kxviewer/table/tabtablemodel.h"
#include "tabletabenv.h"

namespace {

class TabCloseTest : public tabletest::TableTabTest {
protected:
    // A document of n records built in memory.
    TabTable* OpenMany(int records)
    {
        std::vector<RawRecord> raws(size_t(records), Record("x"));
        return OpenRecords(raws);
    }
};

// Closed with Ctrl+W's command, a document of many blocks hands its records
// (with whatever else of it is large) to the disposer's thread; one of a few
// records frees everything at once.
TEST_F(TabCloseTest, TheRecordsOfALargeDocumentAreFreedOffTheGuiThread)
{
    const struct {
        int records;
        bool aside;
    } cases[] = {{50, false}, {int(KxTblock::SIZE) * 2 + 10, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.records);
        KxDisposer::Wait();
        const size_t before = KxBlockMemory::InUse();
        const uint64_t jobs = KxDisposer::JobsRun();
        QPointer<TabTable> tab = OpenMany(c.records);
        ASSERT_TRUE(tab);
        // Nothing to ask about on the way out.
        tab->DiscardChanges();
        tab->Close();
        FlushDeletes();
        ASSERT_FALSE(tab);
        KxDisposer::Wait();
        EXPECT_EQ(KxDisposer::JobsRun() > jobs, c.aside);
        EXPECT_EQ(KxBlockMemory::InUse(), before);
    }
}

// The Outline's lines of a log of many warnings are freed on the
// disposer's thread, whether the Outline is rebuilt or goes with its
// document; a few lines are freed at once.
TEST_F(TabCloseTest, ManyOutlineLinesAreFreedOffTheGuiThread)
{
    const struct {
        size_t lines;
        uint64_t jobs;
    } cases[] = {{100, 0}, {20000, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines);
        for (const bool rebuilt : {true, false}) {
            auto model = std::make_unique<OutlineModel>();
            model->SetLines(std::vector<OutlineLine>(c.lines), QStringLiteral("Text"));
            KxDisposer::Wait();
            const uint64_t jobs = KxDisposer::JobsRun();
            if (rebuilt)
                model->SetLines({}, QStringLiteral("Text"));
            else
                model.reset();
            KxDisposer::Wait();
            EXPECT_EQ(KxDisposer::JobsRun() - jobs, c.jobs) << (rebuilt ? "rebuilt" : "gone");
        }
    }
}

// A document deleted while the focus is in its find line: the line's
// editing ends as the focus leaves it with the tab half gone, and no slot of
// the tab may run then.
TEST_F(TabCloseTest, ADocumentDeletedWhileItsFindLineHasTheFocusRunsNoSlot)
{
    const struct {
        const char* kind;
        bool table;
    } cases[] = {{"table", true}, {"base", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        TabBase* tab = nullptr;
        if (c.table) {
            tab = OpenRecords({Record("alpha"), Record("gamma")});
        } else {
            tab = new TabBase(nullptr, nullptr);
            Dock(tab);
        }
        ASSERT_NE(tab->FindCombo, nullptr);
        QApplication::setActiveWindow(tab->window());
        QLineEdit* line = tab->FindCombo->lineEdit();
        line->setFocus();
        ASSERT_TRUE(line->hasFocus());
        QTest::keyClicks(tab->FindCombo, QStringLiteral("gamma"));
        QSignalSpy finished(line, &QLineEdit::editingFinished);
        delete tab;
        FlushDeletes();
        // The path was taken: the line did finish its editing.
        EXPECT_GE(finished.count(), 1);
    }
}

} // namespace
