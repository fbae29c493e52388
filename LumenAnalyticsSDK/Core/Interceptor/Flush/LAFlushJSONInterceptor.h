// Builds an upload pass's JSON array by joining the batch's stored texts (no
// re-serialisation); an empty result ends the flow.
#pragma once
#include <optional>
#include <string>

#include "LumenAnalyticsSDK/Core/Flow/LAInterceptor.h"

namespace LumenAnalyticsSDK {

class LAFlushJSONInterceptor : public LAInterceptor {
public:
    void processWithInput(const LAFlowDataPtr& input, Completion completion) override;
    // "[" + each record's upload text, joined by "," + "]"; records without one are left out.
    std::string buildJSONStringWithFlowData(const LAFlowData& input) const;
};

}  // namespace LumenAnalyticsSDK
