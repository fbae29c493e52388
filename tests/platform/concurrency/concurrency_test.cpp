// Tasks, checked continuations, cancellation handlers and asynchronous streams, driven
// from real threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <latch>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/concurrency/AsyncStream.h"
#include "platform/concurrency/CheckedContinuation.h"
#include "platform/concurrency/Task.h"
#include "platform/dispatch/DispatchQueue.h"

using namespace platform;

namespace {

// A callback-style operation, as a request is: it answers once, with its value or, once
// cancelled, with -1 (also when the cancellation came before anyone waited).
struct Operation {
    std::mutex mutex;
    std::optional<CheckedContinuation<int>> waiting;
    bool cancelled = false;
    std::latch started{1};
    std::atomic<int> cancels{0};
    std::optional<int> preset;

    void start(CheckedContinuation<int> c) {
        std::unique_lock lock(mutex);
        if (cancelled || preset) {
            lock.unlock();
            c.resume(preset.value_or(-1));
        } else {
            waiting.emplace(std::move(c));
        }
        started.count_down();
    }
    void answer(int value) {
        std::unique_lock lock(mutex);
        auto c = std::exchange(waiting, std::nullopt);
        lock.unlock();
        if (c) c->resume(value);
    }
    void cancel() {
        ++cancels;
        {
            std::lock_guard lock(mutex);
            cancelled = true;
        }
        answer(-1);
    }
};

// Waits for `gate` (when given) before awaiting `op` with a cancellation handler.
Task<int> awaitOperation(std::shared_ptr<Operation> op, std::shared_ptr<Operation> gate) {
    if (gate) {
        auto opened =
            withCheckedContinuation<int>("gate", [gate](CheckedContinuation<int> c) { gate->start(std::move(c)); });
        co_await opened;
    }
    auto start = [op](CheckedContinuation<int> c) { op->start(std::move(c)); };
    auto waiting =
        withTaskCancellationHandler(withCheckedContinuation<int>("awaitOperation", start), [op] { op->cancel(); });
    co_return co_await waiting;
}

Task<int> addOne(Task<int> inner) { co_return co_await inner + 1; }

}  // namespace

TEST(Task, ResumptionAndCancellationInEveryOrder) {
    enum class Order { resumeBeforeAwait, resumeAfterAwait, cancelBeforeAwait, cancelAfterAwait };
    struct Case {
        Order order;
        int expected;
        int cancels;
    };
    for (auto [order, expected, cancels] :
         {Case{Order::resumeBeforeAwait, 7, 0}, Case{Order::resumeAfterAwait, 5, 0},
          Case{Order::cancelBeforeAwait, -1, 1}, Case{Order::cancelAfterAwait, -1, 1}}) {
        SCOPED_TRACE(static_cast<int>(order));
        auto op = std::make_shared<Operation>();
        auto gate = std::make_shared<Operation>();
        if (order == Order::resumeBeforeAwait) op->preset = 7;  // answered while the task suspends
        auto task = awaitOperation(op, gate);
        if (order == Order::cancelBeforeAwait) task.cancel();  // the handler runs once installed
        gate->answer(0);
        op->started.wait();
        if (order == Order::resumeAfterAwait) op->answer(5);
        if (order == Order::cancelAfterAwait) task.cancel();
        EXPECT_EQ(syncWait(task), expected);
        EXPECT_EQ(op->cancels.load(), cancels);
        task.cancel();  // after completion nothing runs again
        EXPECT_EQ(op->cancels.load(), cancels);
        EXPECT_EQ(syncWait(task), expected);  // and the result stays
    }
}

TEST(Task, ManyAwaitersOfOneTaskAllGetItsResult) {
    auto op = std::make_shared<Operation>();
    auto shared = awaitOperation(op, nullptr);
    std::vector<Task<int>> awaiters;
    for (int i = 0; i < 32; ++i) awaiters.push_back(addOne(shared));
    op->started.wait();
    op->answer(41);
    for (auto& awaiter : awaiters) EXPECT_EQ(syncWait(awaiter), 42);
    // Awaiting after completion goes on at once.
    EXPECT_EQ(syncWait(addOne(shared)), 42);
}

TEST(Task, AnExceptionFromTheBodyReachesEveryAwaiter) {
    auto failing = []() -> Task<int> {
        throw std::runtime_error("broken");
        co_return 0;
    }();
    EXPECT_THROW(syncWait(addOne(failing)), std::runtime_error);
    EXPECT_THROW(syncWait(failing), std::runtime_error);
}

TEST(CheckedContinuationDeathTest, ASecondResumptionStopsTheProcess) {
    EXPECT_DEATH(
        {
            auto task = []() -> Task<int> {
                auto twice = withCheckedContinuation<int>("twice()", [](CheckedContinuation<int> c) {
                    c.resume(1);
                    c.resume(2);
                });
                co_return co_await twice;
            }();
            syncWait(task);
        },
        "continuation of twice\\(\\) was resumed more than once");
}

TEST(CheckedContinuation, ADroppedContinuationIsReported) {
    auto holder = std::make_shared<std::optional<CheckedContinuation<int>>>();
    auto handedOut = std::make_shared<std::latch>(1);
    auto task = [](auto holder, auto handedOut) -> Task<int> {
        auto dropped = withCheckedContinuation<int>("dropped()", [holder, handedOut](CheckedContinuation<int> c) {
            holder->emplace(std::move(c));
            handedOut->count_down();
        });
        co_return co_await dropped;
    }(holder, handedOut);
    handedOut->wait();
    testing::internal::CaptureStderr();
    holder->reset();
    EXPECT_NE(
        testing::internal::GetCapturedStderr().find("continuation of dropped() was dropped without being resumed"),
        std::string::npos);
    EXPECT_FALSE(task.isCompleted());
}

namespace {

Task<std::vector<int>> collect(AsyncStream<int> stream) {
    std::vector<int> seen;
    auto iterator = stream.makeAsyncIterator();
    while (auto element = co_await iterator.next()) seen.push_back(*element);
    co_return seen;
}

}  // namespace

TEST(AsyncStream, BufferingPoliciesUnderAFastProducer) {
    // Everything is yielded before anyone iterates, so the policy alone decides.
    struct Case {
        BufferingPolicy policy;
        std::vector<int> expected;
    };
    for (const auto& [policy, expected] :
         {Case{BufferingPolicy::unbounded(), {0, 1, 2, 3, 4, 5}}, Case{BufferingPolicy::bufferingOldest(2), {0, 1}},
          Case{BufferingPolicy::bufferingNewest(2), {4, 5}}, Case{BufferingPolicy::bufferingNewest(0), {}}}) {
        std::vector<YieldResult> results;
        AsyncStream<int> stream(policy, [&](AsyncStream<int>::Continuation c) {
            for (int i = 0; i < 6; ++i) results.push_back(c.yield(i));
            c.finish();
            results.push_back(c.yield(6));
        });
        EXPECT_EQ(results.back(), YieldResult::terminated);
        EXPECT_EQ(syncWait(collect(stream)), expected);
    }
}

TEST(AsyncStream, ManyProducersAndOneConsumerLoseNothing) {
    std::optional<AsyncStream<int>::Continuation> continuation;
    std::atomic<int> terminations{0};
    AsyncStream<int> stream([&](AsyncStream<int>::Continuation c) {
        c.setOnTermination([&] { ++terminations; });
        continuation.emplace(c);
    });
    auto consumer = collect(stream);
    std::vector<std::thread> producers;
    for (int p = 0; p < 4; ++p) {
        producers.emplace_back([&, p] {
            for (int i = 0; i < 500; ++i) continuation->yield(p * 1000 + i);
        });
    }
    for (auto& producer : producers) producer.join();
    continuation->finish();
    continuation->finish();
    auto seen = syncWait(consumer);
    EXPECT_EQ(seen.size(), 2000u);
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(std::adjacent_find(seen.begin(), seen.end()), seen.end());
    EXPECT_EQ(terminations.load(), 1);
}

TEST(AsyncStream, AbandoningTheStreamTerminatesItForTheProducers) {
    std::optional<AsyncStream<int>::Continuation> continuation;
    std::atomic<int> terminations{0};
    {
        AsyncStream<int> stream([&](AsyncStream<int>::Continuation c) {
            c.setOnTermination([&] { ++terminations; });
            continuation.emplace(c);
        });
        auto iterator = stream.makeAsyncIterator();
        EXPECT_EQ(continuation->yield(1), YieldResult::enqueued);
    }
    EXPECT_EQ(terminations.load(), 1);
    EXPECT_EQ(continuation->yield(2), YieldResult::terminated);
}

TEST(Task, SyncWaitOnTheMainThreadKeepsServingTheMainQueue) {
    auto op = std::make_shared<Operation>();
    auto task = awaitOperation(op, nullptr);
    op->started.wait();
    DispatchQueue::main()->async([op] { op->answer(3); });
    EXPECT_EQ(syncWait(task), 3);
}
