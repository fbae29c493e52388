// Pipeline and delegate-order rules that a real URL session cannot be made to show on
// demand: the order of a task's two end events, cancellation at each checkpoint,
// destruction and invalidation of the session, a request's state set before its task
// exists, and a cancel racing task creation. The end events are played by a scripted
// stand-in on the session's own delegate queue; those tasks are real but never resumed.
#include <gtest/gtest.h>

#include <condition_variable>
#include <thread>

#include "Hawser/ResponseHandlers.h"
#include "platform/runloop/Thread.h"
#include "session_support.h"

namespace {

using namespace session_test;
using platform::DispatchQueue;
using RawResponse = DataResponse<std::optional<platform::Data>, HWError>;

// A session that never starts its requests, so the test decides every task event.
SessionPtr quietSession(std::shared_ptr<RecordingMonitor> monitor, RequestInterceptorPtr interceptor = nullptr) {
    return Session::create(platform::URLSessionConfiguration::ephemeralSessionConfiguration(), nullptr, nullptr, false,
                           nullptr, nullptr, std::move(interceptor), nullptr, nullptr, nullptr, {monitor});
}

std::size_t mappedTasks(const SessionPtr& session) {
    return session->rootQueue->sync([&] { return session->requestTaskMap().count(); });
}

// Nothing listens on port 9 of the loopback; the task is never resumed anyway.
const char* const unusedURL = "http://127.0.0.1:9/never";

TEST(SessionPipelineTest, ATaskCompletesOnlyOnceItsMetricsHaveArrivedWhicheverComesFirst) {
    for (bool completionFirst : {true, false}) {
        auto monitor = std::make_shared<RecordingMonitor>();
        auto session = quietSession(monitor);
        ScriptedURLSession script(session);
        auto request = session->request(unusedURL);
        std::optional<RawResponse> received;
        response(request, DispatchQueue::main(), [&](const RawResponse& r) { received = r; });
        ASSERT_TRUE(waitUntil([&] { return mappedTasks(session) == 1; }));
        auto task = request->lastTask();

        if (completionFirst) {
            script.complete(task);
            script.settle();
            // Held back: the request has not heard of the completion yet.
            EXPECT_EQ(session->rootQueue->sync([&] { return session->waitingCompletionCount(); }), 1u);
            EXPECT_EQ(mappedTasks(session), 1u);
            script.metrics(task);
        } else {
            script.metrics(task);
            script.settle();
            EXPECT_EQ(mappedTasks(session), 1u);
            script.complete(task);
        }
        ASSERT_TRUE(waitUntil([&] { return received.has_value(); })) << completionFirst;
        EXPECT_TRUE(received->result.isSuccess());
        EXPECT_EQ(mappedTasks(session), 0u);
        EXPECT_EQ(session->rootQueue->sync([&] { return session->waitingCompletionCount(); }), 0u);
        ASSERT_TRUE(waitUntil([&] { return monitor->saw("finish"); }));
        auto events = monitor->events();
        auto metricsAt = std::find(events.begin(), events.end(), "metrics");
        auto completeAt = std::find(events.begin(), events.end(), "complete");
        ASSERT_NE(completeAt, events.end());
        EXPECT_LT(metricsAt, completeAt) << completionFirst;
    }
}

// A latch the test opens from its own thread.
class Gate {
public:
    void open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        ready_.notify_all();
    }
    void wait() {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [&] { return open_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    bool open_ = false;
};

TEST(SessionPipelineTest, ACancelledRequestStopsAtTheNextCheckpointWithoutATask) {
    enum class When { beforeRegistration, whileBuildingTheURLRequest, beforeTaskCreation };
    struct Case {
        When when;
        bool initialRequestReported, finalRequestReported;
    };
    const std::vector<Case> cases = {
        {When::beforeRegistration, false, false},
        {When::whileBuildingTheURLRequest, true, false},
        {When::beforeTaskCreation, true, true},
    };
    for (const auto& c : cases) {
        auto monitor = std::make_shared<RecordingMonitor>();
        std::shared_ptr<Request> target;
        std::mutex mutex;
        auto cancelTarget = [&] {
            std::lock_guard lock(mutex);
            target->cancel();
        };
        // The adapter runs after the URL request is built and before task creation.
        auto cancellingAdapter = adapter([&](const URLRequest& r, const SessionPtr&, AdaptCompletion completion) {
            if (c.when == When::beforeTaskCreation) cancelTarget();
            completion(platform::Result<URLRequest>::success(r));
        });
        auto session = quietSession(monitor, cancellingAdapter);
        Gate gate;
        if (c.when == When::beforeRegistration) session->rootQueue->async([&] { gate.wait(); });
        {
            std::lock_guard lock(mutex);
            target = session->request(unusedURL, HTTPMethod::get, std::nullopt, URLEncoding::default_(), std::nullopt,
                                      nullptr, [&](URLRequest&) {
                                          if (c.when == When::whileBuildingTheURLRequest) cancelTarget();
                                      });
        }
        if (c.when == When::beforeRegistration) {
            target->cancel();
            gate.open();
        }
        std::optional<RawResponse> received;
        response(std::static_pointer_cast<DataRequest>(target), DispatchQueue::main(),
                 [&](const RawResponse& r) { received = r; });
        ASSERT_TRUE(waitUntil([&] { return received.has_value(); }));
        EXPECT_TRUE(received->result.isFailure());
        EXPECT_TRUE(target->isCancelled());
        EXPECT_EQ(target->lastTask(), nullptr);
        EXPECT_EQ(mappedTasks(session), 0u);
        // Events travel root queue -> composite monitor's queue -> the monitor's queue.
        drain(session->rootQueue);
        drain(session->eventMonitor->queue());
        drain(monitor->queue());
        EXPECT_TRUE(monitor->saw("finish"));
        EXPECT_EQ(monitor->saw("initialURLRequest"), c.initialRequestReported) << static_cast<int>(c.when);
        EXPECT_EQ(monitor->saw("urlRequest"), c.finalRequestReported) << static_cast<int>(c.when);
        EXPECT_FALSE(monitor->saw("task"));
    }
}

TEST(SessionPipelineTest, CancelAllRequestsCancelsEveryLiveRequestThenCallsBackOnTheGivenQueue) {
    auto session = quietSession(std::make_shared<RecordingMonitor>());
    auto first = session->request(unusedURL);
    auto second = session->request(unusedURL);
    ASSERT_TRUE(waitUntil([&] { return mappedTasks(session) == 2; }));
    bool calledOnMain = false, called = false;
    session->cancelAllRequests(DispatchQueue::main(), [&] {
        calledOnMain = platform::Thread::isMainThread();
        called = true;
    });
    ASSERT_TRUE(waitUntil([&] { return called; }));
    EXPECT_TRUE(calledOnMain);
    EXPECT_TRUE(first->isCancelled());
    EXPECT_TRUE(second->isCancelled());

    // With nothing live the completion still comes, and never inline.
    auto idle = quietSession(std::make_shared<RecordingMonitor>());
    bool idleCalled = false;
    idle->cancelAllRequests(DispatchQueue::main(), [&] { idleCalled = true; });
    EXPECT_FALSE(idleCalled);
    EXPECT_TRUE(waitUntil([&] { return idleCalled; }));
}

TEST(SessionPipelineTest, DestroyingTheSessionFinishesRequestsThatOwnATask) {
    auto monitor = std::make_shared<RecordingMonitor>();
    auto session = quietSession(monitor);
    auto request = session->request(unusedURL);
    std::optional<RawResponse> received;
    response(request, DispatchQueue::main(), [&](const RawResponse& r) { received = r; });
    ASSERT_TRUE(waitUntil([&] { return mappedTasks(session) == 1; }));
    std::weak_ptr<Session> weak = session;
    session.reset();
    EXPECT_TRUE(weak.expired());
    ASSERT_TRUE(waitUntil([&] { return received.has_value(); }));
    ASSERT_TRUE(received->result.isFailure());
    EXPECT_TRUE(received->result.error().isSessionDeinitializedError()) << received->result.error().caseName();
}

TEST(SessionPipelineTest, AnInvalidatedURLSessionFailsEveryMappedRequest) {
    auto session = quietSession(std::make_shared<RecordingMonitor>());
    ScriptedURLSession script(session);
    std::vector<std::optional<RawResponse>> received(2);
    for (auto& slot : received)
        response(session->request(unusedURL), DispatchQueue::main(), [&slot](const RawResponse& r) { slot = r; });
    ASSERT_TRUE(waitUntil([&] { return mappedTasks(session) == 2; }));
    script.invalidate(platform::posixError(ECONNRESET, "gone"));
    ASSERT_TRUE(waitUntil([&] { return received[0] && received[1]; }));
    for (const auto& r : received) {
        const auto* invalidated = r->result.error().as<HWError::SessionInvalidated>();
        ASSERT_NE(invalidated, nullptr) << r->result.error().caseName();
        EXPECT_EQ(invalidated->error->code(), ECONNRESET);
    }
}

}  // namespace

TEST(SessionPipelineTest, ARequestResumedOrSuspendedBeforeItsTaskExistsGetsATaskInThatState) {
    LocalServer server;  // "/hold" keeps its answer back, so a running task stays running
    struct Case {
        Request::State state;
        platform::URLSessionTask::State taskState;
        int requestsServed;
    };
    for (const Case& c : {Case{Request::State::resumed, platform::URLSessionTask::State::running, 1},
                          Case{Request::State::suspended, platform::URLSessionTask::State::suspended, 0}}) {
        SCOPED_TRACE(static_cast<int>(c.state));
        std::shared_ptr<Request> target;
        std::mutex mutex;
        // The adapter runs after the URL request is built and before task creation.
        auto settingState = adapter([&](const URLRequest& r, const SessionPtr&, AdaptCompletion completion) {
            {
                std::lock_guard lock(mutex);
                if (c.state == Request::State::resumed) target->resume();
                else target->suspend();
            }
            completion(platform::Result<URLRequest>::success(r));
        });
        auto session = quietSession(std::make_shared<RecordingMonitor>(), settingState);
        const int servedBefore = server.requestCount();
        {
            std::lock_guard lock(mutex);
            target = session->request(server.url("/hold"));
        }
        ASSERT_TRUE(waitUntil([&] { return mappedTasks(session) == 1; }));
        drain(session->rootQueue);
        EXPECT_EQ(target->state(), c.state);
        EXPECT_EQ(target->lastTask()->state(), c.taskState);
        if (c.requestsServed > 0) {
            EXPECT_TRUE(waitUntil([&] { return server.requestCount() > servedBefore; }));
        } else {
            EXPECT_EQ(server.requestCount(), servedBefore);
        }
        target->cancel();
    }
}

TEST(SessionPipelineTest, ACancelRacingTaskCreationIsNeverUndone) {
    LocalServer server;  // an undone cancel would leave a "/hold" task running for ever
    auto session = Session::create(platform::URLSessionConfiguration::ephemeralSessionConfiguration(), nullptr, nullptr,
                                   /*startRequestsImmediately=*/false);
    for (int round = 0; round < 50; ++round) {
        auto request = std::static_pointer_cast<DataRequest>(session->request(server.url("/hold")));
        std::optional<RawResponse> received;
        response(request, DispatchQueue::main(), [&](const RawResponse& r) { received = r; });
        std::thread canceller([request] { request->cancel(); });
        request->resume();
        canceller.join();
        ASSERT_TRUE(waitUntil([&] { return received.has_value(); })) << "round " << round;
        EXPECT_TRUE(request->isCancelled()) << "round " << round;
        ASSERT_TRUE(received->result.isFailure());
        EXPECT_TRUE(received->result.error().isExplicitlyCancelledError()) << "round " << round;
        if (auto task = request->lastTask()) {
            EXPECT_NE(task->state(), platform::URLSessionTask::State::running) << "round " << round;
        }
    }
}
