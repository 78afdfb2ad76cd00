#include "SideThread.h"

SideThread::SideThread() : m_thread([this] { loop(); })
{
}

SideThread::~SideThread()
{
    {
        std::unique_lock<std::mutex> lock(m_lock);
        m_changed.wait(lock, [this] { return !m_busy; });
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void SideThread::start(std::function<void()> job)
{
    std::unique_lock<std::mutex> lock(m_lock);
    m_changed.wait(lock, [this] { return !m_busy; });
    m_job = std::move(job);
    m_busy = true;
    lock.unlock();
    m_changed.notify_all();
}

void SideThread::wait()
{
    std::unique_lock<std::mutex> lock(m_lock);
    m_changed.wait(lock, [this] { return !m_busy; });
}

void SideThread::loop()
{
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        m_changed.wait(lock, [this] { return m_busy || m_stopping; });
        if (!m_busy)
            return;
        std::function<void()> job = std::move(m_job);
        lock.unlock();
        job();
        lock.lock();
        m_busy = false;
        m_changed.notify_all();
    }
}
