#include "AccountServer.h"

#include "account/TlsPolicy.h"
#include "platform/Platform.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSettings>
#include <QUrlQuery>

AccountServer::AccountServer(bool withCaFile, const QStringList& extraArguments)
{
    const QString dir = m_dir.path();
    const int made = QProcess::execute("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                                                   "-subj", "/CN=127.0.0.1", "-addext",
                                                   "subjectAltName=IP:127.0.0.1,DNS:localhost", "-keyout",
                                                   dir + "/key.pem", "-out", dir + "/cert.pem"});
    if (made != 0)
        return;
    m_process.setStandardErrorFile(logPath());
    m_process.start(qEnvironmentVariable("VYR_BIN_DIR") + "/vyr-account-server",
                    QStringList{"--port", "0", "--cert", dir + "/cert.pem", "--key", dir + "/key.pem"} + extraArguments);
    QByteArray out;
    while (m_process.waitForReadyRead(10000)) {
        out += m_process.readAllStandardOutput();
        if (out.contains("certificate "))
            break;
    }
    for (const QByteArray& line : out.split('\n'))
        if (line.startsWith("listening on "))
            m_baseUrl = QString::fromUtf8(line.mid(13)).trimmed();
    if (m_baseUrl.isEmpty())
        return;
    QDir().mkpath(platform::dataDirectory());
    QSettings ini(platform::dataDirectory() + "/server.ini", QSettings::IniFormat);
    ini.setValue("server", m_baseUrl);
    ini.setValue("file", m_baseUrl);
    if (withCaFile)
        ini.setValue("ca_file", certificatePath());
    else
        ini.remove("ca_file");
}

AccountServer::~AccountServer()
{
    m_process.kill();
    m_process.waitForFinished(5000);
}

QByteArray AccountServer::request(const QByteArray& verb, const QString& pathAndQuery)
{
    static QNetworkAccessManager manager;
    QNetworkRequest request(QUrl(m_baseUrl + pathAndQuery));
    TlsPolicy(certificatePath()).apply(request);
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    // A POST needs its Content-Length, even an empty one.
    QNetworkReply* reply = verb == "POST" ? manager.post(request, QByteArray()) : manager.get(request);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    const QByteArray body = reply->readAll();
    reply->deleteLater();
    return body;
}

QJsonObject AccountServer::call(const QByteArray& verb, const QString& pathAndQuery)
{
    return QJsonDocument::fromJson(request(verb, pathAndQuery)).object();
}

void AccountServer::reset()
{
    call("POST", "/test/reset");
}

void AccountServer::setFault(const QString& mode, const QString& path, int count)
{
    QUrlQuery query;
    query.addQueryItem("mode", mode);
    query.addQueryItem("path", path);
    query.addQueryItem("count", QString::number(count));
    call("POST", "/test/fault?" + query.toString(QUrl::FullyEncoded));
}

bool AccountServer::confirmLogin()
{
    return call("POST", "/test/confirm").value("confirmed").toBool();
}

void AccountServer::expireTokens()
{
    call("POST", "/test/expireTokens");
}

QString AccountServer::smsCode(const QString& phone)
{
    return call("GET", "/test/smsCode?phone=" + phone).value("code").toString();
}

QJsonObject AccountServer::lastRequest(const QString& path)
{
    return call("GET", "/test/lastRequest?path=" + path);
}

QString AccountServer::phoneOf(const QString& userId)
{
    return call("GET", "/test/user?userId=" + userId).value("userPhone").toString();
}

int AccountServer::avatarDownloads()
{
    return call("GET", "/test/stats").value("avatarDownloads").toInt(-1);
}
