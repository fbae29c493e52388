// A setting that one thread may change while others read it: each read and write is
// atomic on its own, with no ordering against other memory (nothing else hangs on it).
#pragma once

#include <atomic>

namespace LumenAnalyticsSDK {

template <class T>
class LARelaxedAtomic {
public:
    LARelaxedAtomic(T value = T{}) noexcept : value_(value) {}
    LARelaxedAtomic(const LARelaxedAtomic&) = delete;
    LARelaxedAtomic& operator=(const LARelaxedAtomic&) = delete;

    operator T() const noexcept { return value_.load(std::memory_order_relaxed); }
    LARelaxedAtomic& operator=(T value) noexcept {
        value_.store(value, std::memory_order_relaxed);
        return *this;
    }

private:
    std::atomic<T> value_;
};

}  // namespace LumenAnalyticsSDK
