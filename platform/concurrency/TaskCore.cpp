// Cancellation, completion and the current task of the calling thread.
#include "platform/concurrency/TaskCore.h"

#include <algorithm>
#include <condition_variable>

#include "platform/runloop/RunLoop.h"
#include "platform/runloop/Thread.h"

namespace platform {

namespace {
thread_local TaskCorePtr runningTask;
}

bool TaskCore::isCancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
}

bool TaskCore::isCompleted() const {
    std::lock_guard lock(mutex_);
    return completed_;
}

void TaskCore::cancel() {
    std::vector<std::pair<HandlerID, std::function<void()>>> handlers;
    {
        std::lock_guard lock(mutex_);
        if (cancelled_) return;
        cancelled_ = true;
        handlers.swap(handlers_);
    }
    for (auto& [id, action] : handlers) action();
}

TaskCore::HandlerID TaskCore::addCancellationHandler(std::function<void()> action) {
    {
        std::lock_guard lock(mutex_);
        if (!cancelled_) {
            handlers_.emplace_back(nextHandlerID_, std::move(action));
            return nextHandlerID_++;
        }
    }
    action();
    return 0;
}

void TaskCore::removeCancellationHandler(HandlerID id) {
    if (id == 0) return;
    std::function<void()> removed;  // released outside the lock
    std::lock_guard lock(mutex_);
    auto found = std::find_if(handlers_.begin(), handlers_.end(), [id](const auto& h) { return h.first == id; });
    if (found != handlers_.end()) {
        removed = std::move(found->second);
        handlers_.erase(found);
    }
}

bool TaskCore::addCompletionWaiter(std::function<void()> resume) {
    std::lock_guard lock(mutex_);
    if (completed_) return false;
    waiters_.push_back(std::move(resume));
    return true;
}

void TaskCore::complete() {
    std::vector<std::function<void()>> waiters;
    {
        std::lock_guard lock(mutex_);
        completed_ = true;
        waiters.swap(waiters_);
        // A finished task has nothing left to cancel.
        handlers_.clear();
    }
    for (auto& resume : waiters) resume();
}

TaskCorePtr currentTask() { return runningTask; }

bool isTaskCancelled() { return runningTask && runningTask->isCancelled(); }

namespace detail {

void resumeIn(const TaskCorePtr& task, std::coroutine_handle<> handle) {
    TaskCorePtr outer = std::exchange(runningTask, task);
    handle.resume();
    runningTask = std::move(outer);
}

bool suspendUntilComplete(const TaskCorePtr& awaited, std::coroutine_handle<> handle) {
    return awaited->addCompletionWaiter([caller = runningTask, handle] { resumeIn(caller, handle); });
}

void waitUntilComplete(const TaskCorePtr& task) {
    if (Thread::isMainThread()) {
        // As `hang` does: the loop keeps serving the main queue, so work the task waits
        // for on the main queue still runs. The state is tested after every turn, so an
        // early wake-up is never lost.
        auto loop = RunLoop::current();
        task->addCompletionWaiter([loop] { loop->wakeUp(); });
        while (!task->isCompleted()) loop->runOnce(1.0);
        return;
    }
    struct Signal {
        std::mutex mutex;
        std::condition_variable changed;
        bool done = false;
    };
    auto signal = std::make_shared<Signal>();
    bool waiting = task->addCompletionWaiter([signal] {
        std::lock_guard lock(signal->mutex);
        signal->done = true;
        signal->changed.notify_all();
    });
    if (!waiting) return;
    std::unique_lock lock(signal->mutex);
    signal->changed.wait(lock, [&] { return signal->done; });
}

}  // namespace detail

}  // namespace platform
