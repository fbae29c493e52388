// The base of every flow node's worker: it reads and changes the flow data and then
// calls its completion with it, exactly once, at once or later and on any queue.
#pragma once
#include <functional>
#include <memory>
#include <string>

#include "LumenAnalyticsSDK/Core/Flow/LAFlowData.h"
#include "platform/base/Value.h"

namespace LumenAnalyticsSDK {

class LAInterceptor {
public:
    using Completion = std::function<void(const LAFlowDataPtr& output)>;

    virtual ~LAInterceptor() = default;

    // A plain instance; the parameters are ignored. A subclass that reads settings from
    // its node's parameters declares its own static `interceptorWithParam` answering a
    // pointer to itself (the interceptor registry then uses it).
    static std::shared_ptr<LAInterceptor> interceptorWithParam(const platform::Value::Dictionary& param);

    // The base hands the input on at once. Subclasses set `state` and `message` as they
    // decide and call the completion once, with the same flow data.
    virtual void processWithInput(const LAFlowDataPtr& input, Completion completion);

    // The worker's class name as log lines show it.
    std::string className() const;

    // Held for subclasses; the engine never sets or reads them.
    LAFlowDataPtr input;
    LAFlowDataPtr output;
};

using LAInterceptorPtr = std::shared_ptr<LAInterceptor>;

}  // namespace LumenAnalyticsSDK
