// The three roles around the unsent-event cache: sources of batches to store, the
// object that stores them on a crash, and the object that reads them back.
#pragma once
#include <optional>
#include <vector>

#include "platform/base/Data.h"

namespace TallockSDK {

class CacheDataDelegate {
public:
    virtual ~CacheDataDelegate() = default;
    // The batches (JSON arrays of events) to keep; none when there is nothing.
    virtual std::optional<std::vector<platform::Data>> dataToCache() = 0;
};

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
