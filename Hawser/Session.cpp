// Session construction and queues, the shared session, the live-request operations,
// destruction, and the session's roles towards its requests and its URL-session delegate.
#include "Hawser/Session.h"

#include <mutex>

#include "Hawser/DelayedDispatch.h"
#include "Hawser/HW.h"
#include "Hawser/Notifications.h"
#include "platform/base/Fatal.h"
#include "platform/base/NoDestructor.h"
#include "platform/dispatch/CheckOnQueue.h"
#include "platform/dispatch/OperationQueue.h"

namespace Hawser {

using platform::DispatchQueue;

// ---- construction ----

Session::Session(Construction parts)
    : session(std::move(parts.session)), delegate(std::move(parts.delegate)), rootQueue(std::move(parts.rootQueue)),
      startRequestsImmediately(parts.startRequestsImmediately),
      requestQueue(parts.requestQueue ? std::move(parts.requestQueue)
                                      : DispatchQueue::create(this->rootQueue->label() + ".requestQueue",
                                                              platform::DispatchQoS::unspecified, {}, this->rootQueue)),
      serializationQueue(parts.serializationQueue
                             ? std::move(parts.serializationQueue)
                             : DispatchQueue::create(this->rootQueue->label() + ".serializationQueue",
                                                     platform::DispatchQoS::unspecified, {}, this->rootQueue)),
      interceptor(std::move(parts.interceptor)), serverTrustManager_(std::move(parts.serverTrustManager)),
      redirectHandler_(std::move(parts.redirectHandler)),
      cachedResponseHandler_(std::move(parts.cachedResponseHandler)),
      defaultEventMonitors{std::make_shared<HawserNotifications>()}, eventMonitor([&] {
          std::vector<EventMonitorPtr> all = defaultEventMonitors;
          all.insert(all.end(), parts.eventMonitors.begin(), parts.eventMonitors.end());
          return CompositeEventMonitor::create(std::move(all));
      }()) {}

Session::Construction Session::construction(platform::URLSessionPtr session, SessionDelegatePtr delegate,
                                            DispatchQueuePtr rootQueue, bool startRequestsImmediately,
                                            DispatchQueuePtr requestQueue, DispatchQueuePtr serializationQueue,
                                            RequestInterceptorPtr interceptor, ServerTrustManagerPtr serverTrustManager,
                                            RedirectHandlerPtr redirectHandler,
                                            CachedResponseHandlerPtr cachedResponseHandler,
                                            std::vector<EventMonitorPtr> eventMonitors) {
    if (!session || !delegate || !rootQueue)
        platform::fatal("Session needs a URL session, a delegate and a root queue.");
    // A background session (one with an identifier) cannot carry the session's delegate.
    if (session->configuration().identifier) platform::fatal("");
    auto underlying = session->delegateQueue() ? session->delegateQueue()->underlyingQueue() : nullptr;
    // The URL session must call its delegate on the root queue, which the session's state belongs to.
    if (!underlying || underlying != rootQueue) platform::fatal("");
    return {std::move(session),         std::move(delegate),
            std::move(rootQueue),       startRequestsImmediately,
            std::move(requestQueue),    std::move(serializationQueue),
            std::move(interceptor),     std::move(serverTrustManager),
            std::move(redirectHandler), std::move(cachedResponseHandler),
            std::move(eventMonitors)};
}

Session::Construction
Session::construction(platform::URLSessionConfiguration configuration, SessionDelegatePtr delegate,
                      DispatchQueuePtr rootQueue, bool startRequestsImmediately, DispatchQueuePtr requestQueue,
                      DispatchQueuePtr serializationQueue, RequestInterceptorPtr interceptor,
                      ServerTrustManagerPtr serverTrustManager, RedirectHandlerPtr redirectHandler,
                      CachedResponseHandlerPtr cachedResponseHandler, std::vector<EventMonitorPtr> eventMonitors) {
    // A background session (one with an identifier) cannot carry the session's delegate.
    if (configuration.identifier) platform::fatal("");
    if (!delegate) delegate = std::make_shared<SessionDelegate>(platform::FileManager::defaultManager());
    if (!rootQueue) rootQueue = DispatchQueue::create("org.hawser.session.rootQueue");
    // A serial queue of our own over the caller's, so that a concurrent queue given as
    // root still yields one-at-a-time bookkeeping; the main queue is serial already.
    DispatchQueuePtr serialRootQueue =
        rootQueue == DispatchQueue::main()
            ? rootQueue
            : DispatchQueue::create(rootQueue->label(), platform::DispatchQoS::unspecified, {}, rootQueue);
    auto delegateQueue = platform::OperationQueue::create();
    delegateQueue->setQualityOfService(platform::QualityOfService::default_);
    delegateQueue->setMaxConcurrentOperationCount(1);
    delegateQueue->setUnderlyingQueue(serialRootQueue);
    delegateQueue->setName(serialRootQueue->label() + ".sessionDelegate");
    delegateQueue->setSuspended(false);
    auto urlSession = platform::URLSession::create(std::move(configuration), delegate, delegateQueue);
    return construction(std::move(urlSession), std::move(delegate), std::move(serialRootQueue),
                        startRequestsImmediately, std::move(requestQueue), std::move(serializationQueue),
                        std::move(interceptor), std::move(serverTrustManager), std::move(redirectHandler),
                        std::move(cachedResponseHandler), std::move(eventMonitors));
}

SessionPtr Session::create(platform::URLSessionPtr session, SessionDelegatePtr delegate, DispatchQueuePtr rootQueue,
                           bool startRequestsImmediately, DispatchQueuePtr requestQueue,
                           DispatchQueuePtr serializationQueue, RequestInterceptorPtr interceptor,
                           ServerTrustManagerPtr serverTrustManager, RedirectHandlerPtr redirectHandler,
                           CachedResponseHandlerPtr cachedResponseHandler, std::vector<EventMonitorPtr> eventMonitors) {
    return completeCreation(new Session(construction(
        std::move(session), std::move(delegate), std::move(rootQueue), startRequestsImmediately,
        std::move(requestQueue), std::move(serializationQueue), std::move(interceptor), std::move(serverTrustManager),
        std::move(redirectHandler), std::move(cachedResponseHandler), std::move(eventMonitors))));
}

void Session::connectDelegate() {
    delegate->setEventMonitor(eventMonitor);
    delegate->setStateProvider(std::weak_ptr<Session>(shared_from_this()));
}

SessionPtr Session::create(platform::URLSessionConfiguration configuration, SessionDelegatePtr delegate,
                           DispatchQueuePtr rootQueue, bool startRequestsImmediately, DispatchQueuePtr requestQueue,
                           DispatchQueuePtr serializationQueue, RequestInterceptorPtr interceptor,
                           ServerTrustManagerPtr serverTrustManager, RedirectHandlerPtr redirectHandler,
                           CachedResponseHandlerPtr cachedResponseHandler, std::vector<EventMonitorPtr> eventMonitors) {
    return completeCreation(new Session(construction(
        std::move(configuration), std::move(delegate), std::move(rootQueue), startRequestsImmediately,
        std::move(requestQueue), std::move(serializationQueue), std::move(interceptor), std::move(serverTrustManager),
        std::move(redirectHandler), std::move(cachedResponseHandler), std::move(eventMonitors))));
}

SessionPtr Session::create() { return create(hw::URLSessionConfiguration::default_()); }

const SessionPtr& Session::default_() {
    // Never destroyed: tearing the shared session down at exit would race the URL
    // session's I/O thread against static destruction.
    static const platform::NoDestructor<SessionPtr> shared(create());
    return *shared;
}

Session::~Session() { session->invalidateAndCancel(); }

void Session::finishRequestsForDeinit() {
    for (const auto& request : requestTaskMap_.requests())
        rootQueue->async([request] { request->finish(HWError::sessionDeinitialized()); });
}

// ---- the live requests ----

void Session::withAllRequests(std::function<void(const std::unordered_set<RequestPtr>&)> perform) {
    rootQueue->async([self = shared_from_this(), perform = std::move(perform)] {
        auto snapshot = self->activeRequests_;
        perform(snapshot);
    });
}

void Session::cancelAllRequests(DispatchQueuePtr completingOnQueue, std::function<void()> completion) {
    withAllRequests([queue = std::move(completingOnQueue),
                     completion = std::move(completion)](const std::unordered_set<RequestPtr>& requests) {
        for (const auto& request : requests) request->cancel();
        if (completion) queue->async(completion);
    });
}

// ---- RequestDelegate ----

platform::URLSessionConfiguration Session::sessionConfiguration() const { return session->configuration(); }

void Session::cleanup(const RequestPtr& after) { activeRequests_.erase(after); }

void Session::retryResult(const RequestPtr& request, const HWError& dueTo,
                          std::function<void(RetryResult)> completion) {
    auto retrier = this->retrier(request);
    if (!retrier) {
        rootQueue->async([completion = std::move(completion)] { completion(RetryResult::doNotRetry()); });
        return;
    }
    auto original = dueTo.shared();
    retrier->retry(request, shared_from_this(), original,
                   [queue = rootQueue, original, completion = std::move(completion)](RetryResult answer) {
                       queue->async([answer = std::move(answer), original, completion] {
                           if (auto retryError = answer.error()) {
                               // The caller always learns both why it asked and why the
                               // retrier refused.
                               completion(RetryResult::doNotRetryWithError(
                                   HWError::requestRetryFailed(retryError, original).shared()));
                           } else {
                               completion(answer);
                           }
                       });
                   });
}

void Session::retryRequest(const RequestPtr& request, std::optional<double> withDelay) {
    auto self = shared_from_this();
    auto retryStep = [self, request] {
        if (request->isCancelled()) return;
        request->prepareForRetry();
        self->perform(request);
    };
    rootQueue->async([self, withDelay, retryStep] {
        if (!withDelay) return retryStep();
        after(self->rootQueue, *withDelay, retryStep);
    });
}

RequestRetrierPtr Session::retrier(const RequestPtr& forRequest) {
    if (forRequest->interceptor && interceptor)
        return std::make_shared<Interceptor>(std::vector<RequestAdapterPtr>{},
                                             std::vector<RequestRetrierPtr>{forRequest->interceptor, interceptor});
    if (forRequest->interceptor) return forRequest->interceptor;
    return interceptor;
}

RequestAdapterPtr Session::adapter(const RequestPtr& forRequest) {
    if (forRequest->interceptor && interceptor)
        return std::make_shared<Interceptor>(std::vector<RequestAdapterPtr>{forRequest->interceptor, interceptor},
                                             std::vector<RequestRetrierPtr>{});
    if (forRequest->interceptor) return forRequest->interceptor;
    return interceptor;
}

// ---- SessionStateProvider ----

RequestPtr Session::request(const platform::URLSessionTaskPtr& forTask) {
    PLATFORM_CHECK_ON_QUEUE(rootQueue);
    return requestTaskMap_.request(forTask);
}

void Session::didGatherMetricsForTask(const platform::URLSessionTaskPtr& task) {
    PLATFORM_CHECK_ON_QUEUE(rootQueue);
    if (requestTaskMap_.disassociateIfNecessaryAfterGatheringMetricsForTask(task) ==
        RequestTaskMap::EventOutcome::waitForOther)
        return;
    if (auto it = waitingCompletions_.find(task); it != waitingCompletions_.end()) {
        auto completion = std::move(it->second);
        waitingCompletions_.erase(it);
        completion();
    }
}

void Session::didCompleteTask(const platform::URLSessionTaskPtr& task, std::function<void()> completion) {
    PLATFORM_CHECK_ON_QUEUE(rootQueue);
    if (requestTaskMap_.disassociateIfNecessaryAfterCompletingTask(task) ==
        RequestTaskMap::EventOutcome::waitForOther) {
        waitingCompletions_[task] = std::move(completion);
        return;
    }
    completion();
}

platform::URLCredentialPtr Session::credential(const platform::URLSessionTaskPtr& forTask,
                                               const platform::URLProtectionSpace& in) {
    PLATFORM_CHECK_ON_QUEUE(rootQueue);
    if (auto r = requestTaskMap_.request(forTask))
        if (auto own = r->credential()) return own;
    const auto& storage = session->configuration().urlCredentialStorage;
    return storage ? storage->defaultCredential(in) : nullptr;
}

void Session::cancelRequestsForSessionInvalidation(const platform::ErrorPtr& with) {
    PLATFORM_CHECK_ON_QUEUE(rootQueue);
    for (const auto& request : requestTaskMap_.requests()) request->finish(HWError::sessionInvalidated(with));
}

}  // namespace Hawser
