// Two events of the host's A/B-test and pop-up plans carry the user's ids as properties;
// this node moves them onto the event's identity fields.
#pragma once
#include "LumenAnalyticsSDK/Core/Flow/LAInterceptor.h"

namespace LumenAnalyticsSDK {

class LACorrectUserIdInterceptor : public LAInterceptor {
public:
    void processWithInput(const LAFlowDataPtr& input, Completion completion) override;
};

}  // namespace LumenAnalyticsSDK
