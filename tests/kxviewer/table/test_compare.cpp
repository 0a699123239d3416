// Comparison of documents and of Outline ranges in the external diff
// program: the files handed over, their order, and every way it can fail.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

#include <functional>
#include <string>
#include <vector>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QTest>

#include "kxviewer/table/tabactionids.h"
#include "kxviewer/table/tabtablemodel.h"
#include "tabletabenv.h"
#include "tests/shellwordqt.h"
#include "tearoffwidget/tearofftabbar.h"
#include "tearoffwidget/tearofftabwidget.h"
#include "utils/osal/privatedir.h"

namespace {

using Texts = std::vector<std::string>;

class Compare : public tabletest::TableTabTest {
protected:
    void SetUp() override
    {
        tabletest::TableTabTest::SetUp();
        savedDir_ = PrefGlobal::WorkDir;
        savedProgram_ = PrefGlobal::CompareProgramm;
        for (const char* name : PLACES)
            savedPlaces_.push_back(qgetenv(name));
        // The work folder is where a start would choose it: in the scratch
        // folder as the temporary folder, a private runtime folder next.
        runtime = dir.path() + QStringLiteral("/runtime");
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv(PLACES[0], QFile::encodeName(dir.path()));
        qputenv(PLACES[1], QFile::encodeName(runtime));
        qunsetenv(PLACES[2]);
        work = dir.path() + QStringLiteral("/KXviewer-%1/").arg(geteuid());
        PrefGlobal::WorkDir = QFile::encodeName(work).toStdString();
        ASSERT_EQ(PrefGlobal::WorkDirFor(geteuid()), PrefGlobal::WorkDir);
        stub = WriteScript("stub.sh", "");
        PrefGlobal::CompareProgramm = QFile::encodeName(stub).toStdString();
    }
    void TearDown() override
    {
        PrefGlobal::WorkDir = savedDir_;
        PrefGlobal::CompareProgramm = savedProgram_;
        for (size_t i = 0; i < savedPlaces_.size(); ++i)
            savedPlaces_[i].isNull() ? qunsetenv(PLACES[i]) : qputenv(PLACES[i], savedPlaces_[i]);
        tabletest::TableTabTest::TearDown();
    }

    // A program that logs each argument as a line, after the command before
    // and before the command after.
    QString WriteScript(const char* name, const QByteArray& before, const QByteArray& after = QByteArray())
    {
        const QString path = Path(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n" + before + "\nfor a in \"$@\"; do printf '%s\\n' \"$a\" >> " +
                   ShellWord(Path("args.log")) + "; done\n" + after + "\n");
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }

    // A document of one TEXT column.
    TabTable* Doc(const char* name, const Texts& texts)
    {
        PrefTabTable prefs = PrefTabTable::Default();
        SetColumns(prefs, {FIELD_TEXT});
        prefs.ExportRowNumbColumn = 1;
        auto* table = new KxTable(nullptr, name, PrefKxTable::Default());
        for (const std::string& text : texts)
            table->AppendRecord(Record(text.c_str()).Build());
        return Show(table, prefs, TabBase::SOURCE_BUILT);
    }

    // A comparison file's path in the work folder, its name as the part given
    // after the prefix that marks the viewer's own.
    QString Named(const char* file) const { return work + QStringLiteral("kxv-compare-") + QLatin1String(file); }

    void Mark(TabTable* tab) { main->MarkTab(tab->TabWidget->TabBar, tab->TabWidget->indexOf(tab)); }
    QStringList Files(const char* const (&files)[2]) const
    {
        return {Named(files[0]), Named(files[1])};
    }

    // The arguments the stub logged, waiting for two of them at most
    // waitMs; fewer when it was not started.
    QStringList Arguments(int waitMs = 5000) const
    {
        QStringList lines;
        for (int waited = 0; waited <= waitMs; waited += 20) {
            QFile log(Path("args.log"));
            if (log.open(QIODevice::ReadOnly))
                lines = QString::fromLocal8Bit(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            if (lines.size() >= 2)
                break;
            QTest::qWait(20);
        }
        return lines;
    }

    // The file's data lines without the blanks around them: the record
    // texts alone when no row numbers were written.
    static Texts DataLines(const QString& path)
    {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
        QStringList lines = QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        Texts texts;
        for (int i = 1; i < lines.size(); ++i)
            texts.push_back(lines[i].trimmed().toStdString());
        return texts;
    }

    // A folder where the file name goes, in the work folder.
    void Block(const char* name) const
    {
        ASSERT_TRUE(QDir().mkpath(Named(name)));
        QFile::setPermissions(work, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void Reset()
    {
        QFile::remove(Path("args.log"));
        QDir(work).removeRecursively();
        shell.Clear();
        shell.status.clear();
    }

    QString work, runtime, stub;
    static constexpr const char* PLACES[] = {"TMPDIR", "XDG_RUNTIME_DIR", "XDG_CACHE_HOME"};

private:
    std::string savedDir_, savedProgram_;
    std::vector<QByteArray> savedPlaces_;
};

// Why a file cannot be made where a folder has its name.
const std::string Taken = "something else is in its place";
const Texts Ten = {"a0", "a1", "a2", "a3", "a4", "a5", "a6", "a7", "a8", "a9"};
const Texts TenInserted = {"a0", "a1", "a2", "a3", "a4", "new", "a5", "a6", "a7", "a8", "a9"};

TEST_F(Compare, TabsGiveTwoFilesOfRecordTextsLeftDocumentFirst)
{
    // split: side by side, else tabs of one group; files: the diff program's arguments in order.
    const struct {
        const char* what; const char* names[2]; bool split, markSecondFirst; const char* files[2];
    } cases[] = {
        {"equal base names", {"app.log", "app.log(1)"}, false, false, {"app.txt", "app-2.txt"}},
        {"the left one first, marked last", {"left.log", "right.log"}, true, true, {"left.txt", "right.txt"}},
        {"one group: the lower tab first", {"one.log", "two.log"}, false, true, {"one.txt", "two.txt"}},
        {"a slash stays in the folder", {"x/y.log", "z.kx"}, false, false, {"x_y.txt", "z.txt"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TabTable* first = Doc(c.names[0], Ten);
        TabTable* second = Doc(c.names[1], TenInserted);
        Reset();
        if (c.split)
            main->SplitOneTearOffDock(second, Qt::Horizontal);
        main->SetTabActive(main->Docks[0], false);
        QApplication::processEvents();
        Mark(c.markSecondFirst ? second : first);
        Mark(c.markSecondFirst ? first : second);
        first->Actions[TACT_COMPARE_TABS]->trigger();
        EXPECT_EQ(Arguments(), Files(c.files));
        EXPECT_TRUE(shell.info.empty());
        // The first document lies left or on the lower tab in every case.
        // One inserted record changes one line, not every line after it.
        EXPECT_EQ(DataLines(Named(c.files[0])), Ten);
        EXPECT_EQ(DataLines(Named(c.files[1])), TenInserted);
        delete first;
        delete second;
    }
}

// What reaches the user when the program is not set, missing or quick, or a
// file cannot be written; the row-number setting survives every one.
TEST_F(Compare, FailuresAreToldAndOnlyRealOnes)
{
    // blocked: a folder where this file goes; message empty: none. The
    // slow program marks its start and its end, so that no case begins
    // while one of the last case still writes.
    const QString runs = Path("runs.log");
    const QString slow = WriteScript("slow.sh", "printf s >> " + ShellWord(runs) + "; sleep 1",
                                     "printf e >> " + ShellWord(runs));
    const auto finished = [&runs] {
        QFile file(runs);
        const QByteArray marks = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        return marks.count('s') == marks.count('e');
    };
    // logged: the System Log's line, when it is not the message itself.
    const struct {
        const char* what; QString program; const char* blocked; bool twice; std::string message; bool started;
        std::string logged;
    } cases[] = {
        {"not set", QString(), nullptr, false, "External diff program is not set", false, ""},
        {"missing", QStringLiteral("/nonexistent/kxv-diff"), nullptr, false,
         "Diff execution error:\n/nonexistent/kxv-diff", false, "Diff execution error: /nonexistent/kxv-diff"},
        {"ends at once", QStringLiteral("true"), nullptr, false, "", false, ""},
        {"a second while the first runs", slow, nullptr, true, "", true, ""},
        {"the second file cannot be written", stub, "b.txt", false, "", false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PrefGlobal::CompareProgramm = QFile::encodeName(c.program).toStdString();
        TabTable* a = Doc("a.log", Ten);
        TabTable* b = Doc("b.log", Ten);
        Reset();
        if (c.blocked)
            Block(c.blocked);
        for (int round = 0; round < (c.twice ? 2 : 1); ++round) {
            main->SetTabActive(a, false);
            Mark(b);
            a->CompareTabs();
        }
        const std::string expected =
            c.blocked ? "Can't create file: " + QFile::encodeName(Named(c.blocked)).toStdString() + ": " + Taken
                      : c.message;
        EXPECT_EQ(shell.info, expected.empty() ? Texts{} : Texts{expected});
        if (!expected.empty()) {
            EXPECT_TRUE(tabtest::Contains(shell.log, c.logged.empty() ? expected : c.logged));
        }
        EXPECT_EQ(Arguments(c.started ? 5000 : 300).size() >= 2, c.started);
        ASSERT_TRUE(QTest::qWaitFor(finished, 10000));
        for (TabTable* doc : {a, b}) {
            EXPECT_EQ(doc->Prefs.ExportRowNumbColumn, 1);
            delete doc;
        }
    }
}

// A work folder that someone else made first, or could reach into, is not
// written to and not handed to the program: the comparison chooses again as
// a start does and uses the next safe place, and the System Log says why;
// with no safe place left it is refused, and the message names it.
TEST_F(Compare, WorkFolderOthersCanReachIsRefused)
{
    const QString elsewhere = Path("elsewhere");
    const QByteArray folder = QFile::encodeName(work).chopped(1);
    const QString moved = runtime + QStringLiteral("/KXviewer-%1/").arg(geteuid());
    const QString cache = Path("cache");
    ASSERT_TRUE(QDir().mkpath(cache));
    ASSERT_EQ(chmod(QFile::encodeName(cache).constData(), 0777), 0);
    const struct { const char* what; std::function<void()> plant; std::string reason; } cases[] = {
        {"open to all", [&] { mkdir(folder.constData(), 0700); chmod(folder.constData(), 0777); },
         "others may use it (mode 0777)"},
        {"a link to another folder", [&] { QDir().mkpath(elsewhere); QFile::link(elsewhere, work.chopped(1)); },
         "it is a symbolic link"},
        {"others may write", [&] { mkdir(folder.constData(), 0700); chmod(folder.constData(), 0707); },
         "others may use it (mode 0707)"},
        {"others may enter", [&] { mkdir(folder.constData(), 0700); chmod(folder.constData(), 0701); },
         "others may use it (mode 0701)"},
    };
    const std::string base = QFile::encodeName(dir.path()).toStdString();
    for (const bool placeLeft : {true, false}) {
        if (placeLeft) {
            qputenv(PLACES[1], QFile::encodeName(runtime));
            qunsetenv(PLACES[2]);
        } else {
            qunsetenv(PLACES[1]);
            qputenv(PLACES[2], QFile::encodeName(cache));
        }
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (placeLeft ? ", a runtime folder" : ", no safe place"));
            TabTable* a = Doc("a.log", Ten);
            TabTable* b = Doc("b.log", Ten);
            Reset();
            QFile::remove(work.chopped(1));
            QDir(moved).removeRecursively();
            PrefGlobal::WorkDir = QFile::encodeName(work).toStdString();
            c.plant();
            main->SetTabActive(a, false);
            Mark(b);
            a->CompareTabs();
            const std::string passed = "not in " + base + ": " + folder.toStdString() + " cannot be used: " + c.reason;
            if (placeLeft) {
                EXPECT_TRUE(shell.info.empty());
                EXPECT_EQ(shell.log, Texts{"Work files are kept in " + QFile::encodeName(runtime).toStdString() + ", " +
                                           passed});
                EXPECT_EQ(Arguments(), QStringList({moved + "kxv-compare-a.txt", moved + "kxv-compare-b.txt"}));
                EXPECT_EQ(PrefGlobal::WorkDir, QFile::encodeName(moved).toStdString());
            } else {
                const std::string cacheText = QFile::encodeName(cache).toStdString();
                EXPECT_EQ(shell.info, Texts{"No folder is safe for work files: " + passed +
                                            "; there is no runtime folder; not in " + cacheText +
                                            ": others may write to " + cacheText +
                                            " and it has no sticky bit (mode 0777)"});
                EXPECT_TRUE(Arguments(300).isEmpty());
            }
            EXPECT_EQ(QDir(work).entryList(QDir::Files), QStringList());
            EXPECT_EQ(QDir(elsewhere).entryList(QDir::Files), QStringList());
            delete a;
            delete b;
        }
    }
}

// The work folder is swapped for someone else's folder or a link to one
// after it was checked: the files go to the checked folder, and the program
// compares those, not the ones at the folder's name.
TEST_F(Compare, FilesStayInTheCheckedFolderWhenItIsSwapped)
{
    const QString theirs = Path("theirs");
    const QString checked = Path("checked");
    const QString name = work.chopped(1);
    for (const bool link : {false, true}) {
        SCOPED_TRACE(link ? "a link" : "a folder");
        TabTable* a = Doc("a.log", Ten);
        TabTable* b = Doc("b.log", TenInserted);
        Reset();
        QFile::remove(name);
        QDir(checked).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(theirs));
        for (const char* file : {"kxv-compare-a.txt", "kxv-compare-b.txt"}) {
            QFile planted(theirs + QLatin1Char('/') + QLatin1String(file));
            ASSERT_TRUE(planted.open(QIODevice::WriteOnly));
            planted.write("mine");
        }
        ZmLib::PrivateDir::AfterCheck = [&](const std::string&) {
            QDir().rename(name, checked);
            if (link)
                QFile::link(theirs, name);
            else
                QDir().rename(theirs, name);
        };
        main->SetTabActive(a, false);
        Mark(b);
        a->CompareTabs();
        ZmLib::PrivateDir::AfterCheck = nullptr;
        EXPECT_TRUE(shell.info.empty());
        const QString a1 = checked + QStringLiteral("/kxv-compare-a.txt");
        const QString b1 = checked + QStringLiteral("/kxv-compare-b.txt");
        EXPECT_EQ(Arguments(), QStringList({a1, b1}));
        EXPECT_EQ(DataLines(a1), Ten);
        EXPECT_EQ(DataLines(b1), TenInserted);
        const QString other = link ? theirs : name;
        EXPECT_EQ(QDir(other).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                  QStringList({"kxv-compare-a.txt", "kxv-compare-b.txt"}));
        for (const char* file : {"kxv-compare-a.txt", "kxv-compare-b.txt"}) {
            QFile planted(other + QLatin1Char('/') + QLatin1String(file));
            EXPECT_TRUE(planted.open(QIODevice::ReadOnly));
            EXPECT_EQ(planted.readAll(), QByteArray("mine")) << file;
        }
        if (link)
            QFile::remove(name);
        else
            QDir().rename(name, theirs);
        delete a;
        delete b;
    }
}

TEST_F(Compare, RangesAreTheFirstTwoRangeLines)
{
    using Entry = TabBase::OutlineEntry;
    const struct {
        const char* what; std::vector<Entry> entries; const char* blocked; Texts first, second; const char* files[2];
    } cases[] = {
        {"a bookmark line first", {{3, -1, 0, 2}, {1, 2, 1, 1}, {6, 8, 4, 1}, {0, 9, 5, 1}}, nullptr, {"a1", "a2"},
         {"a6", "a7", "a8"}, {"doc-range#1.txt", "doc-range#4.txt"}},
        {"a range past the end is cut", {{8, 40, 2, 1}, {0, 0, 3, 1}}, nullptr, {"a8", "a9"}, {"a0"},
         {"doc-range#2.txt", "doc-range#3.txt"}},
        {"one range only", {{3, -1, 0, 2}, {1, 2, 1, 1}}, nullptr, {}, {}, {}},
        {"the second file cannot be written", {{1, 2, 1, 1}, {6, 8, 4, 1}}, "doc-range#4.txt", {}, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TabTable* tab = Doc("doc.log", Ten);
        Reset();
        tab->OutlineEntries = c.entries;
        if (c.blocked)
            Block(c.blocked);
        tab->Actions[TACT_COMPARE_RANGES]->trigger();
        const bool started = c.files[0] != nullptr;
        const QStringList arguments = Arguments(started ? 5000 : 300);
        if (started) {
            EXPECT_EQ(arguments, Files(c.files));
            EXPECT_EQ(DataLines(Named(c.files[0])), c.first);
            EXPECT_EQ(DataLines(Named(c.files[1])), c.second);
            EXPECT_TRUE(shell.info.empty());
        } else {
            EXPECT_TRUE(arguments.isEmpty());
            EXPECT_EQ(shell.info.size() + shell.status.size(), 1u);
        }
        if (c.blocked) {
            EXPECT_TRUE(tabtest::Contains(shell.info,
                                          "Can't create file: " + QFile::encodeName(Named(c.blocked)).toStdString() +
                                              ": " + Taken));
        }
        EXPECT_EQ(tab->Prefs.ExportRowNumbColumn, 1);
        delete tab;
    }
}

// A write that fails names the system's reason, and the diff program reads
// nothing of the viewer's standard input.
TEST_F(Compare, WriteFailureNamesTheReasonAndTheProgramReadsNoInput)
{
    const QString input = Path("input");
    QFile(input).open(QIODevice::WriteOnly);
    const int kept = dup(STDIN_FILENO);
    const int opened = open(QFile::encodeName(input).constData(), O_RDONLY);
    ASSERT_TRUE(kept >= 0 && opened >= 0 && dup2(opened, STDIN_FILENO) == STDIN_FILENO);
    close(opened);
    PrefGlobal::CompareProgramm =
        QFile::encodeName(WriteScript("stdin.sh", "readlink /proc/self/fd/0 > \"$(dirname \"$1\")/../stdin\""))
            .toStdString();
    for (const bool full : {false, true}) {
        SCOPED_TRACE(full ? "a file may not grow" : "room enough");
        TabTable* a = Doc("a.log", Ten);
        TabTable* b = Doc("b.log", TenInserted);
        Reset();
        rlimit before{};
        getrlimit(RLIMIT_FSIZE, &before);
        const auto handler = signal(SIGXFSZ, SIG_IGN);
        const rlimit tight{16, before.rlim_max};
        if (full)
            setrlimit(RLIMIT_FSIZE, &tight);
        main->SetTabActive(a, false);
        Mark(b);
        a->CompareTabs();
        setrlimit(RLIMIT_FSIZE, &before);
        signal(SIGXFSZ, handler);
        const QStringList arguments = Arguments(full ? 300 : 5000);
        if (full) {
            const std::string reason = std::string(": ") + strerror(EFBIG);
            const auto failed = [&](const char* file) {
                return "Can't write file: " + QFile::encodeName(Named(file)).toStdString() + reason;
            };
            // The marked document is written first.
            EXPECT_EQ(shell.info, Texts({failed("b.txt"), failed("a.txt")}));
            EXPECT_TRUE(arguments.isEmpty());
        } else {
            EXPECT_EQ(arguments, Files({"a.txt", "b.txt"}));
            // The program wrote it before the arguments.
            QFile seen(Path("stdin"));
            ASSERT_TRUE(seen.open(QIODevice::ReadOnly));
            EXPECT_EQ(seen.readAll(), QByteArray("/dev/null\n"));
        }
        delete a;
        delete b;
    }
    dup2(kept, STDIN_FILENO);
    close(kept);
}

// The tab menu offers the comparison for one marked tab while a document is
// current, or two while a panel is.
TEST_F(Compare, TabMenuOffersTheComparisonForOneOrTwoMarks)
{
    const struct { int marks; bool panelCurrent, offered; } cases[] = {
        {0, false, false}, {1, false, true}, {2, false, false}, {0, true, false}, {1, true, false}, {2, true, true}};
    TabTable* docs[3] = {Doc("a.log", Ten), Doc("b.log", Ten), Doc("c.log", Ten)};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.marks) + (c.panelCurrent ? " panel" : " document"));
        main->SetTabActive(c.panelCurrent ? main->Docks[0] : docs[2], false);
        main->ClearDragSelection();
        for (int i = 0; i < c.marks; ++i)
            Mark(docs[i]);
        EXPECT_EQ(TabBase::OffersCompareTabs(), c.offered);
    }
    for (TabTable* doc : docs)
        delete doc;
}

} // namespace
