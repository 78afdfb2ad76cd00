#pragma once
#include <opencv2/core.hpp>

#include <condition_variable>
#include <deque>
#include <mutex>

// The export hand-off between the producer (engine thread) and the writer (task pool).
// Bounded: a producer that runs ahead of the encoder waits, so memory does not grow with the
// length of the video. Every state change wakes both sides.
class FrameQueue
{
public:
    explicit FrameQueue(size_t capacity = 6);

    // Empties the queue and clears every flag for a new export.
    void reset();
    // Waits for room; false (frame dropped) once the export was cancelled or has failed.
    bool push(cv::Mat&& frame);
    // Waits for a frame; false when production is done and the queue is empty, or on cancel
    // and failure.
    bool pop(cv::Mat& frame);
    // The producer has pushed its last frame.
    void finishProduction();
    void cancel();
    // The writer cannot go on; the producer stops at its next push.
    void fail();
    bool isCancelled() const;
    bool isEmpty() const;
    bool hasFailed() const;
    // Drops what is queued (after a cancel).
    void clear();

private:
    bool stopped() const { return m_cancelled || m_failed; }

    const size_t m_capacity;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<cv::Mat> m_frames;
    bool m_productionDone = false;
    bool m_cancelled = false;
    bool m_failed = false;
};
