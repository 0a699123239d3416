// An update package from a loopback server: written and hashed as it
// arrives, in one pass. Prints the rate and the memory before and after.
// bench_upgrade [megabytes]   (500 by default)
#include <cstdio>
#include <cstdlib>

#include <QApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>

#include "kxviewer/downloadmanager.h"
#include "kxviewer/upgradesettings.h"
#include "utils/osal/privatedir.h"
#include "tests/kxviewer/shell/httpfixture.h"

namespace {

// Resident and peak resident memory in MiB, from /proc/self/status.
void PrintMemory(const char* when)
{
    QFile status("/proc/self/status");
    status.open(QIODevice::ReadOnly);
    long rss = 0, peak = 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            rss = line.mid(6).trimmed().split(' ')[0].toLong();
        if (line.startsWith("VmHWM:"))
            peak = line.mid(6).trimmed().split(' ')[0].toLong();
    }
    printf("%-8s RSS %6.1f MiB, peak %6.1f MiB\n", when, rss / 1024.0, peak / 1024.0);
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const qint64 size = qint64(argc > 1 ? atoll(argv[1]) : 500) << 20;
    UpgradeSettings::WorkDir = home.path();

    // The expected hash of the generated stream, away from the timing.
    QCryptographicHash expected(QCryptographicHash::Sha256);
    for (qint64 left = size; left > 0; left -= TestHttpServer::StreamBlock().size())
        expected.addData(TestHttpServer::StreamBlock().left(int(qMin<qint64>(left, TestHttpServer::StreamBlock().size()))));

    TestHttpServer server;
    server.routes["/KxViewer"].streamBytes = size;
    ZmLib::PrivateDir folder;
    const std::string refused = folder.Hold(QFile::encodeName(home.path()).toStdString());
    if (!refused.empty()) {
        fprintf(stderr, "%s\n", refused.c_str());
        return 1;
    }
    DownloadManager download(nullptr, nullptr);
    QEventLoop loop;
    bool ok = false;
    QObject::connect(&download, &DownloadManager::callDownloadFinished, [&] { ok = true; loop.quit(); });
    QObject::connect(&download, &DownloadManager::callDownloadError, &loop, &QEventLoop::quit);

    PrintMemory("before");
    QElapsedTimer clock;
    clock.start();
    download.startDownload(folder, QUrl(server.Url() + "KxViewer"), size);
    loop.exec();
    const double seconds = clock.nsecsElapsed() / 1e9;
    PrintMemory("after");
    if (!ok || download.Sha256() != expected.result() || QFile(home.path() + "/KxViewer").size() != size) {
        fprintf(stderr, "download failed or differs: %s\n", qPrintable(download.Failure()));
        return 1;
    }
    printf("%lld MiB written and hashed in %.2f s: %.0f MB/s\n", size >> 20, seconds, size / seconds / 1e6);
    return 0;
}
