// Upgrader FILE INI_FOLDER: replaces the viewer beside this program with FILE
// once the viewer has ended, and starts the new one. The viewer checked FILE
// against its signed size and hash just before starting this program. Each
// step goes to standard error and to INI_FOLDER/Upgrader.log.
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

// A copy beside the target, then one rename: the old program stays whole
// until the new one is complete.
bool Replace(const QString& source, const QString& target)
{
    const QString partial = target + QStringLiteral(".new");
    QFile::remove(partial);
    QFile in(source);
    if (!in.copy(partial)) {
        Log(QStringLiteral("Cannot copy %1 to %2: %3").arg(source, partial, in.errorString()));
        return false;
    }
    const QByteArray partialName = QFile::encodeName(partial);
    if (chmod(partialName.constData(), 0755) != 0 ||
        rename(partialName.constData(), QFile::encodeName(target).constData()) != 0) {
        Log(QStringLiteral("Cannot replace %1: %2").arg(target, QString::fromLocal8Bit(strerror(errno))));
        QFile::remove(partial);
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        fputs("usage: Upgrader FILE INI_FOLDER\n", stderr);
        return 2;
    }
    const QString source = QFile::decodeName(argv[1]);
    logPath = QDir(QFile::decodeName(argv[2])).filePath(QStringLiteral("Upgrader.log"));
    const QString target = OwnFolder() + QStringLiteral("/KxViewer");
    Log(QStringLiteral("Upgrading %1 from %2").arg(target, source));

    const char* viewer = getenv("KXV_VIEWER_PID");
    if (!WaitForExit(viewer != nullptr ? pid_t(atoll(viewer)) : 0)) {
        Log(QStringLiteral("The viewer (process %1) did not end within %2 s").arg(viewer).arg(WAIT_SECONDS));
        return 1;
    }
    if (!Replace(source, target))
        return 1;
    QFile::remove(source);

    const QByteArray program = QFile::encodeName(target);
    char* const arguments[] = {const_cast<char*>(program.constData()), nullptr};
    pid_t pid = 0;
    const int error = posix_spawn(&pid, program.constData(), nullptr, nullptr, arguments, environ);
    if (error != 0) {
        Log(QStringLiteral("Cannot start %1: %2").arg(target, QString::fromLocal8Bit(strerror(error))));
        return 1;
    }
    Log(QStringLiteral("Started %1").arg(target));
    return 0;
}
