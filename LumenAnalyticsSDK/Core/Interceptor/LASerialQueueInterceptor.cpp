// Moving a flow run onto the client's serial queue.
#include "LumenAnalyticsSDK/Core/Interceptor/LASerialQueueInterceptor.h"

#include "LumenAnalyticsSDK/Core/Utils/LAQueueHelpers.h"

namespace LumenAnalyticsSDK {

std::shared_ptr<LASerialQueueInterceptor>
LASerialQueueInterceptor::interceptorWithParam(const platform::Value::Dictionary& param) {
    auto interceptor = std::make_shared<LASerialQueueInterceptor>();
    const auto sync = param.find(syncKey);
    if (sync != param.end() && sync->second.isNumber()) interceptor->isSync = sync->second.asDouble().value_or(0) != 0;
    return interceptor;
}

void LASerialQueueInterceptor::processWithInput(const LAFlowDataPtr& input, Completion completion) {
    const platform::DispatchQueuePtr queue = input->serialQueue;
    if (!queue || LAIsCurrentQueue(queue)) {
        completion(input);
    } else if (isSync) {
        queue->sync([&] { completion(input); });
    } else {
        queue->async([input, completion = std::move(completion)] { completion(input); });
    }
}

}  // namespace LumenAnalyticsSDK
