// The rejected path: catch with its policies and finalizer, recover in its forms, ensure,
// ensureThen and cauterize.
#include <gtest/gtest.h>

#include <thread>

#include "platform/dispatch/DispatchQueue.h"
#include "support.h"

using namespace Pledge;
using pledge_test::LogRecorder;
using pledge_test::runUntil;
using pledge_test::testError;

namespace {
ErrorPtr urlCancelled() { return platform::NSError::make(platform::NSURLErrorDomain, platform::NSURLErrorCancelled); }
}  // namespace

TEST(PledgeCatch, PolicyDecidesWhetherTheBodySeesAnErrorAndFinallyAlwaysRuns) {
    struct Case {
        const char* name;
        Promise<int> receiver;
        CatchPolicy policy;
        bool bodyRuns;
    };
    std::vector<Case> cases = {
        {"fulfilled", Promise<int>::value(1), CatchPolicy::allErrors, false},
        {"error, all errors", Promise<int>(testError()), CatchPolicy::allErrors, true},
        {"cancelled, all errors", Promise<int>(urlCancelled()), CatchPolicy::allErrors, true},
        {"cancelled, except cancellation", Promise<int>(urlCancelled()), CatchPolicy::allErrorsExceptCancellation,
         false},
        {"error, except cancellation", Promise<int>(testError()), CatchPolicy::allErrorsExceptCancellation, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> order;
        auto finalizer =
            c.receiver.catch_(nullptr, Flags{}, c.policy, [&](const ErrorPtr&) { order.push_back("catch"); });
        // Inline: done when catch_ returns.
        EXPECT_TRUE(finalizer.guarantee().isResolved());
        finalizer.finally(nullptr, [&] { order.push_back("finally"); });
        using Order = std::vector<std::string>;
        EXPECT_EQ(order, (c.bodyRuns ? Order{"catch", "finally"} : Order{"finally"}));
    }
}

TEST(PledgeCatch, DefaultsGoToTheReturnQueueAndCauterizeLogsThroughTheHandlerOfTheMoment) {
    auto [promise, resolver] = Promise<int>::pending();
    bool caught = false;
    promise.catch_([&](const ErrorPtr&) { caught = true; });
    promise.cauterize();
    LogRecorder log;  // installed after cauterize() was called
    resolver.reject(platform::NSError::withDescription("Test", 1, ""));
    EXPECT_FALSE(caught);  // on the main queue, not inline
    ASSERT_TRUE(runUntil([&] { return caught && !log.events().empty(); }));
    EXPECT_EQ(log.events(), std::vector<std::string>{"Pledge:cauterized-error: NSError(Test 1): "});
}

TEST(PledgeRecover, FormsAndTheirOutcomes) {
    auto error = testError();
    bool called = false;
    // A fulfilled receiver passes its value on at once; the body is not called.
    auto passed = Promise<int>::value(1).recover(nullptr, [&](const ErrorPtr&) {
        called = true;
        return Promise<int>::value(2);
    });
    EXPECT_EQ(passed.value(), 1);
    EXPECT_FALSE(called);
    // A replacement, a rejected replacement, a throw.
    auto rejected = Promise<int>(error);
    EXPECT_EQ(rejected.recover(nullptr, [](const ErrorPtr&) { return Promise<int>::value(2); }).value(), 2);
    auto other = testError(9);
    EXPECT_EQ(rejected.recover(nullptr, [&](const ErrorPtr&) { return Promise<int>(other); }).error(), other);
    EXPECT_EQ(rejected.recover(nullptr, [&](const ErrorPtr&) -> Promise<int> { throw platform::ErrorException(other); })
                  .error(),
              other);
    // Cancellation under the default policy: untouched, body skipped.
    auto cancelled = Promise<int>(urlCancelled());
    EXPECT_EQ(cancelled
                  .recover(nullptr,
                           [&](const ErrorPtr&) {
                               called = true;
                               return Promise<int>::value(0);
                           })
                  .error()
                  ->code(),
              platform::NSURLErrorCancelled);
    EXPECT_FALSE(called);
    EXPECT_EQ(cancelled.recover(nullptr, CatchPolicy::allErrors, [](const ErrorPtr&) { return Promise<int>::value(3); })
                  .value(),
              3);
    // The guarantee forms see every error, cancellations included.
    Guarantee<int> g = cancelled.recover(nullptr, [](const ErrorPtr&) { return Guarantee<int>::value(4); });
    EXPECT_EQ(g.value(), 4);
    Guarantee<Void> v = Promise<Void>(urlCancelled()).recover(nullptr, [](const ErrorPtr&) {});
    EXPECT_TRUE(v.isFulfilled());
    Promise<Void> pv = Promise<Void>(error).recover(nullptr, CatchPolicy::allErrors, [](const ErrorPtr&) {});
    EXPECT_TRUE(pv.isFulfilled());
}

TEST(PledgeEnsure, RunsOnEitherOutcomeThenPassesItOn) {
    auto error = testError();
    auto queue = platform::DispatchQueue::create("pledge.test.ensure");
    std::atomic<bool> ran{false};
    auto ensured = Promise<int>(error).ensure(queue, [&] { ran = true; });
    std::thread([&] { EXPECT_THROW(ensured.wait(), platform::ErrorException); }).join();
    EXPECT_TRUE(ran);
    EXPECT_EQ(ensured.error(), error);

    // ensureThen holds the outcome until the body's guarantee resolves, then passes it
    // on from the return queue.
    auto [gate, open] = Guarantee<Void>::pending();
    auto held = Promise<int>::value(7).ensureThen(nullptr, [gate = gate] { return gate; });
    EXPECT_TRUE(held.isPending());
    open(Void{});
    EXPECT_TRUE(held.isPending());  // waits for the main queue
    ASSERT_TRUE(runUntil([&] { return held.isResolved(); }));
    EXPECT_EQ(held.value(), 7);
}
