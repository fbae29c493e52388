// Event and property validation in the track task.
#include "LumenAnalyticsSDK/Core/Interceptor/EventBuild/LAEventValidateInterceptor.h"

#include "LumenAnalyticsSDK/Core/Builder/EventObject/LABaseEventObject.h"
#include "LumenAnalyticsSDK/Core/Flow/LAInterceptorRegistry.h"
#include "LumenAnalyticsSDK/Core/LAModuleManager.h"
#include "LumenAnalyticsSDK/Core/Utils/LAPropertyValidator.h"

namespace LumenAnalyticsSDK {

LA_REGISTER_INTERCEPTOR(LAEventValidateInterceptor);

void LAEventValidateInterceptor::processWithInput(const LAFlowDataPtr& input, Completion completion) {
    const auto event = input->eventObject();
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
