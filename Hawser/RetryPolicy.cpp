// Deciding whether, and after how long, a failed request is sent again.
#include "Hawser/RetryPolicy.h"

#include <cmath>

#include "Hawser/HWError.h"
#include "Hawser/Request.h"
#include "platform/base/Fatal.h"
#include "platform/base/NoDestructor.h"

namespace Hawser {

namespace {

// The transport error's code: the error itself, or the error beneath an HWError.
std::optional<platform::URLError::Code> urlErrorCode(const platform::ErrorPtr& error) {
    if (auto urlError = std::dynamic_pointer_cast<const platform::URLError>(error)) return urlError->errorCode();
    if (auto hw = asHWError(error)) {
        if (auto underlying = std::dynamic_pointer_cast<const platform::URLError>(hw->underlyingError()))
            return underlying->errorCode();
    }
    return std::nullopt;
}

}  // namespace

const std::set<HTTPMethod>& RetryPolicy::defaultRetryableHTTPMethods() {
    static const platform::NoDestructor<std::set<HTTPMethod>> methods(
        std::set<HTTPMethod>{HTTPMethod::delete_, HTTPMethod::get, HTTPMethod::head, HTTPMethod::options,
                             HTTPMethod::put, HTTPMethod::trace});
    return *methods;
}

const std::set<int>& RetryPolicy::defaultRetryableHTTPStatusCodes() {
    static const platform::NoDestructor<std::set<int>> codes(std::set<int>{408, 500, 502, 503, 504});
    return *codes;
}

const std::set<platform::URLError::Code>& RetryPolicy::defaultRetryableURLErrorCodes() {
    using C = platform::URLError::Code;
    static const platform::NoDestructor<std::set<C>> codes(std::set<C>{
        C::backgroundSessionInUseByAnotherProcess, C::backgroundSessionWasDisconnected, C::badServerResponse,
        C::callIsActive, C::cannotConnectToHost, C::cannotFindHost, C::cannotLoadFromNetwork, C::dataNotAllowed,
        C::dnsLookupFailed, C::downloadDecodingFailedMidStream, C::downloadDecodingFailedToComplete,
        C::internationalRoamingOff, C::networkConnectionLost, C::notConnectedToInternet, C::secureConnectionFailed,
        C::serverCertificateHasBadDate, C::serverCertificateNotYetValid, C::timedOut});
    return *codes;
}

RetryPolicy::RetryPolicy(unsigned retryLimit, unsigned exponentialBackoffBase, double exponentialBackoffScale,
                         std::set<HTTPMethod> retryableHTTPMethods, std::set<int> retryableHTTPStatusCodes,
                         std::set<platform::URLError::Code> retryableURLErrorCodes)
    : retryLimit(retryLimit), exponentialBackoffBase(exponentialBackoffBase),
      exponentialBackoffScale(exponentialBackoffScale), retryableHTTPMethods(std::move(retryableHTTPMethods)),
      retryableHTTPStatusCodes(std::move(retryableHTTPStatusCodes)),
      retryableURLErrorCodes(std::move(retryableURLErrorCodes)) {
    platform::precondition(exponentialBackoffBase >= 2, "The `exponentialBackoffBase` must be a minimum of 2.");
}

void RetryPolicy::retry(const RequestPtr& request, const SessionPtr&, const platform::ErrorPtr& error,
                        std::function<void(RetryResult)> completion) {
    const std::int64_t retryCount = request->retryCount();
    if (retryCount < static_cast<std::int64_t>(retryLimit) && shouldRetry(request, error)) {
        const double delay =
            std::pow(static_cast<double>(exponentialBackoffBase), static_cast<double>(request->retryCount())) *
            exponentialBackoffScale;
        completion(RetryResult::retryWithDelay(delay));
    } else {
        completion(RetryResult::doNotRetry());
    }
}

bool RetryPolicy::shouldRetry(const RequestPtr& request, const platform::ErrorPtr& dueTo) const {
    auto last = request->lastRequest();
    if (!last) return false;
    // The platform's request reports GET when no method was set.
    if (!retryableHTTPMethods.count(HTTPMethod(last->httpMethod()))) return false;
    if (auto response = request->response(); response && retryableHTTPStatusCodes.count(response->statusCode()))
        return true;
    auto code = urlErrorCode(dueTo);
    return code && retryableURLErrorCodes.count(*code) > 0;
}

ConnectionLostRetryPolicy::ConnectionLostRetryPolicy(unsigned retryLimit, unsigned exponentialBackoffBase,
                                                     double exponentialBackoffScale,
                                                     std::set<HTTPMethod> retryableHTTPMethods)
    : RetryPolicy(retryLimit, exponentialBackoffBase, exponentialBackoffScale, std::move(retryableHTTPMethods), {},
                  {platform::URLError::Code::networkConnectionLost}) {}

}  // namespace Hawser
