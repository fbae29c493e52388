// Operation queues: operations started in submission order, at most
// `maxConcurrentOperationCount` at a time, on an underlying dispatch queue.
#pragma once
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/base/Protected.h"
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
    struct State {
        bool cancelled = false;
        bool executing = false;
        bool finished = false;
        std::function<void()> completion;
    };
    Protected<State> state_;
    std::condition_variable_any finishedCondition_;
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
    struct State {
        std::deque<OperationPtr> waiting;
        std::deque<OperationPtr> running;
        long maxConcurrent = defaultMaxConcurrentOperationCount;
        DispatchQueuePtr underlyingQueue;
        std::string name;
        QualityOfService qos = QualityOfService::default_;
        bool suspended = false;
    };
    // An operation moved from waiting to running, and the queue it is to run on.
    struct Launch {
        OperationPtr operation;
        DispatchQueuePtr queue;
    };
    // Under the lock: the next operation to start, if the limit and suspension allow one.
    static std::optional<Launch> next(State& state);
    // `next`, and when none may start and `wakeWhenIdle`, wakes the waiters of an idle queue.
    std::optional<Launch> nextOrWake(State& state, bool wakeWhenIdle);
    // Hands `launch` to its queue with the lock released, then takes the lock again for
    // the next one, until none may start.
    void pump(std::optional<Launch> launch, bool wakeWhenIdle = false);
    void run(const OperationPtr& operation);

    Protected<State> state_;
    std::condition_variable_any idle_;
    // Set once, before the main queue is handed out.
    bool isMain_ = false;
};

}  // namespace platform
