// Event monitors: the composite's fan-out through its own serial queue, the closure
// monitor, and the request notifications posted on the default centre.
#include <gtest/gtest.h>

#include "Hawser/ClosureEventMonitor.h"
#include "Hawser/Notifications.h"
#include "platform/files/NotificationCenter.h"
#include "platform/runloop/RunLoop.h"
#include "platform/runloop/Thread.h"
#include "request_support.h"

using namespace request_test;

namespace {

// Logs "<tag>:<event>" and checks that it runs on its own queue.
class Tagged : public EventMonitor {
public:
    Tagged(std::string tag, DispatchQueuePtr queue, std::shared_ptr<Recorder> log)
        : tag_(std::move(tag)), queue_(std::move(queue)), log_(std::move(log)) {}
    DispatchQueuePtr queue() const override { return queue_; }
    void requestDidResume(const RequestPtr&) override { note("resume"); }
    void requestDidSuspend(const RequestPtr&) override { note("suspend"); }
    void requestDidCancel(const RequestPtr&) override { note("cancel"); }

private:
    void note(const std::string& event) {
        // The hop through the composite's queue is over: this runs on our own queue.
        EXPECT_TRUE(platform::DispatchQueue::isCurrent(queue_));
        EXPECT_FALSE(platform::DispatchQueue::currentLabel() == "org.hawser.compositeEventMonitor");
        log_->record(tag_ + ":" + event);
    }
    std::string tag_;
    DispatchQueuePtr queue_;
    std::shared_ptr<Recorder> log_;
};

}  // namespace

TEST(EventMonitors, CompositeKeepsTheOrderOfEventsAndOfMonitors) {
    Fixture f;
    auto request = f.makeDataRequest();
    auto log = std::make_shared<Recorder>();
    auto shared = platform::DispatchQueue::create("monitors");
    auto composite = CompositeEventMonitor::create(
        {std::make_shared<Tagged>("1", shared, log), std::make_shared<Tagged>("2", shared, log)});
    EXPECT_EQ(composite->queue()->label(), "org.hawser.compositeEventMonitor");
    EXPECT_EQ(composite->queue()->qos(), platform::DispatchQoS::utility);

    composite->requestDidResume(request);
    composite->requestDidSuspend(request);
    composite->requestDidCancel(request);
    ASSERT_TRUE(log->waitForCount(6));
    EXPECT_EQ(log->events(),
              (std::vector<std::string>{"1:resume", "2:resume", "1:suspend", "2:suspend", "1:cancel", "2:cancel"}));
}

TEST(EventMonitors, EachMonitorGetsEveryEventOnItsOwnQueue) {
    Fixture f;
    auto request = f.makeDataRequest();
    auto log = std::make_shared<Recorder>();
    auto composite =
        CompositeEventMonitor::create({std::make_shared<Tagged>("a", platform::DispatchQueue::create("a"), log),
                                       std::make_shared<Tagged>("b", platform::DispatchQueue::create("b"), log)});
    composite->requestDidResume(request);
    composite->requestDidCancel(request);
    ASSERT_TRUE(log->waitForCount(4));
    std::vector<std::string> a, b;
    for (const auto& e : log->events()) (e[0] == 'a' ? a : b).push_back(e);
    EXPECT_EQ(a, (std::vector<std::string>{"a:resume", "a:cancel"}));
    EXPECT_EQ(b, (std::vector<std::string>{"b:resume", "b:cancel"}));

    // No monitors: every event is accepted and goes nowhere.
    auto empty = CompositeEventMonitor::create({});
    empty->requestDidResume(request);
    drain(empty->queue());
}

TEST(EventMonitors, DefaultQueueIsTheMain) {
    struct OnlyResume : EventMonitor {
        std::atomic<int> calls{0};
        std::atomic<bool> onMain{false};
        void requestDidResume(const RequestPtr&) override {
            onMain = platform::Thread::isMainThread();
            ++calls;
        }
    };
    ASSERT_TRUE(platform::Thread::isMainThread());
    Fixture f;
    auto request = f.makeDataRequest();
    auto monitor = std::make_shared<OnlyResume>();
    auto composite = CompositeEventMonitor::create({monitor});
    composite->requestDidSuspend(request);
    composite->requestDidResume(request);
    ASSERT_TRUE(platform::RunLoop::runUntil([&] { return monitor->calls == 1; }, 5));
    EXPECT_TRUE(monitor->onMain);
}

TEST(EventMonitors, ClosureMonitorCallsOnlyTheClosuresSet) {
    Fixture f;
    auto queue = platform::DispatchQueue::create("closures");
    auto monitor = std::make_shared<ClosureEventMonitor>(queue);
    auto request = DataRequest::create(platform::UUID(), nullptr, f.root, f.serialization,
                                       CompositeEventMonitor::create({monitor}), nullptr, f.delegate);
    auto composite = std::dynamic_pointer_cast<CompositeEventMonitor>(request->eventMonitor);
    auto settle = [&] {
        drain(f.root);
        drain(composite->queue());
        drain(queue);
    };
    // A fresh monitor takes every event and does nothing.
    request->resume();
    request->suspend();
    settle();

    std::mutex m;
    std::vector<RequestPtr> resumed;
    // Closures change only on the monitor's own queue once it is in use.
    queue->sync([&] {
        monitor->setRequestDidResume([&](const RequestPtr& r) {
            EXPECT_TRUE(platform::DispatchQueue::isCurrent(queue));
            std::lock_guard lock(m);
            resumed.push_back(r);
        });
    });
    request->resume();
    settle();
    {
        std::lock_guard lock(m);
        EXPECT_EQ(resumed, std::vector<RequestPtr>{request});
    }

    // Cleared: later events call nothing.
    queue->sync([&] { monitor->setRequestDidResume(nullptr); });
    request->suspend();
    request->resume();
    settle();
    std::lock_guard lock(m);
    EXPECT_EQ(resumed.size(), 1u);
}

TEST(RequestNotifications, PostedWithTheirNamesAndTheRequest) {
    EXPECT_STREQ(requestKey, "org.hawser.notification.key.request");
    const std::pair<const std::string&, const char*> names[] = {
        {Request::didResumeNotification(), "didResume"},
        {Request::didSuspendNotification(), "didSuspend"},
        {Request::didCancelNotification(), "didCancel"},
        {Request::didFinishNotification(), "didFinish"},
        {Request::didResumeTaskNotification(), "didResumeTask"},
        {Request::didSuspendTaskNotification(), "didSuspendTask"},
        {Request::didCancelTaskNotification(), "didCancelTask"},
        {Request::didCompleteTaskNotification(), "didCompleteTask"},
    };
    for (const auto& [name, event] : names) {
        EXPECT_EQ(name, std::string("org.hawser.notification.name.request.") + event);
    }

    auto center = platform::NotificationCenter::defaultCenter();
    struct Seen {
        std::string name;
        RequestPtr request;
        bool hasSender;
        std::size_t userInfoSize;
    };
    std::vector<Seen> seen;
    auto token = center->addObserver(std::nullopt, nullptr, [&](const platform::Notification& n) {
        if (n.name.rfind("org.hawser.notification.name.request.", 0) != 0) return;
        EXPECT_TRUE(platform::Thread::isMainThread());
        seen.push_back({n.name.substr(37), request(n), n.sender != nullptr, n.userInfo.size()});
    });

    Fixture f;
    auto request = DataRequest::create(platform::UUID(), nullptr, f.root, f.serialization,
                                       CompositeEventMonitor::create({std::make_shared<HawserNotifications>()}),
                                       nullptr, f.delegate);
    request->resume();
    f.onRoot([&] {
        request->didCreateTask(nullptr);  // posts nothing
        request->didCompleteTask(nullptr, HWError::sessionTaskFailed(platform::NSError::make("t", 1)));
    });
    ASSERT_TRUE(platform::RunLoop::runUntil([&] { return seen.size() == 3; }, 5));
    center->removeObserver(token);

    const char* expected[] = {"didResume", "didCompleteTask", "didFinish"};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(seen[i].name, expected[i]);
        EXPECT_EQ(seen[i].request, request) << expected[i];
        EXPECT_FALSE(seen[i].hasSender) << expected[i];
        EXPECT_EQ(seen[i].userInfoSize, 1u) << expected[i];
    }

    // Someone else's notification under the same name carries no request.
    EXPECT_EQ(Hawser::request(platform::Notification(Request::didResumeNotification())), nullptr);
    EXPECT_EQ(Hawser::request(platform::Notification(Request::didResumeNotification(), nullptr,
                                                     {{requestKey, platform::Value("text")}})),
              nullptr);
}
