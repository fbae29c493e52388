// One-time events of the object world as promises: a notification (both forms), the end
// of an object's life, and one change of an observed property.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

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

// Changes its count while an observer registers, before the registration returns: the
// change meets the observer at once, as one made on another thread at that moment would.
class EagerCounter : public Counter {
    PLATFORM_OBJECT(EagerCounter, Counter)

public:
    static void registerMethods(platform::Class& cls) {
        cls.addMethod(
            "addObserver:forKeyPath:options:context:",
            [](platform::Object& self, const platform::Arguments& a) {
                auto observer = a.at(0).asObject();
                static_cast<EagerCounter&>(self).lastObserver = observer;
                self.registerObservation(observer, a.at(1).stringValue(),
                                         platform::KeyValueObservingOptions(a.at(2).asUInt64().value_or(0)),
                                         platform::contextPointer(a.at(3)));
                static_cast<EagerCounter&>(self).setCount(7);
                return Value();
            },
            "v@:@@Q^v");
    }
    std::weak_ptr<platform::Object> lastObserver;
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

TEST(PledgeObservation, ObservationProxyIsReleasedAfterAChangeDuringRegistration) {
    auto counter = std::make_shared<EagerCounter>();
    auto change = observe(counter, PLGNamespacer::promise, "count");
    ASSERT_TRUE(change.isResolved());
    EXPECT_EQ(*change.value(), std::optional<Value>(Value(7L)));
    EXPECT_EQ(counter->observationCount("count"), 0u);
    EXPECT_TRUE(counter->lastObserver.expired());  // nothing keeps the proxy alive
}

TEST(PledgeObservation, ConcurrentLifetimeCallsShareOneGuarantee) {
    // Two threads ask for the same object's guarantee at once, many times over: they
    // always get one guarantee, and it stays pending until the object goes.
    for (int round = 0; round < 300; ++round) {
        auto owner = std::make_shared<Counter>();
        std::atomic<int> ready{0};
        std::optional<Guarantee<Void>> got[2];
        auto ask = [&](int i) {
            ready.fetch_add(1);
            while (ready.load() < 2) std::this_thread::yield();
            got[i] = after(owner);
        };
        std::thread other(ask, 1);
        ask(0);
        other.join();
        ASSERT_EQ(got[0]->box(), got[1]->box()) << "round " << round;
        ASSERT_TRUE(got[0]->isPending() && got[1]->isPending()) << "round " << round;
        owner.reset();
        ASSERT_TRUE(got[0]->isResolved()) << "round " << round;
    }
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
