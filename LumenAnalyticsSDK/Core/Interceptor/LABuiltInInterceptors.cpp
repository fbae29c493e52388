// The built-in interceptor classes by the names the flow definitions give them. Calling
// this is also what links their code into a program: nothing else names most of them.
#include "LumenAnalyticsSDK/Core/Interceptor/LABuiltInInterceptors.h"

#include "LumenAnalyticsSDK/Core/Flow/LAInterceptorRegistry.h"
#include "LumenAnalyticsSDK/Core/Interceptor/EventBuild/LACorrectUserIdInterceptor.h"
#include "LumenAnalyticsSDK/Core/Interceptor/EventBuild/LADynamicSuperPropertyInterceptor.h"
#include "LumenAnalyticsSDK/Core/Interceptor/EventBuild/LAEventCallbackInterceptor.h"
#include "LumenAnalyticsSDK/Core/Interceptor/EventBuild/LAEventResultInterceptor.h"
#include "LumenAnalyticsSDK/Core/Interceptor/EventBuild/LAEventValidateInterceptor.h"
#include "LumenAnalyticsSDK/Core/Interceptor/EventBuild/LAIDMappingInterceptor.h"
#include "LumenAnalyticsSDK/Core/Interceptor/EventBuild/LAInsertRecordInterceptor.h"
#include "LumenAnalyticsSDK/Core/Interceptor/EventBuild/LAPropertyInterceptor.h"
#include "LumenAnalyticsSDK/Core/Interceptor/Flush/LACanFlushInterceptor.h"
#include "LumenAnalyticsSDK/Core/Interceptor/Flush/LADeleteRecordInterceptor.h"
#include "LumenAnalyticsSDK/Core/Interceptor/Flush/LAFlushHTTPBodyInterceptor.h"
#include "LumenAnalyticsSDK/Core/Interceptor/Flush/LAFlushInterceptor.h"
#include "LumenAnalyticsSDK/Core/Interceptor/Flush/LAFlushJSONInterceptor.h"
#include "LumenAnalyticsSDK/Core/Interceptor/Flush/LAQueryRecordInterceptor.h"
#include "LumenAnalyticsSDK/Core/Interceptor/Flush/LARepeatFlushInterceptor.h"
#include "LumenAnalyticsSDK/Core/Interceptor/Flush/LAUpdateRecordInterceptor.h"
#include "LumenAnalyticsSDK/Core/Interceptor/LASerialQueueInterceptor.h"

namespace LumenAnalyticsSDK {

void registerBuiltInInterceptors() {
    auto& registry = LAInterceptorRegistry::shared();
    // Both tasks: moving a run onto the client's serial queue.
    registry.registerClass<LASerialQueueInterceptor>("LASerialQueueInterceptor");
    // The track task, in the order its nodes run.
    registry.registerClass<LADynamicSuperPropertyInterceptor>("LADynamicSuperPropertyInterceptor");
    registry.registerClass<LAEventValidateInterceptor>("LAEventValidateInterceptor");
    registry.registerClass<LAIDMappingInterceptor>("LAIDMappingInterceptor");
    registry.registerClass<LACorrectUserIdInterceptor>("LACorrectUserIdInterceptor");
    registry.registerClass<LAPropertyInterceptor>("LAPropertyInterceptor");
    registry.registerClass<LAEventCallbackInterceptor>("LAEventCallbackInterceptor");
    registry.registerClass<LAEventResultInterceptor>("LAEventResultInterceptor");
    registry.registerClass<LAInsertRecordInterceptor>("LAInsertRecordInterceptor");
    // The upload task, in the order its nodes run.
    registry.registerClass<LACanFlushInterceptor>("LACanFlushInterceptor");
    registry.registerClass<LAQueryRecordInterceptor>("LAQueryRecordInterceptor");
    registry.registerClass<LAUpdateRecordInterceptor>("LAUpdateRecordInterceptor");
    registry.registerClass<LAFlushJSONInterceptor>("LAFlushJSONInterceptor");
    registry.registerClass<LAFlushHTTPBodyInterceptor>("LAFlushHTTPBodyInterceptor");
    registry.registerClass<LAFlushInterceptor>("LAFlushInterceptor");
    registry.registerClass<LADeleteRecordInterceptor>("LADeleteRecordInterceptor");
    registry.registerClass<LARepeatFlushInterceptor>("LARepeatFlushInterceptor");
}

}  // namespace LumenAnalyticsSDK
