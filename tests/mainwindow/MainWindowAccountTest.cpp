// The window's account wiring against the local account server: the login dialog at start,
// the WeChat login through the QR page ending in the title bar's badge, the binding dialog
// offered once, the ID copy, logout, a rejected token, and the dialogs closed with the window.
#include "AccountServer.h"
#include "AccountTestSupport.h"
#include "account/WeChatService.h"
#include "app/AppSettings.h"
#include "app/SettingsKeys.h"
#include "mainwindow/MainWindow.h"
#include "ui_MainWindow.h"
#include "widgets/QBaseUI.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QWebEngineView>
#include <QtTest>

#include <memory>

using namespace AccountTest;

namespace {

QBaseUI* openDialog(const QString& objectName)
{
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<QBaseUI*>(window); dialog && dialog->objectName() == objectName
            && dialog->isVisible())
            return dialog;
    return nullptr;
}

bool toastShown(const QString& text)
{
    for (QWidget* window : QApplication::topLevelWidgets())
        for (QLabel* label : window->findChildren<QLabel*>())
            if (label->text() == text)
                return true;
    return false;
}

} // namespace

class MainWindowAccountTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<AccountServer> server;
    std::unique_ptr<MainWindow> window;

    Ui::MainWindow* ui() const { return window->ui.get(); }

    void createWindow()
    {
        window = std::make_unique<MainWindow>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

private slots:
    void initTestCase()
    {
        prepareProcess();
        server = std::make_unique<AccountServer>();
        QVERIFY(server->isRunning());
        wipeStoredLogin();
    }

    void cleanup()
    {
        window.reset();
    }

    void weChatLoginShowsTheUserInTheTitleBar()
    {
        createWindow();
        QVERIFY(ui()->pb_login->isVisible());
        QVERIFY(!ui()->frame_user->isVisible());
        QPointer<QBaseUI> login = openDialog("Login");
        QVERIFY2(login, "no login dialog at start without a login");
        auto* web = login->findChild<QWebEngineView*>("widget");
        QTRY_COMPARE_WITH_TIMEOUT(web->title(), QString::fromUtf8("微信登录"), 15000);
        QVERIFY(server->confirmLogin());
        QTRY_VERIFY_WITH_TIMEOUT(!login, 10000);

        QTRY_VERIFY_WITH_TIMEOUT(ui()->frame_user->isVisible(), 10000);
        QVERIFY(!ui()->pb_login->isVisible());
        QCOMPARE(ui()->label_name->text(), QString::fromUtf8("微信用户"));
        QCOMPARE(ui()->label_id_hover->text(), QString("ID:U20260002W"));
        QCOMPARE(ui()->frame_user_all->x(), int(56 * window->scaleRate));
        // The avatar arrives second and is drawn round: the corners are see-through.
        QTRY_COMPARE(ui()->label_icon->pixmap(Qt::ReturnByValue).toImage().pixelColor(0, 0).alpha(), 0);
        const QImage avatar = ui()->label_icon->pixmap(Qt::ReturnByValue).toImage();
        QVERIFY(avatar.pixelColor(avatar.width() / 2, avatar.height() / 2).alpha() == 255);

        // No phone on the account: the binding dialog, once.
        QPointer<QBaseUI> bind = openDialog("bindphone");
        QVERIFY(bind);
        bind->close();
        QTRY_VERIFY(!bind);
        WeChatService::instance()->requestUserInfo();
        QTest::qWait(1000);
        QVERIFY(!openDialog("bindphone"));

        QTest::mousePress(ui()->label_id_hover, Qt::LeftButton);
        QCOMPARE(QApplication::clipboard()->text(), weChatUser);
        QVERIFY(toastShown(QString::fromUtf8("ID已复制到剪切板")));
        secretsCheck();
    }

    void freshTokenAtStartShowsTheUserAndLogoutClearsIt()
    {
        createWindow();
        QVERIFY(!openDialog("Login"));
        QTRY_VERIFY_WITH_TIMEOUT(ui()->frame_user->isVisible(), 10000);
        QCOMPARE(ui()->label_name->text(), QString::fromUtf8("微信用户"));
        QTest::mouseClick(ui()->pb_logout, Qt::LeftButton);
        QTRY_VERIFY(ui()->pb_login->isVisible());
        QVERIFY(!ui()->frame_user->isVisible());
        QCOMPARE(ui()->frame_user_all->x(), int(108 * window->scaleRate));
        QVERIFY(!AppSettings::instance().contains(SettingsKeys::authToken));
        QVERIFY(!AppSettings::instance().contains(SettingsKeys::userInfo));
        // Logged out: the login button opens the dialog again, and closing the window closes it.
        QTest::mouseClick(ui()->pb_login, Qt::LeftButton);
        QPointer<QBaseUI> login = openDialog("Login");
        QVERIFY(login);
        window->close();
        QTRY_VERIFY(!login);
    }

    void rejectedTokenLogsTheWindowOut()
    {
        server->reset();
        wipeStoredLogin();
        WeChatService* service = WeChatService::instance();
        service->requestPhoneCode(knownPhone);
        QString code;
        QTRY_VERIFY(!(code = server->smsCode(knownPhone)).isEmpty());
        service->loginByPhone(knownPhone, code);
        QTRY_VERIFY(service->currentUser() && service->currentUser()->userId == phoneUser);
        createWindow();
        QTRY_VERIFY_WITH_TIMEOUT(ui()->frame_user->isVisible(), 10000);
        QCOMPARE(ui()->label_name->text(), QString::fromUtf8("小林"));
        QVERIFY(!openDialog("bindphone"));
        server->expireTokens();
        service->requestUserInfo();
        QTRY_VERIFY(ui()->pb_login->isVisible());
        QVERIFY(!ui()->frame_user->isVisible());
        QVERIFY(toastShown(QString::fromUtf8("您的登录已失效")));
        QVERIFY(!AppSettings::instance().contains(SettingsKeys::authToken));
    }

private:
    void secretsCheck()
    {
        const QString token = AppSettings::instance().value(SettingsKeys::authToken).toString();
        QVERIFY(!token.isEmpty());
        QVERIFY(!logText().contains(token));
    }
};

int main(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    MainWindowAccountTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "MainWindowAccountTest.moc"
