// The version check, the package download and the installer start against the local server
// over HTTPS. The data directory has spaces in its path, so the started package path does too.
#include "UpdateTestSupport.h"

#include "tests/account/AccountServer.h"

#include "update/UpdateService.h"
#include "update/versionupdateUI.h"

#include "platform/Platform.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

AccountServer* server = nullptr;

QString markerFile()
{
    return UpdateService::updateFolder() + "/installer-ran.txt";
}

QStringList trayTexts(const QSignalSpy& spy)
{
    QStringList texts;
    for (const QList<QVariant>& message : spy) {
        if (message.at(0).toString() == "应用升级")
            texts << message.at(1).toString();
    }
    return texts;
}

QPushButton* updateButton(UpdateService& service)
{
    return service.importantDialog()->findChild<QPushButton*>("pb_sure");
}

int packageRequests()
{
    return updateStats(*server).value("packageRequests").toInt();
}

} // namespace

class UpdateServiceTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void equalVersionOffersNothingAndDeletesTheUpdateFolder();
    void newerVersionWithoutPopupOnlyAnnouncesTheUpdate();
    void forcedListOrPopupOpensTheImportantDialog();
    void verifiedPackageAtStartInstallsWithoutDownloading();
    void downloadAsksBeforeInstallingAndKeepsThePackageReady();
    void secondClickDuringADownloadStartsNothing();
    void breakOffGivesTheButtonBackAndARetrySucceeds();
    void uppercaseDigestAlwaysFails();
    void missingPackageIsANetworkError();
    void unknownSizeShowsTheBytesReceived();
    void fullDiskIsReportedAsAWriteFailure();
    void packageFromAnUntrustedServerIsRefused();
    void installDuringAnExportWaitsForItsEnd();
    void failedInstallerStartKeepsTheProgramRunning();

private:
    void offer(const QString& query);
    void check();
    void placeVerifiedPackage();

    std::unique_ptr<UpdateService> service;
    std::unique_ptr<QSignalSpy> tray;
};

void UpdateServiceTest::initTestCase()
{
    QVERIFY(platform::dataDirectory().contains(' '));
    server = new AccountServer;
    QVERIFY(server->isRunning());
}

void UpdateServiceTest::init()
{
    QDir(UpdateService::updateFolder()).removeRecursively();
    service = wiredUpdateService();
    tray = std::make_unique<QSignalSpy>(service.get(), &UpdateService::trayMessage);
}

void UpdateServiceTest::cleanup()
{
    if (service->importantDialog())
        delete service->importantDialog();
    tray.reset();
    service.reset();
    offer(QString());
}

void UpdateServiceTest::offer(const QString& query)
{
    QVERIFY(offerUpdate(*server, query));
}

void UpdateServiceTest::check()
{
    QVERIFY(checkVersion(*service));
}

void UpdateServiceTest::placeVerifiedPackage()
{
    QVERIFY(::placeVerifiedPackage(*server));
}

void UpdateServiceTest::equalVersionOffersNothingAndDeletesTheUpdateFolder()
{
    offer("version=3.0.3&force=3.0.3");
    placeVerifiedPackage();
    QSignalSpy found(service.get(), &UpdateService::updateFound);
    check();
    QVERIFY(!service->info().updateAvailable);
    QVERIFY(!service->info().hasDownloaded);
    QCOMPARE(found.count(), 0);
    QVERIFY(!service->importantDialog());
    QVERIFY(!QDir(UpdateService::updateFolder()).exists());
}

void UpdateServiceTest::newerVersionWithoutPopupOnlyAnnouncesTheUpdate()
{
    offer("version=3.0.4&popup=0");
    QSignalSpy found(service.get(), &UpdateService::updateFound);
    check();
    QVERIFY(service->info().updateAvailable);
    QCOMPARE(found.count(), 1);
    QVERIFY(!service->importantDialog());
    QCOMPARE(service->packagePath(), UpdateService::updateFolder() + "/3.0.4" + platform::installerSuffix());
    QVERIFY(!service->info().hasDownloaded);
}

void UpdateServiceTest::forcedListOrPopupOpensTheImportantDialog()
{
    offer("version=3.0.4&popup=0&force=3.0.2,3.0.3");
    QSignalSpy shown(service.get(), &UpdateService::importantDialogShown);
    check();
    QVERIFY(service->importantDialog());
    QVERIFY(service->importantDialog()->isForced());
    QVERIFY(service->importantDialog()->isModal());
    QCOMPARE(shown.count(), 1);

    cleanup();
    init();
    offer("version=3.0.4&popup=1&force=3.0.30");
    check();
    QVERIFY(service->importantDialog());
    QVERIFY(!service->importantDialog()->isForced());
}

void UpdateServiceTest::verifiedPackageAtStartInstallsWithoutDownloading()
{
    offer("force=3.0.3");
    placeVerifiedPackage();
    check();
    QVERIFY(service->info().hasDownloaded);
    const int requestsBefore = packageRequests();
    QVERIFY(quitsWhile([this] { updateButton(*service)->click(); }));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(markerFile()), 5000);
    QCOMPARE(packageRequests(), requestsBefore);
    QVERIFY(!trayTexts(*tray).contains("后台下载中..."));
}

void UpdateServiceTest::downloadAsksBeforeInstallingAndKeepsThePackageReady()
{
    offer("popup=0");
    check();
    QSignalSpy progress(service.get(), &UpdateService::downloadProgress);
    QSignalSpy ended(service.get(), &UpdateService::downloadEnded);
    QString asked;
    answerNextQuestion("暂不更新", &asked);
    QVERIFY(!quitsWhile([this] { service->downloadPkg(); }, 4000));
    QCOMPARE(asked, QString("应用升级|下载完成，是否启动更新？"));
    QCOMPARE(trayTexts(*tray), (QStringList{"后台下载中...", "下载完成"}));
    QVERIFY(service->info().hasDownloaded);
    QVERIFY(!service->info().isDownloading);
    QCOMPARE(ended.count(), 1);
    QVERIFY(!progress.isEmpty());
    QCOMPARE(progress.last().at(0).toLongLong(), progress.last().at(1).toLongLong());
    QVERIFY(!QFile::exists(UpdateService::updateFolder() + "/update" + platform::installerSuffix()));
    QVERIFY(!QFile::exists(markerFile()));

    const int requestsBefore = packageRequests();
    asked.clear();
    answerNextQuestion("立即更新", &asked);
    QVERIFY(quitsWhile([this] { service->downloadPkg(); }));
    QVERIFY(!asked.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(markerFile()), 5000);
    QCOMPARE(packageRequests(), requestsBefore);
}

void UpdateServiceTest::secondClickDuringADownloadStartsNothing()
{
    offer("popup=0&delivery=slow&slowMs=60");
    check();
    QSignalSpy progress(service.get(), &UpdateService::downloadProgress);
    const int requestsBefore = packageRequests();
    service->downloadPkg();
    service->downloadPkg();
    QVERIFY(service->info().isDownloading);
    QString asked;
    answerNextQuestion("暂不更新", &asked);
    QTRY_VERIFY_WITH_TIMEOUT(service->info().hasDownloaded, 15000);
    QCOMPARE(trayTexts(*tray).mid(0, 2), (QStringList{"后台下载中...", "下载中，请等待..."}));
    QCOMPARE(packageRequests(), requestsBefore + 1);
    QTRY_VERIFY(!asked.isEmpty());
    // Slow delivery reports the growing share in several steps.
    QSet<qint64> received;
    for (const QList<QVariant>& step : progress)
        received << step.at(0).toLongLong();
    QVERIFY(received.size() > 4);
}

void UpdateServiceTest::breakOffGivesTheButtonBackAndARetrySucceeds()
{
    offer("force=3.0.3&delivery=breakoff");
    check();
    QPushButton* button = updateButton(*service);
    button->click();
    QVERIFY(!button->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!service->info().isDownloading, 10000);
    QCOMPARE(trayTexts(*tray), (QStringList{"后台下载中...", "网络错误，请重试"}));
    QVERIFY(button->isEnabled());
    QCOMPARE(button->text(), QString("一键升级"));
    QVERIFY(!service->info().hasDownloaded);

    offer("force=3.0.3");
    QVERIFY(quitsWhile([button] { button->click(); }));
    QCOMPARE(trayTexts(*tray).last(), QString("下载完成"));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(markerFile()), 5000);
}

void UpdateServiceTest::uppercaseDigestAlwaysFails()
{
    offer("force=3.0.3&md5=upper");
    check();
    for (int attempt = 0; attempt < 2; ++attempt) {
        updateButton(*service)->click();
        QTRY_VERIFY_WITH_TIMEOUT(!service->info().isDownloading, 10000);
        QCOMPARE(trayTexts(*tray).last(), QString("下载文件校验错误，请重试"));
        QVERIFY(updateButton(*service)->isEnabled());
    }
    QVERIFY(!service->info().hasDownloaded);
}

void UpdateServiceTest::missingPackageIsANetworkError()
{
    offer("popup=0&delivery=missing");
    check();
    QSignalSpy ended(service.get(), &UpdateService::downloadEnded);
    service->downloadPkg();
    QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 10000);
    QCOMPARE(trayTexts(*tray).last(), QString("网络错误，请重试"));
    QVERIFY(!QFile::exists(service->packagePath()));
}

void UpdateServiceTest::unknownSizeShowsTheBytesReceived()
{
    offer("force=3.0.3&delivery=nolength&size=3000000");
    check();
    QStringList shown;
    connect(service.get(), &UpdateService::downloadProgress, this,
            [this, &shown] { shown << updateButton(*service)->text(); });
    QVERIFY(quitsWhile([this] { updateButton(*service)->click(); }));
    // Without a total the bytes received; the last report, at the end, knows the size.
    QCOMPARE(shown.takeLast(), QString("正在下载(100%)"));
    QVERIFY(!shown.isEmpty());
    for (const QString& text : shown)
        QVERIFY2(QRegularExpression("^正在下载\\(\\d+\\.\\dMB\\)$").match(text).hasMatch(), qPrintable(text));
}

void UpdateServiceTest::fullDiskIsReportedAsAWriteFailure()
{
    offer("popup=0");
    check();
    QDir().mkpath(UpdateService::updateFolder());
    const QString temporary = UpdateService::updateFolder() + "/update" + platform::installerSuffix();
    QVERIFY(QFile::link("/dev/full", temporary));
    QSignalSpy ended(service.get(), &UpdateService::downloadEnded);
    service->downloadPkg();
    QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 10000);
    QCOMPARE(trayTexts(*tray).last(), QString("下载文件无法保存，请检查磁盘空间后重试"));
    QVERIFY(!QFileInfo::exists(temporary) && !QFileInfo(temporary).isSymLink());
    QVERIFY(!QFile::exists(service->packagePath()));
    QVERIFY(!service->info().isDownloading && !service->info().hasDownloaded);
}

void UpdateServiceTest::packageFromAnUntrustedServerIsRefused()
{
    // Its own certificate, which nothing here trusts. (It rewrites server.ini, which the
    // account client has read already.)
    AccountServer untrusted(false);
    QVERIFY(untrusted.isRunning());
    offer("popup=0&packageBase=" + QUrl::toPercentEncoding(untrusted.baseUrl()));
    check();
    QVERIFY(service->info().url.startsWith(untrusted.baseUrl()));
    QSignalSpy ended(service.get(), &UpdateService::downloadEnded);
    service->downloadPkg();
    QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 10000);
    QCOMPARE(trayTexts(*tray).last(), QString("网络错误，请重试"));
    QCOMPARE(updateStats(untrusted).value("packageRequests").toInt(), 0);
}

void UpdateServiceTest::installDuringAnExportWaitsForItsEnd()
{
    offer("force=3.0.3");
    placeVerifiedPackage();
    check();
    service->setExportRunning(true);
    QVERIFY(!quitsWhile([this] { updateButton(*service)->click(); }, 1500));
    QCOMPARE(trayTexts(*tray).last(), QString("视频导出中，导出完成后将启动更新"));
    QVERIFY(!QFile::exists(markerFile()));
    QVERIFY(quitsWhile([this] { service->setExportRunning(false); }));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(markerFile()), 5000);
}

void UpdateServiceTest::failedInstallerStartKeepsTheProgramRunning()
{
    offer("force=3.0.3");
    placeVerifiedPackage();
    check();
    QVERIFY(service->info().hasDownloaded);
    // Not a program any more: the system refuses to start it.
    QFile package(service->packagePath());
    QVERIFY(package.open(QIODevice::WriteOnly | QIODevice::Truncate));
    package.write(QByteArray(64, '\x01'));
    package.close();
    QVERIFY(!quitsWhile([this] { updateButton(*service)->click(); }, 1500));
    QCOMPARE(trayTexts(*tray).last(), QString("安装程序启动失败，请稍后重试"));
    QVERIFY(service->importantDialog() && service->importantDialog()->isVisible());
}

int main(int argc, char** argv)
{
    qputenv("XDG_DATA_HOME", qgetenv("HOME") + "/data with spaces");
    QApplication app(argc, argv);
    QApplication::setApplicationVersion("3.0.3.0");
    // As beside the program's main window: the install question closing is no last window.
    QApplication::setQuitOnLastWindowClosed(false);
    UpdateServiceTest test;
    const int result = QTest::qExec(&test, argc, argv);
    delete server;
    return result;
}

#include "UpdateServiceTest.moc"
