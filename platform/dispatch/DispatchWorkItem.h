// A block of work that can be submitted to queues, cancelled before it starts, waited on,
// and followed by a notification; plus the flags that tune how a block is submitted.
#pragma once
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/base/OptionSet.h"
#include "platform/dispatch/DispatchTime.h"

namespace platform {

class DispatchQueue;
using DispatchQueuePtr = std::shared_ptr<DispatchQueue>;

struct DispatchWorkItemFlags : OptionSet<DispatchWorkItemFlags> {
    using OptionSet::OptionSet;
    constexpr DispatchWorkItemFlags(OptionSet<DispatchWorkItemFlags> o) : OptionSet(o) {}

    // On a concurrent queue the block runs alone: after everything submitted before it
    // has finished and before anything submitted after it starts.
    static const DispatchWorkItemFlags barrier;
    // Accepted for source compatibility; they change nothing here.
    static const DispatchWorkItemFlags detached;
    static const DispatchWorkItemFlags assignCurrentContext;
    static const DispatchWorkItemFlags noQoS;
    static const DispatchWorkItemFlags inheritQoS;
    static const DispatchWorkItemFlags enforceQoS;
};
inline constexpr DispatchWorkItemFlags DispatchWorkItemFlags::barrier{1u << 0};
inline constexpr DispatchWorkItemFlags DispatchWorkItemFlags::detached{1u << 1};
inline constexpr DispatchWorkItemFlags DispatchWorkItemFlags::assignCurrentContext{1u << 2};
inline constexpr DispatchWorkItemFlags DispatchWorkItemFlags::noQoS{1u << 3};
inline constexpr DispatchWorkItemFlags DispatchWorkItemFlags::inheritQoS{1u << 4};
inline constexpr DispatchWorkItemFlags DispatchWorkItemFlags::enforceQoS{1u << 5};

class DispatchWorkItem;
using DispatchWorkItemPtr = std::shared_ptr<DispatchWorkItem>;

class DispatchWorkItem : public std::enable_shared_from_this<DispatchWorkItem> {
public:
    static DispatchWorkItemPtr create(std::function<void()> block, DispatchWorkItemFlags flags = {});
    DispatchWorkItem(std::function<void()> block, DispatchWorkItemFlags flags);

    // Runs the block on the calling thread, unless the item was cancelled; either way the
    // item then counts as finished (waiters wake, notifications are submitted).
    void perform();
    // Keeps the block from starting if it has not started yet; a running block is not
    // interrupted.
    void cancel();
    bool isCancelled() const;

    // Submits `block` to `queue` once the item has finished (at once if it has).
    void notify(const DispatchQueuePtr& queue, std::function<void()> block);
    // Blocks until the item has finished.
    void wait();
    DispatchTimeoutResult wait(DispatchTime deadline);

    DispatchWorkItemFlags flags() const { return flags_; }

private:
    void finish();

    std::function<void()> block_;
    DispatchWorkItemFlags flags_;
    mutable std::mutex mutex_;
    std::condition_variable finished_;
    bool cancelled_ = false;
    bool done_ = false;
    std::vector<std::pair<DispatchQueuePtr, std::function<void()>>> notifications_;
};

}  // namespace platform
