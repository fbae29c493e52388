// The three roles around the unsent-event cache: sources of batches to store, the
// object that stores them on a crash, and the object that reads them back.
#pragma once
#include <optional>
#include <vector>

#include "platform/base/Data.h"
#include "platform/dispatch/DispatchSemaphore.h"

namespace TallockSDK {

class CacheDataDelegate {
public:
    virtual ~CacheDataDelegate() = default;
    // The batches (JSON arrays of events) to keep; none when there is nothing.
    virtual std::optional<std::vector<platform::Data>> dataToCache() = 0;
};

// How long a crash store waits for a source's lock. The crashed thread may hold it and
// never let go, and the whole store must end well within the crash watchdog.
inline constexpr double crashStoreLockPatience = 0.5;

// Runs `read(locked)` for a crash store: holding `lock` when it comes free within the
// patience, else without it (`locked` false). Whoever holds it then is most likely the
// crashed thread, stopped in the middle of a change, so that read must expect half-made
// state.
template <class Read>
auto readForCrashStore(platform::DispatchSemaphore& lock, Read&& read) {
    const bool locked =
        lock.wait(platform::DispatchTime::now() + crashStoreLockPatience) == platform::DispatchTimeoutResult::success;
    auto result = read(locked);
    if (locked) lock.signal();
    return result;
}

class CrashDelegate {
public:
    virtual ~CrashDelegate() = default;
    virtual void storeLogs() = 0;
};

class CacheReadable {
public:
    virtual ~CacheReadable() = default;
    virtual std::optional<std::vector<platform::Data>> readCachedLogs() = 0;
};

}  // namespace TallockSDK
