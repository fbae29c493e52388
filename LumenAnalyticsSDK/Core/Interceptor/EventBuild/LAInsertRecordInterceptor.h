// The track task's last node: stores the event's record and decides whether the run goes
// on into an upload pass at once or the record waits for the next flush.
#pragma once
#include <memory>

#include "LumenAnalyticsSDK/Core/Interceptor/LADatabaseInterceptor.h"

namespace LumenAnalyticsSDK {

class LAInsertRecordInterceptor : public LADatabaseInterceptor {
public:
    static std::shared_ptr<LAInsertRecordInterceptor> interceptorWithParam(const platform::Value::Dictionary& param) {
        return makeWithParam<LAInsertRecordInterceptor>(param);
    }
    // Uploads at once for a sign-up, more waiting records than the bulk size, debug
    // mode or an instant event; otherwise ends the flow.
    void processWithInput(const LAFlowDataPtr& input, Completion completion) override;
};

}  // namespace LumenAnalyticsSDK
