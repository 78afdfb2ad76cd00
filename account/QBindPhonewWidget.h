#pragma once
// The modal, frameless dialog that binds a phone number to an account that has none (after a
// first WeChat login): phone number, SMS code, submit. Success shows the toast "已绑定" and
// closes the dialog.
#include "widgets/QBaseUI.h"

class PhoneCodeForm;

namespace Ui {
class QBindPhonewWidget;
}

class QBindPhonewWidget : public QBaseUI
{
    Q_OBJECT
public:
    explicit QBindPhonewWidget(QWidget* parent = nullptr);
    ~QBindPhonewWidget() override;

signals:
    void sendUpdatePhoneCodeTime();

private slots:
    void on_pushButton_pb_code_clicked();
    void on_pushButton_pb_submit_clicked();
    void updatePhoneCodeTime();

private:
    Ui::QBindPhonewWidget* ui;
    PhoneCodeForm* phoneForm;
};
