// Marking an upload pass's batch as being sent.
#include "LumenAnalyticsSDK/Core/Interceptor/Flush/LAUpdateRecordInterceptor.h"

#include "LumenAnalyticsSDK/Core/Tracker/LAEventStore.h"

namespace LumenAnalyticsSDK {

void LAUpdateRecordInterceptor::processWithInput(const LAFlowDataPtr& input, Completion completion) {
    std::vector<std::string> recordIDs;
    for (const auto& record : input->records().value_or(std::vector<LAEventRecordPtr>{}))
        recordIDs.push_back(record->recordID());
    input->setRecordIDs(recordIDs);
    eventStore->updateRecords(recordIDs, 1);
    completion(input);
}

}  // namespace LumenAnalyticsSDK
