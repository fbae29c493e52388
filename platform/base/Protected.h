// The lock box: a value that is only ever touched with its own lock held. The lock is
// non-recursive by default (closures run under it must not take the same box again);
// a box whose closures may re-enter names `RecursiveLock`.
#pragma once
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <utility>

#include "platform/base/UnfairLock.h"

namespace platform {

template <class T, class Lock = UnfairLock>
class Protected {
public:
    Protected() = default;
    explicit Protected(T value) : value_(std::move(value)) {}
    Protected(const Protected&) = delete;
    Protected& operator=(const Protected&) = delete;

    // A copy of the whole value.
    T get() const {
        std::lock_guard guard(lock_);
        return value_;
    }
    void set(T value) {
        std::lock_guard guard(lock_);
        value_ = std::move(value);
    }

    // Runs `body` on the value with the lock held and returns its result; an exception
    // from `body` passes through after the lock is released. A look-up and a change made
    // in one `write` are one step.
    template <class F>
    decltype(auto) read(F&& body) const {
        std::lock_guard guard(lock_);
        return std::forward<F>(body)(static_cast<const T&>(value_));
    }
    template <class F>
    decltype(auto) write(F&& body) {
        std::lock_guard guard(lock_);
        return std::forward<F>(body)(value_);
    }

    // Blocks until `ready` holds for the value, sleeping on `condition` with the lock
    // released. Whoever makes it hold does so in a `write` that notifies `condition`.
    template <class Ready>
    void wait(std::condition_variable_any& condition, Ready&& ready) const {
        std::unique_lock guard(lock_);
        condition.wait(guard, [&] { return ready(static_cast<const T&>(value_)); });
    }
    // The same, giving up after `timeout`; answers whether `ready` holds.
    template <class Rep, class Period, class Ready>
    bool waitFor(std::condition_variable_any& condition, const std::chrono::duration<Rep, Period>& timeout,
                 Ready&& ready) const {
        std::unique_lock guard(lock_);
        return condition.wait_for(guard, timeout, [&] { return ready(static_cast<const T&>(value_)); });
    }

    // One member, by pointer to member: a copy out, or a replacement.
    template <class M>
    M get(M T::*member) const {
        std::lock_guard guard(lock_);
        return value_.*member;
    }
    template <class M, class V>
    void set(M T::*member, V&& value) {
        std::lock_guard guard(lock_);
        value_.*member = std::forward<V>(value);
    }

private:
    mutable Lock lock_;
    T value_{};
};

}  // namespace platform
