// Marks the batch of an upload pass as being sent, so that no other pass picks it up.
#pragma once
#include <memory>

#include "LumenAnalyticsSDK/Core/Interceptor/LADatabaseInterceptor.h"

namespace LumenAnalyticsSDK {

class LAUpdateRecordInterceptor : public LADatabaseInterceptor {
public:
    static std::shared_ptr<LAUpdateRecordInterceptor> interceptorWithParam(const platform::Value::Dictionary& param) {
        return makeWithParam<LAUpdateRecordInterceptor>(param);
    }
    void processWithInput(const LAFlowDataPtr& input, Completion completion) override;
};

}  // namespace LumenAnalyticsSDK
