// Awaiting guarantees and promises from coroutine tasks, with the return queue at its
// default (main) and set to none.
#include <gtest/gtest.h>

#include <thread>

#include "Pledge/async.h"
#include "platform/concurrency/Task.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/runloop/Thread.h"
#include "support.h"

using namespace Pledge;
using platform::Task;

namespace {

struct Seen {
    int value = 0;
    platform::ErrorPtr error;
    bool onMain = false;
};

Task<Seen> awaitPromise(Promise<int> promise) {
    Seen seen;
    try {
        seen.value = co_await promise.async();
    } catch (const platform::ErrorException& e) {
        seen.error = e.error();
    }
    seen.onMain = platform::Thread::isMainThread();
    co_return seen;
}

Task<Seen> awaitGuarantee(Guarantee<int> guarantee) {
    Seen seen;
    seen.value = co_await guarantee.async();
    seen.onMain = platform::Thread::isMainThread();
    co_return seen;
}

}  // namespace

TEST(Async, PromisesAndGuaranteesResumeTheirTaskOnTheReturnQueue) {
    auto ordinary = pledge_test::testError(7);
    struct Case {
        const char* name;
        bool mainReturnQueue;
        std::function<Task<Seen>(std::function<void()>&)> start;  // sets the resolution to run later
        int value;
        platform::ErrorPtr error;
    };
    std::vector<Case> cases = {
        {"resolved guarantee", true, [](auto&) { return awaitGuarantee(Guarantee<int>::value(3)); }, 3, nullptr},
        {"pending guarantee", true,
         [](std::function<void()>& later) {
             auto [g, seal] = Guarantee<int>::pending();
             later = [seal = seal] { seal(4); };
             return awaitGuarantee(g);
         },
         4, nullptr},
        {"fulfilled promise", true, [](auto&) { return awaitPromise(Promise<int>::value(5)); }, 5, nullptr},
        {"rejected promise", true, [ordinary](auto&) { return awaitPromise(Promise<int>(ordinary)); }, 0, ordinary},
        {"pending promise, no return queue", false,
         [](std::function<void()>& later) {
             auto [p, resolver] = Promise<int>::pending();
             later = [resolver = resolver] { resolver.fulfill(6); };
             return awaitPromise(p);
         },
         6, nullptr},
    };
    auto saved = conf().Q.return_;
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        conf().Q.return_ = c.mainReturnQueue ? platform::DispatchQueue::main() : nullptr;
        std::function<void()> later;
        auto task = c.start(later);
        if (later) std::thread(later).join();
        Seen seen = platform::syncWait(task);
        EXPECT_EQ(seen.value, c.value);
        EXPECT_EQ(seen.error, c.error);
        // With no return queue the task goes on where the promise was resolved.
        EXPECT_EQ(seen.onMain, c.mainReturnQueue);
    }
    conf().Q.return_ = saved;
}

TEST(Async, APromiseRejectedAsCancelledStillResumesItsTaskByThrowing) {
    auto seen = platform::syncWait(awaitPromise(Promise<int>(PLGError::cancelled())));
    ASSERT_TRUE(seen.error);
    EXPECT_TRUE(isCancelled(seen.error));
}
