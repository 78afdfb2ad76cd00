#include "VideoSource.h"

#include <QFile>
#include <QFileInfo>

#include <opencv2/core.hpp>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

namespace {

// Frames from the source's own size come through the scaler's exact conversions, as OpenCV's
// decoder had them; frames to another size are filtered over the source pixels they cover.
constexpr int kSameSizeFlags = SWS_BICUBIC;
constexpr int kScaledFlags = SWS_AREA;

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

// The first video stream that is a video and not a cover picture.
int firstVideoStream(const AVFormatContext* format)
{
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* stream = format->streams[i];
        if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC))
            return static_cast<int>(i);
    }
    return -1;
}

bool openContainer(const QString& path, AVFormatContext** format)
{
    // The libraries' notes (the encoder's capabilities, each damaged packet of a broken file)
    // would fill the program's error output; errors still come through.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_ERROR); });
    const QByteArray url = "file:" + QFile::encodeName(QFileInfo(path).absoluteFilePath());
    return avformat_open_input(format, url.constData(), nullptr, nullptr) >= 0;
}

double positiveOr(double value, double fallback)
{
    return std::isfinite(value) && value > 0 ? value : fallback;
}

int rotationCode(int clockwise)
{
    return clockwise == 90 ? cv::ROTATE_90_CLOCKWISE : clockwise == 180 ? cv::ROTATE_180 : cv::ROTATE_90_COUNTERCLOCKWISE;
}

} // namespace

VideoSource::VideoSource() = default;

VideoSource::~VideoSource()
{
    release();
}

int VideoSource::indexedFrameCount(const QString& path)
{
    AVFormatContext* format = nullptr;
    if (!openContainer(path, &format))
        return -1;
    const int stream = firstVideoStream(format);
    const int frames = stream < 0 ? -1 : static_cast<int>(format->streams[stream]->nb_frames);
    avformat_close_input(&format);
    return frames;
}

bool VideoSource::open(const QString& path)
{
    release();
    if (!openContainer(path, &m_format))
        return false;
    const int stream = avformat_find_stream_info(m_format, nullptr) < 0 ? -1 : firstVideoStream(m_format);
    if (stream < 0 || !openDecoder(stream)) {
        release();
        return false;
    }
    readStreamFacts(stream);
    return true;
}

bool VideoSource::openDecoder(int stream)
{
    const AVStream* video = m_format->streams[stream];
    const AVCodec* decoder = avcodec_find_decoder(video->codecpar->codec_id);
    if (!decoder)
        return false;
    m_codec = avcodec_alloc_context3(decoder);
    m_packet = av_packet_alloc();
    m_decoded = av_frame_alloc();
    if (!m_codec || !m_packet || !m_decoded || avcodec_parameters_to_context(m_codec, video->codecpar) < 0)
        return false;
    m_codec->pkt_timebase = video->time_base;
    // Frame threads: each core decodes a picture of its own.
    m_codec->thread_count = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 16u));
    m_codec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    if (avcodec_open2(m_codec, decoder, nullptr) < 0)
        return false;
    m_stream = stream;
    return true;
}

void VideoSource::readStreamFacts(int stream)
{
    const AVStream* video = m_format->streams[stream];
    m_rate = positiveOr(av_q2d(video->avg_frame_rate), positiveOr(av_q2d(video->r_frame_rate), fallbackRate));
    const double seconds = positiveOr(m_format->duration / double(AV_TIME_BASE),
                                      positiveOr(video->duration * av_q2d(video->time_base), 0));
    m_frameCount = video->nb_frames > 0 ? static_cast<int>(video->nb_frames)
                                        : static_cast<int>(std::floor(seconds * m_rate + 0.5));
    m_bitrate = m_format->bit_rate > 0 ? static_cast<int>(m_format->bit_rate / 1000) : 0;
    m_rotation = clockwiseQuarterTurns(video);
    m_hasAudio = false;
    for (unsigned i = 0; i < m_format->nb_streams; ++i)
        m_hasAudio = m_hasAudio || m_format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO;
}

void VideoSource::release()
{
    sws_freeContext(m_scaler);
    m_scaler = nullptr;
    avcodec_free_context(&m_codec);
    av_packet_free(&m_packet);
    av_frame_free(&m_decoded);
    avformat_close_input(&m_format);
    m_unturned.release();
    m_stream = -1;
    m_frames.reset();
    m_rate = fallbackRate;
    m_frameCount = 0;
    m_bitrate = 0;
    m_rotation = 0;
    m_hasAudio = false;
}

bool VideoSource::read(cv::Mat& frame)
{
    return read(frame, Layout::Bgr, frameSize());
}

bool VideoSource::read(cv::Mat& frame, Layout layout, const cv::Size& size)
{
    const bool oddForNv12 = layout == Layout::Nv12 && (size.width % 2 || size.height % 2);
    if (!isOpened() || size.empty() || oddForNv12 || !m_frames.next(m_format, m_codec, m_stream, m_packet, m_decoded))
        return false;
    const bool converted = convert(frame, layout, size);
    av_frame_unref(m_decoded);
    return converted;
}

bool VideoSource::convert(cv::Mat& frame, Layout layout, const cv::Size& size)
{
    // The scaler works on the picture as stored; the turn comes after, on the smaller result.
    const bool quarterTurn = m_rotation == 90 || m_rotation == 270;
    const cv::Size stored = quarterTurn ? cv::Size(size.height, size.width) : size;
    const bool sameSize = stored.width == m_decoded->width && stored.height == m_decoded->height;
    m_scaler = sws_getCachedContext(m_scaler, m_decoded->width, m_decoded->height,
                                    static_cast<AVPixelFormat>(m_decoded->format), stored.width, stored.height,
                                    layout == Layout::Nv12 ? AV_PIX_FMT_NV12 : AV_PIX_FMT_BGR24,
                                    sameSize ? kSameSizeFlags : kScaledFlags, nullptr, nullptr, nullptr);
    if (!m_scaler)
        return false;
    cv::Mat& target = m_rotation == 0 ? frame : m_unturned;
    if (layout == Layout::Bgr)
        target.create(stored, CV_8UC3);
    else
        target.create(stored.height * 3 / 2, stored.width, CV_8UC1);
    // The scaler's vector code writes whole blocks, past the end of a line whose length is not a
    // multiple of them: into the next line, which it writes again later, and past the end of the
    // last line, into the next plane or the heap. Such pictures go through lines of whole blocks.
    const bool wholeBlocks = target.step % effects::kScalerBlock == 0;
    cv::Mat scaled = wholeBlocks ? target : effects::wholeBlockLines(target.rows, target.cols, target.type(), m_blockLines);
    uint8_t* planes[4] = {scaled.data};
    int strides[4] = {static_cast<int>(scaled.step)};
    if (layout == Layout::Nv12) {
        planes[1] = scaled.ptr(stored.height);
        strides[1] = strides[0];
    }
    sws_scale(m_scaler, m_decoded->data, m_decoded->linesize, 0, m_decoded->height, planes, strides);
    if (!wholeBlocks)
        scaled.copyTo(target);
    if (m_rotation != 0)
        turnUpright(m_unturned, frame, layout);
    return true;
}

void VideoSource::turnUpright(const cv::Mat& stored, cv::Mat& frame, Layout layout) const
{
    // Turning cannot work in place on a frame that is not square.
    const int code = rotationCode(m_rotation);
    if (layout == Layout::Bgr) {
        cv::rotate(stored, frame, code);
        return;
    }
    // NV12 turns plane by plane: the luma, then the chroma as pairs of U and V.
    const int width = stored.cols, height = stored.rows * 2 / 3;
    const cv::Size upright = m_rotation == 180 ? cv::Size(width, height) : cv::Size(height, width);
    frame.create(upright.height * 3 / 2, upright.width, CV_8UC1);
    cv::Mat luma = frame.rowRange(0, upright.height);
    cv::rotate(stored.rowRange(0, height), luma, code);
    cv::Mat chroma(upright.height / 2, upright.width / 2, CV_8UC2, frame.ptr(upright.height), frame.step);
    cv::rotate(cv::Mat(height / 2, width / 2, CV_8UC2, const_cast<uchar*>(stored.ptr(height)), stored.step), chroma,
               code);
}

cv::Size VideoSource::frameSize() const
{
    if (!m_codec)
        return cv::Size(0, 0);
    if (m_rotation == 90 || m_rotation == 270)
        return cv::Size(m_codec->height, m_codec->width);
    return cv::Size(m_codec->width, m_codec->height);
}
