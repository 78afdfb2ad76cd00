#include "FrameDecoder.h"

FrameDecoder::FrameDecoder(VideoSource& capture, const cv::Size& size, VideoSource::Layout layout, size_t depth)
    : m_capture(capture), m_size(size), m_layout(layout), m_frames(depth), m_thread([this] { decode(); })
{
}

FrameDecoder::~FrameDecoder()
{
    setUnderBusyLock(m_stopping, true);
    m_frames.cancel();
    m_thread.join();
}

bool FrameDecoder::next(cv::Mat& frame)
{
    const bool taken = m_frames.pop(frame);
    notifyDecoder();
    return taken;
}

void FrameDecoder::setConsumerBusy(bool busy)
{
    setUnderBusyLock(m_consumerBusy, busy);
}

void FrameDecoder::setUnderBusyLock(bool& flag, bool value)
{
    {
        std::lock_guard<std::mutex> lock(m_busyLock);
        flag = value;
    }
    m_busyChanged.notify_all();
}

void FrameDecoder::notifyDecoder()
{
    // Taken and let go, so the decoder is either before its check, and sees the queue as it is
    // now, or already waiting, and is woken.
    { std::lock_guard<std::mutex> lock(m_busyLock); }
    m_busyChanged.notify_all();
}

bool FrameDecoder::waitWhileConsumerBusy()
{
    std::unique_lock<std::mutex> lock(m_busyLock);
    m_busyChanged.wait(lock, [this] { return m_stopping || !m_consumerBusy || m_frames.isEmpty(); });
    return !m_stopping;
}

void FrameDecoder::decode()
{
    for (;;) {
        if (!waitWhileConsumerBusy())
            return;
        cv::Mat frame;
        if (!m_capture.read(frame, m_layout, m_size))
            break;
        if (!m_frames.push(std::move(frame)))
            return;
    }
    m_frames.finishProduction();
}
