// The worker class names the built-in flow definitions use, as the tests expect them:
// those this client brings and those it does not.
#pragma once
#include <set>
#include <string>

namespace LumenAnalyticsSDK::testing {

inline const std::set<std::string> kBuiltInWorkerClasses = {
    "LADynamicSuperPropertyInterceptor",
    "LASerialQueueInterceptor",
    "LAEventValidateInterceptor",
    "LAIDMappingInterceptor",
    "LACorrectUserIdInterceptor",
    "LAPropertyInterceptor",
    "LAEventCallbackInterceptor",
    "LAEventResultInterceptor",
    "LAInsertRecordInterceptor",
    "LACanFlushInterceptor",
    "LAQueryRecordInterceptor",
    "LAUpdateRecordInterceptor",
    "LAFlushJSONInterceptor",
    "LAFlushHTTPBodyInterceptor",
    "LAFlushInterceptor",
    "LADeleteRecordInterceptor",
    "LARepeatFlushInterceptor",
};

// Named by the built-in definitions, but not part of this client: their nodes are passed over.
inline const std::set<std::string> kAbsentWorkerClasses = {"LARemoteConfigInterceptor", "LAEncryptInterceptor",
                                                           "LAAdsEncryptInterceptor"};

}  // namespace LumenAnalyticsSDK::testing
