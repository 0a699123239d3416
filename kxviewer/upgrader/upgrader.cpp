// Upgrader FILE INI_FOLDER SIZE SHA256: replaces the viewer beside this
// program with FILE once the viewer has ended, and starts the new one. SIZE
// and SHA256 (hexadecimal) are the signed ones: FILE may have changed since
// the viewer checked it, so the bytes copied are checked again. FILE is
// removed whatever happens. Each step goes to standard error and to
// INI_FOLDER/Upgrader.log.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <fcntl.h>
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

// Copies source into the new file out, hashing what is copied; false after
// logging why.
bool CopyHashed(const QString& source, const QString& partial, int out, qint64& size, QByteArray& sha256)
{
    const int in = open(QFile::encodeName(source).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (in < 0) {
        Log(QStringLiteral("Cannot copy %1 to %2: %3").arg(source, partial, ErrorText(errno)));
        return false;
    }
    Sha256Stream hash;
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    size = 0;
    ssize_t n = 0;
    while ((n = read(in, buffer.data(), size_t(buffer.size()))) > 0) {
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = write(out, buffer.constData() + done, size_t(n - done));
            if (w < 0) {
                Log(QStringLiteral("Cannot write %1: %2").arg(partial, ErrorText(errno)));
                close(in);
                return false;
            }
            done += w;
        }
        hash.Add(buffer.constData(), n);
        size += n;
    }
    const int readError = errno;
    close(in);
    if (n < 0) {
        Log(QStringLiteral("Cannot read %1: %2").arg(source, ErrorText(readError)));
        return false;
    }
    sha256 = hash.Result();
    return true;
}

// A checked copy beside the target, then one rename: the old program stays
// whole until the new one is complete and is the signed one.
bool Replace(const QString& source, const QString& target, const UpgradePackage& package)
{
    const QString partial = target + QStringLiteral(".new");
    const QByteArray partialName = QFile::encodeName(partial);
    std::string why;
    const int out = ZmLib::CreatePrivateFile(partialName.toStdString(), why);
    if (out < 0) {
        Log(QStringLiteral("Cannot copy %1 to %2: %3").arg(source, partial, QString::fromLocal8Bit(why.c_str())));
        return false;
    }
    qint64 size = 0;
    QByteArray sha256;
    bool done = CopyHashed(source, partial, out, size, sha256);
    const QString mismatch = done ? package.Mismatch(size, sha256) : QString();
    if (!mismatch.isEmpty()) {
        Log(QStringLiteral("Package verification failed: %1; %2 refused").arg(mismatch, source));
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
    if (argc != 5 || !package.Parse(argv[3], argv[4])) {
        fputs("usage: Upgrader FILE INI_FOLDER SIZE SHA256\n", stderr);
        return 2;
    }
    const QString source = QFile::decodeName(argv[1]);
    logPath = QDir(QFile::decodeName(argv[2])).filePath(QStringLiteral("Upgrader.log"));
    const QString target = OwnFolder() + QStringLiteral("/KxViewer");
    Log(QStringLiteral("Upgrading %1 from %2").arg(target, source));

    const char* viewer = getenv("KXV_VIEWER_PID");
    if (!WaitForExit(viewer != nullptr ? pid_t(atoll(viewer)) : 0)) {
        Log(QStringLiteral("The viewer (process %1) did not end within %2 s").arg(viewer).arg(WAIT_SECONDS));
        QFile::remove(source);
        return 1;
    }
    const bool replaced = Replace(source, target, package);
    QFile::remove(source);
    if (!replaced)
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
