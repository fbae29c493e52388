// Publishers and their operators: the type-erased AnyPublisher, the operator set that
// every publisher gets by erasing itself (map, compactMap, setFailureType, flatMap with
// unlimited inner publishers, sink), and the publisher of one Result.
#pragma once
#include <concepts>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

#include "platform/base/Result.h"
#include "platform/combine/Merge.h"
#include "platform/combine/Subscription.h"

namespace platform::combine {

template <class Output, class Failure>
class AnyPublisher;

// The operators, for any publisher type `Self` with a `receive(SubscriberPtr)`.
template <class Self, class Output, class Failure>
class PublisherOperators {
public:
    AnyPublisher<Output, Failure> eraseToAnyPublisher() const {
        Self self = static_cast<const Self&>(*this);
        return AnyPublisher<Output, Failure>(
            [self](SubscriberPtr<Output, Failure> subscriber) { self.receive(std::move(subscriber)); });
    }

    template <class F, class R = std::invoke_result_t<F&, const Output&>>
    AnyPublisher<R, Failure> map(F transform) const {
        auto upstream = eraseToAnyPublisher();
        return AnyPublisher<R, Failure>([upstream, transform](SubscriberPtr<R, Failure> down) {
            upstream.receive(detail::relay<Output, Failure>(
                [down](SubscriptionPtr s) { down->receive(std::move(s)); },
                [down, transform](const Output& value) { return down->receive(transform(value)); },
                [down](const Completion<Failure>& c) { down->receive(c); }));
        });
    }

    // `transform` answers an optional; values it answers none for are dropped.
    template <class F, class R = typename std::invoke_result_t<F&, const Output&>::value_type>
    AnyPublisher<R, Failure> compactMap(F transform) const {
        auto upstream = eraseToAnyPublisher();
        return AnyPublisher<R, Failure>([upstream, transform](SubscriberPtr<R, Failure> down) {
            upstream.receive(
                detail::relay<Output, Failure>([down](SubscriptionPtr s) { down->receive(std::move(s)); },
                                               [down, transform](const Output& value) {
                                                   auto mapped = transform(value);
                                                   return mapped ? down->receive(*mapped) : Demand::max(1);
                                               },
                                               [down](const Completion<Failure>& c) { down->receive(c); }));
        });
    }

    // A stream that cannot fail, typed as one that could fail with `NewFailure`.
    template <class NewFailure>
        requires std::same_as<Failure, Never>
    AnyPublisher<Output, NewFailure> setFailureType() const {
        auto upstream = eraseToAnyPublisher();
        return AnyPublisher<Output, NewFailure>([upstream](SubscriberPtr<Output, NewFailure> down) {
            upstream.receive(detail::relay<Output, Never>(
                [down](SubscriptionPtr s) { down->receive(std::move(s)); },
                [down](const Output& value) { return down->receive(value); },
                [down](const Completion<Never>&) { down->receive(Completion<NewFailure>::finished()); }));
        });
    }

    // Each value becomes a publisher (of the same failure type) whose values are passed
    // on; any number of them run at once. The first failure ends the stream; it
    // finishes when the upstream and every inner publisher have finished.
    template <class F, class P = std::invoke_result_t<F&, const Output&>, class R = typename P::OutputType>
    AnyPublisher<R, Failure> flatMap(F transform) const {
        auto upstream = eraseToAnyPublisher();
        return AnyPublisher<R, Failure>([upstream, transform](SubscriberPtr<R, Failure> down) {
            auto merge = std::make_shared<detail::MergeState>();
            auto fail = [down, merge](const Completion<Failure>& c) {
                merge->deliver([&] { down->receive(c); }, detail::MergeState::Event::failure);
            };
            upstream.receive(detail::relay<Output, Failure>(
                [down, merge](SubscriptionPtr s) { down->receive(merge->attachUpstream(std::move(s))); },
                [down, merge, transform, fail](const Output& value) {
                    if (!merge->innerStarted()) return Demand::none();
                    transform(value).receive(detail::relay<R, Failure>(
                        [merge](SubscriptionPtr s) { merge->attachInner(std::move(s)); },
                        [down, merge](const R& inner) {
                            merge->deliver([&] { down->receive(inner); }, detail::MergeState::Event::value);
                            return Demand::none();
                        },
                        [down, merge, fail](const Completion<Failure>& c) {
                            if (c.error) return fail(c);
                            merge->deliver([&] { down->receive(Completion<Failure>::finished()); },
                                           detail::MergeState::Event::innerFinished);
                        }));
                    return Demand::none();
                },
                [down, merge, fail](const Completion<Failure>& c) {
                    if (c.error) return fail(c);
                    merge->deliver([&] { down->receive(Completion<Failure>::finished()); },
                                   detail::MergeState::Event::upstreamFinished);
                }));
        });
    }

    // Subscribes with unlimited demand; the returned cancellable ends the subscription
    // when cancelled or dropped (after completion it has nothing left to end).
    AnyCancellable sink(std::function<void(const Completion<Failure>&)> receiveCompletion,
                        std::function<void(const Output&)> receiveValue) const {
        auto slot = std::make_shared<detail::SubscriptionSlot>();
        static_cast<const Self&>(*this).receive(detail::relay<Output, Failure>(
            [slot](SubscriptionPtr s) {
                slot->set(s);
                s->request(Demand::unlimited());
            },
            [receiveValue](const Output& value) {
                receiveValue(value);
                return Demand::none();
            },
            [slot, receiveCompletion](const Completion<Failure>& c) {
                slot->take();
                receiveCompletion(c);
            }));
        return AnyCancellable([slot] {
            if (auto s = slot->take()) s->cancel();
        });
    }
};

template <class Output, class Failure>
class AnyPublisher : public PublisherOperators<AnyPublisher<Output, Failure>, Output, Failure> {
public:
    using OutputType = Output;
    using FailureType = Failure;
    explicit AnyPublisher(std::function<void(SubscriberPtr<Output, Failure>)> subscribe)
        : subscribe_(std::move(subscribe)) {}
    void receive(SubscriberPtr<Output, Failure> subscriber) const { subscribe_(std::move(subscriber)); }
    AnyPublisher eraseToAnyPublisher() const { return *this; }

private:
    std::function<void(SubscriberPtr<Output, Failure>)> subscribe_;
};

// One value and finished for a success, the failure for a failure; sent on the first
// demand.
template <class Output, class Failure>
class ResultPublisher : public PublisherOperators<ResultPublisher<Output, Failure>, Output, Failure> {
public:
    using OutputType = Output;
    using FailureType = Failure;
    explicit ResultPublisher(platform::Result<Output, Failure> result) : result_(std::move(result)) {}

    void receive(SubscriberPtr<Output, Failure> subscriber) const {
        auto subscription = std::make_shared<Once>(result_, subscriber);
        subscriber->receive(subscription);
    }

private:
    class Once final : public Subscription {
    public:
        Once(platform::Result<Output, Failure> result, SubscriberPtr<Output, Failure> down)
            : result_(std::move(result)), down_(std::move(down)) {}
        void request(Demand demand) override {
            if (demand.isNone()) return;
            auto down = take();
            if (!down) return;
            if (result_.isSuccess()) {
                down->receive(result_.value());
                down->receive(Completion<Failure>::finished());
            } else {
                down->receive(Completion<Failure>::failure(result_.error()));
            }
        }
        void cancel() override { take(); }

    private:
        SubscriberPtr<Output, Failure> take() {
            return down_.write([](SubscriberPtr<Output, Failure>& down) { return std::exchange(down, nullptr); });
        }
        platform::Result<Output, Failure> result_;
        Protected<SubscriberPtr<Output, Failure>> down_;
    };
    platform::Result<Output, Failure> result_;
};

}  // namespace platform::combine
