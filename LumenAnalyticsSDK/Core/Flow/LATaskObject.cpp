// Tasks from definitions, and edits of their inline node lists.
#include "LumenAnalyticsSDK/Core/Flow/LATaskObject.h"

#include "LumenAnalyticsSDK/Core/Flow/LAFlowDefinition.h"

namespace LumenAnalyticsSDK {

LATaskObject::LATaskObject(const platform::Value::Dictionary& dictionary)
    : taskID(LAFlowDefinition::stringOf(dictionary, "id")), name(LAFlowDefinition::stringOf(dictionary, "name")),
      param(LAFlowDefinition::dictionaryOf(dictionary, "param")) {
    if (const auto found = dictionary.find("nodes"); found != dictionary.end())
        LAFlowDefinition::readParts(found->second, nodes, nodeIDs);
}

LATaskObject::LATaskObject(std::string taskID, std::string name, std::vector<LANodeObjectPtr> nodes)
    : taskID(std::move(taskID)), name(std::move(name)), nodes(std::move(nodes)) {}

std::map<std::string, LATaskObjectPtr> LATaskObject::loadFromResources(const platform::Value::Array& resources) {
    return LAFlowDefinition::load<LATaskObject>(resources);
}

std::optional<std::map<std::string, LATaskObjectPtr>> LATaskObject::loadFromBundle(const platform::Bundle& bundle) {
    const auto url = bundle.url("lumen_analytics_task", "json");
    return LAFlowDefinition::loadFile<LATaskObject>(url ? std::optional(url->path()) : std::nullopt);
}

void LATaskObject::insertNode(const LANodeObjectPtr& node, std::size_t index) {
    if (index <= nodes.size()) nodes.insert(nodes.begin() + static_cast<std::ptrdiff_t>(index), node);
}

std::int64_t LATaskObject::indexOfNodeWithID(const std::string& nodeID) const {
    if (nodeID.empty()) return -1;
    for (std::size_t index = 0; index < nodes.size(); ++index)
        if (nodes[index] && nodes[index]->nodeID == nodeID) return static_cast<std::int64_t>(index);
    return -1;
}

}  // namespace LumenAnalyticsSDK
