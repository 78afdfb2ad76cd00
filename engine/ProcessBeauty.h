#pragma once
#include "EffectParameters.h"
#include "ExportWriter.h"
#include "FrameQueue.h"

#include <QByteArray>
#include <QObject>
#include <QPixmap>
#include <QSize>

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

#include <atomic>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>

class EffectPass;
class FrameDecoder;

// The processing engine: owns both effect libraries, plays the current video through them into
// the frame display, and exports the processed video.
//
// Threading: constructed on the GUI thread, then moved onto a worker thread of its own, where the
// slots process (the preview loop) and save (the export producer) run. pause, resume, isPaused,
// stopProcessing, cancelSave, setDisplaySize and the effect setters are direct calls from the GUI
// thread or the task pool. The export writer runs on the task pool and emits onSaveProgress,
// onSaveOver and onSaveFailed from there. picUpdate is delivered to the display with a blocking
// queued connection: one frame in flight at most.
class ProcessBeauty : public QObject
{
    Q_OBJECT
public:
    // display: the widget with a slot setPixmap(const QPixmap&), or null (headless export).
    explicit ProcessBeauty(QObject* display);
    ~ProcessBeauty() override;

    // The process-wide lock between the preview's library calls and background changes.
    static std::mutex& effectLock();
    // Preview size for a video on a display: a video up to about 11 % larger than the display is
    // left to the display to scale; the width is a multiple of 8 and the height even.
    static QSize previewSize(const QSize& video, const QSize& display);

    void setDisplaySize(QSize size);
    void pause();
    void resume();
    bool isPaused() const { return m_paused; }
    // Ends the preview loop and waits for it (3 s, 5 s when exiting). A loop that does not end is
    // written off: its thread is replaced, or the process ends itself when exiting.
    void stopProcessing(bool clearBackgroundVideo, bool exiting);
    void cancelSave();

    void setBeautyLevel(int item, float level);
    void setAiLight(float level);
    void setPortraitLevel(int level);
    void setPortraitType(int type);
    void setBackgroundType(int type);
    void setBackground(const char* path);
    void selectVirtualize();
    void setCompare(bool on);

    float beautyLevel(int item) const;
    float defaultBeautyLevel(int item) const;
    float aiLight() const;
    float defaultAiLight() const;
    float portraitLevel() const;
    int portraitType() const { return m_parameters.portraitType; }
    int backgroundType() const { return m_parameters.backgroundType; }
    bool mattingJustEnabled() const { return m_parameters.mattingJustEnabled; }

    // Number of preview effect passes run so far (each repetition counts once), and the time
    // they took: frame copy, library calls and the conversion for the display.
    int effectPassCount() const { return m_effectPassCount; }
    qint64 effectPassMicroseconds() const { return m_effectPassMicroseconds; }

public slots:
    // The preview loop; path must stay valid until the slot returns.
    void process(const char* path);
    // The export of path with the current settings, beside the source.
    void save(const char* path);

signals:
    void picUpdate(const QPixmap& pixmap);
    void onDuration(long seconds);
    void onCostTime(long cost);
    void onSaveOver(const char* path);
    void onSaveProgress(float percent);
    void onSaveCanceled();
    // The export could not be written; message says why.
    void onSaveFailed(QString message);

private:
    void initLibraries();
    void wake();
    unsigned wakeCount();
    void connectDisplay();
    void disconnectDisplay();

    void runPass(const char* path, bool& firstFrame);
    QSize openPass(cv::VideoCapture& capture);
    void playFrames(FrameDecoder& decoder, bool& firstFrame);
    void renderFrame(const cv::Mat& frame, int repetitions);
    void showFrame();
    void pace();
    void waitWhilePaused(unsigned wakeSeen);
    void markLoopEnded();
    bool releaseFrameHandOff();
    void rehomeOntoFreshThread();

    void openBackgroundCapture(double rate);
    void feedBackgroundFrame(int count);
    bool exportFrame(cv::Mat&& frame, int count, const EffectPass& pass);
    void produceFrames(cv::VideoCapture& capture, const cv::Size& size, const EffectPass& pass);
    void runWriter(const ExportWriter::Job& job);
    void restorePreviewAfterExport();

    QObject* m_display;
    int m_handle = 0;
    const int m_gpu = 1;
    const QByteArray m_modelsDir;
    EffectParameters m_parameters;

    int m_videoWidth = 0;
    int m_videoHeight = 0;
    int m_rate = 30;
    int m_intervalMs = 33;
    qint64 m_lastShownMs = -1;
    std::atomic<int> m_displayWidth{-1};
    std::atomic<int> m_displayHeight{-1};
    std::atomic<bool> m_paused{true};
    std::atomic<bool> m_stopRequested{true};
    std::atomic<int> m_effectPassCount{0};
    std::atomic<qint64> m_effectPassMicroseconds{0};

    std::mutex m_pauseLock;
    std::condition_variable m_wakeCondition;
    std::condition_variable m_endedCondition;
    unsigned m_wakeCount = 0;
    bool m_loopEnded = true;

    cv::Mat m_mask;
    cv::Mat m_nv12;
    cv::Mat m_working;
    cv::Mat m_bgra;

    FrameQueue m_queue;
    std::future<void> m_writer;
    QByteArray m_outputPath;
    std::unique_ptr<cv::VideoCapture> m_backgroundCapture;
    float m_backgroundRatio = 1.0f;
    int m_backgroundCounter = 0;
};
