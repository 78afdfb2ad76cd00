#include "TaskPool.h"

TaskPool& TaskPool::instance()
{
    static TaskPool pool;
    return pool;
}

TaskPool::TaskPool(size_t workers)
{
    for (size_t i = 0; i < workers; ++i)
        m_workers.emplace_back([this] { workerLoop(); });
}

TaskPool::~TaskPool()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopped = true;
    }
    m_condition.notify_all();
    for (std::thread& worker : m_workers)
        worker.join();
}

void TaskPool::workerLoop()
{
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_condition.wait(lock, [this] { return m_stopped || !m_tasks.empty(); });
            if (m_stopped && m_tasks.empty())
                return;
            task = std::move(m_tasks.front());
            m_tasks.pop();
        }
        task();
    }
}
