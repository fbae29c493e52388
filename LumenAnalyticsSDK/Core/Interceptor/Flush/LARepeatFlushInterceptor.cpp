// The next upload pass, as a new run of the flush flow.
#include "LumenAnalyticsSDK/Core/Interceptor/Flush/LARepeatFlushInterceptor.h"

#include "LumenAnalyticsSDK/Core/Flow/LAFlowManager.h"
#include "LumenAnalyticsSDK/Core/LumenAnalyticsSDK.h"

namespace LumenAnalyticsSDK {

void LARepeatFlushInterceptor::processWithInput(const LAFlowDataPtr& input, Completion completion) {
    if (input->repeatCount() >= maxRepeatCount) {
        input->state = LAFlowStateStopFlow;
        return completion(input);
    }
    auto next = std::make_shared<LAFlowData>();
    next->setCookie(input->cookie());
    next->setRepeatCount(input->repeatCount() + 1);
    next->setIsInstantEvent(input->isInstantEvent());
    LAFlowManager::sharedInstance().startWithFlowID(LumenAnalyticsSDK::lumenFlushFlowID, next, std::move(completion));
}

}  // namespace LumenAnalyticsSDK
