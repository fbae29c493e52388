// Cancellation, completion and the current task of the calling thread.
#include "platform/concurrency/TaskCore.h"

#include <algorithm>
#include <condition_variable>
#include <utility>

#include "platform/runloop/RunLoop.h"
#include "platform/runloop/Thread.h"

namespace platform {

namespace {
thread_local TaskCorePtr runningTask;
}

bool TaskCore::isCancelled() const { return state_.get(&State::cancelled); }

bool TaskCore::isCompleted() const { return state_.get(&State::completed); }

void TaskCore::cancel() {
    auto handlers = state_.write([](State& state) {
        std::vector<std::pair<HandlerID, std::function<void()>>> taken;
        if (!state.cancelled) {
            state.cancelled = true;
            taken.swap(state.handlers);
        }
        return taken;
    });
    for (auto& [id, action] : handlers) action();
}

TaskCore::HandlerID TaskCore::addCancellationHandler(std::function<void()> action) {
    HandlerID id = state_.write([&](State& state) -> HandlerID {
        if (state.cancelled) return 0;
        state.handlers.emplace_back(state.nextHandlerID, std::move(action));
        return state.nextHandlerID++;
    });
    if (id == 0) action();
    return id;
}

void TaskCore::removeCancellationHandler(HandlerID id) {
    if (id == 0) return;
    // The handler is released after the lock, so whatever it holds is destroyed outside it.
    std::function<void()> removed = state_.write([id](State& state) {
        std::function<void()> found;
        auto it =
            std::find_if(state.handlers.begin(), state.handlers.end(), [id](const auto& h) { return h.first == id; });
        if (it != state.handlers.end()) {
            found = std::move(it->second);
            state.handlers.erase(it);
        }
        return found;
    });
}

bool TaskCore::addCompletionWaiter(std::function<void()> resume) {
    return state_.write([&](State& state) {
        if (state.completed) return false;
        state.waiters.push_back(std::move(resume));
        return true;
    });
}

void TaskCore::complete() {
    auto waiters = state_.write([](State& state) {
        state.completed = true;
        // A finished task has nothing left to cancel.
        state.handlers.clear();
        return std::exchange(state.waiters, {});
    });
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
        struct Flag {
            bool done = false;
        };
        Protected<Flag> flag;
        std::condition_variable_any changed;
    };
    auto signal = std::make_shared<Signal>();
    bool waiting = task->addCompletionWaiter([signal] {
        signal->flag.write([&](Signal::Flag& flag) {
            flag.done = true;
            signal->changed.notify_all();
        });
    });
    if (!waiting) return;
    signal->flag.wait(signal->changed, [](const Signal::Flag& flag) { return flag.done; });
}

}  // namespace detail

}  // namespace platform
