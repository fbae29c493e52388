// The track task's "properties" step: merges every plugin's properties into the event,
// taking the reserved keys ("$project", "$token", "$time") out onto the event itself.
#pragma once
#include "LumenAnalyticsSDK/Core/Flow/LAInterceptor.h"

namespace LumenAnalyticsSDK {

class LAPropertyPluginManager;

class LAPropertyInterceptor : public LAInterceptor {
public:
    LAPropertyInterceptor();
    // For tests: merge through a manager of their own.
    explicit LAPropertyInterceptor(LAPropertyPluginManager& manager) : manager_(manager) {}
    void processWithInput(const LAFlowDataPtr& input, Completion completion) override;

    // Events carry a "$time" of their own only from 2015-05-15 on (milliseconds).
    static constexpr std::int64_t minimumEventTime = 1431656640000;

private:
    LAPropertyPluginManager& manager_;
};

}  // namespace LumenAnalyticsSDK
