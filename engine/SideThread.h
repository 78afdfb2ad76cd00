#pragma once
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// A thread kept for one job at a time beside the caller's own work: the caller starts the
// job, does its own part, then waits for the job's end. Keeping the thread spares a thread
// start on every frame.
class SideThread
{
public:
    SideThread();
    ~SideThread();
    SideThread(const SideThread&) = delete;
    SideThread& operator=(const SideThread&) = delete;

    // The job must not outlive what it refers to: wait() before those go.
    void start(std::function<void()> job);
    // Returns once the started job has ended; at once when none runs.
    void wait();

private:
    void loop();

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::function<void()> m_job;
    bool m_busy = false;
    bool m_stopping = false;
    std::thread m_thread;
};
