#include "VideoSource.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>

#include <opencv2/core.hpp>

#include <cmath>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/display.h>
}

namespace {

// The display matrix holds the counter-clockwise angle players turn the picture by.
int clockwiseQuarterTurns(const AVStream* stream)
{
    const uint8_t* matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr);
    if (!matrix)
        return 0;
    const double angle = av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix));
    if (std::isnan(angle))
        return 0;
    const int clockwise = static_cast<int>(std::lround(-angle / 90.0)) * 90;
    return ((clockwise % 360) + 360) % 360;
}

} // namespace

bool VideoSource::open(const QString& path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    m_rotation = 0;
    m_hasAudio = false;
    if (!m_capture.open(QFile::encodeName(absolute).toStdString(), cv::CAP_FFMPEG))
        return false;
    // The rotation is applied here; a decoder that turned frames itself would turn them twice.
    m_capture.set(cv::CAP_PROP_ORIENTATION_AUTO, 0);
    const double reported = m_capture.get(cv::CAP_PROP_FPS);
    m_rate = std::isfinite(reported) && reported > 0 ? reported : fallbackRate;
    readStreamFacts(absolute);
    return true;
}

void VideoSource::readStreamFacts(const QString& absolutePath)
{
    AVFormatContext* format = nullptr;
    const QByteArray url = "file:" + QFile::encodeName(absolutePath);
    if (avformat_open_input(&format, url.constData(), nullptr, nullptr) < 0) {
        qWarning().noquote() << "video : cannot read the streams of " + absolutePath;
        return;
    }
    bool videoSeen = false;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* stream = format->streams[i];
        const AVMediaType type = stream->codecpar->codec_type;
        if (type == AVMEDIA_TYPE_AUDIO)
            m_hasAudio = true;
        if (type == AVMEDIA_TYPE_VIDEO && !videoSeen) {
            // The first video stream is the one the decoder reads.
            videoSeen = true;
            m_rotation = clockwiseQuarterTurns(stream);
        }
    }
    avformat_close_input(&format);
}

bool VideoSource::read(cv::Mat& frame)
{
    if (!m_capture.read(frame) || frame.empty())
        return false;
    if (m_rotation == 0)
        return true;
    // Turning cannot work in place on a frame that is not square.
    cv::Mat upright;
    const int code = m_rotation == 90 ? cv::ROTATE_90_CLOCKWISE
        : m_rotation == 180          ? cv::ROTATE_180
                                     : cv::ROTATE_90_COUNTERCLOCKWISE;
    cv::rotate(frame, upright, code);
    frame = upright;
    return true;
}

cv::Size VideoSource::frameSize() const
{
    const int width = static_cast<int>(m_capture.get(cv::CAP_PROP_FRAME_WIDTH));
    const int height = static_cast<int>(m_capture.get(cv::CAP_PROP_FRAME_HEIGHT));
    if (m_rotation == 90 || m_rotation == 270)
        return cv::Size(height, width);
    return cv::Size(width, height);
}

int VideoSource::frameCount() const
{
    const double count = m_capture.get(cv::CAP_PROP_FRAME_COUNT);
    return std::isfinite(count) && count > 0 ? static_cast<int>(count) : 0;
}

int VideoSource::bitrate() const
{
    const double kbits = m_capture.get(cv::CAP_PROP_BITRATE);
    return std::isfinite(kbits) && kbits > 0 ? static_cast<int>(kbits) : 0;
}
