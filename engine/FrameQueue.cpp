#include "FrameQueue.h"

FrameQueue::FrameQueue(size_t capacity) : m_capacity(capacity) {}

void FrameQueue::reset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_frames.clear();
    m_productionDone = false;
    m_cancelled = false;
    m_failed = false;
}

bool FrameQueue::push(cv::Mat&& frame)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return stopped() || m_frames.size() < m_capacity; });
    if (stopped())
        return false;
    m_frames.push_back(std::move(frame));
    lock.unlock();
    m_changed.notify_all();
    return true;
}

bool FrameQueue::pop(cv::Mat& frame)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return stopped() || !m_frames.empty() || m_productionDone; });
    if (stopped() || m_frames.empty())
        return false;
    frame = std::move(m_frames.front());
    m_frames.pop_front();
    lock.unlock();
    m_changed.notify_all();
    return true;
}

void FrameQueue::finishProduction()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_productionDone = true;
    }
    m_changed.notify_all();
}

bool FrameQueue::isEmpty() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_frames.empty();
}

void FrameQueue::cancel()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_cancelled = true;
    }
    m_changed.notify_all();
}

void FrameQueue::fail()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_failed = true;
    }
    m_changed.notify_all();
}

bool FrameQueue::isCancelled() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_cancelled;
}

bool FrameQueue::hasFailed() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_failed;
}

void FrameQueue::clear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_frames.clear();
}
