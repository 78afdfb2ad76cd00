#include "QBindPhonewWidget.h"

#include "PhoneCodeForm.h"
#include "WeChatService.h"
#include "ui_QBindPhonewWidget.h"
#include "widgets/FramelessHelper.h"
#include "widgets/Toast.h"
#include "widgets/WidgetScaling.h"

#include <QPointer>

namespace {
constexpr int kTitleBandHeight = 50;
}

QBindPhonewWidget::QBindPhonewWidget(QWidget* parent)
    : QBaseUI(parent)
    , ui(new Ui::QBindPhonewWidget)
{
    ui->setupUi(this);
    FramelessHelper* helper = installFrameless(this, kTitleBandHeight);
    helper->addExcludeItem(ui->pb_close);
    connect(ui->pb_close, &QPushButton::clicked, helper, &FramelessHelper::triggerCloseButtonAction);
    centerOnDesktop(this);
    phoneForm = new PhoneCodeForm({ui->lineEdit_phone, ui->lineEdit_code, ui->pb_code, ui->pb_submit,
                                   ui->label_code_error},
                                  this);
    connect(this, &QBindPhonewWidget::sendUpdatePhoneCodeTime, this, &QBindPhonewWidget::updatePhoneCodeTime);
    connect(ui->pb_code, &QPushButton::clicked, this, &QBindPhonewWidget::on_pushButton_pb_code_clicked);
    connect(ui->pb_submit, &QPushButton::clicked, this, &QBindPhonewWidget::on_pushButton_pb_submit_clicked);
}

QBindPhonewWidget::~QBindPhonewWidget()
{
    delete phoneForm;
    delete ui;
}

void QBindPhonewWidget::on_pushButton_pb_code_clicked()
{
    phoneForm->sendCode([this] { emit sendUpdatePhoneCodeTime(); });
}

void QBindPhonewWidget::updatePhoneCodeTime()
{
    phoneForm->countdownTick();
}

void QBindPhonewWidget::on_pushButton_pb_submit_clicked()
{
    // The user may close the dialog before the server answers.
    WeChatService::instance()->bindPhone(ui->lineEdit_phone->text(), ui->lineEdit_code->text(),
                                         [dialog = QPointer<QBindPhonewWidget>(this)](bool success, const QString& msg) {
                                             if (!dialog)
                                                 return;
                                             if (!success) {
                                                 dialog->phoneForm->showRefusal(msg);
                                                 return;
                                             }
                                             showToast(nullptr, QString::fromUtf8("已绑定"));
                                             dialog->close();
                                         });
}
