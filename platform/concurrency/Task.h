// Asynchronous tasks on C++20 coroutines. A function returning Task<T> is a task body:
// calling it starts the task at once (it runs on the caller's thread up to its first
// suspension) and hands back a handle whose result can be awaited any number of times,
// from several places, and which can cancel the task. A body's parameters are copied into it; capture nothing by reference.
// Inside a body, build an awaiter whose arguments are temporaries (lambdas, say) into a
// named local before `co_await`: temporaries that live across a suspension are not
// handled reliably by every compiler (GCC 12 destroys some twice).
#pragma once
#include <coroutine>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

#include "platform/base/Void.h"
#include "platform/concurrency/TaskCore.h"

namespace platform {

template <class T>
class Task;

namespace detail {

template <class T>
using Stored = std::conditional_t<std::is_void_v<T>, Void, T>;

template <class T>
class TaskState final : public TaskCore {
public:
    std::optional<Stored<T>> value;
};

template <class T, class Promise>
struct ReturnValue {
    void return_value(T value) { static_cast<Promise*>(this)->state->value.emplace(std::move(value)); }
};
template <class Promise>
struct ReturnValue<void, Promise> {
    void return_void() { static_cast<Promise*>(this)->state->value.emplace(); }
};

// Runs the body at once, as the task's own, up to its first suspension. Nothing of the
// frame is touched afterwards: the body may already have ended.
struct StartAwaiter {
    TaskCorePtr task;
    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> handle) const { resumeIn(task, handle); }
    void await_resume() const noexcept {}
};

// The body's end: the frame goes first, then the awaiters run.
template <class Promise>
struct FinalAwaiter {
    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<Promise> handle) const noexcept {
        TaskCorePtr task = handle.promise().state;
        handle.destroy();
        task->complete();
    }
    void await_resume() const noexcept {}
};

// Suspends the caller until the task completes, then hands out its result.
template <class T>
struct ValueAwaiter {
    std::shared_ptr<TaskState<T>> state;
    bool await_ready() const { return state->isCompleted(); }
    bool await_suspend(std::coroutine_handle<> handle) const { return suspendUntilComplete(state, handle); }
    T await_resume() const {
        if (state->error) std::rethrow_exception(state->error);
        if constexpr (!std::is_void_v<T>) return *state->value;
    }
};

}  // namespace detail

template <class T>
class Task {
public:
    struct promise_type : detail::ReturnValue<T, promise_type> {
        std::shared_ptr<detail::TaskState<T>> state = std::make_shared<detail::TaskState<T>>();
        Task get_return_object() { return Task(state); }
        detail::StartAwaiter initial_suspend() { return {state}; }
        detail::FinalAwaiter<promise_type> final_suspend() noexcept { return {}; }
        void unhandled_exception() { state->error = std::current_exception(); }
    };

    // The task's result, awaited from a task body (an escaped exception is rethrown).
    detail::ValueAwaiter<T> operator co_await() const { return {state_}; }
    detail::ValueAwaiter<T> value() const { return {state_}; }
    // Cancels the task: its installed cancellation handlers run now, on this thread.
    void cancel() const { state_->cancel(); }
    bool isCancelled() const { return state_->isCancelled(); }
    bool isCompleted() const { return state_->isCompleted(); }
    // The result of a completed task.
    T result() const { return detail::ValueAwaiter<T>{state_}.await_resume(); }
    const TaskCorePtr& core() const { return core_; }

private:
    explicit Task(std::shared_ptr<detail::TaskState<T>> state) : state_(std::move(state)), core_(state_) {}
    std::shared_ptr<detail::TaskState<T>> state_;
    TaskCorePtr core_;
};

// Awaits `awaiter` with `onCancel` installed on the calling task for the duration:
// it runs at once when the task is already cancelled, else when the task is cancelled
// while waiting (on the cancelling thread). An empty `onCancel` installs nothing.
template <class Awaiter>
class CancellationHandlerAwaiter {
public:
    CancellationHandlerAwaiter(Awaiter inner, std::function<void()> onCancel)
        : inner_(std::move(inner)), onCancel_(std::move(onCancel)) {}

    bool await_ready() {
        if (onCancel_) task_ = currentTask();
        if (task_) handler_ = task_->addCancellationHandler(onCancel_);
        if (!inner_.await_ready()) return false;
        release();
        return true;
    }
    // Nothing of this object is touched after the inner awaiter has suspended: the task
    // may already go on elsewhere.
    decltype(auto) await_suspend(std::coroutine_handle<> handle) { return inner_.await_suspend(handle); }
    decltype(auto) await_resume() {
        release();
        return inner_.await_resume();
    }

private:
    void release() {
        if (task_) task_->removeCancellationHandler(handler_);
        task_.reset();
    }
    Awaiter inner_;
    std::function<void()> onCancel_;
    TaskCorePtr task_;
    TaskCore::HandlerID handler_ = 0;
};

template <class Awaiter>
CancellationHandlerAwaiter<Awaiter> withTaskCancellationHandler(Awaiter awaiter, std::function<void()> onCancel) {
    return {std::move(awaiter), std::move(onCancel)};
}

// Awaits `inner` and hands its result through `transform`.
template <class Awaiter, class F>
struct MappedAwaiter {
    Awaiter inner;
    F transform;
    bool await_ready() { return inner.await_ready(); }
    decltype(auto) await_suspend(std::coroutine_handle<> handle) { return inner.await_suspend(handle); }
    decltype(auto) await_resume() { return transform(inner.await_resume()); }
};

template <class Awaiter, class F>
MappedAwaiter<Awaiter, F> mapAwaited(Awaiter awaiter, F transform) {
    return {std::move(awaiter), std::move(transform)};
}

// For callers outside a task: blocks until the task completes and answers its result.
// On the main thread the main run loop keeps serving its queue meanwhile.
template <class T>
T syncWait(const Task<T>& task) {
    detail::waitUntilComplete(task.core());
    return task.result();
}

}  // namespace platform
