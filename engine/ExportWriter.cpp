#include "ExportWriter.h"

#include "AudioMuxer.h"
#include "FrameQueue.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>

#include <opencv2/videoio.hpp>

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

bool ExportWriter::openWith(cv::VideoWriter& writer, int apiPreference) const
{
    const std::vector<int> parameters{cv::VIDEOWRITER_PROP_HW_ACCELERATION, cv::VIDEO_ACCELERATION_ANY};
    return writer.open(QFile::encodeName(m_job.temporaryPath).toStdString(), apiPreference,
                       cv::VideoWriter::fourcc('a', 'v', 'c', '1'), m_job.rate,
                       cv::Size(m_job.width, m_job.height), parameters);
}

bool ExportWriter::openWriter(cv::VideoWriter& writer) const
{
    // This OpenCV has no writer bitrate key (key 9 makes open() fail): the encoder keeps its own
    // constant-quality setting.
    qInfo() << "export : the writer takes no bitrate here, bitrate" << m_job.bitrate << "not passed";
    if (m_job.preferPlatformEncoder) {
        if (openWith(writer, cv::CAP_GSTREAMER)) {
            qInfo() << "export : msmf set, writing with GStreamer";
            return true;
        }
        qInfo() << "export : msmf set, but GStreamer cannot encode H.264 here, writing with FFmpeg";
    }
    return openWith(writer, cv::CAP_FFMPEG);
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
    cv::VideoWriter writer;
    if (!openWriter(writer))
        return fail("cannot open an H.264 video writer for " + m_job.temporaryPath);
    int written = 0;
    cv::Mat frame;
    // The frame is encoded outside the queue lock, so the producer keeps decoding meanwhile.
    while (m_queue.pop(frame)) {
        writer.write(frame);
        ++written;
        m_progress(static_cast<float>(written) / static_cast<float>(m_job.total));
    }
    writer.release();
    if (m_queue.isCancelled())
        return Outcome::Cancelled;
    if (m_queue.hasFailed())
        return fail("the frames could not be produced");
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
