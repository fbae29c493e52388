// Run loops on the main thread: timers, nested runs that keep serving the main queue,
// descriptor sources and the termination-signal hook.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/runloop/RunLoop.h"
#include "platform/runloop/Thread.h"

using namespace platform;

namespace {
constexpr double kTimeout = 10.0;
}

TEST(RunLoop, TestsRunOnTheMainThreadWhoseLoopDrainsTheMainQueue) {
    ASSERT_TRUE(Thread::isMainThread());
    EXPECT_EQ(RunLoop::current(), RunLoop::main());
    bool workerIsMain = true;
    std::thread([&] { workerIsMain = Thread::isMainThread(); }).join();
    EXPECT_FALSE(workerIsMain);

    std::atomic<bool> ranOnMain{false};
    std::thread([&] { DispatchQueue::main()->async([&] { ranOnMain = Thread::isMainThread(); }); }).join();
    EXPECT_TRUE(RunLoop::runUntil([&] { return ranOnMain.load(); }, kTimeout));

    // sync onto the main queue from a worker waits for the main loop to run it.
    std::atomic<bool> synced{false};
    std::thread worker([&] {
        int value = DispatchQueue::main()->sync([] { return Thread::isMainThread() ? 7 : 0; });
        synced = value == 7;
    });
    EXPECT_TRUE(RunLoop::runUntil([&] { return synced.load(); }, kTimeout));
    worker.join();
}

TEST(RunLoop, TimersRepeatUntilInvalidatedAndOneShotsFireOnce) {
    int ticks = 0;
    auto repeating = Timer::scheduledTimer(0.005, true, [&](Timer& t) {
        if (++ticks == 3) t.invalidate();
    });
    int shots = 0;
    auto oneShot = Timer::scheduledTimer(0.001, false, [&](Timer& t) {
        EXPECT_TRUE(t.isValid());  // invalidated only after its block
        ++shots;
    });
    EXPECT_TRUE(RunLoop::runUntil([&] { return ticks == 3 && shots == 1; }, kTimeout));
    EXPECT_FALSE(repeating->isValid());
    EXPECT_FALSE(oneShot->isValid());
    RunLoop::runUntil([] { return false; }, 0.03);
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(shots, 1);

    // fire() runs the block now and ends a one-shot timer.
    int manual = 0;
    auto far = Timer::scheduledTimer(3600, false, [&](Timer&) { ++manual; });
    EXPECT_GT(far->fireDate().timeIntervalSinceNow(), 3500);
    far->fire();
    far->fire();
    EXPECT_EQ(manual, 1);
    EXPECT_FALSE(far->isValid());

    // A timer whose thread never runs its loop never fires.
    std::atomic<int> offThread{0};
    TimerPtr idle;
    std::thread([&] { idle = Timer::scheduledTimer(0.001, false, [&](Timer&) { ++offThread; }); }).join();
    RunLoop::runUntil([] { return false; }, 0.02);
    EXPECT_EQ(offThread, 0);
}

TEST(RunLoop, NestedRunKeepsServingTheMainQueueAndTimersUntilStopped) {
    std::vector<std::string> events;
    bool outerDone = false;
    DispatchQueue::main()->async([&] {
        events.push_back("outer-start");
        // Work from elsewhere that must run while this block is still running.
        DispatchQueue::global()->asyncAfter(
            0.01, [&] { DispatchQueue::main()->async([&] { events.push_back("main-block"); }); });
        auto timer = Timer::scheduledTimer(0.005, true, [&](Timer& t) {
            if (events.back() != "main-block") return;
            events.push_back("timer");
            t.invalidate();
            RunLoop::main()->stop();
        });
        RunLoop::current()->run();  // nested inside a main-queue block
        events.push_back("outer-end");
        outerDone = true;
    });
    EXPECT_TRUE(RunLoop::runUntil([&] { return outerDone; }, kTimeout));
    EXPECT_EQ(events, (std::vector<std::string>{"outer-start", "main-block", "timer", "outer-end"}));

    // run(untilDate) returns false when the date passes, true when stopped.
    EXPECT_FALSE(RunLoop::current()->run(Date::fromTimeIntervalSinceNow(0.01)));
    DispatchQueue::main()->async([] { RunLoop::main()->stop(); });
    EXPECT_TRUE(RunLoop::current()->run(Date::fromTimeIntervalSinceNow(kTimeout)));
}

TEST(RunLoop, OneShotTimerRunningANestedLoopFiresOnce) {
    int shots = 0;
    bool nestedDone = false;
    auto timer = Timer::scheduledTimer(0.001, false, [&](Timer&) {
        ++shots;
        // A nested wait inside the block, as a blocking promise wait does.
        RunLoop::runUntil([] { return false; }, 0.02);
        nestedDone = true;
    });
    EXPECT_TRUE(RunLoop::runUntil([&] { return nestedDone; }, kTimeout));
    EXPECT_EQ(shots, 1);
    EXPECT_FALSE(timer->isValid());
}

TEST(RunLoop, SourceWithBufferedInputIsServedWithoutItsDescriptorBecomingReady) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    int buffered = 2;  // input its owner already read ahead; the pipe itself stays empty
    int served = 0;
    RunLoop::current()->addSource(
        fds[0],
        [&] {
            ++served;
            --buffered;
        },
        [&] { return buffered > 0; });
    EXPECT_TRUE(RunLoop::runUntil([&] { return served == 2; }, kTimeout));
    RunLoop::runUntil([] { return false; }, 0.02);
    EXPECT_EQ(served, 2);  // nothing buffered, nothing readable: not served again
    RunLoop::current()->removeSource(fds[0]);
    ::close(fds[0]);
    ::close(fds[1]);
}

TEST(RunLoop, DescriptorSourcesAreServedUntilRemoved) {
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_NONBLOCK | O_CLOEXEC), 0);
    std::string received;
    auto loop = RunLoop::current();
    loop->addSource(fds[0], [&] {
        char buffer[64];
        ssize_t n;
        while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0) received.append(buffer, n);
    });
    std::thread([&] { ASSERT_EQ(::write(fds[1], "ping", 4), 4); }).join();
    EXPECT_TRUE(RunLoop::runUntil([&] { return received == "ping"; }, kTimeout));

    loop->removeSource(fds[0]);
    ASSERT_EQ(::write(fds[1], "more", 4), 4);
    RunLoop::runUntil([] { return false; }, 0.02);
    EXPECT_EQ(received, "ping");
    ::close(fds[0]);
    ::close(fds[1]);
}

TEST(RunLoop, TerminationSignalsBecomeACallOnTheMainQueue) {
    std::vector<int> signals;
    bool onMain = true;
    onTerminationSignal([&](int signal) {
        signals.push_back(signal);
        onMain = onMain && DispatchQueue::isCurrent(DispatchQueue::main()) && Thread::isMainThread();
    });
    ASSERT_EQ(::raise(SIGTERM), 0);
    EXPECT_TRUE(RunLoop::runUntil([&] { return signals.size() == 1; }, kTimeout));
    ASSERT_EQ(::raise(SIGINT), 0);
    EXPECT_TRUE(RunLoop::runUntil([&] { return signals.size() == 2; }, kTimeout));
    EXPECT_EQ(signals, (std::vector<int>{SIGTERM, SIGINT}));
    EXPECT_TRUE(onMain);
}

TEST(RunLoopDeathTest, RunningAnotherThreadsLoopIsFatal) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(std::thread([] { RunLoop::main()->runOnce(0); }).join(), "only be run on its own thread");
}
