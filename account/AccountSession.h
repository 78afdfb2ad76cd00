#pragma once
// The account side of the main window: restores the session at start, opens the login dialog
// and (once per window) the phone-binding dialog, logs out, and answers a rejected token.
// The window shows what userChanged says and closes the dialogs with closeDialogs.
#include "app/User.h"
#include "widgets/QBaseUI.h"

#include <QObject>
#include <QPointer>

class AccountSession : public QObject
{
    Q_OBJECT
public:
    explicit AccountSession(QObject* parent = nullptr);

    // The start-up step: a fresh token fetches the user; a stale one is renewed from the stored
    // record; without either the login dialog opens.
    void restoreLogin();
    // Opens the login dialog unless a user is signed in or the dialog is already open.
    void openLogin();
    void logout();
    // Closes the login and binding dialogs that are open.
    void closeDialogs();

    QBaseUI* loginDialog() const { return m_loginDialog; }
    QBaseUI* bindDialog() const { return m_bindDialog; }

signals:
    // The window shows the user (isLogon: userId is set) or the logged-out title bar.
    void userChanged(bool isLogon, User user);
    void userLoggedOut();
    // A rejected token: the window closes its own auxiliary dialogs (as when it closes) before
    // the session reports the logout.
    void closeDialogsRequested();

private:
    void userArrived(const User& user);
    void tokenRejected();
    void showLoggedOutAndOpenLogin();

    QPointer<QBaseUI> m_loginDialog;
    QPointer<QBaseUI> m_bindDialog;
    bool m_bindingOffered = false;
};
