// Groups: a counter with waiters and notifications for when it reaches zero.
#include "platform/dispatch/DispatchGroup.h"

#include <chrono>

#include "platform/base/Fatal.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/ThreadPool.h"

namespace platform {

void DispatchGroup::enter() {
    std::lock_guard lock(mutex_);
    ++count_;
}

void DispatchGroup::leave() {
    decltype(notifications_) notifications;
    {
        std::lock_guard lock(mutex_);
        if (count_ == 0) fatal("DispatchGroup.leave() without a matching enter()");
        if (--count_ > 0) return;
        notifications.swap(notifications_);
        empty_.notify_all();
    }
    for (auto& [queue, block] : notifications) queue->async(std::move(block));
}

void DispatchGroup::wait() { wait(DispatchTime::distantFuture()); }

DispatchTimeoutResult DispatchGroup::wait(DispatchTime deadline) {
    detail::BlockingScope blocking;
    std::unique_lock lock(mutex_);
    auto isEmpty = [this] { return count_ == 0; };
    if (deadline.isDistantFuture()) {
        empty_.wait(lock, isEmpty);
        return DispatchTimeoutResult::success;
    }
    auto due = std::chrono::steady_clock::time_point(std::chrono::nanoseconds(deadline.uptimeNanoseconds));
    return empty_.wait_until(lock, due, isEmpty) ? DispatchTimeoutResult::success : DispatchTimeoutResult::timedOut;
}

void DispatchGroup::notify(const DispatchQueuePtr& queue, std::function<void()> block) {
    {
        std::lock_guard lock(mutex_);
        if (count_ > 0) {
            notifications_.emplace_back(queue, std::move(block));
            return;
        }
    }
    queue->async(std::move(block));
}

}  // namespace platform
