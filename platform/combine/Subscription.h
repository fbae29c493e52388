// The vocabulary of push streams with demand: how much a subscriber asks for, how a
// stream ends, the subscription a publisher hands out, the subscriber that receives,
// and a cancellable that ends a subscription when it goes away.
#pragma once
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include "platform/base/Protected.h"

namespace platform::combine {

// The failure type of streams that cannot fail; it has no values.
struct Never {
    Never() = delete;
};

class Demand {
public:
    static Demand unlimited() { return Demand(std::nullopt); }
    static Demand none() { return Demand(0); }
    static Demand max(std::size_t count) { return Demand(count); }

    bool isUnlimited() const { return !count_; }
    // The count asked for; none when unlimited.
    std::optional<std::size_t> max() const { return count_; }
    bool isNone() const { return count_ && *count_ == 0; }
    Demand& operator+=(Demand other);
    friend bool operator==(const Demand&, const Demand&) = default;

private:
    explicit Demand(std::optional<std::size_t> count) : count_(count) {}
    std::optional<std::size_t> count_;
};

// How a stream ended: finished, or failed with an error.
template <class Failure>
struct Completion {
    std::optional<Failure> error;
    static Completion finished() { return {}; }
    static Completion failure(Failure error) { return {std::move(error)}; }
    bool isFinished() const { return !error; }
};

class Subscription {
public:
    virtual ~Subscription() = default;
    virtual void request(Demand demand) = 0;
    virtual void cancel() = 0;
};
using SubscriptionPtr = std::shared_ptr<Subscription>;

template <class Input, class Failure>
class Subscriber {
public:
    using InputType = Input;
    using FailureType = Failure;
    virtual ~Subscriber() = default;
    virtual void receive(SubscriptionPtr subscription) = 0;
    // Answers how many more values the subscriber wants on top of what it asked for.
    virtual Demand receive(const Input& input) = 0;
    virtual void receive(const Completion<Failure>& completion) = 0;
};
template <class Input, class Failure>
using SubscriberPtr = std::shared_ptr<Subscriber<Input, Failure>>;

// Cancels what it stands for when cancelled or destroyed, once.
class AnyCancellable {
public:
    AnyCancellable() = default;
    explicit AnyCancellable(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
    AnyCancellable(AnyCancellable&& other) noexcept : cancel_(std::exchange(other.cancel_, nullptr)) {}
    AnyCancellable& operator=(AnyCancellable&& other) noexcept;
    AnyCancellable(const AnyCancellable&) = delete;
    AnyCancellable& operator=(const AnyCancellable&) = delete;
    ~AnyCancellable() { cancel(); }
    void cancel();

private:
    std::function<void()> cancel_;
};

namespace detail {

// A slot for the subscription a subscriber holds; cleared at completion so that a late
// cancel reaches nothing.
class SubscriptionSlot {
public:
    void set(SubscriptionPtr subscription);
    SubscriptionPtr take();
    SubscriptionPtr get() const;

private:
    Protected<SubscriptionPtr> subscription_;
};

// A subscriber made of three callbacks, for operators that pass things along.
template <class Input, class Failure>
class RelaySubscriber final : public Subscriber<Input, Failure> {
public:
    RelaySubscriber(std::function<void(SubscriptionPtr)> onSubscription, std::function<Demand(const Input&)> onInput,
                    std::function<void(const Completion<Failure>&)> onCompletion)
        : onSubscription_(std::move(onSubscription)), onInput_(std::move(onInput)),
          onCompletion_(std::move(onCompletion)) {}
    void receive(SubscriptionPtr subscription) override { onSubscription_(std::move(subscription)); }
    Demand receive(const Input& input) override { return onInput_(input); }
    void receive(const Completion<Failure>& completion) override { onCompletion_(completion); }

private:
    std::function<void(SubscriptionPtr)> onSubscription_;
    std::function<Demand(const Input&)> onInput_;
    std::function<void(const Completion<Failure>&)> onCompletion_;
};

template <class Input, class Failure, class A, class B, class C>
SubscriberPtr<Input, Failure> relay(A onSubscription, B onInput, C onCompletion) {
    return std::make_shared<RelaySubscriber<Input, Failure>>(std::move(onSubscription), std::move(onInput),
                                                             std::move(onCompletion));
}

}  // namespace detail

}  // namespace platform::combine
