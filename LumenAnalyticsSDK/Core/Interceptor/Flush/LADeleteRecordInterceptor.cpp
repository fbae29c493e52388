// Deleting a sent batch, or putting a failed one back to waiting.
#include "LumenAnalyticsSDK/Core/Interceptor/Flush/LADeleteRecordInterceptor.h"

#include "LumenAnalyticsSDK/Core/Tracker/LAEventStore.h"

namespace LumenAnalyticsSDK {

void LADeleteRecordInterceptor::processWithInput(const LAFlowDataPtr& input, Completion completion) {
    const auto recordIDs = input->recordIDs();
    if (!recordIDs) return completion(input);
    if (input->flushSuccess()) {
        // A batch the store could not delete is still in it: the next pass waits for a
        // later flush, when the store tries the delete again first.
        if (!eventStore->deleteRecords(*recordIDs) || eventStore->count() == 0) input->state = LAFlowStateStopFlow;
    } else {
        eventStore->updateRecords(*recordIDs, 0);
        input->state = LAFlowStateStopFlow;
    }
    completion(input);
}

}  // namespace LumenAnalyticsSDK
