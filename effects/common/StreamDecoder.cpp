#include "common/StreamDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace effects {
namespace {
// Consecutive failures after which a file is taken to decode no further.
constexpr int kFailuresToGiveUp = 1000;
} // namespace

cv::Mat wholeBlockLines(int rows, int cols, int type, cv::Mat& storage)
{
    const size_t used = static_cast<size_t>(cols) * CV_ELEM_SIZE(type);
    const size_t lineBytes = (used + kScalerBlock - 1) / kScalerBlock * kScalerBlock;
    storage.create(rows + 1, static_cast<int>(lineBytes), CV_8UC1);
    return cv::Mat(rows, cols, type, storage.data, lineBytes);
}

bool StreamDecoder::next(AVFormatContext* format, AVCodecContext* codec, int stream, AVPacket* packet, AVFrame* frame)
{
    for (int failures = 0; failures < kFailuresToGiveUp;) {
        const int received = avcodec_receive_frame(codec, frame);
        if (received == 0)
            return true;
        if (received == AVERROR_EOF || (received == AVERROR(EAGAIN) && draining_))
            return false;
        // A damaged picture, or a packet the decoder refused: the next one may decode.
        if (received != AVERROR(EAGAIN) || !feed(format, codec, stream, packet))
            ++failures;
        else
            failures = 0;
    }
    return false;
}

bool StreamDecoder::feed(AVFormatContext* format, AVCodecContext* codec, int stream, AVPacket* packet)
{
    for (;;) {
        if (av_read_frame(format, packet) < 0) {
            // The end of the file, or what is left of a truncated one: the decoder gives out
            // the pictures it still holds, then ends.
            draining_ = true;
            return avcodec_send_packet(codec, nullptr) >= 0;
        }
        if (packet->stream_index == stream) {
            const int sent = avcodec_send_packet(codec, packet);
            av_packet_unref(packet);
            return sent >= 0;
        }
        av_packet_unref(packet);
    }
}

} // namespace effects
