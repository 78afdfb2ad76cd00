#include "UpdateService.h"

#include "FileDigest.h"
#include "VersionManifest.h"
#include "versionupdateUI.h"

#include "account/WeChatService.h"
#include "platform/Platform.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>

namespace {

const char* const trayTitle = "应用升级";

// Update traffic shares the account client's manager and its TLS policy.
QNetworkRequest verifiedRequest(const QString& url)
{
    QNetworkRequest request{QUrl(url)};
    WeChatService::instance()->tlsPolicy().apply(request);
    return request;
}

QNetworkAccessManager* network()
{
    return WeChatService::instance()->networkManager();
}

} // namespace

UpdateService& UpdateService::instance()
{
    static UpdateService service;
    return service;
}

UpdateService::UpdateService(QObject* parent)
    : QObject(parent)
{
}

UpdateService::~UpdateService() = default;

QString UpdateService::updateFolder()
{
    return platform::dataDirectory() + "/资源/update";
}

QString UpdateService::packagePath() const
{
    return package;
}

void UpdateService::startVersionCheck()
{
    if (checkStarted)
        return;
    checkStarted = true;
    const QString url = WeChatService::instance()->fileUrl() + "/RorodIdavVersion.json";
    QNetworkReply* reply = network()->get(verifiedRequest(url));
    connect(reply, &QNetworkReply::finished, this, [this, reply] { manifestFinished(reply); });
}

void UpdateService::manifestFinished(QNetworkReply* reply)
{
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError) {
        qWarning().noquote() << "download fi : " + downloadFailedText(reply->errorString());
        return;
    }
    versionDownload(reply);
}

void UpdateService::versionDownload(QNetworkReply* reply)
{
    const QByteArray body = reply->readAll();
    qInfo().noquote() << "json : " + QString::fromUtf8(body);
    parseVersionManifest(body, state);
    const QString running = runningVersion();
    qInfo().noquote() << "version : " + running + ", update : " + state.version;
    state.updateAvailable = isNewerVersion(running, state.version);
    if (state.updateAvailable) {
        emit updateFound();
        const bool forced = state.forceUpdate.contains(running);
        if (forced || state.popupWindow)
            showImportantDialog(forced);
    } else {
        QDir(updateFolder()).removeRecursively();
    }
    package = updateFolder() + "/" + state.version + platform::installerSuffix();
    checkPackageOnDisk();
}

void UpdateService::showImportantDialog(bool forced)
{
    important = new versionupdateUI;
    important->setForced(forced);
    important->setVersionInfo(state);
    important->setWindowModality(Qt::ApplicationModal);
    connect(important, &versionupdateUI::startDownloadPkg, this, &UpdateService::downloadPkg);
    important->show();
    emit importantDialogShown();
}

void UpdateService::checkPackageOnDisk()
{
    QString digest;
    const bool matches = fileMatchesMd5(package, state.md5, &digest);
    qInfo().noquote() << "file md5 : " + digest + ", update : " + state.md5;
    if (matches) {
        state.hasDownloaded = true;
        qInfo() << "hasDownloaded";
    }
}

void UpdateService::downloadPkg()
{
    if (state.hasDownloaded) {
        emit installUpdate();
        return;
    }
    if (state.isDownloading) {
        notify("下载中，请等待...");
        return;
    }
    notify("后台下载中...");
    state.isDownloading = true;
    QDir().mkpath(updateFolder());
    QFile::remove(package);
    download = new PackageDownload(updateFolder() + "/update" + platform::installerSuffix(), package, state.md5, this);
    if (!download->start(network(), verifiedRequest(state.url))) {
        qWarning() << "download pkg : cannot open the temporary file";
        delete download;
        download = nullptr;
        state.isDownloading = false;
        return;
    }
    connect(download, &PackageDownload::progress, this, &UpdateService::packageProgress);
    connect(download, &PackageDownload::finished, this, &UpdateService::packageFinished);
}

void UpdateService::packageProgress(qint64 received, qint64 total)
{
    if (important)
        important->showProgress(received, total);
    emit downloadProgress(received, total);
}

void UpdateService::packageFinished(PackageDownload::Outcome outcome)
{
    download->deleteLater();
    download = nullptr;
    state.isDownloading = false;
    switch (outcome) {
    case PackageDownload::Outcome::Verified:
        state.hasDownloaded = true;
        notify("下载完成");
        emit installUpdate();
        break;
    case PackageDownload::Outcome::NetworkError:
        notify("网络错误，请重试");
        break;
    case PackageDownload::Outcome::WriteError:
        notify("下载文件无法保存，请检查磁盘空间后重试");
        break;
    case PackageDownload::Outcome::DigestMismatch:
        notify("下载文件校验错误，请重试");
        break;
    }
    if (outcome != PackageDownload::Outcome::Verified && important)
        important->resetUpdateButton();
    emit downloadEnded();
}

void UpdateService::gotoInstall()
{
    if (important || userAgreesToInstall())
        install();
}

bool UpdateService::userAgreesToInstall()
{
    QMessageBox question(QMessageBox::Question, trayTitle, "下载完成，是否启动更新？");
    QPushButton* now = question.addButton("立即更新", QMessageBox::AcceptRole);
    question.addButton("暂不更新", QMessageBox::RejectRole);
    question.setDefaultButton(now);
    question.exec();
    return question.clickedButton() == now;
}

void UpdateService::install()
{
    if (exportRunning) {
        installWaitsForExport = true;
        notify("视频导出中，导出完成后将启动更新");
        return;
    }
    if (!platform::startInstaller(package)) {
        qWarning().noquote() << "start installer failed : " + package;
        notify("安装程序启动失败，请稍后重试");
        return;
    }
    qInfo().noquote() << "start installer : " + package;
    QCoreApplication::quit();
}

void UpdateService::setExportRunning(bool running)
{
    exportRunning = running;
    if (!running && installWaitsForExport) {
        installWaitsForExport = false;
        install();
    }
}

void UpdateService::notify(const QString& text)
{
    emit trayMessage(trayTitle, text);
}
