// Making and resolving promises: resolver forms, the resolver and guarantee warnings,
// the blocking wait, following another thenable, and work submitted to a queue.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "Pledge/AnyPromise.h"
#include "platform/dispatch/DispatchGroup.h"
#include "platform/dispatch/DispatchQueue.h"
#include "support.h"

using namespace Pledge;
using pledge_test::LogRecorder;
using pledge_test::testError;

namespace {
bool isInvalidCallingConvention(const ErrorPtr& e) {
    auto own = std::dynamic_pointer_cast<const PLGError>(e);
    return own && std::holds_alternative<PLGError::InvalidCallingConvention>(own->which());
}
}  // namespace

TEST(PledgeResolver, CallbackShapesResolveAsTheirRuleSays) {
    auto error = testError();
    struct Case {
        const char* name;
        std::function<void(const Resolver<int>&)> call;
        std::optional<int> value;  // expected value, else a rejection
        bool invalidConvention;
    };
    std::vector<Case> cases = {
        {"value?, error?: both", [&](auto& r) { r.resolve(std::optional<int>(1), error); }, {}, false},
        {"value?, error?: value", [&](auto& r) { r.resolve(std::optional<int>(1), nullptr); }, 1, false},
        {"value?, error?: neither", [&](auto& r) { r.resolve(std::optional<int>(), nullptr); }, {}, true},
        {"value, error?: both", [&](auto& r) { r.resolve(2, error); }, {}, false},
        {"value, error?: value", [&](auto& r) { r.resolve(2, nullptr); }, 2, false},
        {"error?, value?: value", [&](auto& r) { r.resolve(ErrorPtr(), std::optional<int>(3)); }, 3, false},
        {"error?, value?: neither", [&](auto& r) { r.resolve(ErrorPtr(), std::optional<int>()); }, {}, true},
        {"result: failure", [&](auto& r) { r.resolve(Result<int>::failure(error)); }, {}, false},
        {"reject: no error", [&](auto& r) { r.reject(nullptr); }, {}, true},
        {"result: failure without an error", [&](auto& r) { r.resolve(Result<int>::failure(nullptr)); }, {}, true},
        {"twice: first wins",
         [&](auto& r) {
             r.fulfill(4);
             r.reject(error);
         },
         4, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto [promise, resolver] = Promise<int>::pending();
        c.call(resolver);
        ASSERT_TRUE(promise.isResolved());
        EXPECT_EQ(promise.value(), c.value);
        if (!c.value) {
            EXPECT_EQ(isInvalidCallingConvention(promise.error()), c.invalidConvention);
        }
        if (!c.value && !c.invalidConvention) {
            EXPECT_EQ(promise.error(), error);
        }
    }
    auto [voidPromise, voidResolver] = Promise<Void>::pending();
    voidResolver.resolve(ErrorPtr());
    EXPECT_TRUE(voidPromise.isFulfilled());
    // Made rejected without an error: rejected all the same, never left in between.
    EXPECT_TRUE(isInvalidCallingConvention(Promise<int>(ErrorPtr()).error()));
}

TEST(PledgeResolver, BodyThrowsAndWarningsForUnresolvedEnds) {
    LogRecorder log;
    // A throw after fulfilling changes nothing; a throw before rejects.
    Promise<int> kept([](Resolver<int> r) {
        r.fulfill(1);
        throw platform::ErrorException(testError());
    });
    EXPECT_EQ(kept.value(), 1);
    Promise<int> thrown([](Resolver<int>) { throw platform::ErrorException(testError(7)); });
    EXPECT_EQ(thrown.error()->code(), 7);
    EXPECT_TRUE(log.events().empty());

    // A body that neither resolves nor keeps the resolver: one warning, at once.
    Promise<int> dropped([](Resolver<int>) {});
    EXPECT_TRUE(dropped.isPending());
    EXPECT_EQ(log.events(), std::vector<std::string>{"Pledge: warning: pending promise deallocated"});

    // A guarantee whose seal callback is dropped warns once, when the last holder goes.
    {
        auto [guarantee, seal] = Guarantee<int>::pending();
        auto copy = seal;
    }
    EXPECT_EQ(log.events().size(), 2u);
    EXPECT_EQ(log.events().back(), "Pledge: warning: pending guarantee deallocated");
    // Resolved ones die silently; copies of a resolver are one resolver.
    {
        auto [promise, resolver] = Promise<int>::pending();
        auto copy = resolver;
        copy.fulfill(1);
        Guarantee<int> g([](Guarantee<int>::Seal seal) { seal(1); });
    }
    EXPECT_EQ(log.events().size(), 2u);
}

TEST(PledgePromise, WaitBlocksUntilAnotherThreadResolvesAndWarnsOnTheMainThread) {
    LogRecorder log;
    EXPECT_THROW(Promise<int>(testError()).wait(), platform::ErrorException);
    EXPECT_EQ(log.events().size(), 1u);
    EXPECT_EQ(log.events()[0], "Pledge: warning: `wait()` called on main thread!");

    auto [promise, resolver] = Promise<int>::pending();
    std::thread sealer([r = resolver] { r.fulfill(42); });
    EXPECT_EQ(promise.wait(), 42);
    sealer.join();

    // Off the main thread there is no warning.
    auto [g, seal] = Guarantee<std::string>::pending();
    std::string got;
    std::thread waiter([&, g = g] { got = g.wait(); });
    seal("done");
    waiter.join();
    EXPECT_EQ(got, "done");
    EXPECT_EQ(log.events().size(), 2u);
}

TEST(PledgePromise, WaitersOnPoolWorkersLetThePoolGrowForTheirResolvers) {
    // More blocked waiters than the pool runs at once, each resolved by work queued after
    // all of them: the pool must start a thread for every worker blocked in a wait.
    const int count = std::max(40, 3 * static_cast<int>(std::thread::hardware_concurrency()));
    struct PendingWait {
        std::function<void()> wait;
        std::function<void()> resolve;
    };
    struct Case {
        const char* name;
        std::function<PendingWait()> make;
    };
    std::vector<Case> cases = {
        {"promise",
         [] {
             auto [promise, resolver] = Promise<int>::pending();
             return PendingWait{[p = promise] { p.wait(); }, [r = resolver] { r.fulfill(1); }};
         }},
        {"guarantee",
         [] {
             auto [guarantee, seal] = Guarantee<int>::pending();
             return PendingWait{[g = guarantee] { g.wait(); }, [seal = seal] { seal(1); }};
         }},
        {"runtime-facing promise",
         [] {
             AnyPromise::Resolve resolve;
             auto promise = AnyPromise::promiseWithResolver([&](const AnyPromise::Resolve& r) { resolve = r; });
             return PendingWait{[promise] { promise->wait(); }, [resolve] { resolve(platform::Value(1)); }};
         }},
    };
    const auto& pool = platform::DispatchQueue::global();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<PendingWait> waits;
        for (int i = 0; i < count; ++i) waits.push_back(c.make());
        auto returned = platform::DispatchGroup::create();
        for (const auto& w : waits) pool->async(returned, w.wait);
        for (const auto& w : waits) pool->async(w.resolve);
        bool allReturned =
            returned->wait(platform::DispatchTime::now() + 10.0) == platform::DispatchTimeoutResult::success;
        EXPECT_TRUE(allReturned);
        if (!allReturned) {
            for (const auto& w : waits) w.resolve();  // frees the workers for the tests that follow
        }
        returned->wait();
    }
}

TEST(PledgePromise, FollowingAThenableAndWorkOnAQueue) {
    // From an already-resolved thenable: resolved before the constructor returns.
    Promise<int> followed(Guarantee<int>::value(3));
    EXPECT_EQ(followed.value(), 3);

    auto queue = platform::DispatchQueue::create("pledge.test.async");
    auto value = async(queue, PLGNamespacer::promise, [] { return 5; });
    auto failing = async(queue, PLGNamespacer::promise, []() -> int { throw platform::ErrorException(testError(3)); });
    auto guaranteed = async(queue, PLGNamespacer::promise, []() noexcept { return std::string("g"); });
    static_assert(std::is_same_v<decltype(guaranteed), Guarantee<std::string>>);

    // The forms with a group count their block in it until it has run.
    auto group = platform::DispatchGroup::create();
    auto held = platform::DispatchQueue::create("pledge.test.async.held");
    held->suspend();
    auto grouped =
        async(held, PLGNamespacer::promise, group, platform::DispatchQoS::utility, Flags{}, [] { return 6; });
    auto groupedGuarantee = async(held, PLGNamespacer::promise, group, platform::DispatchQoS::background,
                                  Flags::barrier, []() noexcept { return 7; });
    static_assert(std::is_same_v<decltype(groupedGuarantee), Guarantee<int>>);
    EXPECT_EQ(group->wait(platform::DispatchTime::now()), platform::DispatchTimeoutResult::timedOut);
    held->resume();
    EXPECT_EQ(group->wait(platform::DispatchTime::now() + 10.0), platform::DispatchTimeoutResult::success);
    EXPECT_EQ(grouped.value(), 6);
    EXPECT_EQ(groupedGuarantee.value(), 7);
    std::thread([&] {
        EXPECT_EQ(value.wait(), 5);
        EXPECT_EQ(guaranteed.wait(), "g");
        try {
            failing.wait();
            ADD_FAILURE();
        } catch (const platform::ErrorException& e) {
            EXPECT_EQ(e.error()->code(), 3);
        }
    }).join();
}
