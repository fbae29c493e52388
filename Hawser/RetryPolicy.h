// Ready-made retriers: send a failed request again after an exponentially growing delay
// when its method is idempotent and its status code or transport error is retryable.
#pragma once
#include <cstdint>
#include <memory>
#include <set>

#include "Hawser/HTTPMethod.h"
#include "Hawser/RequestInterceptor.h"
#include "platform/net/URLError.h"

namespace Hawser {

class RetryPolicy : public RequestInterceptor {
public:
    static constexpr unsigned defaultRetryLimit = 2;
    static constexpr unsigned defaultExponentialBackoffBase = 2;
    static constexpr double defaultExponentialBackoffScale = 0.5;
    // DELETE, GET, HEAD, OPTIONS, PUT, TRACE.
    static const std::set<HTTPMethod>& defaultRetryableHTTPMethods();
    // 408, 500, 502, 503, 504.
    static const std::set<int>& defaultRetryableHTTPStatusCodes();
    // Timeouts, lost and absent connections, look-up and connection failures, TLS
    // handshake and certificate-date failures (18 codes).
    static const std::set<platform::URLError::Code>& defaultRetryableURLErrorCodes();

    // A base below 2 is a programming error.
    explicit RetryPolicy(unsigned retryLimit = defaultRetryLimit,
                         unsigned exponentialBackoffBase = defaultExponentialBackoffBase,
                         double exponentialBackoffScale = defaultExponentialBackoffScale,
                         std::set<HTTPMethod> retryableHTTPMethods = defaultRetryableHTTPMethods(),
                         std::set<int> retryableHTTPStatusCodes = defaultRetryableHTTPStatusCodes(),
                         std::set<platform::URLError::Code> retryableURLErrorCodes = defaultRetryableURLErrorCodes());

    const unsigned retryLimit;
    const unsigned exponentialBackoffBase;
    const double exponentialBackoffScale;
    const std::set<HTTPMethod> retryableHTTPMethods;
    const std::set<int> retryableHTTPStatusCodes;
    const std::set<platform::URLError::Code> retryableURLErrorCodes;

    // Answers at once: retryWithDelay(base^retryCount * scale) while under the limit and
    // eligible, else doNotRetry.
    void retry(const RequestPtr& request, const SessionPtr& session, const platform::ErrorPtr& error,
               std::function<void(RetryResult)> completion) override;
    virtual bool shouldRetry(const RequestPtr& request, const platform::ErrorPtr& dueTo) const;
};

// The same policy for one transport error only: a lost network connection.
class ConnectionLostRetryPolicy : public RetryPolicy {
public:
    explicit ConnectionLostRetryPolicy(unsigned retryLimit = defaultRetryLimit,
                                       unsigned exponentialBackoffBase = defaultExponentialBackoffBase,
                                       double exponentialBackoffScale = defaultExponentialBackoffScale,
                                       std::set<HTTPMethod> retryableHTTPMethods = defaultRetryableHTTPMethods());
};

// The factory forms, with the constructors' defaults.
inline std::shared_ptr<RetryPolicy>
retryPolicy(unsigned retryLimit = RetryPolicy::defaultRetryLimit,
            unsigned exponentialBackoffBase = RetryPolicy::defaultExponentialBackoffBase,
            double exponentialBackoffScale = RetryPolicy::defaultExponentialBackoffScale,
            std::set<HTTPMethod> retryableHTTPMethods = RetryPolicy::defaultRetryableHTTPMethods(),
            std::set<int> retryableHTTPStatusCodes = RetryPolicy::defaultRetryableHTTPStatusCodes(),
            std::set<platform::URLError::Code> retryableURLErrorCodes = RetryPolicy::defaultRetryableURLErrorCodes()) {
    return std::make_shared<RetryPolicy>(retryLimit, exponentialBackoffBase, exponentialBackoffScale,
                                         std::move(retryableHTTPMethods), std::move(retryableHTTPStatusCodes),
                                         std::move(retryableURLErrorCodes));
}
inline std::shared_ptr<RetryPolicy>
connectionLostRetryPolicy(unsigned retryLimit = RetryPolicy::defaultRetryLimit,
                          unsigned exponentialBackoffBase = RetryPolicy::defaultExponentialBackoffBase,
                          double exponentialBackoffScale = RetryPolicy::defaultExponentialBackoffScale,
                          std::set<HTTPMethod> retryableHTTPMethods = RetryPolicy::defaultRetryableHTTPMethods()) {
    return std::make_shared<ConnectionLostRetryPolicy>(retryLimit, exponentialBackoffBase, exponentialBackoffScale,
                                                       std::move(retryableHTTPMethods));
}

}  // namespace Hawser
