// The first node of every tracked event: has the host compute its dynamic super
// properties on the tracking thread, before the run moves onto the serial queue.
#pragma once
#include "LumenAnalyticsSDK/Core/Flow/LAInterceptor.h"

namespace LumenAnalyticsSDK {

class LADynamicSuperPropertyInterceptor : public LAInterceptor {
public:
    void processWithInput(const LAFlowDataPtr& input, Completion completion) override;
};

}  // namespace LumenAnalyticsSDK
