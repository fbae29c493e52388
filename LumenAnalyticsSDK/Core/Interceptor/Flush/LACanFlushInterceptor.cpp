// Whether an upload may happen now.
#include "LumenAnalyticsSDK/Core/Interceptor/Flush/LACanFlushInterceptor.h"

#include "LumenAnalyticsSDK/Core/Builder/PropertyPlugin/LANetworkInfoPropertyPlugin.h"
#include "LumenAnalyticsSDK/Core/LAConfigOptions.h"

namespace LumenAnalyticsSDK {

void LACanFlushInterceptor::processWithInput(const LAFlowDataPtr& input, Completion completion) {
    const auto& options = input->configOptions;
    if (!options || options->serverURL().empty()) input->state = LAFlowStateStopFlow;
    const auto networkType = std::make_shared<LANetworkInfoPropertyPlugin>()->currentNetworkTypeOptions();
    const auto policy = static_cast<std::uint64_t>(options ? options->flushNetworkPolicy() : 0);
    if ((networkType & policy) == 0) input->state = LAFlowStateStopFlow;
    completion(input);
}

}  // namespace LumenAnalyticsSDK
