#include "H264Writer.h"

#include "platform/Platform.h"

#include <QFile>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
}

namespace {

constexpr double kFallbackBitsPerPixel = 0.2;

QString describe(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromLocal8Bit(text);
}

// The frame's buffer owns a reference to the matrix, so the encoder can keep the pixels past
// write() without a copy of its own.
void releaseMatrix(void* opaque, uint8_t*)
{
    delete static_cast<cv::Mat*>(opaque);
}

} // namespace

H264Writer::H264Writer() = default;

H264Writer::~H264Writer()
{
    close();
}

QByteArray H264Writer::defaultPreset()
{
    return "superfast";
}

qint64 H264Writer::exportBitrate(int sourceKbps, int width, int height, double rate)
{
    if (sourceKbps > 0)
        return 2 * qint64(sourceKbps) * 1000;
    return qint64(kFallbackBitsPerPixel * width * height * (rate > 0 ? rate : 30));
}

bool H264Writer::fail(const QString& message)
{
    if (!m_failed)
        m_error = message;
    m_failed = true;
    return false;
}

bool H264Writer::failWith(const char* step, int code)
{
    return fail(QString("%1: %2").arg(step, describe(code)));
}

bool H264Writer::open(const QString& path, const Settings& settings)
{
    close();
    m_failed = false;
    m_error.clear();
    m_framesWritten = 0;
    if (settings.width <= 0 || settings.height <= 0 || settings.width % 2 || settings.height % 2)
        return fail(QString("cannot encode a %1x%2 frame: both sides must be even and positive")
                        .arg(settings.width).arg(settings.height));
    m_width = settings.width;
    m_height = settings.height;
    if (!openEncoder(settings) || !openFile(path)) {
        close();
        return false;
    }
    return true;
}

bool H264Writer::openEncoder(const Settings& settings)
{
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (!codec)
        return fail("this FFmpeg has no libx264 encoder");
    m_codec = avcodec_alloc_context3(codec);
    m_packet = av_packet_alloc();
    m_frame = av_frame_alloc();
    if (!m_codec || !m_packet || !m_frame)
        return fail("out of memory for the encoder");
    const AVRational rate = av_d2q(settings.rate > 0 ? settings.rate : 30, 100000);
    m_codec->width = settings.width;
    m_codec->height = settings.height;
    m_codec->pix_fmt = AV_PIX_FMT_NV12;
    m_codec->framerate = rate;
    m_codec->time_base = av_inv_q(rate);
    m_codec->bit_rate = settings.bitsPerSecond;
    // The muxer is chosen by name, so that any path (also a device) is written as mp4.
    const int allocated = avformat_alloc_output_context2(&m_format, nullptr, "mp4", nullptr);
    if (allocated < 0)
        return failWith("cannot set up the mp4 muxer", allocated);
    if (m_format->oformat->flags & AVFMT_GLOBALHEADER)
        m_codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "preset", settings.preset.constData(), 0);
    // The encoder can go no faster than its frames come. Beside the effects, at the same priority
    // its threads take a core from the effects' parallel passes, which then wait for their last
    // stripe, and it idles while the effects run on one core; at the lowest priority it fills
    // those gaps. Alone, its threads stay at the caller's priority: at the lowest, the cores stood
    // idle 40 % longer while the threads waited on each other, and the export took 3 % longer.
    int opened = 0;
    const auto openCodec = [&] { opened = avcodec_open2(m_codec, codec, &options); };
    if (settings.besideEffects)
        platform::startThreadsInBackground(openCodec);
    else
        openCodec();
    av_dict_free(&options);
    if (opened < 0)
        return failWith("cannot open the H.264 encoder", opened);
    m_stream = avformat_new_stream(m_format, nullptr);
    if (!m_stream)
        return fail("out of memory for the video stream");
    m_stream->time_base = m_codec->time_base;
    m_stream->avg_frame_rate = rate;
    const int copied = avcodec_parameters_from_context(m_stream->codecpar, m_codec);
    return copied < 0 ? failWith("cannot describe the video stream", copied) : true;
}

bool H264Writer::openFile(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    const int opened = avio_open(&m_format->pb, name.constData(), AVIO_FLAG_WRITE);
    if (opened < 0)
        return failWith(qPrintable("cannot create " + path), opened);
    const int header = avformat_write_header(m_format, nullptr);
    if (header < 0)
        return failWith(qPrintable("cannot write the header of " + path), header);
    return checkFile("writing the header");
}

bool H264Writer::checkFile(const char* step)
{
    const int error = m_format->pb ? m_format->pb->error : 0;
    return error < 0 ? failWith(step, error) : true;
}

bool H264Writer::write(const cv::Mat& nv12)
{
    if (m_failed || !m_codec)
        return fail("the writer is not open");
    if (nv12.type() != CV_8UC1 || nv12.cols != m_width || nv12.rows != m_height * 3 / 2)
        return fail(QString("frame %1 is %2x%3 of type %4, not NV12 of %5x%6")
                        .arg(m_framesWritten + 1).arg(nv12.cols).arg(nv12.rows).arg(nv12.type())
                        .arg(m_width).arg(m_height));
    m_frame->format = AV_PIX_FMT_NV12;
    m_frame->width = m_width;
    m_frame->height = m_height;
    m_frame->data[0] = nv12.data;
    m_frame->data[1] = nv12.data + nv12.step * m_height;
    m_frame->linesize[0] = m_frame->linesize[1] = static_cast<int>(nv12.step);
    m_frame->pts = m_framesWritten;
    m_frame->buf[0] = av_buffer_create(nv12.data, nv12.step * nv12.rows, releaseMatrix, new cv::Mat(nv12),
                                       AV_BUFFER_FLAG_READONLY);
    if (!m_frame->buf[0])
        return fail("out of memory for a frame");
    const bool sent = sendFrame(m_frame);
    av_frame_unref(m_frame);
    if (sent)
        ++m_framesWritten;
    return sent;
}

bool H264Writer::sendFrame(const AVFrame* frame)
{
    const int sent = avcodec_send_frame(m_codec, frame);
    if (sent < 0)
        return failWith(frame ? "cannot encode a frame" : "cannot drain the encoder", sent);
    return drainPackets();
}

bool H264Writer::drainPackets()
{
    for (;;) {
        const int received = avcodec_receive_packet(m_codec, m_packet);
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF)
            return true;
        if (received < 0)
            return failWith("the encoder failed", received);
        av_packet_rescale_ts(m_packet, m_codec->time_base, m_stream->time_base);
        m_packet->stream_index = m_stream->index;
        const int written = av_interleaved_write_frame(m_format, m_packet);
        if (written < 0)
            return failWith("cannot write a packet", written);
        // A buffered write that failed (a full disk) shows only in the I/O context.
        if (!checkFile("cannot write the video"))
            return false;
    }
}

bool H264Writer::finish()
{
    if (m_failed || !m_codec)
        return fail("the writer is not open");
    if (!sendFrame(nullptr))
        return false;
    const int trailer = av_write_trailer(m_format);
    if (trailer < 0)
        return failWith("cannot write the trailer", trailer);
    avio_flush(m_format->pb);
    if (!checkFile("cannot write the end of the video"))
        return false;
    const int closed = avio_closep(&m_format->pb);
    if (closed < 0)
        return failWith("cannot close the video", closed);
    close();
    return true;
}

void H264Writer::close()
{
    if (m_format) {
        if (m_format->pb)
            avio_closep(&m_format->pb);
        avformat_free_context(m_format);
        m_format = nullptr;
    }
    m_stream = nullptr;
    avcodec_free_context(&m_codec);
    av_packet_free(&m_packet);
    av_frame_free(&m_frame);
}
