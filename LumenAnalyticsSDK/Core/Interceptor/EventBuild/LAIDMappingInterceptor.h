// The track task's "ID-Mapping" step: writes the user's ids and identities into the event.
#pragma once
#include <memory>

#include "LumenAnalyticsSDK/Core/Flow/LAInterceptor.h"

namespace LumenAnalyticsSDK {

class LABaseEventObject;
class LAIdentifier;

class LAIDMappingInterceptor : public LAInterceptor {
public:
    void processWithInput(const LAFlowDataPtr& input, Completion completion) override;
    void identifyTrackWithEventObject(LABaseEventObject& event);
    // A web page's sign-up: finds the login the page meant and logs in with it.
    void identifyTrackFromH5WithEventObject(LABaseEventObject& event);

    std::weak_ptr<LAIdentifier> identifier;
};

}  // namespace LumenAnalyticsSDK
