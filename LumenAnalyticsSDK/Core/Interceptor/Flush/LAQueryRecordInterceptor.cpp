// Selecting an upload pass's batch from the event store.
#include "LumenAnalyticsSDK/Core/Interceptor/Flush/LAQueryRecordInterceptor.h"

#include "LumenAnalyticsSDK/Core/LAConfigOptions.h"
#include "LumenAnalyticsSDK/Core/Tracker/LAEventStore.h"

namespace LumenAnalyticsSDK {

void LAQueryRecordInterceptor::processWithInput(const LAFlowDataPtr& input, Completion completion) {
    const bool debugMode = input->configOptions && input->configOptions->debugMode() != 0;
    auto records = eventStore->selectRecords(debugMode ? 1 : flushLimit, input->isInstantEvent());
    if (records && !records->empty()) input->setRecords(std::move(records));
    else input->state = LAFlowStateStopFlow;
    completion(input);
}

}  // namespace LumenAnalyticsSDK
