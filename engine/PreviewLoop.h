#pragma once

#include <QPixmap>
#include <QSize>

#include <opencv2/core.hpp>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

class EffectParameters;
class FrameDecoder;
class LibraryHost;
class VideoSource;

// The preview: plays a video through the effect libraries at its own frame rate, starts paused
// on the first frame, renders a paused frame again on every wake, and starts over at the end of
// the file, until a stop is requested.
//
// Threading: run() is the engine thread's working loop. The other calls come from the GUI
// thread or the task pool; they only set flags and wake the loop.
class PreviewLoop
{
public:
    struct Output {
        std::function<void(const QPixmap&)> show;
        std::function<void(long seconds)> duration;
        std::function<void(long seconds)> position;
    };

    PreviewLoop(EffectParameters& parameters, const LibraryHost& libraries, Output output);

    // Preview size for a video on a display: a video up to about 11 % larger than the display is
    // left to the display to scale; the width is a multiple of 8 and the height even.
    static QSize previewSize(const QSize& video, const QSize& display);

    // Runs until a stop is requested; path must stay valid until then.
    void run(const char* path);
    // True when a loop was running.
    bool requestStop();
    bool stopRequested() const { return m_stopRequested; }
    // Waits until the loop has left run(); false when it did not within limit.
    bool waitUntilEnded(std::chrono::milliseconds limit);
    // For a loop whose thread was ended from outside.
    void markEnded();

    void setPaused(bool paused) { m_paused = paused; }
    bool isPaused() const { return m_paused; }
    // A paused frame is rendered again; also ends the gap between two passes early on a stop.
    void wake();
    void setDisplaySize(QSize size);

    int effectPassCount() const { return m_effectPassCount; }
    qint64 effectPassMicroseconds() const { return m_effectPassMicroseconds; }

private:
    unsigned wakeCount();
    void runPass(const char* path, bool& firstFrame);
    QSize openPass(const VideoSource& capture);
    void playFrames(FrameDecoder& decoder, bool& firstFrame);
    void renderFrame(const cv::Mat& frame, int repetitions);
    void showFrame();
    void pace();
    void waitWhilePaused(unsigned wakeSeen);

    EffectParameters& m_parameters;
    const LibraryHost& m_libraries;
    Output m_output;

    int m_videoWidth = 0;
    int m_videoHeight = 0;
    double m_rate = 30;
    qint64 m_intervalUs = 33333;
    qint64 m_lastShownUs = -1;
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
};
