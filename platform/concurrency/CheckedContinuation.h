// Suspending a task until a callback-style operation answers: the body receives a
// continuation that must be resumed exactly once. A second resumption stops the process
// with a clear message; a continuation dropped without being resumed logs a warning
// (its task never goes on).
#pragma once
#include <atomic>
#include <coroutine>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

#include "platform/base/Void.h"
#include "platform/concurrency/TaskCore.h"

namespace platform {

namespace detail {

class ContinuationCore {
public:
    explicit ContinuationCore(std::string name) : name_(std::move(name)) {}
    virtual ~ContinuationCore() = default;
    const std::string& name() const { return name_; }
    // Takes the suspended coroutine and its task (the calling one).
    void prepare(std::coroutine_handle<> handle);
    // After the body: answers whether the coroutine stays suspended (false when the body
    // already resumed it).
    bool finishSuspending();
    // Claims the one resumption; a second one is fatal.
    void claimResumption();
    // Lets the coroutine go on, at once or when it has finished suspending.
    void continueAwaiter();
    bool wasResumed() const { return resumed_.load(); }

private:
    enum Phase : int { runningBody = 0, suspended = 1, resumedEarly = 2 };
    std::string name_;
    std::atomic<bool> resumed_{false};
    std::atomic<int> phase_{runningBody};
    std::coroutine_handle<> handle_;
    TaskCorePtr task_;
};

// Shared by every copy of one continuation; its end without a resumption is reported.
class ContinuationGuard {
public:
    explicit ContinuationGuard(std::shared_ptr<ContinuationCore> core) : core_(std::move(core)) {}
    ~ContinuationGuard();
    ContinuationGuard(const ContinuationGuard&) = delete;
    ContinuationGuard& operator=(const ContinuationGuard&) = delete;

private:
    std::shared_ptr<ContinuationCore> core_;
};

template <class T>
class ContinuationState final : public ContinuationCore {
public:
    using ContinuationCore::ContinuationCore;
    std::optional<T> value;
    std::exception_ptr error;
};

}  // namespace detail

template <class T>
class CheckedContinuation {
public:
    explicit CheckedContinuation(std::shared_ptr<detail::ContinuationState<T>> state)
        : state_(state), guard_(std::make_shared<detail::ContinuationGuard>(std::move(state))) {}

    void resume(T value) const {
        state_->claimResumption();
        state_->value.emplace(std::move(value));
        state_->continueAwaiter();
    }
    void resume() const
        requires std::same_as<T, Void>
    {
        resume(Void{});
    }
    // The awaiting task goes on by throwing `error`.
    void resume(std::exception_ptr error) const {
        state_->claimResumption();
        state_->error = std::move(error);
        state_->continueAwaiter();
    }

private:
    std::shared_ptr<detail::ContinuationState<T>> state_;
    std::shared_ptr<detail::ContinuationGuard> guard_;
};

template <class T, class Body>
class ContinuationAwaiter {
public:
    ContinuationAwaiter(std::string name, Body body)
        : state_(std::make_shared<detail::ContinuationState<T>>(std::move(name))), body_(std::move(body)) {}

    bool await_ready() const noexcept { return false; }
    bool await_suspend(std::coroutine_handle<> handle) {
        // Locals only from here: once resumed elsewhere, this object may be gone.
        auto state = state_;
        Body body = std::move(body_);
        state->prepare(handle);
        body(CheckedContinuation<T>(state));
        return state->finishSuspending();
    }
    T await_resume() {
        if (state_->error) std::rethrow_exception(state_->error);
        return std::move(*state_->value);
    }

private:
    std::shared_ptr<detail::ContinuationState<T>> state_;
    Body body_;
};

// `co_await withCheckedContinuation<T>("name", [](CheckedContinuation<T> c) { ... })`:
// the body runs at once with the continuation; the name appears in misuse reports.
template <class T, class Body>
ContinuationAwaiter<T, Body> withCheckedContinuation(std::string name, Body body) {
    return {std::move(name), std::move(body)};
}

}  // namespace platform
