// Which request owns which URL-session task, and which of a task's two end events
// (completion, metrics) have arrived. A task leaves the map with the second of them.
#pragma once
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "platform/net/URLSessionTask.h"

namespace Hawser {

class Request;
using RequestPtr = std::shared_ptr<Request>;

class RequestTaskMap {
public:
    struct TaskEvents {
        bool completed = false;
        bool metricsGathered = false;
    };
    // What the caller has to do after an end event.
    enum class EventOutcome {
        waitForOther,  // the other end event has not arrived yet
        taskRemoved,   // both arrived: the task has left the map
    };

    // Maps the pair (replacing the request's earlier task) with no events yet.
    void set(const RequestPtr& request, const platform::URLSessionTaskPtr& task);
    RequestPtr request(const platform::URLSessionTaskPtr& forTask) const;
    platform::URLSessionTaskPtr task(const RequestPtr& forRequest) const;
    std::optional<TaskEvents> events(const platform::URLSessionTaskPtr& forTask) const;

    // Records one end event; the consistency stops are fatal (an engine bug, never input).
    EventOutcome disassociateIfNecessaryAfterGatheringMetricsForTask(const platform::URLSessionTaskPtr& task);
    EventOutcome disassociateIfNecessaryAfterCompletingTask(const platform::URLSessionTaskPtr& task);

    // The requests that own a task, one entry per mapped task.
    std::vector<RequestPtr> requests() const;
    std::size_t count() const { return tasksToRequests_.size(); }
    bool isEmpty() const { return tasksToRequests_.empty(); }

private:
    void remove(const platform::URLSessionTaskPtr& task);

    std::unordered_map<platform::URLSessionTaskPtr, RequestPtr> tasksToRequests_;
    std::unordered_map<RequestPtr, platform::URLSessionTaskPtr> requestsToTasks_;
    std::unordered_map<platform::URLSessionTaskPtr, TaskEvents> taskEvents_;
};

}  // namespace Hawser
