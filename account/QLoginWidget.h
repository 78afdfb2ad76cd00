#pragma once
// The modal, frameless login dialog: a WeChat QR page shown as snapshots of an embedded web
// view, or a phone number with an SMS code. It only starts the login; the outcome reaches the
// window through WeChatService. Closes itself once a WeChat code was captured or a phone
// login succeeded.
#include "widgets/QBaseUI.h"

#include <QUrl>

struct LoginUrlResult;
class PhoneCodeForm;

namespace Ui {
class QLoginWidget;
}

class QLoginWidget : public QBaseUI
{
    Q_OBJECT
public:
    explicit QLoginWidget(QWidget* parent = nullptr);
    ~QLoginWidget() override;

signals:
    void sendUpdateCutshot();
    void sendUpdatePhoneCodeTime();

private slots:
    void on_pushButton_pb_code_clicked();
    void on_pushButton_pb_submit_clicked();
    void on_pushButton_pb_qrcode_retry_clicked();
    void updateWebCutshot();
    void updatePhoneCodeTime();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showQrPage(const LoginUrlResult& result);
    void startSnapshots(int ticks);
    void urlChanged(const QUrl& url);
    void selectTab(int page);

    static constexpr int kSnapshotIntervalMs = 500;
    static constexpr int kSnapshotTicks = 5;

    Ui::QLoginWidget* ui;
    QUrl qrPageUrl;
    PhoneCodeForm* phoneForm;
};
