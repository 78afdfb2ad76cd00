#include "ProcessBeauty.h"

#include "ExportWriter.h"

#include "platform/Platform.h"

#include "ZR_FaceBeautyLib.h"
#include "ZR_Portrait_SDK.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <chrono>
#include <thread>

using namespace ZRPortraitCOM;

ProcessBeauty::ProcessBeauty(QObject* display)
    : m_display(display)
    , m_libraries(QFile::encodeName(platform::executableDir() + "/models"))
    , m_preview(m_parameters, m_libraries, previewOutput())
    , m_export(m_parameters, m_libraries, exportOutput())
{
    qRegisterMetaType<const char*>("const char*");
    ExportWriter::removeStaleFiles(platform::dataDirectory());
    // The loaded levels reach the library through the setters, when the window sets its sliders.
    if (m_libraries.started())
        m_store.load(m_parameters);
}

ProcessBeauty::~ProcessBeauty() = default;

PreviewLoop::Output ProcessBeauty::previewOutput()
{
    return {[this](const QPixmap& pixmap) { emit picUpdate(pixmap); },
            [this](long seconds) { emit onDuration(seconds); },
            [this](long seconds) { emit onCostTime(seconds); }};
}

ExportProducer::Output ProcessBeauty::exportOutput()
{
    return {[this](float percent) { emit onSaveProgress(percent); },
            [this](const char* path) { emit onSaveOver(path); },
            [this](const QString& message) { emit onSaveFailed(message); },
            [this](const QString& message) { emit onSaveWarning(message); },
            [this] { emit onSaveCanceled(); }};
}

std::mutex& ProcessBeauty::effectLock()
{
    return LibraryHost::effectLock();
}

QSize ProcessBeauty::previewSize(const QSize& video, const QSize& display)
{
    return PreviewLoop::previewSize(video, display);
}

void ProcessBeauty::setDisplaySize(QSize size)
{
    m_preview.setDisplaySize(size);
}

void ProcessBeauty::pause()
{
    m_preview.setPaused(true);
    zr_effect_bg_video_state(VIDEO_PAUSE);
}

void ProcessBeauty::resume()
{
    m_preview.setPaused(false);
    m_preview.wake();
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
    m_preview.run(path);
    qDebug() << "process end ";
}

void ProcessBeauty::stopProcessing(bool clearBackgroundVideo, bool exiting)
{
    const bool wasRunning = m_preview.requestStop();
    // At exit an export still running would keep the engine thread from ending.
    if (exiting)
        cancelSave();
    disconnectDisplay();
    if (wasRunning) {
        const bool ended = m_preview.waitUntilEnded(std::chrono::seconds(exiting ? 5 : 3));
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
    return m_preview.waitUntilEnded(std::chrono::seconds(1));
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
    m_preview.markEnded();
    qWarning() << "process : the engine runs on a new thread";
}

void ProcessBeauty::setBeautyLevel(int item, float level)
{
    const int index = EffectParameters::itemIndex(item);
    // A level that did not change is not written: the window's start-up pass would otherwise
    // write back every value it read, also one the store held out of range.
    const bool changed = m_parameters.level(index) != level;
    m_parameters.setLevel(index, level);
    zr_fb_native_setBeautyLevel(m_libraries.handle(), index, level);
    if (changed)
        m_store.writeLevel(index, level);
    m_preview.wake();
}

void ProcessBeauty::setAiLight(float level)
{
    const bool changed = m_parameters.aiLight != level;
    m_parameters.aiLight = level;
    zr_fb_native_setAILight(m_libraries.handle(), level);
    if (changed)
        m_store.writeAiLight(level);
    m_preview.wake();
}

void ProcessBeauty::setPortraitLevel(int level)
{
    const bool changed = m_parameters.portraitLevel != static_cast<float>(level);
    m_parameters.portraitLevel = static_cast<float>(level);
    if (changed)
        m_store.writePortraitLevel(level);
    m_preview.wake();
}

void ProcessBeauty::setPortraitType(int type)
{
    const bool changed = m_parameters.portraitType != type;
    m_parameters.portraitType = type;
    m_parameters.updateMattingFlags();
    if (changed)
        m_store.writePortraitType(type);
    m_preview.wake();
}

void ProcessBeauty::setBackgroundType(int type)
{
    std::lock_guard<std::mutex> lock(LibraryHost::effectLock());
    m_parameters.backgroundType = type;
    m_parameters.updateMattingFlags();
    zr_effect_bg_video_state(type == EffectParameters::ReplaceBackground ? VIDEO_PLAY : VIDEO_PAUSE);
    if (type == EffectParameters::NoBackground || type == EffectParameters::SwitchOnNoBackground) {
        // The library lets go of a background video too: it may be a file about to be deleted.
        if (!m_parameters.backgroundVideoPath.isEmpty())
            zr_effect_bg_video(nullptr, 0, false);
        m_parameters.backgroundVideoPath.clear();
        zr_effect_bg_resetCache();
        m_store.removeBackgroundChoice();
    }
    m_preview.wake();
}

void ProcessBeauty::setBackground(const char* path)
{
    if (!path)
        return;
    // A copy first: the caller may hand in the engine's own background video path.
    const QByteArray chosen(path);
    std::lock_guard<std::mutex> lock(LibraryHost::effectLock());
    const QString suffix = QFileInfo(QFile::decodeName(chosen)).suffix().toLower();
    m_parameters.unreadablePicturePath.clear();
    if (suffix == "mp4") {
        m_parameters.backgroundVideoPath = chosen;
        zr_effect_bg_video(chosen.constData(), 0, false);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } else if (suffix == "jpg" || suffix == "png") {
        m_parameters.backgroundVideoPath.clear();
        if (zr_effect_bg_pic(chosen.constData(), 0, false) != 0) {
            m_parameters.unreadablePicturePath = chosen;
            qWarning().noquote() << "background : cannot read the picture " + QFile::decodeName(chosen);
        }
    }
    m_store.writeBackgroundChoice(QFile::decodeName(chosen));
    m_preview.wake();
}

void ProcessBeauty::selectVirtualize()
{
    m_store.writeBackgroundChoice("virtualize");
    m_preview.wake();
}

void ProcessBeauty::setCompare(bool on)
{
    std::lock_guard<std::mutex> lock(LibraryHost::effectLock());
    m_parameters.compare = on;
    m_preview.wake();
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
    m_export.cancel();
}

void ProcessBeauty::save(const char* path)
{
    m_export.run(path);
    if (!m_parameters.backgroundVideoPath.isEmpty()) {
        // The portrait library plays the background again for the preview.
        const QByteArray background = m_parameters.backgroundVideoPath;
        setBackground(background.constData());
        m_preview.setPaused(true);
        zr_effect_bg_video_state(VIDEO_PAUSE);
    }
    m_libraries.setPreviewMode(true);
}
