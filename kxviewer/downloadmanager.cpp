#include "kxviewer/downloadmanager.h"

#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QNetworkReply>
#include <QProgressDialog>

#include "kxviewer/kxvchannels.h"
#include "kxviewer/upgradesettings.h"
#include "utils/osal/privatedir.h"

namespace {

QString UnableToSave(const QString& fileName, const QString& why)
{
    return QStringLiteral("Unable to save the file %1: %2.").arg(fileName, why);
}

} // namespace

DownloadManager::DownloadManager(QProgressDialog* progress, QObject* parent) : QObject(parent), progress_(progress)
{
    KX_PRINT(KxvUpgradeChannel, ZmLib::KX_LEVEL_NOTICE, "DownloadManager constructor");
    if (progress_ != nullptr)
        connect(progress_, &QProgressDialog::canceled, this, &DownloadManager::cancelDownload);
    stall_.setSingleShot(true);
    connect(&stall_, &QTimer::timeout, this, &DownloadManager::onStalled);
}

DownloadManager::~DownloadManager()
{
    if (reply_ != nullptr) {
        reply_->disconnect(this);
        reply_->abort();
    }
    CloseOutput();
    KX_PRINT(KxvUpgradeChannel, ZmLib::KX_LEVEL_NOTICE, "DownloadManager deconstructor");
}

void DownloadManager::startDownload(const ZmLib::PrivateDir& folder, const QUrl& url, qint64 maxBytes)
{
    KX_PRINT(KxvUpgradeChannel, ZmLib::KX_LEVEL_NOTICE, "Starting download %s...",
             url.toString().toLocal8Bit().constData());
    url_ = url;
    maxBytes_ = maxBytes;
    folder_ = &folder;
    name_ = QFile::encodeName(QFileInfo(url.path()).fileName()).toStdString();
    fileName_ = QFile::decodeName(folder.PathOf(name_).c_str());
    // Nothing will signal the end otherwise: the attempt must not hang.
    if (!OpenOutput()) {
        Fail(UnableToSave(fileName_, openError_));
        return;
    }
    aborted_ = false;
    // A busy bar until this download reports its size, not the last one's.
    if (progress_ != nullptr) {
        progress_->setMaximum(0);
        progress_->setValue(0);
    }
    Request();
}

bool DownloadManager::OpenOutput()
{
    CloseOutput();
    written_ = 0;
    hash_.Reset();
    std::string why;
    output_ = folder_->Create(name_, why);
    openError_ = QString::fromLocal8Bit(why.c_str());
    return output_ >= 0;
}

void DownloadManager::CloseOutput()
{
    if (output_ >= 0)
        ::close(output_);
    output_ = -1;
}

void DownloadManager::Request()
{
    QNetworkRequest request(url_);
    // Redirects are checked here one by one: a count and no https to http.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    reply_ = network_.get(request);
    connect(reply_, &QNetworkReply::downloadProgress, this, &DownloadManager::onDownloadProgress);
    connect(reply_, &QNetworkReply::finished, this, &DownloadManager::downloadFinished);
    connect(reply_, &QNetworkReply::readyRead, this, &DownloadManager::downloadReadyRead);
    stall_.start(UpgradeSettings::StallMs);
}

void DownloadManager::downloadReadyRead()
{
    if (reply_ == nullptr || !failure_.isEmpty())
        return;
    stall_.start(UpgradeSettings::StallMs);
    // A redirect's body is not part of the file.
    if (reply_->attribute(QNetworkRequest::RedirectionTargetAttribute).isValid()) {
        reply_->readAll();
        return;
    }
    const QByteArray data = reply_->readAll();
    if (written_ + data.size() > maxBytes_) {
        Fail(QStringLiteral("Download failed: more than %1 bytes").arg(maxBytes_));
        return;
    }
    // Each chunk goes straight to the file, so a failed write shows at once
    // with the system's reason.
    std::string why;
    if (!ZmLib::WriteFully(output_, data.constData(), size_t(data.size()), why)) {
        Fail(UnableToSave(fileName_, QString::fromLocal8Bit(why.c_str())));
        return;
    }
    hash_.Add(data.constData(), data.size());
    written_ += data.size();
}

void DownloadManager::onDownloadProgress(qint64 received, qint64 total)
{
    if (aborted_ || progress_ == nullptr)
        return;
    if (!UpgradeSettings::Interactive) {
        progress_->hide();
        return;
    }
    progress_->show();
    // QProgressDialog counts in int; large files are shown in KiB.
    const int shift = total > 0x7FFFFFFF ? 10 : 0;
    progress_->setMaximum(int(qMax<qint64>(total, 0) >> shift));
    progress_->setValue(int(received >> shift));
}

void DownloadManager::onStalled()
{
    Fail(QStringLiteral("Download failed: no data for %1 s").arg(UpgradeSettings::StallMs / 1000.0));
}

void DownloadManager::cancelDownload()
{
    aborted_ = true;
    Fail(QStringLiteral("Download failed: Aborted by user"));
}

void DownloadManager::Fail(const QString& why)
{
    if (!failure_.isEmpty())
        return;
    failure_ = why;
    stall_.stop();
    if (reply_ != nullptr)
        reply_->abort(); // finished() follows and ends the download
    else
        EndWithError(false);
}

void DownloadManager::downloadFinished()
{
    stall_.stop();
    QNetworkReply* reply = reply_;
    reply_ = nullptr;
    if (reply == nullptr)
        return;
    reply->disconnect(this);
    reply->deleteLater();
    if (!failure_.isEmpty()) {
        EndWithError(false);
        return;
    }
    if (reply->error() != QNetworkReply::NoError) {
        failure_ = QStringLiteral("Download failed: ") + reply->errorString();
        EndWithError(true);
        return;
    }
    const QUrl target = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
    if (target.isValid()) {
        const QUrl next = url_.resolved(target);
        if (++redirects_ > UpgradeSettings::MAX_REDIRECTS)
            failure_ = QStringLiteral("Download failed: more than %1 redirects").arg(UpgradeSettings::MAX_REDIRECTS);
        else if (url_.scheme() == QLatin1String("https") && next.scheme() != QLatin1String("https"))
            failure_ = QStringLiteral("Download failed: redirect from https to %1 refused").arg(next.scheme());
        else if (!UpgradeSettings::IsAllowed(next))
            failure_ = QStringLiteral("Download failed: redirect to %1 refused").arg(next.toString());
        else if (!OpenOutput())
            failure_ = UnableToSave(fileName_, openError_);
        if (!failure_.isEmpty()) {
            EndWithError(true);
            return;
        }
        url_ = next;
        Request();
        return;
    }
    downloadReadyRead();
    if (!failure_.isEmpty()) {
        EndWithError(false);
        return;
    }
    CloseOutput();
    emit callDownloadFinished(fileName_);
}

void DownloadManager::EndWithError(bool networkError)
{
    // Only a file this download made is removed, never what stood in its way.
    if (output_ >= 0) {
        CloseOutput();
        folder_->Remove(name_);
    }
    KX_WARNING(KxvUpgradeChannel, "%s", failure_.toLocal8Bit().constData());
    KxvShell().AddToSystemLog(failure_);
    if (UpgradeSettings::Interactive && !aborted_) {
        const QString connectError = QStringLiteral("An error occurred when connecting to the upgrade site");
        if (networkError)
            KxvShell().AddToSystemLog(connectError);
        KxvShell().Information(networkError ? connectError : failure_, true);
    }
    emit callDownloadError();
}
