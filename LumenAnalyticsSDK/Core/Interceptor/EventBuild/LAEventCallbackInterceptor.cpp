// The host's track callback, asked once per named event after its properties are built.
#include "LumenAnalyticsSDK/Core/Interceptor/EventBuild/LAEventCallbackInterceptor.h"

#include "LumenAnalyticsSDK/Core/Builder/EventObject/LABaseEventObject.h"
#include "LumenAnalyticsSDK/Core/Utils/LALog.h"
#include "LumenAnalyticsSDK/Core/Utils/LAPropertyValidator.h"

namespace LumenAnalyticsSDK {

void LAEventCallbackInterceptor::processWithInput(const LAFlowDataPtr& input, Completion completion) {
    const LATrackEventCallback callback = input->trackEventCallback ? input->trackEventCallback() : nullptr;
    const auto event = input->eventObject();
    const auto eventName = event ? event->eventName() : std::nullopt;
    if (!callback || !eventName) return completion(input);

    platform::Value::Dictionary properties = event->properties();
    if (callback(*eventName, properties)) {
        // The host may have put anything into them.
        event->setProperties(LAPropertyValidator::validProperties(platform::Value(std::move(properties)))
                                 .value_or(platform::Value::Dictionary{}));
    } else {
        LALogDebug("\n【track event】: " + *eventName + " can not insert database.");
        input->state = LAFlowStateStopTask;
    }
    completion(input);
}

}  // namespace LumenAnalyticsSDK
