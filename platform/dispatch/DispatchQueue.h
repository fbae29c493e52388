// Dispatch queues: serial and concurrent queues that run blocks on a shared thread pool,
// the main queue (drained only by the main thread's run loop), the global queues, target
// queues, barriers, deadlines, suspension and queue-specific values.
#pragma once
#include <any>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <source_location>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/base/CallerLocation.h"
#include "platform/base/OptionSet.h"
#include "platform/dispatch/DispatchTime.h"
#include "platform/dispatch/DispatchWorkItem.h"

namespace platform {

class DispatchGroup;
using DispatchGroupPtr = std::shared_ptr<DispatchGroup>;

// A typed key for queue-specific values; the key object's address is its identity, so
// keep it alive (a static or a member) for as long as values are stored under it.
template <class T>
class DispatchSpecificKey {
public:
    DispatchSpecificKey() = default;
    DispatchSpecificKey(const DispatchSpecificKey&) = delete;
    DispatchSpecificKey& operator=(const DispatchSpecificKey&) = delete;
};

class DispatchQueue : public std::enable_shared_from_this<DispatchQueue> {
public:
    struct Attributes : OptionSet<Attributes> {
        using OptionSet::OptionSet;
        constexpr Attributes(OptionSet<Attributes> o) : OptionSet(o) {}
        static const Attributes concurrent;
        // The queue holds its blocks until `activate()`.
        static const Attributes initiallyInactive;
    };

    // A queue with no attributes is serial. Without a target it runs on the global queue
    // of its quality of service. A queue targeting a serial queue never runs at the same
    // time as that queue's other work, and its blocks count as running on both.
    static DispatchQueuePtr create(std::string label, DispatchQoS qos = DispatchQoS::unspecified,
                                   Attributes attributes = {}, DispatchQueuePtr target = nullptr);
    // The serial queue of the main thread; its blocks run only inside the main thread's
    // run loop (RunLoop::main()).
    static const DispatchQueuePtr& main();
    // A concurrent queue of the shared pool; barriers on it behave as plain blocks.
    static const DispatchQueuePtr& global(DispatchQoS qos = DispatchQoS::default_);

    ~DispatchQueue();
    DispatchQueue(const DispatchQueue&) = delete;
    DispatchQueue& operator=(const DispatchQueue&) = delete;

    const std::string& label() const { return label_; }
    DispatchQoS qos() const { return qos_; }
    bool isConcurrent() const { return kind_ == Kind::concurrent || kind_ == Kind::root; }
    bool isMain() const { return kind_ == Kind::main; }
    // The queue this one runs on (none for the main and global queues).
    const DispatchQueuePtr& target() const { return target_; }

    // Submits a block and returns at once. An exception escaping the block is a
    // programming error (fatal with its message).
    void async(std::function<void()> work, DispatchWorkItemFlags flags = {});
    // The same, counted in `group` until the block has run.
    void async(const DispatchGroupPtr& group, std::function<void()> work, DispatchWorkItemFlags flags = {});
    void async(const DispatchWorkItemPtr& item);

    // Submits a block to run no earlier than `deadline`; blocks due at the same moment
    // are submitted in the order of the calls.
    void asyncAfter(DispatchTime deadline, std::function<void()> work, DispatchWorkItemFlags flags = {});
    void asyncAfter(double seconds, std::function<void()> work, DispatchWorkItemFlags flags = {});
    void asyncAfter(DispatchTime deadline, const DispatchWorkItemPtr& item);

    // Runs `f` on this queue and returns its value once it has run; an exception from
    // `f` reaches the caller. Runs on the caller's thread when the queue and its targets
    // are idle, else waits its turn. Calling it while already on this queue (or on a
    // serial queue it targets) is a programming error: fatal instead of a deadlock.
    template <class F>
    auto sync(F&& f) -> std::invoke_result_t<F&> {
        return sync(DispatchWorkItemFlags{}, std::forward<F>(f));
    }
    template <class F>
    auto sync(DispatchWorkItemFlags flags, F&& f) -> std::invoke_result_t<F&> {
        using R = std::invoke_result_t<F&>;
        if constexpr (std::is_void_v<R>) {
            std::function<void()> body = [&f] { f(); };
            syncRun(body, flags);
        } else {
            std::optional<R> result;
            std::function<void()> body = [&f, &result] { result.emplace(f()); };
            syncRun(body, flags);
            return std::move(*result);
        }
    }
    void sync(const DispatchWorkItemPtr& item);

    // Suspension stops the queue from starting blocks (one already running finishes);
    // every suspend needs a matching resume. Resuming more often is fatal.
    void suspend();
    void resume();
    // Starts a queue created `initiallyInactive`; a no-op on an active queue.
    void activate();

    // Values stored on this queue, read back from blocks running on it or on queues
    // that target it.
    template <class T>
    void setSpecific(const DispatchSpecificKey<T>& key, std::type_identity_t<std::optional<T>> value) {
        std::lock_guard lock(mutex_);
        if (value) specifics_[&key] = std::move(*value);
        else specifics_.erase(&key);
    }
    template <class T>
    std::optional<T> getSpecific(const DispatchSpecificKey<T>& key) const {
        std::any found = specific(&key);
        if (!found.has_value()) return std::nullopt;
        return std::any_cast<T>(found);
    }
    // The value for `key` seen from the calling thread: looked up on the queue it runs
    // on, then along that queue's targets.
    template <class T>
    static std::optional<T> currentSpecific(const DispatchSpecificKey<T>& key) {
        std::any found = currentSpecificValue(&key);
        if (!found.has_value()) return std::nullopt;
        return std::any_cast<T>(found);
    }

    // True when the calling thread runs a block of `queue`, directly or through a queue
    // that targets it. The main queue is current on the main thread.
    static bool isCurrent(const DispatchQueuePtr& queue);
    bool isCurrent() const;
    // The label of the queue the calling thread runs on ("" outside any queue; the main
    // queue's label on the main thread).
    static std::string currentLabel();
    // The innermost queue the calling thread runs on, if any.
    static DispatchQueuePtr current();

    // Runs `body(i)` for i in 0..<iterations on the pool and the calling thread, and
    // returns when all have run.
    static void concurrentPerform(std::size_t iterations, const std::function<void(std::size_t)>& body);

    // Internal: what the run loop and the pool call.
    struct Item {
        std::function<void()> work;
        bool barrier = false;
        DispatchGroupPtr group;
    };
    // Runs the main queue's blocks that are waiting, on the main thread. Answers how many ran.
    static std::size_t drainMainQueue();
    static bool mainQueueHasWork();

private:
    enum class Kind { serial, concurrent, root, main };
    DispatchQueue(std::string label, DispatchQoS qos, Kind kind, DispatchQueuePtr target, bool inactive);

    std::any specific(const void* key) const;
    static std::any currentSpecificValue(const void* key);

    void enqueue(Item item);
    void submitToTarget(std::function<void()> work);
    void drainSerial();
    void pumpConcurrentLocked(std::unique_lock<std::mutex>& lock);
    void runConcurrentItem(Item item);
    void finishConcurrentItem(bool barrier);
    void scheduleLocked(std::unique_lock<std::mutex>& lock);
    bool runnableLocked() const;

    void syncRun(std::function<void()>& body, DispatchWorkItemFlags flags);
    bool tryAcquire(bool exclusive);
    void release(bool exclusive, bool releaseTarget);
    void wakeLocked(std::unique_lock<std::mutex>& lock);

    friend class DispatchQueueInternals;

    const std::string label_;
    const DispatchQoS qos_;
    const Kind kind_;
    const DispatchQueuePtr target_;

    mutable std::mutex mutex_;
    std::deque<Item> items_;
    int suspendCount_ = 0;
    bool inactive_ = false;
    bool busy_ = false;            // serial: a drain is scheduled or running, or a sync holds it
    int running_ = 0;              // concurrent: blocks running now
    bool barrierRunning_ = false;  // concurrent: the running block is a barrier
    std::map<const void*, std::any> specifics_;
};

inline constexpr DispatchQueue::Attributes DispatchQueue::Attributes::concurrent{1u << 0};
inline constexpr DispatchQueue::Attributes DispatchQueue::Attributes::initiallyInactive{1u << 1};

// Checks of where code runs; a failed check is fatal.
struct DispatchPredicate {
    enum class Kind { onQueue, onQueueAsBarrier, notOnQueue };
    Kind kind;
    DispatchQueuePtr queue;

    static DispatchPredicate onQueue(DispatchQueuePtr q) { return {Kind::onQueue, std::move(q)}; }
    static DispatchPredicate onQueueAsBarrier(DispatchQueuePtr q) { return {Kind::onQueueAsBarrier, std::move(q)}; }
    static DispatchPredicate notOnQueue(DispatchQueuePtr q) { return {Kind::notOnQueue, std::move(q)}; }
};
void dispatchPrecondition(const DispatchPredicate& predicate, std::source_location where = SKYREACH_CALLER_LOCATION);

}  // namespace platform
