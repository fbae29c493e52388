// The coordination of the authentication interceptor: one refresh at a time, work held
// back meanwhile, and the excessive-refresh guard. The authenticator never runs under
// the state's lock.
#include "Hawser/AuthenticationInterceptor.h"

#include <chrono>

#include "Hawser/Request.h"

namespace Hawser {

namespace {

// Seconds on the monotonic clock, as the refresh window measures time.
double systemUptime() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

platform::ErrorPtr authenticationError(AuthenticationError::Kind kind) {
    return std::make_shared<AuthenticationError>(kind);
}

}  // namespace

AuthenticationInterceptorCore::AuthenticationInterceptorCore(std::optional<std::any> credential,
                                                             std::optional<RefreshWindow> refreshWindow)
    : queue(platform::DispatchQueue::create("org.hawser.authentication.inspector")) {
    mutableState.write([&](MutableState& s) {
        s.credential = std::move(credential);
        s.refreshWindow = refreshWindow;
    });
}

void AuthenticationInterceptorCore::adapt(const platform::URLRequest& urlRequest, const SessionPtr& session,
                                          AdaptCompletion completion) {
    enum class Outcome { adapt, missingCredential, deferred };
    std::any credential;
    Outcome outcome = mutableState.write([&](MutableState& s) {
        if (s.isRefreshing) {
            s.adaptOperations.push_back({urlRequest, session, completion});
            return Outcome::deferred;
        }
        if (!s.credential) return Outcome::missingCredential;
        if (credentialRequiresRefresh(*s.credential)) {
            s.adaptOperations.push_back({urlRequest, session, completion});
            refresh(*s.credential, session, s);
            return Outcome::deferred;
        }
        credential = *s.credential;
        return Outcome::adapt;
    });
    switch (outcome) {
        case Outcome::adapt: {
            platform::URLRequest signed_ = urlRequest;
            applyCredential(credential, signed_);
            completion(platform::Result<platform::URLRequest>::success(std::move(signed_)));
            break;
        }
        case Outcome::missingCredential:
            completion(platform::Result<platform::URLRequest>::failure(
                authenticationError(AuthenticationError::Kind::missingCredential)));
            break;
        case Outcome::deferred: break;  // completed when the refresh ends
    }
}

void AuthenticationInterceptorCore::retry(const RequestPtr& request, const SessionPtr& session,
                                          const platform::ErrorPtr& error,
                                          std::function<void(RetryResult)> completion) {
    auto urlRequest = request->request();
    auto response = request->response();
    if (!urlRequest || !response) return completion(RetryResult::doNotRetry());
    if (!didRequestFailDueToAuthenticationError(*urlRequest, *response, error)) {
        return completion(RetryResult::doNotRetry());
    }
    auto credential = mutableState.get(&MutableState::credential);
    if (!credential) {
        return completion(
            RetryResult::doNotRetryWithError(authenticationError(AuthenticationError::Kind::missingCredential)));
    }
    // Signed with an older credential: the current one may well be accepted.
    if (!isRequestAuthenticatedWith(*urlRequest, *credential)) return completion(RetryResult::retry());

    mutableState.write([&](MutableState& s) {
        s.requestsToRetry.push_back(std::move(completion));
        if (!s.isRefreshing) refresh(*credential, session, s);
    });
}

void AuthenticationInterceptorCore::refresh(const std::any& credential, const SessionPtr& session,
                                            MutableState& insideLock) {
    if (isRefreshExcessive(insideLock)) {
        handleRefreshFailure(authenticationError(AuthenticationError::Kind::excessiveRefresh), insideLock);
        return;
    }
    recordRefreshStart(insideLock);
    insideLock.isRefreshing = true;
    queue->async([self = shared_from_this(), credential, session] {
        self->refreshCredential(credential, session, [self](platform::Result<std::any> result) {
            self->mutableState.write([&](MutableState& s) {
                if (result.isSuccess()) self->handleRefreshSuccess(result.value(), s);
                else self->handleRefreshFailure(result.error(), s);
            });
        });
    });
}

// Times that have left the window can never count again (its start only moves forward), so
// they are dropped here; without a window none is ever counted.
void AuthenticationInterceptorCore::recordRefreshStart(MutableState& insideLock) {
    const double now = systemUptime();
    auto& stamps = insideLock.refreshTimestamps;
    if (insideLock.refreshWindow) {
        const double windowStart = now - insideLock.refreshWindow->interval;
        std::erase_if(stamps, [windowStart](double stamp) { return stamp < windowStart; });
    } else {
        stamps.clear();
    }
    stamps.push_back(now);
}

bool AuthenticationInterceptorCore::isRefreshExcessive(const MutableState& insideLock) const {
    if (!insideLock.refreshWindow) return false;
    double windowStart = systemUptime() - insideLock.refreshWindow->interval;
    std::int64_t recent = 0;
    for (double stamp : insideLock.refreshTimestamps) {
        if (stamp >= windowStart) ++recent;
    }
    return recent >= insideLock.refreshWindow->maximumAttempts;
}

void AuthenticationInterceptorCore::handleRefreshSuccess(std::any credential, MutableState& insideLock) {
    insideLock.credential = std::move(credential);
    auto operations = std::exchange(insideLock.adaptOperations, {});
    auto retries = std::exchange(insideLock.requestsToRetry, {});
    insideLock.isRefreshing = false;
    // Released outside the lock: each adaptation takes it again on its own.
    queue->async([self = shared_from_this(), operations = std::move(operations), retries = std::move(retries)] {
        for (const auto& op : operations) self->adapt(op.urlRequest, op.session, op.completion);
        for (const auto& retry : retries) retry(RetryResult::retry());
    });
}

void AuthenticationInterceptorCore::handleRefreshFailure(platform::ErrorPtr error, MutableState& insideLock) {
    auto operations = std::exchange(insideLock.adaptOperations, {});
    auto retries = std::exchange(insideLock.requestsToRetry, {});
    insideLock.isRefreshing = false;
    queue->async([operations = std::move(operations), retries = std::move(retries), error] {
        for (const auto& op : operations) op.completion(platform::Result<platform::URLRequest>::failure(error));
        for (const auto& retry : retries) retry(RetryResult::doNotRetryWithError(error));
    });
}

}  // namespace Hawser
