// Non-template parts of promises: the main-thread test and the blocking wait.
#include "Pledge/Promise.h"

#include "platform/runloop/Thread.h"

namespace Pledge::detail {

bool isMainThread() { return platform::Thread::isMainThread(); }

void Waiter::wait() {
    flag_.wait(readied_, [](const Flag& flag) { return flag.ready; });
}

void Waiter::signal() {
    flag_.write([this](Flag& flag) {
        flag.ready = true;
        readied_.notify_all();
    });
}

}  // namespace Pledge::detail
