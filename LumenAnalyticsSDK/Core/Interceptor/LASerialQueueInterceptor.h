// The node that moves a flow run onto the client's serial queue: asynchronously for
// tracked events (the caller returns at once), synchronously inside an upload pass (the
// response queue waits until the pass is through).
#pragma once
#include <memory>

#include "LumenAnalyticsSDK/Core/Flow/LAInterceptor.h"

namespace LumenAnalyticsSDK {

class LASerialQueueInterceptor : public LAInterceptor {
public:
    static constexpr const char* syncKey = "sync";

    // `isSync` from the parameter "sync" when it is a number.
    static std::shared_ptr<LASerialQueueInterceptor> interceptorWithParam(const platform::Value::Dictionary& param);

    // The queue is the flow data's `serialQueue`. Already on it (same label), or without
    // one, the run goes on inline.
    void processWithInput(const LAFlowDataPtr& input, Completion completion) override;

    bool isSync = false;
};

}  // namespace LumenAnalyticsSDK
