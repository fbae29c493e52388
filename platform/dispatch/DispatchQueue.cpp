// Queues: FIFOs of blocks that hand themselves to their target (another queue, the pool,
// or the main run loop) as a "drain". A serial queue has at most one drain in flight; a
// concurrent queue hands over each block separately and holds back barriers until the
// queue is empty of running blocks.
#include "platform/dispatch/DispatchQueue.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <thread>

#include "platform/base/Fatal.h"
#include "platform/base/NoDestructor.h"
#include "platform/dispatch/DeadlineScheduler.h"
#include "platform/dispatch/DispatchGroup.h"
#include "platform/dispatch/ExecutionContext.h"
#include "platform/dispatch/ThreadPool.h"
#include "platform/runloop/RunLoop.h"
#include "platform/runloop/Thread.h"

namespace platform {

using detail::BlockingScope;
using detail::QueueScope;

namespace {

// A serial queue on another queue yields after this many blocks, so queues sharing that
// target take turns. On the pool it keeps its thread: other queues get other threads.
constexpr int kDrainBatch = 32;

void runItem(DispatchQueue::Item& item) {
    try {
        item.work();
    } catch (const std::exception& e) {
        fatal(std::string("exception escaped a dispatched block: ") + e.what());
    } catch (...) {
        fatal("exception escaped a dispatched block");
    }
    item.work = nullptr;
    if (item.group) item.group->leave();
}

std::string qosName(DispatchQoS qos) {
    switch (qos) {
        case DispatchQoS::background: return "background";
        case DispatchQoS::utility: return "utility";
        case DispatchQoS::userInitiated: return "user-initiated";
        case DispatchQoS::userInteractive: return "user-interactive";
        default: return "default";
    }
}

}  // namespace

DispatchQueue::DispatchQueue(std::string label, DispatchQoS qos, Kind kind, DispatchQueuePtr target, bool inactive)
    : label_(std::move(label)), qos_(qos), kind_(kind), target_(std::move(target)) {
    if (inactive) {
        inactive_ = true;
        suspendCount_ = 1;
    }
}

DispatchQueue::~DispatchQueue() = default;

DispatchQueuePtr DispatchQueue::create(std::string label, DispatchQoS qos, Attributes attributes,
                                       DispatchQueuePtr target) {
    if (!target) target = global(qos == DispatchQoS::unspecified ? DispatchQoS::default_ : qos);
    Kind kind = attributes.contains(Attributes::concurrent) ? Kind::concurrent : Kind::serial;
    return DispatchQueuePtr(new DispatchQueue(std::move(label), qos, kind, std::move(target),
                                              attributes.contains(Attributes::initiallyInactive)));
}

const DispatchQueuePtr& DispatchQueue::main() {
    // Never destroyed, like the global queues: blocks may be in flight at exit.
    static const NoDestructor<DispatchQueuePtr> queue(
        new DispatchQueue("main-thread", DispatchQoS::userInteractive, Kind::main, nullptr, false));
    return *queue;
}

const DispatchQueuePtr& DispatchQueue::global(DispatchQoS qos) {
    static const DispatchQoS classes[] = {DispatchQoS::background, DispatchQoS::utility, DispatchQoS::default_,
                                          DispatchQoS::userInitiated, DispatchQoS::userInteractive};
    static const NoDestructor<std::vector<DispatchQueuePtr>> queues([] {
        std::vector<DispatchQueuePtr> made;
        for (auto c : classes)
            made.emplace_back(new DispatchQueue("global-queue." + qosName(c), c, Kind::root, nullptr, false));
        return made;
    }());
    for (std::size_t i = 0; i < std::size(classes); ++i)
        if (classes[i] == qos) return (*queues)[i];
    return (*queues)[2];
}

// Submitting

void DispatchQueue::async(std::function<void()> work, DispatchWorkItemFlags flags) {
    enqueue(Item{std::move(work), flags.contains(DispatchWorkItemFlags::barrier), nullptr});
}

void DispatchQueue::async(const DispatchGroupPtr& group, std::function<void()> work, DispatchWorkItemFlags flags) {
    if (group) group->enter();
    enqueue(Item{std::move(work), flags.contains(DispatchWorkItemFlags::barrier), group});
}

void DispatchQueue::async(const DispatchWorkItemPtr& item) {
    enqueue(Item{[item] { item->perform(); }, item->flags().contains(DispatchWorkItemFlags::barrier), nullptr});
}

void DispatchQueue::asyncAfter(DispatchTime deadline, std::function<void()> work, DispatchWorkItemFlags flags) {
    auto self = shared_from_this();
    detail::DeadlineScheduler::shared().schedule(
        deadline, [self, work = std::move(work), flags]() mutable { self->async(std::move(work), flags); });
}

void DispatchQueue::asyncAfter(double seconds, std::function<void()> work, DispatchWorkItemFlags flags) {
    asyncAfter(DispatchTime::now() + seconds, std::move(work), flags);
}

void DispatchQueue::asyncAfter(DispatchTime deadline, const DispatchWorkItemPtr& item) {
    auto self = shared_from_this();
    detail::DeadlineScheduler::shared().schedule(deadline, [self, item] { self->async(item); });
}

bool DispatchQueue::runnableLocked() const { return suspendCount_ == 0; }

void DispatchQueue::enqueue(Item item) {
    if (kind_ == Kind::root) {
        detail::ThreadPool::shared().submit([this, item = std::move(item)]() mutable {
            QueueScope scope(this);
            runItem(item);
        });
        return;
    }
    std::unique_lock lock(mutex_);
    const bool wasEmpty = items_.empty();
    items_.push_back(std::move(item));
    if (kind_ == Kind::main) {
        lock.unlock();
        // Only the first block of a burst wakes the loop: the loop checks for waiting
        // blocks before it sleeps, so later ones are seen without a wake-up each.
        if (wasEmpty) RunLoop::main()->wakeUp();
    } else if (kind_ == Kind::serial) {
        scheduleLocked(lock);
    } else {
        pumpConcurrentLocked(lock);
    }
}

void DispatchQueue::submitToTarget(std::function<void()> work) {
    target_->enqueue(Item{std::move(work), false, nullptr});
}

// Serial: hands one drain to the target when there is work and none is in flight.
void DispatchQueue::scheduleLocked(std::unique_lock<std::mutex>& lock) {
    if (busy_ || items_.empty() || !runnableLocked()) return;
    busy_ = true;
    lock.unlock();
    submitToTarget([self = shared_from_this()] { self->drainSerial(); });
}

void DispatchQueue::drainSerial() {
    QueueScope scope(this);
    for (int n = 0;; ++n) {
        std::unique_lock lock(mutex_);
        if (items_.empty() || !runnableLocked()) {
            busy_ = false;
            return;
        }
        if (n == kDrainBatch && target_->kind_ != Kind::root) {
            lock.unlock();
            submitToTarget([self = shared_from_this()] { self->drainSerial(); });
            return;
        }
        Item item = std::move(items_.front());
        items_.pop_front();
        lock.unlock();
        runItem(item);
    }
}

// Concurrent: starts every block that may start now, in order; a barrier waits for the
// running blocks and keeps later ones waiting until it is done.
void DispatchQueue::pumpConcurrentLocked(std::unique_lock<std::mutex>& lock) {
    while (runnableLocked() && !items_.empty() && !barrierRunning_) {
        bool barrier = items_.front().barrier;
        if (barrier && running_ > 0) return;
        Item item = std::move(items_.front());
        items_.pop_front();
        ++running_;
        if (barrier) barrierRunning_ = true;
        lock.unlock();
        submitToTarget([self = shared_from_this(), item = std::move(item)]() mutable {
            self->runConcurrentItem(std::move(item));
        });
        lock.lock();
    }
}

void DispatchQueue::runConcurrentItem(Item item) {
    bool barrier = item.barrier;
    {
        QueueScope scope(this);
        runItem(item);
    }
    finishConcurrentItem(barrier);
}

void DispatchQueue::finishConcurrentItem(bool barrier) {
    std::unique_lock lock(mutex_);
    --running_;
    if (barrier) barrierRunning_ = false;
    pumpConcurrentLocked(lock);
}

// The main queue

std::size_t DispatchQueue::drainMainQueue() {
    auto& queue = *main();
    std::size_t waiting;
    {
        std::lock_guard lock(queue.mutex_);
        waiting = queue.items_.size();
    }
    // Only what was waiting at the start: blocks added meanwhile wait for the next turn
    // of the loop, so timers and sources are not starved.
    std::size_t ran = 0;
    for (; ran < waiting; ++ran) {
        std::unique_lock lock(queue.mutex_);
        if (queue.items_.empty() || !queue.runnableLocked()) break;
        Item item = std::move(queue.items_.front());
        queue.items_.pop_front();
        lock.unlock();
        QueueScope scope(&queue);
        runItem(item);
    }
    return ran;
}

bool DispatchQueue::mainQueueHasWork() {
    auto& queue = *main();
    std::lock_guard lock(queue.mutex_);
    return !queue.items_.empty() && queue.runnableLocked();
}

// Sync

bool DispatchQueue::tryAcquire(bool exclusive) {
    {
        std::lock_guard lock(mutex_);
        switch (kind_) {
            case Kind::root: return true;
            case Kind::main: return false;
            case Kind::serial:
                if (busy_ || !items_.empty() || !runnableLocked()) return false;
                busy_ = true;
                break;
            case Kind::concurrent:
                if (barrierRunning_ || !items_.empty() || !runnableLocked()) return false;
                if (exclusive && running_ > 0) return false;
                ++running_;
                if (exclusive) barrierRunning_ = true;
                break;
        }
    }
    if (target_->tryAcquire(false)) return true;
    release(exclusive, /*releaseTarget=*/false);
    return false;
}

void DispatchQueue::release(bool exclusive, bool releaseTarget) {
    if (kind_ == Kind::root) return;
    {
        std::unique_lock lock(mutex_);
        if (kind_ == Kind::serial) {
            busy_ = false;
            scheduleLocked(lock);
        } else {
            --running_;
            if (exclusive) barrierRunning_ = false;
            pumpConcurrentLocked(lock);
        }
    }
    if (releaseTarget) target_->release(false, true);
}

void DispatchQueue::syncRun(std::function<void()>& body, DispatchWorkItemFlags flags) {
    bool exclusive = kind_ == Kind::serial || kind_ == Kind::main ||
                     (kind_ == Kind::concurrent && flags.contains(DispatchWorkItemFlags::barrier));
    auto& stack = detail::queueStack();
    auto onStack = [&stack](const DispatchQueue* q) { return std::find(stack.begin(), stack.end(), q) != stack.end(); };

    // Waiting for a queue that can only run after the caller returns would never end.
    if (!exclusive && onStack(this)) {
        body();  // a plain block on a concurrent queue it already runs on
        return;
    }
    std::vector<const DispatchQueue*> chain;
    for (const DispatchQueue* q = this; q; q = q->target_.get()) {
        chain.push_back(q);
        bool serial = q->kind_ == Kind::serial || q->kind_ == Kind::main;
        bool held = q->kind_ == Kind::main ? Thread::isMainThread() : onStack(q);
        if (held && (serial || (q == this && exclusive)))
            fatal("sync onto queue \"" + label_ + "\" from a block already running on \"" + q->label_ +
                  "\" would deadlock");
    }

    if (kind_ != Kind::main && tryAcquire(exclusive)) {
        std::exception_ptr failure;
        {
            QueueScope scope(chain);
            try {
                body();
            } catch (...) {
                failure = std::current_exception();
            }
        }
        release(exclusive, true);
        if (failure) std::rethrow_exception(failure);
        return;
    }

    // Busy: queue the block and wait for it to run in its turn on the queue's thread.
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    std::exception_ptr failure;
    enqueue(Item{[&] {
                     try {
                         body();
                     } catch (...) {
                         failure = std::current_exception();
                     }
                     std::lock_guard lock(m);
                     done = true;
                     cv.notify_one();
                 },
                 exclusive && kind_ == Kind::concurrent, nullptr});
    {
        BlockingScope blocking;
        std::unique_lock lock(m);
        cv.wait(lock, [&] { return done; });
    }
    if (failure) std::rethrow_exception(failure);
}

void DispatchQueue::sync(const DispatchWorkItemPtr& item) {
    sync(item->flags(), [&item] { item->perform(); });
}

// Suspension

void DispatchQueue::suspend() {
    if (kind_ == Kind::root) return;  // the global queues cannot be suspended
    std::lock_guard lock(mutex_);
    ++suspendCount_;
}

void DispatchQueue::resume() {
    if (kind_ == Kind::root) return;
    std::unique_lock lock(mutex_);
    if (suspendCount_ - (inactive_ ? 1 : 0) <= 0) fatal("queue \"" + label_ + "\" resumed more often than suspended");
    --suspendCount_;
    wakeLocked(lock);
}

void DispatchQueue::activate() {
    std::unique_lock lock(mutex_);
    if (!inactive_) return;
    inactive_ = false;
    --suspendCount_;
    wakeLocked(lock);
}

void DispatchQueue::wakeLocked(std::unique_lock<std::mutex>& lock) {
    if (!runnableLocked()) return;
    if (kind_ == Kind::serial) scheduleLocked(lock);
    else if (kind_ == Kind::concurrent) pumpConcurrentLocked(lock);
    else if (kind_ == Kind::main) {
        lock.unlock();
        RunLoop::main()->wakeUp();
    }
}

// Where code runs

std::any DispatchQueue::specific(const void* key) const {
    std::lock_guard lock(mutex_);
    auto found = specifics_.find(key);
    return found == specifics_.end() ? std::any() : found->second;
}

std::any DispatchQueue::currentSpecificValue(const void* key) {
    auto& stack = detail::queueStack();
    const DispatchQueue* start = stack.empty() ? (Thread::isMainThread() ? main().get() : nullptr) : stack.back();
    for (const DispatchQueue* q = start; q; q = q->target_.get()) {
        std::any value = q->specific(key);
        if (value.has_value()) return value;
    }
    return {};
}

bool DispatchQueue::isCurrent() const {
    if (kind_ == Kind::main) return Thread::isMainThread();
    auto& stack = detail::queueStack();
    return std::find(stack.begin(), stack.end(), this) != stack.end();
}

bool DispatchQueue::isCurrent(const DispatchQueuePtr& queue) { return queue && queue->isCurrent(); }

DispatchQueuePtr DispatchQueue::current() {
    auto& stack = detail::queueStack();
    if (stack.empty()) return Thread::isMainThread() ? main() : nullptr;
    return const_cast<DispatchQueue*>(stack.back())->shared_from_this();
}

std::string DispatchQueue::currentLabel() {
    auto queue = current();
    return queue ? queue->label_ : std::string();
}

void DispatchQueue::concurrentPerform(std::size_t iterations, const std::function<void(std::size_t)>& body) {
    if (iterations == 0) return;
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t i; (i = next.fetch_add(1)) < iterations;) body(i);
    };
    std::size_t helpers = std::min<std::size_t>(iterations, std::max(1u, std::thread::hardware_concurrency())) - 1;
    auto group = DispatchGroup::create();
    for (std::size_t i = 0; i < helpers; ++i) global()->async(group, work);
    work();
    group->wait();
}

void dispatchPrecondition(const DispatchPredicate& predicate, std::source_location where) {
    const auto& queue = predicate.queue;
    switch (predicate.kind) {
        case DispatchPredicate::Kind::onQueue:
        case DispatchPredicate::Kind::onQueueAsBarrier:
            if (!DispatchQueue::isCurrent(queue))
                fatal("expected to run on queue \"" + (queue ? queue->label() : std::string()) + "\"", where);
            break;
        case DispatchPredicate::Kind::notOnQueue:
            if (DispatchQueue::isCurrent(queue))
                fatal("expected not to run on queue \"" + queue->label() + "\"", where);
            break;
    }
}

}  // namespace platform
