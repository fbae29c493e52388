// Reading the default queues and submitting steps to a queue.
#include "Pledge/Queue.h"

#include "Pledge/Configuration.h"
#include "platform/dispatch/DispatchQueue.h"

namespace Pledge {

platform::DispatchQueuePtr On::resolve(DefaultQueue fallback) const {
    switch (kind_) {
        case Kind::inlined: return nullptr;
        case Kind::queue: return queue_;
        case Kind::omitted: break;
    }
    const auto& queues = conf().Q;
    return fallback == DefaultQueue::map ? queues.map : queues.return_;
}

void detail::submit(const platform::DispatchQueuePtr& queue, Flags flags, std::function<void()> work) {
    queue->async(std::move(work), flags);
}

void detail::submit(const platform::DispatchQueuePtr& queue, const platform::DispatchGroupPtr& group, Flags flags,
                    std::function<void()> work) {
    queue->async(group, std::move(work), flags);
}

}  // namespace Pledge
