// The three roles around the unsent-event cache: sources of batches to store, the
// object that stores them on a crash, and the object that reads them back.
#pragma once
#include <optional>
#include <vector>

#include "platform/base/Data.h"
#include "platform/dispatch/DispatchSemaphore.h"

namespace TallockSDK {

// Thrown by a source that a crash store could not lock in time: it read nothing.
struct CacheSourceLocked {};

class CacheDataDelegate {
public:
    virtual ~CacheDataDelegate() = default;
    // The batches (JSON arrays of events) to keep; none when there is nothing. Throws
    // CacheSourceLocked when the source's lock was not had in time.
    virtual std::optional<std::vector<platform::Data>> dataToCache() = 0;
};

// How long a crash store waits for a source's lock. The crashed thread may hold it and
// never let go, and the whole store must end well within the crash watchdog. A live holder
// lets go long before: the lock gives itself to a thread that has waited a millisecond.
inline constexpr double crashStoreLockPatience = 0.5;

// Runs `read()` for a crash store, holding `lock`. When it does not come free within the
// patience, its holder is most likely the crashed thread, stopped in the middle of a
// change: nothing is read then (CacheSourceLocked), as that state cannot be read safely.
template <class Read>
auto readForCrashStore(platform::DispatchSemaphore& lock, Read&& read) {
    if (lock.wait(platform::DispatchTime::now() + crashStoreLockPatience) != platform::DispatchTimeoutResult::success)
        throw CacheSourceLocked();
    struct Release {
        platform::DispatchSemaphore& lock;
        ~Release() { lock.signal(); }
    } release{lock};
    return read();
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
