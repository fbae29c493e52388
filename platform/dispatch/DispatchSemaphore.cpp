// Counting semaphore over a mutex and a list of its waiters, each with a condition variable
// of its own, so that a signal wakes the very thread it means: the oldest, one at a time,
// or the one kept out for a while when it gives that thread a count directly.
#include "platform/dispatch/DispatchSemaphore.h"

#include <time.h>

#include <chrono>
#include <condition_variable>

#include "platform/base/Fatal.h"
#include "platform/dispatch/ThreadPool.h"

namespace platform {

namespace {
// How long a waiter may be passed over by threads that find the count free, and how often
// at most a count is given to a waiter directly: a gift leaves the count idle while that
// thread wakes, and the threads that find it taken then go to sleep, which under steady
// contention costs far more than the turn itself.
constexpr auto kFairnessDelay = std::chrono::milliseconds(1);

// The coarse monotonic clock, in steps of the kernel's tick (1 to 4 ms on common kernels,
// so the delay above is one tick there). Every signal that finds a thread waiting reads it
// under the semaphore's mutex: it costs a few nanoseconds, where the fine clock's 25 or so
// halved the turns of a contended semaphore of 1 on a virtual machine.
std::chrono::nanoseconds coarseNow() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}
}  // namespace

struct DispatchSemaphore::Waiter {
    explicit Waiter(std::chrono::nanoseconds since) : since(since) {}
    const std::chrono::nanoseconds since;  // coarseNow() when it came to wait
    Waiter* older = nullptr;
    Waiter* newer = nullptr;
    bool given = false;  // a count is its own
    std::condition_variable wakeUp;
};

DispatchSemaphore::DispatchSemaphore(long value) : value_(value) {
    if (value < 0) fatal("DispatchSemaphore created with a negative value");
}

long DispatchSemaphore::signal() {
    std::lock_guard lock(mutex_);
    if (!oldest_) {
        ++value_;
        return 0;
    }
    if (handOverToOldest()) return 1;
    // Free to whoever comes first; the thread woken takes it unless another one did.
    ++value_;
    if (!waking_) wakeOldest();
    return 1;
}

// One waiter at a time is woken to look for free counts: waking one a signal while the
// first is still on its way wakes every waiter of a contended semaphore over and over, and
// they crowd its mutex. A thread that looks passes the turn on while counts are left.
void DispatchSemaphore::wakeOldest() {
    waking_ = oldest_;
    oldest_->wakeUp.notify_one();
}

void DispatchSemaphore::passOnWakeUp() {
    if (value_ > 0 && oldest_ && !waking_) wakeOldest();
}

bool DispatchSemaphore::handOverToOldest() {
    const auto now = coarseNow();
    if (now < nextHandOver_ || now - oldest_->since < kFairnessDelay) return false;
    Waiter& waiter = *oldest_;
    unlink(waiter);
    waiter.given = true;
    waiter.wakeUp.notify_one();
    nextHandOver_ = now + kFairnessDelay;
    return true;
}

void DispatchSemaphore::wait() { wait(DispatchTime::distantFuture()); }

DispatchTimeoutResult DispatchSemaphore::wait(DispatchTime deadline) {
    std::unique_lock lock(mutex_);
    if (value_ > 0) {
        --value_;
        return DispatchTimeoutResult::success;
    }
    detail::BlockingScope blocking;
    Waiter self(coarseNow());
    append(self);
    const auto due = std::chrono::steady_clock::time_point(std::chrono::nanoseconds(deadline.uptimeNanoseconds));
    bool timedOut = false;
    while (!self.given && value_ == 0 && !timedOut) {
        if (deadline.isDistantFuture()) self.wakeUp.wait(lock);
        else timedOut = self.wakeUp.wait_until(lock, due) == std::cv_status::timeout;
        if (waking_ == &self) waking_ = nullptr;
    }
    // Under the mutex a waiter either was given a count or is still in the list: one that
    // times out can neither lose a gift nor be given one after it leaves.
    const auto result = takeOrLeave(self);
    passOnWakeUp();
    return result;
}

DispatchTimeoutResult DispatchSemaphore::takeOrLeave(Waiter& self) {
    if (self.given) return DispatchTimeoutResult::success;
    unlink(self);
    if (value_ == 0) return DispatchTimeoutResult::timedOut;
    --value_;
    return DispatchTimeoutResult::success;
}

void DispatchSemaphore::append(Waiter& waiter) {
    waiter.older = newest_;
    if (newest_) newest_->newer = &waiter;
    else oldest_ = &waiter;
    newest_ = &waiter;
}

void DispatchSemaphore::unlink(Waiter& waiter) {
    (waiter.older ? waiter.older->newer : oldest_) = waiter.newer;
    (waiter.newer ? waiter.newer->older : newest_) = waiter.older;
    waiter.older = waiter.newer = nullptr;
}

}  // namespace platform
