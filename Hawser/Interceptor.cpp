// Closure-based adapters and retriers and the chaining interceptor.
#include "Hawser/Interceptor.h"

namespace Hawser {

void Adapter::adapt(const platform::URLRequest& urlRequest, const SessionPtr& session, AdaptCompletion completion) {
    adaptHandler(urlRequest, session, std::move(completion));
}

void Adapter::adapt(const platform::URLRequest& urlRequest, const RequestAdapterState& state,
                    AdaptCompletion completion) {
    adaptHandler(urlRequest, state.session, std::move(completion));
}

void Retrier::retry(const RequestPtr& request, const SessionPtr& session, const platform::ErrorPtr& error,
                    std::function<void(RetryResult)> completion) {
    retryHandler(request, session, error, std::move(completion));
}

Interceptor::Interceptor(AdaptHandler adaptHandler, RetryHandler retryHandler)
    : adapters{std::make_shared<Adapter>(std::move(adaptHandler))}, retriers{std::make_shared<Retrier>(
                                                                        std::move(retryHandler))} {}

Interceptor::Interceptor(RequestAdapterPtr adapter, RequestRetrierPtr retrier)
    : adapters{std::move(adapter)}, retriers{std::move(retrier)} {}

namespace {
template <class T>
std::vector<std::shared_ptr<T>> withInterceptors(std::vector<std::shared_ptr<T>> list,
                                                 const std::vector<RequestInterceptorPtr>& interceptors) {
    for (const auto& i : interceptors) list.push_back(i);
    return list;
}
}  // namespace

Interceptor::Interceptor(std::vector<RequestAdapterPtr> adapters, std::vector<RequestRetrierPtr> retriers,
                         const std::vector<RequestInterceptorPtr>& interceptors)
    : adapters(withInterceptors(std::move(adapters), interceptors)),
      retriers(withInterceptors(std::move(retriers), interceptors)) {}

// Each step continues in the previous adapter's completion, on whatever thread that is;
// the first failure ends the chain with its error unchanged. The steps hold the list,
// not the interceptor, which may be a temporary the session made for one request.
template <class Context>
static void adaptStep(const platform::URLRequest& urlRequest, const Context& context,
                      std::shared_ptr<const std::vector<RequestAdapterPtr>> list, std::size_t next,
                      AdaptCompletion completion) {
    if (next == list->size()) return completion(platform::Result<platform::URLRequest>::success(urlRequest));
    auto adapter = (*list)[next];
    adapter->adapt(urlRequest, context,
                   [context, list, next,
                    completion = std::move(completion)](platform::Result<platform::URLRequest> result) mutable {
                       if (result.isFailure()) return completion(std::move(result));
                       adaptStep(result.value(), context, list, next + 1, std::move(completion));
                   });
}

static void retryStep(const RequestPtr& request, const SessionPtr& session, const platform::ErrorPtr& error,
                      std::shared_ptr<const std::vector<RequestRetrierPtr>> list, std::size_t next,
                      std::function<void(RetryResult)> completion) {
    if (next == list->size()) return completion(RetryResult::doNotRetry());
    auto retrier = (*list)[next];
    retrier->retry(request, session, error,
                   [request, session, error, list, next, completion = std::move(completion)](RetryResult answer) {
                       if (answer.index() != 2) return completion(std::move(answer));
                       retryStep(request, session, error, list, next + 1, completion);
                   });
}

void Interceptor::adapt(const platform::URLRequest& urlRequest, const SessionPtr& session, AdaptCompletion completion) {
    adaptStep(urlRequest, session, std::make_shared<const std::vector<RequestAdapterPtr>>(adapters), 0,
              std::move(completion));
}

void Interceptor::adapt(const platform::URLRequest& urlRequest, const RequestAdapterState& state,
                        AdaptCompletion completion) {
    adaptStep(urlRequest, state, std::make_shared<const std::vector<RequestAdapterPtr>>(adapters), 0,
              std::move(completion));
}

void Interceptor::retry(const RequestPtr& request, const SessionPtr& session, const platform::ErrorPtr& error,
                        std::function<void(RetryResult)> completion) {
    retryStep(request, session, error, std::make_shared<const std::vector<RequestRetrierPtr>>(retriers), 0,
              std::move(completion));
}

RequestInterceptorPtr interceptor(AdaptHandler adapter, RetryHandler retrier) {
    return std::make_shared<Interceptor>(std::move(adapter), std::move(retrier));
}

RequestInterceptorPtr interceptor(RequestAdapterPtr adapter, RequestRetrierPtr retrier) {
    return std::make_shared<Interceptor>(std::move(adapter), std::move(retrier));
}

RequestInterceptorPtr interceptor(std::vector<RequestAdapterPtr> adapters, std::vector<RequestRetrierPtr> retriers,
                                  const std::vector<RequestInterceptorPtr>& interceptors) {
    return std::make_shared<Interceptor>(std::move(adapters), std::move(retriers), interceptors);
}

std::shared_ptr<Adapter> adapter(AdaptHandler using_) { return std::make_shared<Adapter>(std::move(using_)); }
std::shared_ptr<Retrier> retrier(RetryHandler using_) { return std::make_shared<Retrier>(std::move(using_)); }

}  // namespace Hawser
