// A counting semaphore with waits that can time out.
#pragma once
#include <condition_variable>
#include <list>
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

    // Answers nonzero when a waiting thread was woken. The threads waiting get the counts in
    // the order they came, before any thread that comes to wait later, so a thread that
    // waits and signals in a loop never starves the others.
    long signal();
    void wait();
    DispatchTimeoutResult wait(DispatchTime deadline);

private:
    std::mutex mutex_;
    std::condition_variable available_;
    long value_;  // counts no waiting thread was given
    // The threads waiting, oldest first; a signal sets the oldest one's flag and takes it off.
    std::list<bool*> waiting_;
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
