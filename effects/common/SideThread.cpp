#include "common/SideThread.h"

#include <utility>

namespace effects {
namespace {

// What task threw, for the caller to throw again once both parts are done.
std::exception_ptr failureOf(const std::function<void()>& task)
{
    try {
        task();
    } catch (...) {
        return std::current_exception();
    }
    return nullptr;
}

} // namespace

SideThread::SideThread() : thread_([this] { loop(); }) {}

SideThread::~SideThread()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void SideThread::runBeside(std::function<void()> side, const std::function<void()>& here)
{
    start(std::move(side));
    const std::exception_ptr hereError = failureOf(here);
    if (hereError) {
        // The side's part must end before the caller's failure unwinds what it uses.
        try {
            finish();
        } catch (...) {
        }
        std::rethrow_exception(hereError);
    }
    finish();
}

void SideThread::start(std::function<void()> task)
{
    finish();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        task_ = std::move(task);
        busy_ = true;
    }
    wake_.notify_one();
}

void SideThread::finish()
{
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return !busy_; });
    if (error_)
        std::rethrow_exception(std::exchange(error_, nullptr));
}

void SideThread::loop()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        // A task started before the owner went is still run: the owner waits for it.
        wake_.wait(lock, [this] { return stop_ || task_; });
        if (!task_)
            return;
        const std::function<void()> task = std::move(task_);
        task_ = nullptr;
        lock.unlock();
        const std::exception_ptr error = failureOf(task);
        lock.lock();
        error_ = error;
        busy_ = false;
        done_.notify_all();
    }
}

} // namespace effects
