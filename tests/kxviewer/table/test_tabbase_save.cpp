// Saving a document: Save As renaming only on success, Save updating the file
// the document now is, updates in place and their fallback, whole writes,
// failures that keep the mark, and reopening what was saved.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QTableWidget>

#include "kxviewer/table/inforows.h"
#include "tabtestenv.h"
#include "tearoffwidget/tearofftabwidget.h"

namespace {

using tabtest::Contains;

std::string Local(const QString& text)
{
    return text.toLocal8Bit().toStdString();
}

QByteArray Bytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

ino_t Inode(const QString& path)
{
    struct stat st {};
    return stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

class TabSaveTest : public tabtest::TabTest {
protected:
    // A ".kxl" document of n records opened as the main window opens it.
    TabBase* OpenDocument(const char* name, uint32_t records = 40)
    {
        const QString kx = WriteKx("source.kx", records);
        PrefTabTable prefs;
        KxTable* table = Load(kx, TabBase::SOURCE_KX, &prefs);
        EXPECT_NE(table, nullptr);
        auto* maker = new TabBase(table, prefs, nullptr);
        EXPECT_TRUE(maker->SaveAsKxlFile(Path(name), true));
        delete maker;
        TabBase* tab = Open(Path(name), TabBase::SOURCE_KXL);
        shell.Clear();
        shell.status.clear();
        hooks.recent.clear();
        return tab;
    }

    // A new blank document, docked, with a change to save.
    TabBase* ModifiedBlankDocument()
    {
        auto* tab = new TabBase(nullptr, nullptr);
        Dock(tab);
        tab->Table->SetModified(true);
        tab->UpdateTitle();
        return tab;
    }

    // A path below a regular file, where nobody can write.
    QString Unwritable(const char* name)
    {
        QFile blocker(Path("file"));
        EXPECT_TRUE(blocker.open(QIODevice::WriteOnly));
        return Path("file") + "/" + name;
    }
};

TEST_F(TabSaveTest, SaveAsThenSaveWritesTheNewFileOnly)
{
    TabBase* tab = OpenDocument("orig.kxl");
    ASSERT_NE(tab, nullptr);
    const QByteArray original = Bytes(Path("orig.kxl"));

    prompt.fileNames.enqueue(Path("report.kxl"));
    tab->Actions[18]->trigger();
    EXPECT_EQ(tab->windowTitle(), "report");
    EXPECT_EQ(tab->TabWidget->tabText(tab->TabWidget->indexOf(tab)), "report");
    EXPECT_STREQ(tab->Table->Name(), "report");
    EXPECT_EQ(QFile::decodeName(tab->Table->Path()), Path("report.kxl"));
    EXPECT_EQ(tab->SourceType, TabBase::SOURCE_KXL);
    // The Info pane names what the document now is.
    ASSERT_NE(tab->InfoTable, nullptr);
    EXPECT_EQ(tab->InfoTable->item(INFO_NAME, 1)->text(), "report");
    EXPECT_EQ(tab->InfoTable->item(INFO_SOURCE, 1)->text(), Path("report.kxl"));
    ASSERT_EQ(prompt.saveAsked.size(), 1);
    EXPECT_EQ(prompt.saveAsked[0].caption, "Choose KXL file to save");
    EXPECT_EQ(prompt.saveAsked[0].filter, "KXL Files *.kxl");
    EXPECT_EQ(prompt.saveAsked[0].defaultSuffix, "kxl");
    EXPECT_TRUE(prompt.saveAsked[0].dir.endsWith("/orig.kxl"));

    tab->Table->BookmarkSet(3, true);
    tab->Actions[17]->trigger();
    EXPECT_EQ(prompt.saveAsked.size(), 1);
    EXPECT_EQ(Bytes(Path("orig.kxl")), original);
    EXPECT_EQ(hooks.recent, QStringList({Path("report.kxl"), Path("report.kxl")}));

    KxTable* reopened = Load(Path("report.kxl"), TabBase::SOURCE_KXL);
    ASSERT_NE(reopened, nullptr);
    ASSERT_EQ(reopened->Bookmarks().Length(), 1u);
    EXPECT_EQ(reopened->Bookmarks().First()->index, 3);
    reopened->Release();
    KxTable* untouched = Load(Path("orig.kxl"), TabBase::SOURCE_KXL);
    ASSERT_NE(untouched, nullptr);
    EXPECT_EQ(untouched->Bookmarks().Length(), 0u);
    untouched->Release();
}

// A document file is known by its ".kxl" alone: a name with another suffix
// still gets it, in the name proposed and in the name the dialog returns.
// Case is ignored, as the opener ignores it.
TEST_F(TabSaveTest, SaveAsAlwaysWritesAKxlName)
{
    const struct {
        const char* table;   // the document's name
        const char* typed;   // what the dialog returns
        const char* proposed;
        const char* written;
        const char* title;
    } cases[] = {
        {"srv.01", "srv.01", "srv.01.kxl", "srv.01.kxl", "srv.01"},
        {"a.kxl", "a.kxl", "a.kxl", "a.kxl", "a"},
        {"x.KXL", "x.KXL", "x.KXL", "x.KXL", "x"},
        {"srv.01", "other.02", "srv.01.kxl", "other.02.kxl", "other.02"},
    };
    TabBase* tab = Open(WriteKx("named.kx", 5), TabBase::SOURCE_KX);
    ASSERT_NE(tab, nullptr);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.table);
        tab->Table->SetName(c.table);
        prompt.saveAsked.clear();
        prompt.fileNames.enqueue(Path(c.typed));
        EXPECT_TRUE(tab->SaveAs());
        ASSERT_EQ(prompt.saveAsked.size(), 1);
        EXPECT_EQ(QFileInfo(prompt.saveAsked[0].dir).fileName(), c.proposed);
        EXPECT_EQ(QFile::decodeName(tab->Table->Path()), Path(c.written));
        EXPECT_TRUE(QFile::exists(Path(c.written)));
        EXPECT_EQ(tab->windowTitle(), c.title);
    }
    EXPECT_FALSE(QFile::exists(Path("srv.01")));
}

TEST_F(TabSaveTest, ReopeningRestoresFilterBookmarksSelectionsAndView)
{
    TabBase* tab = Open(WriteKx("view.kx", 50), TabBase::SOURCE_KX);
    ASSERT_NE(tab, nullptr);
    KxTable* table = tab->Table;
    table->SelRangeSet(10, 19, true, 0x00FF00);
    table->Selected2Filter();
    table->BookmarkSet(2, true);
    table->SelRangeSet(4, 5, true, 0x123456);
    tab->Prefs.Grid = 1;
    tab->Prefs.ClearColumns();
    tab->Prefs.AddColumn(FIELD_TEXT);
    tab->Prefs.AddColumn(FIELD_TID);

    prompt.fileNames.enqueue(Path("view"));
    tab->Save();
    EXPECT_TRUE(Contains(shell.log, Local("Document " + Path("view.kxl") + " saved")));

    PrefTabTable prefs;
    KxTable* reopened = Load(Path("view.kxl"), TabBase::SOURCE_KXL, &prefs);
    ASSERT_NE(reopened, nullptr);
    EXPECT_TRUE(reopened->FilterOn);
    EXPECT_EQ(reopened->RowCount(), 10);
    EXPECT_EQ(reopened->RecordCount(), 50);
    ASSERT_EQ(reopened->Bookmarks().Length(), 1u);
    EXPECT_EQ(reopened->Bookmarks().First()->index, 2);
    ASSERT_NE(reopened->FirstRange(), nullptr);
    EXPECT_EQ(reopened->NumSelected, table->NumSelected);
    EXPECT_EQ(prefs.Grid, 1);
    ASSERT_EQ(prefs.columnCount, 2);
    EXPECT_EQ(prefs.columns[0], FIELD_TEXT);
    EXPECT_EQ(prefs.columns[1], FIELD_TID);
    reopened->Release();
}

// A document changes with whatever a save would write, not with a move
// through its rows. A save, or the answer No, makes it unchanged again.
TEST_F(TabSaveTest, DocumentChangesAreWhatASaveWouldWrite)
{
    const struct {
        const char* name;
        void (*change)(TabBase*);
        bool modified;
    } cases[] = {
        {"nothing", [](TabBase*) {}, false},
        {"current row", [](TabBase* t) { t->Table->SetCurRow(7); }, false},
        {"selection", [](TabBase* t) { t->Table->SelRangeSet(2, 4, true, 0xFFFF00); }, true},
        {"bookmark", [](TabBase* t) { t->Table->BookmarkSet(3, true); }, true},
        {"filter",
         [](TabBase* t) {
             t->Table->SelRangeSet(5, 9, true, 0xFFFF00);
             t->Table->Selected2Filter();
         },
         true},
        {"pinned phrase",
         [](TabBase* t) {
             auto* pinned = new TabBase::FixedHighlight;
             pinned->text = QStringLiteral("beta");
             pinned->color = Qt::yellow;
             t->FixedHighlights.append(pinned);
         },
         true},
        {"columns",
         [](TabBase* t) {
             t->Prefs.ClearColumns();
             t->Prefs.AddColumn(FIELD_TEXT);
         },
         true},
        {"name", [](TabBase* t) { t->Table->SetName("renamed"); }, true},
        {"highlight colour", [](TabBase* t) { t->Prefs.ColorHighlight ^= 0x0000FF; }, true},
        {"records", [](TabBase* t) { t->Table->SetModified(true); }, true},
    };
    delete OpenDocument("changes.kxl");
    int number = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = Path("changes") + QString::number(++number) + ".kxl";
        ASSERT_TRUE(QFile::copy(Path("changes.kxl"), path));
        for (bool save : {false, true}) {
            TabBase* tab = Open(path, TabBase::SOURCE_KXL);
            ASSERT_NE(tab, nullptr);
            EXPECT_FALSE(tab->IsModified());
            c.change(tab);
            EXPECT_EQ(tab->IsModified(), c.modified);
            if (save)
                EXPECT_TRUE(tab->Save());
            else
                tab->DiscardChanges();
            EXPECT_FALSE(tab->IsModified());
            delete tab;
        }
    }
}

// Unchanged records are updated in place; a missing file is written whole;
// a file that is no document cannot be updated and is recreated; changed
// records are written whole.
TEST_F(TabSaveTest, SaveUpdatesInPlaceOrWritesWhole)
{
    TabBase* tab = OpenDocument("doc.kxl");
    ASSERT_NE(tab, nullptr);
    const QString path = Path("doc.kxl");
    const ino_t before = Inode(path);
    const QByteArray bytes = Bytes(path);
    const int tableEnd = bytes.indexOf("FILTER");
    ASSERT_GT(tableEnd, 0);
    const std::string saved = Local("Document " + path + " saved");
    const std::string failure = Local("File '" + path + "' update failure, will be recreated!");

    tab->Table->BookmarkSet(1, true);
    tab->Save();
    EXPECT_TRUE(prompt.saveAsked.isEmpty());
    EXPECT_EQ(Inode(path), before);
    EXPECT_EQ(Bytes(path).left(tableEnd), bytes.left(tableEnd));
    EXPECT_FALSE(Contains(shell.log, failure));
    EXPECT_TRUE(Contains(shell.status, Local("Saving document " + path + " ...")));
    EXPECT_TRUE(Contains(shell.status, saved));

    ASSERT_TRUE(QFile::remove(path));
    shell.Clear();
    tab->Save();
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_EQ(shell.log, std::vector<std::string>{saved});

    QFile foreign(path);
    ASSERT_TRUE(foreign.open(QIODevice::WriteOnly | QIODevice::Truncate));
    foreign.write("not a document\n");
    foreign.close();
    shell.Clear();
    tab->Save();
    EXPECT_EQ(shell.log, (std::vector<std::string>{failure, saved}));
    KxTable* reopened = Load(path, TabBase::SOURCE_KXL);
    ASSERT_NE(reopened, nullptr);
    EXPECT_EQ(reopened->RecordCount(), 40);
    reopened->Release();

    const ino_t whole = Inode(path);
    tab->Table->DelRecord(0);
    tab->Table->SetModified(true);
    tab->UpdateTitle();
    EXPECT_EQ(tab->windowTitle(), "doc*");
    tab->Save();
    EXPECT_NE(Inode(path), whole);
    EXPECT_FALSE(tab->Table->Modified());
    EXPECT_EQ(tab->windowTitle(), "doc");
    reopened = Load(path, TabBase::SOURCE_KXL);
    ASSERT_NE(reopened, nullptr);
    EXPECT_EQ(reopened->RecordCount(), 39);
    reopened->Release();
}

TEST_F(TabSaveTest, SaveAsFromSaveAndFromClosing)
{
    TabBase* tab = ModifiedBlankDocument();
    tab->Save();
    ASSERT_EQ(prompt.saveAsked.size(), 1);
    EXPECT_TRUE(prompt.saveAsked[0].dir.endsWith("/New1.kxl"));
    EXPECT_EQ(tab->windowTitle(), "New1*");
    EXPECT_EQ(tab->SourceType, TabBase::SOURCE_BUILT);
    EXPECT_TRUE(shell.log.empty());
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());

    prompt.answers.enqueue(QMessageBox::Yes);
    tab->Close();
    FlushDeletes();
    ASSERT_TRUE(main->Docks.contains(tab));
    EXPECT_GE(tab->TabWidget->indexOf(tab), 0);
    EXPECT_TRUE(tab->Table->Modified());
    EXPECT_FALSE(Contains(shell.log, "Document \"New1\" closed"));

    TabBase* other = ModifiedBlankDocument();
    prompt.answers.enqueue(QMessageBox::Yes);
    prompt.fileNames.enqueue(Path("closing.kxl"));
    other->Close();
    FlushDeletes();
    EXPECT_TRUE(QFile::exists(Path("closing.kxl")));
    EXPECT_TRUE(Contains(shell.log, "Document \"closing\" closed"));
    EXPECT_FALSE(main->Docks.contains(other));
}

// Saving where nobody can write: closing a changed ".kxl" document keeps
// the tab; a failed Save As keeps name, mark and source. The status line
// then tells the failure, not that the save goes on.
TEST_F(TabSaveTest, FailedSavesKeepTheDocument)
{
    TabBase* doc = OpenDocument("doc.kxl");
    ASSERT_NE(doc, nullptr);
    doc->Table->BookmarkSet(1, true);
    doc->Table->SetPath(QFile::encodeName(Unwritable("doc.kxl")).constData());
    prompt.answers.enqueue(QMessageBox::Yes);
    doc->Close();
    FlushDeletes();
    EXPECT_TRUE(main->Docks.contains(doc));
    ASSERT_EQ(shell.info.size(), 1u);
    EXPECT_EQ(shell.Last(), shell.info[0]);

    TabBase* tab = Open(WriteKx("keep.kx"), TabBase::SOURCE_KX);
    ASSERT_NE(tab, nullptr);
    tab->Table->SetModified(true);
    tab->UpdateTitle();
    const QString target = Unwritable("keep.kxl");
    shell.Clear();
    prompt.fileNames.enqueue(target);
    tab->SaveAs();
    ASSERT_EQ(shell.info.size(), 1u);
    EXPECT_EQ(shell.info[0], Local("File " + target + " not saved: ") + strerror(ENOTDIR));
    EXPECT_TRUE(Contains(shell.log, shell.info[0]));
    EXPECT_EQ(shell.Last(), shell.info[0]);
    EXPECT_EQ(tab->windowTitle(), "keep*");
    EXPECT_STREQ(tab->Table->Name(), "keep");
    EXPECT_EQ(QFile::decodeName(tab->Table->Path()), Path("keep.kx"));
    EXPECT_EQ(tab->SourceType, TabBase::SOURCE_KX);
    EXPECT_TRUE(tab->Table->Modified());
    EXPECT_TRUE(tab->IsModified());
    EXPECT_TRUE(hooks.recent.isEmpty());
}

} // namespace
