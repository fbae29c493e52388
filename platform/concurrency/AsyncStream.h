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
#include <mutex>
#include <optional>
#include <utility>

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

// What does not depend on the element type: the end of the stream, the waiting
// consumer and the termination callback.
class StreamCore {
public:
    virtual ~StreamCore() = default;
    void setOnTermination(std::function<void()> callback);
    // Ends the stream: a waiting consumer goes on (with no element), `onTermination` runs.
    void finish();

protected:
    // Under the lock: whether a consumer waits, and taking it.
    struct Waiter {
        std::coroutine_handle<> handle;
        TaskCorePtr task;
    };
    void suspendConsumer(std::coroutine_handle<> handle);  // with the lock held
    static void resumeConsumer(const Waiter& waiter);

    std::mutex mutex_;
    bool finished_ = false;
    std::optional<Waiter> waiter_;
    std::function<void()> onTermination_;
};

template <class T>
class StreamState final : public StreamCore {
public:
    explicit StreamState(BufferingPolicy policy) : policy_(policy) {}

    YieldResult yield(T element) {
        std::unique_lock lock(mutex_);
        if (finished_) return YieldResult::terminated;
        if (waiter_) {
            Waiter waiter = *std::exchange(waiter_, std::nullopt);
            delivered_.emplace(std::move(element));
            lock.unlock();
            resumeConsumer(waiter);
            return YieldResult::enqueued;
        }
        return buffer(std::move(element));
    }

    // The consumer's side of `next()`.
    bool ready() {
        std::lock_guard lock(mutex_);
        return takeReady();
    }
    bool suspend(std::coroutine_handle<> handle) {
        std::lock_guard lock(mutex_);
        if (takeReady()) return false;
        suspendConsumer(handle);
        return true;
    }
    std::optional<T> take() { return std::exchange(delivered_, std::nullopt); }

private:
    // With the lock held: moves the next buffered element (if any) into the delivery
    // slot and answers whether the consumer can go on without waiting.
    bool takeReady() {
        if (!buffer_.empty()) {
            delivered_.emplace(std::move(buffer_.front()));
            buffer_.pop_front();
            return true;
        }
        return finished_;
    }
    YieldResult buffer(T element) {
        using Kind = BufferingPolicy::Kind;
        if (policy_.kind == Kind::bufferingOldest && buffer_.size() >= policy_.limit) return YieldResult::dropped;
        if (policy_.kind == Kind::bufferingNewest && buffer_.size() >= policy_.limit) {
            if (policy_.limit == 0) return YieldResult::dropped;
            buffer_.pop_front();
        }
        buffer_.push_back(std::move(element));
        return YieldResult::enqueued;
    }
    BufferingPolicy policy_;
    std::deque<T> buffer_;
    std::optional<T> delivered_;
};

// Held by the stream and its iterators: when the last goes, the stream terminates.
class StreamLifetime {
public:
    explicit StreamLifetime(std::shared_ptr<StreamCore> core) : core_(std::move(core)) {}
    ~StreamLifetime() { core_->finish(); }
    StreamLifetime(const StreamLifetime&) = delete;
    StreamLifetime& operator=(const StreamLifetime&) = delete;

private:
    std::shared_ptr<StreamCore> core_;
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
