// Looking up the trust evaluator of a host.
#include "Hawser/ServerTrustManager.h"

#include "Hawser/HWError.h"

namespace Hawser {

ServerTrustEvaluatingPtr ServerTrustManager::serverTrustEvaluator(const std::string& forHost) const {
    if (auto it = evaluators.find(forHost); it != evaluators.end()) return it->second;
    if (allHostsMustBeEvaluated)
        HWError::serverTrustEvaluationFailed(ServerTrustFailureReason::NoRequiredEvaluator{forHost}).raise();
    return nullptr;
}

}  // namespace Hawser
