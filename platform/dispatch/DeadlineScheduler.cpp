// The deadline thread behind asyncAfter.
#include "platform/dispatch/DeadlineScheduler.h"

#include "platform/base/NoDestructor.h"

#include <chrono>
#include <thread>

namespace platform::detail {

DeadlineScheduler& DeadlineScheduler::shared() {
    // Never destroyed: its thread runs for the life of the process.
    static NoDestructor<DeadlineScheduler> scheduler;
    return *scheduler;
}

DeadlineScheduler::DeadlineScheduler() {
    std::thread([this] { loop(); }).detach();
}

void DeadlineScheduler::schedule(DispatchTime deadline, std::function<void()> submit) {
    if (deadline.isDistantFuture()) return;  // never due
    std::lock_guard lock(mutex_);
    bool earliest = entries_.empty() || deadline.uptimeNanoseconds < entries_.begin()->first.first;
    entries_.emplace(std::make_pair(deadline.uptimeNanoseconds, sequence_++), std::move(submit));
    if (earliest) changed_.notify_one();
}

void DeadlineScheduler::loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (entries_.empty()) {
            changed_.wait(lock);
            continue;
        }
        auto first = entries_.begin();
        auto now = DispatchTime::now().uptimeNanoseconds;
        if (first->first.first > now) {
            // steady_clock is the clock DispatchTime reads.
            auto due = std::chrono::steady_clock::time_point(std::chrono::nanoseconds(first->first.first));
            changed_.wait_until(lock, due);
            continue;
        }
        auto submit = std::move(first->second);
        entries_.erase(first);
        lock.unlock();
        submit();
        submit = nullptr;
        lock.lock();
    }
}

}  // namespace platform::detail
