#pragma once
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>

class EngineHost;
class QLoadingWidget;
class QWidget;

// An export as the user sees it: the progress overlay over the whole window while it runs,
// its end (done, failed or cancelled), the reveal of the written file, and the preview of the
// same video started again afterwards.
class ExportFlow : public QObject
{
    Q_OBJECT
public:
    struct Window {
        QWidget* cover;                       // the widget the overlay covers
        std::function<void()> restartPreview; // the same video again, paused
        std::function<void()> showBackground; // the chosen background once more, after an export
                                              // that never began (the stop dropped it)
        std::function<void(const QString&)> notify; // a tray notice
    };

    ExportFlow(EngineHost* host, Window window, QObject* parent = nullptr);

    // Covers the window and exports path; nothing without a video.
    void start(const char* path, float scale);
    // From the export button until the engine reports the end.
    bool isRunning() const { return m_running; }
    QLoadingWidget* loadingWidget() const { return m_overlay; }
    QString savedVideoPath() const { return m_savedVideoPath; }
    // True when no export runs, or when the user chose to quit anyway; the export is then
    // cancelled with the window.
    bool allowsQuit(QWidget* window);
    // The overlay follows the window's size.
    void fitToWindow();
    void hide();

signals:
    // An export began (true) or ended, however it ended (false).
    void runningChanged(bool running);

public slots:
    void progress(float percent);
    void saveOver(const char* path);
    void saveFailed(const QString& message);
    void saveWarning(const QString& message);
    void cancelSaveProcess();
    void onCancelCompleted();
    void hideLoadFrame();
    void gotoSaveDir();

private:
    void createOverlay(float scale);
    void abandonExport();
    void setRunning(bool running);
    static quint32 nowMs();

    EngineHost* m_host;
    Window m_window;
    QLoadingWidget* m_overlay = nullptr;
    quint32 m_saveStartMs = 0;
    QString m_savedVideoPath;
    bool m_running = false;
    // "取消" was pressed for the export being started.
    std::atomic<bool> m_cancelled{false};
};
