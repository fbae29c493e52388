// Storing the event's record, and the rule that sends it at once.
#include "LumenAnalyticsSDK/Core/Interceptor/EventBuild/LAInsertRecordInterceptor.h"

#include "LumenAnalyticsSDK/Core/Builder/EventObject/LABaseEventObject.h"
#include "LumenAnalyticsSDK/Core/LAConfigOptions.h"
#include "LumenAnalyticsSDK/Core/Tracker/LAEventStore.h"

namespace LumenAnalyticsSDK {

namespace {

bool mustFlushNow(const LAFlowData& data, LAEventStore& store) {
    const auto event = data.eventObject();
    if (event && event->isSignUp()) return true;
    const auto& options = data.configOptions;
    const auto bulkSize = static_cast<std::uint64_t>(options ? options->flushBulkSize() : 0);
    if (store.recordCountWithStatus(0) > bulkSize) return true;
    if (options && options->debugMode() != 0) return true;
    return data.isInstantEvent();
}

}  // namespace

void LAInsertRecordInterceptor::processWithInput(const LAFlowDataPtr& input, Completion completion) {
    // A record the table refuses stays in the store's memory; nothing to decide here.
    if (const auto record = input->record()) eventStore->insertRecord(record);
    if (!mustFlushNow(*input, *eventStore)) input->state = LAFlowStateStopFlow;
    completion(input);
}

}  // namespace LumenAnalyticsSDK
