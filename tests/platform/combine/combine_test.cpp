// Publishers, operators and the sink, over a publisher that records the demand it gets.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/combine/Publisher.h"

using namespace platform::combine;

namespace {

struct Log {
    std::vector<Demand> demands;
    int cancels = 0;
};

// Sends its values (then finished) on the first demand, as a lazily started request does.
class Sequence : public PublisherOperators<Sequence, int, Never> {
public:
    using OutputType = int;
    using FailureType = Never;
    Sequence(std::vector<int> values, std::shared_ptr<Log> log) : values_(std::move(values)), log_(std::move(log)) {}
    void receive(SubscriberPtr<int, Never> subscriber) const {
        subscriber->receive(std::make_shared<Inner>(values_, log_, subscriber));
    }

private:
    struct Inner final : Subscription {
        Inner(std::vector<int> values, std::shared_ptr<Log> log, SubscriberPtr<int, Never> down)
            : values(std::move(values)), log(std::move(log)), down(std::move(down)) {}
        void request(Demand demand) override {
            log->demands.push_back(demand);
            if (!down) return;
            auto target = std::exchange(down, nullptr);
            for (int v : values) target->receive(v);
            target->receive(Completion<Never>::finished());
        }
        void cancel() override {
            ++log->cancels;
            down.reset();
        }
        std::vector<int> values;
        std::shared_ptr<Log> log;
        SubscriberPtr<int, Never> down;
    };
    std::vector<int> values_;
    std::shared_ptr<Log> log_;
};

struct Outcome {
    std::vector<std::string> values;
    std::optional<std::string> failure;
    bool finished = false;
};

template <class P>
Outcome run(const P& publisher) {
    Outcome outcome;
    auto cancellable = publisher.sink(
        [&](const auto& completion) {
            using F = typename P::FailureType;
            if constexpr (!std::is_same_v<F, Never>) {
                if (completion.error) return void(outcome.failure = *completion.error);
            }
            outcome.finished = completion.isFinished();
        },
        [&](const auto& value) { outcome.values.push_back(std::to_string(value)); });
    return outcome;
}

using R = platform::Result<int, std::string>;

}  // namespace

TEST(Combine, OperatorsPassValuesFailuresAndTheEndAlong) {
    auto log = std::make_shared<Log>();
    Sequence numbers({1, 2, 3, 4}, log);

    auto doubled = run(numbers.map([](int v) { return v * 2; }));
    EXPECT_EQ(doubled.values, (std::vector<std::string>{"2", "4", "6", "8"}));
    EXPECT_TRUE(doubled.finished);

    auto odd = run(numbers.compactMap([](int v) { return v % 2 ? std::optional<int>(v) : std::nullopt; }));
    EXPECT_EQ(odd.values, (std::vector<std::string>{"1", "3"}));
    EXPECT_TRUE(odd.finished);

    // flatMap of Result publishers: values up to the first failure, which ends it.
    auto checked = numbers.setFailureType<std::string>().flatMap([](int v) {
        return ResultPublisher<int, std::string>(v < 3 ? R::success(v * 10)
                                                       : R::failure("too big: " + std::to_string(v)));
    });
    auto failed = run(checked);
    EXPECT_EQ(failed.values, (std::vector<std::string>{"10", "20"}));
    EXPECT_EQ(failed.failure, "too big: 3");
    EXPECT_FALSE(failed.finished);

    auto allGood = run(numbers.setFailureType<std::string>().flatMap(
        [](int v) { return ResultPublisher<int, std::string>(R::success(v)); }));
    EXPECT_EQ(allGood.values.size(), 4u);
    EXPECT_TRUE(allGood.finished);
}

TEST(Combine, NothingIsAskedBeforeTheFirstDemandAndADroppedSinkCancels) {
    auto log = std::make_shared<Log>();
    Sequence numbers({1}, log);
    // Subscribing alone asks for nothing.
    struct Quiet final : Subscriber<int, Never> {
        SubscriptionPtr subscription;
        void receive(SubscriptionPtr s) override { subscription = std::move(s); }
        Demand receive(const int&) override { return Demand::none(); }
        void receive(const Completion<Never>&) override {}
    };
    auto quiet = std::make_shared<Quiet>();
    numbers.map([](int v) { return v; }).receive(quiet);
    EXPECT_TRUE(log->demands.empty());
    quiet->subscription->request(Demand::max(1));
    ASSERT_EQ(log->demands.size(), 1u);
    EXPECT_EQ(log->demands[0], Demand::max(1));

    // A sink asks for everything; once complete, dropping it cancels nothing.
    run(numbers);
    EXPECT_EQ(log->demands.back(), Demand::unlimited());
    EXPECT_EQ(log->cancels, 0);

    // A sink dropped before completion cancels its subscription, once.
    struct Held final : Subscription {
        explicit Held(std::shared_ptr<Log> log) : log(std::move(log)) {}
        void request(Demand demand) override { log->demands.push_back(demand); }
        void cancel() override { ++log->cancels; }
        std::shared_ptr<Log> log;
    };
    AnyPublisher<int, Never> endless([log](SubscriberPtr<int, Never> s) { s->receive(std::make_shared<Held>(log)); });
    {
        auto cancellable = endless.sink([](const Completion<Never>&) {}, [](const int&) {});
        cancellable.cancel();
    }
    EXPECT_EQ(log->cancels, 1);
}
