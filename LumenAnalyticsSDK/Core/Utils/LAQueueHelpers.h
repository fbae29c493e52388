// Running work on one of the client's queues and waiting for it, safe when the caller
// already runs on that queue (a plain synchronous dispatch would then wait for itself).
#pragma once
#include <functional>
#include <string>

#include "platform/dispatch/DispatchQueue.h"

namespace LumenAnalyticsSDK {

// "<prefix><address>" ("com.lumen.serialQueue." + "0x55…"): the label of a queue owned by
// the object at `owner`, unique while that object lives.
std::string LAQueueLabel(const std::string& prefix, const void* owner);

// True when the queue the caller runs on has the same label as `queue`. The client's
// queue labels carry their owner's address, so for them this means the same queue.
bool LAIsCurrentQueue(const platform::DispatchQueuePtr& queue);

// Runs `block` at once when the caller already runs on `queue` itself, else
// synchronously on `queue`.
void LADispatchSyncOrInline(const platform::DispatchQueuePtr& queue, const std::function<void()>& block);

// The same for a block with a result.
template <class F>
auto LADispatchSyncOrInlineResult(const platform::DispatchQueuePtr& queue, F&& block) {
    if (platform::DispatchQueue::current() == queue) return block();
    return queue->sync(std::forward<F>(block));
}

}  // namespace LumenAnalyticsSDK
