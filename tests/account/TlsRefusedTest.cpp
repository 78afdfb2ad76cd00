// A server whose self-signed certificate server.ini does not name is refused: the request
// ends in the network-failure path and the certificate problem is logged.
#include "AccountServer.h"
#include "AccountTestSupport.h"
#include "account/WeChatService.h"
#include "app/AppSettings.h"
#include "app/Log.h"
#include "app/SettingsKeys.h"
#include "platform/Platform.h"

#include <QtTest>

#include <optional>

using namespace AccountTest;

class TlsRefusedTest : public QObject
{
    Q_OBJECT

private slots:
    void unknownCertificateIsANetworkFailure()
    {
        prepareProcess();
        AccountServer server(false);
        QVERIFY(server.isRunning());
        AppSettings::instance().setValue(SettingsKeys::authToken, QString("a-token-the-server-never-sees"));

        std::optional<LoginResult> result;
        WeChatService::instance()->renewLogin("U20260001PHONE", [&result](const LoginResult& r) { result = r; });
        QTRY_VERIFY_WITH_TIMEOUT(result.has_value(), 10000);
        QCOMPARE(result->code, -1);
        QVERIFY(server.lastRequest("/PCAuth/auth/login").isEmpty());
        std::optional<User> user;
        WeChatService::instance()->requestUserInfo([&user](const User& u) { user = u; });
        QTRY_VERIFY_WITH_TIMEOUT(user.has_value(), 10000);
        QVERIFY(user->userId.isEmpty());
        QVERIFY(server.lastRequest("/PCMgr/user/getUserInfo").isEmpty());
        // Not a rejected token: the stored login stays.
        QVERIFY(AppSettings::instance().contains(SettingsKeys::authToken));

        const QString log = logText();
        QVERIFY(log.contains("ssl errors : " + server.baseUrl() + "/PCAuth/auth/login : "));
        QVERIFY(log.contains("network post failed : "));
    }
};

QTEST_MAIN(TlsRefusedTest)
#include "TlsRefusedTest.moc"
