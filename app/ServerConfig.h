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
    // Optional key "ca_file": a PEM file of extra certificate authorities trusted besides the
    // system's (a test or in-house server); empty when not set.
    QString caFile() const { return m_caFile; }

    static const char* const defaultServer;
    static const char* const defaultFile;

private:
    QString m_server;
    QString m_file;
    QString m_caFile;
};
