// Timers, `firstly`, the updater's delayed action on the return queue, and `hang`
// serving the main queue and timers while it waits (also nested).
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <thread>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/runloop/Thread.h"
#include "platform/runloop/Timer.h"
#include "support.h"

using namespace Pledge;
using platform::DispatchQueue;
using platform::DispatchTime;
using pledge_test::LogRecorder;
using pledge_test::runUntil;
using pledge_test::testError;

TEST(PledgeAfter, ResolvesAfterTheDelayOnAGlobalQueueThreadEvenWhenDropped) {
    const DispatchTime start = DispatchTime::now();
    auto timer = after(0.02);
    EXPECT_TRUE(timer.isPending());
    std::atomic<bool> offMain{false}, done{false};
    std::atomic<double> elapsed{0};
    timer.done(nullptr, [&](const Void&) {
        offMain = !platform::Thread::isMainThread();
        elapsed = -start.secondsFromNow();
        done = true;
    });
    timer = Guarantee<Void>();  // dropping it does not cancel the timer
    ASSERT_TRUE(runUntil([&] { return done.load(); }));
    EXPECT_TRUE(offMain);
    EXPECT_GE(elapsed.load(), 0.02);

    std::atomic<bool> zero{false};
    after(0.0).done(nullptr, [&](const Void&) { zero = true; });
    EXPECT_TRUE(runUntil([&] { return zero.load(); }));
}

TEST(PledgeFirstly, GuaranteeFormIsTheSameObjectPromiseFormIsNew) {
    auto g = Guarantee<int>::value(1);
    EXPECT_EQ(firstly([&] { return g; }).box(), g.box());
    auto p = Promise<int>::value(2);
    auto first = firstly([&] { return p; });
    EXPECT_NE(first.box(), p.box());
    EXPECT_EQ(first.value(), 2);  // already resolved when firstly returns
    auto thrown = firstly([]() -> Promise<int> { throw platform::ErrorException(testError(5)); });
    EXPECT_EQ(thrown.error()->code(), 5);
}

// The updater's delayed quit and relaunch: firstly { after(s) }.done(on: conf.Q.return) { … },
// with the returned guarantee dropped at once.
TEST(PledgeDelayedAction, RunsOnTheMainQueueAfterTheDelayInTheFixedOrder) {
    LogRecorder log;
    constexpr double kDelay = 0.1;
    const DispatchTime start = DispatchTime::now();
    std::vector<std::string> events;
    std::optional<Guarantee<Void>> timer;
    std::atomic<bool> closureRan{false};
    double ranAfter = 0;
    bool ranOnMain = false;
    {
        // 1. after() arms the timer; firstly returns that very guarantee.
        auto g = firstly([&] {
            timer = after(kDelay);
            return *timer;
        });
        EXPECT_EQ(g.box(), timer->box());
        // 2. done finds it pending and appends its handler to the timer's list.
        g.done(conf().Q.return_, Flags{}, [&] {
            ranOnMain = platform::Thread::isMainThread();
            ranAfter = -start.secondsFromNow();
            events.push_back("closure");
            closureRan = true;
        });
        EXPECT_EQ(timer->box()->inspect().handlerCount(), 1u);
    }
    // 3. The timer seals on a global-queue thread; handlers run there in attach order, so an
    //    observer attached after done's handler sees that the hop has happened, not the closure.
    std::mutex m;
    std::condition_variable cv;
    bool sealed = false, observerOffMain = false, closureBeforeObserver = true;
    timer->done(nullptr, [&](const Void&) {
        std::lock_guard lock(m);
        observerOffMain = !platform::Thread::isMainThread();
        closureBeforeObserver = closureRan;
        sealed = true;
        cv.notify_all();
    });
    timer.reset();  // every holder on this side is gone: the timer block keeps the box
    {
        std::unique_lock lock(m);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(5), [&] { return sealed; }));
    }
    EXPECT_TRUE(observerOffMain);
    EXPECT_FALSE(closureBeforeObserver);
    EXPECT_FALSE(closureRan);  // 4. queued on the main queue, which has not been served yet
    // 5. On the main thread: the closure, then the dropped guarantee is sealed silently.
    ASSERT_TRUE(runUntil([&] { return closureRan.load(); }));
    EXPECT_TRUE(ranOnMain);
    EXPECT_GE(ranAfter, kDelay);
    EXPECT_EQ(events, std::vector<std::string>{"closure"});
    EXPECT_TRUE(log.events().empty());
}

TEST(PledgeHang, ServesTheMainQueueAndTimersWhileWaitingAlsoNested) {
    LogRecorder log;
    auto [outer, outerResolver] = Promise<int>::pending();
    auto [inner, innerResolver] = Promise<std::string>::pending();
    std::vector<std::string> events;
    platform::TimerPtr timer;
    DispatchQueue::main()->async([&, &inner = inner, innerResolver = innerResolver, outerResolver = outerResolver] {
        events.push_back("main queue");
        // Nested: a wait inside the outer wait. A timer fires inside it and has the inner
        // promise resolved from another thread.
        timer = platform::Timer::scheduledTimer(0.01, false, [&, innerResolver](platform::Timer&) {
            events.push_back("timer");
            DispatchQueue::global()->async([r = innerResolver] { r.fulfill("inner"); });
        });
        events.push_back(hang(inner));
        // Only now does the outer promise get its value, from another thread.
        DispatchQueue::global()->async([r = outerResolver] { r.fulfill(7); });
    });
    EXPECT_EQ(hang(outer), 7);
    EXPECT_EQ(events, (std::vector<std::string>{"main queue", "timer", "inner"}));
    EXPECT_FALSE(timer->isValid());
    EXPECT_TRUE(log.events().empty());

    // Already resolved: answered at once, the rejection thrown.
    EXPECT_THROW(hang(Promise<int>(testError())), platform::ErrorException);
}

TEST(PledgeHangDeathTest, OffTheMainThreadIsFatal) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(std::thread([] { hang(Promise<int>::value(1)); }).join(),
                 "(^|\n)hang\\.cpp:[0-9]+: Fatal error: Only call hang\\(\\) on the main thread\\.\n");
}
