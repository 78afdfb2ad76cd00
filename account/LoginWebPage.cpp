#include "LoginWebPage.h"

#include "TlsPolicy.h"

#include <QDebug>
#include <QWebEngineCertificateError>

LoginWebPage::LoginWebPage(const TlsPolicy& policy, QObject* parent)
    : QWebEnginePage(parent)
    , m_policy(policy)
{
}

bool LoginWebPage::certificateError(const QWebEngineCertificateError& error)
{
    const bool trusted = error.error() == QWebEngineCertificateError::CertificateAuthorityInvalid
        && m_policy.trustsExtraAuthorityOf(error.certificateChain());
    if (!trusted)
        qWarning().noquote() << "ssl errors : " + error.url().toString() + " : " + error.errorDescription();
    return trusted;
}
