// Counting semaphore over a mutex and a condition variable.
#include "platform/dispatch/DispatchSemaphore.h"

#include <chrono>

#include "platform/base/Fatal.h"
#include "platform/dispatch/ThreadPool.h"

namespace platform {

DispatchSemaphore::DispatchSemaphore(long value) : value_(value) {
    if (value < 0) fatal("DispatchSemaphore created with a negative value");
}

long DispatchSemaphore::signal() {
    std::lock_guard lock(mutex_);
    if (waiting_.empty()) {
        ++value_;
        return 0;
    }
    *waiting_.front() = true;
    waiting_.pop_front();
    available_.notify_all();
    return 1;
}

void DispatchSemaphore::wait() { wait(DispatchTime::distantFuture()); }

DispatchTimeoutResult DispatchSemaphore::wait(DispatchTime deadline) {
    std::unique_lock lock(mutex_);
    if (value_ > 0) {
        --value_;
        return DispatchTimeoutResult::success;
    }
    detail::BlockingScope blocking;
    bool given = false;
    const auto place = waiting_.insert(waiting_.end(), &given);
    auto ready = [&given] { return given; };
    if (deadline.isDistantFuture()) {
        available_.wait(lock, ready);
    } else {
        auto due = std::chrono::steady_clock::time_point(std::chrono::nanoseconds(deadline.uptimeNanoseconds));
        available_.wait_until(lock, due, ready);
    }
    if (given) return DispatchTimeoutResult::success;
    waiting_.erase(place);
    return DispatchTimeoutResult::timedOut;
}

}  // namespace platform
