#pragma once
#include <condition_variable>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <queue>
#include <stdexcept>
#include <thread>
#include <type_traits>
#include <vector>

// The process-wide pool of five worker threads for blocking jobs: a FIFO of tasks, each
// handed back as a future.
class TaskPool
{
public:
    static TaskPool& instance();

    explicit TaskPool(size_t workers = 5);
    ~TaskPool();
    TaskPool(const TaskPool&) = delete;
    TaskPool& operator=(const TaskPool&) = delete;

    // Throws std::runtime_error("enqueue on stopped ThreadPool") once the pool is shutting down.
    template <class F, class... Args>
    auto enqueue(F&& f, Args&&... args) -> std::future<std::invoke_result_t<std::decay_t<F>, std::decay_t<Args>...>>
    {
        using Result = std::invoke_result_t<std::decay_t<F>, std::decay_t<Args>...>;
        auto task = std::make_shared<std::packaged_task<Result()>>(
            std::bind(std::forward<F>(f), std::forward<Args>(args)...));
        std::future<Result> result = task->get_future();
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_stopped)
                throw std::runtime_error("enqueue on stopped ThreadPool");
            m_tasks.emplace([task] { (*task)(); });
        }
        m_condition.notify_one();
        return result;
    }

private:
    void workerLoop();

    std::vector<std::thread> m_workers;
    std::queue<std::function<void()>> m_tasks;
    std::mutex m_mutex;
    std::condition_variable m_condition;
    bool m_stopped = false;
};
