// A fixed pool of `logCapacity` event instances: the buffer holds pooled copies of the
// caller's events, never the caller's objects, and creates no events after set-up.
#pragma once
#include <memory>
#include <vector>

#include "TallockSDK/Event.h"
#include "TallockSDK/TallockConfig.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSemaphore.h"

namespace TallockSDK {

class LogPool : public std::enable_shared_from_this<LogPool> {
public:
    static std::shared_ptr<LogPool> create(const TallockConfig& config);
    explicit LogPool(int logCapacity);
    virtual ~LogPool() = default;

    // A free instance carrying the event's fields, or none when none is free right now.
    virtual EventPtr get(const Event& event);
    // Blanks the instance and frees it. Runs on `dispatchQueue`.
    virtual void returnInstance(const EventPtr& instance);

    // The number of free instances, read on `dispatchQueue`.
    std::size_t freeCount();

    // Every change of `items` after creation runs here.
    const platform::DispatchQueuePtr dispatchQueue;
    platform::DispatchSemaphore semaphore;
    std::vector<EventPtr> items;  // free instances, oldest first
};

}  // namespace TallockSDK
