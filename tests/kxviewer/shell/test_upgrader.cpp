// The upgrader program: waits for the viewer, replaces it, starts the new one.
#include <gtest/gtest.h>

#include <cstdlib>

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include "httpfixture.h"

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
    enum Source { FRESH, MISSING, CHANGED, GROWN, LINKED };
    // viewerMs: the viewer still runs this long, 0: none named; source: the downloaded file as the upgrader
    // finds it (changed or grown after the viewer's check, or a link to the right bytes); arguments: how many
    // are given, a negative count with a malformed hash; logged: parts of Upgrader.log around a '*'.
    struct Case { const char* name; int viewerMs; Source source; int arguments; int exitCode; const char* logged; }
    cases[] = {
        {"WaitsThenReplaces", 800, FRESH, 4, 0, "Started "},
        {"NoViewerRunning", 0, FRESH, 4, 0, "Started "},
        {"SourceMissing", 0, MISSING, 4, 1, "Cannot copy "},
        {"ChangedAfterTheCheck", 0, CHANGED, 4, 1, "Package verification failed: SHA-256 "},
        {"GrownAfterTheCheck", 0, GROWN, 4, 1, "Package verification failed: *bytes instead of "},
        {"LinkNotFollowed", 0, LINKED, 4, 1, "Cannot copy "},
        {"WithoutTheSignedHash", 0, FRESH, 2, 2, nullptr},
        {"MalformedHash", 0, FRESH, -4, 2, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir root;
        const QString program = root.path() + "/program";
        const QString ini = root.path() + "/ini";
        ASSERT_TRUE(QDir().mkpath(program) && QDir().mkpath(ini));
        ASSERT_TRUE(QFile::copy(KXV_UPGRADER_PATH, program + "/Upgrader"));
        WriteFile(program + "/KxViewer", "old");
        const QString marker = root.path() + "/restarted";
        const QByteArray fresh = "#!/bin/sh\necho restarted > " + QFile::encodeName(marker) + "\n";
        const QString source = root.path() + "/KxViewer";
        QByteArray onDisk = fresh;
        onDisk[12] = c.source == CHANGED ? 'X' : onDisk[12];
        onDisk += c.source == GROWN ? "\n" : "";
        if (c.source == LINKED) {
            WriteFile(root.path() + "/elsewhere", fresh);
            ASSERT_TRUE(QFile::link(root.path() + "/elsewhere", source));
        } else if (c.source != MISSING) {
            WriteFile(source, onDisk);
        }

        QProcess viewer;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (c.viewerMs > 0) {
            viewer.start("sleep", {QString::number(c.viewerMs / 1000.0)});
            ASSERT_TRUE(viewer.waitForStarted());
            environment.insert("KXV_VIEWER_PID", QString::number(viewer.processId()));
        }
        QString hash = QCryptographicHash::hash(fresh, QCryptographicHash::Sha256).toHex();
        if (c.arguments < 0)
            hash.chop(1);
        QProcess upgrader;
        upgrader.setProcessEnvironment(environment);
        const QStringList arguments{source, ini, QString::number(fresh.size()), hash};
        upgrader.start(program + "/Upgrader", arguments.mid(0, std::abs(c.arguments)));
        QElapsedTimer clock;
        clock.start();
        // The sleeping viewer is our child: reap it so that it really ends.
        ASSERT_TRUE(c.viewerMs == 0 || viewer.waitForFinished(5000));
        ASSERT_TRUE(upgrader.waitForFinished(10000));
        EXPECT_EQ(upgrader.exitCode(), c.exitCode);
        const bool replaced = c.exitCode == 0;
        EXPECT_GE(clock.elapsed(), c.viewerMs - 200);
        EXPECT_EQ(ReadFile(program + "/KxViewer"), replaced ? fresh : QByteArray("old"));
        // Nothing is left half-copied; the package is gone once the upgrader took it up, and a link is
        // removed without its target.
        EXPECT_FALSE(QFile::exists(program + "/KxViewer.new"));
        EXPECT_EQ(QFileInfo(source).isSymLink() || QFile::exists(source), c.exitCode == 2);
        if (c.source == LINKED) {
            EXPECT_EQ(ReadFile(root.path() + "/elsewhere"), fresh);
        }
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

} // namespace
