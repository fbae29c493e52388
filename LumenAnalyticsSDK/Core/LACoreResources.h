// The client's built-in resources: the flow, task and node definitions that make up its
// processing pipelines, and two fixed lookup tables (message texts, operator names).
#pragma once
#include "platform/base/Value.h"

namespace LumenAnalyticsSDK {

class LACoreResources {
public:
    // Definition dictionaries in pipeline order, built anew on each call. Flows and tasks
    // carry "id", "name" and the ids of their parts ("tasks" / "nodes"); nodes carry "id",
    // "name", the "interceptor" class name and sometimes a "param" dictionary.
    static platform::Value::Array analyticsFlows();
    static platform::Value::Array analyticsTasks();
    static platform::Value::Array analyticsNodes();

    // Message key to display text.
    static platform::Value::Dictionary defaultLanguageResources();
    // Mobile network code (country and network digits) to operator name.
    static platform::Value::Dictionary mcc();
};

}  // namespace LumenAnalyticsSDK
