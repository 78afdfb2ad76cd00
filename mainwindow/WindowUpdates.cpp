#include "WindowUpdates.h"

#include "ExportFlow.h"
#include "TitleBar.h"
#include "TrayIcon.h"

#include "account/AccountSession.h"
#include "settings/QSettingUIWidget.h"
#include "update/UpdateService.h"

WindowUpdates::WindowUpdates(TitleBar* titleBar, AccountSession* account, ExportFlow* exportFlow, QObject* parent)
    : QObject(parent)
{
    UpdateService& update = UpdateService::instance();
    connect(&update, &UpdateService::updateFound, titleBar, [titleBar] { titleBar->setUpdateDot(true); });
    connect(&update, &UpdateService::importantDialogShown, this, [this, account] {
        m_updateDialog = UpdateService::instance().importantDialog();
        account->closeDialogs();
    });
    connect(&update, &UpdateService::trayMessage, this, &TrayIcon::showMessage);
    connect(&update, &UpdateService::installUpdate, this, &WindowUpdates::installUpdate, Qt::QueuedConnection);
    connect(exportFlow, &ExportFlow::runningChanged, &update, &UpdateService::setExportRunning);
}

void WindowUpdates::openSettings()
{
    if (m_settingsDialog)
        return;
    auto* dialog = new QSettingUIWidget(UpdateService::instance());
    m_settingsDialog = dialog;
    connect(dialog, &QSettingUIWidget::startDownloadPkg, this, &WindowUpdates::startDownloadPkg);
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->show();
}

void WindowUpdates::closeDialog()
{
    if (m_updateDialog)
        m_updateDialog->close();
    m_updateDialog = nullptr;
}
