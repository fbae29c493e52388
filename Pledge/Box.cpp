// The lock of pending boxes.
#include "Pledge/Box.h"

#include <thread>

namespace Pledge {

namespace {
// Spin briefly, then give the processor away: sections are a few instructions long, but
// the holder may have been preempted.
inline void backOff(int& spins) {
    if (++spins < 64) return;
    spins = 0;
    std::this_thread::yield();
}
}  // namespace

void BoxLock::lock() {
    int spins = 0;
    for (;;) {
        int expected = 0;
        if (state_.compare_exchange_weak(expected, -1, std::memory_order_acquire, std::memory_order_relaxed)) return;
        backOff(spins);
    }
}

void BoxLock::lockShared() {
    int spins = 0;
    for (;;) {
        int current = state_.load(std::memory_order_relaxed);
        if (current >= 0 &&
            state_.compare_exchange_weak(current, current + 1, std::memory_order_acquire, std::memory_order_relaxed))
            return;
        backOff(spins);
    }
}

}  // namespace Pledge
