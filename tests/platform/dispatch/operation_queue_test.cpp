// Operation queues: ordering with one at a time, suspension and cancellation, and the
// underlying queue.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "platform/dispatch/OperationQueue.h"
#include "platform/runloop/RunLoop.h"
#include "platform/runloop/Thread.h"

using namespace platform;

TEST(OperationQueue, OneAtATimeKeepsSubmissionOrderWithoutOverlap) {
    auto queue = OperationQueue::create();
    queue->setMaxConcurrentOperationCount(1);
    std::vector<int> order;
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};
    for (int i = 0; i < 200; ++i)
        queue->addOperation([&, i] {
            if (inside.fetch_add(1) != 0) overlapped = true;
            order.push_back(i);
            inside.fetch_sub(1);
        });
    queue->waitUntilAllOperationsAreFinished();
    ASSERT_EQ(order.size(), 200u);
    for (int i = 0; i < 200; ++i) EXPECT_EQ(order[i], i);
    EXPECT_FALSE(overlapped);
    EXPECT_EQ(queue->operationCount(), 0u);
}

TEST(OperationQueue, CancelledOperationsOfASuspendedQueueFinishWithoutRunning) {
    auto queue = OperationQueue::create();
    queue->setSuspended(true);
    EXPECT_TRUE(queue->isSuspended());
    std::atomic<int> ran{0};
    std::vector<OperationPtr> operations;
    for (int i = 0; i < 3; ++i) {
        operations.push_back(Operation::create([&] { ++ran; }));
        queue->addOperation(operations.back());
    }
    EXPECT_EQ(queue->operationCount(), 3u);
    queue->cancelAllOperations();
    queue->setSuspended(false);
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_EQ(ran, 0);
    for (auto& op : operations) {
        EXPECT_TRUE(op->isCancelled());
        EXPECT_TRUE(op->isFinished());
    }
}

TEST(OperationQueue, OperationsRunOnTheUnderlyingQueue) {
    auto root = DispatchQueue::create("test.operations.root");
    auto queue = OperationQueue::create();
    queue->setMaxConcurrentOperationCount(1);
    queue->setUnderlyingQueue(root);
    std::atomic<bool> onRoot{false};
    std::atomic<bool> sawCurrent{false};
    queue->addOperation([&] {
        onRoot = DispatchQueue::isCurrent(root);
        sawCurrent = OperationQueue::current() == queue;
    });
    queue->waitUntilAllOperationsAreFinished();
    EXPECT_TRUE(onRoot);
    EXPECT_TRUE(sawCurrent);
    EXPECT_EQ(queue->underlyingQueue(), root);

    bool ranOnMain = false;
    OperationQueue::main()->addOperation([&] { ranOnMain = Thread::isMainThread(); });
    EXPECT_TRUE(RunLoop::runUntil([&] { return ranOnMain; }, 10.0));
}
