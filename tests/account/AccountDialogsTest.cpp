// The login and binding dialogs and the account session against the local server: the QR
// login in the real web engine, the phone login, the binding, and the session's start-up and
// rejected-token paths.
#include "AccountServer.h"
#include "AccountTestSupport.h"
#include "account/AccountSession.h"
#include "account/PhoneCodeForm.h"
#include "account/QBindPhonewWidget.h"
#include "account/QLoginWidget.h"
#include "account/WeChatService.h"
#include "app/AppSettings.h"
#include "app/Log.h"
#include "app/SettingsKeys.h"
#include "platform/Platform.h"

#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QWebEngineView>
#include <QtTest>

using namespace AccountTest;

namespace {

AppSettings& settings()
{
    return AppSettings::instance();
}

template <typename T>
T* child(QWidget* dialog, const char* name)
{
    T* widget = dialog->findChild<T*>(name);
    if (!widget)
        qFatal("no child %s", name);
    return widget;
}

// The countdown has passed its first second.
bool countingDown(const QString& text)
{
    return QRegularExpression(QString::fromUtf8("^重新发送\\(([0-5]?[0-9])s\\)$")).match(text).hasMatch();
}

void press(QWidget* widget)
{
    QTest::mousePress(widget, Qt::LeftButton);
}

} // namespace

// Receives the URLs the dialogs hand to the desktop.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

class AccountDialogsTest : public QObject
{
    Q_OBJECT

    AccountServer* server = nullptr;
    QStringList secretsUsed;

    // Signs in the preset phone user through the service alone.
    void signInPhoneUser()
    {
        WeChatService* service = WeChatService::instance();
        service->requestPhoneCode(knownPhone);
        QString code;
        QTRY_VERIFY(!(code = server->smsCode(knownPhone)).isEmpty());
        secretsUsed << code;
        QSignalSpy userOver(service, &WeChatService::getUserOver);
        service->loginByPhone(knownPhone, code);
        QTRY_VERIFY(!userOver.isEmpty());
        secretsUsed << settings().value(SettingsKeys::authToken).toString();
    }

    // No user in memory, the phone user's record stored and its token stamped ageSeconds ago.
    void startAsAfterARestart(int ageSeconds)
    {
        signInPhoneUser();
        const User stored = *WeChatService::instance()->currentUser();
        QSignalSpy invalid(WeChatService::instance(), &WeChatService::tokenInvalid);
        server->expireTokens();
        WeChatService::instance()->requestUserInfo();
        QTRY_COMPARE(invalid.count(), 1);
        settings().setValue(SettingsKeys::userInfo, QVariant::fromValue(stored));
        settings().setValue(SettingsKeys::authToken, QString("stale-token-0000000000"));
        settings().setValue(SettingsKeys::authTime, QDateTime::currentDateTime().addSecs(-ageSeconds));
    }

    // The QR page's URL has come and its snapshot run started (a run that starts later would
    // end an SMS countdown, which shares its timer).
    void waitForQrAnswer(QWidget* dialog)
    {
        auto* qrLabel = child<QLabel>(dialog, "label_qrcode");
        QTRY_VERIFY_WITH_TIMEOUT(!qrLabel->pixmap(Qt::ReturnByValue).isNull(), 10000);
    }

    QString requestCodeIn(QWidget* dialog, const QString& phone)
    {
        QLineEdit* phoneEdit = child<QLineEdit>(dialog, "lineEdit_phone");
        QPushButton* codeButton = child<QPushButton>(dialog, "pb_code");
        QTest::keyClicks(phoneEdit, phone);
        [&] { QVERIFY(codeButton->isEnabled()); }();
        QTest::mouseClick(codeButton, Qt::LeftButton);
        [&] { QCOMPARE(codeButton->text(), QString::fromUtf8("重新发送(60s)")); }();
        QString code;
        [&] { QTRY_VERIFY(!(code = server->smsCode(phone)).isEmpty()); }();
        secretsUsed << code;
        return code;
    }

    void submitCode(QWidget* dialog, const QString& code)
    {
        QLineEdit* codeEdit = child<QLineEdit>(dialog, "lineEdit_code");
        codeEdit->clear();
        QTest::keyClicks(codeEdit, code);
        QPushButton* submit = child<QPushButton>(dialog, "pb_submit");
        [&] { QVERIFY(submit->isEnabled()); }();
        QTest::mouseClick(submit, Qt::LeftButton);
    }

private slots:
    void initTestCase()
    {
        prepareProcess();
        server = new AccountServer;
        QVERIFY2(server->isRunning(), "the account server did not start");
    }

    void init()
    {
        if (WeChatService::instance()->currentUser()) {
            WeChatService::instance()->logout();
            QTRY_VERIFY(!WeChatService::instance()->currentUser());
        }
        server->reset();
        wipeStoredLogin();
    }

    // A failed check may leave a dialog open; its web page must not outlive the application.
    void cleanup()
    {
        for (QWidget* window : QApplication::topLevelWidgets())
            if (qobject_cast<QBaseUI*>(window))
                delete window;
    }

    void cleanupTestCase()
    {
        const QString log = logText();
        QVERIFY(log.contains("url change : "));
        QVERIFY(log.contains("auth_token : "));
        for (const QString& secret : qAsConst(secretsUsed))
            QVERIFY2(!secret.isEmpty() && !log.contains(secret), qPrintable("secret in the log: " + secret.left(4)));
        delete server;
    }

    void weChatLoginThroughTheQrPage()
    {
        AccountSession session;
        QSignalSpy shown(&session, &AccountSession::userChanged);
        session.openLogin();
        QPointer<QBaseUI> dialog = session.loginDialog();
        QVERIFY(dialog);
        QCOMPARE(dialog->objectName(), QString("Login"));
        QCOMPARE(dialog->windowTitle(), QString::fromUtf8("登录"));
        auto* web = child<QWebEngineView>(dialog, "widget");
        QTRY_VERIFY_WITH_TIMEOUT(web->url().path() == "/connect/qrconnect", 10000);
        // The server's page, loaded over its certificate from server.ini.
        QTRY_COMPARE_WITH_TIMEOUT(web->title(), QString::fromUtf8("微信登录"), 15000);
        waitForQrAnswer(dialog);

        QVERIFY(server->confirmLogin());
        QTRY_VERIFY_WITH_TIMEOUT(!dialog, 10000);
        // The page went to its callback with the code, which the dialog sent on.
        QTRY_VERIFY_WITH_TIMEOUT(!shown.isEmpty(), 10000);
        QCOMPARE(shown.last().at(0).toBool(), true);
        const User user = shown.last().at(1).value<User>();
        QCOMPARE(user.userId, weChatUser);
        secretsUsed << settings().value(SettingsKeys::authToken).toString();
        const QString wire = server->lastRequest("/PCAuth/auth/login").value("body").toString();
        QVERIFY(!wire.isEmpty());

        // No phone on that account: the binding dialog opens, once.
        QPointer<QBaseUI> bind = session.bindDialog();
        QVERIFY(bind);
        QCOMPARE(bind->objectName(), QString("bindphone"));
        const QString phone = "13912345678";
        const QString code = requestCodeIn(bind, phone);
        submitCode(bind, code == "000000" ? "111111" : "000000");
        auto* error = child<QLabel>(bind, "label_code_error");
        QTRY_VERIFY(error->isVisible());
        QCOMPARE(error->text(), QString::fromUtf8("验证码错误"));
        submitCode(bind, code);
        QTRY_VERIFY(!bind);
        QCOMPARE(server->phoneOf(weChatUser), phone);
        QCOMPARE(WeChatService::instance()->currentUser()->userPhone, phone);
        // A toast "已绑定" is on the screen.
        bool toast = false;
        for (QWidget* window : QApplication::topLevelWidgets())
            for (QLabel* label : window->findChildren<QLabel*>())
                toast = toast || label->text() == QString::fromUtf8("已绑定");
        QVERIFY(toast);

        const int before = shown.count();
        WeChatService::instance()->requestUserInfo();
        QTRY_VERIFY(shown.count() > before);
        QCOMPARE(shown.last().at(1).value<User>().userPhone, phone);
        QVERIFY(!session.bindDialog());
    }

    void phoneLogin()
    {
        AccountSession session;
        QSignalSpy shown(&session, &AccountSession::userChanged);
        session.openLogin();
        QPointer<QBaseUI> dialog = session.loginDialog();
        waitForQrAnswer(dialog);
        auto* stack = child<QStackedWidget>(dialog, "stackedWidget");
        press(child<QLabel>(dialog, "label_phone"));
        QCOMPARE(stack->currentIndex(), 1);
        QCOMPARE(child<QLabel>(dialog, "label_wechat")->styleSheet(), QString("color:#66FFFFFF;"));

        const QString code = requestCodeIn(dialog, knownPhone);
        auto* codeButton = child<QPushButton>(dialog, "pb_code");
        QVERIFY(codeButton->testAttribute(Qt::WA_TransparentForMouseEvents));
        QTRY_VERIFY(countingDown(codeButton->text()));

        submitCode(dialog, code == "000000" ? "111111" : "000000");
        auto* error = child<QLabel>(dialog, "label_code_error");
        QTRY_VERIFY(error->isVisible());
        QCOMPARE(error->text(), QString::fromUtf8("验证码错误， 请重新输入"));
        QVERIFY(dialog);
        submitCode(dialog, code);
        QTRY_VERIFY(!dialog);
        QTRY_VERIFY(!shown.isEmpty());
        QCOMPARE(shown.last().at(1).value<User>().userId, phoneUser);
        secretsUsed << settings().value(SettingsKeys::authToken).toString();
        QVERIFY(!session.bindDialog());
    }

    void phoneInputRules()
    {
        QLoginWidget dialog;
        waitForQrAnswer(&dialog);
        auto* phone = child<QLineEdit>(&dialog, "lineEdit_phone");
        auto* code = child<QLineEdit>(&dialog, "lineEdit_code");
        auto* codeButton = child<QPushButton>(&dialog, "pb_code");
        auto* submit = child<QPushButton>(&dialog, "pb_submit");
        QVERIFY(!codeButton->isEnabled());
        QVERIFY(!submit->isEnabled());
        QVERIFY(!child<QLabel>(&dialog, "label_code_error")->isVisibleTo(&dialog));
        QTest::keyClicks(phone, "12");
        QCOMPARE(phone->text(), QString("1"));
        QTest::keyClicks(code, "12a3456");
        QCOMPARE(code->text(), QString("123456"));
        // A code typed before the number is complete waits for the next change of the code.
        QTest::keyClicks(phone, "3912345678");
        QVERIFY(codeButton->isEnabled());
        QVERIFY(!submit->isEnabled());
        QTest::keyClick(code, Qt::Key_Backspace);
        QVERIFY(!submit->isEnabled());
        QTest::keyClicks(code, "6");
        QVERIFY(submit->isEnabled());

        // Deleting a digit during the countdown ends it; a new click starts afresh at 60.
        QTest::mouseClick(codeButton, Qt::LeftButton);
        QTRY_VERIFY(countingDown(codeButton->text()));
        QTest::keyClick(phone, Qt::Key_Backspace);
        QCOMPARE(codeButton->text(), QString::fromUtf8("获取验证码"));
        QVERIFY(!codeButton->isEnabled());
        QTest::keyClicks(phone, "8");
        QVERIFY(codeButton->isEnabled());
        QVERIFY(!codeButton->testAttribute(Qt::WA_TransparentForMouseEvents));
        QTest::qWait(1200);
        QCOMPARE(codeButton->text(), QString::fromUtf8("获取验证码"));
        QTest::mouseClick(codeButton, Qt::LeftButton);
        QCOMPARE(codeButton->text(), QString::fromUtf8("重新发送(60s)"));
        // The keyboard still reaches the button during a countdown and restarts it.
        QTRY_VERIFY(countingDown(codeButton->text()));
        codeButton->setFocus();
        QTest::keyClick(codeButton, Qt::Key_Space);
        QCOMPARE(codeButton->text(), QString::fromUtf8("重新发送(60s)"));

        // Refreshing the QR code ends the countdown that shared the timer.
        QTest::mouseClick(child<QPushButton>(&dialog, "pb_qrcode_retry"), Qt::LeftButton);
        QCOMPARE(codeButton->text(), QString::fromUtf8("重新发送"));
        QVERIFY(!codeButton->testAttribute(Qt::WA_TransparentForMouseEvents));
        QTest::qWait(1200);
        QCOMPARE(codeButton->text(), QString::fromUtf8("重新发送"));

        QCOMPARE(PhoneCodeForm::cleanedMessage("java.lang.RuntimeException:  号码\t已  被绑定 "),
                 QString::fromUtf8("号码 已 被绑定"));
    }

    void tabsAndTermsLink()
    {
        QLoginWidget dialog;
        waitForQrAnswer(&dialog);
        // Snapshots are taken only while the QR tab is shown.
        press(child<QLabel>(&dialog, "label_phone"));
        const qint64 snapshot = child<QLabel>(&dialog, "label_qrcode")->pixmap(Qt::ReturnByValue).cacheKey();
        QTest::qWait(1200);
        QCOMPARE(child<QLabel>(&dialog, "label_qrcode")->pixmap(Qt::ReturnByValue).cacheKey(), snapshot);
        press(child<QLabel>(&dialog, "label_wechat"));
        auto* stack = child<QStackedWidget>(&dialog, "stackedWidget");
        QCOMPARE(stack->currentIndex(), 0);
        press(child<QLabel>(&dialog, "label_wechat"));
        QCOMPARE(stack->currentIndex(), 0);
        press(child<QLabel>(&dialog, "label_phone"));
        QCOMPARE(stack->currentIndex(), 1);
        QVERIFY(child<QLabel>(&dialog, "label_phone")->styleSheet().contains("tab-select.png"));
        press(child<QLabel>(&dialog, "label_wechat"));
        QCOMPARE(stack->currentIndex(), 0);

        UrlCatcher catcher;
        QDesktopServices::setUrlHandler("https", &catcher, "open");
        QTest::mouseClick(child<QPushButton>(&dialog, "pb_privacy"), Qt::LeftButton);
        QDesktopServices::unsetUrlHandler("https");
        QCOMPARE(catcher.urls, QList<QUrl>{QUrl(server->baseUrl() + "/protocol")});
    }

    void closingBeforeTheServerAnswersIsSafe()
    {
        server->setFault("slow", "/PCAuth/auth/getQRCodeUrl", 1);
        server->setFault("slow", "", 0);
        auto* login = new QLoginWidget;
        login->show();
        auto* bind = new QBindPhonewWidget;
        bind->show();
        QTest::keyClicks(child<QLineEdit>(bind, "lineEdit_phone"), knownPhone);
        QTest::keyClicks(child<QLineEdit>(bind, "lineEdit_code"), "123456");
        QTest::mouseClick(child<QPushButton>(bind, "pb_submit"), Qt::LeftButton);
        login->close();
        bind->close();
        QTest::qWait(4000);
        server->setFault("none");
    }

    void restoreWithoutLoginOpensTheDialog()
    {
        AccountSession session;
        QSignalSpy shown(&session, &AccountSession::userChanged);
        session.restoreLogin();
        QCOMPARE(shown.count(), 1);
        QCOMPARE(shown.first().at(0).toBool(), false);
        QVERIFY(session.loginDialog());
        session.closeDialogs();
        QTRY_VERIFY(!session.loginDialog());
    }

    void restoreRenewsAStaleToken()
    {
        startAsAfterARestart(82801);
        AccountSession session;
        QSignalSpy shown(&session, &AccountSession::userChanged);
        session.restoreLogin();
        QTRY_VERIFY(!shown.isEmpty());
        QCOMPARE(shown.first().at(0).toBool(), true);
        QCOMPARE(shown.first().at(1).value<User>().userId, phoneUser);
        QVERIFY(!settings().value(SettingsKeys::authToken).toString().isEmpty());
        secretsUsed << settings().value(SettingsKeys::authToken).toString();
        QVERIFY(!session.loginDialog());
    }

    void restoreWithFailedRenewalOpensTheDialog()
    {
        startAsAfterARestart(90000);
        server->setFault("500", "/PCAuth/auth/login");
        AccountSession session;
        QSignalSpy shown(&session, &AccountSession::userChanged);
        session.restoreLogin();
        QTRY_VERIFY(!shown.isEmpty());
        QCOMPARE(shown.first().at(0).toBool(), false);
        QVERIFY(session.loginDialog());
        session.closeDialogs();
        server->setFault("none");
    }

    void restoreWithFreshTokenFetchesTheUser()
    {
        signInPhoneUser();
        AccountSession session;
        QSignalSpy shown(&session, &AccountSession::userChanged);
        session.restoreLogin();
        QTRY_VERIFY(!shown.isEmpty());
        QCOMPARE(shown.first().at(1).value<User>().userId, phoneUser);
        QCOMPARE(server->lastRequest("/PCMgr/user/getUserInfo").value("token").toString(),
                 settings().value(SettingsKeys::authToken).toString());
    }

    void rejectedTokenClosesTheDialogsAndLogsOut()
    {
        signInPhoneUser();
        AccountSession session;
        QSignalSpy loggedOut(&session, &AccountSession::userLoggedOut);
        QSignalSpy closing(&session, &AccountSession::closeDialogsRequested);
        // A user without phone makes the session open the binding dialog.
        User noPhone = *WeChatService::instance()->currentUser();
        noPhone.userPhone.clear();
        emit WeChatService::instance()->getUserOver(noPhone, true);
        QPointer<QBaseUI> bind = session.bindDialog();
        QVERIFY(bind);
        server->expireTokens();
        WeChatService::instance()->requestUserInfo();
        QTRY_COMPARE(loggedOut.count(), 1);
        QCOMPARE(closing.count(), 1);
        QTRY_VERIFY(!bind);
        QVERIFY(!settings().contains(SettingsKeys::authToken));
        bool toast = false;
        for (QWidget* window : QApplication::topLevelWidgets())
            for (QLabel* label : window->findChildren<QLabel*>())
                toast = toast || label->text() == QString::fromUtf8("您的登录已失效");
        QVERIFY(toast);
    }
};

int main(int argc, char** argv)
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    AccountDialogsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "AccountDialogsTest.moc"
