// One attempt to bring the program up to date: the signed version file, the
// package it names, the user's consent, then the upgrader (same major
// version) or the installer, and the program quits. At most one attempt
// exists; it deletes itself when it ends.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include <QObject>
#include <QString>

#include "kxviewer/upgradeversionfile.h"
#include "utils/osal/privatedir.h"

class DownloadManager;
class QProgressDialog;

class Upgrade : public QObject {
    Q_OBJECT

public:
    enum Mode : int { NO_VERSION = 0, UP_TO_DATE = 1, NEW_EXECUTABLE = 2, NEW_INSTALLER = 3 };

    // The program's own version, 2.1.3993.2.
    static constexpr uint64_t OWN_VERSION = (uint64_t(2) << 48) | (uint64_t(1) << 32) | (uint64_t(3993) << 16) | 2;
    static constexpr int RECHECK_SECONDS = 14400;
    static constexpr int RECHECK_AFTER_PACKAGE_SECONDS = 604800;

    Upgrade();
    ~Upgrade() override;

    // The attempt in progress; null when there is none.
    static Upgrade* Instance();
    // "Check for Updates": shows the running attempt's progress, or starts a
    // forced one. The automatic check: starts an unforced one when none runs.
    // Without a server address neither starts one; "Check for Updates" says
    // so.
    static void CheckNow();
    static void CheckAutomatically();

    // Tells the user once, at start, why the upgrader kept the previous
    // version, when it left a reason (in the environment of the viewer it
    // started again, or in the ini folder), and that an update did not
    // finish when a killed upgrader left its copy beside the viewer, which
    // is then removed.
    static void TellUpgraderFailure();

    void StartUpdate(bool forced);
    QProgressDialog* Progress() const { return progress_; }

    // Called after the installer's last check, just before it starts; tests
    // change the work folder there.
    static inline std::function<void()> BeforeInstallerStart;

private slots:
    void onFinishDownloadVersionFile(const QString& fileName);
    void onFinishDownloadSignature(const QString& fileName);
    void onMainDownloadFinished(const QString& fileName);
    void onMainDownloadError();

private:
    // Starts the next download into the work folder, held from the first
    // one to the end of the attempt; finished goes to the slot.
    void Download(const QString& name, qint64 maxBytes, void (Upgrade::*finished)(const QString&));
    // Compares the signed file's version with ours and fetches the package.
    void UseVersionFile();
    // The executable or the installer, as the mode says.
    const UpgradePackage& SignedPackage() const;
    // The downloaded file's contents; the file is removed.
    QByteArray ReadAndRemove(const QString& fileName);
    // Removes a downloaded file from the work folder.
    void Remove(const QString& fileName);
    // True when the file's size and SHA-256 are the signed ones; otherwise
    // the file is deleted and the user told.
    bool Verified(const QString& fileName, qint64 size, const QByteArray& sha256);
    // The program folder takes a new file; reported when not.
    bool ProgramFolderWritable();
    // Starts the upgrader or the installer on the verified file.
    bool StartPackage(const QString& fileName);
    // Start the installer or the upgrader from the open descriptor that was
    // checked.
    bool StartInstaller(const QString& fileName, int fd);
    bool StartUpgrader(const QString& fileName, int fd);
    void SaveNextCheck(int seconds);
    // Clears the interactive flag, closes the dialog, deletes the attempt.
    void End();

    ZmLib::PrivateDir work_;
    DownloadManager* download_ = nullptr;
    int mode_ = NO_VERSION;
    QProgressDialog* progress_ = nullptr;
    uint64_t version_ = 0;
    QByteArray versionBytes_;
    UpgradeVersionFile versionFile_;
};
