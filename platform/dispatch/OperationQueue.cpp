// Operation queues over dispatch queues: a FIFO of waiting operations, started while
// fewer than the maximum are running.
#include "platform/dispatch/OperationQueue.h"

#include <algorithm>

#include "platform/base/Fatal.h"
#include "platform/base/NoDestructor.h"
#include "platform/dispatch/ThreadPool.h"

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

void Operation::cancel() { state_.set(&State::cancelled, true); }

bool Operation::isCancelled() const { return state_.get(&State::cancelled); }

bool Operation::isExecuting() const { return state_.get(&State::executing); }

bool Operation::isFinished() const { return state_.get(&State::finished); }

void Operation::setCompletionBlock(std::function<void()> block) { state_.set(&State::completion, std::move(block)); }

void Operation::waitUntilFinished() {
    detail::BlockingScope blocking;
    state_.wait(finishedCondition_, [](const State& state) { return state.finished; });
}

void Operation::start() {
    // Nothing to do when already started; otherwise whether to run (not when cancelled).
    auto run = state_.write([](State& state) -> std::optional<bool> {
        if (state.executing || state.finished) return std::nullopt;
        state.executing = !state.cancelled;
        return state.executing;
    });
    if (!run) return;
    if (*run) main();
    auto completion = state_.write([this](State& state) {
        state.executing = false;
        state.finished = true;
        std::function<void()> taken;
        taken.swap(state.completion);
        finishedCondition_.notify_all();
        return taken;
    });
    if (completion) completion();
}

// OperationQueue

OperationQueuePtr OperationQueue::create() { return std::make_shared<OperationQueue>(); }

const OperationQueuePtr& OperationQueue::main() {
    // Never destroyed: operations may still finish while the process exits.
    static const NoDestructor<OperationQueuePtr> queue([] {
        auto made = create();
        made->state_.write([](State& state) {
            state.underlyingQueue = DispatchQueue::main();
            state.maxConcurrent = 1;
            state.name = "NSOperationQueue Main Queue";
        });
        made->isMain_ = true;
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
    if (operation->isExecuting() || operation->isFinished()) fatal("operation added to a queue after it started");
    pump(state_.write([&](State& state) {
        state.waiting.push_back(operation);
        return next(state);
    }));
}

void OperationQueue::addOperation(std::function<void()> block) { addOperation(Operation::create(std::move(block))); }

std::optional<OperationQueue::Launch> OperationQueue::next(State& state) {
    long limit = state.maxConcurrent < 0 ? kSystemDefaultConcurrency : std::max(1L, state.maxConcurrent);
    if (state.suspended || state.waiting.empty() || static_cast<long>(state.running.size()) >= limit)
        return std::nullopt;
    auto operation = state.waiting.front();
    state.waiting.pop_front();
    state.running.push_back(operation);
    return Launch{operation,
                  state.underlyingQueue ? state.underlyingQueue : DispatchQueue::global(dispatchQoS(state.qos))};
}

void OperationQueue::pump(std::optional<Launch> launch, bool wakeWhenIdle) {
    while (launch) {
        auto self = shared_from_this();
        launch->queue->async([self, operation = launch->operation] { self->run(operation); });
        launch = state_.write([&](State& state) { return nextOrWake(state, wakeWhenIdle); });
    }
}

std::optional<OperationQueue::Launch> OperationQueue::nextOrWake(State& state, bool wakeWhenIdle) {
    auto launch = next(state);
    if (!launch && wakeWhenIdle && state.waiting.empty() && state.running.empty()) idle_.notify_all();
    return launch;
}

void OperationQueue::run(const OperationPtr& operation) {
    OperationQueue* previous = currentOperationQueue;
    currentOperationQueue = this;
    operation->start();
    currentOperationQueue = previous;
    // Whichever step finds nothing left to start also wakes the waiters when the queue has
    // gone idle.
    auto launch = state_.write([&](State& state) {
        state.running.erase(std::find(state.running.begin(), state.running.end(), operation));
        return nextOrWake(state, true);
    });
    pump(std::move(launch), true);
}

long OperationQueue::maxConcurrentOperationCount() const { return state_.get(&State::maxConcurrent); }

void OperationQueue::setMaxConcurrentOperationCount(long count) {
    pump(state_.write([&](State& state) {
        state.maxConcurrent = count;
        return next(state);
    }));
}

DispatchQueuePtr OperationQueue::underlyingQueue() const { return state_.get(&State::underlyingQueue); }

void OperationQueue::setUnderlyingQueue(DispatchQueuePtr queue) {
    if (isMain_) fatal("the main operation queue's underlying queue cannot be changed");
    state_.set(&State::underlyingQueue, std::move(queue));
}

std::string OperationQueue::name() const { return state_.get(&State::name); }

void OperationQueue::setName(std::string name) { state_.set(&State::name, std::move(name)); }

QualityOfService OperationQueue::qualityOfService() const { return state_.get(&State::qos); }

void OperationQueue::setQualityOfService(QualityOfService qos) { state_.set(&State::qos, qos); }

bool OperationQueue::isSuspended() const { return state_.get(&State::suspended); }

void OperationQueue::setSuspended(bool suspended) {
    pump(state_.write([&](State& state) {
        state.suspended = suspended;
        return next(state);
    }));
}

std::size_t OperationQueue::operationCount() const {
    return state_.read([](const State& state) { return state.waiting.size() + state.running.size(); });
}

void OperationQueue::cancelAllOperations() {
    state_.read([](const State& state) {
        for (auto& operation : state.waiting) operation->cancel();
        for (auto& operation : state.running) operation->cancel();
    });
}

void OperationQueue::waitUntilAllOperationsAreFinished() {
    detail::BlockingScope blocking;
    state_.wait(idle_, [](const State& state) { return state.waiting.empty() && state.running.empty(); });
}

}  // namespace platform
