#include "PackageDownload.h"

#include "FileDigest.h"

#include <QCoreApplication>
#include <QDebug>
#include <QNetworkAccessManager>
#include <QNetworkReply>

QString downloadProgressText(qint64 received, qint64 total)
{
    if (total > 0) {
        const float ratio = float(received) / float(total);
        return QString("正在下载(%1%)").arg(int(ratio * 100));
    }
    constexpr double bytesPerMegabyte = 1024.0 * 1024.0;
    return QString("正在下载(%1MB)").arg(received / bytesPerMegabyte, 0, 'f', 1);
}

QString downloadFailedText(const QString& errorString)
{
    return QCoreApplication::translate("UpdateService", "Download failed:\n%1.").arg(errorString);
}

PackageDownload::PackageDownload(const QString& temporaryPath, const QString& packagePath,
                                 const QString& expectedMd5, QObject* parent)
    : QObject(parent)
    , temporary(temporaryPath)
    , packagePath(packagePath)
    , expectedMd5(expectedMd5)
{
}

PackageDownload::~PackageDownload()
{
    if (reply)
        reply->deleteLater();
}

bool PackageDownload::start(QNetworkAccessManager* manager, const QNetworkRequest& request)
{
    // Unbuffered, so that a full disk shows in the write that meets it.
    if (!temporary.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return false;
    qInfo().noquote() << "start download pkg : " + request.url().toString();
    reply = manager->get(request);
    connect(reply, &QNetworkReply::readyRead, this, &PackageDownload::writeArrived);
    connect(reply, &QNetworkReply::downloadProgress, this, [this](qint64 received, qint64 total) {
        qInfo().noquote() << QString("download bytesRead : %1, total : %2").arg(received).arg(total);
        emit progress(received, total);
    });
    connect(reply, &QNetworkReply::finished, this, &PackageDownload::replyFinished);
    return true;
}

void PackageDownload::writeArrived()
{
    const QByteArray data = reply->readAll();
    if (writeFailed || temporary.write(data) == data.size())
        return;
    writeFailed = true;
    qWarning().noquote() << "download write error : " + temporary.errorString();
    reply->abort();
}

void PackageDownload::replyFinished()
{
    if (reply->bytesAvailable() > 0)
        writeArrived();
    reply->deleteLater();
    const QNetworkReply::NetworkError error = reply->error();
    const QString errorText = reply->errorString();
    reply = nullptr;
    Outcome outcome;
    if (writeFailed) {
        discardFiles();
        outcome = Outcome::WriteError;
    } else if (error != QNetworkReply::NoError) {
        qWarning().noquote() << "download finished : " + downloadFailedText(errorText);
        temporary.close();
        outcome = Outcome::NetworkError;
    } else {
        qInfo() << "download pkg over";
        outcome = storeAndVerify();
    }
    emit finished(outcome);
}

PackageDownload::Outcome PackageDownload::storeAndVerify()
{
    temporary.close();
    // The temporary file lies in the package's own folder: a rename, not a second copy.
    if (!QFile::rename(temporary.fileName(), packagePath)) {
        qWarning().noquote() << "download copy error : " + packagePath;
        discardFiles();
        return Outcome::WriteError;
    }
    QString digest;
    const bool matches = fileMatchesMd5(packagePath, expectedMd5, &digest);
    qInfo().noquote() << "download file md5 : " + digest + ", update : " + expectedMd5;
    return matches ? Outcome::Verified : Outcome::DigestMismatch;
}

void PackageDownload::discardFiles()
{
    temporary.close();
    temporary.remove();
    QFile::remove(packagePath);
}
