// The flow runner: tasks one after the other, nodes one after the other, with the flow
// data's state deciding where a run ends.
#include "LumenAnalyticsSDK/Core/Flow/LAFlowManager.h"

#include <algorithm>

#include "LumenAnalyticsSDK/Core/LACoreResources.h"
#include "LumenAnalyticsSDK/Core/Utils/LALog.h"
#include "platform/base/NoDestructor.h"

namespace LumenAnalyticsSDK {

namespace {

template <class Object>
void merge(std::map<std::string, std::shared_ptr<Object>>& registry,
           std::map<std::string, std::shared_ptr<Object>> loaded) {
    for (auto& [id, object] : loaded) registry.insert_or_assign(id, std::move(object));
}

// The part's own entries overwrite the data's.
void mergeParam(LAFlowData& data, const platform::Value::Dictionary& param) {
    for (const auto& [key, value] : param) data.param.insert_or_assign(key, value);
}

std::string nodeDescription(const LANodeObject& node) {
    return "The node(id: " + node.nodeID + ", name: " + node.name + ", interceptor: " + node.interceptor->className() +
           ")";
}

}  // namespace

LAFlowManager& LAFlowManager::sharedInstance() {
    static platform::NoDestructor<LAFlowManager> manager;
    return *manager;
}

void LAFlowManager::loadFlows() {
    merge(nodes, LANodeObject::loadFromResources(LACoreResources::analyticsNodes()));
    merge(tasks, LATaskObject::loadFromResources(LACoreResources::analyticsTasks()));
    merge(flows, LAFlowObject::loadFromResources(LACoreResources::analyticsFlows()));
}

void LAFlowManager::registerFlow(const LAFlowObjectPtr& flow) {
    if (flow) flows.insert_or_assign(flow->flowID, flow);
}

void LAFlowManager::registerFlows(const std::vector<LAFlowObjectPtr>& newFlows) {
    for (const auto& flow : newFlows) registerFlow(flow);
}

LAFlowObjectPtr LAFlowManager::flowForID(const std::string& flowID) const {
    const auto found = flows.find(flowID);
    return found == flows.end() ? nullptr : found->second;
}

void LAFlowManager::handClientParts(LAFlowData& input) const {
    input.configOptions = configOptions;
    input.serialQueue = serialQueue;
    input.trackEventCallback = trackEventCallback;
}

void LAFlowManager::startWithFlowID(const std::string& flowID, const LAFlowDataPtr& input, Completion completion) {
    handClientParts(*input);
    const LAFlowObjectPtr flow = flowForID(flowID);
    if (!flow) {
        if (completion) completion(input);
        return;
    }
    startWithFlow(flow, input, std::move(completion));
}

void LAFlowManager::startWithFlow(const LAFlowObjectPtr& flow, const LAFlowDataPtr& input, Completion completion) {
    handClientParts(*input);
    mergeParam(*input, flow->param);
    processWithFlow(flow, 0, input, [completion = std::move(completion)](const LAFlowDataPtr& output) {
        if (completion) completion(output);
    });
}

LATaskObjectPtr LAFlowManager::taskAt(const LAFlowObject& flow, std::size_t index) const {
    if (index < flow.tasks.size()) return flow.tasks[index];
    const auto found = tasks.find(flow.taskIDs[index]);
    return found == tasks.end() ? nullptr : found->second;
}

LANodeObjectPtr LAFlowManager::nodeAt(const LATaskObject& task, std::size_t index) const {
    if (index < task.nodes.size()) return task.nodes[index];
    const auto found = nodes.find(task.nodeIDs[index]);
    return found == nodes.end() ? nullptr : found->second;
}

void LAFlowManager::processWithFlow(const LAFlowObjectPtr& flow, std::size_t taskIndex, const LAFlowDataPtr& input,
                                    Completion completion) {
    if (taskIndex >= std::max(flow->tasks.size(), flow->taskIDs.size())) return completion(input);
    auto taskDidComplete = [this, flow, taskIndex, completion](const LAFlowDataPtr& output) {
        // State 2 is left in place: it ends the next task after its first node as well.
        if (output->state == LAFlowStateStopFlow) return completion(output);
        processWithFlow(flow, taskIndex + 1, output, completion);
    };
    const LATaskObjectPtr task = taskAt(*flow, taskIndex);
    // A task id that is not registered is a task without nodes.
    if (!task) return taskDidComplete(input);
    mergeParam(*input, task->param);
    processWithTask(task, 0, input, std::move(taskDidComplete));
}

void LAFlowManager::processWithTask(const LATaskObjectPtr& task, std::size_t nodeIndex, const LAFlowDataPtr& input,
                                    Completion completion) {
    const std::size_t nodeCount = std::max(task->nodes.size(), task->nodeIDs.size());
    LANodeObjectPtr node;
    for (; nodeIndex < nodeCount; ++nodeIndex) {
        node = nodeAt(*task, nodeIndex);
        if (node && node->interceptor) break;
    }
    if (nodeIndex >= nodeCount) return completion(input);
    node->interceptor->processWithInput(input, [this, task, node, nodeIndex, completion](const LAFlowDataPtr& output) {
        nodeDidComplete(*node, *task, *output);
        if (output->state == LAFlowStateStopFlow || output->state == LAFlowStateStopTask) return completion(output);
        processWithTask(task, nodeIndex + 1, output, completion);
    });
}

void LAFlowManager::nodeDidComplete(const LANodeObject& node, const LATaskObject& task, LAFlowData& output) const {
    // A message alone stops nothing: it is logged and cleared.
    if (output.message) {
        LALogError(nodeDescription(node) + " error: " + *output.message);
        output.message.reset();
    }
    if (output.state == LAFlowStateStopTask)
        LALogWarn(nodeDescription(node) + " stop the task(id: " + task.taskID + ", name: " + task.name + ").");
}

}  // namespace LumenAnalyticsSDK
