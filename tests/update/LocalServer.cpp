#include "LocalServer.h"

#include "account/TlsPolicy.h"
#include "platform/Platform.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSettings>

LocalServer::LocalServer() = default;

LocalServer::~LocalServer()
{
    process.kill();
    process.waitForFinished(3000);
}

bool LocalServer::start()
{
    const QString program = qEnvironmentVariable("VYR_BIN_DIR") + "/vyr-account-server";
    process.start(program, {"--work-dir", workDir.path()});
    if (!process.waitForStarted(5000)) {
        problem = "cannot start " + program;
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    QByteArray output;
    while (clock.elapsed() < 20000 && (url.isEmpty() || certificateFile.isEmpty())) {
        process.waitForReadyRead(500);
        output += process.readAllStandardOutput();
        for (const QByteArray& line : output.split('\n')) {
            if (line.startsWith("listening on "))
                url = QString::fromUtf8(line.mid(13)).trimmed();
            if (line.startsWith("certificate ") && line.endsWith(".pem"))
                certificateFile = QString::fromUtf8(line.mid(12)).trimmed();
        }
    }
    if (url.isEmpty() || certificateFile.isEmpty())
        problem = "the server did not say where it listens: " + QString::fromUtf8(output + process.readAllStandardError());
    return problem.isEmpty();
}

void LocalServer::writeServerIni() const
{
    QDir().mkpath(platform::dataDirectory());
    QSettings ini(platform::dataDirectory() + "/server.ini", QSettings::IniFormat);
    ini.setValue("server", url);
    ini.setValue("file", url);
    ini.setValue("ca_file", certificateFile);
    ini.sync();
}

QByteArray LocalServer::post(const QString& pathAndQuery) const
{
    return request(pathAndQuery, true);
}

QByteArray LocalServer::get(const QString& path) const
{
    return request(path, false);
}

QJsonObject LocalServer::updateStats() const
{
    return QJsonDocument::fromJson(get("/test/updateStats")).object();
}

QByteArray LocalServer::request(const QString& pathAndQuery, bool isPost) const
{
    QNetworkAccessManager manager;
    QNetworkRequest request(QUrl(url + pathAndQuery));
    TlsPolicy(certificateFile).apply(request);
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    QNetworkReply* reply = isPost ? manager.post(request, QByteArray()) : manager.get(request);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    const QByteArray body = reply->error() == QNetworkReply::NoError ? reply->readAll() : QByteArray();
    delete reply;
    return body;
}
