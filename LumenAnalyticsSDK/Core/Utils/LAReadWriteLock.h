// Many readers or one writer over a concurrent queue: reads run side by side and wait
// for their result, writes run alone as barriers and never block their caller.
#pragma once
#include <functional>
#include <memory>
#include <string>

#include "platform/base/Value.h"
#include "platform/dispatch/DispatchQueue.h"

namespace LumenAnalyticsSDK {

class LAReadWriteLock {
public:
    // An empty label becomes "com.lumen.readWriteLock.<address of the lock>".
    explicit LAReadWriteLock(const std::string& queueLabel);
    LAReadWriteLock(const LAReadWriteLock&) = delete;
    LAReadWriteLock& operator=(const LAReadWriteLock&) = delete;

    const platform::DispatchQueuePtr& concurentQueue() const { return concurentQueue_; }

    // Runs the block on the queue and returns its result; null for an empty block.
    platform::Value readWithBlock(const std::function<platform::Value()>& block);
    // Queues the block as a barrier: it runs after every read and write queued before it.
    void writeWithBlock(std::function<void()> block);

private:
    platform::DispatchQueuePtr concurentQueue_;
};

}  // namespace LumenAnalyticsSDK
