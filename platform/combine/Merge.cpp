// flatMap's counting of running inner publishers and its single ending.
#include "platform/combine/Merge.h"

#include <utility>

namespace platform::combine::detail {

namespace {

// What the downstream of a flatMap holds.
class MergeSubscription final : public Subscription {
public:
    explicit MergeSubscription(std::weak_ptr<MergeState> merge) : merge_(std::move(merge)) {}
    void request(Demand demand) override {
        if (demand.isNone()) return;
        if (auto merge = merge_.lock()) merge->requestUpstream();
    }
    void cancel() override {
        if (auto merge = merge_.lock()) merge->cancel();
    }

private:
    std::weak_ptr<MergeState> merge_;
};

}  // namespace

SubscriptionPtr MergeState::attachUpstream(SubscriptionPtr upstream) {
    state_.set(&State::upstream, std::move(upstream));
    return std::make_shared<MergeSubscription>(weak_from_this());
}

void MergeState::requestUpstream() {
    SubscriptionPtr upstream = state_.write([](State& state) -> SubscriptionPtr {
        if (state.requested || state.done) return nullptr;
        state.requested = true;
        return state.upstream;
    });
    if (upstream) upstream->request(Demand::unlimited());
}

void MergeState::attachInner(SubscriptionPtr inner) {
    bool ended = state_.write([&](State& state) {
        if (!state.done) state.inner.push_back(inner);
        return state.done;
    });
    if (ended) inner->cancel();
    else inner->request(Demand::unlimited());
}

bool MergeState::innerStarted() {
    return state_.write([](State& state) {
        if (state.done) return false;
        ++state.runningInner;
        return true;
    });
}

std::vector<SubscriptionPtr> MergeState::end(State& state) {
    state.done = true;
    std::vector<SubscriptionPtr> ended = std::move(state.inner);
    state.inner.clear();
    if (state.upstream) ended.push_back(std::exchange(state.upstream, nullptr));
    return ended;
}

void MergeState::deliver(const std::function<void()>& send, Event event) {
    std::lock_guard ordered(delivery_);
    struct Step {
        bool sending = false;
        std::vector<SubscriptionPtr> toCancel;
    };
    Step step = state_.write([&](State& state) {
        Step next;
        if (state.done) return next;
        switch (event) {
            case Event::value: next.sending = true; break;
            case Event::failure:
                next.toCancel = end(state);
                next.sending = true;
                break;
            case Event::innerFinished:
                --state.runningInner;
                next.sending = state.upstreamFinished && state.runningInner == 0;
                break;
            case Event::upstreamFinished:
                state.upstreamFinished = true;
                next.sending = state.runningInner == 0;
                break;
        }
        if (next.sending && event != Event::value && event != Event::failure) {
            state.done = true;
            state.inner.clear();
            state.upstream.reset();
        }
        return next;
    });
    for (const auto& subscription : step.toCancel) subscription->cancel();
    if (step.sending) send();
}

void MergeState::cancel() {
    auto toCancel = state_.write([](State& state) { return state.done ? std::vector<SubscriptionPtr>{} : end(state); });
    for (const auto& subscription : toCancel) subscription->cancel();
}

}  // namespace platform::combine::detail
