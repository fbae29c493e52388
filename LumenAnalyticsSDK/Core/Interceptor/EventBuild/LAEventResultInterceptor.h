// The track task's last build step: announces the finished event (notification) and
// turns its wire form into the record the insert node stores.
#pragma once
#include "LumenAnalyticsSDK/Core/Flow/LAInterceptor.h"

namespace LumenAnalyticsSDK {

inline constexpr const char* LumenAnalyticsTrackEventNotification = "LumenAnalyticsTrackEventNotification";
inline constexpr const char* LumenAnalyticsTrackEventFromH5Notification = "LumenAnalyticsTrackEventFromH5Notification";

class LAEventResultInterceptor : public LAInterceptor {
public:
    void processWithInput(const LAFlowDataPtr& input, Completion completion) override;
};

}  // namespace LumenAnalyticsSDK
