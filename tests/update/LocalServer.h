#pragma once
// The local HTTPS server (tools/vyr-account-server) as the update tests use it: started on a
// free port with a certificate of its own, and named in server.ini of the data directory
// (both endpoints and the extra CA file), so the program's client trusts it and nothing else.
#include <QByteArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

class LocalServer {
public:
    LocalServer();
    ~LocalServer();

    // Starts the server and waits until it listens; false (with the reason in error()) when
    // it did not come up.
    bool start();
    // Writes server.ini in the data directory pointing at this server.
    void writeServerIni() const;
    QString baseUrl() const { return url; }
    QString certificate() const { return certificateFile; }
    QString error() const { return problem; }

    // A request to the server, trusting its certificate; the reply body, empty on failure.
    QByteArray post(const QString& pathAndQuery) const;
    QByteArray get(const QString& path) const;
    QJsonObject updateStats() const;

private:
    QByteArray request(const QString& pathAndQuery, bool isPost) const;

    QTemporaryDir workDir;
    QProcess process;
    QString url;
    QString certificateFile;
    QString problem;
};
