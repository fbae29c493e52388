// Joining and racing: outcomes over tables of inputs, empty inputs, all rejected, and the
// concurrency limit of the iterator forms under many threads.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "Pledge/AnyPromise.h"
#include "platform/dispatch/DispatchQueue.h"
#include "support.h"

using namespace Pledge;
using platform::Value;
using pledge_test::testError;

namespace {
bool is(const ErrorPtr& e, std::size_t caseIndex) {
    auto own = std::dynamic_pointer_cast<const PLGError>(e);
    return own && own->index() == caseIndex;
}
constexpr std::size_t kBadInput = 4, kNoWinner = 7;

// Inputs that settle in a chosen order: input i is fulfilled with i or rejected with
// code i, the k-th in `order` settling k-th.
struct Script {
    std::vector<Promise<int>> promises;
    std::vector<Resolver<int>> resolvers;
    explicit Script(int n) {
        for (int i = 0; i < n; ++i) {
            auto [p, r] = Promise<int>::pending();
            promises.push_back(p);
            resolvers.push_back(r);
        }
    }
    void settle(const std::string& plan) {  // e.g. "1f 0r 2f"
        for (std::size_t i = 0; i + 1 < plan.size(); i += 3) {
            int index = plan[i] - '0';
            if (plan[i + 1] == 'f') resolvers[index].fulfill(index);
            else resolvers[index].reject(testError(index));
        }
    }
};
}  // namespace

TEST(PledgeWhen, FulfilledAndResolvedOverATableOfSettlingOrders) {
    struct Case {
        const char* plan;
        std::optional<std::vector<int>> values;  // whenFulfilled's values, else rejected with...
        int rejectedCode;
        std::string resolved;  // whenResolved: f/r per input, in input order
    };
    std::vector<Case> cases = {
        {"2f 0f 1f", std::vector<int>{0, 1, 2}, 0, "fff"},
        {"0f 1r 2f", std::nullopt, 1, "frf"},
        {"2r 1r 0r", std::nullopt, 2, "rrr"},  // the first rejection to arrive wins
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.plan);
        Script script(3);
        auto all = whenFulfilled(script.promises);
        auto each = whenResolved(script.promises);
        script.settle(c.plan);
        ASSERT_TRUE(all.isResolved());
        if (c.values) {
            EXPECT_EQ(all.value(), c.values);
        } else {
            EXPECT_EQ(all.error()->code(), c.rejectedCode);
        }
        ASSERT_TRUE(each.isResolved());
        std::string kinds;
        auto results = *each.value();
        for (const auto& r : results) kinds += r.isSuccess() ? 'f' : 'r';
        EXPECT_EQ(kinds, c.resolved);
    }
}

TEST(PledgeWhen, EmptyInputsTuplesAndGuarantees) {
    EXPECT_EQ(whenFulfilled(std::vector<Promise<int>>{}).value(), std::vector<int>{});
    EXPECT_TRUE(whenFulfilled(std::vector<Promise<Void>>{}).isFulfilled());
    EXPECT_TRUE(whenResolved(std::vector<Promise<int>>{}).value()->empty());
    EXPECT_TRUE(whenGuarantees(std::vector<Guarantee<Void>>{}).isFulfilled());

    auto [text, textResolver] = Promise<std::string>::pending();
    auto pair = whenFulfilled(Promise<int>::value(1), text);
    textResolver.fulfill("a");
    EXPECT_EQ(pair.value(), std::make_tuple(1, std::string("a")));

    // The argument-list forms take any thenables: guarantees, runtime-facing promises, mixes.
    auto [number, sealNumber] = Guarantee<int>::pending();
    auto mixed = whenFulfilled(number, Promise<std::string>::value("b"), *AnyPromise::promiseWithValue(Value(3)));
    EXPECT_TRUE(mixed.isPending());
    sealNumber(2);
    EXPECT_EQ(mixed.value(), std::make_tuple(2, std::string("b"), Value(3)));
    EXPECT_EQ(whenFulfilled(Guarantee<int>::value(1), Promise<int>(testError(5))).error()->code(), 5);
    auto [nothing, sealNothing] = Guarantee<Void>::pending();
    Promise<Void> voids = whenFulfilled(nothing, Promise<Void>());
    EXPECT_TRUE(voids.isPending());
    sealNothing(Void{});
    EXPECT_TRUE(voids.isFulfilled());

    auto [g1, seal1] = Guarantee<Void>::pending();
    auto both = whenGuarantees(g1, Guarantee<Void>());
    EXPECT_TRUE(both.isPending());
    seal1(Void{});
    EXPECT_TRUE(both.isFulfilled());
}

TEST(PledgeWhen, IteratorFormsKeepAtMostTheLimitPendingUnderManyThreads) {
    for (int limit : {1, 3}) {
        SCOPED_TRACE(limit);
        constexpr int kInputs = 200;
        std::atomic<int> inFlight{0}, maxInFlight{0}, taken{0};
        auto queue = platform::DispatchQueue::global();
        int next = 0;
        auto iterator = [&]() -> std::optional<Promise<int>> {
            if (next == kInputs) return std::nullopt;
            int i = next++;
            ++taken;
            int now = ++inFlight;
            for (int seen = maxInFlight; now > seen && !maxInFlight.compare_exchange_weak(seen, now);) {}
            return async(queue, PLGNamespacer::promise, [i, &inFlight] {
                --inFlight;
                return i;
            });
        };
        auto all = whenFulfilled(iterator, limit);
        std::vector<int> values;
        std::thread([&] { values = all.wait(); }).join();
        ASSERT_EQ(values.size(), std::size_t(kInputs));
        for (int i = 0; i < kInputs; ++i) ASSERT_EQ(values[i], i);
        EXPECT_LE(maxInFlight.load(), limit);
        EXPECT_EQ(taken.load(), kInputs);
    }
}

TEST(PledgeWhen, IteratorFormsStopAtARejectionAndRejectBadLimits) {
    // Five inputs, limit 2: the second rejects while the first is pending; nothing more is taken.
    Script script(5);
    int next = 0;
    auto iterator = [&]() -> std::optional<Promise<int>> {
        if (next == 5) return std::nullopt;
        return script.promises[next++];
    };
    auto all = whenFulfilled(iterator, 2);
    EXPECT_EQ(next, 2);
    script.settle("1r");
    EXPECT_EQ(all.error()->code(), 1);
    script.settle("0f");
    EXPECT_EQ(next, 2);

    int touched = 0;
    auto counting = [&]() -> std::optional<Promise<int>> {
        ++touched;
        return std::nullopt;
    };
    EXPECT_TRUE(is(whenFulfilled(counting, 0).error(), kBadInput));
    EXPECT_TRUE(is(whenFulfilled(counting, -1).error(), kBadInput));
    auto resolved = whenResolved(counting, 0).value();
    ASSERT_EQ(resolved->size(), 1u);
    EXPECT_TRUE(is((*resolved)[0].error(), kBadInput));
    EXPECT_EQ(touched, 0);
    EXPECT_EQ(whenFulfilled(counting, 1).value(), std::vector<int>{});

    // whenResolved's iterator form goes on past rejections; many already-resolved inputs
    // do not nest a call per element.
    int produced = 0;
    auto settled = [&]() -> std::optional<Promise<int>> {
        if (produced == 100000) return std::nullopt;
        int i = produced++;
        return i % 2 ? Promise<int>(testError(i)) : Promise<int>::value(i);
    };
    auto results = whenResolved(settled, 4).value();
    ASSERT_TRUE(results);
    EXPECT_EQ(results->size(), 100000u);
    EXPECT_TRUE((*results)[1].isFailure());
}

TEST(PledgeRace, FirstResolutionOrFirstFulfilment) {
    struct Case {
        const char* plan;
        int raceCode;        // race: value if >= 0, else -(code + 1) of the error
        int fulfilledValue;  // raceFulfilled: value, or -1 for noWinner
    };
    std::vector<Case> cases = {
        {"0r 1f", -1, 1},
        {"1f 0r 2r", 1, 1},
        {"0r 2r 1r", -1, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.plan);
        Script script(c.plan[5] == ' ' ? 3 : 2);
        auto any = race(script.promises);
        auto firstFulfilled = raceFulfilled(script.promises);
        std::string plan = c.plan;
        // Before the last input settles, an all-rejected raceFulfilled is still pending.
        script.settle(plan.substr(0, plan.size() - 3));
        if (c.fulfilledValue < 0) {
            EXPECT_TRUE(firstFulfilled.isPending());
        }
        script.settle(plan.substr(plan.size() - 2));
        if (c.raceCode >= 0) {
            EXPECT_EQ(any.value(), c.raceCode);
        } else {
            EXPECT_EQ(any.error()->code(), -(c.raceCode + 1));
        }
        if (c.fulfilledValue >= 0) {
            EXPECT_EQ(firstFulfilled.value(), c.fulfilledValue);
        } else {
            EXPECT_TRUE(is(firstFulfilled.error(), kNoWinner));
        }
    }
    EXPECT_TRUE(is(race(std::vector<Promise<int>>{}).error(), kBadInput));
    EXPECT_TRUE(is(raceFulfilled(std::vector<Promise<int>>{}).error(), kBadInput));
    EXPECT_TRUE(race(std::vector<Guarantee<int>>{}).isPending());
    // Already resolved inputs: the first in input order wins.
    EXPECT_EQ(race(Promise<int>::value(1), Promise<int>::value(2)).value(), 1);
    EXPECT_EQ(race(Guarantee<int>::value(3), Guarantee<int>::value(4)).value(), 3);
}
