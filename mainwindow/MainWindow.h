#pragma once
#include "WindowMetrics.h"

#include "app/User.h"

#include <QMainWindow>
#include <QSystemTrayIcon>

#include <memory>
#include <string>

class AccountSession;
class BackgroundPanel;
class BeautyPanel;
class ControlBar;
class EffectTabs;
class EngineHost;
class ExportFlow;
class OpenVideoPanel;
class ProcessBeauty;
class QFrame;
class QLabel;
class QNetworkReply;
class QPushButton;
class TimeWidget;
class TitleBar;
class TrayIcon;
class WindowUpdates;
class itemvideoopenwidget;
namespace Ui {
class MainWindow;
}

// The one top-level window: it owns the engine and its worker thread, and turns every user
// action (open, play, effect levels, backgrounds, export) into a request to the engine.
//
// Threads: every slot and handler runs on the GUI thread. Jobs that wait for the engine
// (stopping the preview before another video or an export) and the copying of an upload run
// on the task pool, so the GUI thread stays free to take the engine's blocking frame hand-off.
// Their results come back as queued signals.
class MainWindow : public QMainWindow
{
    Q_OBJECT
    // The tests look at the engine and the window's own state behind the widgets.
    friend class MainWindowTest;
    friend class MainWindowExportTest;
    friend class TitleBarTest;
    friend class MainWindowAccountTest;

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

signals:
    void setVideoPath(const char* path);
    void saveVideo(const char* path);
    void installUpdate();
    void sendUpdateUser(bool isLogon, User user);
    void sendUserLogout();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private slots:
    void downloadPkg();
    void updateUserInfo(bool isLogon, User user);
    void versionDownload(QNetworkReply* reply);
    void gotoInstall();
    void updateWindowScale(double dpi);
    void stTrayIconActive(QSystemTrayIcon::ActivationReason reason);
    void trayMsgClick();

private:
    // Button handlers, connected explicitly by function pointer. They are not Qt slots so
    // that the form's name-based auto-connection never looks at them.
    void on_pushButton_pb_logout_clicked();
    void on_pushButton_pb_setting_clicked();
    void on_pushButton_savevideo_clicked();
    void on_pushButton_selectvideo_clicked();
    void on_pushButton_startvideo_clicked();

    void setupFrameless();
    void buildControlBar();
    void buildPreviewNotice();
    void watchScreens();
    void showLogo();

    void togglePreviewOverlays();
    void setPlayLook(bool playing);
    void startPreview();
    void closeAuxiliaryDialogs();
    void connectAccount();
    static quint32 nowMs();

    std::unique_ptr<Ui::MainWindow> ui;
    double scaleRate = 1.0;
    WindowMetrics metrics;
    std::unique_ptr<EngineHost> host;
    ProcessBeauty* engine = nullptr;
    TitleBar* titleBar = nullptr;
    // The login and binding dialogs, the start-up restore and the logout.
    AccountSession* account = nullptr;
    BeautyPanel* beautyPanel = nullptr;
    BackgroundPanel* backgroundPanel = nullptr;
    EffectTabs* effectTabs = nullptr;
    ExportFlow* exportFlow = nullptr;
    TrayIcon* tray = nullptr;
    WindowUpdates* updates = nullptr;

    ControlBar* controlBar = nullptr;
    OpenVideoPanel* openVideoPanel = nullptr;
    QLabel* previewNotice = nullptr;
    itemvideoopenwidget* openVideoTile = nullptr;
    std::string currentVideoPath;
    quint32 lastActionMs = 0;

};
