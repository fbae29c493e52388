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
    ++value_;
    if (waiters_ == 0) return 0;
    available_.notify_one();
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
    ++waiters_;
    auto ready = [this] { return value_ > 0; };
    bool got;
    if (deadline.isDistantFuture()) {
        available_.wait(lock, ready);
        got = true;
    } else {
        auto due = std::chrono::steady_clock::time_point(std::chrono::nanoseconds(deadline.uptimeNanoseconds));
        got = available_.wait_until(lock, due, ready);
    }
    --waiters_;
    if (!got) return DispatchTimeoutResult::timedOut;
    --value_;
    return DispatchTimeoutResult::success;
}

}  // namespace platform
