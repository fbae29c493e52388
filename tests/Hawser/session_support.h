// Shared pieces of the session tests: the local test HTTP server, waiting
// on the main run loop for a condition, a monitor that records event names, and a
// scripted stand-in for the URL session's end-of-task callbacks.
#pragma once
#include <algorithm>
#include <atomic>
#include <cctype>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Hawser/EventMonitor.h"
#include "Hawser/Session.h"
#include "platform/dispatch/OperationQueue.h"
#include "platform/runloop/RunLoop.h"
#include "tests/support/LocalHTTPServer.h"

namespace session_test {

using namespace Hawser;

using LocalServer = testing_support::LocalHTTPServer;

// Runs the main run loop (so main-queue completions run) until `condition` holds.
inline bool waitUntil(const std::function<bool()>& condition, double seconds = 10) {
    return platform::RunLoop::runUntil(condition, seconds);
}

// Every block submitted to the serial `queue` before this call has run.
inline void drain(const DispatchQueuePtr& queue) {
    queue->sync([] {});
}

// Records the names of the events it sees, in order.
class RecordingMonitor : public EventMonitor {
public:
    DispatchQueuePtr queue() const override { return queue_; }
    std::vector<std::string> events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    bool saw(const std::string& name) const {
        auto all = events();
        return std::find(all.begin(), all.end(), name) != all.end();
    }

    void requestDidCreateInitialURLRequest(const RequestPtr&, const URLRequest&) override { add("initialURLRequest"); }
    void requestDidCreateURLRequest(const RequestPtr&, const URLRequest&) override { add("urlRequest"); }
    void requestDidCreateTask(const RequestPtr&, const URLSessionTaskPtr&) override { add("task"); }
    void requestDidGatherMetrics(const RequestPtr&, const URLSessionTaskMetricsPtr&) override { add("metrics"); }
    void requestDidCompleteTaskWithError(const RequestPtr&, const URLSessionTaskPtr&,
                                         const std::optional<HWError>&) override {
        add("complete");
    }
    void requestIsRetrying(const RequestPtr&) override { add("retrying"); }
    void requestDidFinish(const RequestPtr&) override { add("finish"); }

private:
    void add(std::string name) {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(name));
    }
    DispatchQueuePtr queue_ = platform::DispatchQueue::create("test.recordingMonitor");
    mutable std::mutex mutex_;
    std::vector<std::string> events_;
};

// Plays the URL session's end-of-task callbacks in an order the test chooses, through
// the same delegate queue the real URL session uses. The tasks it is used with are
// never resumed, so the real session never reports them itself.
class ScriptedURLSession {
public:
    explicit ScriptedURLSession(SessionPtr session) : session_(std::move(session)) {}

    void metrics(const platform::URLSessionTaskPtr& task) {
        post([task](const SessionPtr& s) {
            s->delegate->didFinishCollectingMetrics(s->session, task, platform::URLSessionTaskMetrics{});
        });
    }
    void complete(const platform::URLSessionTaskPtr& task, platform::ErrorPtr error = nullptr) {
        post([task, error](const SessionPtr& s) { s->delegate->didCompleteWithError(s->session, task, error); });
    }
    void invalidate(platform::ErrorPtr error = nullptr) {
        post([error](const SessionPtr& s) { s->delegate->didBecomeInvalidWithError(s->session, error); });
    }
    // Waits until every callback posted so far has run.
    void settle() { session_->session->delegateQueue()->waitUntilAllOperationsAreFinished(); }

private:
    void post(std::function<void(const SessionPtr&)> callback) {
        auto session = session_;
        session->session->delegateQueue()->addOperation([session, callback] { callback(session); });
    }
    SessionPtr session_;
};

}  // namespace session_test
