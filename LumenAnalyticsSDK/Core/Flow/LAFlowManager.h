// The registry of flows, tasks and nodes, and the runner that passes one flow data
// through a flow's tasks and their nodes.
#pragma once
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "LumenAnalyticsSDK/Core/Flow/LAFlowData.h"
#include "LumenAnalyticsSDK/Core/Flow/LAFlowObject.h"
#include "LumenAnalyticsSDK/Core/Flow/LAInterceptor.h"

namespace LumenAnalyticsSDK {

// The runner takes no locks and dispatches nothing: each step runs on the thread on which
// the previous worker called its completion. The registries are filled during start-up,
// before any flow runs, and only read afterwards. A manager must outlive its runs.
class LAFlowManager {
public:
    using Completion = LAInterceptor::Completion;

    // The client's one manager, made on first use and never destroyed.
    static LAFlowManager& sharedInstance();
    LAFlowManager() = default;

    // Fills the registries from the built-in definitions: nodes, then tasks, then flows;
    // an id already registered is replaced.
    void loadFlows();
    void registerFlow(const LAFlowObjectPtr& flow);
    void registerFlows(const std::vector<LAFlowObjectPtr>& flows);
    LAFlowObjectPtr flowForID(const std::string& flowID) const;

    // An id that is not registered hands the input back untouched at once.
    void startWithFlowID(const std::string& flowID, const LAFlowDataPtr& input, Completion completion = nullptr);
    // Takes over the flow's parameters into the data and runs its tasks in order.
    void startWithFlow(const LAFlowObjectPtr& flow, const LAFlowDataPtr& input, Completion completion = nullptr);

    // Runs task `taskIndex` and those after it; the flow ends after a task that left
    // state 1 or after its last task.
    void processWithFlow(const LAFlowObjectPtr& flow, std::size_t taskIndex, const LAFlowDataPtr& input,
                         Completion completion);
    // Runs node `nodeIndex` and those after it; the task ends after a node that left
    // state 1 or 2 or after its last node. Unknown nodes and nodes without a worker are
    // passed over.
    void processWithTask(const LATaskObjectPtr& task, std::size_t nodeIndex, const LAFlowDataPtr& input,
                         Completion completion);

    // The client's options, shared with it, its serial queue and its track callback; every
    // run's data gets them.
    std::shared_ptr<LAConfigOptions> configOptions;
    platform::DispatchQueuePtr serialQueue;
    std::function<LATrackEventCallback()> trackEventCallback;
    std::map<std::string, LANodeObjectPtr> nodes;
    std::map<std::string, LATaskObjectPtr> tasks;
    std::map<std::string, LAFlowObjectPtr> flows;

private:
    void handClientParts(LAFlowData& input) const;
    LATaskObjectPtr taskAt(const LAFlowObject& flow, std::size_t index) const;
    LANodeObjectPtr nodeAt(const LATaskObject& task, std::size_t index) const;
    void nodeDidComplete(const LANodeObject& node, const LATaskObject& task, LAFlowData& output) const;
};

}  // namespace LumenAnalyticsSDK
