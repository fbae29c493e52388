// The run-loop side of `hang`.
#include "Pledge/hang.h"

#include "platform/base/Fatal.h"
#include "platform/runloop/RunLoop.h"
#include "platform/runloop/Thread.h"

namespace Pledge::detail {

void checkHangOnMainThread() {
    if (!platform::Thread::isMainThread()) platform::fatal("Only call hang() on the main thread.");
}

void runWhilePending(const std::function<bool()>& isPending,
                     const std::function<void(std::function<void()>)>& attachWake) {
    auto loop = platform::RunLoop::current();
    // Waking rather than stopping: a stop would end whichever invocation of the loop is
    // innermost, which after a nested wait need not be ours. The state is tested after
    // every turn, so a wake-up that arrives early is never lost; the one-second turn is
    // only a backstop.
    attachWake([loop] { loop->wakeUp(); });
    while (isPending()) loop->runOnce(1.0);
}

}  // namespace Pledge::detail
