#include "ExportWriter.h"

#include "FrameQueue.h"
#include "H264Writer.h"
#include "VideoSource.h"

#include "platform/Platform.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

constexpr int kMaxNameAttempts = 1000;
const char* const kTemporaryPrefix = "tempV_";
const char* const kMuxPrefix = "muxV_";
const char* const kSoundPrefix = "tempA_";

QString perProcessPath(const QString& dir, const char* prefix)
{
    // The process id keeps two running instances off each other's files.
    return dir + "/" + prefix + QString::number(QCoreApplication::applicationPid()) + ".mp4";
}

// A file closed properly: it opens and its index holds every frame.
bool holdsFrames(const QString& path, int frames)
{
    return VideoSource::indexedFrameCount(path) == frames;
}

} // namespace

ExportWriter::ExportWriter(FrameQueue& queue, const Job& job, std::function<void(float)> progress)
    : m_queue(queue), m_job(job), m_muxer(job.sourcePath, job.soundPath), m_progress(std::move(progress))
{
}

QString ExportWriter::outputPathFor(const QString& sourcePath, qint64 msSinceEpoch, int attempt)
{
    // The absolute directory: a bare file name must not put the output at the file system root.
    const QFileInfo source(sourcePath);
    // The output is always MP4; a source of another container keeps its name without its suffix.
    const bool mp4 = source.suffix().compare("mp4", Qt::CaseInsensitive) == 0;
    QString base = source.completeBaseName();
    const QString suffix = mp4 ? "." + source.suffix() : QString(".mp4");
    const QString prefix = "Lumetra_" + QString::number(msSinceEpoch) + "_";
    const QString counter = attempt > 0 ? "_" + QString::number(attempt) : QString();
    const auto name = [&] { return prefix + base + counter + suffix; };
    while (!base.isEmpty() && QFile::encodeName(name()).size() > platform::maxFileNameBytes())
        base.chop(base.size() > 1 && base.at(base.size() - 1).isLowSurrogate() ? 2 : 1);
    return source.absolutePath() + "/" + name();
}

QString ExportWriter::temporaryPathIn(const QString& dataDirectory)
{
    return perProcessPath(dataDirectory, kTemporaryPrefix);
}

QString ExportWriter::muxPathIn(const QString& dataDirectory)
{
    return perProcessPath(dataDirectory, kMuxPrefix);
}

QString ExportWriter::soundPathIn(const QString& dataDirectory)
{
    return perProcessPath(dataDirectory, kSoundPrefix);
}

void ExportWriter::removeStaleFiles(const QString& dataDirectory)
{
    static const QRegularExpression pattern("^(tempV|muxV|tempA)_(\\d+)\\.mp4$");
    QDir dir(dataDirectory);
    for (const QString& name : dir.entryList({"tempV_*.mp4", "muxV_*.mp4", "tempA_*.mp4"}, QDir::Files)) {
        const QRegularExpressionMatch match = pattern.match(name);
        if (!match.hasMatch() || platform::processIsRunning(match.captured(2).toLongLong()))
            continue;
        if (dir.remove(name))
            qInfo().noquote() << "export : removed " + name + " left by an ended run";
    }
}

bool ExportWriter::openWriter(H264Writer& writer) const
{
    if (m_job.preferPlatformEncoder)
        qInfo() << "export : msmf set, but this system has no platform H.264 encoder, writing with libx264";
    H264Writer::Settings settings;
    settings.width = m_job.width;
    settings.height = m_job.height;
    settings.rate = m_job.rate;
    settings.bitsPerSecond = H264Writer::exportBitrate(m_job.bitrate, m_job.width, m_job.height, m_job.rate);
    settings.besideEffects = m_job.effectsRun;
    qInfo().noquote() << "export : encoding at " + QString::number(settings.bitsPerSecond / 1000) + " kbit/s, preset "
                             + settings.preset;
    return writer.open(m_job.temporaryPath, settings);
}

ExportWriter::Outcome ExportWriter::fail(const QString& message)
{
    qWarning() << "export : failed :" << message;
    m_failure = message;
    m_queue.fail();
    return Outcome::Failed;
}

ExportWriter::Outcome ExportWriter::run()
{
    const Outcome outcome = encode();
    m_muxer.stopSound();
    // Each process has its own temporary files; none is left behind to pile up.
    QFile::remove(m_job.temporaryPath);
    QFile::remove(m_job.muxPath);
    QFile::remove(m_job.soundPath);
    return outcome;
}

ExportWriter::Outcome ExportWriter::encode()
{
    qInfo().noquote() << "output : " + outputPathFor(m_job.sourcePath, m_job.startedMs) + ", bitrate : "
            + QString::number(m_job.bitrate);
    QFile::remove(m_job.temporaryPath);
    H264Writer writer;
    if (!openWriter(writer))
        return fail(writer.error());
    if (m_job.sourceHasAudio) {
        QFile::remove(m_job.soundPath);
        QString error;
        if (!m_muxer.startSound(&error))
            return fail(error);
    }
    int written = 0;
    cv::Mat nv12;
    // The frame is encoded outside the queue lock, so the producer keeps working meanwhile.
    while (m_queue.pop(nv12)) {
        if (!writer.write(nv12))
            return fail(writer.error());
        ++written;
        m_progress(static_cast<float>(written) / static_cast<float>(m_job.total));
    }
    if (m_queue.isCancelled())
        return Outcome::Cancelled;
    if (m_queue.hasFailed())
        return fail("the frames could not be produced");
    if (written > 0 && !writer.finish())
        return fail(writer.error());
    return finish(written);
}

ExportWriter::Outcome ExportWriter::finish(int written)
{
    if (written == 0)
        return fail("the source gave no frame to export");
    QString result = m_job.temporaryPath;
    const Outcome sound = addSound(written, result);
    if (sound != Outcome::Finished)
        return sound;
    if (!placeOutput(result))
        return Outcome::Failed;
    qInfo() << "save end ";
    return Outcome::Finished;
}

ExportWriter::Outcome ExportWriter::addSound(int written, QString& result)
{
    if (!m_job.sourceHasAudio) {
        qInfo().noquote() << "export : " + m_job.sourcePath + " has no sound, the export has none either";
        return Outcome::Finished;
    }
    QString error;
    QFile::remove(m_job.muxPath);
    const auto cancelled = [this] { return m_queue.isCancelled(); };
    switch (m_muxer.mux(m_job.temporaryPath, m_job.muxPath, cancelled, &error)) {
    case AudioMuxer::Result::Cancelled:
        return Outcome::Cancelled;
    case AudioMuxer::Result::Failed:
        return fail(error);
    case AudioMuxer::Result::Muxed:
        break;
    }
    // ffmpeg's own output is checked as the encoder's writes are: a full disk leaves a file
    // without its index, which does not open.
    if (!holdsFrames(m_job.muxPath, written))
        return fail("the sound could not be added: " + m_job.muxPath + " is incomplete (is the disk full?)");
    result = m_job.muxPath;
    return Outcome::Finished;
}

bool ExportWriter::placeOutput(const QString& result)
{
    QString error;
    for (int attempt = 0; attempt < kMaxNameAttempts; ++attempt) {
        const QString candidate = outputPathFor(m_job.sourcePath, m_job.startedMs, attempt);
        if (QFileInfo::exists(candidate))
            continue;
        switch (platform::moveFileNoReplace(result, candidate, &error)) {
        case platform::MoveResult::Moved:
            m_outputPath = candidate;
            return true;
        case platform::MoveResult::TargetExists:
            continue;
        case platform::MoveResult::Failed:
            fail(error);
            return false;
        }
    }
    fail("no free name for the export beside " + m_job.sourcePath);
    return false;
}
