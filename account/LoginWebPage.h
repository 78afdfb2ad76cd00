#pragma once
// The page of the login dialog's web view. The web engine checks certificates against its own
// store; this page also accepts a server whose chain ends in one of the extra authorities of
// the TLS policy (server.ini's ca_file), so the QR page follows the same rules as the API.
#include <QWebEnginePage>

class TlsPolicy;

class LoginWebPage : public QWebEnginePage
{
    Q_OBJECT
public:
    LoginWebPage(const TlsPolicy& policy, QObject* parent);

protected:
    bool certificateError(const QWebEngineCertificateError& error) override;

private:
    const TlsPolicy& m_policy;
};
