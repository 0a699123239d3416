// Upgrader INI_FOLDER SIZE SHA256 < PACKAGE: replaces the viewer beside
// this program with the package on standard input once the viewer has
// ended, and starts the new one. SIZE and SHA256 (hexadecimal) are the
// signed ones, and the bytes copied are checked against them: no more than
// SIZE + 1 bytes are read, and input that stops coming for a while is given
// up. The package comes as the open file the viewer checked, never by a
// name: the folder it was downloaded to may be another by the time the
// viewer has ended, so nothing is read or removed there. When the update
// does not happen, the previous viewer is started again and told why. Asked
// to end (SIGTERM, SIGINT) before the new viewer is in place, it removes its
// copy, leaves the reason for the next start and starts nothing. Each step
// goes to standard error and to INI_FOLDER/Upgrader.log, in the user's
// language.
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include "kxviewer/sha256stream.h"
#include "kxviewer/upgraderresult.h"
#include "kxviewer/upgradeversionfile.h"
#include "utils/osal/privatedir.h"
#include "utils/osal/process.h"

extern char** environ;

namespace {

constexpr int WAIT_SECONDS = 60;

QString logPath;
// Why the update did not happen: the first failure; empty while none.
QString failure;
// The signal that asked this process to end; 0 while none did.
volatile sig_atomic_t stopSignal = 0;

void OnStop(int signal) { stopSignal = signal; }

// SIGTERM and SIGINT interrupt the wait and the copy (no SA_RESTART), which
// then end as a failure that removes the copy.
void CatchStopSignals()
{
    struct sigaction action {};
    action.sa_handler = OnStop;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGTERM, SIGINT})
        sigaction(signal, &action, nullptr);
}

void Log(const QString& text)
{
    const QByteArray line = (QDateTime::currentDateTime().toString(Qt::ISODate) + ' ' + text + '\n').toLocal8Bit();
    fputs(line.constData(), stderr);
    QFile file(logPath);
    if (!logPath.isEmpty() && file.open(QIODevice::Append))
        file.write(line);
}

void Fail(const QString& text)
{
    Log(text);
    if (failure.isEmpty())
        failure = text;
}

// True, after telling why, once a stop signal came.
bool Stopped()
{
    if (stopSignal != 0)
        Fail(QStringLiteral("The upgrader was stopped (%1) before the new version was in place")
                 .arg(QString::fromLocal8Bit(strsignal(stopSignal))));
    return stopSignal != 0;
}

// True once the process is gone (or when there is none to wait for).
bool WaitForExit(pid_t pid)
{
    for (int i = 0; pid > 0 && i < WAIT_SECONDS * 10 && stopSignal == 0; ++i) {
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

int StallMs()
{
    const char* text = getenv(UpgraderResult::STALL_VARIABLE);
    const int ms = text != nullptr ? atoi(text) : 0;
    return ms > 0 ? ms : UpgraderResult::STALL_MS;
}

// Copies the package on standard input into the new file out, hashing what
// is read: at most limit bytes are written, and one more byte read ends the
// copy. False after telling why: input that stops coming for stallMs, a
// read or a write that fails.
bool CopyHashed(const QString& partial, int out, qint64 limit, int stallMs, qint64& size, QByteArray& sha256)
{
    Sha256Stream hash;
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    size = 0;
    while (size <= limit) {
        if (Stopped())
            return false;
        pollfd input{STDIN_FILENO, POLLIN, 0};
        const int ready = poll(&input, 1, stallMs);
        if (ready == 0) {
            Fail(QStringLiteral("The package stopped coming: nothing for %1 ms").arg(stallMs));
            return false;
        }
        const size_t wanted = size_t(std::min<qint64>(buffer.size(), limit + 1 - size));
        const ssize_t n = ready < 0 ? -1 : read(STDIN_FILENO, buffer.data(), wanted);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            Fail(QStringLiteral("Cannot read the package: %1").arg(ErrorText(errno)));
            return false;
        }
        if (n == 0)
            break;
        std::string why;
        if (!ZmLib::WriteFully(out, buffer.constData(), size_t(std::min<qint64>(n, limit - size)), why)) {
            Fail(QStringLiteral("Cannot write %1: %2").arg(partial, QString::fromLocal8Bit(why.c_str())));
            return false;
        }
        hash.Add(buffer.constData(), n);
        size += n;
    }
    sha256 = hash.Result();
    return true;
}

// The renamed program's name on the disk too; a failure is only logged,
// since the new program is in place.
void SyncFolder(const QString& folder)
{
    const int fd = open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || fsync(fd) != 0)
        Log(QStringLiteral("Cannot flush the folder %1: %2").arg(folder, ErrorText(errno)));
    if (fd >= 0)
        close(fd);
}

// A checked copy beside the target, on the disk before one rename: the old
// program stays whole until the new one is complete and is the signed one.
bool Replace(const QString& target, const UpgradePackage& package)
{
    const QString partial = QFileInfo(target).absolutePath() + '/' + UpgraderResult::PARTIAL_FILE;
    const QByteArray partialName = QFile::encodeName(partial);
    std::string why;
    const int out = ZmLib::CreatePrivateFile(partialName.toStdString(), why);
    if (out >= 0 && flock(out, LOCK_EX | LOCK_NB) != 0)
        why = strerror(errno);
    if (out < 0 || !why.empty()) {
        if (out >= 0) {
            close(out);
            unlink(partialName.constData());
        }
        Fail(QStringLiteral("Cannot copy the package to %1: %2").arg(partial, QString::fromLocal8Bit(why.c_str())));
        return false;
    }
    qint64 size = 0;
    QByteArray sha256;
    bool done = CopyHashed(partial, out, package.size, StallMs(), size, sha256);
    const QString mismatch = !done                ? QString()
                             : size > package.size ? QStringLiteral("more than %1 bytes").arg(package.size)
                                                   : package.Mismatch(size, sha256);
    if (!mismatch.isEmpty()) {
        Fail(QStringLiteral("Package verification failed: %1; the package is refused").arg(mismatch));
        done = false;
    }
    int error = 0;
    if (done && (fchmod(out, 0755) != 0 || fsync(out) != 0))
        error = errno;
    // Renamed or removed while the lock is held, so that a start never takes
    // the copy for one left behind.
    if (done && error == 0 && rename(partialName.constData(), QFile::encodeName(target).constData()) != 0)
        error = errno;
    if (done && error != 0) {
        Fail(QStringLiteral("Cannot replace %1: %2").arg(target, ErrorText(error)));
        done = false;
    }
    if (!done)
        unlink(partialName.constData());
    if (close(out) != 0 && done)
        Log(QStringLiteral("Cannot close %1: %2").arg(target, ErrorText(errno)));
    if (done)
        SyncFolder(QFileInfo(target).absolutePath());
    return done;
}

// Leaves the failure for the next start of the viewer, as far as the disk
// takes it.
void LeaveFailure(const QString& iniFolder)
{
    const QByteArray text = failure.toLocal8Bit();
    const std::string path = QFile::encodeName(QDir(iniFolder).filePath(UpgraderResult::FAILURE_FILE)).toStdString();
    std::string why;
    const int fd = ZmLib::CreatePrivateFile(path, why);
    if (fd < 0 || !ZmLib::WriteFully(fd, text.constData(), size_t(text.size()), why))
        Log(QStringLiteral("Cannot leave the reason in %1: %2")
                .arg(QFile::decodeName(path.c_str()), QString::fromLocal8Bit(why.c_str())));
    if (fd >= 0)
        close(fd);
}

// Starts the program, told of the failure when there is one, reading
// nothing of this process's input (the package).
bool Start(const QString& program)
{
    std::vector<std::string> environment;
    const std::string told = std::string(UpgraderResult::FAILURE_VARIABLE) + '=';
    for (char** variable = environ; *variable != nullptr; ++variable)
        if (strncmp(*variable, told.c_str(), told.size()) != 0)
            environment.push_back(*variable);
    if (!failure.isEmpty())
        environment.push_back(told + failure.toLocal8Bit().toStdString());
    const int input = open("/dev/null", O_RDONLY | O_CLOEXEC);
    std::string why = strerror(errno);
    const bool started = input >= 0 && ZmLib::PROCESS::SpawnWithInput(QFile::encodeName(program).toStdString(), {},
                                                                       environment, input, why) > 0;
    if (input >= 0)
        close(input);
    Log(started ? QStringLiteral("Started %1").arg(program)
                : QStringLiteral("Cannot start %1: %2").arg(program, QString::fromLocal8Bit(why.c_str())));
    return started;
}

} // namespace

int main(int argc, char** argv)
{
    // The reasons are the user's to read; numbers keep '.' as everywhere.
    setlocale(LC_ALL, "");
    setlocale(LC_NUMERIC, "C");
    CatchStopSignals();
    UpgradePackage package;
    if (argc != 4 || !package.Parse(argv[2], argv[3])) {
        fputs("usage: Upgrader INI_FOLDER SIZE SHA256 < PACKAGE\n", stderr);
        return 2;
    }
    const QString iniFolder = QFile::decodeName(argv[1]);
    logPath = QDir(iniFolder).filePath(QStringLiteral("Upgrader.log"));
    const QString target = OwnFolder() + QStringLiteral("/KxViewer");
    Log(QStringLiteral("Upgrading %1 from standard input").arg(target));

    const char* viewer = getenv("KXV_VIEWER_PID");
    if (!WaitForExit(viewer != nullptr ? pid_t(atoll(viewer)) : 0)) {
        // It still runs: no second one is started, the next start is told.
        if (!Stopped())
            Fail(QStringLiteral("The viewer (process %1) did not end within %2 s").arg(viewer).arg(WAIT_SECONDS));
        LeaveFailure(iniFolder);
        return 1;
    }
    const bool replaced = Replace(target, package);
    if (!replaced)
        LeaveFailure(iniFolder);
    // Asked to end: nothing more is started; a later start tells the user.
    if (stopSignal != 0)
        return replaced ? 0 : 1;
    // The new viewer, or the old one that says why it is still the old one.
    return Start(target) && replaced ? 0 : 1;
}
