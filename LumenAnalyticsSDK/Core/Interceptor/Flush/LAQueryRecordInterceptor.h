// Selects the batch of an upload pass: the oldest waiting records of the run's kind
// (instant or not), 50 at most, 1 in debug mode; none ends the flow.
#pragma once
#include <memory>

#include "LumenAnalyticsSDK/Core/Interceptor/LADatabaseInterceptor.h"

namespace LumenAnalyticsSDK {

class LAQueryRecordInterceptor : public LADatabaseInterceptor {
public:
    // The batch size: one record per request in debug mode.
    static constexpr std::uint64_t flushLimit = 50;
    static std::shared_ptr<LAQueryRecordInterceptor> interceptorWithParam(const platform::Value::Dictionary& param) {
        return makeWithParam<LAQueryRecordInterceptor>(param);
    }
    void processWithInput(const LAFlowDataPtr& input, Completion completion) override;
};

}  // namespace LumenAnalyticsSDK
