#pragma once
#include "ServiceResults.h"
#include "TlsPolicy.h"
#include "app/User.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QMap>
#include <QObject>

#include <functional>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;
class QUrl;

// The one client of the account server's REST API, on the GUI thread. Frames every request
// (scrambled JSON body, token header, TLS policy), unwraps the reply envelope and owns the
// current user record. The update service borrows its network manager, TLS policy and file
// base URL.
class WeChatService : public QObject
{
    Q_OBJECT
public:
    using ReplyHandler = std::function<void(const QByteArray& body, const QJsonObject& object)>;
    using BodyHandler = std::function<void(const QByteArray& body)>;
    using LoginCallback = std::function<void(const LoginResult&)>;
    using LoginUrlCallback = std::function<void(const LoginUrlResult&)>;
    using UserCallback = std::function<void(const User&)>;
    using LogoutCallback = std::function<void(bool success)>;
    using BindCallback = std::function<void(bool success, const QString& msg)>;

    static constexpr const char* sdk = "Vyr_DoridOvov";
    static constexpr qint64 tokenLifetimeSeconds = 82800;

    // Reads server.ini on the first call.
    static WeChatService* instance();
    ~WeChatService() override;

    QNetworkReply* postRequest(const QString& path, const QMap<QString, QJsonValue>& params,
                               ReplyHandler handler = {});
    QNetworkReply* getRequest(const QUrl& url, BodyHandler handler = {});

    void loginByWeChat(const QString& code, LoginCallback callback = {});
    void loginByPhone(const QString& phone, const QString& code, LoginCallback callback = {});
    void renewLogin(const QString& loginName, LoginCallback callback = {});
    void requestPhoneCode(const QString& phone);
    void requestQRCodeUrl(LoginUrlCallback callback = {});
    void requestUserInfo(UserCallback callback = {});
    void logout(LogoutCallback callback = {});
    void bindPhone(const QString& phone, const QString& code, BindCallback callback = {});

    // True when the stored token is missing, older than 82800 s or stamped in the future.
    bool tokenExpired() const;
    // The same rule on given times, in unsigned 32-bit seconds; an invalid stored time is
    // 4294967295.
    static bool tokenExpiredAt(const QDateTime& stored, const QDateTime& now);
    // <data directory>/<userId>/icon.jpg
    static QString avatarPath(const QString& userId);

    // Null until the first user-info reply, and after logout or a rejected token.
    const User* currentUser() const { return m_currentUser.get(); }
    QNetworkAccessManager* networkManager() const { return m_networkManager; }
    const TlsPolicy& tlsPolicy() const { return m_tlsPolicy; }
    QString serverUrl() const { return m_serverUrl; }
    QString fileUrl() const { return m_fileUrl; }

signals:
    // first: after a user-info reply; false: after the avatar was written to its cache.
    void getUserOver(User user, bool first);
    void tokenInvalid();

private:
    WeChatService();

    void login(const QMap<QString, QJsonValue>& params, LoginCallback callback);
    void finishPost(QNetworkReply* reply, const QString& path, const ReplyHandler& handler);
    void applyUserInfo(const QJsonObject& object, const UserCallback& callback);
    void updateAvatar(const QString& url, const UserCallback& callback);
    void writeAvatar(const QString& path, const QByteArray& bytes, const UserCallback& callback);
    void announceUser(const UserCallback& callback, bool first);
    void clearLogin();

    QNetworkAccessManager* m_networkManager;
    std::unique_ptr<User> m_currentUser;
    QString m_serverUrl;
    QString m_fileUrl;
    TlsPolicy m_tlsPolicy;
};
