// A small non-recursive mutual-exclusion lock. Taking it again on the thread that holds
// it is a programming error: builds without NDEBUG stop with a fatal error instead of
// deadlocking.
#pragma once
#include <atomic>
#include <mutex>
#include <thread>
#include <utility>

namespace platform {

class UnfairLock {
public:
    UnfairLock() = default;
    UnfairLock(const UnfairLock&) = delete;
    UnfairLock& operator=(const UnfairLock&) = delete;

    void lock() {
#ifndef NDEBUG
        if (ownedByCurrentThread()) reentered();
#endif
        mutex_.lock();
        owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
    }
    bool tryLock() {
        if (!mutex_.try_lock()) return false;
        owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
        return true;
    }
    bool try_lock() { return tryLock(); }
    void unlock() {
        owner_.store(std::thread::id(), std::memory_order_relaxed);
        mutex_.unlock();
    }

    // Runs `f` with the lock held (released also when `f` throws) and returns its value.
    template <class F>
    decltype(auto) withLock(F&& f) {
        std::lock_guard guard(*this);
        return std::forward<F>(f)();
    }
    template <class F>
    decltype(auto) around(F&& f) {
        return withLock(std::forward<F>(f));
    }

    bool ownedByCurrentThread() const { return owner_.load(std::memory_order_relaxed) == std::this_thread::get_id(); }
    // Fatal unless the calling thread holds the lock.
    void assertOwner() const;
    void assertNotOwner() const;

private:
    [[noreturn]] static void reentered();

    std::mutex mutex_;
    std::atomic<std::thread::id> owner_{};
};

// Holds a lock for its scope; works with any lock that has lock() and unlock().
template <class Lock>
class [[nodiscard]] LockGuard {
public:
    explicit LockGuard(Lock& lock) : lock_(lock) { lock_.lock(); }
    ~LockGuard() { lock_.unlock(); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

private:
    Lock& lock_;
};

}  // namespace platform
