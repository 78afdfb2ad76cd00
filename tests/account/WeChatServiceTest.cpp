// The API client against the local account server over real HTTPS.
#include "AccountServer.h"
#include "AccountTestSupport.h"
#include "account/LogMasking.h"
#include "account/Scrambling.h"
#include "account/WeChatService.h"
#include "app/AppSettings.h"
#include "app/Log.h"
#include "app/SettingsKeys.h"
#include "platform/Platform.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QtTest>

#include <memory>
#include <optional>

using namespace AccountTest;

namespace {

AppSettings& settings()
{
    return AppSettings::instance();
}

} // namespace

class WeChatServiceTest : public QObject
{
    Q_OBJECT

    AccountServer* server = nullptr;
    WeChatService* service = nullptr;
    QStringList secretsUsed;

    LoginResult waitForLogin(const std::function<void(WeChatService::LoginCallback)>& start, int timeoutMs = 10000)
    {
        std::optional<LoginResult> result;
        start([&result](const LoginResult& r) { result = r; });
        [&] { QTRY_VERIFY_WITH_TIMEOUT(result.has_value(), timeoutMs); }();
        if (!result->token.isEmpty())
            secretsUsed << result->token;
        return result.value_or(LoginResult());
    }

    // A phone login with the code the server sent; returns the result.
    LoginResult phoneLogin(const QString& phone)
    {
        service->requestPhoneCode(phone);
        QString code;
        [&] { QTRY_VERIFY_WITH_TIMEOUT(!(code = server->smsCode(phone)).isEmpty(), 10000); }();
        secretsUsed << code;
        QSignalSpy userOver(service, &WeChatService::getUserOver);
        const LoginResult result = waitForLogin([&](auto cb) { service->loginByPhone(phone, code, cb); });
        // A successful login fetches the user by itself; let that finish first.
        if (result.code == 0)
            [&] { QTRY_VERIFY_WITH_TIMEOUT(!userOver.isEmpty(), 10000); }();
        return result;
    }

    User fetchUser()
    {
        // The callback runs again once the avatar is written, maybe after this returned.
        auto user = std::make_shared<std::optional<User>>();
        service->requestUserInfo([user](const User& u) { *user = u; });
        [&] { QTRY_VERIFY_WITH_TIMEOUT(user->has_value(), 10000); }();
        return user->value_or(User());
    }

private slots:
    void initTestCase()
    {
        prepareProcess();
        server = new AccountServer(true, {"--hang-seconds", "25"});
        QVERIFY2(server->isRunning(), "the account server did not start");
        service = WeChatService::instance();
        QCOMPARE(service->serverUrl(), server->baseUrl());
    }

    void init()
    {
        server->reset();
        wipeStoredLogin();
    }

    void cleanupTestCase()
    {
        // The log goes out with bug reports: no token or code of this run may stand in it.
        const QString log = logText();
        QVERIFY(log.contains("request params : "));
        QVERIFY(log.contains("auth_token") || log.contains("network json : "));
        for (const QString& secret : qAsConst(secretsUsed))
            QVERIFY2(!log.contains(secret), qPrintable("secret in the log: " + secret.left(4)));
        QVERIFY(!log.contains(knownPhone));
        delete server;
    }

    void scramblingRoundTrips()
    {
        const QString scrambled = Scrambling::scramble("{}");
        QVERIFY(QRegularExpression("^vyrencode_[0-9A-F]{4}$").match(scrambled).hasMatch());
        QCOMPARE(scrambled, QString("vyrencode_4147"));
        QCOMPARE(Scrambling::unscramble(scrambled), QString("{}"));
        const QString chinese = QString::fromUtf8("{\"nickName\":\"小林\"}");
        QCOMPARE(Scrambling::unscramble(Scrambling::scramble(chinese.toUtf8())), chinese);
        // Not hexadecimal counts as 0 (0x00 ^ 0x3A is ':'); an odd trailing digit is dropped.
        QCOMPARE(Scrambling::unscramble("vyrencode_41zz4"), QString("{:"));
        QCOMPARE(Scrambling::unscramble("VYRENCODE_4147"), QString("VYRENCODE_4147"));
    }

    void masksSecretsForTheLog()
    {
        QCOMPARE(LogMasking::phone(knownPhone), QString("138****8000"));
        QCOMPARE(LogMasking::secret("123456"), QString("***(6)"));
        QCOMPARE(LogMasking::secret("abcdefghijklmnopqrst"), QString("abcd***(20)"));
        const QString masked = LogMasking::json(R"({"code":"654321","loginName":"13912345678","data":{"X-SW-Auth-Token":"tokentokentokentoken"},"n":1})");
        QVERIFY(!masked.contains("654321"));
        QVERIFY(!masked.contains("13912345678"));
        QVERIFY(!masked.contains("tokentokentokentoken"));
        QVERIFY(masked.contains("139****5678"));
        QVERIFY(masked.contains("\"n\":1"));
        QCOMPARE(LogMasking::json(R"({"code":0})"), QString(R"({"code":0})"));
    }

    void wireCarriesOnlyTheScrambledBody()
    {
        const LoginResult result = phoneLogin(knownPhone);
        QCOMPARE(result.code, 0);
        const QJsonObject wire = server->lastRequest("/PCAuth/auth/login");
        const QJsonObject body = QJsonDocument::fromJson(wire.value("body").toString().toUtf8()).object();
        QCOMPARE(body.keys(), QStringList{"secret"});
        QVERIFY(body.value("secret").toString().startsWith("vyrencode_"));
        QVERIFY(!wire.value("body").toString().contains(knownPhone));
        const QJsonObject plain = QJsonDocument::fromJson(Scrambling::unscramble(body.value("secret").toString()).toUtf8()).object();
        QCOMPARE(plain.value("loginName").toString(), knownPhone);
        QCOMPARE(plain.value("authType").toString(), QString("2"));
        QCOMPARE(plain.value("sdk").toString(), QString("Vyr_DoridOvov"));
        // The log shows the plain JSON, masked.
        QVERIFY(logText().contains(R"x(request params : {"authType":"2","code":"***(6)",)x"));
        QVERIFY(logText().contains("\"loginName\":\"138****8000\""));
    }

    void loginStoresTokenAndFetchesTheUser()
    {
        QSignalSpy userOver(service, &WeChatService::getUserOver);
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        const LoginResult result = phoneLogin(knownPhone);
        QCOMPARE(result.code, 0);
        QVERIFY(!result.token.isEmpty());
        QVERIFY(result.time >= before);
        QCOMPARE(settings().value(SettingsKeys::authToken).toString(), result.token);
        QCOMPARE(settings().value(SettingsKeys::authTime).toDateTime().toSecsSinceEpoch(), result.time.toSecsSinceEpoch());
        QTRY_VERIFY(!userOver.isEmpty());
        const User user = userOver.first().at(0).value<User>();
        QCOMPARE(user.userId, phoneUser);
        QCOMPARE(user.userPhone, knownPhone);
        QCOMPARE(user.nickName, QString::fromUtf8("小林"));
        QCOMPARE(userOver.first().at(1).toBool(), true);
        // The user-info request already carried the new token.
        QCOMPARE(server->lastRequest("/PCMgr/user/getUserInfo").value("token").toString(), result.token);
    }

    void refusedLoginWithTokenStoresItWithoutFetching()
    {
        server->setFault("code1", "/PCAuth/auth/login", 1);
        const LoginResult result = phoneLogin(knownPhone);
        QCOMPARE(result.code, 1);
        QVERIFY(!result.token.isEmpty());
        QCOMPARE(settings().value(SettingsKeys::authToken).toString(), result.token);
        QVERIFY(settings().value(SettingsKeys::authTime).toDateTime().isValid());
        QTest::qWait(300);
        QVERIFY(server->lastRequest("/PCMgr/user/getUserInfo").isEmpty());
    }

    void refusedLoginWithoutDataHasNoToken()
    {
        service->requestPhoneCode(knownPhone);
        QTRY_VERIFY(!server->smsCode(knownPhone).isEmpty());
        const LoginResult result = waitForLogin([&](auto cb) { service->loginByPhone(knownPhone, "000000", cb); });
        QCOMPARE(result.code, 1);
        QVERIFY(result.msg.contains(QString::fromUtf8("验证码错误")));
        QVERIFY(result.token.isEmpty());
        QVERIFY(!result.time.isValid());
        QVERIFY(!settings().contains(SettingsKeys::authToken));
    }

    void tokenHeaderOnlyWhenStoredAndNeeded()
    {
        settings().setValue(SettingsKeys::authToken, QString(""));
        QSignalSpy invalid(service, &WeChatService::tokenInvalid);
        service->requestUserInfo();
        QTRY_COMPARE(invalid.count(), 1);
        QVERIFY(!server->lastRequest("/PCMgr/user/getUserInfo").isEmpty());
        QVERIFY(server->lastRequest("/PCMgr/user/getUserInfo").value("token").isNull());

        settings().setValue(SettingsKeys::authToken, QString("stored-token-value-1234"));
        bool answered = false;
        service->requestQRCodeUrl([&answered](const LoginUrlResult& r) {
            answered = r.code == 0 && r.url.contains("/connect/qrconnect?ticket=");
        });
        QTRY_VERIFY(answered);
        QVERIFY(server->lastRequest("/PCAuth/auth/getQRCodeUrl").value("token").isNull());
    }

    void rejectedTokenWipesTheLoginOnce()
    {
        QCOMPARE(phoneLogin(knownPhone).code, 0);
        QTRY_VERIFY(service->currentUser());
        QTRY_VERIFY(settings().contains(SettingsKeys::userInfo));
        server->expireTokens();
        QSignalSpy invalid(service, &WeChatService::tokenInvalid);
        bool called = false;
        service->requestUserInfo([&called](const User&) { called = true; });
        QTRY_COMPARE(invalid.count(), 1);
        QTest::qWait(200);
        QCOMPARE(invalid.count(), 1);
        QVERIFY(!called);
        QVERIFY(!service->currentUser());
        QVERIFY(!settings().contains(SettingsKeys::authToken));
        QVERIFY(!settings().contains(SettingsKeys::authTime));
        QVERIFY(!settings().contains(SettingsKeys::userInfo));
    }

    void sameAvatarUrlDownloadsOnce()
    {
        QCOMPARE(phoneLogin(knownPhone).code, 0);
        QTRY_COMPARE(server->avatarDownloads(), 1);
        const QString cache = WeChatService::avatarPath(phoneUser);
        QTRY_VERIFY(QFileInfo(cache).size() > 0);
        QVERIFY(QImage(cache).width() > 0);
        QSignalSpy userOver(service, &WeChatService::getUserOver);
        // The next start asks again with the same URL and the picture in its cache.
        const User user = fetchUser();
        QCOMPARE(user.userHeadAddr, cache);
        QCOMPARE(settings().value(SettingsKeys::userInfo).value<User>().userHeadAddr,
                 server->baseUrl() + "/avatar/" + phoneUser + ".png");
        QTest::qWait(500);
        QCOMPARE(server->avatarDownloads(), 1);
        QCOMPARE(userOver.count(), 1);
        // A missing cache file is fetched again.
        QFile::remove(cache);
        fetchUser();
        QTRY_COMPARE(server->avatarDownloads(), 2);
        QTRY_VERIFY(QFileInfo::exists(cache));
    }

    void emptyAvatarIsStoredWithoutDownload()
    {
        // A number the server does not know makes a new account without a picture.
        const QString phone = "13712345678";
        QCOMPARE(phoneLogin(phone).code, 0);
        QVERIFY(service->currentUser());
        QVERIFY(service->currentUser()->userHeadAddr.isEmpty());
        QCOMPARE(service->currentUser()->userPhone, phone);
        QVERIFY(settings().contains(SettingsKeys::userInfo));
        QVERIFY(settings().value(SettingsKeys::userInfo).value<User>().userHeadAddr.isEmpty());
        QTest::qWait(300);
        QCOMPARE(server->avatarDownloads(), 0);
    }

    void tokenAgeLimit()
    {
        const QDateTime now = QDateTime::currentDateTime();
        QVERIFY(!WeChatService::tokenExpiredAt(now.addSecs(-82800), now));
        QVERIFY(WeChatService::tokenExpiredAt(now.addSecs(-82801), now));
        QVERIFY(!WeChatService::tokenExpiredAt(now, now));
        QVERIFY(WeChatService::tokenExpiredAt(now.addSecs(5), now));
        QVERIFY(WeChatService::tokenExpiredAt(QDateTime(), now));
        QVERIFY(service->tokenExpired());
        settings().setValue(SettingsKeys::authTime, now.addSecs(-60));
        QVERIFY(!service->tokenExpired());
    }

    void brokenRepliesReadAsMinusOne_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("garbled") << "garbled";
        QTest::newRow("not JSON") << "nonjson";
        QTest::newRow("no code") << "nocode";
        QTest::newRow("HTTP 500") << "500";
    }

    void brokenRepliesReadAsMinusOne()
    {
        QFETCH(QString, fault);
        server->setFault(fault, "/PCAuth/auth/login");
        const LoginResult result = waitForLogin([&](auto cb) { service->renewLogin(phoneUser, cb); });
        QCOMPARE(result.code, -1);
        server->setFault(fault, "/PCAuth/auth/getQRCodeUrl");
        std::optional<int> code;
        service->requestQRCodeUrl([&code](const LoginUrlResult& r) { code = r.code; });
        QTest::qWait(500);
        QVERIFY(!code || *code == -1);
    }

    void hangingServerEndsInTheFailurePath()
    {
        server->setFault("hang", "/PCAuth/auth/login", 1);
        QElapsedTimer clock;
        clock.start();
        const LoginResult result =
            waitForLogin([&](auto cb) { service->renewLogin(phoneUser, cb); }, TlsPolicy::transferTimeoutMs + 5000);
        QCOMPARE(result.code, -1);
        QVERIFY(clock.elapsed() >= TlsPolicy::transferTimeoutMs - 1000);
        QVERIFY(logText().contains("network post failed : "));
    }

    void failedLogoutKeepsTheToken()
    {
        QCOMPARE(phoneLogin(knownPhone).code, 0);
        const QString token = settings().value(SettingsKeys::authToken).toString();
        server->setFault("500", "/PCAuth/auth/loginout");
        bool called = false;
        service->logout([&called](bool) { called = true; });
        QTest::qWait(1000);
        QVERIFY(!called);
        QCOMPARE(settings().value(SettingsKeys::authToken).toString(), token);
        server->setFault("none");
        std::optional<bool> success;
        service->logout([&success](bool ok) { success = ok; });
        QTRY_VERIFY(success.has_value());
        QVERIFY(*success);
        QVERIFY(!service->currentUser());
        QVERIFY(!settings().contains(SettingsKeys::authToken));
        QVERIFY(!settings().contains(SettingsKeys::userInfo));
        QVERIFY(server->lastRequest("/PCAuth/auth/loginout").value("token").toString() == token);
    }

    void bindPhoneUpdatesTheStoredRecord()
    {
        server->confirmLogin(); // no ticket yet: nothing to confirm
        std::optional<LoginUrlResult> page;
        service->requestQRCodeUrl([&page](const LoginUrlResult& r) { page = r; });
        QTRY_VERIFY(page.has_value());
        QVERIFY(server->confirmLogin());
        // The page would now redirect with the code; fetch it like the page's script does.
        const QUrl url(page->url);
        const QString ticket = QUrlQuery(url).queryItemValue("ticket");
        QNetworkRequest request(QUrl(server->baseUrl() + "/connect/status?ticket=" + ticket));
        service->tlsPolicy().apply(request);
        QNetworkReply* reply = service->networkManager()->get(request);
        QTRY_VERIFY(reply->isFinished());
        const QString code = QJsonDocument::fromJson(reply->readAll()).object().value("code").toString();
        reply->deleteLater();
        QVERIFY(!code.isEmpty());
        secretsUsed << code;
        QCOMPARE(waitForLogin([&](auto cb) { service->loginByWeChat(code, cb); }).code, 0);
        QTRY_VERIFY(service->currentUser() && service->currentUser()->userId == weChatUser);
        QVERIFY(service->currentUser()->userPhone.isEmpty());

        const QString phone = "13912345678";
        service->requestPhoneCode(phone);
        QString sms;
        QTRY_VERIFY(!(sms = server->smsCode(phone)).isEmpty());
        secretsUsed << sms;
        std::optional<std::pair<bool, QString>> bound;
        service->bindPhone(phone, "111111", [&bound](bool ok, const QString& msg) { bound = {ok, msg}; });
        QTRY_VERIFY(bound.has_value());
        QVERIFY(!bound->first);
        QVERIFY(bound->second.contains(QString::fromUtf8("验证码错误")));
        bound.reset();
        service->bindPhone(phone, sms, [&bound](bool ok, const QString& msg) { bound = {ok, msg}; });
        QTRY_VERIFY(bound.has_value());
        QVERIFY(bound->first);
        QCOMPARE(service->currentUser()->userPhone, phone);
        QCOMPARE(settings().value(SettingsKeys::userInfo).value<User>().userPhone, phone);
        QCOMPARE(server->phoneOf(weChatUser), phone);
        QVERIFY(!logText().contains(phone));
        // The binding stored the record with the cache path, so the next reply fetches the picture again.
        const QString cache = WeChatService::avatarPath(weChatUser);
        QTRY_VERIFY(QFileInfo::exists(cache));
        QCOMPARE(settings().value(SettingsKeys::userInfo).value<User>().userHeadAddr, cache);
        const int downloads = server->avatarDownloads();
        fetchUser();
        QTRY_COMPARE(server->avatarDownloads(), downloads + 1);
    }

    void bindPhoneAfterTheUserWasClearedDoesNotCrash()
    {
        QCOMPARE(phoneLogin(knownPhone).code, 0);
        QTRY_VERIFY(service->currentUser());
        server->expireTokens();
        QSignalSpy invalid(service, &WeChatService::tokenInvalid);
        service->requestUserInfo();
        QTRY_COMPARE(invalid.count(), 1);
        std::optional<bool> bound;
        service->bindPhone("13912345678", "123456", [&bound](bool ok, const QString&) { bound = ok; });
        QVERIFY(bound.has_value() && !*bound);
    }

    void deviceIdIsAHardwareAddress()
    {
        std::optional<LoginResult> ignored;
        service->renewLogin(phoneUser, [&ignored](const LoginResult& r) { ignored = r; });
        QTRY_VERIFY(ignored.has_value());
        const QJsonObject body = QJsonDocument::fromJson(
            server->lastRequest("/PCAuth/auth/login").value("body").toString().toUtf8()).object();
        const QString devId = QJsonDocument::fromJson(
            Scrambling::unscramble(body.value("secret").toString()).toUtf8()).object().value("devId").toString();
        QVERIFY2(QRegularExpression("^([0-9A-Fa-f]{2}-){5}[0-9A-Fa-f]{2}$").match(devId).hasMatch()
                     || devId == QString::fromUtf8("获取mac地址错误"),
                 qPrintable(devId));
        if (ignored->code == 0)
            secretsUsed << ignored->token;
    }

    void dataDirectoryIsOwnerOnly()
    {
        settings().sync();
        const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
            | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
        QCOMPARE(QFileInfo(platform::dataDirectory()).permissions() & others, QFileDevice::Permissions());
        QCOMPARE(QFileInfo(settings().fileName()).permissions() & others, QFileDevice::Permissions());
    }
};

QTEST_MAIN(WeChatServiceTest)
#include "WeChatServiceTest.moc"
