// Non-template parts of promises: the main-thread test and the blocking wait.
#include "Pledge/Promise.h"

#include "platform/runloop/Thread.h"

namespace Pledge::detail {

bool isMainThread() { return platform::Thread::isMainThread(); }

void Waiter::wait() {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [this] { return ready_; });
}

void Waiter::signal() {
    std::lock_guard lock(mutex_);
    ready_ = true;
    cv_.notify_all();
}

}  // namespace Pledge::detail
