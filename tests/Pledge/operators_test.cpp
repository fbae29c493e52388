// Chaining operators: where bodies run for each queue state, how rejections and throws
// travel, and the order of handlers.
#include <gtest/gtest.h>

#include <atomic>
#include <numeric>
#include <thread>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/runloop/Thread.h"
#include "support.h"

using namespace Pledge;
using platform::DispatchQueue;
using pledge_test::runUntil;
using pledge_test::testError;

namespace {

struct QueueCase {
    const char* name;
    On on;
    bool runsInsideCall;              // on an already-resolved receiver
    bool runsOnMainThread;            // the body's thread
    platform::DispatchQueuePtr held;  // suspended during the calls, so a step cannot run early
};

std::vector<QueueCase> queueCases() {
    auto serial = DispatchQueue::create("pledge.test.serial");
    return {
        {"omitted (conf: main)", On{}, false, true, nullptr},
        {"inline", nullptr, true, true, nullptr},
        {"given queue", serial, false, false, serial},
    };
}

}  // namespace

TEST(PledgeOperators, EachQueueStateRunsTheBodyWhereItSays) {
    for (const auto& c : queueCases()) {
        SCOPED_TRACE(c.name);
        std::atomic<int> ran{0};
        std::atomic<bool> onMain{false};
        auto body = [&](const int& v) {
            onMain = platform::Thread::isMainThread();
            ran += v;
            return v + 1;
        };
        if (c.held) c.held->suspend();
        auto mapped = Promise<int>::value(1).map(c.on, body);
        auto then = Promise<int>::value(1).then(c.on, [&](const int& v) { return Promise<int>::value(body(v)); });
        auto done = Promise<int>::value(1).done(c.on, [&](const int& v) { body(v); });
        EXPECT_EQ(ran.load() == 3, c.runsInsideCall);
        if (c.held) c.held->resume();
        ASSERT_TRUE(runUntil([&] { return mapped.isResolved() && then.isResolved() && done.isResolved(); }));
        EXPECT_EQ(onMain.load(), c.runsOnMainThread);
        EXPECT_EQ(mapped.value(), 2);
        EXPECT_EQ(then.value(), 2);
        EXPECT_TRUE(done.isFulfilled());
    }
}

TEST(PledgeOperators, InlineHandlersOfAPendingPromiseRunOnTheSealingThreadInAttachOrder) {
    auto [promise, resolver] = Promise<int>::pending();
    std::vector<int> order;
    std::thread::id bodyThread;
    promise.done(nullptr, [&](const int&) {
        order.push_back(1);
        bodyThread = std::this_thread::get_id();
    });
    promise.get(nullptr, [&](const int&) { order.push_back(2); });
    promise.tap(nullptr, [&](const Result<int>&) { order.push_back(3); });
    std::thread sealer([r = resolver] { r.fulfill(5); });
    std::thread::id sealerId = sealer.get_id();
    sealer.join();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(bodyThread, sealerId);
}

TEST(PledgeOperators, StepsOnOneSerialQueueStartInAttachOrder) {
    auto queue = DispatchQueue::create("pledge.test.order");
    auto [promise, resolver] = Promise<int>::pending();
    std::mutex m;
    std::vector<int> order;
    std::vector<Promise<Void>> steps;
    for (int i = 0; i < 20; ++i)
        steps.push_back(promise.done(queue, [&, i](const int&) {
            std::lock_guard l(m);
            order.push_back(i);
        }));
    resolver.fulfill(0);
    whenFulfilled(steps).wait();
    std::vector<int> expected(20);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(order, expected);
}

TEST(PledgeOperators, RejectionsSkipBodiesAndThrowsReject) {
    auto error = testError();
    bool called = false;
    auto rejected = Promise<int>(error);
    auto queue = DispatchQueue::create("pledge.test.rejections");
    // A rejection passes on at once, whatever the queue, without calling the body.
    EXPECT_EQ(rejected
                  .map(queue,
                       [&](const int& v) {
                           called = true;
                           return v;
                       })
                  .error(),
              error);
    EXPECT_EQ(rejected
                  .then(queue,
                        [&](const int& v) {
                            called = true;
                            return Promise<int>::value(v);
                        })
                  .error(),
              error);
    EXPECT_EQ(rejected.done([&](const int&) { called = true; }).error(), error);
    EXPECT_FALSE(called);

    // A body that throws rejects the next promise with the thrown error.
    auto thrown = testError(2);
    auto fulfilled = Promise<int>::value(1);
    EXPECT_EQ(fulfilled.map(nullptr, [&](const int&) -> int { throw platform::ErrorException(thrown); }).error(),
              thrown);
    EXPECT_EQ(
        fulfilled.then(nullptr, [&](const int&) -> Promise<int> { throw platform::ErrorException(thrown); }).error(),
        thrown);
    EXPECT_EQ(fulfilled.tap(nullptr, [&](const Result<int>&) { throw platform::ErrorException(thrown); }).error(),
              thrown);
    auto other = fulfilled.done(nullptr, [](const int&) { throw std::runtime_error("plain"); }).error();
    ASSERT_TRUE(other);
    EXPECT_EQ(other->localizedDescription(), "plain");
    // Thrown on a queue: still a rejection, nothing escapes the work item.
    auto onQueue = fulfilled.map(queue, [&](const int&) -> int { throw platform::ErrorException(thrown); });
    EXPECT_THROW(onQueue.wait(), platform::ErrorException);

    // `then` adopts a rejected promise's own error; `compactMap` of nothing names value and type.
    EXPECT_EQ(fulfilled.then(nullptr, [&](const int&) { return Promise<int>(thrown); }).error(), thrown);
    auto compact = Promise<int>::value(3).compactMap(nullptr, [](const int&) { return std::optional<std::string>(); });
    EXPECT_EQ(compact.error()->localizedDescription(), "Could not `compactMap<String>`: 3");
    // `tap` sees a rejection and passes it on afterwards.
    std::optional<Result<int>> tapped;
    EXPECT_EQ(rejected.tap(nullptr, [&](const Result<int>& r) { tapped = r; }).error(), error);
    ASSERT_TRUE(tapped && tapped->isFailure());
}

TEST(PledgeOperators, ATapWhoseReceiverDiesPendingWarnsForItsOwnPromise) {
    pledge_test::LogRecorder log;
    // The receiver has no resolver, so its own end gives no warning; the tap's does.
    auto tapped = Promise<int>::makePending().tap(nullptr, [](const Result<int>&) {});
    EXPECT_TRUE(tapped.isPending());
    EXPECT_EQ(log.events(), std::vector<std::string>{"Pledge: warning: pending promise deallocated"});
}

TEST(PledgeOperators, AHandlerReturningItsOwnPromiseIsRejected) {
    auto [promise, resolver] = Promise<int>::pending();
    std::optional<Promise<int>> self;
    self = promise.then(nullptr, [&](const int&) { return *self; });
    resolver.fulfill(1);
    auto error = std::dynamic_pointer_cast<const PLGError>(self->error());
    ASSERT_TRUE(error);
    EXPECT_TRUE(std::holds_alternative<PLGError::ReturnedSelf>(error->which()));
}

TEST(PledgeOperators, AccessorsAndAsVoid) {
    auto [pending, resolver] = Promise<int>::pending();
    EXPECT_TRUE(pending.isPending());
    EXPECT_FALSE(pending.error());
    auto asVoid = pending.asVoid();
    std::thread([r = resolver] { r.fulfill(2); }).join();
    EXPECT_TRUE(asVoid.isFulfilled());  // resolved on the resolving thread, no hop
    auto rejected = Promise<int>(testError());
    EXPECT_FALSE(rejected.value());
    EXPECT_TRUE(rejected.isResolved());
    EXPECT_FALSE(rejected.isFulfilled());
    EXPECT_TRUE(rejected.isRejected());

    // A body of a Void chain may take no argument.
    int count = 0;
    Promise<Void>().done(nullptr, [&] { ++count; });
    EXPECT_EQ(Guarantee<Void>().map(nullptr, [&] { return ++count; }).value(), 2);
}

TEST(PledgeOperators, GuaranteeChainsStayGuaranteesAndHopLikePromises) {
    auto g = Guarantee<int>::value(1);
    auto inlineMapped = g.map(nullptr, [](const int& v) { return v + 1; });
    EXPECT_EQ(inlineMapped.value(), 2);                       // already resolved when map returns
    auto queued = g.map([](const int& v) { return v + 1; });  // default: conf's map queue (main)
    EXPECT_TRUE(queued.isPending());
    ASSERT_TRUE(runUntil([&] { return queued.isResolved(); }));

    auto [pending, seal] = Guarantee<int>::pending();
    std::thread::id bodyThread;
    Guarantee<Void> done = pending.done(nullptr, [&](const int&) { bodyThread = std::this_thread::get_id(); });
    Guarantee<int> chained = pending.then(nullptr, [](const int& v) { return Guarantee<int>::value(v * 3); });
    Promise<int> promised = pending.then(nullptr, [](const int& v) { return Promise<int>::value(v * 4); });
    std::thread sealer([s = seal] { s(2); });
    auto sealerId = sealer.get_id();
    sealer.join();
    EXPECT_EQ(bodyThread, sealerId);
    EXPECT_TRUE(done.isResolved());
    EXPECT_EQ(chained.value(), 6);
    EXPECT_EQ(promised.value(), 8);
}
