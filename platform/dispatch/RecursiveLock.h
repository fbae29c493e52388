// A lock the holding thread may take again; each lock needs its unlock.
#pragma once
#include <mutex>
#include <utility>

namespace platform {

class RecursiveLock {
public:
    RecursiveLock() = default;
    RecursiveLock(const RecursiveLock&) = delete;
    RecursiveLock& operator=(const RecursiveLock&) = delete;

    void lock() { mutex_.lock(); }
    bool tryLock() { return mutex_.try_lock(); }
    bool try_lock() { return tryLock(); }
    void unlock() { mutex_.unlock(); }

    template <class F>
    decltype(auto) withLock(F&& f) {
        std::lock_guard guard(mutex_);
        return std::forward<F>(f)();
    }

private:
    std::recursive_mutex mutex_;
};

}  // namespace platform
