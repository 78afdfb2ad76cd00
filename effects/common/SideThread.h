#pragma once
// A thread of its owner's own beside the calling thread, for two parts of a frame's work
// that share nothing but their inputs: one runs there while the caller runs the other. Or for
// work whose result only a later call needs: it runs there after the call has returned. The
// thread lives as long as its owner, so no frame pays for starting a thread.
//
// Threading: one caller at a time (the owner's lock serialises them).

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace effects {

class SideThread
{
public:
    SideThread();
    ~SideThread();
    SideThread(const SideThread&) = delete;
    SideThread& operator=(const SideThread&) = delete;

    // Runs side on the thread and here on the calling thread, and returns when both are done.
    // What either threw is thrown again, the calling thread's first; side has finished by then
    // in any case, so it may use whatever the caller holds.
    void runBeside(std::function<void()> side, const std::function<void()>& here);
    // Starts task on the thread and returns at once; finish waits for it. A task started
    // before is finished first, and what it threw is thrown here.
    void start(std::function<void()> task);
    // Waits until the task started last has ended, and throws again what it threw. Returns at
    // once when none is running.
    void finish();

private:
    void loop();

    std::mutex mutex_;
    std::condition_variable wake_, done_;
    std::function<void()> task_;  // started, not yet taken up by the thread
    bool busy_ = false;           // from start until the task has ended
    std::exception_ptr error_;
    bool stop_ = false;
    std::thread thread_;
};

} // namespace effects
