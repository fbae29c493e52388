// A count of outstanding work that can be waited on or followed by a notification.
#pragma once
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/dispatch/DispatchTime.h"

namespace platform {

class DispatchQueue;
using DispatchQueuePtr = std::shared_ptr<DispatchQueue>;
class DispatchGroup;
using DispatchGroupPtr = std::shared_ptr<DispatchGroup>;

class DispatchGroup {
public:
    static DispatchGroupPtr create() { return std::make_shared<DispatchGroup>(); }
    DispatchGroup() = default;
    DispatchGroup(const DispatchGroup&) = delete;
    DispatchGroup& operator=(const DispatchGroup&) = delete;

    void enter();
    // A leave without a matching enter is a programming error (fatal).
    void leave();
    // Blocks until the count is zero.
    void wait();
    DispatchTimeoutResult wait(DispatchTime deadline);
    // Submits `block` to `queue` the next time the count is zero (at once if it is).
    void notify(const DispatchQueuePtr& queue, std::function<void()> block);

private:
    std::mutex mutex_;
    std::condition_variable empty_;
    long count_ = 0;
    std::vector<std::pair<DispatchQueuePtr, std::function<void()>>> notifications_;
};

}  // namespace platform
