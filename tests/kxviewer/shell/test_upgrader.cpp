// The upgrader program: waits for the viewer, replaces it, starts the new one.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
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
    // viewerMs: the viewer still runs this long, 0: none named; sourceThere: the downloaded file exists;
    // arguments: how many are given; logged: a part of Upgrader.log.
    struct Case { const char* name; int viewerMs; bool sourceThere; int arguments; int exitCode; const char* logged; }
    cases[] = {
        {"WaitsThenReplaces", 800, true, 2, 0, "Started "},
        {"NoViewerRunning", 0, true, 2, 0, "Started "},
        {"SourceMissing", 0, false, 2, 1, "Cannot copy "},
        {"WrongArguments", 0, true, 1, 2, nullptr},
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
        if (c.sourceThere)
            WriteFile(root.path() + "/KxViewer", fresh);

        QProcess viewer;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (c.viewerMs > 0) {
            viewer.start("sleep", {QString::number(c.viewerMs / 1000.0)});
            ASSERT_TRUE(viewer.waitForStarted());
            environment.insert("KXV_VIEWER_PID", QString::number(viewer.processId()));
        }
        QProcess upgrader;
        upgrader.setProcessEnvironment(environment);
        upgrader.start(program + "/Upgrader", QStringList{root.path() + "/KxViewer", ini}.mid(0, c.arguments));
        QElapsedTimer clock;
        clock.start();
        // The sleeping viewer is our child: reap it so that it really ends.
        ASSERT_TRUE(c.viewerMs == 0 || viewer.waitForFinished(5000));
        ASSERT_TRUE(upgrader.waitForFinished(10000));
        EXPECT_EQ(upgrader.exitCode(), c.exitCode);
        const bool replaced = c.exitCode == 0;
        EXPECT_GE(clock.elapsed(), c.viewerMs - 200);
        EXPECT_EQ(ReadFile(program + "/KxViewer"), replaced ? fresh : QByteArray("old"));
        if (replaced) {
            EXPECT_TRUE(QFile::permissions(program + "/KxViewer") & QFile::ExeOwner);
            EXPECT_FALSE(QFile::exists(root.path() + "/KxViewer"));
            WaitUntil([&] { return !ReadFile(marker).isEmpty(); }, 5000);
            EXPECT_EQ(ReadFile(marker), "restarted\n");
        }
        const QByteArray log = ReadFile(ini + "/Upgrader.log");
        EXPECT_TRUE(c.logged == nullptr || log.contains(c.logged)) << log.toStdString();
    }
}

} // namespace
