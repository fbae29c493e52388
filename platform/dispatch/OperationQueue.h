// Operation queues: operations started in submission order, at most
// `maxConcurrentOperationCount` at a time, on an underlying dispatch queue.
#pragma once
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/dispatch/DispatchQueue.h"

namespace platform {

// Quality of service of operation queues, with the platform's raw values.
enum class QualityOfService : int {
    userInteractive = 0x21,
    userInitiated = 0x19,
    utility = 0x11,
    background = 0x09,
    default_ = -1,
};

class Operation;
using OperationPtr = std::shared_ptr<Operation>;

// One unit of work. Subclasses override `main()`; `create(block)` makes one from a block.
class Operation : public std::enable_shared_from_this<Operation> {
public:
    static OperationPtr create(std::function<void()> block);
    Operation() = default;
    explicit Operation(std::function<void()> block) : block_(std::move(block)) {}
    virtual ~Operation() = default;
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

    virtual void main();
    // A cancelled operation that has not started is finished without running.
    void cancel();
    bool isCancelled() const;
    bool isExecuting() const;
    bool isFinished() const;
    void waitUntilFinished();
    // Runs after the operation has finished, on the thread that finished it.
    void setCompletionBlock(std::function<void()> block);

    // Runs the operation on the calling thread (what a queue does).
    void start();

private:
    std::function<void()> block_;
    mutable std::mutex mutex_;
    std::condition_variable finishedCondition_;
    bool cancelled_ = false;
    bool executing_ = false;
    bool finished_ = false;
    std::function<void()> completion_;
};

class OperationQueue;
using OperationQueuePtr = std::shared_ptr<OperationQueue>;

class OperationQueue : public std::enable_shared_from_this<OperationQueue> {
public:
    static constexpr long defaultMaxConcurrentOperationCount = -1;

    static OperationQueuePtr create();
    // Runs its operations on the main queue, one at a time.
    static const OperationQueuePtr& main();
    // The queue whose operation the calling thread runs, if any.
    static OperationQueuePtr current();

    OperationQueue() = default;
    OperationQueue(const OperationQueue&) = delete;
    OperationQueue& operator=(const OperationQueue&) = delete;

    void addOperation(const OperationPtr& operation);
    void addOperation(std::function<void()> block);

    // -1 means as many as the system sees fit; 1 runs operations one at a time, in order.
    long maxConcurrentOperationCount() const;
    void setMaxConcurrentOperationCount(long count);
    // The dispatch queue operations run on (none: a global queue of the queue's quality of
    // service). Set it before adding operations.
    DispatchQueuePtr underlyingQueue() const;
    void setUnderlyingQueue(DispatchQueuePtr queue);
    std::string name() const;
    void setName(std::string name);
    QualityOfService qualityOfService() const;
    void setQualityOfService(QualityOfService qos);
    // A suspended queue starts no new operations; running ones finish.
    bool isSuspended() const;
    void setSuspended(bool suspended);

    std::size_t operationCount() const;
    // Cancels every operation waiting or running; waiting ones finish without running.
    void cancelAllOperations();
    // Blocks until every operation added so far has finished.
    void waitUntilAllOperationsAreFinished();

private:
    void pumpLocked(std::unique_lock<std::mutex>& lock);
    void run(const OperationPtr& operation);

    mutable std::mutex mutex_;
    std::condition_variable idle_;
    std::deque<OperationPtr> waiting_;
    std::deque<OperationPtr> running_;
    long maxConcurrent_ = defaultMaxConcurrentOperationCount;
    DispatchQueuePtr underlyingQueue_;
    std::string name_;
    QualityOfService qos_ = QualityOfService::default_;
    bool suspended_ = false;
    bool isMain_ = false;
};

}  // namespace platform
