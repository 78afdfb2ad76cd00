#include "FrameDecoder.h"

#include <opencv2/imgproc.hpp>

FrameDecoder::FrameDecoder(VideoSource& capture, const cv::Size& size, size_t depth)
    : m_capture(capture), m_size(size), m_frames(depth), m_thread([this] { decode(); })
{
}

FrameDecoder::~FrameDecoder()
{
    m_frames.cancel();
    m_thread.join();
}

bool FrameDecoder::next(cv::Mat& frame)
{
    return m_frames.pop(frame);
}

void FrameDecoder::decode()
{
    for (;;) {
        cv::Mat frame;
        if (!m_capture.read(frame))
            break;
        if (frame.size() != m_size) {
            cv::Mat scaled;
            cv::resize(frame, scaled, m_size, 0, 0, cv::INTER_LINEAR);
            frame = scaled;
        }
        if (!m_frames.push(std::move(frame)))
            return;
    }
    m_frames.finishProduction();
}
