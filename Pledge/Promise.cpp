// Non-template parts of promises: the main-thread test and the blocking wait.
#include "Pledge/Promise.h"

#include "platform/runloop/Thread.h"

namespace Pledge::detail {

bool isMainThread() { return platform::Thread::isMainThread(); }

GroupWait::GroupWait() : group_(platform::DispatchGroup::create()) { group_->enter(); }

std::function<void()> GroupWait::leave() const {
    return [group = group_] { group->leave(); };
}

void GroupWait::wait() const { group_->wait(); }

}  // namespace Pledge::detail
