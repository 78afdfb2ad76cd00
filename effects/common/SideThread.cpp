#include "common/SideThread.h"

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

void SideThread::runBeside(const std::function<void()>& side, const std::function<void()>& here)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        task_ = &side;
        error_ = nullptr;
    }
    wake_.notify_one();
    const std::exception_ptr hereError = failureOf(here);
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return !task_; });
    if (hereError)
        std::rethrow_exception(hereError);
    if (error_)
        std::rethrow_exception(error_);
}

void SideThread::loop()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || task_; });
        if (stop_)
            return;
        const std::function<void()>& task = *task_;
        lock.unlock();
        const std::exception_ptr error = failureOf(task);
        lock.lock();
        error_ = error;
        task_ = nullptr;
        done_.notify_one();
    }
}

} // namespace effects
