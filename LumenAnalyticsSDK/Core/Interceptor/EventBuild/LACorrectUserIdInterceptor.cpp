// Moving the user ids that "$ABTestTrigger" and "$PlanPopupDisplay" carry as properties
// onto the event's identity fields.
#include "LumenAnalyticsSDK/Core/Interceptor/EventBuild/LACorrectUserIdInterceptor.h"

#include <array>

#include "LumenAnalyticsSDK/Core/Builder/EventObject/LABaseEventObject.h"
#include "LumenAnalyticsSDK/Core/Utils/NSObject+LAToString.h"

namespace LumenAnalyticsSDK {

namespace {

using IdentityField = std::optional<std::string> LABaseEventObject::*;

struct IdentityProperty {
    const char* property;
    IdentityField field;
};

// Each event's own prefix: "sab_" for A/B tests, "sf_" for plan pop-ups.
constexpr std::array abTestProperties{IdentityProperty{"sab_loginId", &LABaseEventObject::loginId},
                                      IdentityProperty{"sab_distinctId", &LABaseEventObject::distinctId},
                                      IdentityProperty{"sab_anonymousId", &LABaseEventObject::anonymousId}};
constexpr std::array planPopupProperties{IdentityProperty{"sf_loginId", &LABaseEventObject::loginId},
                                         IdentityProperty{"sf_distinctId", &LABaseEventObject::distinctId},
                                         IdentityProperty{"sf_anonymousId", &LABaseEventObject::anonymousId}};

const std::array<IdentityProperty, 3>* identityPropertiesOfEvent(const std::string& eventName) {
    if (eventName == "$ABTestTrigger") return &abTestProperties;
    if (eventName == "$PlanPopupDisplay") return &planPopupProperties;
    return nullptr;
}

}  // namespace

void LACorrectUserIdInterceptor::processWithInput(const LAFlowDataPtr& input, Completion completion) {
    auto properties = input->properties();
    const auto event = input->eventObject();
    const auto* identityProperties = event ? identityPropertiesOfEvent(event->eventName().value_or("")) : nullptr;
    if (!properties || !identityProperties) return completion(input);
    for (const auto& [property, field] : *identityProperties) {
        const auto found = properties->find(property);
        if (found == properties->end()) continue;
        // Ids are text; a number the page sent is kept as its text.
        (*event).*field = lumen_toString(found->second);
        properties->erase(found);
    }
    input->setProperties(std::move(properties));
    completion(input);
}

}  // namespace LumenAnalyticsSDK
