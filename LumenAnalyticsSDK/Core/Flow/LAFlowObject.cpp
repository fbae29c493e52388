// Flows from definitions, and the look-up of their inline tasks.
#include "LumenAnalyticsSDK/Core/Flow/LAFlowObject.h"

#include "LumenAnalyticsSDK/Core/Flow/LAFlowDefinition.h"

namespace LumenAnalyticsSDK {

LAFlowObject::LAFlowObject(const platform::Value::Dictionary& dictionary)
    : flowID(LAFlowDefinition::stringOf(dictionary, "id")), name(LAFlowDefinition::stringOf(dictionary, "name")),
      param(LAFlowDefinition::dictionaryOf(dictionary, "param")) {
    if (const auto found = dictionary.find("tasks"); found != dictionary.end())
        LAFlowDefinition::readParts(found->second, tasks, taskIDs);
}

LAFlowObject::LAFlowObject(std::string flowID, std::string name, std::vector<LATaskObjectPtr> tasks)
    : flowID(std::move(flowID)), name(std::move(name)), tasks(std::move(tasks)) {}

std::map<std::string, LAFlowObjectPtr> LAFlowObject::loadFromResources(const platform::Value::Array& resources) {
    return LAFlowDefinition::load<LAFlowObject>(resources);
}

std::optional<std::map<std::string, LAFlowObjectPtr>> LAFlowObject::loadFromBundle(const platform::Bundle& bundle) {
    // The flow file is looked up by its full name with no separate type.
    return LAFlowDefinition::loadFile<LAFlowObject>(bundle.path("lumen_analytics_flow.json", ""));
}

LATaskObjectPtr LAFlowObject::taskForID(const std::string& taskID) const {
    for (const auto& task : tasks)
        if (task && task->taskID == taskID) return task;
    return nullptr;
}

}  // namespace LumenAnalyticsSDK
