// The do-nothing flow node worker that every interceptor derives from.
#include "LumenAnalyticsSDK/Core/Flow/LAInterceptor.h"

#include <typeinfo>

#include "platform/foundation/TypeName.h"

namespace LumenAnalyticsSDK {

std::shared_ptr<LAInterceptor> LAInterceptor::interceptorWithParam(const platform::Value::Dictionary&) {
    return std::make_shared<LAInterceptor>();
}

void LAInterceptor::processWithInput(const LAFlowDataPtr& input, Completion completion) { completion(input); }

std::string LAInterceptor::className() const { return platform::demangledTypeName(typeid(*this).name()); }

}  // namespace LumenAnalyticsSDK
