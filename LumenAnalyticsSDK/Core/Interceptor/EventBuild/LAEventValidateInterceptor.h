// The track task's check of the event and its properties: problems are reported (log and
// debug-mode warning) and invalid properties left out; the event itself always goes on.
#pragma once
#include "LumenAnalyticsSDK/Core/Flow/LAInterceptor.h"

namespace LumenAnalyticsSDK {

class LAEventValidateInterceptor : public LAInterceptor {
public:
    void processWithInput(const LAFlowDataPtr& input, Completion completion) override;
};

}  // namespace LumenAnalyticsSDK
