// The task-to-request map with its end-event bookkeeping.
#include "Hawser/RequestTaskMap.h"

#include "platform/base/Fatal.h"

namespace Hawser {

void RequestTaskMap::set(const RequestPtr& request, const platform::URLSessionTaskPtr& task) {
    requestsToTasks_[request] = task;
    tasksToRequests_[task] = request;
    taskEvents_[task] = TaskEvents{};
}

RequestPtr RequestTaskMap::request(const platform::URLSessionTaskPtr& forTask) const {
    auto it = tasksToRequests_.find(forTask);
    return it == tasksToRequests_.end() ? nullptr : it->second;
}

platform::URLSessionTaskPtr RequestTaskMap::task(const RequestPtr& forRequest) const {
    auto it = requestsToTasks_.find(forRequest);
    return it == requestsToTasks_.end() ? nullptr : it->second;
}

std::optional<RequestTaskMap::TaskEvents> RequestTaskMap::events(const platform::URLSessionTaskPtr& forTask) const {
    auto it = taskEvents_.find(forTask);
    if (it == taskEvents_.end()) return std::nullopt;
    return it->second;
}

void RequestTaskMap::remove(const platform::URLSessionTaskPtr& task) {
    auto it = tasksToRequests_.find(task);
    if (it == tasksToRequests_.end())
        platform::fatal("RequestTaskMap consistency error: no request corresponding to task found.");
    auto request = it->second;
    tasksToRequests_.erase(it);
    requestsToTasks_.erase(request);
    taskEvents_.erase(task);
}

RequestTaskMap::EventOutcome
RequestTaskMap::disassociateIfNecessaryAfterGatheringMetricsForTask(const platform::URLSessionTaskPtr& task) {
    auto it = taskEvents_.find(task);
    if (it == taskEvents_.end())
        platform::fatal("RequestTaskMap consistency error: no events corresponding to task found.");
    if (it->second.metricsGathered)
        platform::fatal("RequestTaskMap consistency error: duplicate metricsGatheredForTask call.");
    if (!it->second.completed) {
        it->second.metricsGathered = true;
        return EventOutcome::waitForOther;
    }
    remove(task);
    return EventOutcome::taskRemoved;
}

RequestTaskMap::EventOutcome
RequestTaskMap::disassociateIfNecessaryAfterCompletingTask(const platform::URLSessionTaskPtr& task) {
    auto it = taskEvents_.find(task);
    if (it == taskEvents_.end())
        platform::fatal("RequestTaskMap consistency error: no events corresponding to task found.");
    if (it->second.completed)
        platform::fatal("RequestTaskMap consistency error: duplicate completionReceivedForTask call.");
    if (!it->second.metricsGathered) {
        it->second.completed = true;
        return EventOutcome::waitForOther;
    }
    remove(task);
    return EventOutcome::taskRemoved;
}

std::vector<RequestPtr> RequestTaskMap::requests() const {
    std::vector<RequestPtr> out;
    out.reserve(tasksToRequests_.size());
    for (const auto& [task, request] : tasksToRequests_) out.push_back(request);
    return out;
}

}  // namespace Hawser
