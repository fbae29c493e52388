// The engine's lock and its lock box: a value that is only ever touched with its own
// non-recursive lock held. Closures run under the lock must not take the same box again.
#pragma once
#include <mutex>
#include <type_traits>
#include <utility>

#include "platform/dispatch/UnfairLock.h"

namespace Hawser {

// Non-recursive; re-entry from the holding thread is caught in debug builds.
using UnfairLock = platform::UnfairLock;

template <class T>
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
    // from `body` passes through after the lock is released.
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
    mutable UnfairLock lock_;
    T value_{};
};

}  // namespace Hawser
