// An interceptor that signs every request with a credential, refreshes the credential
// when it has expired or the server rejects it, holds requests back while a refresh
// runs and releases them after, and stops refreshing when it happens too often within
// a time window. Signing and refreshing belong to a pluggable authenticator.
#pragma once
#include <any>
#include <concepts>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "Hawser/RequestInterceptor.h"
#include "platform/base/Protected.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/net/URLResponse.h"

namespace Hawser {

// A credential knows whether it must be refreshed before use.
// clang-format off
template <class C>
concept AuthenticationCredential = std::copy_constructible<C> && requires(const C& c) {
    { c.requiresRefresh() } -> std::convertible_to<bool>;
};
// clang-format on

// Signs requests with a credential and obtains fresh ones. `refresh` may complete on
// any thread, also before it returns.
// clang-format off
template <class A>
concept Authenticator = AuthenticationCredential<typename A::Credential> &&
    requires(A& a, const typename A::Credential& credential, platform::URLRequest& request,
             const platform::URLRequest& sent, const SessionPtr& session,
             std::function<void(platform::Result<typename A::Credential>)> completion,
             const platform::HTTPURLResponse& response, const platform::ErrorPtr& error) {
        a.apply(credential, request);
        a.refresh(credential, session, completion);
        { a.didRequest(sent, response, error) } -> std::convertible_to<bool>;
        { a.isRequest(sent, credential) } -> std::convertible_to<bool>;
    };
// clang-format on

class AuthenticationError final : public platform::Error {
public:
    enum class Kind { missingCredential = 0, excessiveRefresh = 1 };
    explicit AuthenticationError(Kind kind) : kind(kind) {}
    const Kind kind;

    std::string domain() const override { return "Hawser.AuthenticationError"; }
    std::int64_t code() const override { return static_cast<std::int64_t>(kind); }
    std::string typeName() const override { return "AuthenticationError"; }
};

// The coordination, with the credential type erased; AuthenticationInterceptor<A>
// below binds it to one authenticator.
class AuthenticationInterceptorCore : public RequestInterceptor,
                                      public std::enable_shared_from_this<AuthenticationInterceptorCore> {
public:
    // At most `maximumAttempts` refreshes within the last `interval` seconds.
    struct RefreshWindow {
        double interval = 30.0;
        std::int64_t maximumAttempts = 5;
    };

    // Serial, "org.hawser.authentication.inspector": refreshes start and held-back work
    // is released here.
    const platform::DispatchQueuePtr queue;

    using RequestInterceptor::adapt;
    void adapt(const platform::URLRequest& urlRequest, const SessionPtr& session, AdaptCompletion completion) override;
    void retry(const RequestPtr& request, const SessionPtr& session, const platform::ErrorPtr& error,
               std::function<void(RetryResult)> completion) override;

protected:
    struct AdaptOperation {
        platform::URLRequest urlRequest;
        SessionPtr session;
        AdaptCompletion completion;
    };
    struct MutableState {
        std::optional<std::any> credential;
        bool isRefreshing = false;
        // System uptimes (seconds) at which refreshes started, those older than the window
        // dropped as each new one is recorded.
        std::vector<double> refreshTimestamps;
        std::optional<RefreshWindow> refreshWindow;
        std::vector<AdaptOperation> adaptOperations;
        std::vector<std::function<void(RetryResult)>> requestsToRetry;
    };

    AuthenticationInterceptorCore(std::optional<std::any> credential, std::optional<RefreshWindow> refreshWindow);

    // The authenticator, through the erased credential.
    virtual bool credentialRequiresRefresh(const std::any& credential) const = 0;
    virtual void applyCredential(const std::any& credential, platform::URLRequest& request) = 0;
    virtual void refreshCredential(const std::any& credential, const SessionPtr& session,
                                   std::function<void(platform::Result<std::any>)> completion) = 0;
    virtual bool didRequestFailDueToAuthenticationError(const platform::URLRequest& request,
                                                        const platform::HTTPURLResponse& response,
                                                        const platform::ErrorPtr& error) = 0;
    virtual bool isRequestAuthenticatedWith(const platform::URLRequest& request, const std::any& credential) = 0;

    // Each runs with the state's lock held, on the state it is given.
    void refresh(const std::any& credential, const SessionPtr& session, MutableState& insideLock);
    bool isRefreshExcessive(const MutableState& insideLock) const;
    void recordRefreshStart(MutableState& insideLock);
    void handleRefreshSuccess(std::any credential, MutableState& insideLock);
    void handleRefreshFailure(platform::ErrorPtr error, MutableState& insideLock);

    platform::Protected<MutableState> mutableState;
};

template <Authenticator A>
class AuthenticationInterceptor final : public AuthenticationInterceptorCore {
public:
    using Credential = typename A::Credential;

    static std::shared_ptr<AuthenticationInterceptor>
    create(std::shared_ptr<A> authenticator, std::optional<Credential> credential = std::nullopt,
           std::optional<RefreshWindow> refreshWindow = RefreshWindow{}) {
        return std::shared_ptr<AuthenticationInterceptor>(
            new AuthenticationInterceptor(std::move(authenticator), std::move(credential), refreshWindow));
    }

    const std::shared_ptr<A> authenticator;

    std::optional<Credential> credential() const {
        auto stored = mutableState.get(&MutableState::credential);
        if (!stored) return std::nullopt;
        return std::any_cast<Credential>(*stored);
    }
    // Replaces the credential without any refresh bookkeeping.
    void setCredential(std::optional<Credential> credential) {
        mutableState.set(&MutableState::credential, credential ? std::optional<std::any>(*credential) : std::nullopt);
    }

private:
    AuthenticationInterceptor(std::shared_ptr<A> authenticator, std::optional<Credential> credential,
                              std::optional<RefreshWindow> refreshWindow)
        : AuthenticationInterceptorCore(credential ? std::optional<std::any>(*credential) : std::nullopt,
                                        refreshWindow),
          authenticator(std::move(authenticator)) {}

    bool credentialRequiresRefresh(const std::any& c) const override {
        return std::any_cast<const Credential&>(c).requiresRefresh();
    }
    void applyCredential(const std::any& c, platform::URLRequest& request) override {
        authenticator->apply(std::any_cast<const Credential&>(c), request);
    }
    void refreshCredential(const std::any& c, const SessionPtr& session,
                           std::function<void(platform::Result<std::any>)> completion) override {
        authenticator->refresh(std::any_cast<const Credential&>(c), session,
                               [completion = std::move(completion)](platform::Result<Credential> result) {
                                   if (result.isSuccess()) {
                                       completion(platform::Result<std::any>::success(std::any(result.value())));
                                   } else {
                                       completion(platform::Result<std::any>::failure(result.error()));
                                   }
                               });
    }
    bool didRequestFailDueToAuthenticationError(const platform::URLRequest& request,
                                                const platform::HTTPURLResponse& response,
                                                const platform::ErrorPtr& error) override {
        return authenticator->didRequest(request, response, error);
    }
    bool isRequestAuthenticatedWith(const platform::URLRequest& request, const std::any& c) override {
        return authenticator->isRequest(request, std::any_cast<const Credential&>(c));
    }
};

}  // namespace Hawser
