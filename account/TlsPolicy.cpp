#include "TlsPolicy.h"

#include <QDebug>
#include <QNetworkRequest>

TlsPolicy::TlsPolicy(const QString& extraCaFile)
{
    if (extraCaFile.isEmpty())
        return;
    m_extraCertificates =
        QSslCertificate::fromPath(extraCaFile, QSsl::Pem, QSslCertificate::PatternSyntax::FixedString);
    if (m_extraCertificates.isEmpty()) {
        qWarning() << "tls : no certificate in ca_file" << extraCaFile;
        return;
    }
    // Naming the authorities turns off Qt's on-demand loading of the system store, so the
    // system's are named too.
    m_caCertificates = QSslConfiguration::systemCaCertificates() + m_extraCertificates;
}

QSslConfiguration TlsPolicy::configuration() const
{
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setPeerVerifyMode(QSslSocket::VerifyPeer);
    config.setProtocol(QSsl::TlsV1_2OrLater);
    if (!m_caCertificates.isEmpty())
        config.setCaCertificates(m_caCertificates);
    return config;
}

void TlsPolicy::apply(QNetworkRequest& request) const
{
    request.setSslConfiguration(configuration());
    request.setTransferTimeout(transferTimeoutMs);
}

bool TlsPolicy::trustsExtraAuthorityOf(const QList<QSslCertificate>& chain) const
{
    return !chain.isEmpty() && m_extraCertificates.contains(chain.last());
}
