// Where a handler runs: the queue argument of every operator and the one hop that takes a
// step to its queue. The argument has three states: omitted (the operator's default, read
// from `conf()` at the call), inline (`nullptr`, or a null queue), or a given queue.
#pragma once
#include <cstddef>
#include <functional>
#include <utility>

#include "platform/dispatch/DispatchGroup.h"
#include "platform/dispatch/DispatchWorkItem.h"

namespace Pledge {

using Flags = platform::DispatchWorkItemFlags;

// Which of the configured queues an operator falls back to when its queue is omitted:
// transforming steps take `Q.map`, final steps take `Q.return_`.
enum class DefaultQueue { map, return_ };

class On {
public:
    On() = default;
    On(std::nullptr_t) : kind_(Kind::inlined) {}
    On(platform::DispatchQueuePtr queue) : kind_(queue ? Kind::queue : Kind::inlined), queue_(std::move(queue)) {}
    template <class Q>
        requires std::is_convertible_v<std::shared_ptr<Q>, platform::DispatchQueuePtr>
    On(std::shared_ptr<Q> queue) : On(platform::DispatchQueuePtr(std::move(queue))) {}

    static On inlined() { return On(nullptr); }
    bool isOmitted() const { return kind_ == Kind::omitted; }
    bool isInline() const { return kind_ == Kind::inlined; }

    // The queue a step runs on, null meaning inline; an omitted queue reads the
    // configuration now.
    platform::DispatchQueuePtr resolve(DefaultQueue fallback) const;

private:
    enum class Kind { omitted, inlined, queue };
    Kind kind_ = Kind::omitted;
    platform::DispatchQueuePtr queue_;
};

namespace detail {
// Submits `work` asynchronously to `queue`: no group, quality of service unspecified,
// the given flags.
void submit(const platform::DispatchQueuePtr& queue, Flags flags, std::function<void()> work);
// The same, counted in `group` (when there is one) until `work` has run.
void submit(const platform::DispatchQueuePtr& queue, const platform::DispatchGroupPtr& group, Flags flags,
            std::function<void()> work);
}  // namespace detail

// Runs `work` at once when `queue` is null, else submits it to `queue`. `work` must not
// throw: every step catches its body's exceptions itself.
template <class W>
void hop(const platform::DispatchQueuePtr& queue, Flags flags, W&& work) {
    if (!queue) {
        work();
        return;
    }
    detail::submit(queue, flags, std::function<void()>(std::forward<W>(work)));
}

}  // namespace Pledge
