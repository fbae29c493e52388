// Demand arithmetic, the cancellable and the subscription slot.
#include "platform/combine/Subscription.h"

namespace platform::combine {

Demand& Demand::operator+=(Demand other) {
    if (!count_ || !other.count_) count_.reset();
    else *count_ += *other.count_;
    return *this;
}

AnyCancellable& AnyCancellable::operator=(AnyCancellable&& other) noexcept {
    if (this != &other) {
        cancel();
        cancel_ = std::exchange(other.cancel_, nullptr);
    }
    return *this;
}

void AnyCancellable::cancel() {
    if (auto cancel = std::exchange(cancel_, nullptr)) cancel();
}

namespace detail {

void SubscriptionSlot::set(SubscriptionPtr subscription) { subscription_.set(std::move(subscription)); }

SubscriptionPtr SubscriptionSlot::take() {
    return subscription_.write([](SubscriptionPtr& subscription) { return std::exchange(subscription, nullptr); });
}

SubscriptionPtr SubscriptionSlot::get() const { return subscription_.get(); }

}  // namespace detail

}  // namespace platform::combine
