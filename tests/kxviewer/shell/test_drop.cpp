// Drag and drop on the viewer's windows: dropped files and folders open as
// documents, and a column header dragged in a table moves or removes the
// column of the window it started in.
#include <unistd.h>

#include <functional>

#include <QDragEnterEvent>
#include <QHeaderView>
#include <QMainWindow>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTest>

#include "kxviewer/actiontable.h"
#include "kxviewer/systemlogplaintext.h"
#include "kxviewer/table/tabtable.h"
#include "kxviewer/table/tabtableview.h"
#include "kxviewer/windowdrop.h"
#include "openfixture.h"

using namespace shelltest;

namespace {

// Sends a drag of mime to the window as the platform does: enter, move,
// then drop when the window took it. Returns whether it was taken.
bool DropOn(QWidget* window, const QPoint& at, QMimeData* mime)
{
    QDragEnterEvent enter(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &enter);
    if (!enter.isAccepted())
        return false;
    QDragMoveEvent move(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &move);
    QDropEvent drop(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &drop);
    return true;
}

// A column drag's enter at the window; whether the window took it.
bool HotspotEnter(QWidget* window)
{
    QMimeData mime;
    mime.setData("application/x-hotspot", "5 5");
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &enter);
    return enter.isAccepted();
}

// The platform's drag loop replaced by a script that delivers the events
// the user's pointer would, while the drag runs.
class ScriptedDrag : public WindowDrop {
public:
    using WindowDrop::WindowDrop;
    std::function<void()> during;

protected:
    void RunDrag(QDrag*) override
    {
        if (during)
            during();
    }
};

QStringList Columns(const TabTable* tab)
{
    QStringList names;
    for (int i = 0; i < tab->Prefs.columnCount; ++i)
        names << QString::number(tab->Prefs.columns[i]);
    return names;
}

} // namespace

using DropFiles = OpenTest;

// What a drop of files, folders and foreign URLs opens, and when the user is
// asked first. Folders are walked without following links, so a link loop
// ends; a URL that is no local file is logged and left out, never offered
// for removal from the recent-file list.
TEST_F(DropFiles, DroppedFilesAndFoldersOpenAsDocuments)
{
    // files: raw files dropped one by one; folderFiles: in a dropped folder's subfolders; linkLoop: the folder
    // holds a link to itself; foreignUrl: an http URL is dropped too; badName: the folder also holds
    // "bad-\xFF.kx", whose name is no UTF-8; asked: the question's file count, 0 for none
    struct Case { const char* name; int files, folderFiles; bool linkLoop, foreignUrl, badName, answerYes; int asked, opened; };
    const Case cases[] = {
        {"five files open without a question", 5, 0, false, false, false, true, 0, 5},
        {"six files ask first, No opens nothing", 6, 0, false, false, false, false, 6, 0},
        {"a folder of six asks with its count", 0, 6, false, false, false, true, 6, 6},
        {"a link loop in a folder ends", 1, 2, true, false, false, true, 0, 3},
        {"an http URL is skipped and logged", 1, 0, false, true, false, true, 0, 1},
        {"empty folders open and ask nothing", 0, 0, false, false, false, true, 0, 0},
        {"a file named in bad UTF-8 in a folder is skipped and logged", 0, 1, false, false, true, true, 0, 1},
        {"a file named in bad UTF-8 dropped itself is skipped and logged", 1, 0, false, false, true, true, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir scratch;
        QList<QUrl> urls;
        const QString tag = scratch.path().section('/', -1);
        for (int i = 0; i < c.files; ++i)
            urls << QUrl::fromLocalFile(RawFile(QStringLiteral("%1-%2.kx").arg(tag).arg(i), 20));
        const QString folder = scratch.filePath("drop");
        ASSERT_TRUE(QDir().mkpath(folder + "/a/b") && QDir().mkpath(folder + "/empty"));
        for (int i = 0; i < c.folderFiles; ++i) {
            KxFileGen::Options options;
            options.records = 20;
            const QString path = folder + (i % 2 ? "/a/b/" : "/a/") + QString::number(i) + ".kx";
            ASSERT_TRUE(KxFileGen::WriteTrace(QFile::encodeName(path).constData(), options));
        }
        if (c.linkLoop) {
            ASSERT_EQ(symlink(QFile::encodeName(folder).constData(), QFile::encodeName(folder + "/a/loop").data()), 0);
        }
        // QTemporaryDir cannot remove a name that is no UTF-8: it goes by its bytes.
        const struct Unlinked {
            QByteArray path;
            ~Unlinked() { unlink(path.constData()); }
        } bad{QFile::encodeName(folder) + "/a/bad-\xff.kx"};
        const QByteArray& badPath = bad.path;
        if (c.badName) {
            KxFileGen::Options options;
            options.records = 20;
            ASSERT_TRUE(KxFileGen::WriteTrace(badPath.constData(), options));
            // Dropped itself when files are dropped one by one.
            if (c.files > 0)
                urls << QUrl::fromEncoded("file://" + badPath.toPercentEncoding("/"));
        }
        urls << QUrl::fromLocalFile(folder);
        if (c.foreignUrl)
            urls << QUrl("http://example.com/remote.kx");
        files.calls.clear();
        files.answers = {c.answerYes ? QMessageBox::Yes : QMessageBox::No};
        MainWindow::SystemLogView->clear();
        const size_t before = Documents().size();

        QMimeData mime;
        mime.setUrls(urls);
        ASSERT_TRUE(DropOn(window.get(), QPoint(40, 40), &mime));
        EXPECT_EQ(Documents().size(), before) << "files open after the drop has returned";
        QTRY_COMPARE(window->DroppedUrls.size(), 0);
        QCoreApplication::processEvents();

        ASSERT_EQ(files.calls.size(), c.asked > 0 ? 1u : 0u);
        if (c.asked > 0) {
            EXPECT_EQ(files.calls[0].text, QStringLiteral("You need open %1 files ?").arg(c.asked));
        }
        EXPECT_EQ(Documents().size() - before, size_t(c.opened));
        const QString skipped = "Dropped item is not a local file, skipped: http://example.com/remote.kx";
        EXPECT_EQ(MainWindow::SystemLogView->toPlainText().contains(skipped), c.foreignUrl);
        const QString badSkipped = "Dropped file name is not valid in the local code page, skipped: " +
                                   folder + "/a/bad-\\xFF.kx";
        EXPECT_EQ(MainWindow::SystemLogView->toPlainText().contains(badSkipped), c.badName);
    }
}

using DragColumns = OpenTest;

// A column header pressed and dragged: released on another column it trades
// places with it, on its own section nothing changes, outside the header the
// column leaves the view; a press on a section border leaves the header to
// resize. Another window never takes the drag.
TEST_F(DragColumns, HeaderDragMovesOrRemovesTheColumn)
{
    Trigger(ACT_OPEN, RawFile("columns.kx", 50));
    ASSERT_EQ(Documents().size(), 1u);
    auto* tab = qobject_cast<TabTable*>(Documents()[0]);
    ASSERT_NE(tab, nullptr);
    QHeaderView* header = tab->View->horizontalHeader();
    QTest::qWait(20);
    const QStringList original = Columns(tab);
    ASSERT_GE(original.size(), 3);

    delete WindowDrop::Of(window.get());
    auto* drop = new ScriptedDrag(window.get());
    QMainWindow other;
    auto* otherDrop = new ScriptedDrag(&other);

    enum Target { OWN_SECTION, THIRD_SECTION, BELOW_HEADER, NOWHERE };
    // pressOffset: from section 0's right edge; negative is inside it
    struct Case { const char* name; int pressOffset; Target target; QStringList expected; };
    QStringList swapped = original;
    swapped.swapItemsAt(0, 2);
    const Case cases[] = {
        {"released on the third column: the two trade places", -20, THIRD_SECTION, swapped},
        {"released on its own section: nothing changes", -20, OWN_SECTION, swapped},
        {"released below the header: the column goes", -20, BELOW_HEADER, swapped.mid(1)},
        {"pressed 2 pixels from a border: no drag", 2, NOWHERE, swapped.mid(1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QPoint press(header->sectionViewportPosition(0) + header->sectionSize(0) + c.pressOffset,
                           header->height() / 2);
        const QPoint to = c.target == OWN_SECTION     ? press
                          : c.target == THIRD_SECTION ? QPoint(header->sectionViewportPosition(2) + 5, press.y())
                                                      : QPoint(press.x(), header->height() + 40);
        const QPoint inWindow = header->mapTo(window.get(), to);
        bool ran = false, otherTook = true;
        drop->during = [&] {
            ran = drop->ColumnDragActive();
            otherTook = HotspotEnter(&other);
            QMimeData mime;
            mime.setData("application/x-hotspot", "5 5");
            DropOn(window.get(), inWindow, &mime);
        };
        QTest::mousePress(header->viewport(), Qt::LeftButton, Qt::NoModifier, press);
        QTest::mouseRelease(header->viewport(), Qt::LeftButton, Qt::NoModifier, press);
        QCoreApplication::processEvents();
        EXPECT_EQ(ran, c.target != NOWHERE);
        EXPECT_TRUE(!ran || !otherTook);
        EXPECT_EQ(Columns(tab), c.expected);
        EXPECT_EQ(drop->Mode(), WindowDrop::DROP_NONE);
    }

    // A drag started in the other window is taken there and nowhere else.
    bool mainTook = true, otherTookOwn = false;
    otherDrop->during = [&] {
        mainTook = HotspotEnter(window.get());
        otherTookOwn = HotspotEnter(&other);
    };
    const QPoint mid(header->sectionViewportPosition(0) + 10, header->height() / 2);
    EXPECT_TRUE(otherDrop->StartColumnDrag(mid, header, tab->View));
    EXPECT_FALSE(mainTook);
    EXPECT_TRUE(otherTookOwn);
}
