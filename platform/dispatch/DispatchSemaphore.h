// A counting semaphore with waits that can time out.
#pragma once
#include <chrono>
#include <condition_variable>  // kept for the files that take it from here
#include <memory>
#include <mutex>

#include "platform/dispatch/DispatchTime.h"

namespace platform {

class DispatchSemaphore;
using DispatchSemaphorePtr = std::shared_ptr<DispatchSemaphore>;

class DispatchSemaphore {
public:
    static DispatchSemaphorePtr create(long value) { return std::make_shared<DispatchSemaphore>(value); }
    // A negative starting value is a programming error (fatal).
    explicit DispatchSemaphore(long value);
    DispatchSemaphore(const DispatchSemaphore&) = delete;
    DispatchSemaphore& operator=(const DispatchSemaphore&) = delete;

    // Answers nonzero when threads were waiting (one of them is woken). A count is free to
    // whichever thread finds it first, one coming to wait included, so a semaphore used as a
    // lock passes between running threads without making them queue. Only once the longest
    // waiting thread has waited about a millisecond does a signal give the count to it
    // directly (at most once a millisecond), so threads that retake it in a loop never
    // starve a waiter.
    long signal();
    void wait();
    DispatchTimeoutResult wait(DispatchTime deadline);

private:
    struct Waiter;

    // Gives the count to the oldest waiter when it has waited long enough and the last such
    // gift is long enough ago; false when the count is to be left free instead.
    bool handOverToOldest();
    void wakeOldest();
    void passOnWakeUp();
    DispatchTimeoutResult takeOrLeave(Waiter& self);
    void append(Waiter& waiter);
    void unlink(Waiter& waiter);

    std::mutex mutex_;
    long value_;  // free counts
    // The threads waiting, oldest first, each on its own stack; one given a count leaves
    // the list at that moment, under the mutex.
    Waiter* oldest_ = nullptr;
    Waiter* newest_ = nullptr;
    Waiter* waking_ = nullptr;                 // woken to look for a free count, and not looked yet
    std::chrono::nanoseconds nextHandOver_{};  // on the coarse monotonic clock
};

// A semaphore used as a lock: waits when made, signals when it goes out of scope, so no
// path through the block can forget the signal.
class DispatchSemaphoreGuard {
public:
    explicit DispatchSemaphoreGuard(DispatchSemaphore& semaphore) : semaphore_(semaphore) { semaphore_.wait(); }
    ~DispatchSemaphoreGuard() { semaphore_.signal(); }
    DispatchSemaphoreGuard(const DispatchSemaphoreGuard&) = delete;
    DispatchSemaphoreGuard& operator=(const DispatchSemaphoreGuard&) = delete;

private:
    DispatchSemaphore& semaphore_;
};

}  // namespace platform
