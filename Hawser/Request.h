// One HTTP exchange as the session runs it: its identity and queues, its lock-guarded
// state machine, the lifecycle events the session drives it through, the response
// serializer queue, the public control calls and handlers, and its cURL text.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Hawser/CachedResponseHandler.h"
#include "Hawser/EventMonitor.h"
#include "Hawser/HWError.h"
#include "Hawser/RedirectHandler.h"
#include "Hawser/RequestDelegate.h"
#include "Hawser/RequestInterceptor.h"
#include "Hawser/Response.h"
#include "platform/base/Protected.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Progress.h"
#include "platform/foundation/UUID.h"
#include "platform/net/URLCredential.h"
#include "platform/net/URLRequest.h"
#include "platform/net/URLResponse.h"
#include "platform/net/URLSession.h"
#include "platform/net/URLSessionTask.h"

namespace Hawser {

// The queue a caller's handler runs on: the one it named, or the main queue when it named none.
inline DispatchQueuePtr handlerQueue(DispatchQueuePtr queue) {
    return queue ? std::move(queue) : platform::DispatchQueue::main();
}

class Request : public std::enable_shared_from_this<Request> {
public:
    enum class State : std::uint8_t { initialized = 0, resumed = 1, suspended = 2, cancelled = 3, finished = 4 };
    // The transition rule; nothing ever moves back to initialized, and cancelled and
    // finished are final.
    static bool canTransitionTo(State from, State to);

    using ProgressHandler = std::function<void(const platform::ProgressPtr&)>;
    struct ProgressHandlerPair {
        ProgressHandler handler;
        DispatchQueuePtr queue;
    };
    struct CURLHandler {
        DispatchQueuePtr queue;
        std::function<void(const std::string&)> handler;
    };
    struct URLRequestHandler {
        DispatchQueuePtr queue;
        std::function<void(const URLRequest&)> handler;
        // The place in `requests` of the request it was given when it was set, if any: a
        // handler set between a request's entry in the list and its creation has that
        // request already, and its creation must not give it a second time.
        std::optional<std::size_t> givenAtSetting;
    };
    struct URLSessionTaskHandler {
        DispatchQueuePtr queue;
        std::function<void(const URLSessionTaskPtr&)> handler;
    };

    struct MutableState {
        State state = State::initialized;
        std::optional<ProgressHandlerPair> uploadProgressHandler;
        std::optional<ProgressHandlerPair> downloadProgressHandler;
        RedirectHandlerPtr redirectHandler;
        CachedResponseHandlerPtr cachedResponseHandler;
        std::optional<CURLHandler> cURLHandler;
        std::optional<URLRequestHandler> urlRequestHandler;
        std::optional<URLSessionTaskHandler> urlSessionTaskHandler;
        std::vector<std::function<void()>> responseSerializers;
        // Completions of finished serializers; the count is the next serializer's index.
        std::vector<std::function<void()>> responseSerializerCompletions;
        bool responseSerializerProcessingFinished = false;
        platform::URLCredentialPtr credential;
        std::vector<URLRequest> requests;
        std::vector<URLSessionTaskPtr> tasks;
        std::vector<URLSessionTaskMetricsPtr> metrics;
        std::int64_t retryCount = 0;
        std::optional<HWError> error;
        bool isFinishing = false;
        std::vector<std::function<void()>> finishHandlers;
        // Set by the clean-up; a cancelled request is never cleaned up again.
        bool isCleanedUp = false;
    };

    virtual ~Request() = default;
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;

    const platform::UUID id;
    // Serial; every lifecycle event runs here (the session's root queue).
    const DispatchQueuePtr underlyingQueue;
    const DispatchQueuePtr serializationQueue;
    const EventMonitorPtr eventMonitor;
    // Only stored; the session reads it.
    const RequestInterceptorPtr interceptor;
    // Total unit count 0 until bytes are announced.
    const platform::ProgressPtr& uploadProgress() const { return uploadProgress_; }
    const platform::ProgressPtr& downloadProgress() const { return downloadProgress_; }

    // ---- locked accessors ----
    virtual RequestDelegatePtr delegate() const { return delegate_.lock(); }
    virtual State state() const;
    virtual bool isInitialized() const { return state() == State::initialized; }
    virtual bool isResumed() const { return state() == State::resumed; }
    virtual bool isSuspended() const { return state() == State::suspended; }
    virtual bool isCancelled() const { return state() == State::cancelled; }
    virtual bool isFinished() const { return state() == State::finished; }
    virtual std::optional<ProgressHandlerPair> uploadProgressHandler() const;
    virtual std::optional<ProgressHandlerPair> downloadProgressHandler() const;
    virtual RedirectHandlerPtr redirectHandler() const;
    virtual CachedResponseHandlerPtr cachedResponseHandler() const;
    virtual platform::URLCredentialPtr credential() const;
    virtual void setCredential(platform::URLCredentialPtr credential);
    virtual std::vector<URLRequest> requests() const;
    virtual std::optional<URLRequest> firstRequest() const;
    virtual std::optional<URLRequest> lastRequest() const;
    virtual std::optional<URLRequest> request() const { return lastRequest(); }
    // The current request of each task that has one, in task order.
    virtual std::vector<URLRequest> performedRequests() const;
    // The last task's response when it is an HTTP response.
    virtual HTTPURLResponsePtr response() const;
    virtual std::vector<URLSessionTaskPtr> tasks() const;
    virtual URLSessionTaskPtr firstTask() const;
    virtual URLSessionTaskPtr lastTask() const;
    virtual URLSessionTaskPtr task() const { return lastTask(); }
    virtual std::vector<URLSessionTaskMetricsPtr> allMetrics() const;
    virtual URLSessionTaskMetricsPtr firstMetrics() const;
    virtual URLSessionTaskMetricsPtr lastMetrics() const;
    virtual URLSessionTaskMetricsPtr metrics() const { return lastMetrics(); }
    virtual std::int64_t retryCount() const;
    virtual std::optional<HWError> error() const;
    virtual void setError(std::optional<HWError> error);

    // ---- lifecycle events: each must run on underlyingQueue ----
    virtual void didCreateInitialURLRequest(const URLRequest& request);
    virtual void didFailToCreateURLRequest(const HWError& error);
    virtual void didAdaptInitialRequest(const URLRequest& initialRequest, const URLRequest& adaptedRequest);
    virtual void didFailToAdaptURLRequest(const URLRequest& request, const HWError& error);
    virtual void didCreateURLRequest(const URLRequest& request);
    virtual void callCURLHandlerIfNecessary();
    virtual void didCreateTask(const URLSessionTaskPtr& task);
    virtual void didResume();
    virtual void didResumeTask(const URLSessionTaskPtr& task);
    virtual void didSuspend();
    virtual void didSuspendTask(const URLSessionTaskPtr& task);
    virtual void didCancel();
    virtual void didCancelTask(const URLSessionTaskPtr& task);
    virtual void didGatherMetrics(const URLSessionTaskMetricsPtr& metrics);
    virtual void didFailTask(const URLSessionTaskPtr& task, const HWError& earlyWithError);
    virtual void didCompleteTask(const URLSessionTaskPtr& task, const std::optional<HWError>& error);
    virtual void prepareForRetry();
    virtual void retryOrFinish(const std::optional<HWError>& error);
    virtual void finish(const std::optional<HWError>& error = std::nullopt);

    // ---- response serializers and per-attempt state: callable from any thread ----
    virtual void appendResponseSerializer(std::function<void()> closure);
    virtual std::function<void()> nextResponseSerializer();
    virtual void processNextResponseSerializer();
    virtual void responseSerializerDidComplete(std::function<void()> completion);
    virtual void reset();
    virtual void updateUploadProgress(std::int64_t totalBytesSent, std::int64_t totalBytesExpectedToSend);

    // ---- control and handlers: callable from any thread, each returns the request ----
    // The task for one attempt; every request kind supplies it.
    virtual URLSessionTaskPtr task(const URLRequest& request, const URLSessionPtr& session);
    // Hands the request to the session's set-up for its kind, on the session's request
    // queue; every request kind supplies it.
    virtual void performIn(Session& session);
    virtual RequestPtr cancel();
    virtual RequestPtr suspend();
    virtual RequestPtr resume();
    virtual RequestPtr
    authenticate(const std::string& username, const std::string& password,
                 platform::URLCredential::Persistence persistence = platform::URLCredential::Persistence::forSession);
    virtual RequestPtr authenticate(platform::URLCredentialPtr credential);
    virtual RequestPtr downloadProgress(DispatchQueuePtr queue, ProgressHandler closure);
    virtual RequestPtr downloadProgress(ProgressHandler closure) {
        return downloadProgress(platform::DispatchQueue::main(), std::move(closure));
    }
    virtual RequestPtr uploadProgress(DispatchQueuePtr queue, ProgressHandler closure);
    virtual RequestPtr uploadProgress(ProgressHandler closure) {
        return uploadProgress(platform::DispatchQueue::main(), std::move(closure));
    }
    // One handler per request: a second one is a programming error.
    virtual RequestPtr redirect(RedirectHandlerPtr handler);
    virtual RequestPtr cacheResponse(CachedResponseHandlerPtr handler);
    virtual RequestPtr cURLDescription(DispatchQueuePtr queue, std::function<void(const std::string&)> handler);
    virtual RequestPtr cURLDescription(std::function<void(const std::string&)> handler);
    virtual RequestPtr onURLRequestCreation(DispatchQueuePtr queue, std::function<void(const URLRequest&)> handler);
    virtual RequestPtr onURLSessionTaskCreation(DispatchQueuePtr queue,
                                                std::function<void(const URLSessionTaskPtr&)> handler);
    // The last run: tells the session, then runs the finish handlers once.
    virtual void cleanup();

    // Runs `body` with the current state while holding the request's lock, so that what
    // it does to match the state cannot be overtaken by a cancel from another thread.
    // `body` must not call back into this request.
    template <class F>
    decltype(auto) withState(F&& body) const {
        return mutableState.read(
            [&](const MutableState& s) -> decltype(auto) { return std::forward<F>(body)(s.state); });
    }
    // A shell command that repeats the last URL request with curl; safe from any thread.
    std::string cURLDescription() const;
    // Runs `handler` at once when finished (or cancelled and already cleaned up: no
    // clean-up will come), else when the request is cleaned up.
    void onFinish(std::function<void()> handler);
    // "GET http://host/path (200)", or "No request created yet.".
    std::string description() const;

    // Names of the request notifications, each made once on first use.
    static const std::string& didResumeNotification();
    static const std::string& didSuspendNotification();
    static const std::string& didCancelNotification();
    static const std::string& didFinishNotification();
    static const std::string& didResumeTaskNotification();
    static const std::string& didSuspendTaskNotification();
    static const std::string& didCancelTaskNotification();
    static const std::string& didCompleteTaskNotification();

    friend bool operator==(const Request& a, const Request& b) { return a.id == b.id; }

protected:
    Request(platform::UUID id, DispatchQueuePtr underlyingQueue, DispatchQueuePtr serializationQueue,
            EventMonitorPtr eventMonitor, RequestInterceptorPtr interceptor, std::weak_ptr<RequestDelegate> delegate);

    RequestPtr self() { return shared_from_this(); }
    // The last task when it has not completed.
    static URLSessionTaskPtr liveTask(const MutableState& state);
    // A validation failure as the request records it: an HWError as it is, any other
    // error wrapped as a custom validation failure.
    static HWError validationError(const platform::ErrorPtr& error);
    // Queues a validator that acts once the request has a response and no error: `payload`
    // reads what the check looks at besides request and response, `check` validates, a
    // failure becomes the request's error, and then `report` tells the event monitor.
    template <class R, class Payload, class Check, class Report>
    void addValidator(std::weak_ptr<R> weak, Payload payload, Check check, Report report) {
        validators.write([&](std::vector<std::function<void()>>& list) {
            list.push_back([weak = std::move(weak), payload = std::move(payload), check = std::move(check),
                            report = std::move(report)] {
                auto self = weak.lock();
                if (!self) return;
                auto response = self->response();
                if (self->error() || !response) return;
                auto request = self->request();
                auto extra = payload(*self);
                ValidationResult result = check(request, *response, extra);
                if (result.isFailure()) self->setError(validationError(result.error()));
                if (self->eventMonitor) report(*self->eventMonitor, self, request, response, extra, result);
            });
        });
    }

    const platform::ProgressPtr uploadProgress_;
    const platform::ProgressPtr downloadProgress_;
    platform::Protected<MutableState> mutableState;
    // Run in order when a task completes; a lock of its own.
    platform::Protected<std::vector<std::function<void()>>> validators;

private:
    std::weak_ptr<RequestDelegate> delegate_;
};

}  // namespace Hawser

template <>
struct std::hash<Hawser::Request> {
    std::size_t operator()(const Hawser::Request& request) const noexcept;
};
