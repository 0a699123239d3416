// Upgrader INI_FOLDER SIZE SHA256 < PACKAGE: replaces the viewer beside
// this program with the package on standard input once the viewer has
// ended, and starts the new one. SIZE and SHA256 (hexadecimal) are the
// signed ones, and the bytes copied are checked against them. The package
// comes as the open file the viewer checked, never by a name: the folder it
// was downloaded to may be another by the time the viewer has ended, so
// nothing is read or removed there. Each step goes to standard error and to
// INI_FOLDER/Upgrader.log.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include "kxviewer/sha256stream.h"
#include "kxviewer/upgradeversionfile.h"
#include "utils/osal/privatedir.h"

extern char** environ;

namespace {

constexpr int WAIT_SECONDS = 60;

QString logPath;

void Log(const QString& text)
{
    const QByteArray line = (QDateTime::currentDateTime().toString(Qt::ISODate) + ' ' + text + '\n').toLocal8Bit();
    fputs(line.constData(), stderr);
    QFile file(logPath);
    if (!logPath.isEmpty() && file.open(QIODevice::Append))
        file.write(line);
}

// True once the process is gone (or when there is none to wait for).
bool WaitForExit(pid_t pid)
{
    for (int i = 0; pid > 0 && i < WAIT_SECONDS * 10; ++i) {
        if (kill(pid, 0) != 0 && errno == ESRCH)
            return true;
        const timespec pause{0, 100 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
    return pid <= 0;
}

QString OwnFolder()
{
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (n <= 0)
        return QString();
    path[n] = '\0';
    return QFileInfo(QFile::decodeName(path)).absolutePath();
}

QString ErrorText(int error) { return QString::fromLocal8Bit(strerror(error)); }

// Copies the package on standard input into the new file out, hashing what
// is copied; false after logging why.
bool CopyHashed(const QString& partial, int out, qint64& size, QByteArray& sha256)
{
    Sha256Stream hash;
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    size = 0;
    ssize_t n = 0;
    while ((n = read(STDIN_FILENO, buffer.data(), size_t(buffer.size()))) > 0) {
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = write(out, buffer.constData() + done, size_t(n - done));
            if (w < 0) {
                Log(QStringLiteral("Cannot write %1: %2").arg(partial, ErrorText(errno)));
                return false;
            }
            done += w;
        }
        hash.Add(buffer.constData(), n);
        size += n;
    }
    if (n < 0) {
        Log(QStringLiteral("Cannot read the package: %1").arg(ErrorText(errno)));
        return false;
    }
    sha256 = hash.Result();
    return true;
}

// A checked copy beside the target, then one rename: the old program stays
// whole until the new one is complete and is the signed one.
bool Replace(const QString& target, const UpgradePackage& package)
{
    const QString partial = target + QStringLiteral(".new");
    const QByteArray partialName = QFile::encodeName(partial);
    std::string why;
    const int out = ZmLib::CreatePrivateFile(partialName.toStdString(), why);
    if (out < 0) {
        Log(QStringLiteral("Cannot copy the package to %1: %2").arg(partial, QString::fromLocal8Bit(why.c_str())));
        return false;
    }
    qint64 size = 0;
    QByteArray sha256;
    bool done = CopyHashed(partial, out, size, sha256);
    const QString mismatch = done ? package.Mismatch(size, sha256) : QString();
    if (!mismatch.isEmpty()) {
        Log(QStringLiteral("Package verification failed: %1; the package is refused").arg(mismatch));
        done = false;
    }
    if (done && (fchmod(out, 0755) != 0 || close(out) != 0 ||
                 rename(partialName.constData(), QFile::encodeName(target).constData()) != 0)) {
        Log(QStringLiteral("Cannot replace %1: %2").arg(target, ErrorText(errno)));
        done = false;
    } else if (!done) {
        close(out);
    }
    if (!done)
        QFile::remove(partial);
    return done;
}

} // namespace

int main(int argc, char** argv)
{
    UpgradePackage package;
    if (argc != 4 || !package.Parse(argv[2], argv[3])) {
        fputs("usage: Upgrader INI_FOLDER SIZE SHA256 < PACKAGE\n", stderr);
        return 2;
    }
    logPath = QDir(QFile::decodeName(argv[1])).filePath(QStringLiteral("Upgrader.log"));
    const QString target = OwnFolder() + QStringLiteral("/KxViewer");
    Log(QStringLiteral("Upgrading %1 from standard input").arg(target));

    const char* viewer = getenv("KXV_VIEWER_PID");
    if (!WaitForExit(viewer != nullptr ? pid_t(atoll(viewer)) : 0)) {
        Log(QStringLiteral("The viewer (process %1) did not end within %2 s").arg(viewer).arg(WAIT_SECONDS));
        return 1;
    }
    if (!Replace(target, package))
        return 1;

    const QByteArray program = QFile::encodeName(target);
    char* const arguments[] = {const_cast<char*>(program.constData()), nullptr};
    pid_t pid = 0;
    const int error = posix_spawn(&pid, program.constData(), nullptr, nullptr, arguments, environ);
    if (error != 0) {
        Log(QStringLiteral("Cannot start %1: %2").arg(target, ErrorText(error)));
        return 1;
    }
    Log(QStringLiteral("Started %1").arg(target));
    return 0;
}
