// A value read and written as a whole under a recursive lock.
#pragma once
#include <mutex>
#include <utility>

namespace Berth {

template <class T>
class Atomic {
public:
    Atomic() = default;
    explicit Atomic(T value) : value_(std::move(value)) {}

    T value() const {
        std::lock_guard guard(lock_);
        return value_;
    }
    void setValue(T value) {
        std::lock_guard guard(lock_);
        value_ = std::move(value);
    }
    // A look-up and a change as one step under one hold of the lock.
    template <class F>
    decltype(auto) mutate(F&& body) {
        std::lock_guard guard(lock_);
        return std::forward<F>(body)(value_);
    }

private:
    mutable std::recursive_mutex lock_;
    T value_{};
};

}  // namespace Berth
