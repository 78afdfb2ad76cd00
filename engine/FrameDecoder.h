#pragma once
#include "FrameQueue.h"
#include "VideoSource.h"

#include <opencv2/core.hpp>

#include <condition_variable>
#include <mutex>
#include <thread>

// Decodes a video ahead of its consumer on a thread of its own: each frame is decoded straight
// into the layout and size the consumer works with and queued, a few frames deep, so decoding
// overlaps with the effects instead of waiting for them.
//
// Threading: construct, call next and destroy on the consumer's thread; the capture belongs to
// the decoding thread from construction to destruction.
class FrameDecoder
{
public:
    // capture: opened; size: the frames' size on the way out (upright, as the source gives
    // them; both sides even for NV12).
    FrameDecoder(VideoSource& capture, const cv::Size& size, VideoSource::Layout layout = VideoSource::Layout::Bgr,
                 size_t depth = 3);
    // Stops decoding and waits for the thread.
    ~FrameDecoder();
    FrameDecoder(const FrameDecoder&) = delete;
    FrameDecoder& operator=(const FrameDecoder&) = delete;

    // The next frame (upright, in the layout at the size); false at the end of the video or a
    // read error. Each frame has a buffer of its own, which the consumer may keep.
    bool next(cv::Mat& frame);
    // While the consumer works on a frame, the decoder waits as long as another one is queued,
    // so that work has every core; it decodes in the consumer's idle time instead. With the
    // queue empty it decodes on, so the consumer waits no longer than without.
    void setConsumerBusy(bool busy);

private:
    void decode();
    // False once the decoder is being destroyed: no frame is decoded only to be dropped.
    bool waitWhileConsumerBusy();
    void notifyDecoder();
    void setUnderBusyLock(bool& flag, bool value);

    VideoSource& m_capture;
    const cv::Size m_size;
    const VideoSource::Layout m_layout;
    FrameQueue m_frames;
    std::mutex m_busyLock;
    std::condition_variable m_busyChanged;
    bool m_consumerBusy = false;
    bool m_stopping = false;
    std::thread m_thread;
};
