// Opening files through the main window: the Open command, the recent-file
// list, the reader's choice, blank documents, docking and the own log file.
#include <cerrno>
#include <cstring>

#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QRegularExpression>
#include <QStatusBar>

#include "kxlib/table/kxdisposer.h"
#include "kxlib/table/kxtable.h"
#include "kxviewer/actiontable.h"
#include "kxviewer/table/tabtable.h"
#include "openfixture.h"
#include "tests/utils/osal/specialfiles.h"
#include "tearoffwidget/tearoffdockwidget.h"
#include "tearoffwidget/tearofftabwidget.h"
#include "utils/kx/pkx.h"

using namespace shelltest;

namespace {

QStringList MenuTexts(const QMenu* menu)
{
    QStringList texts;
    for (const QAction* action : menu->actions())
        texts << action->text();
    return texts;
}

} // namespace

using OpenFiles = OpenTest;

// The same file again gets a copy number in the same group; the next
// dialog offers the kind of the last file first, and cancelling opens nothing.
TEST_F(OpenFiles, OpenCommandLoadsARawFileIntoADockedTableDocument)
{
    const QString path = RawFile("trace.kx", 500);
    Trigger(ACT_OPEN, path);

    ASSERT_EQ(files.openCalls.size(), 1u);
    EXPECT_EQ(files.openCalls[0].caption, "Open File");
    EXPECT_EQ(files.openCalls[0].filter, "KX Local file (*.kxl);;KXD Raw file (*.kxd);;KX Raw file (*.kx *.kxtcp "
                                         "*.kxudp);;SysLog (*.log );;All files (*)");
    ASSERT_EQ(Documents().size(), 1u);
    auto* tab = qobject_cast<TabTable*>(Documents()[0]);
    ASSERT_NE(tab, nullptr);
    EXPECT_EQ(tab->windowTitle(), "trace");
    EXPECT_EQ(tab->SourceType, TabBase::SOURCE_KX);
    EXPECT_EQ(tab->Table->RowCount(), 500);
    EXPECT_EQ(TearOffMain::CurrentDock, tab);
    ASSERT_NE(tab->TabWidget, nullptr);
    EXPECT_EQ(TearOffMain::MainHost->dockWidgetArea(tab->TabWidget->DockWidget), Qt::TopDockWidgetArea);
    EXPECT_EQ(QDir::current(), QDir(dir.path()));
    EXPECT_EQ(Recent(), QStringList{path});
    EXPECT_TRUE(files.calls.empty());

    Trigger(ACT_OPEN, path);
    Trigger(ACT_OPEN, QString());
    ASSERT_EQ(Documents().size(), 2u);
    EXPECT_EQ(Documents()[1]->windowTitle(), "trace(1)");
    // The System Log names each document as its tab does.
    const size_t copyLines = LinesWith("Document \"trace(1)\" opened: 500 rows").size();
    EXPECT_GT(copyLines, 0u);
    EXPECT_EQ(LinesWith("Document \"trace\" opened: 500 rows").size(), copyLines);
    EXPECT_EQ(Documents()[1]->TabWidget, tab->TabWidget);
    EXPECT_EQ(Recent(), QStringList{path});
    ASSERT_EQ(files.openCalls.size(), 3u);
    EXPECT_TRUE(files.openCalls[2].filter.startsWith("KX Raw file (*.kx *.kxtcp *.kxudp);;KX Local file (*.kxl);;"));
    EXPECT_EQ(PrefGlobal::LastOpenFilter, "KX Raw file (*.kx *.kxtcp *.kxudp)");
}

TEST_F(OpenFiles, ALogFileThatAnEnabledFormatClaimsOpensWithoutAnyQuestion)
{
    const QString path = SysLogFile("messages.log", 12);
    Trigger(ACT_OPEN, path);
    const std::vector<TabBase*> documents = Documents();
    ASSERT_EQ(documents.size(), 1u);
    EXPECT_EQ(documents[0]->SourceType, 0);
    EXPECT_EQ(documents[0]->Table->RowCount(), 12);
    EXPECT_TRUE(files.calls.empty());
    EXPECT_EQ(PrefGlobal::LastOpenFilter, "SysLog (*.log )");
}

// A file whose claiming format matched none of its lines: a question; No
// keeps it as read, Yes takes the import dialog's road. A format chosen in
// the dialog is not questioned.
TEST_F(OpenFiles, NoLineMatchedOffersAnotherFormat)
{
    const int32_t pipe = AddPipeFormat();
    const QString log = PipeFile("auth.log", 6);
    files.answers = {QMessageBox::No};
    Trigger(ACT_OPEN, log);
    ASSERT_EQ(files.calls.size(), 1u);
    EXPECT_EQ(files.calls[0].text, "No line of file \"" + log +
                                       "\" matched the import format \"SysLog\" that claims it.\n"
                                       "Import it with another format?");
    EXPECT_EQ(files.calls[0].buttons, QMessageBox::Yes | QMessageBox::No);
    ASSERT_EQ(Documents().size(), 1u);
    EXPECT_EQ(Documents()[0]->SourceType, 0);
    EXPECT_TRUE(files.execTitles.empty());
    EXPECT_EQ(LinesWith("Import \"auth.log\": 6 of 6 lines matched no template of \"SysLog\"").size(), 1u);

    files.answers = {QMessageBox::Yes};
    ImportDialogChooses(pipe);
    Trigger(ACT_OPEN, log);
    EXPECT_EQ(files.calls.size(), 2u);
    EXPECT_EQ(files.execTitles, std::vector<QString>{"Import File"});
    ASSERT_EQ(Documents().size(), 2u);
    EXPECT_EQ(Documents()[1]->SourceType, pipe);
    EXPECT_EQ(Documents()[1]->Table->RowCount(), 6);

    ImportDialogChooses(0);
    Trigger(ACT_IMPORT, log);
    EXPECT_EQ(files.calls.size(), 2u);
    EXPECT_EQ(Documents().size(), 3u);
}

// A load that needs more memory than the system has left asks first: No
// loads nothing, Yes loads the file.
TEST_F(OpenFiles, ALoadBiggerThanMemoryAsksFirst)
{
    const QString log = SysLogFile("big.log", 4000);
    ASSERT_GT(QFileInfo(log).size(), LoadMemory::SAMPLE_BYTES);
    LoadMemory::SetAvailableSource([] { return int64_t(1) << 20; });
    files.answers = {QMessageBox::No};
    Trigger(ACT_OPEN, log);
    ASSERT_EQ(files.calls.size(), 1u);
    // 4,000 slots.
    EXPECT_TRUE(QRegularExpression("^Opening file \"big.log\" needs about 3\\.[4-6] MB of memory, but only 1.0 MB "
                                   "is available.\nOpen it anyway\\?$")
                    .match(files.calls[0].text)
                    .hasMatch())
        << files.calls[0].text.toStdString();
    EXPECT_EQ(files.calls[0].buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_TRUE(Documents().empty());
    // The System Log and the status line.
    EXPECT_EQ(LinesWith("Opening file \"" + log.toStdString() + "\" cancelled: not enough memory").size(), 2u);

    files.answers = {QMessageBox::Yes};
    Trigger(ACT_OPEN, log);
    EXPECT_EQ(files.calls.size(), 2u);
    ASSERT_EQ(Documents().size(), 1u);
    EXPECT_EQ(Documents()[0]->Table->RowCount(), 4000);

    // Enough memory: no question.
    LoadMemory::SetAvailableSource([] { return int64_t(1) << 30; });
    Trigger(ACT_OPEN, log);
    EXPECT_EQ(files.calls.size(), 2u);
    EXPECT_EQ(Documents().size(), 2u);
}

// The table's storage cannot grow in the middle of a load: the load ends
// with the message, the document already open stays as it was.
TEST_F(OpenFiles, RunningOutOfMemoryEndsTheLoadAndKeepsTheOthers)
{
    Trigger(ACT_OPEN, RawFile("kept.kx", 50));
    ASSERT_EQ(Documents().size(), 1u);
    // Room for one more block of records, not for a second one, once the
    // tables closed before have given theirs back.
    KxDisposer::Wait();
    KxBlockMemory::SetLimit(KxBlockMemory::InUse() + KxTblock::SIZE * sizeof(KxdRecord) + 4096);
    const QString log = SysLogFile("huge.log", int(KxTblock::SIZE) + 100);
    Trigger(ACT_OPEN, log);
    const std::string text = "Not enough memory to open file \"" + log.toStdString() + "\": the load was stopped";
    ASSERT_FALSE(files.calls.empty());
    EXPECT_EQ(files.calls.back().text.toStdString(), text);
    // The System Log, the box and the status line.
    EXPECT_EQ(LinesWith(text).size(), 3u);
    ASSERT_EQ(Documents().size(), 1u);
    EXPECT_EQ(Documents()[0]->Table->RowCount(), 50);
    EXPECT_EQ(window->StatusBar->currentMessage().toStdString(), text);

    KxBlockMemory::SetLimit(0);
    Trigger(ACT_OPEN, log);
    ASSERT_EQ(Documents().size(), 2u);
    EXPECT_EQ(Documents()[1]->Table->RowCount(), int(KxTblock::SIZE) + 100);
}

// Claimed by no format, claimed only by a disabled one (the import editor
// asked and cancelled), refused by the loader: nothing opens, and the file
// stays in the list.
TEST_F(OpenFiles, FilesThatOpenNothing)
{
    const QString notes = SysLogFile("notes.txt", 3);
    Trigger(ACT_OPEN, notes);
    EXPECT_EQ(LinesWith("Unknown import type for file " + notes.toStdString() + " , import stopped").size(), 1u);
    EXPECT_EQ(Recent(), QStringList{notes});

    ImportFormats[0].enabled = false;
    const QString log = SysLogFile("messages.log", 3);
    Trigger(ACT_OPEN, log);
    Trigger(ACT_IMPORT, log);
    EXPECT_EQ(LinesWith("Unknown import type for file " + log.toStdString() + " , import stopped").size(), 2u);
    EXPECT_EQ(files.execTitles, std::vector<QString>(3, "Import File"));
    EXPECT_TRUE(files.calls.empty());

    const QString garbage = dir.filePath("garbage.kx");
    ASSERT_TRUE(KxFileGen::WriteFile(QFile::encodeName(garbage).constData(), std::string(4000, '\x7f')));
    Trigger(ACT_OPEN, garbage);
    EXPECT_EQ(Recent().value(0), garbage);
    EXPECT_TRUE(Documents().empty());
}

// A file the loader refuses leaves the reason on the status line, not the
// "Loading file: " of the load that failed; where the loader's box says
// why, the line says it already while the box is up. What opened stays in
// the recent-file list; what cannot be opened at all (offered for import
// or not) never enters it.
TEST_F(OpenFiles, FailedOpenSaysSoOnTheStatusLine)
{
    const QString garbage = dir.filePath("garbage.kx");
    ASSERT_TRUE(KxFileGen::WriteFile(QFile::encodeName(garbage).constData(), std::string(4000, '\x7f')));
    const QString broken = dir.filePath("broken.kxl");
    ASSERT_TRUE(KxFileGen::WriteFile(QFile::encodeName(broken).constData(), "no document"));
    const QString empty = dir.filePath("empty.kxl");
    ASSERT_TRUE(KxFileGen::WriteFile(QFile::encodeName(empty).constData(), ""));
    // Not even root may read it.
    const QString denied = dir.filePath("denied.kxl");
    ASSERT_TRUE(QFile::link(QStringLiteral("/proc/sys/vm/drop_caches"), denied));
    const bool deniedHere = QFileInfo::exists(denied) && !QFile(denied).open(QIODevice::ReadOnly);
    const QString log = SysLogFile("fields.log", 2);
    const QString fifo = dir.filePath("waiting.kx");
    const kxtest::Fifo waiting(QFile::encodeName(fifo).toStdString());
    ASSERT_TRUE(waiting.Made());
    const QString socket = dir.filePath("socket.kxd");
    const bool socketMade = kxtest::MakeSocket(QFile::encodeName(socket).toStdString());
    const QString null = QStringLiteral("/dev/null");
    const auto refused = [](const QString& path, const char* kind) {
        return "Error opening file \"" + path + "\": " + path + " is " + kind +
               ", not a regular file: save it to a file first";
    };
    // Its field list names no record field: no reader can be made.
    ImportFormats[0].mode = IMPORT_MODE_DELIMITED;
    ImportFormats[0].fields[0].key = "TIMES";
    // A file without a suffix is offered for import, unless it cannot be
    // read at all.
    ImportDialogChooses(AddPipeFormat());
    const struct {
        QString path;
        QString status;
        bool boxSaysWhy;
        bool listed;
    } cases[] = {
        {garbage, "Too many errors while reading " + garbage, true, true},
        {broken, "Error opening file \"" + broken + "\": not a KXL file", true, true},
        {empty, "Error opening file \"" + empty + "\": the file is empty", true, true},
        {denied, "Error opening file \"" + denied + "\": " + QString::fromLocal8Bit(strerror(EACCES)), true, false},
        {log, "Cannot open file: " + log, false, true},
        {fifo, refused(fifo, "a pipe"), true, false},
        {socket, refused(socket, "a socket"), true, false},
        {null, refused(null, "a character device"), true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        if ((c.path == denied && !deniedHere) || (c.path == socket && !socketMade))
            continue;
        QStringList withBox;
        files.onMessage = [&](const PromptCall&) { withBox << window->StatusBar->currentMessage(); };
        files.execTitles.clear();
        Trigger(ACT_OPEN, c.path);
        files.onMessage = nullptr;
        EXPECT_TRUE(Documents().empty());
        EXPECT_EQ(window->StatusBar->currentMessage(), c.status);
        EXPECT_TRUE(files.execTitles.empty());
        if (c.boxSaysWhy) {
            EXPECT_EQ(withBox, QStringList{c.status});
        }
        EXPECT_EQ(Recent().contains(c.path), c.listed);
    }
}

// "No line matched ... Import it with another format?", Yes, then Cancel
// in the import dialog: nothing opens, and the status line no longer says
// that the file loads.
TEST_F(OpenFiles, ImportDialogCancelledAfterNoLineMatchedEndsTheLoad)
{
    AddPipeFormat();
    const QString log = PipeFile("auth.log", 6);
    files.answers = {QMessageBox::Yes};
    Trigger(ACT_OPEN, log);
    EXPECT_EQ(files.execTitles, std::vector<QString>{"Import File"});
    EXPECT_TRUE(Documents().empty());
    EXPECT_EQ(window->StatusBar->currentMessage(), "Ready");
}

using RecentFiles = OpenTest;

TEST_F(RecentFiles, MenuShowsTheListNumberedAndOpensItsEntries)
{
    const QString log = SysLogFile("messages.log", 4);
    const QString raw = RawFile("trace.kx", 10);
    EXPECT_FALSE(window->RecentFilesMenu()->isEnabled());
    Trigger(ACT_OPEN, log);
    Trigger(ACT_OPEN, raw);
    QMenu* menu = window->RecentFilesMenu();
    EXPECT_TRUE(menu->isEnabled());
    EXPECT_EQ(MenuTexts(menu), (QStringList{"&1 " + raw, "&2 " + log}));

    menu->actions().value(1)->trigger();
    ASSERT_EQ(Documents().size(), 3u);
    EXPECT_EQ(Documents()[2]->SourceType, 0);
    EXPECT_EQ(Recent(), (QStringList{log, raw}));
    EXPECT_EQ(MenuTexts(menu), (QStringList{"&1 " + log, "&2 " + raw}));
}

// Files imported with a format that their suffix does not name, or that
// have no suffix, come back from the list with that format and without a
// dialog; once the format is gone, a System Log line says so and the
// suffix decides again.
TEST_F(RecentFiles, ImportedFilesReopenWithTheirFormat)
{
    const auto [pipe, log, bare] = ImportPipeFiles();
    ASSERT_EQ(Documents().size(), 2u);
    EXPECT_EQ(Recent(), (QStringList{bare, log}));

    const auto reopen = [&](int entry) {
        QAction* action = window->RecentFilesMenu()->actions().value(entry);
        ASSERT_NE(action, nullptr);
        action->trigger();
    };
    reopen(1);
    reopen(1);
    ASSERT_EQ(Documents().size(), 4u);
    EXPECT_EQ(Documents()[2]->SourceType, pipe);
    EXPECT_EQ(Documents()[2]->Table->RowCount(), 5);
    EXPECT_EQ(Documents()[3]->SourceType, pipe);
    EXPECT_EQ(Documents()[3]->Table->RowCount(), 4);
    EXPECT_TRUE(files.execTitles.empty());
    EXPECT_TRUE(files.calls.empty());

    // A format of another name in its place is not taken for it.
    ImportFormats[size_t(pipe)].name = "Pipes";
    files.answers = {QMessageBox::No};
    reopen(1);
    ASSERT_EQ(Documents().size(), 5u);
    EXPECT_EQ(Documents()[4]->SourceType, 0);
    EXPECT_EQ(LinesWith("Import format \"Pipe\" that file " + log.toStdString() +
                        " was read with no longer exists; it is opened as its suffix says")
                  .size(),
              1u);
    // Read with SysLog now, it keeps that one.
    reopen(0);
    EXPECT_EQ(Documents().size(), 6u);
    EXPECT_EQ(Documents()[5]->SourceType, 0);
}

TEST_F(RecentFiles, AtMostTwentyTheOldestGoes)
{
    QStringList seeded;
    for (int i = 0; i < MainWindow::RECENT_FILES_MAX; ++i)
        seeded << Missing(QStringLiteral("old%1.kx").arg(i));
    SetRecent(seeded);
    const QString path = RawFile("new.kx", 5);
    Trigger(ACT_OPEN, path);
    QStringList expected = seeded.mid(0, MainWindow::RECENT_FILES_MAX - 1);
    expected.prepend(path);
    EXPECT_EQ(Recent(), expected);
    EXPECT_EQ(window->RecentFilesMenu()->actions().size(), MainWindow::RECENT_FILES_MAX);
}

TEST_F(RecentFiles, AMissingFileAnsweredNoStaysAtTheHeadAnsweredYesLeaves)
{
    const QString raw = RawFile("here.kx", 5);
    const QString gone = Missing("gone.kx");
    SetRecent({raw, gone});
    window->UpdateRecentFileActions();
    files.answers.push_back(QMessageBox::No);
    window->RecentFilesMenu()->actions().value(1)->trigger();

    ASSERT_EQ(files.calls.size(), 1u);
    EXPECT_EQ(files.calls[0].icon, QMessageBox::Question);
    EXPECT_EQ(files.calls[0].title, "Question");
    EXPECT_EQ(files.calls[0].text, "File \"" + gone + "\" doesn't exist.\nTo remove it from the recent file list?");
    EXPECT_EQ(files.calls[0].buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(Recent(), (QStringList{gone, raw}));
    EXPECT_EQ(MenuTexts(window->RecentFilesMenu()), (QStringList{"&1 " + gone, "&2 " + raw}));

    files.answers.push_back(QMessageBox::Yes);
    window->RecentFilesMenu()->actions().value(0)->trigger();
    EXPECT_EQ(files.calls.size(), 2u);
    EXPECT_EQ(Recent(), QStringList{raw});
    EXPECT_EQ(MenuTexts(window->RecentFilesMenu()), QStringList{"&1 " + raw});
    EXPECT_TRUE(Documents().empty());
}

TEST_F(RecentFiles, RebuildingTheMenuLeavesNoOldEntriesBehind)
{
    SetRecent({Missing("a.kx"), Missing("b.kx")});
    for (int i = 0; i < 5; ++i)
        window->UpdateRecentFileActions();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    int entries = 0;
    for (const QAction* action : window->findChildren<QAction*>())
        entries += action->data().toString().endsWith(".kx") ? 1 : 0;
    EXPECT_EQ(entries, 2);
}

TEST_F(RecentFiles, OpenWithoutRecentLeavesTheListAloneOnce)
{
    const QString raw = RawFile("QUIET.KX", 5); // the suffix's case is ignored
    SetRecent({Missing("other.kx")});
    MainWindow::OpenWithoutRecent = true;
    TabTable* tab = window->OpenFile(raw, TearOffMain::MainHost, -1, MainWindow::OPEN_PATTERNS_ONLY);
    ASSERT_NE(tab, nullptr);
    EXPECT_EQ(tab->SourceType, TabBase::SOURCE_KX);
    EXPECT_FALSE(MainWindow::OpenWithoutRecent);
    EXPECT_EQ(Recent(), QStringList{Missing("other.kx")});

    MainWindow::OpenWithoutRecent = true;
    EXPECT_EQ(window->OpenFile(Missing("none.kx"), TearOffMain::MainHost, -1, 3), nullptr);
    ASSERT_EQ(files.calls.size(), 1u);
    EXPECT_EQ(files.calls[0].icon, QMessageBox::Warning);
    EXPECT_EQ(files.calls[0].text, "File \"" + Missing("none.kx") + "\" doesn't exist.");
    EXPECT_EQ(Recent(), QStringList{Missing("other.kx")});
}

using DockPosition = OpenTest;

// Blank documents join the current document's group, or the last
// document's when a system dock is current.
TEST_F(DockPosition, ANewDocumentJoinsTheCurrentOrTheLastDocumentsGroup)
{
    window->NewBlankDocument();
    window->Actions[ACT_NEW_BLANK]->trigger();
    std::vector<TabBase*> split = Documents();
    ASSERT_EQ(split.size(), 2u);
    EXPECT_EQ(split[1]->windowTitle(), "New2");
    EXPECT_EQ(split[1]->SourceType, TabBase::SOURCE_BUILT);
    EXPECT_EQ(split[1]->Table->RowCount(), 0);
    EXPECT_EQ(split[1]->TabWidget, split[0]->TabWidget);
    window->DockVertically();
    ASSERT_NE(split[0]->TabWidget, split[1]->TabWidget);
    window->SetTabActive(split[0], false);
    window->NewBlankDocument();
    EXPECT_EQ(Documents()[2]->TabWidget, split[0]->TabWidget);
    window->SetTabActive(MainWindow::SystemLogDock, false);
    window->NewBlankDocument();
    ASSERT_EQ(Documents().size(), 4u);
    EXPECT_EQ(Documents()[3]->TabWidget, Documents()[2]->TabWidget);
    EXPECT_EQ(TearOffMain::CurrentDock, Documents()[3]);
    EXPECT_TRUE(Recent().isEmpty());
}

using OwnLogFile = OpenTest;

TEST_F(OwnLogFile, OpensAsARawDocumentAndLeavesTheRecentList)
{
    if (ZmLib::PKX::FindOutput(ZmLib::KX_OUT_FILE) == nullptr)
        ZmLib::KX::AddFlagsAll(ZmLib::PKX::NewFile(PrefGlobal::LogFilePath().c_str(), 10000000, false));
    ASSERT_NE(ZmLib::PKX::FindOutput(ZmLib::KX_OUT_FILE), nullptr);
    MainWindow::AddToSystemLog("a line for the log file");
    SetRecent({Missing("kept.kx")});
    window->Actions[ACT_OPEN_DEBUG_LOG]->trigger();
    const std::vector<TabBase*> documents = Documents();
    ASSERT_EQ(documents.size(), 1u);
    EXPECT_EQ(documents[0]->SourceType, TabBase::SOURCE_KX);
    EXPECT_GT(documents[0]->Table->RowCount(), 0);
    EXPECT_EQ(Recent(), QStringList{Missing("kept.kx")});
    EXPECT_FALSE(MainWindow::OpenWithoutRecent);
}

TEST_F(OwnLogFile, WithoutTheLogFileOutputAWarning)
{
    const bool hadOutput = ZmLib::PKX::FindOutput(ZmLib::KX_OUT_FILE) != nullptr;
    if (hadOutput)
        ZmLib::PKX::Delete(ZmLib::PKX_ID_FILE);
    window->CreateDocFromMyDbg();
    if (hadOutput)
        ZmLib::KX::AddFlagsAll(ZmLib::PKX::NewFile(PrefGlobal::LogFilePath().c_str(), 10000000, false));
    ASSERT_EQ(files.calls.size(), 1u);
    EXPECT_EQ(files.calls[0].icon, QMessageBox::Warning);
    EXPECT_EQ(files.calls[0].text, "Debug log file is disabled");
    EXPECT_TRUE(Documents().empty());
}
