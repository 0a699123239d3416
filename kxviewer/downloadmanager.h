// One download into the held work folder, written and hashed in one pass as the
// bytes arrive. It ends with exactly one of callDownloadFinished (the file
// is complete) or callDownloadError (the file is gone and the failure is
// reported); never both, never neither.
#pragma once

#include <string>

#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include "kxviewer/sha256stream.h"

class QNetworkReply;
class QProgressDialog;

namespace ZmLib {
class PrivateDir;
}

class DownloadManager : public QObject {
    Q_OBJECT

public:
    DownloadManager(QProgressDialog* progress, QObject* parent);
    ~DownloadManager() override;

    // Fetches url into folder (which must stay held until the end) under
    // the last part of its path; more than maxBytes ends the download.
    void startDownload(const ZmLib::PrivateDir& folder, const QUrl& url, qint64 maxBytes);

    qint64 BytesWritten() const { return written_; }
    // SHA-256 of the bytes written, once finished.
    QByteArray Sha256() const { return hash_.Result(); }
    // The reason of the failure, once callDownloadError came.
    const QString& Failure() const { return failure_; }

signals:
    void callDownloadFinished(const QString& fileName);
    void callDownloadError();

public slots:
    void cancelDownload();

private slots:
    void downloadFinished();
    void downloadReadyRead();
    void onDownloadProgress(qint64 received, qint64 total);
    void onStalled();

private:
    void Request();
    // Creates the output file anew and resets the count and the hash; why
    // it failed goes to openError_.
    bool OpenOutput();
    void CloseOutput();
    // Ends the transfer with why (the first reason stays).
    void Fail(const QString& why);
    // Removes the file, reports the failure and signals it.
    void EndWithError(bool networkError);

    QNetworkAccessManager network_;
    QPointer<QNetworkReply> reply_;
    const ZmLib::PrivateDir* folder_ = nullptr;
    int output_ = -1;
    QProgressDialog* progress_;
    std::string name_;
    QString fileName_;
    QUrl url_;
    bool aborted_ = false;
    qint64 maxBytes_ = 0;
    qint64 written_ = 0;
    int redirects_ = 0;
    Sha256Stream hash_;
    QTimer stall_;
    QString failure_;
    QString openError_;
};
