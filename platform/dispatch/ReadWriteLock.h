// Many readers or one writer at a time.
#pragma once
#include <mutex>
#include <shared_mutex>
#include <utility>

namespace platform {

class ReadWriteLock {
public:
    ReadWriteLock() = default;
    ReadWriteLock(const ReadWriteLock&) = delete;
    ReadWriteLock& operator=(const ReadWriteLock&) = delete;

    void lockRead() { mutex_.lock_shared(); }
    bool tryLockRead() { return mutex_.try_lock_shared(); }
    void unlockRead() { mutex_.unlock_shared(); }
    void lockWrite() { mutex_.lock(); }
    bool tryLockWrite() { return mutex_.try_lock(); }
    void unlockWrite() { mutex_.unlock(); }

    // The standard lock names, so std::shared_lock and std::unique_lock work too.
    void lock_shared() { lockRead(); }
    bool try_lock_shared() { return tryLockRead(); }
    void unlock_shared() { unlockRead(); }
    void lock() { lockWrite(); }
    bool try_lock() { return tryLockWrite(); }
    void unlock() { unlockWrite(); }

    template <class F>
    decltype(auto) read(F&& f) {
        std::shared_lock guard(mutex_);
        return std::forward<F>(f)();
    }
    template <class F>
    decltype(auto) write(F&& f) {
        std::unique_lock guard(mutex_);
        return std::forward<F>(f)();
    }

private:
    std::shared_mutex mutex_;
};

}  // namespace platform
