#pragma once
#include <QString>

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

// A video file read frame by frame as players show it: the rotation a phone records in the
// file is applied to every frame, and the frame rate is the real one (23.976 stays 23.976).
// The file is handed to the decoder by its absolute path, so a name such as "a:b.mp4" is
// read as a plain file and not as a protocol.
class VideoSource
{
public:
    // Rate assumed when the file reports none.
    static constexpr double fallbackRate = 30.0;

    bool open(const QString& path);
    bool isOpened() const { return m_capture.isOpened(); }
    void release() { m_capture.release(); }
    // Next frame, upright; false at the end of the file or on a read error.
    bool read(cv::Mat& frame);

    // Size of the upright frames.
    cv::Size frameSize() const;
    double rate() const { return m_rate; }
    int frameCount() const;
    // The container's bitrate in kbit/s, 0 when unknown.
    int bitrate() const;
    bool hasAudio() const { return m_hasAudio; }
    // Clockwise quarter turns applied to the decoded frames: 0, 90, 180 or 270.
    int rotation() const { return m_rotation; }

private:
    void readStreamFacts(const QString& path);

    cv::VideoCapture m_capture;
    double m_rate = fallbackRate;
    int m_rotation = 0;
    bool m_hasAudio = false;
};
