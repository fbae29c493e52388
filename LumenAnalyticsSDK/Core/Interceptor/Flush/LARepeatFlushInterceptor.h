// The last node of an upload pass: starts the next pass as a fresh run of the flush flow
// (same cookie and kind, one more in the count), at most 40 after the first.
#pragma once
#include <cstdint>

#include "LumenAnalyticsSDK/Core/Flow/LAInterceptor.h"

namespace LumenAnalyticsSDK {

class LARepeatFlushInterceptor : public LAInterceptor {
public:
    static constexpr std::int64_t maxRepeatCount = 40;

    // The completion receives the last pass's flow data, once that pass is through.
    void processWithInput(const LAFlowDataPtr& input, Completion completion) override;
};

}  // namespace LumenAnalyticsSDK
