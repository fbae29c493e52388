// One task of a flow: an ordered list of nodes, given inline or as registered node ids.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "LumenAnalyticsSDK/Core/Flow/LANodeObject.h"

namespace LumenAnalyticsSDK {

class LATaskObject;
using LATaskObjectPtr = std::shared_ptr<LATaskObject>;

class LATaskObject {
public:
    // From a definition: "id", "name", "param" and "nodes", read as inline node
    // definitions when its first element is a dictionary, else as node ids.
    explicit LATaskObject(const platform::Value::Dictionary& dictionary);
    LATaskObject(std::string taskID, std::string name, std::vector<LANodeObjectPtr> nodes);

    static std::map<std::string, LATaskObjectPtr> loadFromResources(const platform::Value::Array& resources);
    // From "lumen_analytics_task.json" in the bundle; none when it has no such file.
    static std::optional<std::map<std::string, LATaskObjectPtr>> loadFromBundle(const platform::Bundle& bundle);

    // Into the inline nodes; an index past the end does nothing.
    void insertNode(const LANodeObjectPtr& node, std::size_t index);
    // The first inline node with the id; -1 for none or an empty id.
    std::int64_t indexOfNodeWithID(const std::string& nodeID) const;

    std::string taskID;
    std::string name;
    platform::Value::Dictionary param;
    std::vector<std::string> nodeIDs;
    std::vector<LANodeObjectPtr> nodes;
};

}  // namespace LumenAnalyticsSDK
