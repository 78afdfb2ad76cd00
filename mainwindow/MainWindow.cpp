#include "MainWindow.h"
#include "ui_MainWindow.h"

#include "BackgroundPanel.h"
#include "BeautyPanel.h"
#include "ControlBar.h"
#include "EffectTabs.h"
#include "EngineHost.h"
#include "ExportFlow.h"
#include "OpenVideoPanel.h"
#include "FilePicker.h"
#include "QLoadingWidget.h"
#include "TimeWidget.h"
#include "TitleBar.h"
#include "TrayIcon.h"
#include "WindowUpdates.h"
#include "itemvideoopenwidget.h"

#include "account/AccountSession.h"

#include "engine/ProcessBeauty.h"
#include "platform/Desktop.h"
#include "update/UpdateService.h"
#include "widgets/WidgetScaling.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QDebug>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPropertyAnimation>
#include <QScreen>

namespace {

const char* const kNoticeText =
    "当前为预览画面（画质有压缩），仅为调整参数提供参考，最优画面效果请导出视频后观看";

const int kPreviewClickDebounceMs = 500;
const int kPlayToggleDebounceMs = 1000;
const int kOverlayAnimationMs = 500;

bool isLeftPress(QEvent* event)
{
    return event->type() == QEvent::MouseButtonPress
        && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
}

} // namespace

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent, Qt::FramelessWindowHint)
    , ui(std::make_unique<Ui::MainWindow>())
{
    qRegisterMetaType<const char*>("const char*");
    ui->setupUi(this);
    ui->label_logo->setFixedSize(258, 28);
    ui->frame_user_hover->move(604, 50);
    ui->pb_login->move(248, 10);
    ui->frame_user_all->move(108, 0);
    setWindowTitle("Lumetra视频抠图美化");

    scaleRate = initialScale(this, false);
    metrics.scale(scaleRate, true);
    resize(int(width() * scaleRate), int(height() * scaleRate));
    qDebug() << "scale rate : " << scaleRate;
    showLogo();

    setupFrameless();
    connectAccount();
    host = std::make_unique<EngineHost>(ui->label_display);
    engine = host->engine();
    connect(this, &MainWindow::setVideoPath, host.get(), &EngineHost::setVideoPath);
    connect(this, &MainWindow::saveVideo, host.get(), &EngineHost::saveVideo);
    beautyPanel = new BeautyPanel(ui.get(), engine, this);
    connect(this, &MainWindow::installUpdate, this, &MainWindow::gotoInstall);
    exportFlow = new ExportFlow(host.get(), {ui->centralWidget, [this] { startPreview(); },
                                             [this] { backgroundPanel->showChosenBackground(); },
                                             [](const QString& text) { TrayIcon::showNotice(text); }}, this);
    backgroundPanel = new BackgroundPanel(ui.get(), host.get(), this, QSize(metrics.bgItemWidth, metrics.bgItemHeight),
                                          int(scaleRate * 10));
    effectTabs = new EffectTabs(ui.get(), this);
    ui->label_display->installEventFilter(this);
    backgroundPanel->build();
    beautyPanel->syncLevelsFromEngine();
    host->start();
    updates = new WindowUpdates(titleBar, account, exportFlow, this);
    connect(updates, &WindowUpdates::startDownloadPkg, this, &MainWindow::downloadPkg);
    connect(updates, &WindowUpdates::installUpdate, this, &MainWindow::installUpdate);
    UpdateService::instance().startVersionCheck();

    openVideoPanel = new OpenVideoPanel(ui->centralWidget, scaleRate);
    connect(openVideoPanel, &OpenVideoPanel::importClicked, this, &MainWindow::on_pushButton_selectvideo_clicked);
    buildControlBar();
    openVideoTile = new itemvideoopenwidget(ui->frame_effect_item, float(scaleRate));
    buildPreviewNotice();
    ui->frame_user_hover->raise();

    tray = new TrayIcon(this);
    connect(tray, &TrayIcon::activated, this, &MainWindow::stTrayIconActive);
    connect(tray, &TrayIcon::messageClicked, this, &MainWindow::trayMsgClick);
    for (QSlider* slider : findChildren<QSlider*>())
        slider->installEventFilter(this);
    connect(engine, &ProcessBeauty::onDuration, controlBar->timeWidget(), &TimeWidget::setTotal);
    connect(engine, &ProcessBeauty::onCostTime, controlBar->timeWidget(), &TimeWidget::setElapsed);
    centerOnDesktop(this);
    watchScreens();
    connect(this, &MainWindow::sendUpdateUser, this, &MainWindow::updateUserInfo);
    connect(this, &MainWindow::sendUserLogout, this, [this] {
        titleBar->hideUserPopup();
        updateUserInfo(false, User());
    });
    account->restoreLogin();
}

MainWindow::~MainWindow()
{
    delete tray;
    for (QScreen* screen : QGuiApplication::screens())
        disconnect(screen, &QScreen::logicalDotsPerInchChanged, this, &MainWindow::updateWindowScale);
    disconnect(this, nullptr, nullptr, nullptr);
    // The engine goes before the widgets it draws into.
    host.reset();
}

void MainWindow::setupFrameless()
{
    ui->openGLWidget->hide();
    titleBar = new TitleBar(this, ui.get(), metrics.titleBarHeight, scaleRate);
    connect(titleBar, &TitleBar::settingsRequested, this, &MainWindow::on_pushButton_pb_setting_clicked);
    connect(titleBar, &TitleBar::logoutRequested, this, &MainWindow::on_pushButton_pb_logout_clicked);
}

void MainWindow::buildControlBar()
{
    controlBar = new ControlBar(ui->centralWidget, metrics, float(scaleRate));
    controlBar->setGeometry(0, 0, ui->label_display->width(), metrics.controlBarHeight);
    connect(controlBar, &ControlBar::reimportClicked, this, &MainWindow::on_pushButton_selectvideo_clicked);
    connect(controlBar, &ControlBar::playClicked, this, &MainWindow::on_pushButton_startvideo_clicked);
    connect(controlBar, &ControlBar::exportClicked, this, &MainWindow::on_pushButton_savevideo_clicked);
}

void MainWindow::buildPreviewNotice()
{
    previewNotice = new QLabel(kNoticeText, ui->centralWidget);
    previewNotice->setObjectName("previewNotice");
    previewNotice->setAlignment(Qt::AlignCenter);
    previewNotice->setFrameShape(QFrame::NoFrame);
    previewNotice->setStyleSheet("color: white;background-color: #B0282828;font: 10pt;");
    previewNotice->setGeometry(0, ui->label_display->y(), ui->label_display->width(), metrics.noticeHeight);
    previewNotice->hide();
}

// The logo is a picture of fixed pixels: it is fitted to the scaled label, not stretched.
void MainWindow::showLogo()
{
    const QPixmap logo(":/image/logo.png");
    ui->label_logo->setPixmap(logo.scaled(ui->label_logo->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

void MainWindow::watchScreens()
{
    for (QScreen* screen : QGuiApplication::screens())
        connect(screen, &QScreen::logicalDotsPerInchChanged, this, &MainWindow::updateWindowScale);
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    if (!controlBar)
        return;
    const int w = width();
    const int h = height();
    ui->frame_title->setFixedWidth(w);
    ui->frame_title_icons->move(w - metrics.titleIconsInset, 0);
    ui->frame_effect_item->move(w - metrics.effectPanelWidth, metrics.titleBarHeight);
    ui->frame_effect_item->setFixedHeight(h - metrics.titleBarHeight);
    ui->frame_effect_icon->move(w - metrics.effectPanelWidth - metrics.effectIconColumnWidth, metrics.titleBarHeight);
    ui->frame_effect_icon->setFixedHeight(h - metrics.titleBarHeight);
    ui->label_display->resize(w - metrics.effectPanelWidth - metrics.effectIconColumnWidth, h - metrics.titleBarHeight);

    const int panelHeight = ui->frame_effect_item->height() - metrics.titleBarHeight;
    ui->stackedWidget_item->setFixedHeight(panelHeight);
    openVideoTile->setFixedHeight(panelHeight);
    ui->frame_bottom_btn->move(0, ui->frame_effect_item->height() - metrics.bottomButtonsHeight);
    ui->frame_user_hover->move(ui->label_display->width() - 6 * metrics.effectIconColumnWidth - metrics.userPopupInset,
                               ui->frame_user_hover->y());
    openVideoPanel->move((ui->label_display->width() - openVideoPanel->width()) / 2,
                         (ui->label_display->height() - openVideoPanel->height()) / 2);

    const int barWidth = w - metrics.effectPanelWidth - metrics.effectIconColumnWidth;
    controlBar->move(0, h - metrics.controlBarHeight);
    controlBar->fitWidth(barWidth, metrics);

    previewNotice->setFixedWidth(ui->label_display->width());
    ui->centralWidget->resize(w, h);
    engine->setDisplaySize(ui->label_display->size());
    exportFlow->fitToWindow();
}

void MainWindow::updateWindowScale(double dpi)
{
    const double newRate = dpi / 96;
    const double factor = newRate / scaleRate;
    scaleRate = newRate;
    titleBar->setScale(scaleRate);
    scaleWidget(this, factor, false);
    metrics.scale(factor, false);
    resize(int(width() * factor), int(height() * factor));
    backgroundPanel->setItemSize(QSize(metrics.bgItemWidth, metrics.bgItemHeight));
    showLogo();
    centerOnDesktop(this);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Wheel && qobject_cast<QSlider*>(watched))
        return true;
    if (isLeftPress(event)) {
        if (watched == ui->label_display) {
            togglePreviewOverlays();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        beautyPanel->endCompareIfPressed();
    QMainWindow::mouseReleaseEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    qDebug() << "closeEvent";
    if (!exportFlow->allowsQuit(this)) {
        event->ignore();
        return;
    }
    closeAuxiliaryDialogs();
    event->accept();
}

void MainWindow::closeAuxiliaryDialogs()
{
    account->closeDialogs();
    updates->closeDialog();
}

void MainWindow::connectAccount()
{
    account = new AccountSession(this);
    connect(titleBar, &TitleBar::loginRequested, account, &AccountSession::openLogin);
    connect(account, &AccountSession::userChanged, this, &MainWindow::sendUpdateUser);
    connect(account, &AccountSession::userLoggedOut, this, &MainWindow::sendUserLogout);
    // A rejected token closes the dialogs as closing the window does, and keeps the window.
    connect(account, &AccountSession::closeDialogsRequested, this, [this] {
        qDebug() << "closeEvent";
        closeAuxiliaryDialogs();
    });
}

quint32 MainWindow::nowMs()
{
    return quint32(QDateTime::currentMSecsSinceEpoch());
}

void MainWindow::togglePreviewOverlays()
{
    const quint32 now = nowMs();
    if (now - lastActionMs <= quint32(kPreviewClickDebounceMs))
        return;
    auto* notice = new QPropertyAnimation(previewNotice, "geometry", this);
    notice->setDuration(kOverlayAnimationMs);
    notice->setEasingCurve(QEasingCurve::OutQuad);
    const QRect current = previewNotice->geometry();
    const int noticeStart = current.height() < 1 ? 0 : current.height();
    notice->setStartValue(QRect(0, current.y(), current.width(), noticeStart));
    notice->setEndValue(QRect(0, current.y(), current.width(), current.height() < 1 ? metrics.noticeHeight : 0));

    auto* bar = new QPropertyAnimation(controlBar, "pos", this);
    bar->setDuration(kOverlayAnimationMs);
    bar->setEasingCurve(QEasingCurve::OutQuad);
    const int barY = controlBar->y();
    const int shift = barY < height() ? controlBar->height() : -controlBar->height();
    bar->setStartValue(QPoint(0, barY));
    bar->setEndValue(QPoint(0, barY + shift));

    notice->start(QAbstractAnimation::DeleteWhenStopped);
    bar->start(QAbstractAnimation::DeleteWhenStopped);
    lastActionMs = now;
}

void MainWindow::setPlayLook(bool playing)
{
    controlBar->setPlayLook(playing);
}

void MainWindow::startPreview()
{
    const char* path = host->currentPath();
    host->runJob([this, path] { host->requestPreview(path); });
}

void MainWindow::on_pushButton_selectvideo_clicked()
{
    qDebug() << "select video";
    const QString chosen = FilePicker::openFile(this, "OpenFile", "(*.mp4)");
    if (chosen.isEmpty()) {
        qDebug() << "select video empty";
        return;
    }
    currentVideoPath = chosen.toUtf8().toStdString();
    host->switchVideo(host->keepPath(chosen));
    openVideoPanel->hide();
    controlBar->show();
    previewNotice->show();
    setPlayLook(false);
    exportFlow->hide();
    openVideoTile->hide();
}

void MainWindow::on_pushButton_startvideo_clicked()
{
    qDebug() << "start video";
    const quint32 now = nowMs();
    if (currentVideoPath.empty() || now - lastActionMs < quint32(kPlayToggleDebounceMs))
        return;
    lastActionMs = now;
    if (!engine->isPaused()) {
        setPlayLook(false);
        engine->pause();
        return;
    }
    setPlayLook(true);
    engine->resume();
    exportFlow->hide();
}

void MainWindow::on_pushButton_pb_setting_clicked()
{
    updates->openSettings();
}

void MainWindow::on_pushButton_pb_logout_clicked()
{
    account->logout();
}

void MainWindow::downloadPkg()
{
    UpdateService::instance().downloadPkg();
}

void MainWindow::updateUserInfo(bool isLogon, User user)
{
    qDebug() << "update user info" << isLogon << user.userId;
    titleBar->showUser(isLogon, user);
}

void MainWindow::versionDownload(QNetworkReply* reply)
{
    UpdateService::instance().versionDownload(reply);
}

void MainWindow::gotoInstall()
{
    UpdateService::instance().gotoInstall();
}

void MainWindow::on_pushButton_savevideo_clicked()
{
    qDebug() << "save video";
    if (currentVideoPath.empty())
        return;
    setPlayLook(false);
    exportFlow->start(host->currentPath(), float(scaleRate));
}

void MainWindow::stTrayIconActive(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::DoubleClick)
        platform::bringToFront(this);
}

void MainWindow::trayMsgClick()
{
    platform::bringToFront(this);
}
