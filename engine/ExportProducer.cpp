#include "ExportProducer.h"

#include "EffectParameters.h"
#include "EffectPass.h"
#include "FrameDecoder.h"
#include "LibraryHost.h"
#include "Nv12Conversion.h"
#include "TaskPool.h"
#include "VideoSource.h"

#include "app/AppSettings.h"
#include "app/SettingsKeys.h"
#include "platform/Platform.h"

#include "ZR_Portrait_SDK.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cmath>

using namespace ZRPortraitCOM;


ExportProducer::ExportProducer(const EffectParameters& parameters, const LibraryHost& libraries, Output output)
    : m_parameters(parameters), m_libraries(libraries), m_output(std::move(output))
{
}

ExportProducer::~ExportProducer()
{
    m_queue.cancel();
    if (m_writer.valid())
        m_writer.wait();
}

void ExportProducer::cancel()
{
    m_queue.cancel();
}

void ExportProducer::run(const char* path)
{
    m_libraries.setPreviewMode(false);
    m_queue.reset();
    const QString sourcePath = QFileInfo(QString::fromUtf8(path)).absoluteFilePath();
    VideoSource capture;
    const bool opened = capture.open(sourcePath);
    if (!opened || capture.frameSize().width < 2 || capture.frameSize().height < 2) {
        qWarning().noquote() << "export : cannot read " + sourcePath;
        m_output.failed("cannot read the video " + sourcePath);
        return;
    }
    for (const QString& problem : m_libraries.problems())
        qWarning().noquote() << "export : effects limited : " + problem;
    m_backgroundCapture.reset();
    m_backgroundRatio = 1.0f;
    m_backgroundCounter = 0;
    EffectPass pass(m_parameters, m_libraries.handle(), LibraryHost::effectLock());
    if (!openBackgroundCapture(capture.rate()))
        dropBackground(pass, "video", m_parameters.backgroundVideoPath);
    if (m_parameters.backgroundType == EffectParameters::ReplaceBackground
        && !m_parameters.unreadablePicturePath.isEmpty())
        dropBackground(pass, "picture", m_parameters.unreadablePicturePath);

    const QString dataDir = platform::dataDirectory();
    ExportWriter::Job job;
    job.sourcePath = sourcePath;
    job.temporaryPath = ExportWriter::temporaryPathIn(dataDir);
    job.muxPath = ExportWriter::muxPathIn(dataDir);
    job.soundPath = ExportWriter::soundPathIn(dataDir);
    job.startedMs = QDateTime::currentMSecsSinceEpoch();
    job.rate = capture.rate();
    job.bitrate = capture.bitrate();
    job.width = capture.frameSize().width / 2 * 2;
    job.height = capture.frameSize().height / 2 * 2;
    job.total = capture.frameCount() + 1;
    job.sourceHasAudio = capture.hasAudio();
    // Neutral settings skip the libraries, whose face analysis would still run for nothing. The
    // settings an export starts with hold for all of it.
    const bool untouched = m_parameters.changesNoPixel();
    job.effectsRun = !untouched;
    job.preferPlatformEncoder = AppSettings::instance().value(SettingsKeys::msmf, SettingsKeys::msmfDefault).toBool();
    QDir().mkpath(dataDir);
    m_writer = TaskPool::instance().enqueue([this, job] { runWriter(job); });

    produceFrames(capture, cv::Size(job.width, job.height), untouched, pass);
    capture.release();
    m_queue.finishProduction();
    // The end of the export is known only once the writer has finished with the queue.
    m_writer.wait();
    m_mask.release();
    m_backgroundCapture.reset();
    if (m_queue.isCancelled()) {
        m_output.cancelled();
        m_queue.clear();
    }
}

void ExportProducer::produceFrames(VideoSource& capture, const cv::Size& size, bool untouched, EffectPass& pass)
{
    if (size.empty())
        return;
    m_mask.create(size.height, size.width, CV_8UC1);
    // Untouched, the decoder hands over the encoder's own NV12, with no BGR on the way.
    // Decoding runs ahead on its own thread while the effects work on the frame before.
    FrameDecoder decoder(capture, size, untouched ? VideoSource::Layout::Nv12 : VideoSource::Layout::Bgr);
    // The effect libraries answer every frame with its own result: no result is held back or
    // dropped, so the export is exactly as long as its source and in step with its sound.
    cv::Mat frame;
    int count = 0;
    while (!m_queue.isCancelled() && decoder.next(frame)) {
        const bool handedOver = untouched ? m_queue.push(std::move(frame)) : exportFrame(std::move(frame), ++count, pass);
        if (!handedOver)
            return;
    }
}

bool ExportProducer::exportFrame(cv::Mat&& frame, int count, EffectPass& pass)
{
    if (m_queue.isCancelled() || m_queue.hasFailed())
        return false;
    // A fresh buffer each frame: the queue and the encoder hold on to it after the hand-off.
    cv::Mat nv12(frame.rows * 3 / 2, frame.cols, CV_8UC1);
    const bool composed
        = pass.exportFrame(frame, nv12, m_mask, [this, count, &pass] { feedBackgroundFrame(count, pass); });
    // Without the library's result the frame goes out as it is (or as process left it), never as
    // stale pixels.
    if (!composed)
        Nv12Conversion::fromBgr(frame, nv12);
    return m_queue.push(std::move(nv12));
}

bool ExportProducer::openBackgroundCapture(double rate)
{
    const QByteArray& path = m_parameters.backgroundVideoPath;
    if (path.isEmpty() || m_parameters.backgroundType != EffectParameters::ReplaceBackground)
        return true;
    m_backgroundCapture = std::make_unique<VideoSource>();
    cv::Mat first;
    if (!openBackground() || !m_backgroundCapture->read(first))
        return false;
    // From its first frame again, in the export's own order.
    openBackground();
    const double backgroundRate = m_backgroundCapture->rate();
    m_backgroundRatio = static_cast<float>(rate / backgroundRate);
    qDebug().noquote() << "input fps : " + QString::number(rate) + ", bg fps : " + QString::number(backgroundRate);
    return true;
}

bool ExportProducer::openBackground()
{
    return m_backgroundCapture->open(QFile::decodeName(m_parameters.backgroundVideoPath));
}

void ExportProducer::dropBackground(EffectPass& pass, const QString& kind, const QByteArray& path)
{
    const QString what = "the background " + kind + " " + QFile::decodeName(path);
    qWarning().noquote() << "export : " + what + " cannot be read, exporting without it";
    m_backgroundCapture.reset();
    pass.dropBackground();
    m_output.warning(what + " cannot be read: the export has no background");
}

void ExportProducer::feedBackgroundFrame(int count, EffectPass& pass)
{
    if (!m_backgroundCapture)
        return;
    const int target = static_cast<int>(std::lround(count / m_backgroundRatio));
    cv::Mat background;
    while (m_backgroundCounter <= target) {
        if (!m_backgroundCapture->read(background)) {
            // A background shorter than the source starts over.
            if (!openBackground() || !m_backgroundCapture->read(background)) {
                dropBackground(pass, "video", m_parameters.backgroundVideoPath);
                return;
            }
        }
        ++m_backgroundCounter;
    }
    if (background.empty())
        zr_effect_bg_mem(nullptr, 0, 0, 0, false);
    else
        zr_effect_bg_mem(background.data, background.cols, background.rows, 0, false);
}

void ExportProducer::runWriter(const ExportWriter::Job& job)
{
    ExportWriter writer(m_queue, job, m_output.progress);
    switch (writer.run()) {
    case ExportWriter::Outcome::Finished:
        m_outputPath = QFile::encodeName(writer.outputPath());
        m_output.progress(1.0f);
        m_output.finished(m_outputPath.constData());
        break;
    case ExportWriter::Outcome::Failed:
        m_output.failed(writer.failure());
        break;
    case ExportWriter::Outcome::Cancelled:
        break;
    }
}

