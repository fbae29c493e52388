// The end of an upload pass: a sent batch is deleted (the flow ends once the store is
// empty), a batch that failed goes back to waiting and the flow ends.
#pragma once
#include <memory>

#include "LumenAnalyticsSDK/Core/Interceptor/LADatabaseInterceptor.h"

namespace LumenAnalyticsSDK {

class LADeleteRecordInterceptor : public LADatabaseInterceptor {
public:
    static std::shared_ptr<LADeleteRecordInterceptor> interceptorWithParam(const platform::Value::Dictionary& param) {
        return makeWithParam<LADeleteRecordInterceptor>(param);
    }
    void processWithInput(const LAFlowDataPtr& input, Completion completion) override;
};

}  // namespace LumenAnalyticsSDK
