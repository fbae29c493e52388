// How a request calls back into the session that made it. The session adopts it; a
// request holds it weakly and skips every call once the session is gone.
#pragma once
#include <functional>
#include <memory>
#include <optional>

#include "Hawser/HWError.h"
#include "Hawser/RequestInterceptor.h"
#include "platform/net/URLSessionConfiguration.h"

namespace Hawser {

class RequestDelegate {
public:
    virtual ~RequestDelegate() = default;

    // Read for the credentials, cookies and extra headers of the cURL text.
    virtual platform::URLSessionConfiguration sessionConfiguration() const = 0;
    // True when a request resumes itself as soon as it gets its first response handler.
    virtual bool startImmediately() const = 0;
    // The request's response handlers have all run: stop tracking it.
    virtual void cleanup(const RequestPtr& after) = 0;
    // Asks the retrier; calls `completion` exactly once, asynchronously on the request's
    // underlying queue. A doNotRetryWithError answer always carries an HWError.
    virtual void retryResult(const RequestPtr& request, const HWError& dueTo,
                             std::function<void(RetryResult)> completion) = 0;
    // Performs the request again, at once or after `withDelay` seconds, unless it is
    // cancelled by then.
    virtual void retryRequest(const RequestPtr& request, std::optional<double> withDelay) = 0;
};
using RequestDelegatePtr = std::shared_ptr<RequestDelegate>;

}  // namespace Hawser
