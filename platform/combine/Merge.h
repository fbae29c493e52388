// The bookkeeping of flatMap, apart from the element types: the upstream and inner
// subscriptions, how many inner publishers still run, and when the downstream hears of
// a value, the failure or the end.
#pragma once
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/base/Protected.h"
#include "platform/combine/Subscription.h"

namespace platform::combine::detail {

class MergeState : public std::enable_shared_from_this<MergeState> {
public:
    enum class Event { value, failure, innerFinished, upstreamFinished };

    // Keeps the upstream's subscription and answers the one the downstream gets: its
    // first demand asks the upstream for everything; its cancel ends every subscription.
    SubscriptionPtr attachUpstream(SubscriptionPtr upstream);
    // Asks an inner publisher for everything (or cancels it when the stream has ended).
    void attachInner(SubscriptionPtr inner);
    // Counts one more running inner publisher; false once the stream has ended.
    bool innerStarted();
    // Runs `send` (one call into the downstream) when `event` reaches it: values while
    // the stream runs; the first failure, which ends the stream and cancels the rest;
    // the finish once the upstream and every inner publisher have finished. Calls into
    // the downstream never overlap.
    void deliver(const std::function<void()>& send, Event event);
    void requestUpstream();
    void cancel();

private:
    struct State {
        bool done = false;
        bool upstreamFinished = false;
        bool requested = false;
        int runningInner = 0;
        SubscriptionPtr upstream;
        std::vector<SubscriptionPtr> inner;
    };
    // Marks the stream ended and hands back every subscription to cancel.
    static std::vector<SubscriptionPtr> end(State& state);

    // Held across each call into the downstream, so those calls never overlap; a call into
    // the downstream may lead back here on the same thread, hence recursive.
    std::recursive_mutex delivery_;
    Protected<State> state_;
};

}  // namespace platform::combine::detail
