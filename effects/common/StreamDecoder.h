#pragma once
// What the two libav readers (the engine's source, the libraries' backgrounds) share: the next
// picture of one stream out of a demuxer and its open decoder, and the lines libswscale may
// write into. No Qt, so the effect libraries can use it as well as the engine.

#include <opencv2/core.hpp>

#include <cstddef>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;

namespace effects {

// libswscale's vector code writes whole blocks of this many bytes: past the end of a line whose
// length is not a multiple of them, into the next line, and past the end of the last line.
constexpr size_t kScalerBlock = 64;

// A rows x cols picture of the given type in storage, whose lines are whole scaler blocks with a
// spare line after them: the scaler can write into it without reaching past the buffer.
cv::Mat wholeBlockLines(int rows, int cols, int type, cv::Mat& storage);

class StreamDecoder
{
public:
    // Decodes the next picture of stream into frame, feeding the decoder packets as it asks.
    // A damaged picture or a refused packet is passed over. False at the end of the file (what
    // the decoder still held has come out by then) or when nothing more decodes.
    bool next(AVFormatContext* format, AVCodecContext* codec, int stream, AVPacket* packet, AVFrame* frame);
    // For a file opened again.
    void reset() { draining_ = false; }

private:
    bool feed(AVFormatContext* format, AVCodecContext* codec, int stream, AVPacket* packet);

    bool draining_ = false;
};

} // namespace effects
