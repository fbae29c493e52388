// The untyped heart of an asynchronous task: its cancellation flag and handlers, the
// callbacks waiting for it to complete, and which task the calling thread runs.
#pragma once
#include <coroutine>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "platform/base/Protected.h"

namespace platform {

class TaskCore;
using TaskCorePtr = std::shared_ptr<TaskCore>;

class TaskCore {
public:
    using HandlerID = std::uint64_t;

    TaskCore() = default;
    TaskCore(const TaskCore&) = delete;
    TaskCore& operator=(const TaskCore&) = delete;
    virtual ~TaskCore() = default;

    bool isCancelled() const;
    bool isCompleted() const;
    // Marks the task cancelled and runs every installed handler once, on the calling
    // thread. Later calls do nothing.
    void cancel();
    // Installs `action` for a cancellation to come; when the task is already cancelled it
    // runs at once and 0 is answered.
    HandlerID addCancellationHandler(std::function<void()> action);
    void removeCancellationHandler(HandlerID id);

    // Stores `resume` to run when the task completes; answers false (and stores nothing)
    // when it already has.
    bool addCompletionWaiter(std::function<void()> resume);
    // Marks the task complete and runs the waiters, in the order they came.
    void complete();

    // An exception that escaped the task's body, rethrown to every awaiter.
    std::exception_ptr error;

private:
    struct State {
        bool cancelled = false;
        bool completed = false;
        HandlerID nextHandlerID = 1;
        std::vector<std::pair<HandlerID, std::function<void()>>> handlers;
        std::vector<std::function<void()>> waiters;
    };
    Protected<State> state_;
};

// The task whose body the calling thread runs, or null outside any task.
TaskCorePtr currentTask();
// True inside a task that has been cancelled.
bool isTaskCancelled();

namespace detail {
// Resumes `handle` with `task` as the calling thread's current task for the duration.
void resumeIn(const TaskCorePtr& task, std::coroutine_handle<> handle);
// Suspends `handle` (a coroutine of the calling task) until `awaited` completes;
// answers false when it already has, so the caller goes on at once.
bool suspendUntilComplete(const TaskCorePtr& awaited, std::coroutine_handle<> handle);
// Blocks until `task` completes; on the main thread the main run loop keeps running.
void waitUntilComplete(const TaskCorePtr& task);
}  // namespace detail

}  // namespace platform
