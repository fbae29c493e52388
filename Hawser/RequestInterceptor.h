// What a request may carry to have its URL requests adapted and its failures retried:
// the adapter, retrier and interceptor interfaces the session consults, and the
// retrier's answer.
#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <variant>

#include "platform/base/Error.h"
#include "platform/base/Result.h"
#include "platform/foundation/UUID.h"
#include "platform/net/URLRequest.h"

namespace Hawser {

class Session;
using SessionPtr = std::shared_ptr<Session>;
class Request;
using RequestPtr = std::shared_ptr<Request>;

// A retrier's answer.
class RetryResult {
public:
    struct Retry {};
    struct RetryWithDelay {
        double seconds = 0;
    };
    struct DoNotRetry {};
    struct DoNotRetryWithError {
        platform::ErrorPtr error;
    };

    static RetryResult retry() { return RetryResult(Retry{}); }
    static RetryResult retryWithDelay(double seconds) { return RetryResult(RetryWithDelay{seconds}); }
    static RetryResult doNotRetry() { return RetryResult(DoNotRetry{}); }
    static RetryResult doNotRetryWithError(platform::ErrorPtr error) {
        return RetryResult(DoNotRetryWithError{std::move(error)});
    }

    // 0 retry, 1 retryWithDelay, 2 doNotRetry, 3 doNotRetryWithError.
    std::size_t index() const { return value_.index(); }
    bool retryRequired() const { return index() <= 1; }
    // The delay of retryWithDelay; none otherwise.
    std::optional<double> delay() const;
    // The error of doNotRetryWithError; null otherwise.
    platform::ErrorPtr error() const;

private:
    using Storage = std::variant<Retry, RetryWithDelay, DoNotRetry, DoNotRetryWithError>;
    explicit RetryResult(Storage value) : value_(std::move(value)) {}
    Storage value_;
};

struct RequestAdapterState {
    platform::UUID requestID;
    SessionPtr session;
};

using AdaptCompletion = std::function<void(platform::Result<platform::URLRequest>)>;

class RequestAdapter {
public:
    virtual ~RequestAdapter() = default;
    // Calls `completion` exactly once with the request to send or an error; by default the
    // request goes out unchanged.
    virtual void adapt(const platform::URLRequest& urlRequest, const SessionPtr& session, AdaptCompletion completion) {
        (void)session;
        completion(platform::Result<platform::URLRequest>::success(urlRequest));
    }
    // Forwards to the form above with the state's session.
    virtual void adapt(const platform::URLRequest& urlRequest, const RequestAdapterState& state,
                       AdaptCompletion completion) {
        adapt(urlRequest, state.session, std::move(completion));
    }
};

class RequestRetrier {
public:
    virtual ~RequestRetrier() = default;
    // Calls `completion` exactly once; by default the request is not retried.
    virtual void retry(const RequestPtr& request, const SessionPtr& session, const platform::ErrorPtr& error,
                       std::function<void(RetryResult)> completion) {
        (void)request, (void)session, (void)error;
        completion(RetryResult::doNotRetry());
    }
};

// Both roles; an interceptor that only adapts keeps the default retry, and one that
// only retries keeps the default adaptation (the request unchanged).
class RequestInterceptor : public RequestAdapter, public RequestRetrier {};
using RequestInterceptorPtr = std::shared_ptr<RequestInterceptor>;

}  // namespace Hawser
