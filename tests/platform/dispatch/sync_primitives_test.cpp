// Groups, semaphores and locks.
#undef NDEBUG  // re-entry of an unfair lock is detected in builds without NDEBUG
#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/base/UnfairLock.h"
#include "platform/dispatch/DispatchGroup.h"
#include "platform/dispatch/DispatchOnce.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSemaphore.h"
#include "platform/dispatch/ReadWriteLock.h"
#include "platform/dispatch/RecursiveLock.h"

using namespace platform;

namespace {
DispatchTime in(double seconds) { return DispatchTime::now() + seconds; }

// Signals while another thread comes to wait, taking each count back at once (a lock let go and
// taken back in a loop), until a signal wakes it. True when the signaller took that count
// back too, and holds it now; false when the waiting thread got it.
bool tookBackTheCountThatWokeAWaiter(DispatchSemaphore& semaphore) {
    for (;;) {
        const bool woke = semaphore.signal() != 0;
        if (semaphore.wait(DispatchTime::now()) != DispatchTimeoutResult::success) return false;
        if (woke) return true;
    }
}
}  // namespace

TEST(DispatchGroup, WaitTimesOutWhileMembersRunAndNotifiesOnceEmpty) {
    auto group = DispatchGroup::create();
    auto queue = DispatchQueue::create("test.group");
    DispatchSemaphore release(0);
    queue->async(group, [&] { release.wait(); });
    group->enter();

    EXPECT_EQ(group->wait(in(0.02)), DispatchTimeoutResult::timedOut);
    std::atomic<bool> notified{false};
    DispatchSemaphore notifiedSignal(0);
    group->notify(queue, [&] {
        notified = true;
        notifiedSignal.signal();
    });
    release.signal();
    EXPECT_EQ(group->wait(in(0.02)), DispatchTimeoutResult::timedOut);  // one enter still open
    EXPECT_FALSE(notified);
    group->leave();
    EXPECT_EQ(group->wait(in(10)), DispatchTimeoutResult::success);
    EXPECT_EQ(notifiedSignal.wait(in(10)), DispatchTimeoutResult::success);
    EXPECT_EQ(group->wait(DispatchTime::now()), DispatchTimeoutResult::success);  // empty: at once
}

TEST(DispatchSemaphore, CountsSignalsAndTimesOut) {
    DispatchSemaphore semaphore(2);
    EXPECT_EQ(semaphore.wait(DispatchTime::now()), DispatchTimeoutResult::success);
    EXPECT_EQ(semaphore.wait(DispatchTime::now()), DispatchTimeoutResult::success);
    EXPECT_EQ(semaphore.wait(in(0.02)), DispatchTimeoutResult::timedOut);

    std::thread signaller([&] { semaphore.signal(); });
    EXPECT_EQ(semaphore.wait(in(10)), DispatchTimeoutResult::success);
    signaller.join();
    EXPECT_EQ(semaphore.wait(DispatchTime::now()), DispatchTimeoutResult::timedOut);
}

TEST(DispatchSemaphore, AThreadFindingACountFreeTakesItBeforeAThreadThatHasJustComeToWait) {
    // A semaphore used as a lock passes between running threads: a thread that lets go of
    // it and takes it back does not wait for the sleeping one to be woken and scheduled.
    int takenBack = 0;
    for (int round = 0; round < 1000 && takenBack < 5; ++round) {
        DispatchSemaphore semaphore(0);
        std::thread waiting([&] {
            // At idle priority the woken thread does not preempt the signaller on its core
            // (on one core it would always run first and take the count).
            sched_param idle{};
            pthread_setschedparam(pthread_self(), SCHED_IDLE, &idle);
            semaphore.wait();
        });
        if (tookBackTheCountThatWokeAWaiter(semaphore)) {
            ++takenBack;
            semaphore.signal();
        }
        waiting.join();
    }
    EXPECT_EQ(takenBack, 5);
}

TEST(DispatchSemaphore, ACountSignalledOnceAThreadHasWaitedAWhileIsThatThreadsNotANewcomers) {
    // A thread that signals and at once waits again never keeps the count from a thread that
    // has waited for it for a while: that thread is not starved into its time-out.
    // Rounds in which the waiting thread was passed over, and then had waited a while.
    int passedOver = 0;
    for (int round = 0; round < 1000 && passedOver < 10 && !HasFailure(); ++round) {
        DispatchSemaphore semaphore(0);
        std::atomic<bool> got = false;
        std::thread waiting([&] { got = semaphore.wait(in(10)) == DispatchTimeoutResult::success; });
        // Unless the other thread got the count already, it is waiting now. The sleep is no
        // synchronisation: it only lets that thread have waited past the semaphore's patience
        // (a millisecond, read on a clock whose steps are at most 10 ms).
        if (tookBackTheCountThatWokeAWaiter(semaphore)) {
            ++passedOver;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            EXPECT_NE(semaphore.signal(), 0) << "round " << round;
            EXPECT_EQ(semaphore.wait(DispatchTime::now()), DispatchTimeoutResult::timedOut) << "round " << round;
        }
        waiting.join();
        EXPECT_TRUE(got) << "round " << round;
    }
}

TEST(DispatchSemaphore, CountsStayExactAmongThreadsThatTimeOut) {
    // A semaphore of 1 as a lock among 16 threads whose waits time out now and then: never
    // two inside, and the one count is there at the end (none lost to a waiter that timed
    // out as it was given, none made twice).
    constexpr int kThreads = 16, kTurns = 2000;
    DispatchSemaphore semaphore(1);
    std::atomic<int> inside{0};
    std::atomic<long> turns{0}, timeOuts{0}, overlaps{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kTurns; ++i) {
                // No wait, one that ends before a waiter gets a count directly, one that ends
                // about when it may, and one that does not end.
                constexpr double kPatience[] = {0, 0.00002, 0.0011, 10};
                const double patience = kPatience[(i + t) % 4];
                if (semaphore.wait(in(patience)) != DispatchTimeoutResult::success) {
                    ++timeOuts;
                    continue;
                }
                if (++inside != 1) ++overlaps;
                ++turns;
                --inside;
                semaphore.signal();
            }
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(overlaps, 0);
    EXPECT_EQ(turns + timeOuts, kThreads * kTurns);
    EXPECT_EQ(semaphore.wait(DispatchTime::now()), DispatchTimeoutResult::success);
    EXPECT_EQ(semaphore.wait(DispatchTime::now()), DispatchTimeoutResult::timedOut);
}

TEST(DispatchSemaphore, BlockedPoolWorkersDoNotStarveTheWorkThatWakesThem) {
    // More waiters than the pool starts by default: each wait lets the pool grow.
    constexpr int kWaiters = 64;
    DispatchSemaphore gate(0);
    auto done = DispatchGroup::create();
    for (int i = 0; i < kWaiters; ++i) DispatchQueue::global()->async(done, [&] { gate.wait(); });
    DispatchQueue::global()->async([&] {
        for (int i = 0; i < kWaiters; ++i) gate.signal();
    });
    EXPECT_EQ(done->wait(in(10)), DispatchTimeoutResult::success);
}

TEST(DispatchGroup, BlockedPoolWorkersDoNotStarveTheWorkThatLeavesTheGroup) {
    // More workers waiting on a group than the pool starts by default, the leave queued
    // after all of them: each group wait lets the pool grow.
    constexpr int kWaiters = 64;
    auto gate = DispatchGroup::create();
    gate->enter();
    auto done = DispatchGroup::create();
    for (int i = 0; i < kWaiters; ++i) DispatchQueue::global()->async(done, [gate] { gate->wait(); });
    DispatchQueue::global()->async([gate] { gate->leave(); });
    EXPECT_EQ(done->wait(in(10)), DispatchTimeoutResult::success);
}

TEST(Locks, RecursiveReadWriteAndOnce) {
    RecursiveLock recursive;
    int depth = recursive.withLock([&] { return recursive.withLock([] { return 2; }); });
    EXPECT_EQ(depth, 2);

    ReadWriteLock rw;
    rw.lockRead();
    EXPECT_TRUE(rw.tryLockRead());  // readers share
    EXPECT_FALSE(rw.tryLockWrite());
    rw.unlockRead();
    rw.unlockRead();
    EXPECT_TRUE(rw.tryLockWrite());
    EXPECT_FALSE(rw.tryLockRead());
    rw.unlockWrite();

    DispatchOnceToken token;
    std::atomic<int> calls{0};
    DispatchQueue::concurrentPerform(16, [&](std::size_t) { dispatchOnce(token, [&] { ++calls; }); });
    EXPECT_EQ(calls, 1);

    UnfairLock lock;
    EXPECT_EQ(lock.withLock([&] { return lock.ownedByCurrentThread(); }), true);
    EXPECT_FALSE(lock.ownedByCurrentThread());
}

TEST(LocksDeathTest, MisuseIsFatal) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    UnfairLock lock;
    EXPECT_DEATH(lock.withLock([&] { lock.lock(); }), "taken again");
    EXPECT_DEATH(DispatchGroup().leave(), "without a matching enter");
    EXPECT_DEATH(DispatchSemaphore(-1), "negative");
}
