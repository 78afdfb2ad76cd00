#pragma once
#include "app/User.h"

#include <QFileInfo>
#include <QList>
#include <QEvent>
#include <QMainWindow>
#include <QSystemTrayIcon>

#include <atomic>
#include <functional>
#include <future>
#include <list>
#include <memory>
#include <string>
#include <vector>

class FramelessHelper;
class QFrame;
class ProcessBeauty;
class QLabel;
class QListWidgetItem;
class QLoadingWidget;
class QNetworkReply;
class QPushButton;
class QSlider;
class QThread;
class TimeWidget;
class TitleBar;
class itemvideoopenwidget;
struct BeautyRow;
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

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

signals:
    void setVideoPath(const char* path);
    void saveVideo(const char* path);
    void sendFilePath(const QString& path);
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
    void saveOver(const char* path);
    void saveFailed(const QString& message);
    void saveWarning(const QString& message);
    void progress(float percent);
    void setInputLevel(int value);
    void setPortraitBg(QListWidgetItem* widgetitem);
    void onFileSelectOver(const QString& path);
    void versionDownload(QNetworkReply* reply);
    void gotoInstall();
    void gotoSaveDir();
    void hideLoadFrame();
    void cancelSaveProcess();
    void onCancelCompleted();
    void updateWindowScale(double dpi);
    void onPortraitSwitch(int open);
    void onDelete(QListWidgetItem* item);
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
    void on_pushButton_pb_ai_portrait_clicked();
    void on_pushButton_pb_greenscreen_clicked();
    void on_pushButton_pb_bluescreen_clicked();

    struct RowWidgets
    {
        const BeautyRow* row;
        QSlider* slider;
        QLabel* valueLabel;
    };

    // Construction
    void scaleMetrics(double factor, bool includeNoticeHeight);
    void setupFrameless();
    void connectEngine();
    void connectUpdate();
    void connectEffectControls();
    void restorePortraitType();
    void installLabelFilters();
    void buildControlBar();
    void buildOpenVideoPanel();
    void buildPreviewNotice();
    void watchScreens();
    void showLogo();
    QPushButton* addBarButton(const QString& text, const QString& style);

    // Preview
    void togglePreviewOverlays();
    void setPlayLook(bool playing);
    void hideLoadingWidget();
    void startPreview();
    void abandonExport();
    void setExportRunning(bool running);
    void requestPreview(const char* path);
    const char* keepVideoPath(const QString& path);
    void runJob(std::function<void()> job);

    // Effect panels
    bool handleLabelPress(QObject* watched);
    void showPanel(int tab);
    void showPage(int target);
    void showLitePage();
    void showFullPage();
    void setTabLook(QLabel* active, QLabel* inactive, QLabel* activeUnderline, QLabel* inactiveUnderline);
    void startCompare();
    void endCompare();
    void applyLevel(const QString& name, int value, int index, bool moveSlider);
    void resetLevels(bool toDefaults);
    void syncLevelsFromEngine();
    static int sliderValueOf(float level);
    const RowWidgets* findRow(const QString& sliderName, int index) const;
    void checkPortraitType(QPushButton* checkedButton, int type);

    // Background list
    void buildBackgroundList();
    void setBackgroundListStyle();
    void addBackgroundItem(const QString& path, bool fixed, bool selected, bool insertAtTop);
    void uploadBackground();
    void copyUploadJob(const QString& chosen);
    bool portraitSwitchOn() const;

    // Asked when the window is closed while an export runs; true to quit anyway.
    bool confirmQuitDuringExport();

    static quint32 nowMs();

    int currentTab = 1;
    int beautyPage = 0;
    int portraitPage = 0;
    ProcessBeauty* engine = nullptr;
    QThread* engineThread = nullptr;
    QFrame* controlBar = nullptr;
    TimeWidget* timeWidget = nullptr;
    QPushButton* playButton = nullptr;
    QPushButton* reimportButton = nullptr;
    QPushButton* exportButton = nullptr;
    QFrame* openVideoPanel = nullptr;
    QLabel* previewNotice = nullptr;
    std::unique_ptr<Ui::MainWindow> ui;
    QList<QFileInfo> backgroundFiles;
    bool comparePressed = false;
    std::string currentVideoPath;
    QLoadingWidget* loadingWidget = nullptr;
    quint32 saveStartMs = 0;
    QString savedVideoPath;
    itemvideoopenwidget* openVideoTile = nullptr;
    QWidget* settingsDialog = nullptr;
    QWidget* loginDialog = nullptr;
    QWidget* bindPhoneDialog = nullptr;
    QWidget* updateDialog = nullptr;
    int currentBgRow = 0;
    double scaleRate = 1.0;

    int titleIconsInset = 600;
    int titleBarHeight = 50;
    int effectIconColumnWidth = 50;
    int effectPanelWidth = 230;
    int bottomButtonsHeight = 64;
    int bgItemWidth = 90;
    int bgItemHeight = 60;
    int controlBarHeight = 64;
    int controlButtonWidth = 120;
    int controlButtonHeight = 36;
    int controlBarMargin = 24;
    int controlButtonTop = 14;
    int noticeHeight = 30;
    int userPopupInset = 22;

    quint32 lastActionMs = 0;

    FramelessHelper* frameless = nullptr;
    TitleBar* titleBar = nullptr;
    std::vector<RowWidgets> beautyRows;
    // Every path handed to the engine stays alive and unchanged while the window lives: a
    // running preview and a queued request keep reading the text they were given.
    std::list<std::string> videoPathTexts;
    // The last pool job of the window; the destructor waits for it before the engine goes.
    std::shared_future<void> lastJob;
    // Set when the window goes: pool jobs stop asking the engine for anything.
    std::atomic<bool> closing{false};
    // "取消" was pressed for the export being started.
    std::atomic<bool> exportCancelled{false};
    // From the export button until the engine reports the end (done, failed or cancelled).
    bool exportRunning = false;
};
