#pragma once
#include <QList>
#include <QSslCertificate>
#include <QSslConfiguration>

class QNetworkRequest;

// How every request of the program reaches its servers: the peer certificate verified against
// the system's certificate authorities (plus those of an optional extra PEM file), TLS 1.2 or
// newer, and a transfer time-out after which the request fails like any network error.
// The account and the update services share it.
class TlsPolicy
{
public:
    static constexpr int transferTimeoutMs = 15000;

    // extraCaFile may be empty; a file that holds no certificate adds nothing (and is logged).
    explicit TlsPolicy(const QString& extraCaFile = QString());

    QSslConfiguration configuration() const;
    // Sets the TLS configuration and the transfer time-out on the request.
    void apply(QNetworkRequest& request) const;
    // True when the chain ends in one of the extra authorities (for checks made outside Qt's
    // network stack, such as the web engine's).
    bool trustsExtraAuthorityOf(const QList<QSslCertificate>& chain) const;

private:
    // Empty when there is no extra file: Qt then loads the system store by itself.
    QList<QSslCertificate> m_caCertificates;
    QList<QSslCertificate> m_extraCertificates;
};
