// Nodes from definitions: the worker is looked up by class name when the node is made.
#include "LumenAnalyticsSDK/Core/Flow/LANodeObject.h"

#include "LumenAnalyticsSDK/Core/Flow/LAFlowDefinition.h"
#include "LumenAnalyticsSDK/Core/Flow/LAInterceptorRegistry.h"

namespace LumenAnalyticsSDK {

LANodeObject::LANodeObject(const platform::Value::Dictionary& dictionary)
    : nodeID(LAFlowDefinition::stringOf(dictionary, "id")), name(LAFlowDefinition::stringOf(dictionary, "name")),
      interceptorClassName(LAFlowDefinition::stringOf(dictionary, "interceptor")),
      param(LAFlowDefinition::dictionaryOf(dictionary, "param")),
      interceptor(LAInterceptorRegistry::shared().interceptorWithClassName(interceptorClassName, param)) {}

LANodeObject::LANodeObject(std::string nodeID, std::string name, LAInterceptorPtr interceptor)
    : nodeID(std::move(nodeID)), name(std::move(name)), interceptor(std::move(interceptor)) {}

std::map<std::string, LANodeObjectPtr> LANodeObject::loadFromResources(const platform::Value::Array& resources) {
    return LAFlowDefinition::load<LANodeObject>(resources);
}

std::optional<std::map<std::string, LANodeObjectPtr>> LANodeObject::loadFromBundle(const platform::Bundle& bundle) {
    const auto url = bundle.url("lumen_analytics_node", "json");
    return LAFlowDefinition::loadFile<LANodeObject>(url ? std::optional(url->path()) : std::nullopt);
}

}  // namespace LumenAnalyticsSDK
