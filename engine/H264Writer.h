#pragma once
#include <QString>

#include <opencv2/core.hpp>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;

// Encodes NV12 frames (the beauty library's output layout) with libx264 into an .mp4 at a set
// average bitrate. Every step that can fail (opening, encoding, each write, the trailer, the
// final flush and close) is checked: a write error such as a full disk makes write or finish
// return false with the reason in error(), never a file that merely looks finished.
//
// Threading: none of its own beyond the encoder's; open, write and finish must come from one
// thread at a time.
class H264Writer
{
public:
    struct Settings {
        int width = 0;  // even
        int height = 0; // even
        double rate = 30;
        qint64 bitsPerSecond = 0;
        QByteArray preset = defaultPreset();
        // The frames come from effects that run parallel passes of their own on every core.
        bool besideEffects = false;
    };

    H264Writer();
    // An unfinished file is closed as it is (not valid); the caller removes it.
    ~H264Writer();
    H264Writer(const H264Writer&) = delete;
    H264Writer& operator=(const H264Writer&) = delete;

    // The x264 preset an export uses: the fastest whose quality at the export bitrate stays
    // close to the slower ones (measured by bench-engine's writer section).
    static QByteArray defaultPreset();
    // The bitrate an export asks for: twice the source's (sourceKbps as the decoder reports
    // it, in kbit/s), or 0.2 bits per pixel and frame when the source reports none.
    static qint64 exportBitrate(int sourceKbps, int width, int height, double rate);

    bool open(const QString& path, const Settings& settings);
    // nv12: (height * 3 / 2) rows of width bytes, 8-bit single channel: the Y plane, then the
    // interleaved U and V. The encoder reads the pixels in place (no copy) and holds a reference
    // to the matrix for as long as it needs them; the caller must not write into it afterwards.
    bool write(const cv::Mat& nv12);
    // Drains the encoder, writes the trailer and closes the file.
    bool finish();

    QString error() const { return m_error; }
    int framesWritten() const { return m_framesWritten; }

private:
    bool openEncoder(const Settings& settings);
    bool openFile(const QString& path);
    bool sendFrame(const AVFrame* frame);
    bool drainPackets();
    bool checkFile(const char* step);
    bool fail(const QString& message);
    bool failWith(const char* step, int code);
    void close();

    AVFormatContext* m_format = nullptr;
    AVCodecContext* m_codec = nullptr;
    AVStream* m_stream = nullptr;
    AVPacket* m_packet = nullptr;
    AVFrame* m_frame = nullptr;
    int m_width = 0;
    int m_height = 0;
    int m_framesWritten = 0;
    bool m_failed = false;
    QString m_error;
};
