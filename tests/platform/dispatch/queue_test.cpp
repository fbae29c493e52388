// Dispatch queues: exclusion, targets, current-queue checks, deadlines, barriers,
// suspension, sync and work items.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/UnfairLock.h"
#include "platform/dispatch/DeadlineScheduler.h"
#include "platform/dispatch/DispatchGroup.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSemaphore.h"

using namespace platform;

namespace {

constexpr double kTimeout = 10.0;

DispatchTime in(double seconds) { return DispatchTime::now() + seconds; }

// Counts blocks that overlap: every block enters, does a little work, leaves.
struct OverlapProbe {
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};
    void enter() {
        if (inside.fetch_add(1) != 0) overlapped = true;
        for (int i = 0; i < 3; ++i) std::this_thread::yield();
    }
    void leave() { inside.fetch_sub(1); }
};

}  // namespace

TEST(DispatchQueue, SerialQueuesAndQueuesTargetingThemNeverOverlapAndKeepOrder) {
    auto root = DispatchQueue::create("test.root");
    auto a = DispatchQueue::create("test.a", DispatchQoS::unspecified, {}, root);
    auto b = DispatchQueue::create("test.b", DispatchQoS::unspecified, DispatchQueue::Attributes::concurrent, root);
    std::vector<DispatchQueuePtr> queues{root, a, b};

    OverlapProbe probe;
    auto group = DispatchGroup::create();
    std::vector<std::vector<int>> seen(queues.size());
    constexpr int kPerQueue = 300;
    std::vector<std::thread> submitters;
    for (std::size_t q = 0; q < queues.size(); ++q) {
        submitters.emplace_back([&, q] {
            for (int i = 0; i < kPerQueue; ++i)
                queues[q]->async(group, [&, q, i] {
                    probe.enter();
                    seen[q].push_back(i);  // unguarded: exclusion is what keeps this safe
                    probe.leave();
                });
        });
    }
    for (auto& t : submitters) t.join();
    ASSERT_EQ(group->wait(in(kTimeout)), DispatchTimeoutResult::success);
    EXPECT_FALSE(probe.overlapped);
    for (std::size_t q = 0; q < queues.size(); ++q) {
        ASSERT_EQ(seen[q].size(), static_cast<std::size_t>(kPerQueue)) << queues[q]->label();
        // Serial queues are FIFO; the concurrent one is serialised by its serial target,
        // which also starts its blocks in order.
        for (int i = 0; i < kPerQueue; ++i) EXPECT_EQ(seen[q][i], i) << queues[q]->label();
    }
}

TEST(DispatchQueue, CurrentQueueChecksAndSpecificValuesFollowTargets) {
    static DispatchSpecificKey<std::string> key;
    auto root = DispatchQueue::create("test.current.root");
    auto inner = DispatchQueue::create("test.current.inner", DispatchQoS::utility, {}, root);
    auto other = DispatchQueue::create("test.current.other");
    root->setSpecific(key, std::string("from-root"));

    struct Seen {
        bool onInner, onRoot, onOther, onMain;
        std::string label;
        std::optional<std::string> specific;
    };
    auto probe = [&] {
        return Seen{DispatchQueue::isCurrent(inner), DispatchQueue::isCurrent(root),
                    DispatchQueue::isCurrent(other), DispatchQueue::isCurrent(DispatchQueue::main()),
                    DispatchQueue::currentLabel(),   DispatchQueue::currentSpecific(key)};
    };

    // Asynchronously, on a pool thread.
    Seen async{};
    DispatchSemaphore done(0);
    inner->async([&] {
        async = probe();
        done.signal();
    });
    ASSERT_EQ(done.wait(in(kTimeout)), DispatchTimeoutResult::success);
    EXPECT_TRUE(async.onInner);
    EXPECT_TRUE(async.onRoot);
    EXPECT_FALSE(async.onOther);
    EXPECT_FALSE(async.onMain);
    EXPECT_EQ(async.label, "test.current.inner");
    EXPECT_EQ(async.specific, "from-root");

    // Synchronously from the main thread: an idle queue (fresh ones: the drain above may
    // still be finishing) runs the block right here.
    root = DispatchQueue::create("test.current.root");
    inner = DispatchQueue::create("test.current.inner", DispatchQoS::utility, {}, root);
    auto caller = std::this_thread::get_id();
    auto [synced, thread] = inner->sync([&] { return std::make_pair(probe(), std::this_thread::get_id()); });
    EXPECT_EQ(thread, caller);
    EXPECT_TRUE(synced.onInner && synced.onRoot && !synced.onOther);
    EXPECT_TRUE(synced.onMain);  // still the main thread
    EXPECT_EQ(synced.label, "test.current.inner");
    EXPECT_EQ(synced.specific, std::nullopt);  // the fresh root has no value

    // Outside any block.
    EXPECT_FALSE(DispatchQueue::isCurrent(inner));
    EXPECT_TRUE(DispatchQueue::isCurrent(DispatchQueue::main()));
    EXPECT_EQ(DispatchQueue::currentSpecific(key), std::nullopt);
    EXPECT_EQ(inner->getSpecific(key), std::nullopt);
    root->setSpecific(key, std::string("again"));
    EXPECT_EQ(root->getSpecific(key), "again");
    root->setSpecific(key, std::nullopt);
    EXPECT_EQ(root->getSpecific(key), std::nullopt);
}

TEST(DispatchQueue, SyncReturnsValuesRethrowsAndWaitsForABusyQueue) {
    auto queue = DispatchQueue::create("test.sync");
    EXPECT_EQ(queue->sync([] { return 42; }), 42);
    EXPECT_THROW(queue->sync([]() -> int { throw std::runtime_error("boom"); }), std::runtime_error);

    // A busy queue: the sync block waits for the running block and runs after it.
    DispatchSemaphore started(0), release(0);
    std::vector<std::string> order;
    queue->async([&] {
        started.signal();
        release.wait();
        order.push_back("first");
    });
    ASSERT_EQ(started.wait(in(kTimeout)), DispatchTimeoutResult::success);
    std::thread releaser([&] { release.signal(); });
    queue->sync([&] { order.push_back("sync"); });
    releaser.join();
    EXPECT_EQ(order, (std::vector<std::string>{"first", "sync"}));

    // A queue still usable after the rethrow (its exclusion was released).
    EXPECT_EQ(queue->sync([] { return std::string("after"); }), "after");
}

TEST(DispatchQueue, AsyncAfterRunsByDeadlineThenBySubmission) {
    auto queue = DispatchQueue::create("test.after");
    auto group = DispatchGroup::create();
    std::vector<std::string> order, ranBeforeDeadline;
    auto schedule = [&](std::string name, DispatchTime deadline) {
        group->enter();
        queue->asyncAfter(deadline, [&, name, deadline] {
            if (DispatchTime::now() < deadline) ranBeforeDeadline.push_back(name);
            order.push_back(name);
            group->leave();
        });
    };
    // The deadline thread is held until the last block is scheduled, so that no block comes
    // due before a later one with an earlier deadline is scheduled, however slowly this runs.
    auto scheduled = DispatchSemaphore::create(0);
    detail::DeadlineScheduler::shared().schedule(DispatchTime{0}, [scheduled] { scheduled->wait(); });
    const auto base = DispatchTime::now();
    schedule("late", base + 0.15);
    schedule("tie-1", base + 0.05);
    schedule("early", base + 0.01);
    schedule("tie-2", base + 0.05);
    schedule("past", base - 1.0);
    scheduled->signal();
    ASSERT_EQ(group->wait(in(kTimeout)), DispatchTimeoutResult::success);
    EXPECT_EQ(order, (std::vector<std::string>{"past", "early", "tie-1", "tie-2", "late"}));
    EXPECT_EQ(ranBeforeDeadline, std::vector<std::string>{});
}

TEST(DispatchQueue, BarrierRunsAloneBetweenEarlierAndLaterBlocks) {
    auto queue = DispatchQueue::create("test.barrier", DispatchQoS::unspecified, DispatchQueue::Attributes::concurrent);
    auto group = DispatchGroup::create();
    std::atomic<int> running{0};
    std::atomic<int> arrived{0};
    std::atomic<bool> readersOverlapped{false}, barrierAlone{false}, afterSawBarrier{false};
    std::atomic<bool> barrierDone{false};

    for (int i = 0; i < 2; ++i)
        queue->async(group, [&] {
            ++running;
            ++arrived;
            // Both readers are in flight together before either leaves.
            auto until = in(kTimeout);
            while (arrived.load() < 2 && DispatchTime::now() < until) std::this_thread::yield();
            readersOverlapped = arrived.load() == 2;
            --running;
        });
    queue->async(
        group,
        [&] {
            barrierAlone = running.load() == 0;
            ++running;
            barrierDone = true;
            --running;
        },
        DispatchWorkItemFlags::barrier);
    queue->async(group, [&] { afterSawBarrier = barrierDone.load(); });

    ASSERT_EQ(group->wait(in(kTimeout)), DispatchTimeoutResult::success);
    EXPECT_TRUE(readersOverlapped);
    EXPECT_TRUE(barrierAlone);
    EXPECT_TRUE(afterSawBarrier);

    // A barrier sync waits for running readers and runs alone too.
    DispatchSemaphore readerIn(0), readerGo(0);
    queue->async([&] {
        ++running;
        readerIn.signal();
        readerGo.wait();
        --running;
    });
    ASSERT_EQ(readerIn.wait(in(kTimeout)), DispatchTimeoutResult::success);
    std::thread go([&] { readerGo.signal(); });
    int seen = queue->sync(DispatchWorkItemFlags::barrier, [&] { return running.load(); });
    go.join();
    EXPECT_EQ(seen, 0);
}

TEST(DispatchQueue, SuspendedAndInactiveQueuesHoldTheirBlocks) {
    auto queue = DispatchQueue::create("test.suspend");
    std::atomic<int> ran{0};
    DispatchSemaphore done(0);
    queue->suspend();
    queue->async([&] {
        ++ran;
        done.signal();
    });
    EXPECT_EQ(done.wait(in(0.05)), DispatchTimeoutResult::timedOut);
    EXPECT_EQ(ran, 0);
    queue->suspend();
    queue->resume();  // still suspended once
    EXPECT_EQ(done.wait(in(0.05)), DispatchTimeoutResult::timedOut);
    queue->resume();
    ASSERT_EQ(done.wait(in(kTimeout)), DispatchTimeoutResult::success);
    EXPECT_EQ(ran, 1);

    auto inactive =
        DispatchQueue::create("test.inactive", DispatchQoS::unspecified, DispatchQueue::Attributes::initiallyInactive);
    inactive->async([&] { done.signal(); });
    EXPECT_EQ(done.wait(in(0.05)), DispatchTimeoutResult::timedOut);
    inactive->activate();
    EXPECT_EQ(done.wait(in(kTimeout)), DispatchTimeoutResult::success);
    inactive->activate();  // again: nothing happens

    // A queue targeting a suspended queue waits with it.
    auto target = DispatchQueue::create("test.suspend.target");
    auto child = DispatchQueue::create("test.suspend.child", DispatchQoS::unspecified, {}, target);
    target->suspend();
    child->async([&] { done.signal(); });
    EXPECT_EQ(done.wait(in(0.05)), DispatchTimeoutResult::timedOut);
    target->resume();
    EXPECT_EQ(done.wait(in(kTimeout)), DispatchTimeoutResult::success);
}

TEST(DispatchQueue, WorkItemsCancelNotifyAndWait) {
    auto queue = DispatchQueue::create("test.items");
    DispatchSemaphore notified(0);
    std::atomic<int> ran{0};

    auto cancelled = DispatchWorkItem::create([&] { ++ran; });
    cancelled->notify(queue, [&] { notified.signal(); });
    cancelled->cancel();
    queue->async(cancelled);
    EXPECT_EQ(cancelled->wait(in(kTimeout)), DispatchTimeoutResult::success);
    EXPECT_EQ(notified.wait(in(kTimeout)), DispatchTimeoutResult::success);
    EXPECT_TRUE(cancelled->isCancelled());
    EXPECT_EQ(ran, 0);

    auto later = DispatchWorkItem::create([&] { ++ran; });
    queue->asyncAfter(in(0.01), later);
    EXPECT_EQ(later->wait(in(kTimeout)), DispatchTimeoutResult::success);
    EXPECT_EQ(ran, 1);
    later->notify(queue, [&] { notified.signal(); });  // already done: at once
    EXPECT_EQ(notified.wait(in(kTimeout)), DispatchTimeoutResult::success);

    auto never = DispatchWorkItem::create([] {});
    EXPECT_EQ(never->wait(in(0.02)), DispatchTimeoutResult::timedOut);
}

TEST(DispatchQueue, ConcurrentPerformRunsEveryIndexOnce) {
    std::vector<std::atomic<int>> hits(1000);
    DispatchQueue::concurrentPerform(hits.size(), [&](std::size_t i) { ++hits[i]; });
    for (auto& h : hits) EXPECT_EQ(h.load(), 1);
}

using DispatchQueueDeathTest = ::testing::Test;

TEST_F(DispatchQueueDeathTest, ProgrammingErrorsAreFatal) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto root = DispatchQueue::create("test.death.root");
    auto child = DispatchQueue::create("test.death.child", DispatchQoS::unspecified, {}, root);

    EXPECT_DEATH(root->sync([&] { root->sync([] {}); }), "would deadlock");
    // The child's blocks must run on the root, which the caller holds.
    EXPECT_DEATH(root->sync([&] { child->sync([] {}); }), "would deadlock");
    EXPECT_DEATH(DispatchQueue::main()->sync([] {}), "would deadlock");
    EXPECT_DEATH(root->resume(), "resumed more often than suspended");
    EXPECT_DEATH(
        {
            root->async([] { throw std::runtime_error("escaped here"); });
            root->sync([] {});
            DispatchSemaphore(0).wait();
        },
        "escaped here");
    EXPECT_DEATH(dispatchPrecondition(DispatchPredicate::onQueue(root)), "expected to run on queue");
    dispatchPrecondition(DispatchPredicate::notOnQueue(root));
    child->sync([&] { dispatchPrecondition(DispatchPredicate::onQueue(root)); });
}
