// The upgrader program: waits for the viewer, replaces it from the package
// it was handed open, starts the new one.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include "httpfixture.h"
#include "upgraderfixture.h"
#include "kxviewer/upgraderresult.h"
#include "utils/osal/privatedir.h"
#include "utils/osal/process.h"

namespace {

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

TEST(Upgrader, ReplacesTheViewerOnceItHasEnded)
{
    enum Package { FRESH, NONE, CHANGED, GROWN };
    // viewerMs: the viewer still runs this long, 0: none named; package: the bytes on the upgrader's standard
    // input (none, or changed or grown after the viewer's check); swapped: the work folder's name leads to the
    // program folder by the time the upgrader runs, as another user may arrange; arguments: how many are given,
    // a negative count with a malformed hash; logged: parts of Upgrader.log around a '*'.
    struct Case {
        const char* name; int viewerMs; Package package; bool swapped; int arguments; int exitCode;
        const char* logged;
    } cases[] = {
        {"WaitsThenReplaces", 800, FRESH, false, 3, 0, "Started "},
        {"NoViewerRunning", 0, FRESH, false, 3, 0, "Started "},
        {"NoPackage", 0, NONE, false, 3, 1, "Package verification failed: 0 bytes instead of "},
        {"ChangedAfterTheCheck", 0, CHANGED, false, 3, 1, "Package verification failed: SHA-256 "},
        {"GrownAfterTheCheck", 0, GROWN, false, 3, 1, "Package verification failed: more than * bytes"},
        {"SwappedFolderNeverUsed", 0, FRESH, true, 3, 0, "Started "},
        {"SwappedFolderRefusedPackage", 0, CHANGED, true, 3, 1, "Package verification failed: SHA-256 "},
        {"WithoutTheSignedHash", 0, FRESH, false, 2, 2, nullptr},
        {"MalformedHash", 0, FRESH, false, -3, 2, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir root;
        const QString program = root.path() + "/program";
        const QString ini = root.path() + "/ini";
        const QString work = root.path() + "/work";
        ASSERT_TRUE(QDir().mkpath(program) && QDir().mkpath(ini));
        ASSERT_TRUE(QFile::copy(KXV_UPGRADER_PATH, program + "/Upgrader"));
        WriteFile(program + "/KxViewer", "old");
        const QString marker = root.path() + "/restarted";
        const QByteArray fresh = "#!/bin/sh\necho restarted > " + ShellWord(marker) + "\n";
        QByteArray onDisk = fresh;
        onDisk[12] = c.package == CHANGED ? 'X' : onDisk[12];
        onDisk += c.package == GROWN ? "\n" : "";

        // The package as the viewer hands it on: open, read through the folder it holds.
        ZmLib::PrivateDir held;
        ASSERT_EQ(held.Hold(QFile::encodeName(work).toStdString()), "");
        WriteFile(work + "/KxViewer", onDisk);
        std::string why;
        const int package = c.package == NONE ? open("/dev/null", O_RDONLY | O_CLOEXEC)
                                              : held.OpenForReading("KxViewer", why);
        ASSERT_GE(package, 0) << why;
        if (c.swapped) {
            ASSERT_TRUE(QDir().rename(work, root.path() + "/checked"));
            ASSERT_TRUE(QFile::link(program, work));
        }

        QProcess viewer;
        std::vector<std::string> environment;
        for (const QString& variable : QProcessEnvironment::systemEnvironment().toStringList())
            environment.push_back(variable.toStdString());
        if (c.viewerMs > 0) {
            viewer.start("sleep", {QString::number(c.viewerMs / 1000.0)});
            ASSERT_TRUE(viewer.waitForStarted());
            environment.push_back("KXV_VIEWER_PID=" + std::to_string(viewer.processId()));
        }
        std::string hash = QCryptographicHash::hash(fresh, QCryptographicHash::Sha256).toHex().toStdString();
        if (c.arguments < 0)
            hash.pop_back();
        const std::vector<std::string> arguments{ini.toStdString(), std::to_string(fresh.size()), hash};
        QElapsedTimer clock;
        clock.start();
        const pid_t upgrader = pid_t(ZmLib::PROCESS::SpawnWithInput(
            (program + "/Upgrader").toStdString(),
            {arguments.begin(), arguments.begin() + std::abs(c.arguments)}, environment, package, why));
        close(package);
        ASSERT_GT(upgrader, 0) << why;
        // The sleeping viewer is our child: reap it so that it really ends.
        ASSERT_TRUE(c.viewerMs == 0 || viewer.waitForFinished(5000));
        int status = -1;
        bool ended = false;
        ASSERT_TRUE(WaitUntil([&] { return ended = ended || waitpid(upgrader, &status, WNOHANG) == upgrader; }, 10000));
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, c.exitCode);
        const bool replaced = c.exitCode == 0;
        EXPECT_GE(clock.elapsed(), c.viewerMs - 200);
        EXPECT_EQ(ReadFile(program + "/KxViewer"), replaced ? fresh : QByteArray("old"));
        // Nothing is left half-copied, and nothing in the work folder, or wherever its name leads, is removed:
        // the viewer removes the package itself.
        EXPECT_EQ(QDir(program).entryList(QDir::Files), QStringList({"KxViewer", "Upgrader"}));
        EXPECT_EQ(ReadFile(root.path() + (c.swapped ? "/checked" : "/work") + "/KxViewer"), onDisk);
        if (replaced) {
            EXPECT_TRUE(QFile::permissions(program + "/KxViewer") & QFile::ExeOwner);
            WaitUntil([&] { return !ReadFile(marker).isEmpty(); }, 5000);
            EXPECT_EQ(ReadFile(marker), "restarted\n");
        }
        const QByteArray log = ReadFile(ini + "/Upgrader.log");
        for (const QByteArray& part : QByteArray(c.logged).split('*'))
            EXPECT_TRUE(log.contains(part)) << log.toStdString();
    }
}

// No more than the signed size and one byte is read, input that stops coming is given up, and a file that
// cannot be written is told with the system's reason. When the update does not happen the previous viewer is
// started again and told why (and a later start through the ini folder); the viewer started, old or new, reads
// nothing of the upgrader's input.
TEST(Upgrader, FailureRestartsTheOldViewerToldWhy)
{
    enum Input { FRESH, OVERSIZE, STALLED, TOO_LARGE };
    const struct {
        const char* name; Input input; int exitCode; const char* reason; // reason empty: replaced
    } cases[] = {
        {"Replaced", FRESH, 0, ""},
        {"Oversize", OVERSIZE, 1, "Package verification failed: more than * bytes; the package is refused"},
        {"Stalled", STALLED, 1, "The package stopped coming: nothing for 300 ms"},
        {"FileTooLarge", TOO_LARGE, 1, "Cannot write {program}/KxViewer.new: {EFBIG}"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        UpgraderFolders folders;
        const QTemporaryDir& root = folders.root;
        const QString& program = folders.program;
        const QString& ini = folders.ini;
        const QString marker = root.path() + "/started";
        const auto viewer = [&](const char* which) {
            return "#!/bin/sh\necho " + QByteArray(which) + " \"$(readlink /proc/self/fd/0)\" \"$" +
                   UpgraderResult::FAILURE_VARIABLE + "\" > " + ShellWord(marker) + "\n";
        };
        ASSERT_TRUE(folders.Make(viewer("old")));
        // Past the file size limit, which stands in for a full disk.
        const QByteArray fresh = viewer("new") + (c.input == TOO_LARGE ? QByteArray(8192, '#') : QByteArray());
        int package = -1;
        int feed = -1;
        if (c.input == STALLED) {
            int ends[2];
            ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
            package = ends[0];
            feed = ends[1];
            ASSERT_EQ(write(feed, fresh.constData(), 10), 10);
        } else {
            WriteFile(root.path() + "/package", fresh + (c.input == OVERSIZE ? QByteArray(1 << 20, 'x') : ""));
            package = open(QFile::encodeName(root.path() + "/package").constData(), O_RDONLY | O_CLOEXEC);
        }
        rlimit before{};
        getrlimit(RLIMIT_FSIZE, &before);
        const auto handler = signal(SIGXFSZ, SIG_IGN);
        const rlimit tight{4096, before.rlim_max};
        if (c.input == TOO_LARGE)
            setrlimit(RLIMIT_FSIZE, &tight);
        std::string why;
        const pid_t upgrader =
            folders.Start(fresh, package, why, {std::string(UpgraderResult::STALL_VARIABLE) + "=300"});
        setrlimit(RLIMIT_FSIZE, &before);
        signal(SIGXFSZ, handler);
        ASSERT_GT(upgrader, 0) << why;
        int status = -1;
        bool ended = false;
        ASSERT_TRUE(WaitUntil([&] { return ended = ended || waitpid(upgrader, &status, WNOHANG) == upgrader; }, 10000));
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, c.exitCode);
        if (c.input == OVERSIZE) {
            EXPECT_EQ(lseek(package, 0, SEEK_CUR), fresh.size() + 1);
        }
        close(package);
        if (feed >= 0)
            close(feed);
        QString reason = QString::fromLatin1(c.reason);
        reason.replace("{program}", program).replace("{EFBIG}", QString::fromLocal8Bit(strerror(EFBIG)));
        reason.replace("*", QString::number(fresh.size()));
        EXPECT_TRUE(WaitUntil([&] { return ReadFile(marker).endsWith('\n'); }, 5000));
        EXPECT_EQ(QString::fromLocal8Bit(ReadFile(marker)),
                  QString(reason.isEmpty() ? "new /dev/null \n" : "old /dev/null " + reason + "\n"));
        EXPECT_EQ(ReadFile(program + "/KxViewer"), reason.isEmpty() ? fresh : viewer("old"));
        EXPECT_EQ(QDir(program).entryList(QDir::Files), QStringList({"KxViewer", "Upgrader"}));
        EXPECT_EQ(QString::fromLocal8Bit(ReadFile(ini + "/" + UpgraderResult::FAILURE_FILE)), reason);
    }
}

// Asked to end (SIGTERM, SIGINT) while it waits for the viewer or copies the package, the upgrader removes its copy,
// keeps the previous viewer, leaves the reason for the next start and starts nothing.
TEST(Upgrader, StoppedLeavesNoCopyAndStartsNothing)
{
    const struct { const char* name; int signal; bool waiting; } cases[] = {
        {"TerminatedWhileCopying", SIGTERM, false},
        {"InterruptedWhileCopying", SIGINT, false},
        {"TerminatedWhileWaiting", SIGTERM, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        UpgraderFolders folders;
        const QString& program = folders.program;
        const QString& ini = folders.ini;
        const QString marker = folders.root.path() + "/started";
        const QByteArray old = "#!/bin/sh\necho started > " + ShellWord(marker) + "\n";
        ASSERT_TRUE(folders.Make(old));
        int ends[2];
        ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
        ASSERT_EQ(write(ends[1], old.constData(), 10), 10);
        QProcess viewer;
        std::vector<std::string> waitFor;
        if (c.waiting) {
            viewer.start("sleep", {"10"});
            ASSERT_TRUE(viewer.waitForStarted());
            waitFor.push_back("KXV_VIEWER_PID=" + std::to_string(viewer.processId()));
        }
        std::string why;
        const pid_t upgrader = folders.Start(old, ends[0], why, waitFor);
        close(ends[0]);
        ASSERT_GT(upgrader, 0) << why;
        const QString copy = program + "/" + UpgraderResult::PARTIAL_FILE;
        EXPECT_TRUE(WaitUntil([&] {
            return c.waiting ? ReadFile(ini + "/Upgrader.log").contains("Upgrading ") : QFileInfo(copy).size() == 10;
        }, 10000));
        kill(upgrader, c.signal);
        int status = -1;
        bool ended = false;
        EXPECT_TRUE(WaitUntil([&] { return ended = ended || waitpid(upgrader, &status, WNOHANG) == upgrader; }, 10000));
        close(ends[1]);
        viewer.kill();
        viewer.waitForFinished();
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1);
        EXPECT_EQ(ReadFile(program + "/KxViewer"), old);
        EXPECT_EQ(QDir(program).entryList(QDir::Files), QStringList({"KxViewer", "Upgrader"}));
        EXPECT_EQ(QString::fromLocal8Bit(ReadFile(ini + "/" + UpgraderResult::FAILURE_FILE)),
                  "The upgrader was stopped (" + QString::fromLocal8Bit(strsignal(c.signal)) +
                      ") before the new version was in place");
        EXPECT_FALSE(WaitUntil([&] { return QFile::exists(marker); }, 300));
    }
}

} // namespace
