#pragma once
// One download of an installer package: the bytes go into a temporary file while they
// arrive; at the end the file is copied to the package path and checked against the
// expected MD5. Says which step failed, so that a full disk is not reported as a digest
// error. GUI thread only; delete it after finished.
#include <QFile>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QString>

class QNetworkAccessManager;
class QNetworkRequest;

// "正在下载(42%)"; with no total size known, the bytes received: "正在下载(12.3MB)".
QString downloadProgressText(qint64 received, qint64 total);
// The logged text of a failed update request (translatable).
QString downloadFailedText(const QString& errorString);

class PackageDownload : public QObject {
    Q_OBJECT
public:
    enum class Outcome { Verified, NetworkError, WriteError, DigestMismatch };
    Q_ENUM(Outcome)

    PackageDownload(const QString& temporaryPath, const QString& packagePath, const QString& expectedMd5,
                    QObject* parent = nullptr);
    ~PackageDownload() override;

    // Opens the temporary file (truncated) and sends the request; false when the file
    // cannot be opened (nothing is sent then).
    bool start(QNetworkAccessManager* manager, const QNetworkRequest& request);

signals:
    void progress(qint64 received, qint64 total);
    void finished(PackageDownload::Outcome outcome);

private:
    void writeArrived();
    void replyFinished();
    Outcome storeAndVerify();
    void discardFiles();

    QFile temporary;
    QString packagePath;
    QString expectedMd5;
    // Guarded: at exit the account client's manager may have deleted it already.
    QPointer<QNetworkReply> reply;
    bool writeFailed = false;
};
