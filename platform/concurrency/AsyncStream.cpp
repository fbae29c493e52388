// The element-independent end of a stream: finishing, the waiting consumer and the
// termination callback.
#include "platform/concurrency/AsyncStream.h"

#include "platform/base/Fatal.h"

namespace platform::detail {

void StreamCore::setOnTermination(std::function<void()> callback) {
    bool runNow = false;
    {
        std::lock_guard lock(mutex_);
        if (finished_) runNow = true;
        else onTermination_ = std::move(callback);
    }
    if (runNow && callback) callback();
}

void StreamCore::finish() {
    std::optional<Waiter> waiter;
    std::function<void()> onTermination;
    {
        std::lock_guard lock(mutex_);
        if (finished_) return;
        finished_ = true;
        waiter = std::exchange(waiter_, std::nullopt);
        onTermination = std::exchange(onTermination_, nullptr);
    }
    if (waiter) resumeConsumer(*waiter);
    if (onTermination) onTermination();
}

void StreamCore::suspendConsumer(std::coroutine_handle<> handle) {
    if (waiter_) platform::fatal("Two tasks iterate one asynchronous stream at the same time.");
    waiter_ = Waiter{handle, currentTask()};
}

void StreamCore::resumeConsumer(const Waiter& waiter) { resumeIn(waiter.task, waiter.handle); }

}  // namespace platform::detail
