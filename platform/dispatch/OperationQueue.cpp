// Operation queues over dispatch queues: a FIFO of waiting operations, started while
// fewer than the maximum are running.
#include "platform/dispatch/OperationQueue.h"

#include <algorithm>

#include "platform/base/Fatal.h"
#include "platform/dispatch/ThreadPool.h"
#include "platform/base/NoDestructor.h"

namespace platform {

namespace {
thread_local OperationQueue* currentOperationQueue = nullptr;
constexpr long kSystemDefaultConcurrency = 64;

DispatchQoS dispatchQoS(QualityOfService qos) {
    switch (qos) {
        case QualityOfService::userInteractive: return DispatchQoS::userInteractive;
        case QualityOfService::userInitiated: return DispatchQoS::userInitiated;
        case QualityOfService::utility: return DispatchQoS::utility;
        case QualityOfService::background: return DispatchQoS::background;
        default: return DispatchQoS::default_;
    }
}
}  // namespace

// Operation

OperationPtr Operation::create(std::function<void()> block) { return std::make_shared<Operation>(std::move(block)); }

void Operation::main() {
    if (block_) block_();
}

void Operation::cancel() {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
}

bool Operation::isCancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
}

bool Operation::isExecuting() const {
    std::lock_guard lock(mutex_);
    return executing_;
}

bool Operation::isFinished() const {
    std::lock_guard lock(mutex_);
    return finished_;
}

void Operation::setCompletionBlock(std::function<void()> block) {
    std::lock_guard lock(mutex_);
    completion_ = std::move(block);
}

void Operation::waitUntilFinished() {
    detail::BlockingScope blocking;
    std::unique_lock lock(mutex_);
    finishedCondition_.wait(lock, [this] { return finished_; });
}

void Operation::start() {
    bool run;
    {
        std::lock_guard lock(mutex_);
        if (executing_ || finished_) return;
        run = !cancelled_;
        executing_ = run;
    }
    if (run) main();
    std::function<void()> completion;
    {
        std::lock_guard lock(mutex_);
        executing_ = false;
        finished_ = true;
        completion.swap(completion_);
        finishedCondition_.notify_all();
    }
    if (completion) completion();
}

// OperationQueue

OperationQueuePtr OperationQueue::create() { return std::make_shared<OperationQueue>(); }

const OperationQueuePtr& OperationQueue::main() {
    // Never destroyed: operations may still finish while the process exits.
    static const NoDestructor<OperationQueuePtr> queue([] {
        auto made = create();
        made->underlyingQueue_ = DispatchQueue::main();
        made->maxConcurrent_ = 1;
        made->isMain_ = true;
        made->name_ = "NSOperationQueue Main Queue";
        return made;
    }());
    return *queue;
}

OperationQueuePtr OperationQueue::current() {
    if (currentOperationQueue) return currentOperationQueue->shared_from_this();
    if (DispatchQueue::isCurrent(DispatchQueue::main())) return main();
    return nullptr;
}

void OperationQueue::addOperation(const OperationPtr& operation) {
    if (operation->isExecuting() || operation->isFinished())
        fatal("operation added to a queue after it started");
    std::unique_lock lock(mutex_);
    waiting_.push_back(operation);
    pumpLocked(lock);
}

void OperationQueue::addOperation(std::function<void()> block) { addOperation(Operation::create(std::move(block))); }

void OperationQueue::pumpLocked(std::unique_lock<std::mutex>& lock) {
    long limit = maxConcurrent_ < 0 ? kSystemDefaultConcurrency : std::max(1L, maxConcurrent_);
    while (!suspended_ && !waiting_.empty() && static_cast<long>(running_.size()) < limit) {
        auto operation = waiting_.front();
        waiting_.pop_front();
        running_.push_back(operation);
        auto queue = underlyingQueue_ ? underlyingQueue_ : DispatchQueue::global(dispatchQoS(qos_));
        auto self = shared_from_this();
        lock.unlock();
        queue->async([self, operation] { self->run(operation); });
        lock.lock();
    }
}

void OperationQueue::run(const OperationPtr& operation) {
    OperationQueue* previous = currentOperationQueue;
    currentOperationQueue = this;
    operation->start();
    currentOperationQueue = previous;
    std::unique_lock lock(mutex_);
    running_.erase(std::find(running_.begin(), running_.end(), operation));
    pumpLocked(lock);
    if (waiting_.empty() && running_.empty()) idle_.notify_all();
}

long OperationQueue::maxConcurrentOperationCount() const {
    std::lock_guard lock(mutex_);
    return maxConcurrent_;
}

void OperationQueue::setMaxConcurrentOperationCount(long count) {
    std::unique_lock lock(mutex_);
    maxConcurrent_ = count;
    pumpLocked(lock);
}

DispatchQueuePtr OperationQueue::underlyingQueue() const {
    std::lock_guard lock(mutex_);
    return underlyingQueue_;
}

void OperationQueue::setUnderlyingQueue(DispatchQueuePtr queue) {
    if (isMain_) fatal("the main operation queue's underlying queue cannot be changed");
    std::lock_guard lock(mutex_);
    underlyingQueue_ = std::move(queue);
}

std::string OperationQueue::name() const {
    std::lock_guard lock(mutex_);
    return name_;
}

void OperationQueue::setName(std::string name) {
    std::lock_guard lock(mutex_);
    name_ = std::move(name);
}

QualityOfService OperationQueue::qualityOfService() const {
    std::lock_guard lock(mutex_);
    return qos_;
}

void OperationQueue::setQualityOfService(QualityOfService qos) {
    std::lock_guard lock(mutex_);
    qos_ = qos;
}

bool OperationQueue::isSuspended() const {
    std::lock_guard lock(mutex_);
    return suspended_;
}

void OperationQueue::setSuspended(bool suspended) {
    std::unique_lock lock(mutex_);
    suspended_ = suspended;
    pumpLocked(lock);
}

std::size_t OperationQueue::operationCount() const {
    std::lock_guard lock(mutex_);
    return waiting_.size() + running_.size();
}

void OperationQueue::cancelAllOperations() {
    std::lock_guard lock(mutex_);
    for (auto& operation : waiting_) operation->cancel();
    for (auto& operation : running_) operation->cancel();
}

void OperationQueue::waitUntilAllOperationsAreFinished() {
    detail::BlockingScope blocking;
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return waiting_.empty() && running_.empty(); });
}

}  // namespace platform
