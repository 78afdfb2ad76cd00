#pragma once
// A video or picture file decoded frame by frame into packed BGR (8 bits, 3 channels), turned
// upright: a video as players turn it by the rotation its container records, a picture by its
// EXIF orientation. Frames keep the file's size and come through the scaler's exact
// conversions, the same pixels OpenCV's video decoder gives (a JPEG differs from libjpeg's
// decoding by a level or two). The file is handed to the demuxer with the "file:" protocol,
// so a name such as "a:b.mp4" is read as a plain file and not as a protocol.
//
// A damaged or truncated file ends with the frames that could be decoded.
//
// Threading: none of its own beyond the decoder's; one thread at a time.

#include "common/StreamDecoder.h"

#include <opencv2/core.hpp>

#include <string>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

namespace effects {

class MediaReader
{
public:
    MediaReader() = default;
    ~MediaReader();
    MediaReader(const MediaReader&) = delete;
    MediaReader& operator=(const MediaReader&) = delete;

    // Opens the file's first video stream (a picture file has one too). False, with the reason
    // in error, when there is none that can be decoded.
    bool open(const std::string& path, std::string& error);
    // Opens the same file again, for the next loop of a video.
    bool rewind(std::string& error);
    // Next frame; false at the end of the file or when nothing more decodes.
    bool read(cv::Mat& bgr);
    // Frames per second the file gives; 0 when it gives none.
    double fps() const { return fps_; }

    // A picture file's only frame, turned as its EXIF orientation says (for a photo taken with
    // the phone on its side). Empty, with the reason in error, when it cannot be decoded whole.
    static cv::Mat readPicture(const std::string& path, std::string& error);

private:
    void release();
    bool openDecoder(std::string& error);
    bool convert(cv::Mat& bgr);

    std::string path_;
    AVFormatContext* format_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* decoded_ = nullptr;
    SwsContext* scaler_ = nullptr;
    cv::Mat blockLines_;
    int stream_ = -1;
    StreamDecoder frames_;
    double fps_ = 0;
    int clockwiseTurn_ = 0;
    // A picture is one frame: a damaged one (a cut-off JPEG) is refused rather than shown
    // half grey.
    bool refuseDamage_ = false;
};

} // namespace effects
