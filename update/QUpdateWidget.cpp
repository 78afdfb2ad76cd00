#include "QUpdateWidget.h"

#include "UpdateInfo.h"
#include "ui_QUpdateWidget.h"

#include "widgets/FramelessHelper.h"
#include "widgets/WidgetScaling.h"

QUpdateWidget::QUpdateWidget()
    : ui(std::make_unique<Ui::QUpdateWidget>())
{
    ui->setupUi(this);
    FramelessHelper* helper = installFrameless(this, 50);
    helper->addExcludeItem(ui->pb_update_close);
    connect(ui->pb_update_close, &QPushButton::clicked, helper, &FramelessHelper::triggerCloseButtonAction);
    connect(ui->pb_update_sure, &QPushButton::clicked, this, &QUpdateWidget::on_pushButton_pb_update_sure_clicked);
    centerOnDesktop(this);
}

QUpdateWidget::~QUpdateWidget() = default;

void QUpdateWidget::setUpdateInfo(const UpdateInfo& info)
{
    ui->update_version->setText(ui->update_version->text().arg(info.version));
    ui->update_des->setPlainText(info.versionInfo);
    ui->pb_update_sure->setEnabled(!info.isDownloading);
}

void QUpdateWidget::on_pushButton_pb_update_sure_clicked()
{
    emit startDownloadPkg();
    close();
}
