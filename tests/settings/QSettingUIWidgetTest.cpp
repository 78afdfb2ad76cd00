// The settings dialog over a real update state, taken from the local server over HTTPS.
// Runs at 96 DPI and again at 120 DPI (see CMakeLists.txt).
#include "tests/account/AccountServer.h"
#include "tests/update/UpdateTestSupport.h"

#include "settings/QSettingUIWidget.h"
#include "update/QUpdateWidget.h"
#include "update/UpdateService.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

template <typename T>
T* child(QWidget* dialog, const char* name)
{
    T* widget = dialog->findChild<T*>(name);
    Q_ASSERT(widget);
    return widget;
}

QUpdateWidget* openUpdateWidget()
{
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<QUpdateWidget*>(window); dialog && dialog->isVisible())
            return dialog;
    }
    return nullptr;
}

} // namespace

class QSettingUIWidgetTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void upToDateShowsSoAndTheButtonDoesNothing();
    void updateOpensTheUpdateDialogAndShowsTheDownload();
    void verifiedPackageGoesStraightToInstalling();
    void openedDuringADownloadSaysSo();
    void sizeIsTheDesignTimesTheScale();
    void companyLinkOpensTheWebSite();

public slots:
    void openedUrl(const QUrl& url) { opened << url; }

private:
    void offer(const QString& query);
    QSettingUIWidget* openSettings();

    AccountServer server;
    std::unique_ptr<UpdateService> service;
    QPointer<QSettingUIWidget> dialog;
    QList<QUrl> opened;
};

void QSettingUIWidgetTest::initTestCase()
{
    QVERIFY(server.isRunning());
}

void QSettingUIWidgetTest::init()
{
    QDir(UpdateService::updateFolder()).removeRecursively();
    service = wiredUpdateService();
}

void QSettingUIWidgetTest::cleanup()
{
    delete dialog;
    delete openUpdateWidget();
    service.reset();
    offer(QString());
}

void QSettingUIWidgetTest::offer(const QString& query)
{
    QVERIFY(offerUpdate(server, query));
}

// Opened as the main window does: its download request goes to the service.
QSettingUIWidget* QSettingUIWidgetTest::openSettings()
{
    dialog = new QSettingUIWidget(*service);
    connect(dialog, &QSettingUIWidget::startDownloadPkg, service.get(), &UpdateService::downloadPkg);
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->show();
    return dialog;
}

void QSettingUIWidgetTest::upToDateShowsSoAndTheButtonDoesNothing()
{
    offer("version=3.0.3");
    QVERIFY(checkVersion(*service));
    openSettings();
    QCOMPARE(dialog->windowTitle(), QString("设置"));
    QCOMPARE(child<QLabel>(dialog, "label_setting_token")->text(), QString("Lumetra视频抠图美化V3.0.3"));
    auto* status = child<QLabel>(dialog, "label_update_des");
    QVERIFY(status->isVisible());
    QCOMPARE(status->text(), QString("当前已是最新版本"));
    QVERIFY(!child<QLabel>(dialog, "label_redpoint")->isVisible());
    QTest::mouseClick(child<QPushButton>(dialog, "label_update"), Qt::LeftButton);
    QCoreApplication::processEvents();
    QVERIFY(!openUpdateWidget());
}

void QSettingUIWidgetTest::updateOpensTheUpdateDialogAndShowsTheDownload()
{
    offer("popup=0&delivery=slow&slowMs=80");
    QVERIFY(checkVersion(*service));
    openSettings();
    auto* status = child<QLabel>(dialog, "label_update_des");
    QVERIFY(child<QLabel>(dialog, "label_redpoint")->isVisible());
    QVERIFY(!status->isVisible());

    QTest::mouseClick(child<QPushButton>(dialog, "label_update"), Qt::LeftButton);
    QUpdateWidget* update = openUpdateWidget();
    QVERIFY(update);
    QVERIFY(update->isModal());
    QStringList shown;
    connect(service.get(), &UpdateService::downloadProgress, this, [&] { shown << status->text(); });
    QTest::mouseClick(child<QPushButton>(update, "pb_update_sure"), Qt::LeftButton);
    QVERIFY(status->isVisible());
    QCOMPARE(status->text(), QString("正在下载(0%)"));
    QString asked;
    answerNextQuestion("暂不更新", &asked);
    QTRY_VERIFY_WITH_TIMEOUT(service->info().hasDownloaded, 15000);
    QVERIFY(!status->isVisible());
    QVERIFY(shown.size() > 4);
    for (const QString& text : shown)
        QVERIFY2(QRegularExpression("^正在下载\\(\\d+%\\)$").match(text).hasMatch(), qPrintable(text));
    QCOMPARE(shown.last(), QString("正在下载(100%)"));
    QTRY_VERIFY(!asked.isEmpty());
}

void QSettingUIWidgetTest::verifiedPackageGoesStraightToInstalling()
{
    offer("popup=0");
    QVERIFY(placeVerifiedPackage(server));
    QVERIFY(checkVersion(*service));
    QVERIFY(service->info().hasDownloaded);
    openSettings();
    QTest::mouseClick(child<QPushButton>(dialog, "label_update"), Qt::LeftButton);
    QString asked;
    answerNextQuestion("暂不更新", &asked);
    QTest::mouseClick(child<QPushButton>(openUpdateWidget(), "pb_update_sure"), Qt::LeftButton);
    QVERIFY(!child<QLabel>(dialog, "label_update_des")->isVisible());
    QTRY_COMPARE(asked, QString("应用升级|下载完成，是否启动更新？"));
}

void QSettingUIWidgetTest::openedDuringADownloadSaysSo()
{
    offer("popup=0&delivery=slow&slowMs=100");
    QVERIFY(checkVersion(*service));
    service->downloadPkg();
    openSettings();
    QCOMPARE(child<QLabel>(dialog, "label_update_des")->text(), QString("正在下载"));
    QTest::mouseClick(child<QPushButton>(dialog, "label_update"), Qt::LeftButton);
    QVERIFY(!child<QPushButton>(openUpdateWidget(), "pb_update_sure")->isEnabled());
    QString asked;
    answerNextQuestion("暂不更新", &asked);
    QTRY_VERIFY_WITH_TIMEOUT(!asked.isEmpty(), 15000);
}

void QSettingUIWidgetTest::sizeIsTheDesignTimesTheScale()
{
    QVERIFY(checkVersion(*service));
    openSettings();
    const qreal dpi = QGuiApplication::screens().first()->logicalDotsPerInch();
    const QSize expected = dpi == 120 ? QSize(500, 378) : QSize(400, 303);
    QCOMPARE(dialog->size(), expected);
    QCOMPARE(dialog->minimumSize(), expected);
    QCOMPARE(dialog->maximumSize(), expected);
    const QRect bottom = child<QWidget>(dialog, "frame_bottom")->geometry();
    QCOMPARE(bottom, dpi == 120 ? QRect(0, 87, 500, 283) : QRect(0, 70, 400, 227));
}

void QSettingUIWidgetTest::companyLinkOpensTheWebSite()
{
    QDesktopServices::setUrlHandler("https", this, "openedUrl");
    QVERIFY(checkVersion(*service));
    openSettings();
    auto* link = child<QPushButton>(dialog, "label_setting_company");
    QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
    QTest::mouseClick(link, Qt::LeftButton);
    QCOMPARE(opened, QList<QUrl>{QUrl("https://www.doridovov.com")});
    QDesktopServices::unsetUrlHandler("https");
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationVersion("3.0.3.0");
    // As beside the program's main window: the install question closing is no last window.
    QApplication::setQuitOnLastWindowClosed(false);
    QSettingUIWidgetTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "QSettingUIWidgetTest.moc"
