#include "AccountSession.h"

#include "LogMasking.h"
#include "QBindPhonewWidget.h"
#include "QLoginWidget.h"
#include "WeChatService.h"
#include "app/AppSettings.h"
#include "app/SettingsKeys.h"
#include "widgets/Toast.h"

#include <QDebug>

namespace {

void showModal(QBaseUI* dialog)
{
    dialog->setModal(true);
    dialog->show();
}

} // namespace

AccountSession::AccountSession(QObject* parent)
    : QObject(parent)
{
    WeChatService* service = WeChatService::instance();
    connect(service, &WeChatService::getUserOver, this, [this](const User& user, bool) { userArrived(user); });
    connect(service, &WeChatService::tokenInvalid, this, &AccountSession::tokenRejected);
}

void AccountSession::restoreLogin()
{
    WeChatService* service = WeChatService::instance();
    if (!service->tokenExpired()) {
        service->requestUserInfo();
        return;
    }
    if (!AppSettings::instance().contains(SettingsKeys::userInfo)) {
        showLoggedOutAndOpenLogin();
        return;
    }
    const User stored = AppSettings::instance().value(SettingsKeys::userInfo).value<User>();
    service->renewLogin(stored.userId, [session = QPointer<AccountSession>(this)](const LoginResult& result) {
        qDebug().noquote() << "auth_token : " + LogMasking::secret(result.token);
        if (result.code < 0 && session)
            session->showLoggedOutAndOpenLogin();
    });
}

void AccountSession::showLoggedOutAndOpenLogin()
{
    emit userChanged(false, User());
    openLogin();
}

void AccountSession::openLogin()
{
    if (WeChatService::instance()->currentUser() || m_loginDialog)
        return;
    m_loginDialog = new QLoginWidget;
    showModal(m_loginDialog);
}

void AccountSession::logout()
{
    qDebug() << "logout";
    WeChatService::instance()->logout([session = QPointer<AccountSession>(this)](bool success) {
        if (success && session)
            emit session->userLoggedOut();
    });
}

void AccountSession::closeDialogs()
{
    for (QBaseUI* dialog : {m_loginDialog.data(), m_bindDialog.data()})
        if (dialog)
            dialog->close();
}

void AccountSession::userArrived(const User& user)
{
    const bool isLogon = !user.userId.isEmpty();
    emit userChanged(isLogon, user);
    // Offered once per window: closing it leaves the account without a phone until next start.
    if (isLogon && user.userPhone.isEmpty() && !m_bindingOffered) {
        m_bindingOffered = true;
        m_bindDialog = new QBindPhonewWidget;
        showModal(m_bindDialog);
    }
}

void AccountSession::tokenRejected()
{
    emit closeDialogsRequested();
    closeDialogs();
    emit userLoggedOut();
    showToast(nullptr, QString::fromUtf8("您的登录已失效"));
}
