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
    std::lock_guard lock(mutex_);
    upstream_ = std::move(upstream);
    return std::make_shared<MergeSubscription>(weak_from_this());
}

void MergeState::requestUpstream() {
    SubscriptionPtr upstream;
    {
        std::lock_guard lock(mutex_);
        if (requested_ || done_) return;
        requested_ = true;
        upstream = upstream_;
    }
    if (upstream) upstream->request(Demand::unlimited());
}

void MergeState::attachInner(SubscriptionPtr inner) {
    bool ended;
    {
        std::lock_guard lock(mutex_);
        ended = done_;
        if (!ended) inner_.push_back(inner);
    }
    if (ended) inner->cancel();
    else inner->request(Demand::unlimited());
}

bool MergeState::innerStarted() {
    std::lock_guard lock(mutex_);
    if (done_) return false;
    ++runningInner_;
    return true;
}

std::vector<SubscriptionPtr> MergeState::endLocked() {
    done_ = true;
    std::vector<SubscriptionPtr> ended = std::move(inner_);
    inner_.clear();
    if (upstream_) ended.push_back(std::exchange(upstream_, nullptr));
    return ended;
}

void MergeState::deliver(const std::function<void()>& send, Event event) {
    std::lock_guard ordered(delivery_);
    bool sending = false;
    std::vector<SubscriptionPtr> toCancel;
    {
        std::lock_guard lock(mutex_);
        if (done_) return;
        switch (event) {
            case Event::value: sending = true; break;
            case Event::failure:
                toCancel = endLocked();
                sending = true;
                break;
            case Event::innerFinished:
                --runningInner_;
                sending = upstreamFinished_ && runningInner_ == 0;
                break;
            case Event::upstreamFinished:
                upstreamFinished_ = true;
                sending = runningInner_ == 0;
                break;
        }
        if (sending && event != Event::value && event != Event::failure) {
            done_ = true;
            inner_.clear();
            upstream_.reset();
        }
    }
    for (const auto& subscription : toCancel) subscription->cancel();
    if (sending) send();
}

void MergeState::cancel() {
    std::vector<SubscriptionPtr> toCancel;
    {
        std::lock_guard lock(mutex_);
        if (done_) return;
        toCancel = endLocked();
    }
    for (const auto& subscription : toCancel) subscription->cancel();
}

}  // namespace platform::combine::detail
