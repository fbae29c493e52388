// Event and property validation in the track task.
#include "LumenAnalyticsSDK/Core/Interceptor/EventBuild/LAEventValidateInterceptor.h"

#include "LumenAnalyticsSDK/Core/Builder/EventObject/LABaseEventObject.h"
#include "LumenAnalyticsSDK/Core/LAModuleManager.h"
#include "LumenAnalyticsSDK/Core/Utils/LAPropertyValidator.h"
#include "LumenAnalyticsSDK/Core/Utils/NSObject+LAPropertyValue.h"

namespace LumenAnalyticsSDK {

namespace {

// A web page's event arrives with its own name and properties, which no caller's check
// has seen: they get the cut and checks a native event's values get.
void validatePageEvent(LABaseEventObject& event) {
    if (event.eventId) {
        platform::ErrorPtr ignored;
        if (auto cut = lumen_propertyValueWithKey(platform::Value(*event.eventId), "event", ignored))
            event.eventId = cut->stringValue();
    }
    event.setProperties(LAPropertyValidator::validProperties(platform::Value(event.properties()), &event)
                            .value_or(platform::Value::Dictionary{}));
}

}  // namespace

void LAEventValidateInterceptor::processWithInput(const LAFlowDataPtr& input, Completion completion) {
    const auto event = input->eventObject();
    if (event && event->hybridH5()) validatePageEvent(*event);
    const platform::ErrorPtr error = event ? event->validateEvent() : nullptr;
    if (error) {
        input->message = error->localizedDescription();
        LAModuleManager::sharedInstance()->showDebugModeWarning(*input->message);
    } else {
        input->message.reset();
    }
    const auto properties = input->properties();
    input->setProperties(
        LAPropertyValidator::validProperties(properties ? platform::Value(*properties) : platform::Value()));
    completion(input);
}

}  // namespace LumenAnalyticsSDK
