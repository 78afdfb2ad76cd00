#include "PreviewLoop.h"

#include "EffectParameters.h"
#include "EffectPass.h"
#include "FrameDecoder.h"
#include "LibraryHost.h"
#include "VideoSource.h"

#include "ZR_FaceBeautyLib.h"
#include "ZR_Portrait_SDK.h"

#include <QCoreApplication>
#include <QDebug>
#include <QImage>

#include <opencv2/imgproc.hpp>

#include <thread>

using namespace ZRPortraitCOM;

namespace {

constexpr auto kPassGap = std::chrono::milliseconds(500);

// Microseconds of a monotonic clock: a 23.976 fps clip keeps its 41.7 ms, and a clock change
// cannot stall the preview.
qint64 steadyMicroseconds()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Whole seconds reached at frame index (from 1) at rate, when index is the first frame of that
// second; 0 otherwise.
long secondReachedAt(int index, double rate)
{
    const long now = static_cast<long>(index / rate);
    const long before = static_cast<long>((index - 1) / rate);
    return now > before ? now : 0;
}

} // namespace

PreviewLoop::PreviewLoop(EffectParameters& parameters, const LibraryHost& libraries, Output output)
    : m_parameters(parameters), m_libraries(libraries), m_output(std::move(output))
{
}

void PreviewLoop::setDisplaySize(QSize size)
{
    m_displayWidth = size.width();
    m_displayHeight = size.height();
}

void PreviewLoop::run(const char* path)
{
    {
        std::lock_guard<std::mutex> lock(m_pauseLock);
        m_loopEnded = false;
    }
    m_stopRequested = false;
    m_paused = true;
    m_videoWidth = 0;
    m_lastShownUs = -1;
    bool firstFrame = true;
    while (!m_stopRequested)
        runPass(path, firstFrame);
    zr_fb_native_resetCache(m_libraries.handle());
    m_parameters.mattingActive = false;
    m_parameters.mattingJustEnabled = false;
    markEnded();
    m_parameters.resetMattingFlags();
}

bool PreviewLoop::requestStop()
{
    const bool wasRunning = !m_stopRequested.exchange(true);
    wake();
    return wasRunning;
}

bool PreviewLoop::waitUntilEnded(std::chrono::milliseconds limit)
{
    std::unique_lock<std::mutex> lock(m_pauseLock);
    return m_endedCondition.wait_for(lock, limit, [this] { return m_loopEnded; });
}

QSize PreviewLoop::previewSize(const QSize& video, const QSize& display)
{
    const int vw = video.width(), vh = video.height();
    if (vw <= 0 || vh <= 0)
        return QSize(0, 0);
    int w = vw, h = vh;
    // Without a display size (not yet laid out) the video keeps its own size.
    if (!display.isEmpty()) {
        const int dw = display.width(), dh = display.height();
        const float aspect = static_cast<float>(vh) / static_cast<float>(vw);
        if (aspect > static_cast<float>(dh) / static_cast<float>(dw)) {
            if (vh * 0.9 > dh) {
                h = dh;
                w = dh * vw / vh;
            }
        } else if (vw * 0.9 > dw) {
            w = dw;
            h = dw * vh / vw;
        }
    }
    return QSize(w - w % 8, h - h % 2);
}


void PreviewLoop::wake()
{
    {
        std::lock_guard<std::mutex> lock(m_pauseLock);
        ++m_wakeCount;
    }
    m_wakeCondition.notify_all();
}

unsigned PreviewLoop::wakeCount()
{
    std::lock_guard<std::mutex> lock(m_pauseLock);
    return m_wakeCount;
}


void PreviewLoop::markEnded()
{
    // Marked under the pause lock, so a stop that checks the mark cannot miss the broadcast.
    {
        std::lock_guard<std::mutex> lock(m_pauseLock);
        m_loopEnded = true;
    }
    m_endedCondition.notify_all();
}

void PreviewLoop::runPass(const char* path, bool& firstFrame)
{
    VideoSource capture;
    capture.open(QString::fromUtf8(path));
    const QSize size = openPass(capture);
    if (capture.isOpened() && !size.isEmpty()) {
        m_mask.create(size.height(), size.width(), CV_8UC1);
        m_nv12.create(size.height() * 3 / 2, size.width(), CV_8UC1);
        // Decoding, scaling and conversion to BGR, in one pass, run ahead on their own thread
        // while the effects work.
        FrameDecoder decoder(capture, cv::Size(size.width(), size.height()));
        playFrames(decoder, firstFrame);
    }
    m_output.position(0);
    capture.release();
    m_mask.release();
    if (!m_stopRequested) {
        // The gap before the file plays again; a stop ends it at once.
        std::unique_lock<std::mutex> lock(m_pauseLock);
        m_wakeCondition.wait_for(lock, kPassGap, [this] { return m_stopRequested.load(); });
    }
}

QSize PreviewLoop::openPass(const VideoSource& capture)
{
    if (m_videoWidth == 0) {
        m_videoWidth = capture.frameSize().width;
        m_videoHeight = capture.frameSize().height;
        m_rate = capture.rate();
        m_intervalUs = static_cast<qint64>(1e6 / m_rate);
        m_output.duration(static_cast<long>(capture.frameCount() / m_rate));
        qDebug().noquote() << "fps : " + QString::number(m_rate);
    }
    return previewSize(QSize(m_videoWidth, m_videoHeight), QSize(m_displayWidth, m_displayHeight));
}

void PreviewLoop::playFrames(FrameDecoder& decoder, bool& firstFrame)
{
    const auto repetitionsWhenStill = [this] { return m_parameters.mattingJustEnabled ? 5 : 3; };
    cv::Mat frame;
    int index = 0;
    while (!m_stopRequested) {
        const unsigned wakeSeen = wakeCount();
        int repetitions = 1;
        if (m_paused && index > 0) {
            repetitions = repetitionsWhenStill();
        } else {
            if (!decoder.next(frame))
                break;
            if (firstFrame) {
                repetitions = repetitionsWhenStill();
                firstFrame = false;
            }
        }
        ++index;
        decoder.setConsumerBusy(true);
        renderFrame(frame, repetitions);
        decoder.setConsumerBusy(false);
        pace();
        if (const long second = secondReachedAt(index, m_rate))
            m_output.position(second);
        QCoreApplication::processEvents();
        if (m_paused)
            waitWhilePaused(wakeSeen);
    }
}

void PreviewLoop::renderFrame(const cv::Mat& frame, int repetitions)
{
    if (m_parameters.compare) {
        cv::cvtColor(frame, m_bgra, cv::COLOR_BGR2BGRA);
        showFrame();
        return;
    }
    const EffectPass pass(m_parameters, m_libraries.handle(), LibraryHost::effectLock());
    bool rendered = false;
    for (int i = 0; i < repetitions && !m_stopRequested; ++i) {
        const auto started = std::chrono::steady_clock::now();
        std::lock_guard<std::mutex> lock(LibraryHost::effectLock());
        rendered = true;
        if (!zr_fb_native_isInited(m_libraries.handle())) {
            // Shown as decoded; rendering it again would give the same picture.
            cv::cvtColor(frame, m_bgra, cv::COLOR_BGR2BGRA);
            break;
        }
        // The library works in place, and a paused frame is rendered again from the decoded one.
        frame.copyTo(m_working);
        pass.preview(m_working, m_nv12, m_mask);
        cv::cvtColor(m_nv12, m_bgra, cv::COLOR_YUV2BGRA_NV12);
        m_effectPassMicroseconds += std::chrono::duration_cast<std::chrono::microseconds>(
            std::chrono::steady_clock::now() - started).count();
        ++m_effectPassCount;
    }
    if (rendered)
        showFrame();
}

void PreviewLoop::showFrame()
{
    // The image wraps the working bytes; the one copy is the pixmap's. BGRA bytes are the
    // opaque 32-bit format the pixmap keeps, so it neither scans for alpha nor converts.
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "Format_RGB32 is B, G, R, A in memory");
    const QImage image(m_bgra.data, m_bgra.cols, m_bgra.rows, static_cast<int>(m_bgra.step),
                       QImage::Format_RGB32);
    m_output.show(QPixmap::fromImage(image));
}

void PreviewLoop::pace()
{
    const qint64 now = steadyMicroseconds();
    if (m_lastShownUs >= 0) {
        const qint64 elapsed = now - m_lastShownUs;
        if (elapsed >= 0 && elapsed < m_intervalUs)
            std::this_thread::sleep_for(std::chrono::microseconds(m_intervalUs - elapsed));
    }
    m_lastShownUs = steadyMicroseconds();
}

void PreviewLoop::waitWhilePaused(unsigned wakeSeen)
{
    // A wake counted since the frame began (a setter during the render) re-renders at once.
    std::unique_lock<std::mutex> lock(m_pauseLock);
    zr_effect_bg_video_state(VIDEO_PAUSE);
    m_wakeCondition.wait(lock, [&] { return m_wakeCount != wakeSeen || m_stopRequested; });
}

