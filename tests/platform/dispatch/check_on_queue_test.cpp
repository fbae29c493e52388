// The queue check as tests and sanitizer runs build it: on, whatever NDEBUG says.
#define PLATFORM_QUEUE_CHECKS 1
#include "platform/dispatch/CheckOnQueue.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/dispatch/DispatchQueue.h"

using namespace platform;

namespace {

// A service confined to its queue, as the services that use the check are.
class Counter {
public:
    Counter() : queue_(DispatchQueue::create("test.counter")) {}
    void increment() {
        PLATFORM_CHECK_ON_QUEUE(queue_);
        ++count_;
    }
    const DispatchQueuePtr& queue() const { return queue_; }
    int count() const { return count_; }

private:
    DispatchQueuePtr queue_;
    int count_ = 0;
};

}  // namespace

TEST(CheckOnQueue, PassesOnTheQueueAndOnQueuesTargetingIt) {
    static_assert(PLATFORM_QUEUE_CHECKS_ACTIVE);
    Counter counter;
    counter.queue()->sync([&] { counter.increment(); });
    auto child = DispatchQueue::create("test.counter.child", DispatchQoS::unspecified, {}, counter.queue());
    child->sync([&] { counter.increment(); });
    EXPECT_EQ(counter.count(), 2);
}

TEST(CheckOnQueueDeathTest, ACallFromElsewhereIsFatalAndNamesTheQueue) {
    Counter counter;
    EXPECT_DEATH(counter.increment(), "expected to run on queue \"test.counter\"");
    auto other = DispatchQueue::create("test.other");
    EXPECT_DEATH(other->sync([&] { counter.increment(); }), "expected to run on queue \"test.counter\"");
    // Main-queue-only code (the view model) runs on the main thread and nowhere else.
    PLATFORM_CHECK_ON_QUEUE(DispatchQueue::main());
    EXPECT_DEATH(std::thread([] { PLATFORM_CHECK_ON_QUEUE(DispatchQueue::main()); }).join(),
                 "expected to run on queue");
}
