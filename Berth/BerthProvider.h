// The one object through which typed targets are sent: maps a target to an endpoint and
// a URL request, runs it through the HTTP client (or answers it from sample data) with
// the plugins around it, and reports exactly one result per call on the chosen queue.
// `BerthProviderCore` does the work over any target; `BerthProvider<Target>` only types
// its entry points.
#pragma once
#include <concepts>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

#include "Berth/Cancellable.h"
#include "Berth/Endpoint.h"
#include "Berth/Plugin.h"
#include "Berth/Response.h"
#include "Berth/TargetType.h"
#include "Hawser/Session.h"
#include "platform/base/CaseType.h"
#include "platform/base/Protected.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/RecursiveLock.h"
#include "platform/foundation/Progress.h"

namespace Berth {

using platform::DispatchQueuePtr;

// How a stubbed call is answered: not at all (sent to the network), at once, or later.
struct StubBehaviorCases {
    struct Never {};
    struct Immediate {};
    struct Delayed {
        double seconds;
    };
    using Case = std::variant<Never, Immediate, Delayed>;
};

class StubBehavior : public platform::CaseType<StubBehaviorCases> {
public:
    using CaseType::CaseType;

    static StubBehavior never() { return Never{}; }
    static StubBehavior immediate() { return Immediate{}; }
    static StubBehavior delayed(double seconds) { return Delayed{seconds}; }

    bool isNever() const { return is<Never>(); }
};

// A progress report: the progress object while running, the response once complete.
struct ProgressResponse {
    ResponsePtr response;
    platform::ProgressPtr progressObject;

    ProgressResponse(platform::ProgressPtr progress = nullptr, ResponsePtr response = nullptr)
        : response(std::move(response)), progressObject(std::move(progress)) {}
    bool completed() const { return response != nullptr; }
    // 1.0 once complete, else the fraction done when a total is known, else 0.0.
    double progress() const;
};

using Completion = std::function<void(const BerthResult&)>;
using ProgressBlock = std::function<void(const ProgressResponse&)>;
using RequestResult = platform::Result<platform::URLRequest, BerthError>;
using RequestResultClosure = std::function<void(const RequestResult&)>;
using RequestClosure = std::function<void(const EndpointPtr&, RequestResultClosure)>;

// The provider's adapter in the client: plugins' prepare, then willSend, right before
// the client creates the task. Never retries.
class BerthRequestInterceptor : public Hawser::RequestInterceptor {
public:
    using Prepare = std::function<platform::URLRequest(const platform::URLRequest&)>;
    using WillSend = std::function<void(const platform::URLRequest&)>;

    explicit BerthRequestInterceptor(Prepare prepare = nullptr, WillSend willSend = nullptr)
        : prepare(std::move(prepare)), willSend_(std::move(willSend)) {}

    const Prepare prepare;
    WillSend willSend() const { return willSend_.get(); }
    void setWillSend(WillSend willSend) { willSend_.set(std::move(willSend)); }

    using Hawser::RequestInterceptor::adapt;
    void adapt(const platform::URLRequest& urlRequest, const Hawser::SessionPtr& session,
               Hawser::AdaptCompletion completion) override;

private:
    platform::Protected<WillSend, platform::RecursiveLock> willSend_;
};

class BerthProviderType {
public:
    virtual ~BerthProviderType() = default;
    virtual CancellablePtr request(const TargetPtr& target, DispatchQueuePtr callbackQueue, ProgressBlock progress,
                                   Completion completion) = 0;
};

class BerthProviderCore : public BerthProviderType, public std::enable_shared_from_this<BerthProviderCore> {
public:
    using EndpointClosure = std::function<EndpointPtr(const TargetPtr&)>;
    using StubClosure = std::function<StubBehavior(const TargetType&)>;
    using InflightMap = std::unordered_map<EndpointPtr, std::vector<Completion>, EndpointHash, EndpointEqual>;

    // Null closures and session take the defaults below.
    static std::shared_ptr<BerthProviderCore>
    create(EndpointClosure endpointClosure = nullptr, RequestClosure requestClosure = nullptr,
           StubClosure stubClosure = nullptr, DispatchQueuePtr callbackQueue = nullptr,
           Hawser::SessionPtr session = nullptr, std::vector<PluginPtr> plugins = {}, bool trackInflights = false);
    virtual ~BerthProviderCore() = default;

    const EndpointClosure& endpointClosure() const { return endpointClosure_; }
    const RequestClosure& requestClosure() const { return requestClosure_; }
    const StubClosure& stubClosure() const { return stubClosure_; }
    const Hawser::SessionPtr& session() const { return session_; }
    const std::vector<PluginPtr>& plugins() const { return plugins_; }
    bool trackInflights() const { return trackInflights_; }
    const DispatchQueuePtr& callbackQueue() const { return callbackQueue_; }
    // A copy of the calls in flight, read under the map's lock.
    virtual InflightMap inflightRequests() const { return inflight_.get(); }

    // ---- defaults ----
    // URL text of url(target), a sample of status 200 with the target's sample data (read
    // when the stub runs), and the target's method, task and headers.
    static EndpointPtr defaultEndpointMapping(const TargetPtr& target);
    // urlRequest(); its requestMapping and parameterEncoding failures pass as they are,
    // any other failure becomes underlying.
    static void defaultRequestMapping(const EndpointPtr& endpoint, const RequestResultClosure& closure);
    // A session of its own: default configuration with the client's default headers, a
    // serial root queue "org.hawser.session.rootQueue", requests started by resume().
    static Hawser::SessionPtr defaultHawserSession();
    static StubBehavior neverStub(const TargetType&) { return StubBehavior::never(); }
    static StubBehavior immediatelyStub(const TargetType&) { return StubBehavior::immediate(); }
    static StubClosure delayedStub(double seconds) {
        return [seconds](const TargetType&) { return StubBehavior::delayed(seconds); };
    }

    virtual EndpointPtr endpoint(const TargetPtr& target) const { return endpointClosure_(target); }
    // Sends one call; the queue is the argument, else the provider's, else the main queue.
    CancellablePtr request(const TargetPtr& target, DispatchQueuePtr callbackQueue = nullptr,
                           ProgressBlock progress = nullptr, Completion completion = nullptr) override;
    // Answers a call from its endpoint's sample response.
    virtual CancellablePtr stubRequest(const TargetPtr& target, const platform::URLRequest& request,
                                       DispatchQueuePtr callbackQueue, Completion completion,
                                       const EndpointPtr& endpoint, const StubBehavior& stubBehavior);
    // The prepare and willSend calls a real request would get; the prepared request.
    platform::URLRequest notifyPluginsOfImpendingStub(const platform::URLRequest& request, const TargetType& target);

protected:
    BerthProviderCore(EndpointClosure endpointClosure, RequestClosure requestClosure, StubClosure stubClosure,
                      DispatchQueuePtr callbackQueue, Hawser::SessionPtr session, std::vector<PluginPtr> plugins,
                      bool trackInflights);

    CancellablePtr requestNormal(const TargetPtr& target, DispatchQueuePtr callbackQueue, ProgressBlock progress,
                                 Completion completion);
    CancellablePtr performRequest(const TargetPtr& target, const platform::URLRequest& request,
                                  DispatchQueuePtr callbackQueue, ProgressBlock progress, Completion completion,
                                  const EndpointPtr& endpoint, const StubBehavior& stubBehavior);
    // Every plugin's didReceive with the cancellation failure, then `completion`.
    void cancelCompletion(const Completion& completion, const TargetType& target);
    // Removes the endpoint's waiters and gives each the result, in order.
    void completeInflight(const EndpointPtr& endpoint, const BerthResult& result);

    platform::Protected<InflightMap, platform::RecursiveLock>& internalInflightRequests() { return inflight_; }

private:
    // ---- sending through the client (BerthProviderSend.cpp) ----
    std::shared_ptr<BerthRequestInterceptor> interceptor(const TargetPtr& target);
    void setup(const std::shared_ptr<BerthRequestInterceptor>& interceptor, const TargetPtr& target,
               const Hawser::RequestPtr& request);
    CancellablePtr sendRequest(const TargetPtr& target, const platform::URLRequest& request, DispatchQueuePtr queue,
                               ProgressBlock progress, Completion completion);
    CancellablePtr sendUploadFile(const TargetPtr& target, const platform::URLRequest& request, DispatchQueuePtr queue,
                                  const platform::URL& file, ProgressBlock progress, Completion completion);
    CancellablePtr sendUploadMultipart(const TargetPtr& target, const platform::URLRequest& request,
                                       DispatchQueuePtr queue, const std::vector<MultipartFormData>& parts,
                                       ProgressBlock progress, Completion completion);
    CancellablePtr sendDownloadRequest(const TargetPtr& target, const platform::URLRequest& request,
                                       DispatchQueuePtr queue, DownloadDestination destination, ProgressBlock progress,
                                       Completion completion);
    CancellablePtr sendHawserRequest(const Hawser::RequestPtr& request, const TargetPtr& target, DispatchQueuePtr queue,
                                     ProgressBlock progress, Completion completion);
    void validate(const Hawser::RequestPtr& request, const TargetType& target);

    const EndpointClosure endpointClosure_;
    const RequestClosure requestClosure_;
    const StubClosure stubClosure_;
    const DispatchQueuePtr callbackQueue_;
    const Hawser::SessionPtr session_;
    const std::vector<PluginPtr> plugins_;
    const bool trackInflights_;
    platform::Protected<InflightMap, platform::RecursiveLock> inflight_;
};

// The result of a mapped request as the provider reports it.
BerthResult convertResponseToResult(const platform::HTTPURLResponsePtr& response,
                                    const std::optional<platform::URLRequest>& request,
                                    const std::optional<platform::Data>& data, const platform::ErrorPtr& error);

// Typed entry points over the core. `Target` is a copyable target type.
template <class Target>
    requires std::derived_from<Target, TargetType> && std::copy_constructible<Target>
class BerthProvider : public BerthProviderCore {
public:
    using TypedEndpointClosure = std::function<EndpointPtr(const Target&)>;
    using TypedStubClosure = std::function<StubBehavior(const Target&)>;

    static std::shared_ptr<BerthProvider>
    create(TypedEndpointClosure endpointClosure = nullptr, RequestClosure requestClosure = nullptr,
           TypedStubClosure stubClosure = nullptr, DispatchQueuePtr callbackQueue = nullptr,
           Hawser::SessionPtr session = nullptr, std::vector<PluginPtr> plugins = {}, bool trackInflights = false) {
        return std::shared_ptr<BerthProvider>(new BerthProvider(
            typed(std::move(endpointClosure)), std::move(requestClosure), typed(std::move(stubClosure)),
            std::move(callbackQueue), std::move(session), std::move(plugins), trackInflights));
    }

    static EndpointPtr defaultEndpointMapping(const Target& target) {
        return BerthProviderCore::defaultEndpointMapping(std::make_shared<const Target>(target));
    }

    using BerthProviderCore::endpoint;
    EndpointPtr endpoint(const Target& target) const { return endpoint(std::make_shared<const Target>(target)); }
    using BerthProviderCore::request;
    CancellablePtr request(const Target& target, DispatchQueuePtr callbackQueue = nullptr,
                           ProgressBlock progress = nullptr, Completion completion = nullptr) {
        return request(TargetPtr(std::make_shared<const Target>(target)), std::move(callbackQueue), std::move(progress),
                       std::move(completion));
    }

protected:
    using BerthProviderCore::BerthProviderCore;

private:
    static EndpointClosure typed(TypedEndpointClosure f) {
        if (!f) return nullptr;
        return [f = std::move(f)](const TargetPtr& t) { return f(cast(*t)); };
    }
    static StubClosure typed(TypedStubClosure f) {
        if (!f) return nullptr;
        return [f = std::move(f)](const TargetType& t) { return f(cast(t)); };
    }
    static const Target& cast(const TargetType& t) {
        auto typedTarget = dynamic_cast<const Target*>(&t);
        if (!typedTarget) platform::fatal("A provider was handed a target of another type.");
        return *typedTarget;
    }
};

}  // namespace Berth
