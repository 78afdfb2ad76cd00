#include "FrameDecoder.h"

FrameDecoder::FrameDecoder(VideoSource& capture, const cv::Size& size, VideoSource::Layout layout, size_t depth)
    : m_capture(capture), m_size(size), m_layout(layout), m_frames(depth), m_thread([this] { decode(); })
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
        if (!m_capture.read(frame, m_layout, m_size))
            break;
        if (!m_frames.push(std::move(frame)))
            return;
    }
    m_frames.finishProduction();
}
