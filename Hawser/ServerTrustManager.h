// Which trust evaluator judges the TLS certificate chain of which host. The session
// delegate asks it for every server-trust challenge; a session without one leaves the
// peer and host name to the platform's verification against the system CAs.
#pragma once
#include <map>
#include <memory>
#include <string>

#include "platform/security/SecTrust.h"

namespace Hawser {

class ServerTrustEvaluating {
public:
    virtual ~ServerTrustEvaluating() = default;
    // Returns when the trust is accepted for `host`; throws platform::ErrorException
    // (normally carrying an HWError) when it is rejected.
    virtual void evaluate(const platform::SecTrustRef& trust, const std::string& forHost) const = 0;
};
using ServerTrustEvaluatingPtr = std::shared_ptr<const ServerTrustEvaluating>;

class ServerTrustManager {
public:
    ServerTrustManager(bool allHostsMustBeEvaluated, std::map<std::string, ServerTrustEvaluatingPtr> evaluators)
        : allHostsMustBeEvaluated(allHostsMustBeEvaluated), evaluators(std::move(evaluators)) {}
    virtual ~ServerTrustManager() = default;

    const bool allHostsMustBeEvaluated;
    const std::map<std::string, ServerTrustEvaluatingPtr> evaluators;

    // The host's evaluator; none for an unlisted host, unless every host must be
    // evaluated: then throws serverTrustEvaluationFailed(noRequiredEvaluator).
    virtual ServerTrustEvaluatingPtr serverTrustEvaluator(const std::string& forHost) const;
};
using ServerTrustManagerPtr = std::shared_ptr<const ServerTrustManager>;

}  // namespace Hawser
