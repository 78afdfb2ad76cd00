#include "ExportWriter.h"

#include "AudioMuxer.h"
#include "FrameQueue.h"
#include "H264Writer.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>

ExportWriter::ExportWriter(FrameQueue& queue, const Job& job, std::function<void(float)> progress)
    : m_queue(queue), m_job(job), m_progress(std::move(progress))
{
}

QString ExportWriter::outputPathFor(const QString& sourcePath, qint64 msSinceEpoch)
{
    // The absolute directory: a bare file name must not put the output at the file system root.
    const QFileInfo source(sourcePath);
    return source.absolutePath() + "/Lumetra_" + QString::number(msSinceEpoch) + "_" + source.fileName();
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
    // Each process has its own temporary file; none is left behind to pile up.
    QFile::remove(m_job.temporaryPath);
    return outcome;
}

ExportWriter::Outcome ExportWriter::encode()
{
    qInfo().noquote() << "output : " + m_job.outputPath + ", bitrate : " + QString::number(m_job.bitrate);
    QFile::remove(m_job.temporaryPath);
    H264Writer writer;
    if (!openWriter(writer))
        return fail(writer.error());
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
    if (QFileInfo(m_job.temporaryPath).size() == 0)
        return fail("the encoder wrote nothing into " + m_job.temporaryPath);
    QFile::remove(m_job.outputPath);
    if (!QFile::copy(m_job.temporaryPath, m_job.outputPath))
        return fail("cannot write " + m_job.outputPath);
    AudioMuxer::mux(m_job.temporaryPath, m_job.sourcePath, m_job.outputPath);
    qInfo() << "save end ";
    return Outcome::Finished;
}
