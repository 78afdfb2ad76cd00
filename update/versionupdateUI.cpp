#include "versionupdateUI.h"

#include "PackageDownload.h"
#include "UpdateInfo.h"
#include "ui_versionupdateUI.h"

#include "widgets/WidgetScaling.h"

#include <QCoreApplication>
#include <QKeyEvent>

namespace {

const char* const updateButtonText = "一键升级";

} // namespace

versionupdateUI::versionupdateUI()
    : ui(std::make_unique<Ui::versionupdateUI>())
{
    setAttribute(Qt::WA_TranslucentBackground);
    ui->setupUi(this);
    installFrameless(this, 40);
    connect(ui->pb_sure, &QPushButton::clicked, this, &versionupdateUI::on_pushButton_pb_update_sure_clicked);
    connect(ui->pb_cancel, &QPushButton::clicked, this, &versionupdateUI::on_pushButton_pb_update_cancel_clicked);
    centerOnDesktop(this);
}

versionupdateUI::~versionupdateUI() = default;

void versionupdateUI::setForced(bool value)
{
    forced = value;
    if (forced)
        ui->pb_cancel->setText("退出应用");
}

void versionupdateUI::setVersionInfo(const UpdateInfo& info)
{
    ui->label_content->setText(ui->label_content->text().arg(info.version));
}

void versionupdateUI::showProgress(qint64 received, qint64 total)
{
    ui->pb_sure->setText(downloadProgressText(received, total));
}

void versionupdateUI::resetUpdateButton()
{
    ui->pb_sure->setEnabled(true);
    ui->pb_sure->setText(updateButtonText);
}

void versionupdateUI::keyPressEvent(QKeyEvent* event)
{
    if (forced && event->key() == Qt::Key_Escape)
        return;
    QBaseUI::keyPressEvent(event);
}

void versionupdateUI::on_pushButton_pb_update_sure_clicked()
{
    if (forced) {
        ui->pb_sure->setEnabled(false);
        emit startDownloadPkg();
        return;
    }
    emit startDownloadPkg();
    close();
}

void versionupdateUI::on_pushButton_pb_update_cancel_clicked()
{
    if (forced)
        QCoreApplication::quit();
    else
        close();
}
