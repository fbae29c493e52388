// Shared pieces of the request tests: a scripted session stand-in, a monitor that
// records event names, and waiting on conditions with a time limit.
#pragma once
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Hawser/DataRequest.h"
#include "Hawser/EventMonitor.h"
#include "Hawser/RequestDelegate.h"
#include "platform/dispatch/DispatchQueue.h"

namespace request_test {

using namespace Hawser;

// Polls `condition` until it holds or `seconds` pass; answers whether it held.
inline bool eventually(const std::function<bool()>& condition, double seconds = 5) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::yield();
    }
    return true;
}

// Every block submitted to the serial `queue` before this call has run.
inline void drain(const DispatchQueuePtr& queue) {
    queue->sync([] {});
}

// The session as a request sees it, with scripted retry answers.
class FakeDelegate : public RequestDelegate {
public:
    explicit FakeDelegate(DispatchQueuePtr root) : root_(std::move(root)) {}

    platform::URLSessionConfiguration configuration =
        platform::URLSessionConfiguration::ephemeralSessionConfiguration();
    bool startsImmediately = false;
    std::deque<RetryResult> answers;  // doNotRetry once they run out

    platform::URLSessionConfiguration sessionConfiguration() const override { return configuration; }
    bool startImmediately() const override { return startsImmediately; }
    void cleanup(const RequestPtr&) override {
        std::lock_guard lock(mutex_);
        ++cleanups_;
    }
    void retryResult(const RequestPtr&, const HWError& dueTo, std::function<void(RetryResult)> completion) override {
        RetryResult answer = RetryResult::doNotRetry();
        {
            std::lock_guard lock(mutex_);
            askedWith_.push_back(dueTo.caseName());
            if (!answers.empty()) {
                answer = answers.front();
                answers.pop_front();
            }
        }
        root_->async([completion, answer] { completion(answer); });
    }
    void retryRequest(const RequestPtr&, std::optional<double> withDelay) override {
        std::lock_guard lock(mutex_);
        retries_.push_back(withDelay);
    }

    int cleanups() const {
        std::lock_guard lock(mutex_);
        return cleanups_;
    }
    std::vector<std::string> askedWith() const {
        std::lock_guard lock(mutex_);
        return askedWith_;
    }
    std::vector<std::optional<double>> retries() const {
        std::lock_guard lock(mutex_);
        return retries_;
    }

private:
    DispatchQueuePtr root_;
    mutable std::mutex mutex_;
    int cleanups_ = 0;
    std::vector<std::string> askedWith_;
    std::vector<std::optional<double>> retries_;
};

// Records the names of request events, in the order they arrive.
class Recorder : public EventMonitor {
public:
    explicit Recorder(DispatchQueuePtr queue = platform::DispatchQueue::create("recorder")) : queue_(queue) {}
    DispatchQueuePtr queue() const override { return queue_; }

    std::vector<std::string> events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    bool waitForCount(std::size_t count, double seconds = 5) const {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return events_.size() >= count; });
    }
    void record(std::string name) {
        {
            std::lock_guard lock(mutex_);
            events_.push_back(std::move(name));
        }
        changed_.notify_all();
    }

    void requestDidCreateInitialURLRequest(const RequestPtr&, const URLRequest&) override { record("initial"); }
    void requestDidFailToCreateURLRequestWithError(const RequestPtr&, const HWError&) override {
        record("failToCreate");
    }
    void requestDidCreateURLRequest(const RequestPtr&, const URLRequest&) override { record("urlRequest"); }
    void requestDidCreateTask(const RequestPtr&, const URLSessionTaskPtr&) override { record("task"); }
    void requestDidFailTaskEarlyWithError(const RequestPtr&, const URLSessionTaskPtr&, const HWError&) override {
        record("early");
    }
    void requestDidCompleteTaskWithError(const RequestPtr&, const URLSessionTaskPtr&,
                                         const std::optional<HWError>& e) override {
        record(std::string("complete:") + (e ? e->caseName() : "none"));
    }
    void requestIsRetrying(const RequestPtr&) override { record("retrying"); }
    void requestDidFinish(const RequestPtr&) override { record("finish"); }
    void requestDidResume(const RequestPtr&) override { record("resume"); }
    void requestDidResumeTask(const RequestPtr&, const URLSessionTaskPtr&) override { record("resumeTask"); }
    void requestDidSuspend(const RequestPtr&) override { record("suspend"); }
    void requestDidSuspendTask(const RequestPtr&, const URLSessionTaskPtr&) override { record("suspendTask"); }
    void requestDidCancel(const RequestPtr&) override { record("cancel"); }
    void requestDidCancelTask(const RequestPtr&, const URLSessionTaskPtr&) override { record("cancelTask"); }
    void requestDidValidateRequestResponseDataWithResult(const DataRequestPtr&, const std::optional<URLRequest>&,
                                                         const HTTPURLResponsePtr&,
                                                         const std::optional<platform::Data>&,
                                                         const ValidationResult& r) override {
        record(r.isSuccess() ? "validated" : "invalid");
    }

private:
    DispatchQueuePtr queue_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::string> events_;
};

// A data request on fresh queues, reporting straight to `monitor` (so events arrive in
// the order they are raised, on the raising thread).
struct Fixture {
    DispatchQueuePtr root = platform::DispatchQueue::create("root");
    DispatchQueuePtr serialization = platform::DispatchQueue::create("serialization");
    std::shared_ptr<FakeDelegate> delegate = std::make_shared<FakeDelegate>(root);
    std::shared_ptr<Recorder> monitor = std::make_shared<Recorder>();

    DataRequestPtr makeDataRequest(const std::string& url = "http://127.0.0.1:9/") {
        return DataRequest::create(platform::UUID(),
                                   std::make_shared<URLRequestValue>(URLRequest(platform::URL::parse(url))), root,
                                   serialization, monitor, nullptr, delegate);
    }
    // Runs `body` on the root queue and waits for it.
    void onRoot(const std::function<void()>& body) { root->sync(body); }
};

}  // namespace request_test
