// The narrow view the session delegate has of its session: the session-wide handlers,
// the request of a task, the two end events of a task, credentials, and failing every
// request when the URL session becomes invalid.
#pragma once
#include <functional>
#include <memory>

#include "Hawser/CachedResponseHandler.h"
#include "Hawser/RedirectHandler.h"
#include "Hawser/ServerTrustManager.h"
#include "platform/net/URLCredential.h"
#include "platform/net/URLSessionTask.h"

namespace Hawser {

class Request;

class SessionStateProvider {
public:
    virtual ~SessionStateProvider() = default;

    virtual ServerTrustManagerPtr serverTrustManager() const = 0;
    virtual RedirectHandlerPtr redirectHandler() const = 0;
    virtual CachedResponseHandlerPtr cachedResponseHandler() const = 0;

    // Each of these runs on the session's root queue (checked).
    virtual std::shared_ptr<Request> request(const platform::URLSessionTaskPtr& forTask) = 0;
    virtual void didGatherMetricsForTask(const platform::URLSessionTaskPtr& task) = 0;
    // Runs `completion` once the task's metrics have arrived too (maybe at once).
    virtual void didCompleteTask(const platform::URLSessionTaskPtr& task, std::function<void()> completion) = 0;
    virtual platform::URLCredentialPtr credential(const platform::URLSessionTaskPtr& forTask,
                                                  const platform::URLProtectionSpace& in) = 0;
    virtual void cancelRequestsForSessionInvalidation(const platform::ErrorPtr& with) = 0;
};
using SessionStateProviderPtr = std::shared_ptr<SessionStateProvider>;

}  // namespace Hawser
