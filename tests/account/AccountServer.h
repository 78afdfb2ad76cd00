#pragma once
// Starts the local account server (build/bin/vyr-account-server) on a free port with a
// certificate made by openssl, writes a server.ini pointing at it into the data directory,
// and talks to its test-only endpoints. One server per test executable.
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

class AccountServer
{
public:
    // withCaFile: server.ini names the server's certificate as the extra CA file.
    explicit AccountServer(bool withCaFile = true, const QStringList& extraArguments = {});
    ~AccountServer();

    bool isRunning() const { return !m_baseUrl.isEmpty(); }
    QString baseUrl() const { return m_baseUrl; }
    QString certificatePath() const { return m_dir.path() + "/cert.pem"; }
    QString logPath() const { return m_dir.path() + "/server.log"; }

    void reset();
    // mode: none, garbled, nonjson, nocode, code1, 500, hang, slow; path empty = every API path;
    // count 0 = until cleared.
    void setFault(const QString& mode, const QString& path = QString(), int count = 0);
    bool confirmLogin();
    void expireTokens();
    QString smsCode(const QString& phone);
    // {"body": raw request body, "token": header value or null}; empty before any request.
    QJsonObject lastRequest(const QString& path);
    QString phoneOf(const QString& userId);
    int avatarDownloads();
    // Any request to the server ("GET" or "POST"); the reply body.
    QByteArray request(const QByteArray& verb, const QString& pathAndQuery);

private:
    QJsonObject call(const QByteArray& verb, const QString& pathAndQuery);

    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_baseUrl;
};
