// Costs of the dispatch layer: the latency of one hop between two queues, how many
// blocks a serial queue runs per second, and a semaphore used as a lock under contention.
#include <benchmark/benchmark.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSemaphore.h"

using namespace platform;

// A block on queue A submits a block to queue B, which wakes the waiting benchmark thread:
// the time of two hops (caller -> A -> B) and one wake-up.
static void BM_AsyncHopBetweenQueues(benchmark::State& state) {
    auto a = DispatchQueue::create("bench.a");
    auto b = DispatchQueue::create("bench.b");
    DispatchSemaphore done(0);
    for (auto _ : state) {
        a->async([&] { b->async([&] { done.signal(); }); });
        done.wait();
    }
}
BENCHMARK(BM_AsyncHopBetweenQueues)->UseRealTime();

// Blocks submitted back to back to `queue`, waited for at the end.
static void submitBlocksBackToBack(benchmark::State& state, const DispatchQueuePtr& queue) {
    const int blocks = static_cast<int>(state.range(0));
    std::atomic<int> counter{0};
    for (auto _ : state) {
        for (int i = 0; i < blocks; ++i) queue->async([&] { counter.fetch_add(1, std::memory_order_relaxed); });
        queue->sync([] {});
    }
    state.SetItemsProcessed(state.iterations() * blocks);
}

static void BM_SerialQueueThroughput(benchmark::State& state) {
    submitBlocksBackToBack(state, DispatchQueue::create("bench.serial"));
}
BENCHMARK(BM_SerialQueueThroughput)->Arg(10000)->UseRealTime();

// The same through a queue that targets another serial queue.
static void BM_SerialQueueThroughputThroughTarget(benchmark::State& state) {
    auto root = DispatchQueue::create("bench.root");
    submitBlocksBackToBack(state, DispatchQueue::create("bench.child", DispatchQoS::unspecified, {}, root));
}
BENCHMARK(BM_SerialQueueThroughputThroughTarget)->Arg(10000)->UseRealTime();

// An uncontended sync: runs on the caller's thread.
static void BM_SyncOnIdleQueue(benchmark::State& state) {
    auto queue = DispatchQueue::create("bench.sync");
    int value = 0;
    for (auto _ : state) benchmark::DoNotOptimize(value = queue->sync([&] { return value + 1; }));
}
BENCHMARK(BM_SyncOnIdleQueue);

// Baseline for the hop: the same two hand-offs between two dedicated threads with a
// mutex and condition variables each, what code without queues would do.
static void BM_BaselineThreadHandOff(benchmark::State& state) {
    struct Mailbox {
        std::mutex mutex;
        std::condition_variable cv;
        int value = 0;
        void put(int v) {
            std::lock_guard lock(mutex);
            value = v;
            cv.notify_one();
        }
        int take() {
            std::unique_lock lock(mutex);
            cv.wait(lock, [&] { return value != 0; });
            int v = value;
            value = 0;
            return v;
        }
    };
    Mailbox toA, toB, back;
    std::thread a([&] {
        for (int v; (v = toA.take()) > 0;) toB.put(v);
        toB.put(-1);
    });
    std::thread b([&] {
        for (int v; (v = toB.take()) > 0;) back.put(v);
    });
    for (auto _ : state) {
        toA.put(1);
        back.take();
    }
    toA.put(-1);
    a.join();
    b.join();
}
BENCHMARK(BM_BaselineThreadHandOff)->UseRealTime();

// Baseline for the throughput: one dedicated thread draining a mutex-guarded deque.
static void BM_BaselineWorkerThroughput(benchmark::State& state) {
    std::mutex mutex;
    std::condition_variable cv, drained;
    std::deque<std::function<void()>> work;
    bool quit = false;
    std::thread worker([&] {
        std::unique_lock lock(mutex);
        for (;;) {
            cv.wait(lock, [&] { return quit || !work.empty(); });
            if (work.empty()) return;
            auto f = std::move(work.front());
            work.pop_front();
            lock.unlock();
            f();
            lock.lock();
            if (work.empty()) drained.notify_all();
        }
    });
    const int blocks = static_cast<int>(state.range(0));
    std::atomic<int> counter{0};
    for (auto _ : state) {
        for (int i = 0; i < blocks; ++i) {
            std::lock_guard lock(mutex);
            work.push_back([&] { counter.fetch_add(1, std::memory_order_relaxed); });
            cv.notify_one();
        }
        std::unique_lock lock(mutex);
        drained.wait(lock, [&] { return work.empty(); });
    }
    {
        std::lock_guard lock(mutex);
        quit = true;
        cv.notify_one();
    }
    worker.join();
    state.SetItemsProcessed(state.iterations() * blocks);
}
BENCHMARK(BM_BaselineWorkerThroughput)->Arg(10000)->UseRealTime();

// A semaphore of 1 used as a lock around a tiny critical section by 1, 2, 4 and 8 threads:
// turns per second over all threads (items_per_second), against std::mutex in the same run.
template <class Lock>
static void takeTurns(benchmark::State& state, Lock& lock) {
    static long shared = 0;  // what the lock guards
    for (auto _ : state) {
        lock.take();
        benchmark::DoNotOptimize(++shared);
        lock.give();
    }
    state.SetItemsProcessed(state.iterations());
}

static void BM_SemaphoreAsLock(benchmark::State& state) {
    struct SemaphoreLock {
        DispatchSemaphore semaphore{1};
        void take() { semaphore.wait(); }
        void give() { semaphore.signal(); }
    };
    static SemaphoreLock lock;
    takeTurns(state, lock);
}
BENCHMARK(BM_SemaphoreAsLock)->ThreadRange(1, 8)->UseRealTime();

static void BM_BaselineMutexAsLock(benchmark::State& state) {
    struct MutexLock {
        std::mutex mutex;
        void take() { mutex.lock(); }
        void give() { mutex.unlock(); }
    };
    static MutexLock lock;
    takeTurns(state, lock);
}
BENCHMARK(BM_BaselineMutexAsLock)->ThreadRange(1, 8)->UseRealTime();
