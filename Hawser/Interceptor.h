// Closure-based adapters and retriers, and the interceptor that chains several of each:
// adapters one after another on each other's output, retriers until one answers
// something other than doNotRetry.
#pragma once
#include <functional>
#include <memory>
#include <vector>

#include "Hawser/RequestInterceptor.h"

namespace Hawser {

using AdaptHandler = std::function<void(const platform::URLRequest&, const SessionPtr&, AdaptCompletion)>;
using RetryHandler = std::function<void(const RequestPtr&, const SessionPtr&, const platform::ErrorPtr&,
                                        std::function<void(RetryResult)>)>;
using RequestAdapterPtr = std::shared_ptr<RequestAdapter>;
using RequestRetrierPtr = std::shared_ptr<RequestRetrier>;

// Adapts through its closure; keeps the default retry (doNotRetry).
class Adapter : public RequestInterceptor {
public:
    explicit Adapter(AdaptHandler adaptHandler) : adaptHandler(std::move(adaptHandler)) {}
    const AdaptHandler adaptHandler;

    using RequestInterceptor::adapt;
    void adapt(const platform::URLRequest& urlRequest, const SessionPtr& session, AdaptCompletion completion) override;
    void adapt(const platform::URLRequest& urlRequest, const RequestAdapterState& state,
               AdaptCompletion completion) override;
};

// Retries through its closure; adapts nothing.
class Retrier : public RequestInterceptor {
public:
    explicit Retrier(RetryHandler retryHandler) : retryHandler(std::move(retryHandler)) {}
    const RetryHandler retryHandler;

    void retry(const RequestPtr& request, const SessionPtr& session, const platform::ErrorPtr& error,
               std::function<void(RetryResult)> completion) override;
};

class Interceptor : public RequestInterceptor {
public:
    Interceptor(AdaptHandler adaptHandler, RetryHandler retryHandler);
    Interceptor(RequestAdapterPtr adapter, RequestRetrierPtr retrier);
    // Adapters, then every interceptor; retriers, then every interceptor.
    Interceptor(std::vector<RequestAdapterPtr> adapters = {}, std::vector<RequestRetrierPtr> retriers = {},
                const std::vector<RequestInterceptorPtr>& interceptors = {});

    const std::vector<RequestAdapterPtr> adapters;
    const std::vector<RequestRetrierPtr> retriers;

    void adapt(const platform::URLRequest& urlRequest, const SessionPtr& session, AdaptCompletion completion) override;
    void adapt(const platform::URLRequest& urlRequest, const RequestAdapterState& state,
               AdaptCompletion completion) override;
    void retry(const RequestPtr& request, const SessionPtr& session, const platform::ErrorPtr& error,
               std::function<void(RetryResult)> completion) override;
};

// Factory forms.
RequestInterceptorPtr interceptor(AdaptHandler adapter, RetryHandler retrier);
RequestInterceptorPtr interceptor(RequestAdapterPtr adapter, RequestRetrierPtr retrier);
RequestInterceptorPtr interceptor(std::vector<RequestAdapterPtr> adapters, std::vector<RequestRetrierPtr> retriers,
                                  const std::vector<RequestInterceptorPtr>& interceptors);
std::shared_ptr<Adapter> adapter(AdaptHandler using_);
std::shared_ptr<Retrier> retrier(RetryHandler using_);

}  // namespace Hawser
