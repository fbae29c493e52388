// One node of a task: an id, a name and the worker that does the node's step.
#pragma once
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "LumenAnalyticsSDK/Core/Flow/LAInterceptor.h"
#include "platform/base/Value.h"
#include "platform/files/Bundle.h"

namespace LumenAnalyticsSDK {

class LANodeObject;
using LANodeObjectPtr = std::shared_ptr<LANodeObject>;

class LANodeObject {
public:
    // From a definition: "id", "name", "interceptor" (a class name) and "param". The
    // worker is made now, once, when a class of that name is registered; else none.
    explicit LANodeObject(const platform::Value::Dictionary& dictionary);
    // A node around a ready worker; it has no class name.
    LANodeObject(std::string nodeID, std::string name, LAInterceptorPtr interceptor);

    // Id to node for each definition with an id; a later definition of an id replaces
    // an earlier one.
    static std::map<std::string, LANodeObjectPtr> loadFromResources(const platform::Value::Array& resources);
    // The same from "lumen_analytics_node.json" in the bundle; none when it has no such file.
    static std::optional<std::map<std::string, LANodeObjectPtr>> loadFromBundle(const platform::Bundle& bundle);

    std::string nodeID;
    std::string name;
    std::string interceptorClassName;
    platform::Value::Dictionary param;
    LAInterceptorPtr interceptor;
};

}  // namespace LumenAnalyticsSDK
