#include "common/MediaReader.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/display.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

namespace effects {
namespace {

std::string describe(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

double positiveOr(double value, double fallback)
{
    return std::isfinite(value) && value > 0 ? value : fallback;
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

// The display matrix holds the counter-clockwise angle players turn the picture by.
int clockwiseQuarterTurn(const AVStream* stream)
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

// The JPEG decoder hands the EXIF tags on with the frame; 1 (as stored) when there is none or
// it is out of range.
int exifOrientation(const AVFrame* frame)
{
    const AVDictionaryEntry* tag = av_dict_get(frame->metadata, "Orientation", nullptr, 0);
    if (!tag)
        return 1;
    char* end = nullptr;
    const long value = std::strtol(tag->value, &end, 10);
    return end != tag->value && value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
}

// EXIF orientations 2 to 8 say where the stored rows and columns belong on screen; 5 to 8
// swap them.
void applyExifOrientation(int orientation, cv::Mat& bgr)
{
    if (orientation >= 5) {
        cv::Mat transposed;
        cv::transpose(bgr, transposed);
        bgr = transposed;
    }
    switch (orientation) {
    case 2:
    case 6: cv::flip(bgr, bgr, 1); break;
    case 3:
    case 7: cv::flip(bgr, bgr, -1); break;
    case 4:
    case 8: cv::flip(bgr, bgr, 0); break;
    default: break;
    }
}

} // namespace

MediaReader::~MediaReader()
{
    release();
}

bool MediaReader::open(const std::string& path, std::string& error)
{
    release();
    path_ = path;
    // The libraries' notes (each damaged packet of a broken file, a picture's pixel format
    // the scaler calls old) would fill the host's error output; errors still come through.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_ERROR); });
    const std::string url = "file:" + path;
    const int opened = avformat_open_input(&format_, url.c_str(), nullptr, nullptr);
    if (opened < 0) {
        error = "cannot open " + path + ": " + describe(opened);
        return false;
    }
    const int found = avformat_find_stream_info(format_, nullptr);
    stream_ = found < 0 ? -1 : firstVideoStream(format_);
    if (stream_ < 0) {
        error = "no picture in " + path + (found < 0 ? ": " + describe(found) : std::string());
        release();
        return false;
    }
    if (!openDecoder(error)) {
        error += " for " + path;
        release();
        return false;
    }
    const AVStream* video = format_->streams[stream_];
    fps_ = positiveOr(av_q2d(video->avg_frame_rate), positiveOr(av_q2d(video->r_frame_rate), 0));
    clockwiseTurn_ = clockwiseQuarterTurn(video);
    return true;
}

bool MediaReader::openDecoder(std::string& error)
{
    const AVStream* video = format_->streams[stream_];
    const AVCodec* decoder = avcodec_find_decoder(video->codecpar->codec_id);
    if (!decoder) {
        error = std::string("no decoder for ") + avcodec_get_name(video->codecpar->codec_id);
        return false;
    }
    codec_ = avcodec_alloc_context3(decoder);
    packet_ = av_packet_alloc();
    decoded_ = av_frame_alloc();
    if (!codec_ || !packet_ || !decoded_ || avcodec_parameters_to_context(codec_, video->codecpar) < 0) {
        error = "cannot set up the decoder";
        return false;
    }
    codec_->pkt_timebase = video->time_base;
    // Frame threads: each core decodes a picture of its own.
    codec_->thread_count = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 16u));
    codec_->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    if (refuseDamage_)
        codec_->err_recognition |= AV_EF_EXPLODE;
    const int opened = avcodec_open2(codec_, decoder, nullptr);
    if (opened < 0) {
        error = "cannot open the " + std::string(decoder->name) + " decoder: " + describe(opened);
        return false;
    }
    return true;
}

bool MediaReader::rewind(std::string& error)
{
    return open(path_, error);
}

void MediaReader::release()
{
    sws_freeContext(scaler_);
    scaler_ = nullptr;
    avcodec_free_context(&codec_);
    av_packet_free(&packet_);
    av_frame_free(&decoded_);
    avformat_close_input(&format_);
    stream_ = -1;
    frames_.reset();
    fps_ = 0;
    clockwiseTurn_ = 0;
}

bool MediaReader::read(cv::Mat& bgr)
{
    if (!codec_ || !frames_.next(format_, codec_, stream_, packet_, decoded_))
        return false;
    const bool converted = convert(bgr);
    av_frame_unref(decoded_);
    return converted;
}

cv::Mat MediaReader::readPicture(const std::string& path, std::string& error)
{
    MediaReader reader;
    reader.refuseDamage_ = true;
    if (!reader.open(path, error))
        return cv::Mat();
    cv::Mat bgr;
    if (!reader.frames_.next(reader.format_, reader.codec_, reader.stream_, reader.packet_, reader.decoded_)) {
        error = "no picture decoded from " + path;
        return cv::Mat();
    }
    const bool converted = reader.convert(bgr);
    const int orientation = exifOrientation(reader.decoded_);
    av_frame_unref(reader.decoded_);
    if (!converted) {
        error = "cannot convert the picture of " + path;
        return cv::Mat();
    }
    applyExifOrientation(orientation, bgr);
    return bgr;
}

bool MediaReader::convert(cv::Mat& bgr)
{
    const int width = decoded_->width, height = decoded_->height;
    scaler_ = sws_getCachedContext(scaler_, width, height, static_cast<AVPixelFormat>(decoded_->format), width, height,
                                   AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!scaler_)
        return false;
    // The scaler's vector code writes whole blocks, past the end of a line whose length is not a
    // multiple of them, and past the end of the last line. So it writes into lines of whole
    // blocks with a spare line after them, and the picture is copied out of those.
    const cv::Mat stored = wholeBlockLines(height, width, CV_8UC3, blockLines_);
    uint8_t* planes[4] = {stored.data};
    int strides[4] = {static_cast<int>(stored.step)};
    if (sws_scale(scaler_, decoded_->data, decoded_->linesize, 0, height, planes, strides) != height)
        return false;
    if (clockwiseTurn_ == 0)
        stored.copyTo(bgr);
    else
        cv::rotate(stored, bgr,
                   clockwiseTurn_ == 90    ? cv::ROTATE_90_CLOCKWISE
                   : clockwiseTurn_ == 180 ? cv::ROTATE_180
                                           : cv::ROTATE_90_COUNTERCLOCKWISE);
    return true;
}

} // namespace effects
