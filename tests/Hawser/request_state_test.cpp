// The request's state machine, error merging, retry decision and the ordered running
// of response serializers, driven by a scripted session stand-in.
#include <gtest/gtest.h>

#include <atomic>

#include "request_support.h"

using namespace request_test;
using State = Request::State;

namespace {

HWError taskFailed() { return HWError::sessionTaskFailed(platform::NSError::make("test", 1)); }
HWError adaptFailed() { return HWError::requestAdaptationFailed(platform::NSError::make("test", 2)); }
URLRequest urlRequest(const std::string& url = "http://127.0.0.1:9/a") { return URLRequest(platform::URL::parse(url)); }

}  // namespace

TEST(RequestState, TransitionTable) {
    const State all[] = {State::initialized, State::resumed, State::suspended, State::cancelled, State::finished};
    // Rows: from; columns: to, in the order of `all`.
    const bool allowed[5][5] = {
        {false, true, true, true, true},      // initialized
        {false, false, true, true, true},     // resumed
        {false, true, false, true, true},     // suspended
        {false, false, false, false, false},  // cancelled
        {false, false, false, false, false},  // finished
    };
    for (int from = 0; from < 5; ++from) {
        for (int to = 0; to < 5; ++to) {
            EXPECT_EQ(Request::canTransitionTo(all[from], all[to]), allowed[from][to]) << from << " -> " << to;
        }
    }
}

TEST(RequestState, NewRequestAndIdentity) {
    Fixture f;
    auto request = f.makeDataRequest();
    EXPECT_TRUE(request->isInitialized());
    EXPECT_TRUE(request->requests().empty());
    EXPECT_TRUE(request->tasks().empty());
    EXPECT_TRUE(request->allMetrics().empty());
    EXPECT_FALSE(request->lastRequest());
    EXPECT_EQ(request->task(), nullptr);
    EXPECT_EQ(request->response(), nullptr);
    EXPECT_EQ(request->metrics(), nullptr);
    EXPECT_EQ(request->retryCount(), 0);
    EXPECT_FALSE(request->error());
    EXPECT_EQ(request->uploadProgress()->totalUnitCount(), 0);
    EXPECT_EQ(request->downloadProgress()->totalUnitCount(), 0);
    EXPECT_EQ(request->description(), "No request created yet.");

    f.onRoot([&] { request->didCreateInitialURLRequest(urlRequest("http://127.0.0.1:9/x?y=1")); });
    EXPECT_EQ(request->description(), "GET http://127.0.0.1:9/x?y=1");

    auto twin = DataRequest::create(request->id, nullptr, f.root, f.serialization, nullptr, nullptr, {});
    EXPECT_TRUE(*twin == *request);
    EXPECT_EQ(std::hash<Request>()(*twin), std::hash<Request>()(*request));
    EXPECT_FALSE(*f.makeDataRequest() == *request);
}

// Which error a request ends with: replace, keep the first, clear.
TEST(RequestState, ErrorMerging) {
    struct Case {
        const char* name;
        std::function<void(const DataRequestPtr&)> steps;
        std::optional<std::string> expected;  // case name
    };
    const Case cases[] = {
        {"task error when none recorded", [](auto r) { r->didCompleteTask(nullptr, taskFailed()); },
         "sessionTaskFailed"},
        {"early failure wins over the task's error",
         [](auto r) {
             r->didFailTask(nullptr, adaptFailed());
             r->didCompleteTask(nullptr, taskFailed());
         },
         "requestAdaptationFailed"},
        {"cancellation marks explicitlyCancelled", [](auto r) { r->didCancel(); }, "explicitlyCancelled"},
        {"cancellation keeps an earlier failure",
         [](auto r) {
             r->didFailToCreateURLRequest(adaptFailed());
             r->didCancel();
         },
         "requestAdaptationFailed"},
        {"finish with an error replaces",
         [](auto r) {
             r->didFailTask(nullptr, adaptFailed());
             r->finish(taskFailed());
         },
         "sessionTaskFailed"},
        {"reset clears",
         [](auto r) {
             r->didFailTask(nullptr, adaptFailed());
             r->reset();
         },
         std::nullopt},
    };
    for (const auto& c : cases) {
        Fixture f;
        auto request = f.makeDataRequest();
        f.onRoot([&] { c.steps(request); });
        auto error = request->error();
        EXPECT_EQ(error ? std::optional(error->caseName()) : std::nullopt, c.expected) << c.name;
    }
}

TEST(RequestState, MonitorSeesTheTasksOwnErrorOnCompletion) {
    Fixture f;
    auto request = f.makeDataRequest();
    f.onRoot([&] {
        request->didFailTask(nullptr, adaptFailed());
        request->didCompleteTask(nullptr, taskFailed());
    });
    drain(f.root);  // the session answers asynchronously
    EXPECT_EQ(f.monitor->events(), (std::vector<std::string>{"early", "complete:sessionTaskFailed", "finish"}));
    // The delegate was asked with the merged error.
    EXPECT_EQ(f.delegate->askedWith(), std::vector<std::string>{"requestAdaptationFailed"});
}

// Serializer i runs only after i completions; completions are held back until all
// serializers are done and then run in order, before cleanup.
TEST(RequestState, SerializersRunInOrderAndCompletionsWaitForAll) {
    Fixture f;
    auto request = f.makeDataRequest();
    std::mutex m;
    std::vector<std::string> log;
    auto note = [&](std::string s) {
        std::lock_guard lock(m);
        log.push_back(std::move(s));
    };
    std::atomic<int> started{0};
    for (const char* name : {"s1", "s2"}) {
        request->appendResponseSerializer([&, name] {
            note(name);
            ++started;
        });
    }
    f.onRoot([&] { request->finish(); });
    ASSERT_TRUE(eventually([&] { return started == 1; }));
    drain(f.serialization);
    EXPECT_EQ(started, 1) << "the second serializer must wait for the first to complete";

    request->responseSerializerDidComplete([&] { note("c1"); });
    ASSERT_TRUE(eventually([&] { return started == 2; }));
    drain(f.serialization);
    EXPECT_EQ(log, (std::vector<std::string>{"s1", "s2"})) << "no completion before all serializers completed";
    EXPECT_FALSE(request->isFinished());

    request->responseSerializerDidComplete([&] { note("c2"); });
    EXPECT_EQ(log, (std::vector<std::string>{"s1", "s2", "c1", "c2"}));
    EXPECT_TRUE(request->isFinished());
    EXPECT_EQ(f.delegate->cleanups(), 1);
}

TEST(RequestState, FinishWhileSerializersRunIsIgnored) {
    Fixture f;
    auto request = f.makeDataRequest();
    std::atomic<bool> ran{false};
    request->appendResponseSerializer([&] { ran = true; });
    f.onRoot([&] {
        request->finish();
        request->finish(taskFailed());
    });
    ASSERT_TRUE(eventually([&] { return ran.load(); }));
    EXPECT_FALSE(request->error());
    EXPECT_EQ(f.monitor->events(), std::vector<std::string>{"finish"});
    request->responseSerializerDidComplete([] {});
    EXPECT_TRUE(request->isFinished());
}

TEST(RequestState, FinishWithoutSerializersClosesOutBeforeTheFinishEvent) {
    struct StateAtFinish : Recorder {
        std::optional<State> seen;
        void requestDidFinish(const RequestPtr& r) override { seen = r->state(); }
    };
    Fixture f;
    auto monitor = std::make_shared<StateAtFinish>();
    auto request =
        DataRequest::create(platform::UUID(), nullptr, f.root, f.serialization, monitor, nullptr, f.delegate);
    f.onRoot([&] { request->finish(); });
    EXPECT_EQ(monitor->seen, State::finished);
    EXPECT_EQ(f.delegate->cleanups(), 1);
}

TEST(RequestState, AppendingToAFinishedRequestReopensItOnce) {
    Fixture f;
    auto request = f.makeDataRequest();
    f.onRoot([&] { request->finish(); });
    ASSERT_TRUE(request->isFinished());

    std::atomic<int> stateDuring{-1};
    request->appendResponseSerializer([&] {
        stateDuring = static_cast<int>(request->state());
        request->responseSerializerDidComplete([] {});
    });
    ASSERT_TRUE(eventually([&] { return f.delegate->cleanups() == 2; }));
    EXPECT_EQ(stateDuring, static_cast<int>(State::resumed));
    EXPECT_TRUE(request->isFinished());
    drain(f.root);
    EXPECT_EQ(f.monitor->events(), std::vector<std::string>{"finish"}) << "a reopened request is not resumed again";
}

// Handlers added after the finish reopen the round once: each runs exactly once, and a
// finish scheduled by cancel() during the reopened round is ignored, as in the first one.
TEST(RequestState, HandlersAddedAfterTheFinishRunOnceEach) {
    struct Case {
        const char* name;
        bool secondHandler;
        bool cancelDuringRound;
    };
    for (const Case& c : {Case{"two late handlers", true, false}, Case{"one late handler and cancel", false, true}}) {
        SCOPED_TRACE(c.name);
        Fixture f;
        auto request = f.makeDataRequest();
        f.onRoot([&] { request->finish(); });
        ASSERT_TRUE(request->isFinished());

        std::atomic<int> firstRuns{0}, secondRuns{0};
        request->appendResponseSerializer([&] { ++firstRuns; });
        if (c.secondHandler) request->appendResponseSerializer([&] { ++secondRuns; });
        if (c.cancelDuringRound) request->cancel();
        drain(f.root);
        drain(f.serialization);
        drain(f.root);
        drain(f.serialization);
        EXPECT_EQ(firstRuns, 1);
        EXPECT_EQ(secondRuns, 0) << "the second handler waits for the first to complete";

        request->responseSerializerDidComplete([] {});
        if (c.secondHandler) {
            drain(f.serialization);
            EXPECT_EQ(secondRuns, 1);
            request->responseSerializerDidComplete([] {});
        }
        drain(f.root);
        drain(f.serialization);
        EXPECT_EQ(firstRuns, 1);
        EXPECT_EQ(secondRuns, c.secondHandler ? 1 : 0);
        EXPECT_EQ(f.delegate->cleanups(), 2) << "one clean-up per round";
    }
}

TEST(RequestState, AppendingStartsTheRequestOnlyWhenTheSessionSaysSo) {
    for (bool immediately : {false, true}) {
        Fixture f;
        f.delegate->startsImmediately = immediately;
        auto request = f.makeDataRequest();
        request->suspend();
        request->appendResponseSerializer([] {});
        drain(f.root);
        drain(f.root);
        EXPECT_EQ(request->isResumed(), immediately);
    }
}

TEST(RequestState, RetryDecision) {
    struct Case {
        const char* name;
        std::optional<RetryResult> answer;
        std::vector<std::optional<double>> retries;
        std::optional<std::string> finalError;  // when it finished
    };
    auto retryFailed = HWError::requestRetryFailed(platform::NSError::make("r", 1), nullptr).shared();
    const Case cases[] = {
        {"retry at once", RetryResult::retry(), {std::nullopt}, std::nullopt},
        {"retry later", RetryResult::retryWithDelay(2.5), {2.5}, std::nullopt},
        {"do not retry", RetryResult::doNotRetry(), {}, "sessionTaskFailed"},
        {"do not retry, with error", RetryResult::doNotRetryWithError(retryFailed), {}, "requestRetryFailed"},
    };
    for (const auto& c : cases) {
        Fixture f;
        if (c.answer) f.delegate->answers.push_back(*c.answer);
        auto request = f.makeDataRequest();
        f.onRoot([&] { request->didCompleteTask(nullptr, taskFailed()); });
        drain(f.root);
        EXPECT_EQ(f.delegate->retries(), c.retries) << c.name;
        if (c.finalError) {
            EXPECT_TRUE(request->isFinished()) << c.name;
            EXPECT_EQ(request->error()->caseName(), *c.finalError) << c.name;
        } else {
            EXPECT_FALSE(request->isFinished()) << c.name;
        }
    }
}

TEST(RequestState, CancelledOrOrphanedRequestsFinishWithoutAskingTheSession) {
    Fixture f;
    auto cancelled = f.makeDataRequest();
    cancelled->cancel();
    f.onRoot([&] { cancelled->didCompleteTask(nullptr, taskFailed()); });
    drain(f.root);
    EXPECT_TRUE(f.delegate->askedWith().empty());
    EXPECT_EQ(cancelled->error()->caseName(), "explicitlyCancelled");
    EXPECT_TRUE(cancelled->isCancelled()) << "close-out leaves a cancelled request cancelled";

    auto orphan = DataRequest::create(platform::UUID(), nullptr, f.root, f.serialization, nullptr, nullptr, {});
    f.onRoot([&] { orphan->didFailToCreateURLRequest(adaptFailed()); });
    EXPECT_TRUE(orphan->isFinished());
    EXPECT_EQ(orphan->error()->caseName(), "requestAdaptationFailed");
}

TEST(RequestState, PrepareForRetryResetsTheAttemptAndKeepsHistory) {
    Fixture f;
    auto request = f.makeDataRequest();
    request->updateUploadProgress(5, 10);
    f.onRoot([&] {
        request->didCreateInitialURLRequest(urlRequest());
        request->didGatherMetrics(std::make_shared<platform::URLSessionTaskMetrics>());
        request->didFailTask(nullptr, taskFailed());
        request->didReceive(platform::Data::fromString("partial"));
        request->prepareForRetry();
    });
    EXPECT_EQ(request->retryCount(), 1);
    EXPECT_FALSE(request->error());
    EXPECT_FALSE(request->data());
    EXPECT_EQ(request->uploadProgress()->totalUnitCount(), 0);
    EXPECT_EQ(request->uploadProgress()->completedUnitCount(), 0);
    EXPECT_EQ(request->requests().size(), 1u);
    EXPECT_EQ(request->allMetrics().size(), 1u);
    EXPECT_EQ(f.monitor->events().back(), "retrying");
}

TEST(RequestState, HandlersForURLRequestsAndCURLText) {
    Fixture f;
    auto request = f.makeDataRequest();
    auto handlerQueue = platform::DispatchQueue::create("handlers");
    std::mutex m;
    std::vector<std::string> seen;
    auto note = [&](std::string s) {
        std::lock_guard lock(m);
        seen.push_back(std::move(s));
    };
    request->onURLRequestCreation(handlerQueue, [&](const URLRequest& r) { note(r.url()->path()); });
    request->cURLDescription(handlerQueue, [&](const std::string&) { note("replaced"); });
    request->cURLDescription(handlerQueue, [&](const std::string& text) { note(text.substr(0, 9)); });
    f.onRoot([&] {
        request->didCreateInitialURLRequest(urlRequest("http://127.0.0.1:9/first"));
        request->didCreateURLRequest(urlRequest("http://127.0.0.1:9/first"));
        request->didCreateURLRequest(urlRequest("http://127.0.0.1:9/second"));
    });
    drain(handlerQueue);
    EXPECT_EQ(seen, (std::vector<std::string>{"/first", "$ curl -v", "/second"})) << "the cURL handler fires once";

    // A late handler gets the last request in the list at once, then every new one.
    request->onURLRequestCreation(handlerQueue, [&](const URLRequest& r) { note("late " + r.url()->path()); });
    f.onRoot([&] { request->didCreateURLRequest(urlRequest("http://127.0.0.1:9/third")); });
    drain(handlerQueue);
    EXPECT_EQ(seen, (std::vector<std::string>{"/first", "$ curl -v", "/second", "late /first", "late /third"}));
}

// A handler set while a request is listed but not yet created (the session lists it, then
// creates it on its queue) gets that request once: at once, not again at its creation.
TEST(RequestState, AHandlerSetBetweenListingAndCreationGetsTheRequestOnce) {
    Fixture f;
    auto request = f.makeDataRequest();
    auto handlerQueue = platform::DispatchQueue::create("handlers");
    std::vector<std::string> seen;
    auto note = [&](const URLRequest& r) { seen.push_back(r.url()->path()); };
    f.onRoot([&] {
        request->didCreateInitialURLRequest(urlRequest("http://127.0.0.1:9/first"));
        request->onURLRequestCreation(handlerQueue, note);
        request->didCreateURLRequest(urlRequest("http://127.0.0.1:9/first"));
        request->didCreateInitialURLRequest(urlRequest("http://127.0.0.1:9/retried"));
        request->didCreateURLRequest(urlRequest("http://127.0.0.1:9/retried"));
    });
    drain(handlerQueue);
    EXPECT_EQ(seen, (std::vector<std::string>{"/first", "/retried"}));
}

TEST(RequestState, FinishHandlers) {
    Fixture f;
    auto request = f.makeDataRequest();
    int calls = 0;
    request->onFinish([&] { ++calls; });
    EXPECT_EQ(calls, 0);
    f.onRoot([&] { request->finish(); });
    EXPECT_EQ(calls, 1);
    request->onFinish([&] { ++calls; });
    EXPECT_EQ(calls, 2) << "runs at once on a finished request";
    request->cleanup();
    EXPECT_EQ(calls, 2) << "and was not stored";
}
