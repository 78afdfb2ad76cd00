#include "ProcessBeauty.h"

#include "EffectPass.h"
#include "FrameDecoder.h"
#include "Nv12Conversion.h"
#include "TaskPool.h"

#include "app/AppSettings.h"
#include "platform/Platform.h"

#include "ZR_FaceBeautyLib.h"
#include "ZR_Portrait_SDK.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QThread>

#include <opencv2/imgproc.hpp>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

using namespace ZRPortraitCOM;

namespace {

constexpr int kBeautyInitOptions = 4;
constexpr int kPortraitInputSize = 256;
constexpr int kPreviewMode = 1;
constexpr int kExportMode = 0;
constexpr int kPrimingFrames = 4;
constexpr int kTailFrames = 4;
constexpr auto kPassGap = std::chrono::milliseconds(500);

void portraitLog(const char* text, int)
{
    qDebug().noquote() << QString("zr_effect log : ") + text;
}

void beautyLog(const char* text)
{
    qDebug().noquote() << QString("zr_beauty log : ") + text;
}

// The portrait library has no user pointer in its callback; there is one engine per process.
int g_backgroundHandle = -1;

void forwardBackground(const unsigned char* bgr, int width, int height)
{
    zr_fb_native_setBgBuffer(g_backgroundHandle, bgr, width, height);
}

void printLine(const QByteArray& line)
{
    std::printf("%s\n", line.constData());
    std::fflush(stdout);
}

void setEffectMode(int gpu, int mode)
{
    zr_effect_set_params(2, gpu != 0, false, mode, false, 0.07f, false);
}

int rateOrDefault(double rate)
{
    const int whole = static_cast<int>(rate);
    return whole > 0 ? whole : 30;
}

} // namespace

ProcessBeauty::ProcessBeauty(QObject* display)
    : m_display(display), m_modelsDir(QFile::encodeName(platform::executableDir() + "/models"))
{
    qRegisterMetaType<const char*>("const char*");
    initLibraries();
}

ProcessBeauty::~ProcessBeauty()
{
    // A writer still encoding refers to this engine: end it before anything goes away.
    m_queue.cancel();
    if (m_writer.valid())
        m_writer.wait();
    std::lock_guard<std::mutex> lock(effectLock());
    zr_fb_native_uninit(m_handle);
    zr_effect_bg_release();
}

std::mutex& ProcessBeauty::effectLock()
{
    static std::mutex lock;
    return lock;
}

void ProcessBeauty::initLibraries()
{
    const int handle = zr_fb_native_init(m_modelsDir.constData(), kBeautyInitOptions);
    if (handle < 0) {
        // Frames are then shown unprocessed.
        printLine("beauty init fail");
        m_handle = handle;
        return;
    }
    m_handle = handle;
    g_backgroundHandle = handle;
    printLine("beauty init success");
    const int state = AppSettings::instance().value("STATE", 0).toInt();
    qDebug().noquote() << "virtual state : " + QString::number(state) + ", gpu : " + QString::number(m_gpu);
    m_parameters.load();
    zr_effect_log(portraitLog, 2);
    zr_fb_native_log(beautyLog, 3);
    setEffectMode(m_gpu, kPreviewMode);
    const QByteArray dataDir = platform::dataDirectory().toUtf8();
    const int result = zr_effect_bg_init(m_modelsDir.constData(), kPortraitInputSize, dataDir.constData());
    printLine("zr_effect_bg_init return " + QByteArray::number(result));
    zr_effect_bg_callback(forwardBackground);
}

QSize ProcessBeauty::previewSize(const QSize& video, const QSize& display)
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

void ProcessBeauty::setDisplaySize(QSize size)
{
    m_displayWidth = size.width();
    m_displayHeight = size.height();
}

void ProcessBeauty::wake()
{
    {
        std::lock_guard<std::mutex> lock(m_pauseLock);
        ++m_wakeCount;
    }
    m_wakeCondition.notify_all();
}

unsigned ProcessBeauty::wakeCount()
{
    std::lock_guard<std::mutex> lock(m_pauseLock);
    return m_wakeCount;
}

void ProcessBeauty::pause()
{
    m_paused = true;
    zr_effect_bg_video_state(VIDEO_PAUSE);
}

void ProcessBeauty::resume()
{
    m_paused = false;
    wake();
    zr_effect_bg_video_state(VIDEO_PLAY);
}

void ProcessBeauty::connectDisplay()
{
    if (m_display)
        connect(this, SIGNAL(picUpdate(QPixmap)), m_display, SLOT(setPixmap(QPixmap)),
                Qt::ConnectionType(Qt::BlockingQueuedConnection | Qt::UniqueConnection));
}

void ProcessBeauty::disconnectDisplay()
{
    if (m_display)
        disconnect(this, SIGNAL(picUpdate(QPixmap)), m_display, SLOT(setPixmap(QPixmap)));
}

void ProcessBeauty::process(const char* path)
{
    qDebug().noquote() << QString("process : ") + QString::fromUtf8(path);
    connectDisplay();
    {
        std::lock_guard<std::mutex> lock(m_pauseLock);
        m_loopEnded = false;
    }
    m_stopRequested = false;
    m_paused = true;
    m_videoWidth = 0;
    m_lastShownMs = -1;
    bool firstFrame = true;
    while (!m_stopRequested)
        runPass(path, firstFrame);
    zr_fb_native_resetCache(m_handle);
    m_parameters.mattingActive = false;
    m_parameters.mattingJustEnabled = false;
    markLoopEnded();
    m_parameters.resetMattingFlags();
    qDebug() << "process end ";
}

void ProcessBeauty::markLoopEnded()
{
    // Marked under the pause lock, so a stop that checks the mark cannot miss the broadcast.
    {
        std::lock_guard<std::mutex> lock(m_pauseLock);
        m_loopEnded = true;
    }
    m_endedCondition.notify_all();
}

void ProcessBeauty::runPass(const char* path, bool& firstFrame)
{
    cv::VideoCapture capture(path);
    const QSize size = openPass(capture);
    if (capture.isOpened() && !size.isEmpty()) {
        m_mask.create(size.height(), size.width(), CV_8UC1);
        m_nv12.create(size.height() * 3 / 2, size.width(), CV_8UC1);
        FrameDecoder decoder(capture, cv::Size(size.width(), size.height()));
        playFrames(decoder, firstFrame);
    }
    emit onCostTime(0);
    capture.release();
    m_mask.release();
    if (!m_stopRequested) {
        // The gap before the file plays again; a stop ends it at once.
        std::unique_lock<std::mutex> lock(m_pauseLock);
        m_wakeCondition.wait_for(lock, kPassGap, [this] { return m_stopRequested.load(); });
    }
}

QSize ProcessBeauty::openPass(cv::VideoCapture& capture)
{
    if (m_videoWidth == 0) {
        m_videoWidth = static_cast<int>(capture.get(cv::CAP_PROP_FRAME_WIDTH));
        m_videoHeight = static_cast<int>(capture.get(cv::CAP_PROP_FRAME_HEIGHT));
        m_rate = rateOrDefault(capture.get(cv::CAP_PROP_FPS));
        m_intervalMs = 1000 / m_rate;
        emit onDuration(static_cast<long>(capture.get(cv::CAP_PROP_FRAME_COUNT)) / m_rate);
        qDebug().noquote() << "fps : " + QString::number(m_rate);
    }
    return previewSize(QSize(m_videoWidth, m_videoHeight), QSize(m_displayWidth, m_displayHeight));
}

void ProcessBeauty::playFrames(FrameDecoder& decoder, bool& firstFrame)
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
        renderFrame(frame, repetitions);
        pace();
        if (index % m_rate == 0)
            emit onCostTime(index / m_rate);
        QCoreApplication::processEvents();
        if (m_paused)
            waitWhilePaused(wakeSeen);
    }
}

void ProcessBeauty::renderFrame(const cv::Mat& frame, int repetitions)
{
    if (m_parameters.compare) {
        cv::cvtColor(frame, m_bgra, cv::COLOR_BGR2BGRA);
        showFrame();
        return;
    }
    const EffectPass pass(m_parameters, m_handle, effectLock());
    bool rendered = false;
    for (int i = 0; i < repetitions && !m_stopRequested; ++i) {
        const auto started = std::chrono::steady_clock::now();
        frame.copyTo(m_working);
        std::lock_guard<std::mutex> lock(effectLock());
        if (zr_fb_native_isInited(m_handle)) {
            pass.preview(m_working, m_nv12, m_mask);
            cv::cvtColor(m_nv12, m_bgra, cv::COLOR_YUV2BGRA_NV12);
            m_effectPassMicroseconds += std::chrono::duration_cast<std::chrono::microseconds>(
                std::chrono::steady_clock::now() - started).count();
            ++m_effectPassCount;
        } else {
            cv::cvtColor(m_working, m_bgra, cv::COLOR_BGR2BGRA);
        }
        rendered = true;
    }
    if (rendered)
        showFrame();
}

void ProcessBeauty::showFrame()
{
    // The image wraps the working bytes; the one copy is the pixmap's. BGRA bytes are the
    // opaque 32-bit format the pixmap keeps, so it neither scans for alpha nor converts.
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "Format_RGB32 is B, G, R, A in memory");
    const QImage image(m_bgra.data, m_bgra.cols, m_bgra.rows, static_cast<int>(m_bgra.step),
                       QImage::Format_RGB32);
    emit picUpdate(QPixmap::fromImage(image));
}

void ProcessBeauty::pace()
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (m_lastShownMs >= 0) {
        const qint64 elapsed = now - m_lastShownMs;
        if (elapsed >= 0 && elapsed < m_intervalMs)
            std::this_thread::sleep_for(std::chrono::milliseconds(m_intervalMs - elapsed));
    }
    m_lastShownMs = QDateTime::currentMSecsSinceEpoch();
}

void ProcessBeauty::waitWhilePaused(unsigned wakeSeen)
{
    // A wake counted since the frame began (a setter during the render) re-renders at once.
    std::unique_lock<std::mutex> lock(m_pauseLock);
    zr_effect_bg_video_state(VIDEO_PAUSE);
    m_wakeCondition.wait(lock, [&] { return m_wakeCount != wakeSeen || m_stopRequested; });
}

void ProcessBeauty::stopProcessing(bool clearBackgroundVideo, bool exiting)
{
    const bool wasRunning = !m_stopRequested.exchange(true);
    // At exit an export still running would keep the engine thread from ending.
    if (exiting)
        cancelSave();
    disconnectDisplay();
    wake();
    if (wasRunning) {
        std::unique_lock<std::mutex> lock(m_pauseLock);
        const auto limit = std::chrono::seconds(exiting ? 5 : 3);
        const bool ended = m_endedCondition.wait_for(lock, limit, [this] { return m_loopEnded; });
        lock.unlock();
        // At exit the GUI thread itself waits here, so a loop in the frame hand-off can never
        // finish it: releasing the hand-off lets the program end normally, settings written.
        if (!ended && !releaseFrameHandOff()) {
            qWarning() << "process : the preview did not stop";
            if (exiting)
                platform::killOwnProcessTree();
            rehomeOntoFreshThread();
        }
    }
    if (clearBackgroundVideo)
        zr_effect_bg_video(nullptr, 0, false);
}

bool ProcessBeauty::releaseFrameHandOff()
{
    // A loop blocked in the frame hand-off (the GUI thread busy) is released by dropping the
    // frame it waits to deliver; the loop then ends by itself and its thread stays usable.
    if (m_display)
        QCoreApplication::removePostedEvents(m_display, QEvent::MetaCall);
    std::unique_lock<std::mutex> lock(m_pauseLock);
    return m_endedCondition.wait_for(lock, std::chrono::seconds(1), [this] { return m_loopEnded; });
}

void ProcessBeauty::rehomeOntoFreshThread()
{
    QThread* stuck = thread();
    // Forced unwinding at the thread's next cancellation point releases the effect lock, which
    // is only ever held by a scoped guard.
    stuck->terminate();
    if (!stuck->wait(3000)) {
        qWarning() << "process : the old engine thread does not end, the engine stays on it";
        return;
    }
    // Qt cannot move an object away from a thread other than its own, but a finished QThread
    // starts again on a fresh system thread that serves the objects living in it: the engine,
    // its queued calls and the window's pointer to the thread all stay valid.
    stuck->start(QThread::InheritPriority);
    markLoopEnded();
    qWarning() << "process : the engine runs on a new thread";
}

void ProcessBeauty::setBeautyLevel(int item, float level)
{
    const int index = EffectParameters::itemIndex(item);
    m_parameters.setLevel(index, level);
    zr_fb_native_setBeautyLevel(m_handle, index, level);
    AppSettings::instance().setValue(EffectParameters::itemName(index), level);
    wake();
}

void ProcessBeauty::setAiLight(float level)
{
    m_parameters.aiLight = level;
    zr_fb_native_setAILight(m_handle, level);
    AppSettings::instance().setValue("AI_LIGHT", level);
    wake();
}

void ProcessBeauty::setPortraitLevel(int level)
{
    m_parameters.portraitLevel = static_cast<float>(level);
    AppSettings::instance().setValue("portrait_level", level);
    wake();
}

void ProcessBeauty::setPortraitType(int type)
{
    m_parameters.portraitType = type;
    m_parameters.updateMattingFlags();
    AppSettings::instance().setValue("portrait_type", type);
    wake();
}

void ProcessBeauty::setBackgroundType(int type)
{
    std::lock_guard<std::mutex> lock(effectLock());
    m_parameters.backgroundType = type;
    m_parameters.updateMattingFlags();
    zr_effect_bg_video_state(type == EffectParameters::ReplaceBackground ? VIDEO_PLAY : VIDEO_PAUSE);
    if (type == EffectParameters::NoBackground || type == EffectParameters::SwitchOnNoBackground) {
        m_parameters.backgroundVideoPath.clear();
        zr_effect_bg_resetCache();
        AppSettings::instance().remove("portrait_item");
    }
    wake();
}

void ProcessBeauty::setBackground(const char* path)
{
    if (!path)
        return;
    // A copy first: the caller may hand in the engine's own background video path.
    const QByteArray chosen(path);
    std::lock_guard<std::mutex> lock(effectLock());
    const QString suffix = QFileInfo(QFile::decodeName(chosen)).suffix().toLower();
    if (suffix == "mp4") {
        m_parameters.backgroundVideoPath = chosen;
        zr_effect_bg_video(chosen.constData(), 0, false);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } else if (suffix == "jpg" || suffix == "png") {
        m_parameters.backgroundVideoPath.clear();
        zr_effect_bg_pic(chosen.constData(), 0, false);
    }
    AppSettings::instance().setValue("portrait_item", QFile::decodeName(chosen));
    wake();
}

void ProcessBeauty::selectVirtualize()
{
    AppSettings::instance().setValue("portrait_item", "virtualize");
    wake();
}

void ProcessBeauty::setCompare(bool on)
{
    std::lock_guard<std::mutex> lock(effectLock());
    m_parameters.compare = on;
    wake();
}

float ProcessBeauty::beautyLevel(int item) const
{
    return m_parameters.level(item);
}

float ProcessBeauty::defaultBeautyLevel(int item) const
{
    return EffectParameters::defaultLevel(item);
}

float ProcessBeauty::aiLight() const
{
    return m_parameters.aiLight;
}

float ProcessBeauty::defaultAiLight() const
{
    return EffectParameters::defaultAiLight;
}

float ProcessBeauty::portraitLevel() const
{
    return m_parameters.portraitLevel;
}

void ProcessBeauty::cancelSave()
{
    m_queue.cancel();
}

void ProcessBeauty::save(const char* path)
{
    setEffectMode(m_gpu, kExportMode);
    m_queue.reset();
    const QString sourcePath = QString::fromUtf8(path);
    cv::VideoCapture capture(QFile::encodeName(sourcePath).toStdString());
    if (!capture.isOpened() || capture.get(cv::CAP_PROP_FRAME_WIDTH) < 2 || capture.get(cv::CAP_PROP_FRAME_HEIGHT) < 2) {
        qWarning().noquote() << "export : cannot read " + sourcePath;
        emit onSaveFailed("cannot read the video " + sourcePath);
        restorePreviewAfterExport();
        return;
    }
    m_backgroundCapture.reset();
    m_backgroundRatio = 1.0f;
    m_backgroundCounter = 0;
    double rate = capture.get(cv::CAP_PROP_FPS);
    if (rate <= 0)
        rate = 30;
    openBackgroundCapture(rate);

    ExportWriter::Job job;
    job.sourcePath = sourcePath;
    // The process id keeps two running instances off each other's temporary file.
    job.temporaryPath = platform::dataDirectory() + "/tempV_" + QString::number(QCoreApplication::applicationPid()) + ".mp4";
    job.outputPath = ExportWriter::outputPathFor(sourcePath, QDateTime::currentMSecsSinceEpoch());
    job.rate = rate;
    job.bitrate = static_cast<int>(capture.get(cv::CAP_PROP_BITRATE));
    job.width = static_cast<int>(capture.get(cv::CAP_PROP_FRAME_WIDTH)) / 2 * 2;
    job.height = static_cast<int>(capture.get(cv::CAP_PROP_FRAME_HEIGHT)) / 2 * 2;
    job.total = static_cast<int>(capture.get(cv::CAP_PROP_FRAME_COUNT)) + 1;
    job.preferPlatformEncoder = AppSettings::instance().value("msmf", false).toBool();
    QDir().mkpath(platform::dataDirectory());
    m_outputPath = QFile::encodeName(job.outputPath);
    m_writer = TaskPool::instance().enqueue([this, job] { runWriter(job); });

    const EffectPass pass(m_parameters, m_handle, effectLock());
    produceFrames(capture, cv::Size(job.width, job.height), pass);
    capture.release();
    m_queue.finishProduction();
    // The end of the export is known only once the writer has finished with the queue.
    m_writer.wait();
    m_mask.release();
    m_backgroundCapture.reset();
    if (m_queue.isCancelled()) {
        emit onSaveCanceled();
        m_queue.clear();
    }
    restorePreviewAfterExport();
}

void ProcessBeauty::produceFrames(cv::VideoCapture& capture, const cv::Size& size, const EffectPass& pass)
{
    if (size.empty())
        return;
    m_mask.create(size.height, size.width, CV_8UC1);
    FrameDecoder decoder(capture, size);
    // One frame taken ahead tells which frame is the last, so only that one is copied for the tail.
    cv::Mat frame, last;
    bool available = decoder.next(frame);
    int count = 0;
    while (available && !m_queue.isCancelled()) {
        cv::Mat next;
        available = decoder.next(next);
        if (!available)
            last = frame.clone();
        if (!exportFrame(std::move(frame), ++count, pass))
            return;
        frame = std::move(next);
    }
    for (int i = 0; i < kTailFrames && !last.empty(); ++i) {
        if (!exportFrame(last.clone(), ++count, pass))
            return;
    }
}

bool ProcessBeauty::exportFrame(cv::Mat&& frame, int count, const EffectPass& pass)
{
    if (m_queue.isCancelled() || m_queue.hasFailed())
        return false;
    // A fresh buffer each frame: the queue and the encoder hold on to it after the hand-off.
    cv::Mat nv12(frame.rows * 3 / 2, frame.cols, CV_8UC1);
    const bool composed = pass.exportFrame(frame, nv12, m_mask, count, [this, count] { feedBackgroundFrame(count); });
    // The library's first results prime it; the tail frames keep the length of the source.
    if (count <= kPrimingFrames)
        return true;
    // Without the library's result the frame goes out as process left it, never as stale pixels.
    if (!composed)
        Nv12Conversion::fromBgr(frame, nv12);
    return m_queue.push(std::move(nv12));
}

void ProcessBeauty::openBackgroundCapture(double rate)
{
    const QByteArray& path = m_parameters.backgroundVideoPath;
    if (path.isEmpty())
        return;
    m_backgroundCapture = std::make_unique<cv::VideoCapture>(path.toStdString());
    const int backgroundRate = rateOrDefault(m_backgroundCapture->get(cv::CAP_PROP_FPS));
    m_backgroundRatio = static_cast<float>(rate / backgroundRate);
    qDebug().noquote() << "input fps : " + QString::number(rate) + ", bg fps : " + QString::number(backgroundRate);
}

void ProcessBeauty::feedBackgroundFrame(int count)
{
    if (!m_backgroundCapture)
        return;
    const int target = static_cast<int>(std::lround(count / m_backgroundRatio));
    cv::Mat background;
    while (m_backgroundCounter <= target) {
        if (!m_backgroundCapture->read(background)) {
            // A background shorter than the source starts over.
            m_backgroundCapture->open(m_parameters.backgroundVideoPath.toStdString());
            if (!m_backgroundCapture->read(background))
                break;
        }
        ++m_backgroundCounter;
    }
    if (background.empty())
        zr_effect_bg_mem(nullptr, 0, 0, 0, false);
    else
        zr_effect_bg_mem(background.data, background.cols, background.rows, 0, false);
}

void ProcessBeauty::runWriter(const ExportWriter::Job& job)
{
    ExportWriter writer(m_queue, job, [this](float percent) { emit onSaveProgress(percent); });
    switch (writer.run()) {
    case ExportWriter::Outcome::Finished:
        emit onSaveProgress(1.0f);
        emit onSaveOver(m_outputPath.constData());
        break;
    case ExportWriter::Outcome::Failed:
        emit onSaveFailed(writer.failure());
        break;
    case ExportWriter::Outcome::Cancelled:
        break;
    }
}

void ProcessBeauty::restorePreviewAfterExport()
{
    if (!m_parameters.backgroundVideoPath.isEmpty()) {
        // The portrait library plays the background again for the preview.
        const QByteArray background = m_parameters.backgroundVideoPath;
        setBackground(background.constData());
        m_paused = true;
        zr_effect_bg_video_state(VIDEO_PAUSE);
    }
    setEffectMode(m_gpu, kPreviewMode);
}
