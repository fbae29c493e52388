// A named flow: an ordered list of tasks, given inline or as registered task ids.
#pragma once
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "LumenAnalyticsSDK/Core/Flow/LATaskObject.h"

namespace LumenAnalyticsSDK {

class LAFlowObject;
using LAFlowObjectPtr = std::shared_ptr<LAFlowObject>;

class LAFlowObject {
public:
    // From a definition: "id", "name", "param" and "tasks", read as inline task
    // definitions when its first element is a dictionary, else as task ids.
    explicit LAFlowObject(const platform::Value::Dictionary& dictionary);
    LAFlowObject(std::string flowID, std::string name, std::vector<LATaskObjectPtr> tasks);

    static std::map<std::string, LAFlowObjectPtr> loadFromResources(const platform::Value::Array& resources);
    // From "lumen_analytics_flow.json" in the bundle; none when it has no such file.
    static std::optional<std::map<std::string, LAFlowObjectPtr>> loadFromBundle(const platform::Bundle& bundle);

    // The first inline task with the id.
    LATaskObjectPtr taskForID(const std::string& taskID) const;

    std::string flowID;
    std::string name;
    std::vector<std::string> taskIDs;
    std::vector<LATaskObjectPtr> tasks;
    platform::Value::Dictionary param;
};

}  // namespace LumenAnalyticsSDK
