// One-time events of the object world as promises: a notification (both forms), the end
// of an object's life, and one change of an observed property.
#include <gtest/gtest.h>

#include "Pledge/NSNotificationCenter+AnyPromise.h"
#include "Pledge/NSObject+Promise.h"
#include "Pledge/NotificationCenter+Promise.h"
#include "Pledge/afterlife.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/files/NotificationObject.h"
#include "support.h"

using namespace Pledge;
using platform::Value;

namespace {

class Counter : public platform::Object {
    PLATFORM_OBJECT(Counter, platform::Object)

public:
    static void registerMethods(platform::Class& cls) {
        cls.addMethod("count", [](Counter& self) { return self.count_; });
    }
    void setCount(long value) {
        willChangeValueForKey("count");
        count_ = value;
        didChangeValueForKey("count");
    }

private:
    long count_ = 0;
};

}  // namespace

TEST(PledgeObservation, NotificationResolvesOnceWithTheFirstPosting) {
    auto center = std::make_shared<platform::NotificationCenter>();
    auto sender = std::make_shared<Counter>();
    auto fromSender = observe(center, "changed", sender);
    auto fromAnyone = observe(center, "changed");
    center->post("changed", nullptr, {{"n", Value(1)}});
    EXPECT_TRUE(fromAnyone.isResolved());
    EXPECT_FALSE(fromSender.isResolved());
    center->post("changed", sender, {{"n", Value(2)}});
    EXPECT_EQ(fromAnyone.value()->userInfo.at("n"), Value(1));
    EXPECT_EQ(fromSender.value()->userInfo.at("n"), Value(2));

    // Runtime-facing form: posted from another thread, delivered on the main queue.
    auto next = once("pledge.test.once");
    Value name, info;
    auto handled = next->then(platform::Block::make([&](Value notification, Value userInfo) {
        name = notification.asObject<platform::NotificationObject>()->valueForKey("name");
        info = userInfo;
    }));
    platform::DispatchQueue::global()->async([] {
        auto& shared = platform::NotificationCenter::defaultCenter();
        shared->post("pledge.test.once", nullptr, {{"n", Value(1)}});
        shared->post("pledge.test.once", nullptr, {{"n", Value(2)}});
    });
    ASSERT_TRUE(pledge_test::runUntil([&] { return !handled->pending(); }));
    EXPECT_EQ(name, Value("pledge.test.once"));
    EXPECT_EQ(info, Value(Value::Dictionary{{"n", Value(1)}}));
}

TEST(PledgeObservation, LifetimeGuaranteeIsSealedWhileTheOwnerIsDestroyed) {
    auto owner = std::make_shared<Counter>();
    auto first = after(owner);
    auto second = after(owner);
    EXPECT_EQ(first.box(), second.box());
    int resolutions = 0;
    first.pipe([&](const Void&) { ++resolutions; });
    second.pipe([&](const Void&) { ++resolutions; });
    EXPECT_EQ(resolutions, 0);
    owner.reset();  // on this thread, before reset() returns
    EXPECT_EQ(resolutions, 2);
}

TEST(PledgeObservation, KeyValueObservationTakesTheFirstChangeOnly) {
    auto counter = std::make_shared<Counter>();
    auto change = observe(counter, PLGNamespacer::promise, "count");
    EXPECT_EQ(counter->observationCount("count"), 1u);
    counter->setCount(3);
    counter->setCount(4);
    ASSERT_TRUE(change.isResolved());
    EXPECT_EQ(*change.value(), std::optional<Value>(Value(3L)));
    EXPECT_EQ(counter->observationCount("count"), 0u);  // unregistered and released
}
