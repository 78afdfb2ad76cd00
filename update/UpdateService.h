#pragma once
// The update service: the one version check of a run, the package download and the
// installer start. It holds the process-wide UpdateInfo that the dialogs read.
//
// It never shows anything of the main window itself: the red dot (updateFound), tray
// notifications (trayMessage) and the settings dialog's progress (downloadProgress,
// downloadEnded) go out as signals; only the important-update dialog, which it opens,
// is called directly. The installer waits while an export runs (setExportRunning).
// GUI thread only; the network traffic goes through the account client's manager.
#include "PackageDownload.h"
#include "UpdateInfo.h"
#include "versionupdateUI.h"

#include <QObject>
#include <QPointer>

class QNetworkReply;

class UpdateService : public QObject {
    Q_OBJECT
public:
    // The process-wide service; the program uses only this one.
    static UpdateService& instance();
    explicit UpdateService(QObject* parent = nullptr);
    ~UpdateService() override;

    const UpdateInfo& info() const { return state; }
    // "<data>/资源/update" and the package file in it, named after the offered version.
    static QString updateFolder();
    QString packagePath() const;
    // The important-update dialog while it is open, else null.
    versionupdateUI* importantDialog() const { return important; }

    // Sends the manifest request; the reply is evaluated by versionDownload. Once per run.
    void startVersionCheck();
    // Evaluates a finished manifest reply.
    void versionDownload(QNetworkReply* reply);
    // Starts the package download, or the installation when the package is verified.
    void downloadPkg();
    // Starts the installer (after asking, unless the important-update dialog is open) and
    // quits once it runs; waits for a running export first.
    void gotoInstall();
    // The owner reports exports starting and ending; an installation waiting for the
    // export's end proceeds then.
    void setExportRunning(bool running);

signals:
    void updateFound();
    void importantDialogShown();
    void trayMessage(const QString& title, const QString& text);
    void downloadProgress(qint64 received, qint64 total);
    void downloadEnded();
    // The package is verified (or was already): the owner connects this to gotoInstall,
    // queued, so that the download has ended before the installation begins.
    void installUpdate();

private:
    void manifestFinished(QNetworkReply* reply);
    void showImportantDialog(bool forced);
    void checkPackageOnDisk();
    void packageProgress(qint64 received, qint64 total);
    void packageFinished(PackageDownload::Outcome outcome);
    bool userAgreesToInstall();
    void install();
    void notify(const QString& text);

    UpdateInfo state;
    QString package;
    QPointer<versionupdateUI> important;
    PackageDownload* download = nullptr;
    bool checkStarted = false;
    bool exportRunning = false;
    bool installWaitsForExport = false;
};
