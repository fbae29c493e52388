// Groups, semaphores and locks.
#undef NDEBUG  // re-entry of an unfair lock is detected in builds without NDEBUG
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

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

TEST(DispatchSemaphore, ACountSignalledWhileAThreadWaitsIsThatThreadsNotANewcomers) {
    // A thread that signals and at once waits again (a lock let go and taken back in a
    // loop) never takes the count from the thread that was waiting for it.
    int handedOver = 0;
    for (int round = 0; round < 1000 && handedOver < 20 && !HasFailure(); ++round) {
        DispatchSemaphore semaphore(0);
        std::atomic<bool> got = false;
        std::thread waiting([&] { got = semaphore.wait(in(10)) == DispatchTimeoutResult::success; });
        // Until the other thread waits, the count signalled is taken back at once (unless
        // that thread, coming to wait, took it itself: then the round tells nothing).
        bool handed = false;
        while (!handed) {
            handed = semaphore.signal() != 0;
            if (!handed && semaphore.wait(DispatchTime::now()) != DispatchTimeoutResult::success) break;
        }
        if (handed) {
            ++handedOver;
            EXPECT_EQ(semaphore.wait(DispatchTime::now()), DispatchTimeoutResult::timedOut) << "round " << round;
        }
        waiting.join();
        EXPECT_TRUE(got) << "round " << round;
    }
    EXPECT_EQ(handedOver, 20);
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
