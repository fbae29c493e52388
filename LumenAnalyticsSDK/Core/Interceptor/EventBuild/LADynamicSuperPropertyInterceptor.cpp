// Dynamic super properties are computed on the thread that tracks the event.
#include "LumenAnalyticsSDK/Core/Interceptor/EventBuild/LADynamicSuperPropertyInterceptor.h"

#include "LumenAnalyticsSDK/Core/Builder/PropertyPlugin/LADynamicSuperPropertyPlugin.h"
#include "LumenAnalyticsSDK/Core/Utils/LAQueueHelpers.h"

namespace LumenAnalyticsSDK {

void LADynamicSuperPropertyInterceptor::processWithInput(const LAFlowDataPtr& input, Completion completion) {
    // An event tracked from the serial queue itself (the client's own events) does not
    // run the host's block there: it may block or call back into the client.
    const bool onSerialQueue = input->serialQueue && LAIsCurrentQueue(input->serialQueue);
    if (!onSerialQueue) LADynamicSuperPropertyPlugin::sharedDynamicSuperPropertyPlugin()->buildDynamicSuperProperties();
    completion(input);
}

}  // namespace LumenAnalyticsSDK
