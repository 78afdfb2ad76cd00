#pragma once
#include "common/StreamDecoder.h"

#include <QString>

#include <opencv2/core.hpp>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

// A video file read frame by frame as players show it: the rotation a phone records in the
// file is applied to every frame, and the frame rate is the real one (23.976 stays 23.976).
// The file is handed to the demuxer with the "file:" protocol, so a name such as "a:b.mp4" is
// read as a plain file and not as a protocol.
//
// Each read converts the decoded picture once, straight into what the caller works with: BGR
// (BT.601, limited range, as OpenCV's decoder gives it) or NV12 for the encoder, at the caller's
// size. A damaged or truncated file ends with the frames that could be decoded.
//
// Threading: none of its own beyond the decoder's; one thread at a time.
class VideoSource
{
public:
    // Rate assumed when the file reports none.
    static constexpr double fallbackRate = 30.0;

    enum class Layout {
        Bgr,  // 8-bit, 3 channels
        Nv12, // (height * 3 / 2) rows of width bytes: the Y plane, then U and V interleaved
    };

    // The number of video frames a file's index gives, read from the index alone (nothing is
    // decoded); -1 when the file does not open as a video (a file cut short, without its index).
    static int indexedFrameCount(const QString& path);

    VideoSource();
    ~VideoSource();
    VideoSource(const VideoSource&) = delete;
    VideoSource& operator=(const VideoSource&) = delete;

    bool open(const QString& path);
    bool isOpened() const { return m_codec != nullptr; }
    void release();
    // Next frame, upright, BGR at frameSize(); false at the end of the file or on a read error.
    bool read(cv::Mat& frame);
    // Next frame, upright, in layout at size (both sides even for NV12), scaled and converted
    // in one pass. frame is written in place when its buffer already has that shape.
    bool read(cv::Mat& frame, Layout layout, const cv::Size& size);

    // Size of the upright frames.
    cv::Size frameSize() const;
    double rate() const { return m_rate; }
    int frameCount() const { return m_frameCount; }
    // The container's bitrate in kbit/s, 0 when unknown.
    int bitrate() const { return m_bitrate; }
    bool hasAudio() const { return m_hasAudio; }
    // Clockwise quarter turns applied to the decoded frames: 0, 90, 180 or 270.
    int rotation() const { return m_rotation; }

private:
    bool openDecoder(int stream);
    void readStreamFacts(int stream);
    bool convert(cv::Mat& frame, Layout layout, const cv::Size& size);
    void turnUpright(const cv::Mat& decoded, cv::Mat& frame, Layout layout) const;
    // Lines of whole scaler blocks for a picture shaped as target, kept for the next frame.

    AVFormatContext* m_format = nullptr;
    AVCodecContext* m_codec = nullptr;
    AVPacket* m_packet = nullptr;
    AVFrame* m_decoded = nullptr;
    SwsContext* m_scaler = nullptr;
    cv::Mat m_unturned;
    cv::Mat m_blockLines;
    int m_stream = -1;
    effects::StreamDecoder m_frames;
    double m_rate = fallbackRate;
    int m_frameCount = 0;
    int m_bitrate = 0;
    int m_rotation = 0;
    bool m_hasAudio = false;
};
