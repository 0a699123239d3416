#include "kxviewer/upgrade.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QProgressDialog>
#include <QTemporaryFile>
#include <QUrl>

#include "kxviewer/downloadmanager.h"
#include "kxviewer/kxvchannels.h"
#include "kxviewer/mainwindow.h"
#include "kxviewer/prefdata.h"
#include "kxviewer/readfile.h"
#include "kxviewer/sha256stream.h"
#include "kxviewer/upgraderresult.h"
#include "kxviewer/upgradesettings.h"
#include "utils/osal/process.h"
#include "utils/osal/writepath.h"

namespace {

Upgrade* current = nullptr;

constexpr const char* TIME_FORMAT = "dd.MM.yyyy-HH.mm.ss";
constexpr int PROGRESS_WIDTH = 250;
// The most of the upgrader's reason that is read and shown.
constexpr int REASON_LIMIT = 4096;

void Print(const QString& text)
{
    KX_PRINT(KxvUpgradeChannel, ZmLib::KX_LEVEL_NOTICE, "%s", text.toLocal8Bit().constData());
}

// A warning box for "Check for Updates"; a quiet record for the automatic
// check.
void Tell(const QString& text)
{
    if (UpgradeSettings::Interactive)
        KxvShell().Information(text, true);
    else
        Print(text);
}

// A downloaded file's name in the work folder.
std::string NameIn(const QString& fileName) { return QFile::encodeName(QFileInfo(fileName).fileName()).toStdString(); }

// The open file's size and SHA-256 as they are now; size -1 when it cannot
// be read.
qint64 HashOpenFile(int fd, QByteArray& sha256)
{
    QFile file;
    Sha256Stream hash;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle) || !hash.AddDevice(file))
        return -1;
    sha256 = hash.Result();
    return file.size();
}

// What the viewer finds by name in the program folder is used only when it
// is the user's own regular file: in a folder others may write to, another
// user's file (or a FIFO) of that name is no leftover of ours, and not ours
// to read or remove. It is named in the System Log and left alone.
bool UsersOwnFile(const QByteArray& name, const struct stat& st, const QString& path)
{
    if (S_ISREG(st.st_mode) && ZmLib::EntryOwner(name.constData(), st) == geteuid())
        return true;
    KxvShell().AddToSystemLog(QStringLiteral("%1 was left alone: it is not this user's own regular file").arg(path));
    return false;
}

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// The copy of the package that an upgrader leaves beside the viewer when it
// is killed while it copies: removed, and what happened for the user; empty
// when there is none, its upgrader still holds it, or it is not the user's.
QString RemoveUnfinishedCopy()
{
    const QString path = UpgradeSettings::ProgramFolder() + QLatin1Char('/') + UpgraderResult::PARTIAL_FILE;
    const QByteArray name = QFile::encodeName(path);
    const int fd = open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return QString();
    struct stat held;
    struct stat named;
    QString told;
    if (fstat(fd, &held) == 0 && UsersOwnFile(name, held, path) && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        lstat(name.constData(), &named) == 0 && SameFile(named, held)) {
        const bool removed = unlink(name.constData()) == 0;
        const QString why = QString::fromLocal8Bit(strerror(errno));
        told = QStringLiteral("the upgrader ended while it copied the new version; its unfinished copy %1 ").arg(path) +
               (removed ? QStringLiteral("was removed") : QStringLiteral("could not be removed: ") + why);
    }
    close(fd);
    return told;
}

// The reason an upgrader left in the ini folder (beside the program, when
// the settings are kept there), read through the read check and removed;
// empty when there is none or it is not the user's own regular file.
QString TakeLeftReason()
{
    if (PrefGlobal::IniDir.empty())
        return QString();
    const QByteArray name = QByteArray::fromStdString(PrefGlobal::IniDir + UpgraderResult::FAILURE_FILE);
    const QString path = QFile::decodeName(name);
    struct stat named;
    if (lstat(name.constData(), &named) != 0 || !UsersOwnFile(name, named, path))
        return QString();
    QFile file;
    QString why;
    QString reason;
    struct stat held;
    if (!OpenToRead(file, path, why))
        KxvShell().AddToSystemLog(why);
    else if (fstat(file.handle(), &held) != 0 || !SameFile(named, held))
        return QString(); // another file was put in its place meanwhile
    else
        reason = QString::fromLocal8Bit(file.read(REASON_LIMIT)).trimmed();
    file.close();
    struct stat now;
    if (lstat(name.constData(), &now) == 0 && SameFile(named, now))
        unlink(name.constData());
    return reason;
}

} // namespace

Upgrade::Upgrade() { current = this; }

Upgrade::~Upgrade()
{
    if (current == this)
        current = nullptr;
    delete progress_;
}

Upgrade* Upgrade::Instance() { return current; }

void Upgrade::CheckNow()
{
    if (UpgradeSettings::Url.isEmpty()) {
        KxvShell().Information(QStringLiteral("This build has no update address: it cannot check for updates."),
                               false);
        return;
    }
    UpgradeSettings::Interactive = true;
    if (current != nullptr) {
        if (current->progress_ != nullptr)
            current->progress_->show();
        return;
    }
    (new Upgrade())->StartUpdate(true);
}

void Upgrade::CheckAutomatically()
{
    // A build without a server has nothing to check and nothing to tell.
    if (current == nullptr && !UpgradeSettings::Url.isEmpty())
        (new Upgrade())->StartUpdate(false);
}

void Upgrade::TellUpgraderFailure()
{
    const QString unfinished = RemoveUnfinishedCopy();
    if (!unfinished.isEmpty()) {
        const QString text = QStringLiteral("The update did not finish, the previous version was kept: ") + unfinished;
        KxvShell().AddToSystemLog(text);
        KxvShell().Information(text, true);
    }
    QString reason = TakeLeftReason();
    if (const char* told = getenv(UpgraderResult::FAILURE_VARIABLE)) {
        reason = QString::fromLocal8Bit(told).left(REASON_LIMIT);
        // The programs this one starts are not told again.
        unsetenv(UpgraderResult::FAILURE_VARIABLE);
    }
    if (reason.isEmpty())
        return;
    const QString text = QStringLiteral("The update did not happen, the previous version was kept: ") + reason;
    KxvShell().AddToSystemLog(text);
    KxvShell().Information(text, true);
}

void Upgrade::StartUpdate(bool forced)
{
    progress_ = new QProgressDialog(QStringLiteral("Connecting to the Internet"), QStringLiteral("Cancel"), 0, 0);
    progress_->setFixedWidth(PROGRESS_WIDTH);
    progress_->setWindowModality(Qt::WindowModal);
    progress_->setWindowTitle(QStringLiteral("Update progress"));
    progress_->setAutoClose(false);
    progress_->setAutoReset(false);
    progress_->setWindowFlags(progress_->windowFlags() & ~(Qt::WindowContextHelpButtonHint | Qt::WindowCloseButtonHint));
    progress_->setMinimumDuration(0);
    if (UpgradeSettings::Interactive)
        progress_->show();
    else
        progress_->hide();

    const QDateTime now = QDateTime::currentDateTime();
    if (!forced && now < PrefGlobal::NextUpgradeCheck) {
        Print(QStringLiteral("Upgrade will start on: ") + PrefGlobal::NextUpgradeCheck.toString(TIME_FORMAT));
        End();
        return;
    }
    const QUrl folder(UpgradeSettings::Url);
    if (!UpgradeSettings::IsAllowed(folder)) {
        // The attempt ends as one that found no version, and sends nothing.
        KxvShell().AddToSystemLog(QStringLiteral("Upgrade address refused: ") + UpgradeSettings::Url);
        Tell(QStringLiteral("Connect to the application site failed"));
        Print(QStringLiteral("Version file error"));
        End();
        return;
    }
    Print(QStringLiteral("Upgrade started, URL: %1 ").arg(UpgradeSettings::Url));
    SaveNextCheck(RECHECK_SECONDS);
    Download(QString::fromLatin1(PrefGlobal::UPDATE_VERSION), UpgradeSettings::VERSION_FILE_LIMIT,
             &Upgrade::onFinishDownloadVersionFile);
}

void Upgrade::Download(const QString& name, qint64 maxBytes, void (Upgrade::*finished)(const QString&))
{
    if (!work_.IsHeld()) {
        const std::string refused = UpgradeSettings::WorkDir.isEmpty()
                                        ? PrefGlobal::HoldWorkDir(work_)
                                        : work_.Hold(QFile::encodeName(UpgradeSettings::WorkDir).toStdString());
        if (!refused.empty()) {
            const QString why = QString::fromLocal8Bit(refused.c_str());
            KX_WARNING(KxvUpgradeChannel, "%s", refused.c_str());
            KxvShell().AddToSystemLog(why);
            Tell(why);
            End();
            return;
        }
    }
    if (download_ != nullptr)
        download_->deleteLater();
    download_ = new DownloadManager(progress_, this);
    connect(download_, &DownloadManager::callDownloadFinished, this, finished);
    connect(download_, &DownloadManager::callDownloadError, this, &Upgrade::onMainDownloadError);
    QUrl folder(UpgradeSettings::Url);
    if (!folder.path().endsWith('/'))
        folder.setPath(folder.path() + '/');
    download_->startDownload(work_, folder.resolved(QUrl(name)), maxBytes);
}

QByteArray Upgrade::ReadAndRemove(const QString& fileName)
{
    const std::string name = NameIn(fileName);
    std::string why;
    const int fd = work_.OpenForReading(name, why);
    QFile file;
    QByteArray bytes;
    if (fd >= 0 && file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        bytes = file.readAll();
    else if (fd >= 0)
        ::close(fd);
    work_.Remove(name);
    return bytes;
}

void Upgrade::Remove(const QString& fileName) { work_.Remove(NameIn(fileName)); }

void Upgrade::onFinishDownloadVersionFile(const QString& fileName)
{
    Print(QStringLiteral("File \"%1\" downloaded").arg(fileName));
    versionBytes_ = ReadAndRemove(fileName);
    Download(QString::fromLatin1(PrefGlobal::UPDATE_SIGNATURE), UpgradeVersionFile::SIGNATURE_SIZE,
             &Upgrade::onFinishDownloadSignature);
}

void Upgrade::onFinishDownloadSignature(const QString& fileName)
{
    const QByteArray signature = ReadAndRemove(fileName);
    QString error;
    if (!UpgradeVersionFile::Verify(versionBytes_, signature, UpgradeSettings::PublicKeyPem, error)) {
        if (!error.isEmpty())
            KX_WARNING(KxvUpgradeChannel, "%s", error.toLocal8Bit().constData());
        KX_WARNING(KxvUpgradeChannel, "Version file signature check failed");
        KxvShell().AddToSystemLog(QStringLiteral("Version file signature check failed"));
        Tell(QStringLiteral("Version file signature check failed"));
        End();
        return;
    }
    UseVersionFile();
}

void Upgrade::UseVersionFile()
{
    mode_ = NO_VERSION;
    QString error;
    if (versionFile_.Parse(versionBytes_, error)) {
        version_ = versionFile_.version;
        Print(QStringLiteral("Version found ") + UpgradeVersionFile::VersionText(version_));
        if (version_ <= OWN_VERSION)
            mode_ = UP_TO_DATE;
        else
            mode_ = (version_ >> 48) < 3 ? NEW_EXECUTABLE : NEW_INSTALLER;
    } else {
        KX_WARNING(KxvUpgradeChannel, "Version file: %s", error.toLocal8Bit().constData());
    }
    if (mode_ != NO_VERSION &&
        (PrefGlobal::ForceUpgradeFromGui == NEW_EXECUTABLE || PrefGlobal::ForceUpgradeFromGui == NEW_INSTALLER))
        mode_ = PrefGlobal::ForceUpgradeFromGui;
    if (mode_ == UP_TO_DATE) {
        Tell(QStringLiteral("The version is up to date"));
        End();
        return;
    }
    if (mode_ == NO_VERSION) {
        Tell(QStringLiteral("Connect to the application site failed"));
        Print(QStringLiteral("Version file error"));
        End();
        return;
    }
    if (progress_ != nullptr)
        progress_->setLabelText(QStringLiteral("Downloading new version package"));
    SaveNextCheck(RECHECK_SECONDS);
    const bool executable = mode_ == NEW_EXECUTABLE;
    Download(QString::fromLatin1(executable ? PrefGlobal::UPDATE_EXECUTABLE : PrefGlobal::UPDATE_INSTALLER),
             executable ? versionFile_.executable.size : versionFile_.installer.size, &Upgrade::onMainDownloadFinished);
}

const UpgradePackage& Upgrade::SignedPackage() const
{
    return mode_ == NEW_EXECUTABLE ? versionFile_.executable : versionFile_.installer;
}

bool Upgrade::Verified(const QString& fileName, qint64 size, const QByteArray& sha256)
{
    const QString why = SignedPackage().Mismatch(size, sha256);
    if (why.isEmpty())
        return true;
    Remove(fileName);
    const QString report = QStringLiteral("Package verification failed: %1").arg(why);
    KX_WARNING(KxvUpgradeChannel, "%s", report.toLocal8Bit().constData());
    KxvShell().AddToSystemLog(report);
    KxvShell().AddToSystemLog(QStringLiteral("The downloaded update failed verification and was deleted"));
    Tell(QStringLiteral("The downloaded update failed verification and was deleted"));
    return false;
}

bool Upgrade::ProgramFolderWritable()
{
    const QString folder = UpgradeSettings::ProgramFolder();
    // A file really made there is the only sure test (root passes access()).
    QTemporaryFile probe(folder + QStringLiteral("/.kxviewer-upgrade-XXXXXX"));
    if (probe.open())
        return true;
    KxvShell().AddToSystemLog(QStringLiteral("The program folder %1 is not writable: %2")
                                  .arg(folder, probe.errorString()));
    KxvShell().Information(
        QStringLiteral("A new version is available, but the program folder %1 is not writable, so it cannot be "
                       "installed.")
            .arg(folder),
        true);
    return false;
}

void Upgrade::onMainDownloadFinished(const QString& fileName)
{
    Print(QStringLiteral("File '%1' downloaded").arg(fileName));
    if (progress_ != nullptr) {
        progress_->cancel();
        progress_->deleteLater();
        progress_ = nullptr;
    }
    if (!Verified(fileName, download_->BytesWritten(), download_->Sha256())) {
        End();
        return;
    }
    SaveNextCheck(RECHECK_AFTER_PACKAGE_SECONDS);
    Print(QStringLiteral("Start upgrade to path: %1").arg(UpgradeSettings::ProgramFolder()));
    if (mode_ == NEW_EXECUTABLE && !ProgramFolderWritable()) {
        Remove(fileName);
        End();
        return;
    }
    const int answer = MainWindow::Question(
        QStringLiteral("New version %1 available.\nTo upgrade?").arg(UpgradeVersionFile::VersionText(version_)),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    if (answer != QMessageBox::Yes) {
        Remove(fileName);
        End();
        return;
    }
    // Documents only: the panels stay, so that a failed start is still seen
    // in the System Log.
    if (TearOffMain::Me != nullptr && !TearOffMain::Me->CloseDocks(TearOffMain::Me, false, true)) {
        Remove(fileName);
        KxvShell().AddToSystemLog(QStringLiteral("Upgrade interrupted by user"));
        KxvShell().Information(QStringLiteral("Upgrade interrupted by user"), true);
        End();
        return;
    }
    KxvShell().AddToSystemLog(QStringLiteral("About to run new exe: %1").arg(fileName));
    if (StartPackage(fileName))
        QCoreApplication::quit();
    End();
}

bool Upgrade::StartPackage(const QString& fileName)
{
    // The file sat in the work folder while the user answered: check it
    // again, through the descriptor that the installer is then started from.
    std::string why;
    const int fd = work_.OpenForReading(NameIn(fileName), why);
    QByteArray sha256;
    const qint64 size = fd >= 0 ? HashOpenFile(fd, sha256) : -1;
    bool started = false;
    if (Verified(fileName, size, sha256))
        started = mode_ == NEW_INSTALLER ? StartInstaller(fileName, fd) : StartUpgrader(fileName, fd);
    if (fd >= 0)
        ::close(fd);
    return started;
}

bool Upgrade::StartInstaller(const QString& fileName, int fd)
{
    if (BeforeInstallerStart)
        BeforeInstallerStart();
    std::string why;
    if (fchmod(fd, S_IRWXU) != 0)
        why = strerror(errno);
    else if (ZmLib::PROCESS::SpawnOpenFile(fd, why) > 0)
        return true;
    Remove(fileName);
    KX_WARNING(KxvUpgradeChannel, "%s start error: %s", fileName.toLocal8Bit().constData(), why.c_str());
    const QString text = QStringLiteral("Install execution error:\n") + fileName;
    KxvShell().AddToSystemLog(text);
    KxvShell().AddToSystemLog(QString::fromLocal8Bit(why.c_str()));
    KxvShell().Information(text, true);
    return false;
}

bool Upgrade::StartUpgrader(const QString& fileName, int fd)
{
    const QString upgrader = UpgradeSettings::ProgramFolder() + QStringLiteral("/Upgrader");
    Print(QStringLiteral("Start path: %1").arg(upgrader));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // The upgrader waits for this process to end before it replaces it.
    environment.insert(QStringLiteral("KXV_VIEWER_PID"), QString::number(getpid()));
    std::vector<std::string> variables;
    for (const QString& variable : environment.toStringList())
        variables.push_back(QFile::encodeName(variable).toStdString());
    // The checked file itself is the upgrader's standard input, from its
    // start; no name of it is handed on, since by the time this process has
    // ended the work folder's name may lead elsewhere. The signed size and
    // hash go along: the upgrader checks the bytes it copies. Its name is
    // then removed here, through the held folder; the open file stays the
    // upgrader's.
    std::string why;
    bool started = false;
    if (lseek(fd, 0, SEEK_SET) != 0)
        why = strerror(errno);
    else
        started = ZmLib::PROCESS::SpawnWithInput(QFile::encodeName(upgrader).toStdString(),
                                                 {PrefGlobal::IniDir, std::to_string(versionFile_.executable.size),
                                                  versionFile_.executable.sha256.toHex().toStdString()},
                                                 variables, fd, why) > 0;
    Remove(fileName);
    if (started)
        return true;
    KX_WARNING(KxvUpgradeChannel, "Upgrader start error: %s", why.c_str());
    KxvShell().AddToSystemLog(QStringLiteral("Upgrader execution error"));
    KxvShell().Information(QStringLiteral("Upgrader execution error"), true);
    return false;
}

void Upgrade::onMainDownloadError() { End(); }

void Upgrade::SaveNextCheck(int seconds)
{
    PrefGlobal::NextUpgradeCheck = QDateTime::currentDateTime().addSecs(seconds);
    PrefGlobal::Save();
}

void Upgrade::End()
{
    UpgradeSettings::Interactive = false;
    if (progress_ != nullptr) {
        progress_->cancel();
        progress_->deleteLater();
        progress_ = nullptr;
    }
    if (current == this)
        current = nullptr;
    deleteLater();
}
