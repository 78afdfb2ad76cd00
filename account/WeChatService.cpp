#include "WeChatService.h"

#include "DeviceId.h"
#include "LogMasking.h"
#include "Scrambling.h"
#include "app/AppSettings.h"
#include "app/ServerConfig.h"
#include "app/SettingsKeys.h"
#include "platform/Platform.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslError>

namespace {

const QString kLoginPath = "/PCAuth/auth/login";
const QString kPhoneCodePath = "/PCAuth/auth/getLoginPhoneNum";
const QString kQrCodeUrlPath = "/PCAuth/auth/getQRCodeUrl";
const QString kUserInfoPath = "/PCMgr/user/getUserInfo";
const QString kLogoutPath = "/PCAuth/auth/loginout";
const QString kBindPhonePath = "/PCAuth/auth/bindPh";
const QString kTokenHeader = "X-SW-Auth-Token";

void log(const QString& line)
{
    qDebug().noquote() << line;
}

int replyCode(const QJsonObject& object)
{
    return object.value("code").toInt(-1);
}

// Recognised by the status, not by the error text, which Qt may translate.
bool isAuthenticationFailure(const QNetworkReply* reply)
{
    return reply->error() == QNetworkReply::AuthenticationRequiredError
        || reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 401;
}

QString streamOrderFields(const User& user)
{
    return QStringList{user.devId,    user.openId,    user.userId,      user.nickName,
                       user.userName, LogMasking::phone(user.userPhone), user.userHeadAddr}
        .join(", ");
}

User storedUser()
{
    return AppSettings::instance().value(SettingsKeys::userInfo).value<User>();
}

} // namespace

WeChatService* WeChatService::instance()
{
    static WeChatService service;
    return &service;
}

WeChatService::WeChatService()
    : m_networkManager(new QNetworkAccessManager)
{
    const ServerConfig config;
    m_serverUrl = config.server();
    m_fileUrl = config.file();
    m_tlsPolicy = TlsPolicy(config.caFile());
    connect(m_networkManager, &QNetworkAccessManager::sslErrors, this,
            [](QNetworkReply* reply, const QList<QSslError>& errors) {
                QStringList texts;
                for (const QSslError& error : errors)
                    texts << error.errorString();
                log("ssl errors : " + reply->url().toString() + " : " + texts.join("; "));
            });
}

WeChatService::~WeChatService()
{
    delete m_networkManager;
}

QNetworkReply* WeChatService::postRequest(const QString& path, const QMap<QString, QJsonValue>& params,
                                          ReplyHandler handler)
{
    const QString url = m_serverUrl + path;
    const QString token = AppSettings::instance().value(SettingsKeys::authToken).toString();
    log("request url : " + url);

    QNetworkRequest request{QUrl(url)};
    m_tlsPolicy.apply(request);
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    const bool anonymous = path == kLoginPath || path == kPhoneCodePath || path == kQrCodeUrlPath;
    if (!anonymous && !token.isEmpty())
        request.setRawHeader(kTokenHeader.toUtf8(), token.toUtf8());

    QJsonObject object;
    for (auto it = params.begin(); it != params.end(); ++it)
        object.insert(it.key(), it.value());
    const QByteArray json = QJsonDocument(object).toJson(QJsonDocument::Compact);
    log("request params : " + LogMasking::json(json));
    const QJsonObject envelope{{"secret", Scrambling::scramble(json)}};

    QNetworkReply* reply = m_networkManager->post(request, QJsonDocument(envelope).toJson(QJsonDocument::Compact));
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, path, handler]() { finishPost(reply, path, handler); });
    return reply;
}

void WeChatService::finishPost(QNetworkReply* reply, const QString& path, const ReplyHandler& handler)
{
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError) {
        log("network post failed : " + reply->errorString());
        if (isAuthenticationFailure(reply)) {
            clearLogin();
            emit tokenInvalid();
        } else if (handler && (path == kLoginPath || path == kUserInfoPath)) {
            handler(QByteArray(), QJsonObject());
        }
        return;
    }
    const QByteArray body = reply->readAll();
    log("network json : " + LogMasking::json(body));
    if (handler)
        handler(body, QJsonDocument::fromJson(body).object());
}

QNetworkReply* WeChatService::getRequest(const QUrl& url, BodyHandler handler)
{
    log("get url : " + url.toString());
    QNetworkRequest request(url);
    m_tlsPolicy.apply(request);
    QNetworkReply* reply = m_networkManager->get(request);
    connect(reply, &QNetworkReply::finished, this, [reply, handler]() {
        reply->deleteLater();
        if (reply->error() != QNetworkReply::NoError)
            log("network get failed : " + reply->errorString());
        else if (handler)
            handler(reply->readAll());
    });
    return reply;
}

void WeChatService::loginByWeChat(const QString& code, LoginCallback callback)
{
    login({{"code", code}, {"authType", "1"}, {"devId", deviceId()}, {"sdk", sdk}}, std::move(callback));
}

void WeChatService::loginByPhone(const QString& phone, const QString& code, LoginCallback callback)
{
    login({{"loginName", phone}, {"code", code}, {"authType", "2"}, {"devId", deviceId()}, {"sdk", sdk}},
          std::move(callback));
}

void WeChatService::renewLogin(const QString& loginName, LoginCallback callback)
{
    login({{"loginName", loginName}, {"authType", "0"}, {"devId", deviceId()}, {"sdk", sdk}}, std::move(callback));
}

void WeChatService::login(const QMap<QString, QJsonValue>& params, LoginCallback callback)
{
    postRequest(kLoginPath, params, [this, callback](const QByteArray&, const QJsonObject& object) {
        LoginResult result;
        result.code = replyCode(object);
        result.msg = object.value("msg").toString();
        const QJsonObject data = object.value("data").toObject();
        if (data.contains(kTokenHeader)) {
            result.token = data.value(kTokenHeader).toString();
            result.time = QDateTime::currentDateTime();
            AppSettings::instance().setValue(SettingsKeys::authToken, result.token);
            AppSettings::instance().setValue(SettingsKeys::authTime, result.time);
        }
        if (result.code == 0)
            requestUserInfo([](const User& user) {
                log("user : " + user.nickName + ", " + LogMasking::phone(user.userPhone));
            });
        if (callback)
            callback(result);
    });
}

void WeChatService::requestPhoneCode(const QString& phone)
{
    postRequest(kPhoneCodePath, {{"loginName", phone}, {"sdk", sdk}}, [](const QByteArray&, const QJsonObject& object) {
        if (object.contains("code"))
            log("getPhoneCode : " + QString::number(replyCode(object)));
        if (object.contains("msg"))
            log("getPhoneCodeMsg : " + object.value("msg").toString());
    });
}

void WeChatService::requestQRCodeUrl(LoginUrlCallback callback)
{
    postRequest(kQrCodeUrlPath, {{"sdk", sdk}}, [callback](const QByteArray&, const QJsonObject& object) {
        if (callback)
            callback({replyCode(object), object.value("msg").toString(), object.value("data").toString()});
    });
}

void WeChatService::requestUserInfo(UserCallback callback)
{
    postRequest(kUserInfoPath, {{"sdk", sdk}}, [this, callback](const QByteArray&, const QJsonObject& object) {
        applyUserInfo(object, callback);
    });
}

void WeChatService::applyUserInfo(const QJsonObject& object, const UserCallback& callback)
{
    if (!m_currentUser)
        m_currentUser = std::make_unique<User>();
    const QJsonValue data = object.value("data");
    if (data.isString()) {
        const QString text = Scrambling::unscramble(data.toString());
        log("user info : " + LogMasking::json(text.toUtf8()));
        const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8());
        if (document.isObject()) {
            const QJsonObject info = document.object();
            const std::pair<const char*, QString User::*> fields[] = {
                {"openId", &User::openId},     {"devId", &User::devId},       {"userId", &User::userId},
                {"nickName", &User::nickName}, {"userName", &User::userName}, {"userPhone", &User::userPhone}};
            for (const auto& [key, field] : fields)
                if (info.contains(key))
                    (*m_currentUser).*field = info.value(key).toString();
            if (info.contains("userHeadAddr"))
                updateAvatar(info.value("userHeadAddr").toString(), callback);
        }
    }
    announceUser(callback, true);
}

void WeChatService::updateAvatar(const QString& url, const UserCallback& callback)
{
    const User stored = storedUser();
    m_currentUser->userHeadAddr = url;
    AppSettings::instance().setValue(SettingsKeys::userInfo, QVariant::fromValue(*m_currentUser));
    log(">> user : cache " + streamOrderFields(stored));
    if (url.isEmpty())
        return;
    const QString path = avatarPath(m_currentUser->userId);
    QDir().mkpath(QFileInfo(path).path());
    m_currentUser->userHeadAddr = path;
    if (url != stored.userHeadAddr || !QFileInfo::exists(path))
        getRequest(QUrl(url), [this, path, callback](const QByteArray& bytes) { writeAvatar(path, bytes, callback); });
}

void WeChatService::writeAvatar(const QString& path, const QByteArray& bytes, const UserCallback& callback)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    file.write(bytes);
    file.close();
    // A logout or a rejected token may have ended the session while the picture was on its way.
    if (m_currentUser)
        announceUser(callback, false);
}

void WeChatService::announceUser(const UserCallback& callback, bool first)
{
    const User copy = *m_currentUser;
    if (callback)
        callback(copy);
    emit getUserOver(copy, first);
}

void WeChatService::logout(LogoutCallback callback)
{
    postRequest(kLogoutPath, {{"sdk", sdk}}, [this, callback](const QByteArray&, const QJsonObject& object) {
        const bool success = replyCode(object) == 0;
        if (success)
            clearLogin();
        if (callback)
            callback(success);
    });
}

void WeChatService::bindPhone(const QString& phone, const QString& code, BindCallback callback)
{
    // A rejected token clears the user while the binding dialog is still open.
    if (!m_currentUser) {
        log("bindPhone : no current user");
        if (callback)
            callback(false, QString());
        return;
    }
    const QMap<QString, QJsonValue> params{{"phone", phone},
                                           {"userId", m_currentUser->userId},
                                           {"openId", m_currentUser->openId},
                                           {"code", code},
                                           {"sdk", sdk}};
    postRequest(kBindPhonePath, params, [this, phone, callback](const QByteArray&, const QJsonObject& object) {
        const bool success = replyCode(object) == 0;
        if (success && m_currentUser) {
            m_currentUser->userPhone = phone;
            AppSettings::instance().setValue(SettingsKeys::userInfo, QVariant::fromValue(*m_currentUser));
        }
        if (callback)
            callback(success, object.value("msg").toString());
    });
}

void WeChatService::clearLogin()
{
    m_currentUser.reset();
    AppSettings::instance().remove(SettingsKeys::authToken);
    AppSettings::instance().remove(SettingsKeys::authTime);
    AppSettings::instance().remove(SettingsKeys::userInfo);
}

bool WeChatService::tokenExpired() const
{
    const QDateTime stored = AppSettings::instance().value(SettingsKeys::authTime).toDateTime();
    return tokenExpiredAt(stored, QDateTime::currentDateTime());
}

bool WeChatService::tokenExpiredAt(const QDateTime& stored, const QDateTime& now)
{
    const quint32 storedSeconds = stored.isValid() ? quint32(stored.toSecsSinceEpoch()) : 4294967295u;
    const quint32 nowSeconds = quint32(now.toSecsSinceEpoch());
    const quint32 age = nowSeconds - storedSeconds;
    log(QString("time : %1, cTime : %2, authToken sc : %3").arg(storedSeconds).arg(nowSeconds).arg(age));
    return age > tokenLifetimeSeconds;
}

QString WeChatService::avatarPath(const QString& userId)
{
    return platform::dataDirectory() + "/" + userId + "/icon.jpg";
}
