// Work items: a block plus the bookkeeping for cancel, wait and notify.
#include "platform/dispatch/DispatchWorkItem.h"

#include <chrono>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/ThreadPool.h"

namespace platform {

DispatchWorkItemPtr DispatchWorkItem::create(std::function<void()> block, DispatchWorkItemFlags flags) {
    return std::make_shared<DispatchWorkItem>(std::move(block), flags);
}

DispatchWorkItem::DispatchWorkItem(std::function<void()> block, DispatchWorkItemFlags flags)
    : block_(std::move(block)), flags_(flags) {}

void DispatchWorkItem::perform() {
    bool run;
    {
        std::lock_guard lock(mutex_);
        run = !cancelled_;
    }
    if (run && block_) {
        try {
            block_();
        } catch (...) {
            finish();
            throw;
        }
    }
    finish();
}

void DispatchWorkItem::finish() {
    decltype(notifications_) notifications;
    {
        std::lock_guard lock(mutex_);
        done_ = true;
        notifications.swap(notifications_);
        finished_.notify_all();
    }
    for (auto& [queue, block] : notifications) queue->async(std::move(block));
}

void DispatchWorkItem::cancel() {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
}

bool DispatchWorkItem::isCancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
}

void DispatchWorkItem::notify(const DispatchQueuePtr& queue, std::function<void()> block) {
    {
        std::lock_guard lock(mutex_);
        if (!done_) {
            notifications_.emplace_back(queue, std::move(block));
            return;
        }
    }
    queue->async(std::move(block));
}

void DispatchWorkItem::wait() { wait(DispatchTime::distantFuture()); }

DispatchTimeoutResult DispatchWorkItem::wait(DispatchTime deadline) {
    detail::BlockingScope blocking;
    std::unique_lock lock(mutex_);
    if (deadline.isDistantFuture()) {
        finished_.wait(lock, [this] { return done_; });
        return DispatchTimeoutResult::success;
    }
    auto due = std::chrono::steady_clock::time_point(std::chrono::nanoseconds(deadline.uptimeNanoseconds));
    return finished_.wait_until(lock, due, [this] { return done_; }) ? DispatchTimeoutResult::success
                                                                     : DispatchTimeoutResult::timedOut;
}

}  // namespace platform
