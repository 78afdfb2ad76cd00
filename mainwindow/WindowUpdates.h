#pragma once
#include <QObject>
#include <QPointer>

class AccountSession;
class ExportFlow;
class QWidget;
class TitleBar;

// The window's side of the update service: the red dot of the title bar, the settings dialog
// (open once at a time), the important-update dialog that closes the account dialogs and goes
// with the window, the tray messages, and the exports an installation waits for.
class WindowUpdates : public QObject
{
    Q_OBJECT
public:
    WindowUpdates(TitleBar* titleBar, AccountSession* account, ExportFlow* exportFlow, QObject* parent);

    void openSettings();
    // The important-update dialog, when one is open.
    void closeDialog();

signals:
    void startDownloadPkg();
    // Queued, so that a finished download has ended before the installation begins.
    void installUpdate();

private:
    QPointer<QWidget> m_settingsDialog;
    QPointer<QWidget> m_updateDialog;
};
