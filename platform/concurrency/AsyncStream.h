// An asynchronous sequence fed through a continuation: any number of producers, on any
// threads, yield elements and finish it; one consumer iterates with
// `while (auto element = co_await iterator.next())`. Elements that arrive while nobody
// waits are kept by the buffering policy. The stream ends for the producers (yields are
// dropped, `onTermination` runs once) when it is finished or when the stream and every
// iterator of it are gone.
#pragma once
#include <coroutine>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include "platform/base/Protected.h"
#include "platform/concurrency/TaskCore.h"

namespace platform {

struct BufferingPolicy {
    enum class Kind { unbounded, bufferingOldest, bufferingNewest };
    Kind kind = Kind::unbounded;
    std::size_t limit = 0;

    static BufferingPolicy unbounded() { return {}; }
    // Keeps the first `n` waiting elements; later ones are dropped.
    static BufferingPolicy bufferingOldest(std::size_t n) { return {Kind::bufferingOldest, n}; }
    // Keeps the last `n` waiting elements; the oldest make room.
    static BufferingPolicy bufferingNewest(std::size_t n) { return {Kind::bufferingNewest, n}; }
};

enum class YieldResult { enqueued, dropped, terminated };

namespace detail {

// A consumer suspended in `next()`, resumed as the task it ran in.
struct StreamWaiter {
    std::coroutine_handle<> handle;
    TaskCorePtr task;
    void resume() const;
};
[[noreturn]] void twoConsumersOfOneStream();

// What the stream's lifetime ends: a waiting consumer goes on (with no element) and
// `onTermination` runs.
class StreamEnd {
public:
    virtual ~StreamEnd() = default;
    virtual void finish() = 0;
};

template <class T>
class StreamState final : public StreamEnd {
public:
    explicit StreamState(BufferingPolicy policy) : policy_(policy) {}

    YieldResult yield(T element) {
        std::optional<StreamWaiter> waiter;
        auto result = state_.write([&](State& state) {
            if (state.finished) return YieldResult::terminated;
            if (state.waiter) {
                waiter = std::exchange(state.waiter, std::nullopt);
                state.delivered.emplace(std::move(element));
                return YieldResult::enqueued;
            }
            return buffer(state, std::move(element));
        });
        if (waiter) waiter->resume();
        return result;
    }

    void setOnTermination(std::function<void()> callback) {
        bool runNow = state_.write([&](State& state) {
            if (state.finished) return true;
            state.onTermination = std::move(callback);
            return false;
        });
        if (runNow && callback) callback();
    }

    void finish() override {
        struct Ending {
            std::optional<StreamWaiter> waiter;
            std::function<void()> onTermination;
        };
        auto ending = state_.write([](State& state) -> std::optional<Ending> {
            if (state.finished) return std::nullopt;
            state.finished = true;
            return Ending{std::exchange(state.waiter, std::nullopt), std::exchange(state.onTermination, nullptr)};
        });
        if (!ending) return;
        if (ending->waiter) ending->waiter->resume();
        if (ending->onTermination) ending->onTermination();
    }

    // The consumer's side of `next()`.
    bool ready() {
        return state_.write([](State& state) { return takeReady(state); });
    }
    bool suspend(std::coroutine_handle<> handle) {
        return state_.write([&](State& state) {
            if (takeReady(state)) return false;
            if (state.waiter) twoConsumersOfOneStream();
            state.waiter = StreamWaiter{handle, currentTask()};
            return true;
        });
    }
    std::optional<T> take() {
        return state_.write([](State& state) { return std::exchange(state.delivered, std::nullopt); });
    }

private:
    struct State {
        bool finished = false;
        std::optional<StreamWaiter> waiter;
        std::function<void()> onTermination;
        std::deque<T> buffer;
        std::optional<T> delivered;
    };

    // Moves the next buffered element (if any) into the delivery slot and answers whether
    // the consumer can go on without waiting.
    static bool takeReady(State& state) {
        if (!state.buffer.empty()) {
            state.delivered.emplace(std::move(state.buffer.front()));
            state.buffer.pop_front();
            return true;
        }
        return state.finished;
    }
    YieldResult buffer(State& state, T element) const {
        using Kind = BufferingPolicy::Kind;
        if (policy_.kind == Kind::bufferingOldest && state.buffer.size() >= policy_.limit) return YieldResult::dropped;
        if (policy_.kind == Kind::bufferingNewest && state.buffer.size() >= policy_.limit) {
            if (policy_.limit == 0) return YieldResult::dropped;
            state.buffer.pop_front();
        }
        state.buffer.push_back(std::move(element));
        return YieldResult::enqueued;
    }

    const BufferingPolicy policy_;
    Protected<State> state_;
};

// Held by the stream and its iterators: when the last goes, the stream terminates.
class StreamLifetime {
public:
    explicit StreamLifetime(std::shared_ptr<StreamEnd> end) : end_(std::move(end)) {}
    ~StreamLifetime() { end_->finish(); }
    StreamLifetime(const StreamLifetime&) = delete;
    StreamLifetime& operator=(const StreamLifetime&) = delete;

private:
    std::shared_ptr<StreamEnd> end_;
};

}  // namespace detail

template <class T>
class AsyncStream {
public:
    class Continuation {
    public:
        explicit Continuation(std::shared_ptr<detail::StreamState<T>> state) : state_(std::move(state)) {}
        YieldResult yield(T element) const { return state_->yield(std::move(element)); }
        void finish() const { state_->finish(); }
        // Runs once, when the stream is finished or abandoned by its consumer.
        void setOnTermination(std::function<void()> callback) const { state_->setOnTermination(std::move(callback)); }

    private:
        std::shared_ptr<detail::StreamState<T>> state_;
    };

    class Iterator {
    public:
        struct NextAwaiter {
            std::shared_ptr<detail::StreamState<T>> state;
            bool await_ready() const { return state->ready(); }
            bool await_suspend(std::coroutine_handle<> handle) const { return state->suspend(handle); }
            std::optional<T> await_resume() const { return state->take(); }
        };
        // The next element, or none once the stream has ended and its buffer is empty.
        NextAwaiter next() const { return {state_}; }

    private:
        friend class AsyncStream;
        Iterator(std::shared_ptr<detail::StreamState<T>> state, std::shared_ptr<detail::StreamLifetime> lifetime)
            : state_(std::move(state)), lifetime_(std::move(lifetime)) {}
        std::shared_ptr<detail::StreamState<T>> state_;
        std::shared_ptr<detail::StreamLifetime> lifetime_;
    };

    // `build` runs at once, here, with the stream's continuation.
    AsyncStream(BufferingPolicy policy, const std::function<void(Continuation)>& build)
        : state_(std::make_shared<detail::StreamState<T>>(policy)),
          lifetime_(std::make_shared<detail::StreamLifetime>(state_)) {
        build(Continuation(state_));
    }
    explicit AsyncStream(const std::function<void(Continuation)>& build)
        : AsyncStream(BufferingPolicy::unbounded(), build) {}

    // One consumer at a time: a second concurrent `next()` is a programming error.
    Iterator makeAsyncIterator() const { return Iterator(state_, lifetime_); }

private:
    std::shared_ptr<detail::StreamState<T>> state_;
    std::shared_ptr<detail::StreamLifetime> lifetime_;
};

}  // namespace platform
