#include "MainWindow.h"
#include "ui_MainWindow.h"

#include "BackgroundStore.h"
#include "BeautyRows.h"
#include "FilePicker.h"
#include "QLoadingWidget.h"
#include "TimeWidget.h"
#include "TitleBar.h"
#include "TrayIcon.h"
#include "itemvideoopenwidget.h"
#include "qitemwidget.h"

#include "app/AppSettings.h"
#include "engine/ProcessBeauty.h"
#include "engine/TaskPool.h"
#include "platform/Platform.h"
#include "settings/QSettingUIWidget.h"
#include "update/UpdateService.h"
#include "widgets/FramelessHelper.h"
#include "widgets/Toast.h"
#include "widgets/WidgetScaling.h"
#include "widgets/SwitchButton.h"

#include <ZR_FaceBeautyLib.h>

#include <QCloseEvent>
#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QGuiApplication>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPropertyAnimation>
#include <QScreen>
#include <QThread>
#include <QTimer>

#include <iostream>
#include <mutex>

namespace {

const char* const kPlayLook = "border-image: url(:/image/icon-startvideo.png);";
const char* const kPauseLook = "border-image: url(:/image/icon-pausevideo.png);";
const char* const kActiveTab = "color:rgb(255, 255, 255);font-size:10pt;";
const char* const kInactiveTab =
    "QLabel {color:rgba(255, 255, 255, 102);font-size:10pt;}QLabel:hover{color:rgba(255, 255, 255, 200)}";
const char* const kBlueText = "color: rgb(1, 190, 255);";
const char* const kDimText = "color:rgba(255, 255, 255, 153);";
const char* const kCompareIdle =
    "QLabel {border-image: url(:/image/icon-compare.png);} QLabel:hover {border-image: url(:/image/icon-compare_hover.png);}";
const char* const kComparePressed = "QLabel {border-image: url(:/image/icon-compare_press.png);}";
const char* const kListStyle =
    "QListWidget{background : #212023;} QListView::item{padding: 1 1 1 1;}"
    "QListView::item:hover{border : 1px solid #00BEFF;}QListView::item:selected{border : 1px solid #00BEFF;}";
const char* const kNoticeText =
    "当前为预览画面（画质有压缩），仅为调整参数提供参考，最优画面效果请导出视频后观看";

const int kPreviewClickDebounceMs = 500;
const int kPlayToggleDebounceMs = 1000;
const int kOverlayAnimationMs = 500;
const int kPreviewStartLimitMs = 5000;
const int kPreviewStartPollMs = 50;

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
    scaleMetrics(scaleRate, true);
    resize(int(width() * scaleRate), int(height() * scaleRate));
    qDebug() << "scale rate : " << scaleRate;
    showLogo();

    setupFrameless();
    engine = new ProcessBeauty(ui->label_display);
    connectEffectControls();
    connect(this, &MainWindow::sendFilePath, this, &MainWindow::onFileSelectOver);
    connect(this, &MainWindow::installUpdate, this, &MainWindow::gotoInstall);
    connectEngine();
    restorePortraitType();

    engineThread = new QThread();
    engine->moveToThread(engineThread);

    installLabelFilters();
    connect(ui->listWidget_portrait, &QListWidget::itemPressed, this, &MainWindow::setPortraitBg);
    buildBackgroundList();
    ui->switch_portrait->setOpen(portraitSwitchOn());
    syncLevelsFromEngine();
    engineThread->start(QThread::InheritPriority);
    connectUpdate();
    UpdateService::instance().startVersionCheck();

    buildOpenVideoPanel();
    buildControlBar();
    openVideoTile = new itemvideoopenwidget(ui->frame_effect_item, float(scaleRate));
    buildPreviewNotice();
    ui->frame_user_hover->raise();
    connect(engine, &ProcessBeauty::onSaveCanceled, this, &MainWindow::onCancelCompleted);

    createTrayIcon(this);
    for (QSlider* slider : findChildren<QSlider*>())
        slider->installEventFilter(this);
    connect(engine, &ProcessBeauty::onDuration, timeWidget, &TimeWidget::setTotal);
    connect(engine, &ProcessBeauty::onCostTime, timeWidget, &TimeWidget::setElapsed);
    centerOnDesktop(this);
    watchScreens();
    connect(this, &MainWindow::sendUpdateUser, this, &MainWindow::updateUserInfo);
    connect(this, &MainWindow::sendUserLogout, this, [this] {
        titleBar->hideUserPopup();
        updateUserInfo(false, User());
    });
}

MainWindow::~MainWindow()
{
    closing = true;
    removeTrayIcon();
    for (QScreen* screen : QGuiApplication::screens())
        disconnect(screen, &QScreen::logicalDotsPerInchChanged, this, &MainWindow::updateWindowScale);
    disconnect(this, nullptr, nullptr, nullptr);
    disconnect(engine, nullptr, nullptr, nullptr);
    // A frame already on its way to the display would keep the engine waiting for this
    // thread, which is about to wait for the engine.
    QCoreApplication::removePostedEvents(ui->label_display, QEvent::MetaCall);
    if (lastJob.valid())
        lastJob.wait();
    QCoreApplication::removePostedEvents(engine, QEvent::MetaCall);
    QCoreApplication::removePostedEvents(ui->label_display, QEvent::MetaCall);
    // An export still running would hold the engine's thread past the wait below.
    engine->cancelSave();
    engine->stopProcessing(true, true);
    QThread* thread = engine->thread();
    thread->quit();
    if (!thread->wait(5000)) {
        qWarning() << "engine thread does not end";
        platform::killOwnProcessTree();
    }
    delete engine;
    delete thread;
    if (thread != engineThread)
        delete engineThread;
}

// ---------------------------------------------------------------- construction

void MainWindow::scaleMetrics(double factor, bool includeNoticeHeight)
{
    for (int* metric : {&titleIconsInset, &titleBarHeight, &effectIconColumnWidth, &effectPanelWidth,
                        &bottomButtonsHeight, &bgItemWidth, &bgItemHeight, &controlBarHeight,
                        &controlButtonWidth, &controlButtonHeight, &controlBarMargin, &controlButtonTop,
                        &userPopupInset})
        *metric = int(*metric * factor);
    if (includeNoticeHeight)
        noticeHeight = int(noticeHeight * factor);
}

void MainWindow::setupFrameless()
{
    frameless = new FramelessHelper(this);
    frameless->setDraggableMargins(3, 3, 3, 3);
    frameless->setMaximizedMargins(3, 3, 3, 3);
    frameless->setTitleBarHeight(titleBarHeight);
    ui->openGLWidget->hide();
    titleBar = new TitleBar(this, ui.get(), frameless, scaleRate);
    connect(titleBar, &TitleBar::settingsRequested, this, &MainWindow::on_pushButton_pb_setting_clicked);
    connect(titleBar, &TitleBar::logoutRequested, this, &MainWindow::on_pushButton_pb_logout_clicked);
}

void MainWindow::connectEngine()
{
    connect(this, &MainWindow::setVideoPath, engine, &ProcessBeauty::process);
    connect(this, &MainWindow::saveVideo, engine, &ProcessBeauty::save);
    connect(engine, &ProcessBeauty::onSaveOver, this, &MainWindow::saveOver, Qt::QueuedConnection);
    connect(engine, &ProcessBeauty::onSaveProgress, this, &MainWindow::progress, Qt::QueuedConnection);
    connect(engine, &ProcessBeauty::onSaveFailed, this, &MainWindow::saveFailed, Qt::QueuedConnection);
    connect(engine, &ProcessBeauty::onSaveWarning, this, &MainWindow::saveWarning, Qt::QueuedConnection);
}

void MainWindow::connectEffectControls()
{
    for (const BeautyRow& row : kBeautyRows) {
        auto* slider = findChild<QSlider*>(row.slider);
        beautyRows.push_back({&row, slider, findChild<QLabel*>(row.valueLabel)});
        connect(slider, &QSlider::valueChanged, this, &MainWindow::setInputLevel);
    }
    connect(ui->slider_ailight, &QSlider::valueChanged, this, &MainWindow::setInputLevel);
    connect(ui->slider_portrait, &QSlider::valueChanged, this, &MainWindow::setInputLevel);
    connect(ui->switch_portrait, &SwitchButton::onValueChanged, this, &MainWindow::onPortraitSwitch);
    connect(ui->pb_ai_portrait, &QPushButton::clicked, this, &MainWindow::on_pushButton_pb_ai_portrait_clicked);
    connect(ui->pb_greenscreen, &QPushButton::clicked, this, &MainWindow::on_pushButton_pb_greenscreen_clicked);
    connect(ui->pb_bluescreen, &QPushButton::clicked, this, &MainWindow::on_pushButton_pb_bluescreen_clicked);
}

void MainWindow::restorePortraitType()
{
    const QList<QPushButton*> buttons = {ui->pb_ai_portrait, ui->pb_greenscreen, ui->pb_bluescreen};
    const int type = AppSettings::instance().value("portrait_type", 0).toInt();
    if (type >= 0 && type < buttons.size())
        buttons[type]->click();
}

void MainWindow::installLabelFilters()
{
    for (QWidget* widget : std::initializer_list<QWidget*>{
             ui->label_full, ui->label_lite, ui->label_beauty, ui->label_portrait, ui->label_compare,
             ui->label_reset_level, ui->label_clear_effect, ui->label_display, ui->label_upload_media})
        widget->installEventFilter(this);
    ui->label_full_select->hide();
    ui->label_upload_media->hide();
}

QPushButton* MainWindow::addBarButton(const QString& text, const QString& style)
{
    auto* button = new QPushButton(text, controlBar);
    button->setStyleSheet(style);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

void MainWindow::buildControlBar()
{
    controlBar = new QFrame(ui->centralWidget);
    controlBar->setObjectName("controlBar");
    controlBar->setFrameShape(QFrame::NoFrame);
    controlBar->setStyleSheet("QFrame#controlBar{background-color: #B02C2A2E;}");
    controlBar->setGeometry(0, 0, ui->label_display->width(), controlBarHeight);
    timeWidget = new TimeWidget(controlBar, float(scaleRate));

    reimportButton = addBarButton("重新导入",
                                  "QPushButton{font: 10pt;color: white;background-color: transparent;"
                                  "border: 1px solid rgba(255, 255, 255, 60);border-radius: 4px;}"
                                  "QPushButton:hover{background-color: rgb(0, 190, 255);}");
    reimportButton->setObjectName("reimportButton");
    reimportButton->setFixedSize(controlButtonWidth, controlButtonHeight);
    playButton = addBarButton(QString(), kPlayLook);
    playButton->setObjectName("playButton");
    playButton->setFixedSize(controlBarHeight, controlBarHeight);
    exportButton = addBarButton("导出视频",
                                "QPushButton{font: 10pt;color: white;background-color: rgb(0, 190, 255);"
                                "border: none;border-radius: 4px;}"
                                "QPushButton:hover{background-color: rgb(51, 203, 255);}");
    exportButton->setObjectName("exportButton");
    exportButton->setFixedSize(controlButtonWidth, controlButtonHeight);
    controlBar->hide();

    connect(reimportButton, &QPushButton::clicked, this, &MainWindow::on_pushButton_selectvideo_clicked);
    connect(playButton, &QPushButton::clicked, this, &MainWindow::on_pushButton_startvideo_clicked);
    connect(exportButton, &QPushButton::clicked, this, &MainWindow::on_pushButton_savevideo_clicked);
}

void MainWindow::buildOpenVideoPanel()
{
    auto s = [this](int v) { return int(v * scaleRate); };
    openVideoPanel = new QFrame(ui->centralWidget);
    openVideoPanel->setObjectName("openVideoPanel");
    openVideoPanel->setFrameShape(QFrame::NoFrame);
    openVideoPanel->setStyleSheet("background-color: transparent;");
    openVideoPanel->setFixedSize(s(180), s(228));
    auto* picture = new QLabel(openVideoPanel);
    picture->setGeometry(0, 0, s(180), s(180));
    picture->setPixmap(QPixmap(":/image/icon-openvideo.png"));
    picture->setScaledContents(true);
    auto* importButton = new QPushButton("导入视频", openVideoPanel);
    importButton->setObjectName("importButton");
    importButton->setGeometry(s(4), s(192), s(172), s(36));
    importButton->setCursor(Qt::PointingHandCursor);
    importButton->setStyleSheet("QPushButton{font: 10pt;color: rgba(255, 255, 255, 200);border-radius: 4px;"
                                "background-color: rgb(0, 190, 255);border: none;}"
                                "QPushButton:hover{color: white;}QPushButton:pressed{color: rgba(255, 255, 255, 120);}");
    connect(importButton, &QPushButton::clicked, this, &MainWindow::on_pushButton_selectvideo_clicked);
}

void MainWindow::buildPreviewNotice()
{
    previewNotice = new QLabel(kNoticeText, ui->centralWidget);
    previewNotice->setObjectName("previewNotice");
    previewNotice->setAlignment(Qt::AlignCenter);
    previewNotice->setFrameShape(QFrame::NoFrame);
    previewNotice->setStyleSheet("color: white;background-color: #B0282828;font: 10pt;");
    previewNotice->setGeometry(0, ui->label_display->y(), ui->label_display->width(), noticeHeight);
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

// ---------------------------------------------------------------- layout

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    if (!controlBar)
        return;
    const int w = width();
    const int h = height();
    ui->frame_title->setFixedWidth(w);
    ui->frame_title_icons->move(w - titleIconsInset, 0);
    ui->frame_effect_item->move(w - effectPanelWidth, titleBarHeight);
    ui->frame_effect_item->setFixedHeight(h - titleBarHeight);
    ui->frame_effect_icon->move(w - effectPanelWidth - effectIconColumnWidth, titleBarHeight);
    ui->frame_effect_icon->setFixedHeight(h - titleBarHeight);
    ui->label_display->resize(w - effectPanelWidth - effectIconColumnWidth, h - titleBarHeight);

    const int panelHeight = ui->frame_effect_item->height() - titleBarHeight;
    ui->stackedWidget_item->setFixedHeight(panelHeight);
    openVideoTile->setFixedHeight(panelHeight);
    ui->frame_bottom_btn->move(0, ui->frame_effect_item->height() - bottomButtonsHeight);
    ui->frame_user_hover->move(ui->label_display->width() - 6 * effectIconColumnWidth - userPopupInset,
                               ui->frame_user_hover->y());
    openVideoPanel->move((ui->label_display->width() - openVideoPanel->width()) / 2,
                         (ui->label_display->height() - openVideoPanel->height()) / 2);

    const int barWidth = w - effectPanelWidth - effectIconColumnWidth;
    controlBar->move(0, h - controlBarHeight);
    controlBar->setFixedWidth(barWidth);
    playButton->move((barWidth - controlBarHeight) / 2, 0);
    reimportButton->move(barWidth - 2 * controlButtonWidth - controlBarMargin * 3 / 2, controlButtonTop);
    exportButton->move(barWidth - controlBarMargin - controlButtonWidth, controlButtonTop);

    previewNotice->setFixedWidth(ui->label_display->width());
    ui->centralWidget->resize(w, h);
    engine->setDisplaySize(ui->label_display->size());
    if (loadingWidget) {
        loadingWidget->resize(w, h);
        loadingWidget->centreContent();
    }
}

void MainWindow::updateWindowScale(double dpi)
{
    const double newRate = dpi / 96;
    const double factor = newRate / scaleRate;
    scaleRate = newRate;
    titleBar->setScale(scaleRate);
    scaleWidget(this, factor, false);
    scaleMetrics(factor, false);
    resize(int(width() * factor), int(height() * factor));
    for (int row = 0; row < ui->listWidget_portrait->count(); ++row)
        ui->listWidget_portrait->item(row)->setSizeHint(QSize(bgItemWidth, bgItemHeight));
    setBackgroundListStyle();
    showLogo();
    centerOnDesktop(this);
}

// ---------------------------------------------------------------- events

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Wheel && qobject_cast<QSlider*>(watched))
        return true;
    if (isLeftPress(event)) {
        if (watched == ui->label_display) {
            togglePreviewOverlays();
            return true;
        }
        if (handleLabelPress(watched))
            return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && comparePressed)
        endCompare();
    QMainWindow::mouseReleaseEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    qDebug() << "closeEvent";
    if (exportRunning && !confirmQuitDuringExport()) {
        event->ignore();
        return;
    }
    for (QWidget** dialog : {&loginDialog, &bindPhoneDialog, &updateDialog}) {
        if (*dialog)
            (*dialog)->close();
        *dialog = nullptr;
    }
    event->accept();
}

bool MainWindow::confirmQuitDuringExport()
{
    QMessageBox question(QMessageBox::Question, "提示", "导出进行中，确定退出吗？", QMessageBox::NoButton, this);
    question.setObjectName("quitDuringExport");
    QPushButton* quit = question.addButton("退出", QMessageBox::AcceptRole);
    question.setDefaultButton(question.addButton("取消", QMessageBox::RejectRole));
    question.exec();
    qDebug() << "quit during export :" << (question.clickedButton() == quit);
    return question.clickedButton() == quit;
}

// ---------------------------------------------------------------- preview and playback

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
    notice->setEndValue(QRect(0, current.y(), current.width(), current.height() < 1 ? noticeHeight : 0));

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
    playButton->setStyleSheet(playing ? kPauseLook : kPlayLook);
    playButton->setProperty("playing", playing);
}

void MainWindow::hideLoadingWidget()
{
    if (loadingWidget)
        loadingWidget->hide();
}

const char* MainWindow::keepVideoPath(const QString& path)
{
    videoPathTexts.push_back(path.toUtf8().toStdString());
    return videoPathTexts.back().c_str();
}

void MainWindow::startPreview()
{
    const char* path = videoPathTexts.back().c_str();
    runJob([this, path] { requestPreview(path); });
}

// The engine's loop reports the duration first thing, so waiting for that report makes sure
// that a stop queued behind this request finds the loop it has to end: a stop that came
// before the loop began would find nothing to end, and the export queued after it would wait
// behind a preview that never ends.
void MainWindow::requestPreview(const char* path)
{
    auto begun = std::make_shared<std::promise<void>>();
    auto once = std::make_shared<std::once_flag>();
    const QMetaObject::Connection report = connect(engine, &ProcessBeauty::onDuration, engine, [begun, once](long) {
        std::call_once(*once, [&begun] { begun->set_value(); });
    }, Qt::DirectConnection);
    if (!closing)
        emit setVideoPath(path);
    std::future<void> begunReport = begun->get_future();
    for (int waitedMs = 0; !closing && waitedMs < kPreviewStartLimitMs; waitedMs += kPreviewStartPollMs) {
        if (begunReport.wait_for(std::chrono::milliseconds(kPreviewStartPollMs)) == std::future_status::ready)
            break;
    }
    disconnect(report);
}

// The window's jobs run one after the other: two quick video choices must reach the engine
// in the order they were made, or an older video would replace the newer one.
void MainWindow::runJob(std::function<void()> job)
{
    std::shared_future<void> previous = lastJob;
    lastJob = TaskPool::instance()
                  .enqueue([previous, job = std::move(job)] {
                      if (previous.valid())
                          previous.wait();
                      job();
                  })
                  .share();
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
    const char* path = keepVideoPath(chosen);
    runJob([this, path] {
        engine->stopProcessing(false, false);
        qDebug() << "stop video false";
        requestPreview(path);
        std::cout << "curVideoFile " << path << std::endl;
    });
    openVideoPanel->hide();
    controlBar->show();
    previewNotice->show();
    setPlayLook(false);
    hideLoadingWidget();
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
    hideLoadingWidget();
}

void MainWindow::on_pushButton_pb_setting_clicked()
{
    if (settingsDialog)
        return;
    auto* dialog = new QSettingUIWidget(UpdateService::instance());
    settingsDialog = dialog;
    connect(dialog, &QObject::destroyed, this, [this] { settingsDialog = nullptr; });
    connect(dialog, &QSettingUIWidget::startDownloadPkg, this, &MainWindow::downloadPkg);
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->show();
}

void MainWindow::on_pushButton_pb_logout_clicked()
{
    qDebug() << "logout";
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

// The update service reports here: the dot, its dialog (closed with the window), the tray, a
// verified package; it learns of exports through setExportRunning.
void MainWindow::connectUpdate()
{
    UpdateService& update = UpdateService::instance();
    connect(&update, &UpdateService::updateFound, this, [this] { titleBar->setUpdateDot(true); });
    connect(&update, &UpdateService::importantDialogShown, this, [this] {
        updateDialog = UpdateService::instance().importantDialog();
        connect(updateDialog, &QObject::destroyed, this, [this] { updateDialog = nullptr; });
        if (loginDialog)
            loginDialog->close();
    });
    connect(&update, &UpdateService::trayMessage, this, &showTrayMessage);
    // Queued, so that a finished download has ended before the installation begins.
    connect(&update, &UpdateService::installUpdate, this, &MainWindow::installUpdate, Qt::QueuedConnection);
}

void MainWindow::setExportRunning(bool running)
{
    exportRunning = running;
    UpdateService::instance().setExportRunning(running);
}

// ---------------------------------------------------------------- export

void MainWindow::on_pushButton_savevideo_clicked()
{
    qDebug() << "save video";
    if (currentVideoPath.empty())
        return;
    setPlayLook(false);
    if (loadingWidget) {
        loadingWidget->resetProgress();
        loadingWidget->show();
    } else {
        loadingWidget = new QLoadingWidget(ui->centralWidget, float(scaleRate));
        loadingWidget->setObjectName("loadingWidget");
        loadingWidget->resize(ui->centralWidget->size());
        loadingWidget->centreContent();
        loadingWidget->show();
        connect(loadingWidget, &QLoadingWidget::openSaveDir, this, &MainWindow::gotoSaveDir);
        connect(loadingWidget, &QLoadingWidget::onBack, this, &MainWindow::hideLoadFrame);
        connect(loadingWidget, &QLoadingWidget::onCancel, this, &MainWindow::cancelSaveProcess);
    }
    loadingWidget->raise();
    saveStartMs = nowMs();
    exportCancelled = false;
    setExportRunning(true);
    const char* path = videoPathTexts.back().c_str();
    runJob([this, path] {
        engine->stopProcessing(true, false);
        // The engine forgets a cancel that comes before its export begins, so one pressed
        // while the preview was still stopping is honoured here.
        if (exportCancelled) {
            QMetaObject::invokeMethod(this, &MainWindow::abandonExport, Qt::QueuedConnection);
            return;
        }
        emit saveVideo(path);
    });
}

void MainWindow::abandonExport()
{
    qDebug() << "save canceled before it began";
    // The stop dropped the background video; applying the row again brings it back.
    if (QListWidgetItem* current = ui->listWidget_portrait->currentItem())
        setPortraitBg(current);
    onCancelCompleted();
}

void MainWindow::progress(float percent)
{
    if (loadingWidget)
        loadingWidget->setProgress(percent);
}

void MainWindow::saveOver(const char* path)
{
    setExportRunning(false);
    if (!loadingWidget)
        return;
    loadingWidget->showDone();
    qDebug() << "save use : " << nowMs() - saveStartMs;
    savedVideoPath = QString::fromLocal8Bit(path);
    startPreview();
    showTrayNotice("保存完成");
}

void MainWindow::saveFailed(const QString& message)
{
    setExportRunning(false);
    qWarning() << "save failed : " << message;
    if (!loadingWidget)
        return;
    loadingWidget->showFailed(message);
    startPreview();
}

void MainWindow::saveWarning(const QString& message)
{
    qWarning() << "save warning : " << message;
    showToast(this, "背景视频无法读取，导出的视频不含背景", "10.5pt", "#ffffff", "#E0000000");
}

void MainWindow::cancelSaveProcess()
{
    exportCancelled = true;
    engine->cancelSave();
}

void MainWindow::onCancelCompleted()
{
    setExportRunning(false);
    hideLoadingWidget();
    startPreview();
}

void MainWindow::hideLoadFrame()
{
    hideLoadingWidget();
}

void MainWindow::gotoSaveDir()
{
    if (!platform::revealInFileManager(savedVideoPath))
        qWarning() << "cannot reveal" << savedVideoPath;
}

// ---------------------------------------------------------------- tray

void MainWindow::stTrayIconActive(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::DoubleClick)
        platform::bringToFront(this);
}

void MainWindow::trayMsgClick()
{
    platform::bringToFront(this);
}

// ---------------------------------------------------------------- effect panels

bool MainWindow::handleLabelPress(QObject* watched)
{
    if (watched == ui->label_beauty)
        showPanel(1);
    else if (watched == ui->label_portrait)
        showPanel(0);
    else if (watched == ui->label_lite)
        showLitePage();
    else if (watched == ui->label_full)
        showFullPage();
    else if (watched == ui->label_compare)
        startCompare();
    else if (watched == ui->label_clear_effect)
        resetLevels(false);
    else if (watched == ui->label_reset_level)
        resetLevels(true);
    else if (watched == ui->label_upload_media)
        uploadBackground();
    else
        return false;
    return true;
}

// tab 1 is the beauty panel, tab 0 the portrait panel; each remembers its own page.
void MainWindow::showPanel(int tab)
{
    if (currentTab == tab)
        return;
    currentTab = tab;
    const bool beauty = tab == 1;
    int& page = beauty ? beautyPage : portraitPage;
    // Flipping the remembered page makes the page handlers below accept the switch and set it back.
    page = 1 - page;
    if (page == 0)
        showFullPage();
    else
        showLitePage();
    if (beauty)
        ui->frame_bottom_btn->show();
    ui->label_compare->setVisible(beauty);
    ui->label_lite->setText(beauty ? "基础美颜" : "选择背景");
    ui->label_full->setText(beauty ? "高级美颜" : "抠图设置");
    ui->label_beauty->setStyleSheet(QString("border-image: url(:/image/icon-beauty-%1.png);").arg(beauty ? "on" : "off"));
    ui->label_beauty_text->setStyleSheet(beauty ? kBlueText : kDimText);
    ui->label_portrait->setStyleSheet(
        QString("border-image: url(:/image/icon-portrait-%1.png);").arg(beauty ? "off" : "on"));
    ui->label_portrait_text->setStyleSheet(beauty ? kDimText : kBlueText);
    ui->label_clear_effect->setVisible(beauty);
    ui->label_reset_level->setVisible(beauty);
    ui->label_upload_media->setVisible(!beauty);
}

void MainWindow::showLitePage()
{
    showPage(0);
}

void MainWindow::showFullPage()
{
    showPage(1);
}

// page 0 is the tab's first page (basic beauty, background list), 1 its second (advanced
// beauty, matting settings).
void MainWindow::showPage(int target)
{
    int& page = currentTab == 1 ? beautyPage : portraitPage;
    if (page == target)
        return;
    page = target;
    const bool lite = target == 0;
    if (currentTab == 1) {
        ui->stackedWidget_item->setCurrentWidget(lite ? ui->page_beauty_lite : ui->page_beauty_plus);
    } else {
        ui->stackedWidget_item->setCurrentWidget(lite ? ui->page_portrait : ui->page_portrait_setting);
        ui->frame_bottom_btn->setVisible(lite);
    }
    if (lite)
        setTabLook(ui->label_lite, ui->label_full, ui->label_lite_select, ui->label_full_select);
    else
        setTabLook(ui->label_full, ui->label_lite, ui->label_full_select, ui->label_lite_select);
}

void MainWindow::setTabLook(QLabel* active, QLabel* inactive, QLabel* activeUnderline, QLabel* inactiveUnderline)
{
    inactiveUnderline->hide();
    activeUnderline->show();
    inactive->setStyleSheet(kInactiveTab);
    active->setStyleSheet(kActiveTab);
}

void MainWindow::startCompare()
{
    comparePressed = true;
    engine->setCompare(true);
    ui->label_compare->setStyleSheet(kComparePressed);
}

void MainWindow::endCompare()
{
    comparePressed = false;
    engine->setCompare(false);
    ui->label_compare->setStyleSheet(kCompareIdle);
}

void MainWindow::setInputLevel(int value)
{
    if (sender())
        applyLevel(sender()->objectName(), value, kBeautyItemCount, false);
}

const MainWindow::RowWidgets* MainWindow::findRow(const QString& sliderName, int index) const
{
    for (const RowWidgets& row : beautyRows) {
        if (sliderName == row.row->slider || index == row.row->index)
            return &row;
    }
    return nullptr;
}

void MainWindow::applyLevel(const QString& name, int value, int index, bool moveSlider)
{
    const QString text = QString::number(value);
    if (name == ui->slider_ailight->objectName()) {
        ui->label_ailight_level->setText(text);
        if (moveSlider)
            ui->slider_ailight->setValue(value);
        engine->setAiLight(value / 100.0f);
        return;
    }
    if (name == ui->slider_portrait->objectName()) {
        ui->label_portrait_level->setText(text);
        if (moveSlider)
            ui->slider_portrait->setValue(value);
        engine->setPortraitLevel(value);
        return;
    }
    const RowWidgets* row = findRow(name, index);
    if (!row)
        return;
    row->valueLabel->setText(row->row->isSigned ? QString::number(value - 50) : text);
    if (moveSlider)
        row->slider->setValue(value);
    engine->setBeautyLevel(row->row->index, value / 100.0f);
}

// Levels are floats: 0.53f × 100 is 52.99…, so truncating would move a slider by one on
// every start. Rounding gives back the value the slider set.
int MainWindow::sliderValueOf(float level)
{
    return qRound(level * 100);
}

void MainWindow::resetLevels(bool toDefaults)
{
    for (int item = 0; item < kBeautyItemCount; ++item) {
        const bool keepDefault = toDefaults || zr_fb_native_isMutualBeautyType(item);
        const int value = keepDefault ? sliderValueOf(engine->defaultBeautyLevel(item)) : 0;
        applyLevel(QString(), value, item, true);
    }
    const int light = toDefaults ? sliderValueOf(engine->defaultAiLight()) : 0;
    applyLevel(ui->slider_ailight->objectName(), light, kBeautyItemCount, true);
}

void MainWindow::syncLevelsFromEngine()
{
    for (int item = 0; item < kBeautyItemCount; ++item)
        applyLevel(QString(), sliderValueOf(engine->beautyLevel(item)), item, true);
    applyLevel(ui->slider_ailight->objectName(), sliderValueOf(engine->aiLight()), kBeautyItemCount, true);
    applyLevel(ui->slider_portrait->objectName(), qRound(engine->portraitLevel()), kBeautyItemCount, true);
}

void MainWindow::onPortraitSwitch(int open)
{
    const int row = ui->listWidget_portrait->currentRow();
    const int type = open ? (row == 0 ? 2 : row == 1 ? 4 : 3) : (row == 0 ? 0 : row == 1 ? 5 : 1);
    engine->setBackgroundType(type);
    AppSettings::instance().setValue("portrait_switch", open != 0);
}

void MainWindow::checkPortraitType(QPushButton* checkedButton, int type)
{
    for (QPushButton* button : {ui->pb_ai_portrait, ui->pb_greenscreen, ui->pb_bluescreen})
        button->setChecked(button == checkedButton);
    ui->frame_portrait_level->setVisible(type != 0);
    engine->setPortraitType(type);
}

void MainWindow::on_pushButton_pb_ai_portrait_clicked()
{
    checkPortraitType(ui->pb_ai_portrait, 0);
}

void MainWindow::on_pushButton_pb_greenscreen_clicked()
{
    checkPortraitType(ui->pb_greenscreen, 1);
}

void MainWindow::on_pushButton_pb_bluescreen_clicked()
{
    checkPortraitType(ui->pb_bluescreen, 2);
}

// ---------------------------------------------------------------- background list

bool MainWindow::portraitSwitchOn() const
{
    return AppSettings::instance().value("portrait_switch", true).toBool();
}

void MainWindow::buildBackgroundList()
{
    const QList<QFileInfo> builtIn = BackgroundStore::getFileListUnderDir(BackgroundStore::builtInFolder(), QDir::Name);
    backgroundFiles = BackgroundStore::userFiles() + builtIn;

    QListWidget* list = ui->listWidget_portrait;
    list->setViewMode(QListView::IconMode);
    list->setIconSize(QSize(bgItemWidth, bgItemHeight));
    list->setSpacing(int(scaleRate * 10));
    list->setResizeMode(QListView::Adjust);
    list->setMovement(QListView::Static);

    const QString saved = AppSettings::instance().value("portrait_item", QString()).toString();
    addBackgroundItem(":/image/item_clear_effect.png", true, saved.isEmpty(), false);
    addBackgroundItem(":/image/item_upload_pic.png", true, saved == "virtualize", false);
    for (const QFileInfo& file : backgroundFiles)
        addBackgroundItem(file.absoluteFilePath(), false, file.absoluteFilePath() == saved, false);
    setBackgroundListStyle();
}

void MainWindow::setBackgroundListStyle()
{
    ui->listWidget_portrait->setStyleSheet(kListStyle);
}

void MainWindow::addBackgroundItem(const QString& path, bool fixed, bool selected, bool insertAtTop)
{
    QListWidget* list = ui->listWidget_portrait;
    auto* item = new QListWidgetItem();
    item->setSizeHint(QSize(bgItemWidth, bgItemHeight));
    if (insertAtTop)
        list->insertItem(2, item);
    else
        list->addItem(item);

    auto* widget = new qitemwidget(item);
    widget->setGeometry(0, 0, bgItemWidth - 2, bgItemHeight - 2);
    widget->setVideoMark(BackgroundStore::isVideo(path));
    if (fixed)
        widget->disableHover();
    widget->setPicture(QPixmap(BackgroundStore::picturePathOf(path)));
    list->setItemWidget(item, widget);
    item->setSelected(selected);
    connect(widget, &qitemwidget::onDelete, this, &MainWindow::onDelete);

    if (!selected)
        return;
    currentBgRow = list->row(item);
    list->setCurrentRow(currentBgRow);
    if (!insertAtTop)
        setPortraitBg(item);
}

void MainWindow::setPortraitBg(QListWidgetItem* widgetitem)
{
    const int row = ui->listWidget_portrait->row(widgetitem);
    qDebug() << "select row " << row;
    const bool switchOn = portraitSwitchOn();
    if (row == 0) {
        engine->setBackgroundType(switchOn ? 2 : 0);
        currentBgRow = 0;
    } else if (row == 1) {
        currentBgRow = 1;
        engine->setBackgroundType(switchOn ? 4 : 5);
        engine->selectVirtualize();
    } else if (row - 2 < backgroundFiles.size()) {
        const QFileInfo& file = backgroundFiles[row - 2];
        qDebug() << "bj file : " << file.absoluteFilePath();
        currentBgRow = row;
        engine->setBackgroundType(switchOn ? 3 : 1);
        engine->setBackground(file.absoluteFilePath().toLocal8Bit().constData());
    }
}

void MainWindow::uploadBackground()
{
    const QString chosen = FilePicker::openFile(this, "OpenFile", "(*.jpg *.png *.mp4)");
    if (chosen.isEmpty()) {
        qDebug() << "select picture empty";
        ui->listWidget_portrait->setCurrentRow(currentBgRow);
        return;
    }
    runJob([this, chosen] { copyUploadJob(chosen); });
}

void MainWindow::copyUploadJob(const QString& chosen)
{
    const QString newPath = BackgroundStore::copyUpload(chosen);
    if (newPath.isEmpty()) {
        QMetaObject::invokeMethod(this, [this] {
            ui->listWidget_portrait->setCurrentRow(currentBgRow);
            showToast(nullptr, "背景添加失败", "10.5pt", "#ffffff", "#E0000000");
        }, Qt::QueuedConnection);
        return;
    }
    engine->setBackgroundType(portraitSwitchOn() ? 3 : 1);
    engine->setBackground(newPath.toLocal8Bit().constData());
    if (BackgroundStore::isVideo(newPath))
        BackgroundStore::writeVideoThumbnail(newPath);
    emit sendFilePath(newPath);
}

void MainWindow::onFileSelectOver(const QString& path)
{
    backgroundFiles.prepend(QFileInfo(path));
    addBackgroundItem(path, false, true, true);
    setBackgroundListStyle();
}

void MainWindow::onDelete(QListWidgetItem* item)
{
    QListWidget* list = ui->listWidget_portrait;
    const int row = list->row(item);
    qDebug() << "delete row : " << row;
    const int index = row - 2;
    if (index < 0 || index >= backgroundFiles.size())
        return;
    // The engine lets go of the file before it goes: a deleted video must not stay in play.
    if (row == currentBgRow || item->isSelected()) {
        list->setCurrentRow(0);
        setPortraitBg(list->item(0));
    } else if (currentBgRow > row) {
        --currentBgRow;
    }
    const QString path = backgroundFiles.takeAt(index).absoluteFilePath();
    // The press came from the item's own delete button: the widget goes later, not now.
    list->removeItemWidget(item);
    delete item;
    if (!QFile::remove(path))
        qWarning() << "cannot delete background" << path;
    const QString thumbnail = BackgroundStore::picturePathOf(path);
    if (thumbnail != path && QFile::exists(thumbnail) && !QFile::remove(thumbnail))
        qWarning() << "cannot delete thumbnail" << thumbnail;
}
