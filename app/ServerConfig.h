#pragma once
#include <QString>

// The endpoints of server.ini in the data directory, read once. A missing file or key gives
// the built-in default; nothing ever writes the file.
class ServerConfig
{
public:
    ServerConfig();

    QString server() const { return m_server; }
    QString file() const { return m_file; }

    static const char* const defaultServer;
    static const char* const defaultFile;

private:
    QString m_server;
    QString m_file;
};
