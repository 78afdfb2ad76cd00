#include "QLoginWidget.h"

#include "LoginWebPage.h"
#include "PhoneCodeForm.h"
#include "WeChatService.h"
#include "LogMasking.h"
#include "ui_QLoginWidget.h"
#include "widgets/FramelessHelper.h"
#include "widgets/WidgetScaling.h"

#include <QDebug>
#include <QDesktopServices>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>
#include <QUrlQuery>

namespace {

constexpr int kTitleBandHeight = 50;
constexpr int kWechatPage = 0;
constexpr int kPhonePage = 1;
const char* const kSelectedTabStyle =
    "color:#FFFFFF;background-image:url(:/image/tab-select.png);background-position:bottom center;"
    "background-repeat:no-repeat;";
const char* const kOtherTabStyle = "color:#66FFFFFF;";

void logAuthToken(const LoginResult& result)
{
    qDebug().noquote() << "auth_token : " + LogMasking::secret(result.token);
}

} // namespace

QLoginWidget::QLoginWidget(QWidget* parent)
    : QBaseUI(parent)
    , ui(new Ui::QLoginWidget)
{
    ui->setupUi(this);
    ui->label_icon->setFixedWidth(365);
    ui->label_icon->move(17, ui->label_icon->y());
    FramelessHelper* helper = installFrameless(this, kTitleBandHeight);
    helper->addExcludeItem(ui->pb_close);
    connect(ui->pb_close, &QPushButton::clicked, helper, &FramelessHelper::triggerCloseButtonAction);

    ui->label_phone->installEventFilter(this);
    ui->label_wechat->installEventFilter(this);
    ui->label_qrcode->installEventFilter(this);
    phoneForm = new PhoneCodeForm({ui->lineEdit_phone, ui->lineEdit_code, ui->pb_code, ui->pb_submit,
                                   ui->label_code_error},
                                  this);
    centerOnDesktop(this);

    selectTab(kWechatPage);
    ui->pb_privacy->setCursor(Qt::PointingHandCursor);
    connect(ui->pb_privacy, &QPushButton::clicked, this, [] {
        QDesktopServices::openUrl(QUrl(WeChatService::instance()->fileUrl() + "/protocol"));
    });

    ui->widget->setPage(new LoginWebPage(WeChatService::instance()->tlsPolicy(), ui->widget));
    connect(this, &QLoginWidget::sendUpdateCutshot, this, &QLoginWidget::updateWebCutshot);
    // The user may close the dialog before the server answers.
    WeChatService::instance()->requestQRCodeUrl([dialog = QPointer<QLoginWidget>(this)](const LoginUrlResult& result) {
        if (dialog)
            dialog->showQrPage(result);
    });
    connect(this, &QLoginWidget::sendUpdatePhoneCodeTime, this, &QLoginWidget::updatePhoneCodeTime);
    connect(ui->pb_code, &QPushButton::clicked, this, &QLoginWidget::on_pushButton_pb_code_clicked);
    connect(ui->pb_submit, &QPushButton::clicked, this, &QLoginWidget::on_pushButton_pb_submit_clicked);
    connect(ui->pb_qrcode_retry, &QPushButton::clicked, this, &QLoginWidget::on_pushButton_pb_qrcode_retry_clicked);
}

QLoginWidget::~QLoginWidget()
{
    delete phoneForm;
    delete ui;
}

void QLoginWidget::selectTab(int page)
{
    ui->stackedWidget->setCurrentIndex(page);
    ui->label_wechat->setStyleSheet(page == kWechatPage ? kSelectedTabStyle : kOtherTabStyle);
    ui->label_phone->setStyleSheet(page == kPhonePage ? kSelectedTabStyle : kOtherTabStyle);
}

bool QLoginWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress
        && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        const int shown = ui->stackedWidget->currentIndex();
        if (watched == ui->label_wechat && shown == kPhonePage)
            selectTab(kWechatPage);
        else if (watched == ui->label_phone && shown == kWechatPage)
            selectTab(kPhonePage);
    }
    return QBaseUI::eventFilter(watched, event);
}

void QLoginWidget::showQrPage(const LoginUrlResult& result)
{
    qrPageUrl = QUrl(result.url);
    ui->widget->load(qrPageUrl);
    ui->widget->scroll(0, 10);
    startSnapshots(kSnapshotTicks);
    connect(ui->widget, &QWebEngineView::urlChanged, this, &QLoginWidget::urlChanged);
}

void QLoginWidget::startSnapshots(int ticks)
{
    QTimer* timer = phoneForm->replaceTimer(kSnapshotIntervalMs, ticks);
    emit sendUpdateCutshot();
    connect(timer, &QTimer::timeout, this, &QLoginWidget::sendUpdateCutshot);
    timer->start();
}

void QLoginWidget::updateWebCutshot()
{
    phoneForm->takeTick();
    if (ui->widget->page() && ui->stackedWidget->currentIndex() == kWechatPage)
        ui->label_qrcode->setPixmap(ui->widget->grab());
}

void QLoginWidget::on_pushButton_pb_qrcode_retry_clicked()
{
    phoneForm->stopTimer();
    ui->widget->reload();
    startSnapshots(kSnapshotTicks / 2);
    ui->pb_code->setText(QString::fromUtf8("重新发送"));
    phoneForm->setCodeButtonClickable(true);
}

void QLoginWidget::urlChanged(const QUrl& url)
{
    // The web engine also reports the page that was asked for, after the load began.
    if (url == qrPageUrl)
        return;
    disconnect(ui->widget, nullptr, this, nullptr);
    qDebug().noquote() << "url change : " + LogMasking::url(url);
    const QUrlQuery query(url);
    const QString code = query.queryItemValue("code", QUrl::FullyDecoded);
    const QString state = query.queryItemValue("state", QUrl::FullyDecoded);
    qDebug().noquote() << "code : " + LogMasking::secret(code) + ", state : " + state;
    WeChatService::instance()->loginByWeChat(code, logAuthToken);
    close();
}

void QLoginWidget::on_pushButton_pb_code_clicked()
{
    phoneForm->sendCode([this] { emit sendUpdatePhoneCodeTime(); });
}

void QLoginWidget::updatePhoneCodeTime()
{
    phoneForm->countdownTick();
}

void QLoginWidget::on_pushButton_pb_submit_clicked()
{
    WeChatService::instance()->loginByPhone(ui->lineEdit_phone->text(), ui->lineEdit_code->text(),
                                            [dialog = QPointer<QLoginWidget>(this)](const LoginResult& result) {
                                                logAuthToken(result);
                                                if (!dialog)
                                                    return;
                                                if (result.code != 0)
                                                    dialog->phoneForm->showRefusal(result.msg);
                                                else
                                                    dialog->close();
                                            });
}
