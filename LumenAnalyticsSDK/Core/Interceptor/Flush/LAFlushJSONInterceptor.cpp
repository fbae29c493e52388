// The JSON array of an upload batch.
#include "LumenAnalyticsSDK/Core/Interceptor/Flush/LAFlushJSONInterceptor.h"

#include "LumenAnalyticsSDK/Core/Tracker/LAEventRecord.h"
#include "LumenAnalyticsSDK/Core/Utils/LAValidator.h"

namespace LumenAnalyticsSDK {

// The compression code of a plain gzip body.
constexpr std::uint64_t gzipCodePlain = 1;

std::string LAFlushJSONInterceptor::buildJSONStringWithFlowData(const LAFlowData& input) const {
    std::string json = "[";
    bool first = true;
    for (const auto& record : input.records().value_or(std::vector<LAEventRecordPtr>{})) {
        // Stamps the upload time into the record's event.
        const auto content = record->flushContent();
        if (!content) continue;
        if (!first) json += ",";
        json += *content;
        first = false;
    }
    return json + "]";
}

void LAFlushJSONInterceptor::processWithInput(const LAFlowDataPtr& input, Completion completion) {
    input->setGzipCode(gzipCodePlain);
    const std::string json = buildJSONStringWithFlowData(*input);
    input->setJson(json);
    if (!LAValidator::isValidString(platform::Value(json))) input->state = LAFlowStateStopFlow;
    completion(input);
}

}  // namespace LumenAnalyticsSDK
