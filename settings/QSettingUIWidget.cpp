#include "QSettingUIWidget.h"

#include "ui_QSettingUIWidget.h"

#include "update/PackageDownload.h"
#include "update/QUpdateWidget.h"
#include "update/UpdateService.h"
#include "update/VersionManifest.h"
#include "widgets/FramelessHelper.h"
#include "widgets/WidgetScaling.h"

#include <QDesktopServices>
#include <QUrl>

const char* const QSettingUIWidget::webSite = "https://www.doridovov.com";

QSettingUIWidget::QSettingUIWidget(UpdateService& service)
    : ui(std::make_unique<Ui::setting>())
    , service(service)
{
    ui->setupUi(this);
    version = runningVersion();
    FramelessHelper* helper = installFrameless(this, 50);
    helper->addExcludeItem(ui->pb_setting_close);
    connect(ui->pb_setting_close, &QPushButton::clicked, helper, &FramelessHelper::triggerCloseButtonAction);
    connect(ui->label_update, &QPushButton::clicked, this, &QSettingUIWidget::on_pushButton_label_update_clicked);
    connect(ui->label_setting_company, &QPushButton::clicked, this,
            &QSettingUIWidget::on_pushButton_label_company_clicked);
    ui->label_setting_company->setCursor(Qt::PointingHandCursor);
    connect(&service, &UpdateService::downloadProgress, this, &QSettingUIWidget::showProgress);
    connect(&service, &UpdateService::downloadEnded, this, &QSettingUIWidget::hideStatus);

    const UpdateInfo& info = service.info();
    if (info.updateAvailable)
        ui->label_update_des->hide();
    else
        ui->label_redpoint->hide();
    if (info.isDownloading)
        ui->label_update_des->setText("正在下载");
    ui->label_setting_token->setText(ui->label_setting_token->text().arg(version));
    placeRows();
}

QSettingUIWidget::~QSettingUIWidget() = default;

void QSettingUIWidget::placeRows()
{
    dialogWidth = int(dialogWidth * scale);
    contentTop = int(contentTop * scale);
    contentHeight = int(contentHeight * scale);
    dialogHeight = int(dialogHeight * scale);
    ui->frame_bottom->setGeometry(0, contentTop, dialogWidth, contentHeight);
    setGeometry(0, 0, dialogWidth, dialogHeight);
    setFixedSize(dialogWidth, dialogHeight);
    centerOnDesktop(this);
}

void QSettingUIWidget::showProgress(qint64 received, qint64 total)
{
    ui->label_update_des->setText(downloadProgressText(received, total));
    ui->label_update_des->show();
}

void QSettingUIWidget::hideStatus()
{
    ui->label_update_des->hide();
}

void QSettingUIWidget::on_pushButton_label_update_clicked()
{
    if (!service.info().updateAvailable)
        return;
    auto* dialog = new QUpdateWidget;
    dialog->setUpdateInfo(service.info());
    dialog->setWindowModality(Qt::ApplicationModal);
    connect(dialog, &QUpdateWidget::startDownloadPkg, this, &QSettingUIWidget::updateAccepted);
    dialog->show();
}

void QSettingUIWidget::updateAccepted()
{
    emit startDownloadPkg();
    // Not when the package was already verified (the installation follows) or the
    // download could not start.
    if (!service.info().isDownloading)
        return;
    ui->label_update_des->setText("正在下载(0%)");
    ui->label_update_des->show();
}

void QSettingUIWidget::on_pushButton_label_company_clicked()
{
    QDesktopServices::openUrl(QUrl(webSite));
}
