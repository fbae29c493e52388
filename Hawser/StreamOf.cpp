// The event queues of the client's awaitable and streamed forms, and the iteration token.
#include "Hawser/StreamOf.h"
#include "platform/base/NoDestructor.h"

namespace Hawser {

const platform::DispatchQueuePtr& singleEventQueue() {
    // Made once and never destroyed, so handlers still running while the process exits
    // never meet a destroyed queue.
    static const platform::NoDestructor<platform::DispatchQueuePtr> queue(
        platform::DispatchQueue::create("org.hawser.concurrencySingleEventQueue", platform::DispatchQoS::unspecified,
                                        platform::DispatchQueue::Attributes::concurrent));
    return *queue;
}

platform::DispatchQueuePtr streamCompletionQueue(const platform::UUID& requestID) {
    return platform::DispatchQueue::create("org.hawser.concurrencyStreamCompletionQueue-" + requestID.uuidString(),
                                           platform::DispatchQoS::unspecified, {}, singleEventQueue());
}

namespace detail {
StreamToken::~StreamToken() {
    if (onDeinit_) onDeinit_();
}
}  // namespace detail

}  // namespace Hawser
